#include "seed/demo_database.h"

#include "calendar/clock.h"
#include "data/host_schema.h"
#include "seed/demo_image.h"
#include "seed/demo_members.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace velocast::seed {
namespace {

QVariant text(const QString& s) { return s.isNull() ? QVariant() : QVariant(s); }
QVariant stamp(const Stamp& s) { return s.isNull() ? QVariant() : QVariant(formatStamp(s)); }

// Rows of one table, sent as multi-row INSERTs inside the caller's transaction. The values are
// written as SQL literals: binding them one by one through the SQL layer costs far more than
// SQLite's parsing (100,000 members take about 7 s bound, 4 s as literals). Every value is
// made by this generator; text is quoted with doubled single quotes, the only escape SQLite
// knows.
class Inserter {
public:
    Inserter(QSqlDatabase& db, const QString& table, const QStringList& columns)
        : query_(db),
          table_(table),
          head_(QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(table, columns.join(QLatin1Char(',')))) {}
    bool insert(const QList<QVariant>& values, QString* error) {
        buffer_.append(rows_ == 0 ? head_ : QStringLiteral(","));
        buffer_.append(QLatin1Char('('));
        bool first = true;
        for (const QVariant& v : values) {
            if (!first) buffer_.append(QLatin1Char(','));
            first = false;
            if (v.isNull()) buffer_.append(QLatin1String("NULL"));
            else if (v.typeId() == QMetaType::Int) buffer_.append(QString::number(v.toInt()));
            else {
                buffer_.append(QLatin1Char('\''));
                QString s = v.toString();
                buffer_.append(s.replace(QLatin1Char('\''), QLatin1String("''")));
                buffer_.append(QLatin1Char('\''));
            }
        }
        buffer_.append(QLatin1Char(')'));
        return ++rows_ < kRowsPerStatement || flush(error);
    }
    bool flush(QString* error) {
        if (rows_ == 0) return true;
        rows_ = 0;
        const bool ok = query_.exec(buffer_);
        buffer_.clear();
        if (!ok && error) *error = QStringLiteral("cannot write table %1: %2").arg(table_, query_.lastError().text());
        return ok;
    }

private:
    static constexpr int kRowsPerStatement = 200;
    QSqlQuery query_;
    QString table_, head_, buffer_;
    int rows_ = 0;
};

// A table of one row, or a short fixed list of rows.
bool insertRows(QSqlDatabase& db, const QString& table, const QStringList& columns, const QList<QList<QVariant>>& rows,
                QString* error) {
    Inserter inserter(db, table, columns);
    for (const QList<QVariant>& row : rows)
        if (!inserter.insert(row, error)) return false;
    return inserter.flush(error);
}

const DemoSettings kSettings;

const char* const kSubjects[] = {
    "Sua avaliação médica está vencida",
    "Hora de refazer sua avaliação funcional",
    "Feliz aniversário! Parabéns da sua academia",
    "Renove seu plano: ele vence este mês",
    "Seu trancamento está terminando",
    "Obrigado pela sua fidelidade!",
    "Lembrete: mensalidade em aberto",
    "Sentimos sua falta na academia",
};
const char* const kTexts[] = {
    "Olá!\r\nSua última avaliação médica já passou do prazo. Agende a próxima na recepção: "
    "é rápido e garante treinos com segurança.\r\nAté breve, Equipe Academia Demonstração",
    "Olá!\r\nJá faz alguns meses desde sua avaliação funcional. Vamos medir sua evolução e "
    "ajustar o treino? Marque um horário com seu professor.\r\nEquipe Academia Demonstração",
    "Parabéns pelo seu dia!\r\nToda a equipe deseja muita saúde, disposição e conquistas. "
    "Passe na recepção: há uma surpresa esperando por você.\r\nCom carinho, Academia Demonstração",
    "Olá!\r\nSeu plano vence no fim deste mês. Renove já e continue treinando sem "
    "interrupção; consulte as condições na recepção.\r\nEquipe Academia Demonstração",
    "Olá!\r\nO prazo do seu trancamento está terminando. Estamos ansiosos pela sua volta: "
    "as aulas e os horários continuam à sua disposição.\r\nEquipe Academia Demonstração",
    "Olá!\r\nVocê está conosco mês após mês, e isso nos enche de orgulho. Obrigado pela "
    "confiança! Como agradecimento, sua próxima avaliação é por nossa conta.\r\n"
    "Equipe Academia Demonstração",
    "Olá!\r\nNão encontramos o pagamento da sua mensalidade deste mês. Se já pagou, "
    "desconsidere esta mensagem; caso contrário, procure a recepção.\r\n"
    "Equipe Academia Demonstração",
    "Olá!\r\nFaz uma semana que não vemos você por aqui. Que tal voltar hoje? Seu treino "
    "está esperando.\r\nEquipe Academia Demonstração",
};

bool insertSettings(QSqlDatabase& db, const QDate& date, const QString& imagePath, int smtpPort, QString* error) {
    // Qzcvar2: the switch, subject, text and image of each campaign in the order of the host
    // schema, then the extra settings and the SMTP account.
    QStringList cols;
    QList<QVariant> values;
    const QList<ColumnDef> all = hostColumns(QStringLiteral("Qzcvar2"));
    for (int c = 0; c < 8; ++c) {
        for (int k = 0; k < 4; ++k) cols.append(all[c * 4 + k].name);
        QVariant image;                         // none
        if (c < 2) image = QStringLiteral("");  // the host system also leaves an empty path
        if (c == 2) image = imagePath;
        values << QStringLiteral("Sim") << QString::fromUtf8(kSubjects[c]) << QString::fromUtf8(kTexts[c]) << image;
    }
    const std::pair<const char*, QVariant> rest[] = {
        {"TRANCAMENTO_DIAS", kSettings.trancamentoDias},
        {"FIDELIDADE_MESES", kSettings.fidelidadeMeses},
        {"AUSENTES_DIAS", kSettings.ausentesDias},
        {"STMP_PROVEDOR", QStringLiteral("127.0.0.1*%1").arg(smtpPort)},
        {"NOME_PROVEDOR", QStringLiteral("Academia Demonstração")},
        {"EMAIL_PROVEDOR", QStringLiteral("academia@example.com")},
        {"USERNAME", QVariant()},
        {"PASSWORD", QVariant()},
        {"IdSMTP_UseTLS", QStringLiteral("utNoTLSSupport")},
        {"EMAIL", QStringLiteral("Sim")},
        {"ASSUNTO_NOVO", QStringLiteral("Bem-vindo à Academia Demonstração!")},
        {"ASSUNTO_RETORNO", QStringLiteral("Que bom ver você de volta!")},
        {"MARKETING_NOVO", QStringLiteral("Não")},
        {"MARKETING_RETORNO", QStringLiteral("Não")},
        {"ICORPO_MARKETING_NOVO", QVariant()},
        {"ICORPO_MARKETING_RETORNO", QVariant()},
    };
    for (const auto& [name, value] : rest) {
        cols.append(QString::fromLatin1(name));
        values.append(value);
    }
    const auto split = [](const char* list) { return QString::fromLatin1(list).split(QLatin1Char(',')); };
    return insertRows(db, QStringLiteral("Caixa"), {QStringLiteral("DATAABERTURA")}, {{stamp({date, 0})}}, error) &&
           // National holidays and Consciência Negra, "DD/MM" entries without separators.
           insertRows(db, QStringLiteral("Qzcvar"), split("PRAZOAVALMED,PRAZOAVALFUN,FERIADOS"),
                      {{kSettings.prazoAvalMed, kSettings.prazoAvalFun,
                        QStringLiteral("01/0121/0401/0507/0912/1002/1115/1120/1125/12")}},
                      error) &&
           insertRows(db, QStringLiteral("Qzcvar2"), cols, {values}, error) &&
           insertRows(db, QStringLiteral("PLANOS"), split("CODIGO,DESCRICAO"),
                      {{QStringLiteral("01"), QStringLiteral("Mensal")},
                       {QStringLiteral("02"), QStringLiteral("Trimestral")},
                       {QStringLiteral("03"), QStringLiteral("Semestral")},
                       {QStringLiteral("04"), QStringLiteral("Anual")},
                       {QStringLiteral("05"), QStringLiteral("Anual Família")}},
                      error) &&
           insertRows(db, QStringLiteral("MENSALIDADES"), split("CODIGO,ACESSOLIVRE"),
                      {{QStringLiteral("MU"), 0},
                       {QStringLiteral("NA"), 0},
                       {QStringLiteral("GI"), 0},
                       {QStringLiteral("LV"), 1}},  // LV: free access
                      error);
}

bool insertMembers(QSqlDatabase& db, const DemoOptions& o, const QDate& date, QString* error) {
    const auto names = [](const char* list) { return QString::fromLatin1(list).split(QLatin1Char(',')); };
    Inserter ativos(db, QStringLiteral("AlunosAtivos"),
                    names("MATRICULA,NOME,ENDERECO,BAIRRO,ESTADO,CEP,TELEFONE,TELEFONECOM,"
                          "TELEFONE_CELULAR,RADIO,OBSERVACAO,EMAIL,RECEBER_EMAIL,DATA_TRANCAMENTO,"
                          "DATA_MEDICA,DATA_FUNCIONAL,DATA_NASCIMENTO,PRAZO_TRANCAMENTO,"
                          "DIAS_PRAZO_TRANCAMENTO,SAIDA,PLANOS,MODALIDADE,BOLSISTA"));
    Inserter alunos(db, QStringLiteral("ALUNOS"),
                    names("MATRICULA,EMAIL,RECEBER_EMAIL,DATA_TRANCAMENTO,REPASSE,BOLSISTA,"
                          "DIA_VENCIMENTO,MODALIDADE,PLANOS"));
    Inserter receb(db, QStringLiteral("RECEB"), names("MATRICULA,MES,ANO"));
    Inserter periods(db, QStringLiteral("ENTRADASAIDA"), names("MATRICULA,INICIAL,FINAL,BOLSISTA,ANOMESI,ANOMESF"));
    Inserter locks(db, QStringLiteral("HISTORICOTRANCAMENTO"), names("MATRICULA,TRANCAMENTO,PRAZO,LIBERADO"));
    Inserter visits(db, QStringLiteral("ACESSO"), names("MATRICULA,DATA"));

    // Month and year of each receipt offset, as the host system writes them: '03', '2024'.
    QVariant mes[kPaidBack + 2], ano[kPaidBack + 2];
    const QDate first(date.year(), date.month(), 1);
    for (int offset = -kPaidBack; offset <= 1; ++offset) {
        const QDate m = first.addMonths(offset);
        mes[offset + kPaidBack] = QStringLiteral("%1").arg(m.month(), 2, 10, QLatin1Char('0'));
        ano[offset + kPaidBack] = QStringLiteral("%1").arg(m.year(), 4, 10, QLatin1Char('0'));
    }

    for (int i = 0; i < o.members; ++i) {
        if (o.progress && i % 1000 == 0) o.progress(i, o.members);
        const Member m = makeMember(o.seed, i, date, kSettings);
        const QVariant mat = m.matricula;
        bool ok = ativos.insert({mat,
                                 m.nome,
                                 m.endereco,
                                 m.bairro,
                                 m.estado,
                                 m.cep,
                                 m.telefone,
                                 text(m.telefoneCom),
                                 m.celular,
                                 text(m.radio),
                                 m.observacao,
                                 text(m.email),
                                 m.receberEmail,
                                 stamp(m.dataTrancamento),
                                 stamp(m.dataMedica),
                                 stamp(m.dataFuncional),
                                 stamp(m.dataNascimento),
                                 stamp(m.prazoTrancamento),
                                 m.diasPrazoTrancamento,
                                 stamp(m.saida),
                                 text(m.planos),
                                 text(m.modalidade),
                                 m.bolsista},
                                error) &&
                  alunos.insert({mat, text(m.email), m.receberEmail, stamp(m.dataTrancamento), text(m.repasse),
                                 m.bolsista, m.diaVencimento, text(m.modalidade), text(m.planos)},
                                error);
        for (int offset = -kPaidBack; ok && offset <= 1; ++offset) {
            if (!(m.paid & (1u << (offset + kPaidBack)))) continue;
            const int copies = (offset == 0 && m.paidCurrentTwice) ? 2 : 1;
            for (int c = 0; ok && c < copies; ++c)
                ok = receb.insert({mat, mes[offset + kPaidBack], ano[offset + kPaidBack]}, error);
        }
        for (const Period& p : m.periods)
            ok =
                ok && periods.insert({mat, stamp(p.inicial), stamp(p.final_), p.bolsista, p.anoMesI, p.anoMesF}, error);
        for (const LockRecord& l : m.locks)
            ok = ok && locks.insert({mat, stamp(l.trancamento), stamp(l.prazo), stamp(l.liberado)}, error);
        for (const Stamp& v : m.visits) ok = ok && visits.insert({mat, stamp(v)}, error);
        if (!ok) return false;
    }
    for (Inserter* table : {&ativos, &alunos, &receb, &periods, &locks, &visits})
        if (!table->flush(error)) return false;
    return true;
}

bool execAll(QSqlDatabase& db, const QStringList& statements, QString* error) {
    QSqlQuery q(db);
    for (const QString& sql : statements) {
        if (!q.exec(sql)) {
            if (error) *error = QStringLiteral("%1: %2").arg(sql, q.lastError().text());
            return false;
        }
    }
    return true;
}

// Removes the files of a failed or replaced demo, and the image folder when it is empty.
void removeDemoFiles(const DemoFiles& f) {
    for (const QString& p : {f.database, f.database + QStringLiteral("-journal"), f.dataLink, f.image})
        QFile::remove(p);
    QDir().rmdir(QFileInfo(f.image).absolutePath());
}

}  // namespace

DemoFiles demoFiles(const QString& path) {
    const QString db = QFileInfo(path).absoluteFilePath();
    return {db, db + QStringLiteral(".udl"), db + QStringLiteral(".d/parabens.png")};
}

QString dataLinkText(const QString& absoluteDatabasePath) {
    return QStringLiteral(
               "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
               "Provider=SQLite;Data Source=%1\r\n")
        .arg(absoluteDatabasePath);
}

bool fillDemoDatabase(QSqlDatabase& db, const DemoOptions& options, const QString& imagePath, QString* error) {
    const QDate date = options.date.isValid() ? options.date : localNow().date();
    if (!db.transaction()) {
        if (error) *error = db.lastError().text();
        return false;
    }
    const bool ok = insertSettings(db, date, imagePath, options.smtpPort, error) &&
                    insertMembers(db, options, date, error) && execAll(db, hostIndexesSqlite(), error);
    if (!ok || !db.commit()) {
        if (ok && error) *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

bool writeDemoDatabase(const DemoOptions& options, QString* error) {
    auto fail = [&](const QString& message) {
        if (error) *error = message;
        return false;
    };
    if (options.path.isEmpty()) return fail(QStringLiteral("no database path given"));
    if (options.members < 0) return fail(QStringLiteral("the number of members cannot be negative"));
    const DemoFiles files = demoFiles(options.path);
    if (QFileInfo(files.database).isDir()) return fail(QStringLiteral("%1 is a folder").arg(files.database));
    if (!QFileInfo(files.database).absoluteDir().exists())
        return fail(QStringLiteral("folder %1 does not exist").arg(QFileInfo(files.database).absolutePath()));
    for (const QString& p : {files.database, files.dataLink}) {
        if (QFileInfo::exists(p) && !options.force)
            return fail(QStringLiteral("%1 already exists (use --force to replace it)").arg(p));
    }
    if (options.force) {
        removeDemoFiles(files);
        for (const QString& p : {files.database, files.dataLink})
            if (QFileInfo::exists(p)) return fail(QStringLiteral("cannot remove %1").arg(p));
    }

    QString message;
    bool ok = writeBirthdayPng(files.image, &message);
    if (ok) {
        const QString connection = QStringLiteral("velocast-seed-") + QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(files.database);
            // Created empty and the owner's only before SQLite opens it: it holds the members'
            // personal data, and SQLite would create it for anyone to read.
            QFile created(files.database);
            if (!created.open(QIODevice::WriteOnly, QFile::ReadOwner | QFile::WriteOwner) || !db.open()) {
                message = QStringLiteral("cannot open %1: %2").arg(files.database, db.lastError().text());
                ok = false;
            } else {
                // A new file that is deleted on failure needs no durability while it is written.
                QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous = OFF"));
                QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode = MEMORY"));
                HostSchemaOptions schema;
                schema.indexes = false;  // added after the rows: much faster
                ok = createHostSchema(db, schema, &message) && fillDemoDatabase(db, options, files.image, &message);
                QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(connection);
    }
    if (ok) {
        QFile udl(files.dataLink);
        const QByteArray bytes = dataLinkText(files.database).toUtf8();
        if (!udl.open(QIODevice::WriteOnly | QIODevice::Truncate, QFile::ReadOwner | QFile::WriteOwner) ||
            udl.write(bytes) != bytes.size()) {
            message = QStringLiteral("cannot write %1: %2").arg(files.dataLink, udl.errorString());
            ok = false;
        }
    }
    if (!ok) {
        removeDemoFiles(files);
        return fail(message);
    }
    return true;
}

}  // namespace velocast::seed
