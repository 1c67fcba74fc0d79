// Round trips and time of the program on the SQL Server road, at a network's latency: the whole
// program (`velocast --headless --once`) against the TDS peer, which holds every answer back by
// a given delay and logs every request (one request, one round trip). Each campaign runs alone
// on a club of N members whose walk and payment lookups the peer answers with generated rows
// (every candidate paid every month, so every candidate is looked up in full); the drain sends
// an outbox of R rows to an SMTP sink. A run with nothing to do is the baseline that each figure
// is counted from.
//   bench_mssql_round_trips --delay-ms D [--members N] [--rows R] [--velocast PATH] [--only NAME]
// BENCH_DUMP=1 in the environment prints every request the peer logged, and the program's output.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QStringList>
#include <cstdio>

#include "campaigns/planos_a_vencer.h"
#include "support/tds_peer.h"
#include "support/velocast_process.h"

using namespace velocast::testing;

// bench/mssql/smtp_sink.py: accepts every message, keeps none.
class SmtpSink {
public:
    SmtpSink() {
        const QString source = qEnvironmentVariable("VELOCAST_SOURCE_DIR", QStringLiteral(VELOCAST_DEFAULT_SOURCE_DIR));
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"), {source + QStringLiteral("/bench/mssql/smtp_sink.py")});
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(20000)) qFatal("the SMTP sink did not start");
        port_ = static_cast<quint16>(process_.readLine().trimmed().mid(5).toUInt());
    }
    ~SmtpSink() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) process_.kill();
    }
    quint16 port() const { return port_; }

private:
    QProcess process_;
    quint16 port_ = 0;
};

namespace {

const QStringList kSwitches{"MARKETING_MEDICA",        "MARKETING_FUNCIONAL",   "MARKETING_ANIVERSARUANETE",
                            "MARKETING_PLANO",         "MARKETING_TRANCAMENTO", "MARKETING_FIDELIDADE",
                            "MARKETING_INADIMPLENTES", "MARKETING_AUSENTES",    "MARKETING_NOVO",
                            "MARKETING_RETORNO"};

struct Figures {
    qsizetype roundTrips = 0;
    qsizetype outboxRowsWritten = 0;  // INSERT INTO Velocast requests
    double seconds = 0;
    int exitCode = 0;
    QString err;
};

struct Scenario {
    QString campaignSwitch;  // empty: none
    QString businessDate = QStringLiteral("2024-04-01 08:00:00");
    int members = 0;
    int outboxRows = 0;
    quint16 smtpPort = 0;
};

QList<TdsRule> rulesFor(const Scenario& s) {
    QVariantMap settings{{QStringLiteral("FIDELIDADE_MESES"), 3},
                         {QStringLiteral("STMP_PROVEDOR"), QStringLiteral("127.0.0.1*%1").arg(s.smtpPort)},
                         {QStringLiteral("IdSMTP_UseTLS"), QStringLiteral("utNoTLSSupport")},
                         {QStringLiteral("NOME_PROVEDOR"), QStringLiteral("Academia")},
                         {QStringLiteral("EMAIL_PROVEDOR"), QStringLiteral("clube@example.com")}};
    for (const QString& name : kSwitches)
        settings.insert(name, name == s.campaignSwitch ? QStringLiteral("Sim") : QStringLiteral("Não"));
    if (s.smtpPort == 0) settings.insert(QStringLiteral("STMP_PROVEDOR"), QStringLiteral("127.0.0.1*none"));

    QList<TdsRule> rules;
    TdsRule walk = TdsRule::startingWith(QStringLiteral("SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS"));
    walk.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10)
        .column(QStringLiteral("SAIDA"), QStringLiteral("datetime"))
        .column(QStringLiteral("BOLSISTA"), QStringLiteral("bit"))
        .generated(s.members, {QStringLiteral("{i}"), QVariant(), false});
    rules << walk;
    // Every candidate paid every month: the per-member form finds a row, the batched form
    // hears its own numbers back.
    TdsRule paid = TdsRule::startingWith(QStringLiteral("SELECT MATRICULA FROM RECEB"));
    paid.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10).row({QStringLiteral("1")});
    rules << paid;
    TdsRule batch = TdsRule::startingWith(QStringLiteral("SELECT C.N FROM"));
    batch.column(QStringLiteral("N"), QStringLiteral("bigint")).echoingIntegers();
    rules << batch;

    // The plans to renew read with their declared columns, and find none.
    TdsRule renewals = TdsRule::startingWith(QStringLiteral("SELECT A.MATRICULA"));
    for (const QString& column : velocast::PlanosAVencer::declaredColumns())
        renewals.column(column, QStringLiteral("nvarchar"), 45);
    rules << renewals;

    TdsRule keys =
        TdsRule::exactly(QStringLiteral("SELECT ID FROM Velocast")).column(QStringLiteral("ID"), QStringLiteral("int"));
    TdsRule firstKeys = keys;
    firstKeys.generated(s.outboxRows, {QStringLiteral("{i}")}).times(1);
    rules << firstKeys << keys;
    // A row for every key asked for, by one key or by many.
    TdsRule outboxRows = TdsRule::startingWith(
        QStringLiteral("SELECT ID, Email, Assunto, Texto, IMAGEM_CORPO_MARKETING FROM Velocast WHERE ID"));
    outboxRows.column(QStringLiteral("ID"), QStringLiteral("int"))
        .column(QStringLiteral("Email"), QStringLiteral("nvarchar"), 255)
        .column(QStringLiteral("Assunto"), QStringLiteral("nvarchar"), 255)
        .column(QStringLiteral("Texto"), QStringLiteral("text"))
        .column(QStringLiteral("IMAGEM_CORPO_MARKETING"), QStringLiteral("nvarchar"), 255)
        .echoingIntegers({QStringLiteral("{i}"), QStringLiteral("membro@example.com"),
                          QStringLiteral("Seu treino de hoje"), QStringLiteral("Olá! Seu treino de hoje está pronto."),
                          QVariant()});
    rules << outboxRows;

    rules << TdsRule::rowsOf(QStringLiteral("TempFedelidade000000"), QStringLiteral("SELECT * FROM TempFedelidade"))
          << TdsRule::table(QStringLiteral("Qzcvar"), {{}}) << TdsRule::table(QStringLiteral("Qzcvar2"), {settings})
          << TdsRule::table(QStringLiteral("Velocast"))
          << TdsRule::table(QStringLiteral("Caixa"), {{{QStringLiteral("DATAABERTURA"), s.businessDate}}})
          << TdsRule::table(QStringLiteral("AlunosAtivos"))
          // The database lock, granted (sp_getapplock's 0).
          << TdsRule::startingWith(QStringLiteral("DECLARE @VelocastLock"))
                 .column(QStringLiteral("LockResult"), QStringLiteral("int"))
                 .row({0});
    return rules;
}

Figures run(const QString& velocast, const Scenario& s, int delayMs) {
    TdsPeer peer(rulesFor(s), delayMs);
    // A runtime folder of its own: another copy of the program running on the machine (a
    // test, another build) is none of this run's business.
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QElapsedTimer clock;
    clock.start();
    const ProcessResult result = runProgram(
        velocast,
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), peer.dataLinkPath()},
        3 * 3600 * 1000, environment);
    Figures f;
    f.seconds = clock.elapsed() / 1000.0;
    f.roundTrips = peer.requests().size();
    for (const QJsonObject& r : peer.statements())
        if (r.value(QStringLiteral("sql")).toString().startsWith(QLatin1String("INSERT INTO Velocast")))
            ++f.outboxRowsWritten;
    f.exitCode = result.exitCode;
    f.err = result.err;
    if (qEnvironmentVariableIsSet("BENCH_DUMP"))
        std::printf("%s\n%s\n", qPrintable(peer.summary().join(QLatin1Char(10))), qPrintable(result.err + result.out));
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int delayMs = 1, members = 10000, rows = 1000;
    QString velocast = builtProgramPath(QStringLiteral("velocast"));
    QString only;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--delay-ms")) delayMs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--members")) members = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rows")) rows = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--velocast")) velocast = args[i + 1];
        else if (args[i] == QLatin1String("--only")) only = args[i + 1];
    }
    std::printf("delay %d ms per request, %d members, %d outbox rows, %s\n", delayMs, members, rows,
                qPrintable(velocast));
    const Figures base = run(velocast, Scenario{}, delayMs);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("  %-28s %7lld round trips %8.2f s (exit %d)\n", "baseline (nothing to do)",
                static_cast<long long>(base.roundTrips), base.seconds, base.exitCode);
    if (base.exitCode != 0 || base.err.contains(QLatin1String("error:")))
        std::printf("    %s\n", qPrintable(base.err.left(1500).replace(QLatin1Char('\n'), QLatin1String("\n    "))));
    const auto report = [&](const QString& name, const Figures& f, int per, const char* unit) {
        const qsizetype extra = f.roundTrips - base.roundTrips;
        std::printf("  %-28s %7lld round trips %8.2f s (exit %d)", qPrintable(name), static_cast<long long>(extra),
                    f.seconds - base.seconds, f.exitCode);
        if (per > 0) std::printf("  %.2f per %s", double(extra) / per, unit);
        if (f.outboxRowsWritten > 0)
            std::printf("  %lld outbox rows, %.2f per row", static_cast<long long>(f.outboxRowsWritten),
                        double(extra) / double(f.outboxRowsWritten));
        std::printf("\n");
        if (f.roundTrips == 0 || f.err.contains(QLatin1String("notice")) || f.err.contains(QLatin1String("error:")))
            std::printf("    %s\n", qPrintable(f.err.left(1500).replace(QLatin1Char('\n'), QLatin1String("\n    "))));
    };
    for (const QString& name : kSwitches) {
        if (!only.isEmpty() && !name.contains(only)) continue;
        Scenario s;
        s.campaignSwitch = name;
        if (name == QLatin1String("MARKETING_PLANO")) s.businessDate = QStringLiteral("2024-03-27 08:00:00");
        if (name == QLatin1String("MARKETING_FIDELIDADE")) s.members = members;
        const Figures f = run(velocast, s, delayMs);
        if (name == QLatin1String("MARKETING_FIDELIDADE")) report(name, f, members / 100, "100 candidates");
        else report(name, f, 0, "");
    }
    if (only.isEmpty() || only == QLatin1String("drain")) {
        SmtpSink smtp;
        Scenario s;
        s.outboxRows = rows;
        s.smtpPort = smtp.port();
        report(QStringLiteral("drain"), run(velocast, s, delayMs), rows, "row");
    }
    return 0;
}
