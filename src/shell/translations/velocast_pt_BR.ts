<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>CheckCommand</name>
    <message>
        <source>the table cannot be read: %1</source>
        <translation>a tabela não pode ser lida: %1</translation>
    </message>
    <message>
        <source>no cash-register session with an opening date, so there is no business date and no campaign can run; open the cash register in the club&apos;s system</source>
        <translation>nenhuma sessão de caixa com data de abertura, então não há data de movimento e nenhuma campanha pode rodar; abra o caixa no sistema do clube</translation>
    </message>
    <message>
        <source>business date %1</source>
        <translation>data de movimento %1</translation>
    </message>
    <message>
        <source>write it as host*port, e.g. smtp.example.com*587</source>
        <translation>escreva como servidor*porta, por exemplo smtp.example.com*587</translation>
    </message>
    <message>
        <source>&quot;%1&quot; names no host before &quot;*&quot;; %2</source>
        <translation>&quot;%1&quot; não tem servidor antes do &quot;*&quot;; %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; has no &quot;*&quot; between host and port; %2</source>
        <translation>&quot;%1&quot; não tem &quot;*&quot; entre servidor e porta; %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; has no port that can be read after the &quot;*&quot; (digits only, no blank after them); %2</source>
        <translation>&quot;%1&quot; não tem uma porta legível depois do &quot;*&quot; (só dígitos, sem espaço depois deles); %2</translation>
    </message>
    <message>
        <source>host %1, port %2</source>
        <translation>servidor %1, porta %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a TLS mode (letter case and blanks count); write utUseRequireTLS (STARTTLS, port 587), utUseImplicitTLS (port 465), utUseExplicitTLS or utNoTLSSupport</source>
        <translation>&quot;%1&quot; não é um modo TLS (maiúsculas e espaços contam); escreva utUseRequireTLS (STARTTLS, porta 587), utUseImplicitTLS (porta 465), utUseExplicitTLS ou utNoTLSSupport</translation>
    </message>
    <message>
        <source>signs in as &quot;%1&quot;</source>
        <translation>entra como &quot;%1&quot;</translation>
    </message>
    <message>
        <source>empty, but USERNAME asks to sign in: write the mailbox&apos;s password in Qzcvar2.PASSWORD, or set USERNAME to NULL for a server that takes mail without</source>
        <translation>vazio, mas USERNAME pede autenticação: escreva a senha da caixa de correio em Qzcvar2.PASSWORD, ou deixe USERNAME como NULL para um servidor que aceita e-mails sem ela</translation>
    </message>
    <message>
        <source>empty, read as NULL: no authentication (write the mailbox&apos;s user name to sign in)</source>
        <translation>vazio, lido como NULL: sem autenticação (escreva o usuário da caixa de correio para autenticar)</translation>
    </message>
    <message>
        <source>NULL: no authentication</source>
        <translation>NULL: sem autenticação</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not an address the e-mails can come from; write the club&apos;s sending address</source>
        <translation>&quot;%1&quot; não é um endereço de onde os e-mails possam sair; escreva o endereço de envio do clube</translation>
    </message>
    <message>
        <source>%1 is switched on (%2 = &quot;Sim&quot;) but its subject is empty; write one or switch it off</source>
        <translation>%1 está ligada (%2 = &quot;Sim&quot;), mas o assunto está vazio; escreva um ou desligue-a</translation>
    </message>
    <message>
        <source>%1 is switched on (%2 = &quot;Sim&quot;) but its text is empty; write one or switch it off</source>
        <translation>%1 está ligada (%2 = &quot;Sim&quot;), mas o texto está vazio; escreva um ou desligue-a</translation>
    </message>
    <message>
        <source>switched on, subject and text set</source>
        <translation>ligada, assunto e texto preenchidos</translation>
    </message>
    <message>
        <source>switched on, subject, text and picture %1</source>
        <translation>ligada, assunto, texto e imagem %1</translation>
    </message>
    <message>
        <source>switched off</source>
        <translation>desligadas</translation>
    </message>
    <message>
        <source>SMTP server %1:%2</source>
        <translation>servidor SMTP %1:%2</translation>
    </message>
    <message>
        <source>%1 refused: %2 (velocast --test-smtp shows the certificate and the lines that pin it)</source>
        <translation>%1 recusado: %2 (velocast --test-smtp mostra o certificado e as linhas que o fixam)</translation>
    </message>
    <message>
        <source>%1 cannot be reached: %2</source>
        <translation>%1 não pode ser alcançado: %2</translation>
    </message>
    <message>
        <source>%1 answers EHLO but offers no STARTTLS, which utUseRequireTLS needs; use the port the provider gives for TLS</source>
        <translation>%1 responde ao EHLO, mas não oferece STARTTLS, que utUseRequireTLS exige; use a porta que o provedor indica para TLS</translation>
    </message>
    <message>
        <source>SMTP server</source>
        <translation>servidor SMTP</translation>
    </message>
    <message>
        <source>%1 answers EHLO%2</source>
        <translation>%1 responde ao EHLO%2</translation>
    </message>
    <message>
        <source> over TLS</source>
        <translation> com TLS</translation>
    </message>
    <message>
        <source>, offers STARTTLS</source>
        <translation>, oferece STARTTLS</translation>
    </message>
    <message>
        <source>all %1 checks hold</source>
        <translation>todas as %1 verificações passaram</translation>
    </message>
    <message>
        <source>%1 of %2 checks failed; change what the lines marked ✗ name</source>
        <translation>%1 de %2 verificações falharam; corrija o que as linhas marcadas com ✗ indicam</translation>
    </message>
    <message>
        <source>read</source>
        <translation>lido</translation>
    </message>
    <message>
        <source>not there: the defaults hold</source>
        <translation>não existe: valem os padrões</translation>
    </message>
    <message>
        <source>; OAuth 2.0 sign-in with %1</source>
        <translation>; autenticação OAuth 2.0 com %1</translation>
    </message>
    <message>
        <source>data-link file %1</source>
        <translation>arquivo de vínculo de dados %1</translation>
    </message>
    <message>
        <source>%1 (change the file, or name another with --data-link FILE)</source>
        <translation>%1 (corrija o arquivo ou indique outro com --data-link ARQUIVO)</translation>
    </message>
    <message>
        <source>the database opens</source>
        <translation>o banco de dados abre</translation>
    </message>
    <message>
        <source>the settings table has no row; the club&apos;s system writes it</source>
        <translation>a tabela de configurações não tem linha; o sistema do clube a grava</translation>
    </message>
    <message>
        <source>one settings row</source>
        <translation>uma linha de configurações</translation>
    </message>
    <message>
        <source>the settings table has no row, so no campaign and no SMTP account; the club&apos;s system writes it</source>
        <translation>a tabela de configurações não tem linha, então não há campanha nem conta SMTP; o sistema do clube a grava</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>%1 needs a value; see --help</source>
        <translation>%1 precisa de um valor; veja --help</translation>
    </message>
    <message>
        <source>--format takes text or csv, not &quot;%1&quot;</source>
        <translation>--format aceita text ou csv, não &quot;%1&quot;</translation>
    </message>
    <message>
        <source>unknown argument &quot;%1&quot;; see --help</source>
        <translation>argumento desconhecido &quot;%1&quot;; veja --help</translation>
    </message>
    <message>
        <source>--once works only with --headless</source>
        <translation>--once só funciona com --headless</translation>
    </message>
    <message>
        <source>--since works only with --history</source>
        <translation>--since só funciona com --history</translation>
    </message>
    <message>
        <source>--since wants a date YYYY-MM-DD, not &quot;%1&quot;</source>
        <translation>--since espera uma data AAAA-MM-DD, não &quot;%1&quot;</translation>
    </message>
    <message>
        <source>--date wants a date YYYY-MM-DD, not &quot;%1&quot;</source>
        <translation>--date espera uma data AAAA-MM-DD, não &quot;%1&quot;</translation>
    </message>
    <message>
        <source>--all works only with --preview</source>
        <translation>--all só funciona com --preview</translation>
    </message>
    <message>
        <source>--date works only with --preview or --report</source>
        <translation>--date só funciona com --preview ou --report</translation>
    </message>
    <message>
        <source>--format works only with --preview, --history, --report or --suppressed</source>
        <translation>--format só funciona com --preview, --history, --report ou --suppressed</translation>
    </message>
    <message>
        <source>Usage: velocast [--headless [--once]] [--data-link FILE] [--config FILE]
       velocast --test-smtp ADDRESS [--data-link FILE] [--config FILE]
       velocast --authorize-smtp [--data-link FILE] [--config FILE]
       velocast --preview [--date YYYY-MM-DD] [--all] [--format text|csv] [--data-link FILE]
       velocast --history [ADDRESS] [--since YYYY-MM-DD] [--format text|csv] [--data-link FILE]
       velocast --report [--date YYYY-MM-DD] [--format text|csv] [--data-link FILE]
       velocast --suppressed [--format text|csv] [--data-link FILE]
       velocast --unsuppress ADDRESS [--data-link FILE]
       velocast --check [--data-link FILE] [--config FILE]

Velocast writes the club&apos;s daily e-mail campaigns into the outbox of the club&apos;s
database and sends them through the SMTP account stored in its settings.

  --data-link FILE     the data-link (.udl) file that names the database
                       (default: %1)
  --config FILE        the machine&apos;s settings file (TLS trust, attachment folders,
                       pacing; default: velocast.conf beside the data-link file)
  --headless           run without a window; notices and figures go to stderr
  --once               with --headless: run the day&apos;s campaigns, send the outbox,
                       then end
  --test-smtp ADDRESS  send one test e-mail to ADDRESS with the stored SMTP account
                       and print the SMTP dialogue (passwords and tokens masked)
  --authorize-smtp     sign the club&apos;s mailbox in once with OAuth 2.0 ([oauth] in
                       velocast.conf): shows an address and a code to enter on
                       any device with a browser, then stores the sign-in
  --preview            list, per campaign, who would get which e-mail on the business
                       date; each campaign runs inside a transaction that is rolled
                       back, so nothing is written, latched or sent (a running copy
                       waits at most for one campaign&apos;s transaction)
  --date YYYY-MM-DD    with --preview: another business date than the cash register&apos;s;
                       with --report: another day than today
  --all                with --preview: the campaigns switched off too
  --history [ADDRESS]  what became of the e-mails (sent with the server&apos;s reply and
                       Message-ID, refused, invalid, deferred, given up), newest
                       first, to ADDRESS (any letter case) or to everyone; kept on
                       this machine for [history] retention_days of velocast.conf
  --since YYYY-MM-DD   with --history: only from that day on
  --report             the club&apos;s daily report of the send history: per campaign the
                       e-mails sent, deferred, given up, invalid and suppressed, the
                       addresses bounced and opted out, as the [report] e-mail has it
  --suppressed         the addresses no e-mail goes to (address, scope, reason, date,
                       source): gone by the delivery reports, or opted out
  --unsuppress ADDRESS take ADDRESS off that list once the member&apos;s record is fixed
  --format text|csv    with --preview, --history, --report or --suppressed: a listing
                       (default) or CSV lines
  --check              check every setting a run needs (database, settings row, cash
                       session, SMTP account, campaign texts and pictures) and say
                       EHLO to the SMTP server, sign in to the [mailbox] and open its
                       folder; one line per check, marked ✓ or
                       ✗ with what to change; sends and writes nothing
  --help               this text
  --version            the program&apos;s version

Exit status:
   0  the program ended and nothing failed
   1  something failed (it was reported on screen or on stderr)
   2  the command line, the settings file or the --test-smtp address cannot be
      used
  75  --once: nothing failed, but e-mails stay in the outbox because the SMTP
      server (or the OAuth token endpoint) could not be reached; a later run
      sends them
  78  a setting only a person can fix: --check found one, or --once kept e-mails
      for a port, host name or TLS mode that cannot work
 128+n ended by signal n (SIGTERM, SIGINT, SIGHUP) after the teardown (--once)
</source>
        <translation>Uso: velocast [--headless [--once]] [--data-link ARQUIVO] [--config ARQUIVO]
     velocast --test-smtp ENDEREÇO [--data-link ARQUIVO] [--config ARQUIVO]
     velocast --authorize-smtp [--data-link ARQUIVO] [--config ARQUIVO]
     velocast --preview [--date AAAA-MM-DD] [--all] [--format text|csv] [--data-link ARQUIVO]
     velocast --history [ENDEREÇO] [--since AAAA-MM-DD] [--format text|csv] [--data-link ARQUIVO]
     velocast --report [--date AAAA-MM-DD] [--format text|csv] [--data-link ARQUIVO]
     velocast --suppressed [--format text|csv] [--data-link ARQUIVO]
     velocast --unsuppress ENDEREÇO [--data-link ARQUIVO]
     velocast --check [--data-link ARQUIVO] [--config ARQUIVO]

O Velocast grava as campanhas diárias de e-mail do clube na caixa de saída do banco
de dados do clube e as envia pela conta SMTP guardada nas configurações dele.

  --data-link ARQUIVO  o arquivo de vínculo de dados (.udl) que indica o banco de dados
                       (padrão: %1)
  --config ARQUIVO     o arquivo de configurações da máquina (confiança TLS, pastas de
                       anexos, ritmo; padrão: velocast.conf ao lado do arquivo .udl)
  --headless           roda sem janela; avisos e números vão para stderr
  --once               com --headless: roda as campanhas do dia, envia a caixa de
                       saída e termina
  --test-smtp ENDEREÇO envia um e-mail de teste para ENDEREÇO com a conta SMTP guardada
                       e mostra o diálogo SMTP (senhas e tokens mascarados)
  --authorize-smtp     autentica a caixa de correio do clube uma vez com OAuth 2.0
                       ([oauth] no velocast.conf): mostra um endereço e um código para
                       digitar em qualquer aparelho com navegador e guarda a autenticação
  --preview            lista, por campanha, quem receberia qual e-mail na data de
                       movimento; cada campanha roda numa transação desfeita ao final,
                       então nada é gravado, marcado ou enviado (uma cópia em execução
                       espera no máximo pela transação de uma campanha)
  --date AAAA-MM-DD    com --preview: outra data de movimento que não a do caixa;
                       com --report: outro dia que não hoje
  --all                com --preview: também as campanhas desligadas
  --history [ENDEREÇO] o que aconteceu com os e-mails (enviados com a resposta do servidor
                       e o Message-ID, recusados, inválidos, adiados, desistidos), os mais
                       recentes primeiro, para ENDEREÇO (maiúsculas ou minúsculas) ou para
                       todos; guardado nesta máquina por [history] retention_days do
                       velocast.conf
  --since AAAA-MM-DD   com --history: só a partir desse dia
  --report             o relatório diário do clube a partir do histórico de envios: por
                       campanha os e-mails enviados, adiados, desistidos, inválidos e
                       suprimidos, os endereços devolvidos e descadastrados, como no
                       e-mail de [report]
  --suppressed         os endereços para os quais nenhum e-mail vai (endereço, escopo,
                       motivo, data, origem): inexistentes pelos avisos de entrega, ou
                       descadastrados
  --unsuppress ENDEREÇO tira ENDEREÇO dessa lista depois que o cadastro do aluno for
                       corrigido
  --format text|csv    com --preview, --history, --report ou --suppressed: uma listagem
                       (padrão) ou linhas CSV
  --check              verifica cada configuração de que uma execução precisa (banco de
                       dados, linha de configurações, sessão de caixa, conta SMTP, textos
                       e imagens das campanhas), diz EHLO ao servidor SMTP, entra na
                       [mailbox] e abre a pasta dela; uma linha por verificação, marcada com ✓ ou ✗ e o que corrigir; não envia nem
                       grava nada
  --help               este texto
  --version            a versão do programa

Código de saída:
   0  o programa terminou e nada falhou
   1  algo falhou (foi informado na tela ou em stderr)
   2  a linha de comando, o arquivo de configurações ou o endereço de --test-smtp não
      pode ser usado
  75  --once: nada falhou, mas há e-mails na caixa de saída porque o servidor SMTP
      (ou o endereço de tokens OAuth) não pôde ser alcançado; uma execução posterior
      os envia
  78  uma configuração que só uma pessoa pode corrigir: --check encontrou uma, ou
      --once guardou e-mails por uma porta, servidor ou modo TLS que não funciona
 128+n terminado pelo sinal n (SIGTERM, SIGINT, SIGHUP) após o encerramento (--once)
</translation>
    </message>
    <message>
        <source>%1 and %2 are two commands; run them one at a time</source>
        <translation>%1 e %2 são dois comandos; rode um de cada vez</translation>
    </message>
    <message>
        <source>%1 runs alone; %2 is for the resident program, not a command</source>
        <translation>%1 roda sozinho; %2 é do programa residente, não de um comando</translation>
    </message>
</context>
<context>
    <name>FirstRunDialog</name>
    <message>
        <source>Velocast: the club&apos;s data-link file</source>
        <translation>Velocast: o arquivo de vínculo de dados do clube</translation>
    </message>
    <message>
        <source>Data-link files (*.udl);;All files (*)</source>
        <translation>Arquivos de vínculo de dados (*.udl);;Todos os arquivos (*)</translation>
    </message>
    <message>
        <source>the data-link file %1 could not be copied to %2; give it with --data-link next time</source>
        <translation>o arquivo de vínculo de dados %1 não pôde ser copiado para %2; indique-o com --data-link da próxima vez</translation>
    </message>
    <message>
        <source>the data-link file %1 was copied to %2, where the next start looks</source>
        <translation>o arquivo de vínculo de dados %1 foi copiado para %2, onde a próxima inicialização o procura</translation>
    </message>
    <message>
        <source>Velocast found no data-link file, the file that names the club&apos;s database.

It looked for:
%1

Choose the club&apos;s .udl file (your IT person or the club&apos;s system has one), or end Velocast.</source>
        <translation>O Velocast não encontrou o arquivo de vínculo de dados, o arquivo que indica o banco de dados do clube.

Procurou por:
%1

Escolha o arquivo .udl do clube (o seu técnico de informática ou o sistema do clube tem um) ou encerre o Velocast.</translation>
    </message>
    <message>
        <source>Choose a file…</source>
        <translation>Escolher um arquivo…</translation>
    </message>
    <message>
        <source>End Velocast</source>
        <translation>Encerrar o Velocast</translation>
    </message>
    <message>
        <source>Velocast cannot use the data-link file, the file that names the club&apos;s database:
%1

%2

Choose the club&apos;s .udl file (your IT person or the club&apos;s system has one), or end Velocast.</source>
        <translation>O Velocast não pode usar o arquivo de vínculo de dados, o arquivo que indica o banco de dados do clube:
%1

%2

Escolha o arquivo .udl do clube (o seu técnico de informática ou o sistema do clube tem um) ou encerre o Velocast.</translation>
    </message>
    <message>
        <source>The file %1 was not used: %2</source>
        <translation>O arquivo %1 não foi usado: %2</translation>
    </message>
</context>
<context>
    <name>HistoryCommand</name>
    <message>
        <source>No outcome is recorded%1%2 (the history keeps %3 days, [history] retention_days in velocast.conf; kept in %4).</source>
        <translation>Nenhum resultado registrado%1%2 (o histórico guarda %3 dias, [history] retention_days no velocast.conf; guardado em %4).</translation>
    </message>
    <message>
        <source> for </source>
        <translation> para </translation>
    </message>
    <message>
        <source> since </source>
        <translation> desde </translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>the single-instance guard %1 could not be taken: %2</source>
        <translation>a trava de cópia única %1 não pôde ser obtida: %2</translation>
    </message>
    <message>
        <source>another copy (process %1) is already running on this database; this one ends</source>
        <translation>outra cópia (processo %1) já está rodando neste banco de dados; esta termina</translation>
    </message>
    <message>
        <source>already running on this database (process %1); its window was brought forward</source>
        <translation>já está rodando neste banco de dados (processo %1); a janela dele foi trazida para a frente</translation>
    </message>
    <message>
        <source>no data-link file at %1; ended at the person&apos;s choice</source>
        <translation>nenhum arquivo de vínculo de dados em %1; encerrado por escolha do usuário</translation>
    </message>
    <message>
        <source>DISPLAY is not set</source>
        <translation>DISPLAY não está definido</translation>
    </message>
    <message>
        <source>display %1 does not answer</source>
        <translation>o display %1 não responde</translation>
    </message>
    <message>
        <source>no display was found (%1); --headless runs without one</source>
        <translation>nenhum display foi encontrado (%1); --headless roda sem um</translation>
    </message>
    <message>
        <source>the data-link file %1 cannot be used (%2); ended at the person&apos;s choice</source>
        <translation>o arquivo de vínculo de dados %1 não pode ser usado (%2); encerrado por escolha da pessoa</translation>
    </message>
</context>
<context>
    <name>PreviewCommand</name>
    <message>
        <source>Preview for the business date %1: nothing is written, latched or sent.</source>
        <translation>Prévia para a data de movimento %1: nada é gravado, marcado ou enviado.</translation>
    </message>
    <message>
        <source>%1: switched off (%2 is not &quot;Sim&quot;; --all shows it anyway)</source>
        <translation>%1: desligada (%2 não é &quot;Sim&quot;; --all a mostra mesmo assim)</translation>
    </message>
    <message>
        <source> [switched off]</source>
        <translation> [desligada]</translation>
    </message>
    <message>
        <source>%1%2: not due on %3</source>
        <translation>%1%2: não cabe em %3</translation>
    </message>
    <message>
        <source>%1%2: already ran for %3; the next run writes nothing</source>
        <translation>%1%2: já rodou para %3; a próxima execução não grava nada</translation>
    </message>
    <message>
        <source>%1%2: nobody</source>
        <translation>%1%2: ninguém</translation>
    </message>
    <message>
        <source>%1%2: %3 e-mail(s), subject &quot;%4&quot;</source>
        <translation>%1%2: %3 e-mail(s), assunto &quot;%4&quot;</translation>
    </message>
</context>
<context>
    <name>SmtpAuthorization</name>
    <message>
        <source>the settings table Qzcvar2 has no row</source>
        <translation>a tabela de configurações Qzcvar2 não tem linha</translation>
    </message>
    <message>
        <source>%1 has no [oauth] provider: write the [oauth] section (provider, client_id, ...) first; see the README</source>
        <translation>%1 não tem provedor [oauth]: escreva primeiro a seção [oauth] (provider, client_id, ...); veja o README</translation>
    </message>
    <message>
        <source>To let Velocast send as %1, open on any device with a browser:

    %2

and enter the code:

    %3
</source>
        <translation>Para deixar o Velocast enviar como %1, abra em qualquer aparelho com navegador:

    %2

e digite o código:

    %3
</translation>
    </message>
    <message>
        <source>(or open %1, which holds the code)
</source>
        <translation>(ou abra %1, que já contém o código)
</translation>
    </message>
    <message>
        <source>Sign in as %1 there. The code is valid for %2 minutes; waiting...</source>
        <translation>Entre lá como %1. O código vale por %2 minutos; aguardando...</translation>
    </message>
</context>
<context>
    <name>SmtpTestCommand</name>
    <message>
        <source>* certificate chain as the server sent it:</source>
        <translation>* cadeia de certificados como o servidor a enviou:</translation>
    </message>
    <message>
        <source>* to accept exactly this key, check the chain above, then put these lines under [tls] in %1:</source>
        <translation>* para aceitar exatamente esta chave, confira a cadeia acima e ponha estas linhas em [tls] de %1:</translation>
    </message>
    <message>
        <source>* server %1 port %2, TLS mode %3, %4</source>
        <translation>* servidor %1 porta %2, modo TLS %3, %4</translation>
    </message>
    <message>
        <source>OAuth 2.0 sign-in as &quot;%1&quot;</source>
        <translation>autenticação OAuth 2.0 como &quot;%1&quot;</translation>
    </message>
    <message>
        <source>authenticating as &quot;%1&quot;</source>
        <translation>autenticando como &quot;%1&quot;</translation>
    </message>
    <message>
        <source>no authentication (USERNAME is empty, read as NULL)</source>
        <translation>sem autenticação (USERNAME vazio, lido como NULL)</translation>
    </message>
    <message>
        <source>no authentication (USERNAME is NULL)</source>
        <translation>sem autenticação (USERNAME é NULL)</translation>
    </message>
    <message>
        <source>* OAuth 2.0: provider %1, grant %2, token endpoint %3, scope &quot;%4&quot;</source>
        <translation>* OAuth 2.0: provedor %1, concessão %2, endereço de tokens %3, escopo &quot;%4&quot;</translation>
    </message>
    <message>
        <source>* access token (****) fetched from the token endpoint, kept in %1</source>
        <translation>* token de acesso (****) obtido do endereço de tokens, guardado em %1</translation>
    </message>
    <message>
        <source>* access token (****) still valid, read from %1</source>
        <translation>* token de acesso (****) ainda válido, lido de %1</translation>
    </message>
    <message>
        <source>* signed in with %1 (OAuth 2.0, grant %2)</source>
        <translation>* autenticado com %1 (OAuth 2.0, concessão %2)</translation>
    </message>
    <message>
        <source>* the server accepted the test message for %1</source>
        <translation>* o servidor aceitou a mensagem de teste para %1</translation>
    </message>
</context>
<context>
    <name>Velocast</name>
    <message>
        <source>the database file %1 named by %2 does not exist</source>
        <translation>o arquivo de banco de dados %1 indicado por %2 não existe</translation>
    </message>
    <message>
        <source>the database named by %1 opens, but its settings table Qzcvar2 cannot be read (%2): choose the data-link file of the club&apos;s database</source>
        <translation>o banco de dados indicado por %1 abre, mas a tabela de configurações Qzcvar2 dele não pode ser lida (%2): escolha o arquivo de vínculo de dados do banco de dados do clube</translation>
    </message>
    <message>
        <source>Velocast ends when this box is closed. Start it again once the cause above is mended.</source>
        <translation>O Velocast termina quando esta caixa for fechada. Inicie-o de novo depois de corrigir a causa acima.</translation>
    </message>
    <message>
        <source>SMTP server %1</source>
        <translation>Servidor SMTP %1</translation>
    </message>
    <message>
        <source>OAuth token endpoint %1</source>
        <translation>Endereço de tokens OAuth %1</translation>
    </message>
    <message>
        <source>%1 unreachable since %2</source>
        <translation>%1 fora de alcance desde %2</translation>
    </message>
    <message>
        <source>; next try %1</source>
        <translation>; próxima tentativa %1</translation>
    </message>
</context>
<context>
    <name>Warnings</name>
    <message>
        <source>sending paused until %1, the e-mails stay in the outbox: %2</source>
        <translation>envio pausado até %1, os e-mails ficam na caixa de saída: %2</translation>
    </message>
    <message>
        <source>recipient given up after %1 days of attempts, outbox row removed: address=&quot;%2&quot; reply=&quot;%3&quot;</source>
        <translation>destinatário abandonado após %1 dias de tentativas, linha da caixa de saída removida: address=&quot;%2&quot; reply=&quot;%3&quot;</translation>
    </message>
    <message>
        <source>attachment cannot be read, its e-mails wait in the outbox: path=&quot;%1&quot; reason=&quot;%2&quot;</source>
        <translation>o anexo não pode ser lido, os e-mails dele esperam na caixa de saída: path=&quot;%1&quot; reason=&quot;%2&quot;</translation>
    </message>
</context>
<context>
    <name>velocast::HistoryWindow</name>
    <message>
        <source>sent</source>
        <translation>enviado</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>recusado</translation>
    </message>
    <message>
        <source>invalid</source>
        <translation>inválido</translation>
    </message>
    <message>
        <source>deferred</source>
        <translation>adiado</translation>
    </message>
    <message>
        <source>given up</source>
        <translation>desistido</translation>
    </message>
    <message>
        <source>History - %1</source>
        <translation>Histórico - %1</translation>
    </message>
    <message>
        <source>Filter by address</source>
        <translation>Filtrar por endereço</translation>
    </message>
    <message>
        <source>Last </source>
        <translation>Últimos </translation>
    </message>
    <message>
        <source> days</source>
        <translation> dias</translation>
    </message>
    <message>
        <source>When</source>
        <translation>Quando</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Resultado</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Endereço</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Assunto</translation>
    </message>
    <message>
        <source>Campaign</source>
        <translation>Campanha</translation>
    </message>
    <message>
        <source>Server&apos;s reply</source>
        <translation>Resposta do servidor</translation>
    </message>
    <message>
        <source>The history is not available: the local state database could not be opened (see [state] database in velocast.conf).</source>
        <translation>O histórico não está disponível: o banco de estado local não pôde ser aberto (veja [state] database no velocast.conf).</translation>
    </message>
    <message>
        <source>Showing the %1 most recent; filter by address or use velocast --history.</source>
        <translation>Mostrando os %1 mais recentes; filtre por endereço ou use velocast --history.</translation>
    </message>
    <message numerus="yes">
        <source>%n record(s).</source>
        <translation>
            <numerusform>%n registro.</numerusform>
            <numerusform>%n registros.</numerusform>
        </translation>
    </message>
    <message>
        <source>bounced</source>
        <translation>devolvido</translation>
    </message>
    <message>
        <source>suppressed</source>
        <translation>suprimido</translation>
    </message>
    <message>
        <source>removed by the staff</source>
        <translation>removido pela equipe</translation>
    </message>
    <message>
        <source>(no address: outbox row %1)</source>
        <translation>(sem endereço: linha %1 da caixa de saída)</translation>
    </message>
    <message>
        <source>(no address)</source>
        <translation>(sem endereço)</translation>
    </message>
    <message>
        <source>opted out</source>
        <translation>descadastrado</translation>
    </message>
</context>
<context>
    <name>velocast::TFRMVelocast</name>
    <message>
        <source>History…</source>
        <translation>Histórico…</translation>
    </message>
</context>
<context>
    <name>velocast::TrayIcon</name>
    <message>
        <source>Sent: %1
Pending: %2
Invalid: %3</source>
        <translation>Enviados: %1
Pendentes: %2
Inválidos: %3</translation>
    </message>
    <message>
        <source>paused until %1</source>
        <translation>pausado até %1</translation>
    </message>
</context>
</TS>
