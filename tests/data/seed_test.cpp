// The demo club database generator: what it writes, that it writes the same for the same seed,
// and that its members give every campaign recipients and every rule someone to leave out.
#include "data/host_schema.h"
#include "seed/demo_database.h"
#include "seed/seed_command.h"
#include "support/posix_mode.h"

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <functional>

using namespace velocast;

namespace {

struct SeedRun {
    int status;
    QString out, err;
};

SeedRun seedCommand(const QStringList& args) {
    SeedRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = seed::runSeedCommand(args, out, err);
    return r;
}

// Runs fn on a read connection to a database file, then closes it.
void withDatabase(const QString& path, const std::function<void(QSqlDatabase&)>& fn) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        ASSERT_TRUE(db.open()) << path.toStdString();
        fn(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

qint64 count(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) {
        ADD_FAILURE() << sql.toStdString();
        return -1;
    }
    return q.value(0).toLongLong();
}

// Every row of every host table, in the order stored.
QStringList dump(const QString& path) {
    QStringList rows;
    withDatabase(path, [&](QSqlDatabase& db) {
        for (const QString& table : hostTables()) {
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table)));
            while (q.next()) {
                QStringList fields{table};
                for (int i = 0; i < q.record().count(); ++i)
                    fields.append(q.value(i).isNull() ? QStringLiteral("<NULL>") : q.value(i).toString());
                rows.append(fields.join(QLatin1Char('|')));
            }
        }
    });
    return rows;
}

class SeedTool : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(SeedTool, SameSeedSameRowsOtherSeedOtherMembers) {
    const QString db = path(QStringLiteral("club.db"));
    ASSERT_EQ(seedCommand({db, "--members", "150", "--date", "2024-03-15", "--seed", "7"}).status, 0);
    const QStringList first = dump(db);
    ASSERT_GT(first.size(), 150 * 5);

    // Without --force an existing database is left alone.
    const SeedRun refused = seedCommand({db, "--members", "10", "--seed", "8"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("already exists"))) << refused.err.toStdString();
    EXPECT_EQ(dump(db), first);

    ASSERT_EQ(seedCommand({db, "--members", "150", "--date", "2024-03-15", "--seed", "7", "--force"}).status, 0);
    EXPECT_EQ(dump(db), first);

    ASSERT_EQ(seedCommand({db, "--members", "150", "--date", "2024-03-15", "--seed", "8", "--force"}).status, 0);
    const QStringList other = dump(db);
    EXPECT_NE(other, first);
    EXPECT_EQ(other.filter(QStringLiteral("Caixa|")), first.filter(QStringLiteral("Caixa|")));
}

TEST_F(SeedTool, WritesDataLinkSettingsAndImage) {
    const QString db = path(QStringLiteral("demo.db"));
    const SeedRun run = seedCommand({db, "--members", "20", "--date", "2025-01-02"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const seed::DemoFiles files = seed::demoFiles(db);

    QFile udl(files.dataLink);
    ASSERT_TRUE(udl.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(udl.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[oledb]\r\n"))) << text.toStdString();
    const QString key = QStringLiteral("Data Source=");
    const qsizetype at = text.indexOf(key);
    ASSERT_GE(at, 0);
    EXPECT_TRUE(text.contains(QStringLiteral("Provider=SQLite;")));
    const QString source = text.mid(at + key.size()).section(QStringLiteral("\r\n"), 0, 0);
    EXPECT_EQ(source, files.database);

    // The club's data and the database login: the owner's only.
    for (const QString& file : {files.database, files.dataLink, files.image}) {
        if (const auto mode = velocast::testing::posixMode(file)) {
            EXPECT_EQ(*mode, 0600u) << file.toStdString();
        }
    }
    if (const auto mode = velocast::testing::posixMode(QFileInfo(files.image).absolutePath())) {
        EXPECT_EQ(*mode, 0700u);
    }

    QFile image(files.image);
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    EXPECT_TRUE(image.readAll().startsWith("\x89PNG\r\n\x1a\n"));

    withDatabase(source, [&](QSqlDatabase& d) {
        EXPECT_EQ(count(d, "SELECT COUNT(*) FROM Caixa WHERE DATAABERTURA = '2025-01-02 00:00:00'"), 1);
        EXPECT_EQ(count(d, "SELECT COUNT(*) FROM Caixa"), 1);
        EXPECT_EQ(count(d, "SELECT COUNT(*) FROM Qzcvar WHERE FERIADOS LIKE '01/01%'"), 1);
        QSqlQuery q(d);
        ASSERT_TRUE(q.exec("SELECT * FROM Qzcvar2"));
        ASSERT_TRUE(q.next());
        const QSqlRecord r = q.record();
        for (const char* sw :
             {"MARKETING_MEDICA", "MARKETING_FUNCIONAL", "MARKETING_ANIVERSARUANETE", "MARKETING_PLANO",
              "MARKETING_TRANCAMENTO", "MARKETING_FIDELIDADE", "MARKETING_INADIMPLENTES", "MARKETING_AUSENTES"})
            EXPECT_EQ(r.value(sw).toString(), QStringLiteral("Sim")) << sw;
        EXPECT_EQ(r.value("ICORPO_MARKETING_ANIVERSARUANETE").toString(), files.image);
        EXPECT_EQ(r.value("STMP_PROVEDOR").toString(), QStringLiteral("127.0.0.1*2525"));
        EXPECT_EQ(r.value("IdSMTP_UseTLS").toString(), QStringLiteral("utNoTLSSupport"));
        EXPECT_TRUE(r.value("USERNAME").isNull());
        EXPECT_TRUE(r.value("ASSUNTO_ANIVERSARIANTE").toString().contains(QStringLiteral("aniversário")));
        EXPECT_FALSE(q.next());
        EXPECT_EQ(count(d, "SELECT COUNT(*) FROM Velocast") + count(d, "SELECT COUNT(*) FROM ControleEmail"), 0);
    });
}

TEST_F(SeedTool, CommandLineErrors) {
    struct Case {
        QStringList args;
        int status;
        const char* says;
    };
    const QString db = path(QStringLiteral("x.db"));
    const Case cases[] = {
        {{}, 2, "PATH is missing"},
        {{db, db}, 2, "only one PATH"},
        {{db, "--date", "2024-02-30"}, 2, "--date"},
        {{db, "--date", "15/03/2024"}, 2, "--date"},
        {{db, "--members", "-5"}, 2, "--members"},
        {{db, "--members", "many"}, 2, "--members"},
        {{db, "--seed", "x"}, 2, "--seed"},
        {{db, "--port", "70000"}, 2, "--port"},
        {{db, "--bogus"}, 2, "bogus"},
        {{path("no/such/folder/x.db")}, 1, "does not exist"},
    };
    for (const Case& c : cases) {
        const SeedRun r = seedCommand(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(db));
    const SeedRun help = seedCommand({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--members")));
    // The tool's own words: none of Qt's generic options, and its own name however started.
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: velocast-seed "))) << help.out.toStdString();
    EXPECT_FALSE(help.out.contains(QStringLiteral("--help-all")));
    EXPECT_EQ(seedCommand({"--version"}).out, QStringLiteral("velocast-seed " VELOCAST_TEST_VERSION "\n"));
}

// Each campaign's selection as plain conditions on the demo file: members meeting all of them
// are the recipients; for each rule, members meeting all the others but not it are the ones
// that rule excludes.
struct Campaign {
    const char* name;
    QString from;
    QStringList base;  // always applied
    QList<std::pair<const char*, QString>> rules;
};

QList<Campaign> campaigns(const QDate& d) {
    const auto day = [](const QDate& x) { return x.toString(QStringLiteral("yyyy-MM-dd 00:00:00")); };
    const QString mm = d.toString(QStringLiteral("MM")), yyyy = d.toString(QStringLiteral("yyyy"));
    const QDate next = QDate(d.year(), d.month(), 1).addMonths(1);
    const QString monthEnd = day(QDate(d.year(), d.month(), d.daysInMonth()));
    const auto paid = [](const QDate& m) {
        return QStringLiteral(
                   "EXISTS (SELECT 1 FROM RECEB R WHERE R.MATRICULA = A.MATRICULA AND "
                   "R.MES = '%1' AND R.ANO = '%2')")
            .arg(m.toString(QStringLiteral("MM")), m.toString(QStringLiteral("yyyy")));
    };
    const QString address = QStringLiteral("A.EMAIL IS NOT NULL AND A.EMAIL <> ''");
    const QString consent = QStringLiteral("A.RECEBER_EMAIL = 'Sim'");
    const QString unlocked = QStringLiteral("A.DATA_TRANCAMENTO IS NULL");
    const auto evaluation = [&](const char* name, const char* column, int months) {
        return Campaign{
            name,
            QStringLiteral("AlunosAtivos A"),
            {},
            {{"address", address},
             {"consent", consent},
             {"unlocked", unlocked},
             {"overdue", QStringLiteral("A.%1 < '%2'").arg(column, day(d.addMonths(-months)))},
             {"same day", QStringLiteral("CAST(strftime('%d', A.%1) AS INTEGER) = %2").arg(column).arg(d.day())}}};
    };
    QString loyalMonths;
    for (int k = 3; k >= 1; --k)
        loyalMonths +=
            (k < 3 ? QStringLiteral(" AND ") : QString()) + paid(QDate(d.year(), d.month(), 1).addMonths(-k));
    const QList<std::pair<const char*, QString>> overdueRules = {
        {"address", address},
        {"consent", consent},
        {"unlocked", unlocked},
        {"repasse", QStringLiteral("(A.REPASSE IS NULL OR A.REPASSE = '')")},
        {"scholarship", QStringLiteral("A.BOLSISTA = 0")},
        {"due day", QStringLiteral("A.DIA_VENCIMENTO = %1").arg(d.day())},
        {"open period", QStringLiteral("A.MATRICULA IN (SELECT D.MATRICULA FROM ENTRADASAIDA D JOIN (SELECT MATRICULA, "
                                       "MAX(INICIAL) AS U FROM ENTRADASAIDA GROUP BY MATRICULA) G ON D.MATRICULA = "
                                       "G.MATRICULA AND D.INICIAL = G.U AND D.BOLSISTA = 'N' AND D.ANOMESI <= '%1' AND "
                                       "D.FINAL IS NULL)")
                            .arg(yyyy + mm)},
        {"unpaid", QStringLiteral("NOT ") + paid(d)},
        {"lock at month end",
         QStringLiteral("A.MATRICULA NOT IN (SELECT J.MATRICULA FROM HISTORICOTRANCAMENTO J JOIN (SELECT "
                        "MATRICULA, MAX(PRAZO) AS U FROM HISTORICOTRANCAMENTO GROUP BY MATRICULA) H ON "
                        "J.MATRICULA = H.MATRICULA AND J.PRAZO = H.U AND (J.LIBERADO IS NULL OR J.LIBERADO "
                        "<= '%1') AND '%1' BETWEEN J.TRANCAMENTO AND J.PRAZO)")
             .arg(monthEnd)},
        {"free access", QStringLiteral("A.MATRICULA NOT IN (SELECT Z.MATRICULA FROM ALUNOS Z, MENSALIDADES W WHERE "
                                       "Z.MODALIDADE = W.CODIGO AND W.ACESSOLIVRE = 1)")},
    };
    QStringList planPass{QStringLiteral("A.PLANOS IN (SELECT CODIGO FROM PLANOS)")};
    for (const auto& rule : overdueRules) planPass.append(rule.second);
    return {
        evaluation("AVALIACAO_MEDICA", "DATA_MEDICA", 6),
        evaluation("AVALIACAO_FUNCIONAL", "DATA_FUNCIONAL", 3),
        {"ANIVERSARIANTE",
         QStringLiteral("AlunosAtivos A"),
         {},
         {{"address", address},
          {"consent", consent},
          {"birthday",
           QStringLiteral("strftime('%m-%d', A.DATA_NASCIMENTO) = '%1'").arg(d.toString(QStringLiteral("MM-dd")))}}},
        {"PLANOS_A_VENCER",
         QStringLiteral("AlunosAtivos A"),
         {},
         {{"left", QStringLiteral("A.SAIDA IS NULL")},
          {"address", address},
          {"consent", consent},
          {"unlocked", unlocked},
          {"plan", QStringLiteral("A.PLANOS IN (SELECT CODIGO FROM PLANOS)")},
          {"paid", paid(d)},
          {"renewed", QStringLiteral("NOT ") + paid(next)}}},
        {"TRACAMENTO_PRAZO",
         QStringLiteral("AlunosAtivos A"),
         {},
         {{"address", address},
          {"consent", consent},
          {"locked", QStringLiteral("A.DATA_TRANCAMENTO IS NOT NULL")},
          {"deadline", QStringLiteral("datetime(A.PRAZO_TRANCAMENTO, '+' || A.DIAS_PRAZO_TRANCAMENTO "
                                      "|| ' days') = '%1'")
                           .arg(day(d.addDays(5)))}}},
        {"FIDELIDADE",
         QStringLiteral("AlunosAtivos A"),
         {},
         {{"left", QStringLiteral("A.SAIDA IS NULL")},
          {"scholarship", QStringLiteral("COALESCE(A.BOLSISTA, 0) = 0")},
          {"months paid", loyalMonths},
          {"address", QStringLiteral("A.EMAIL IS NOT NULL")},
          {"consent", consent},
          {"plan", QStringLiteral("(A.PLANOS IS NULL OR A.PLANOS = '')")}}},
        {"INADIMPLENTES modalidade",
         QStringLiteral("ALUNOS A"),
         {QStringLiteral("A.MODALIDADE IN (SELECT CODIGO FROM MENSALIDADES)")},
         overdueRules},
        {"INADIMPLENTES plano", QStringLiteral("ALUNOS A"), planPass, {}},
        {"AUSENTES",
         QStringLiteral("AlunosAtivos A LEFT JOIN (SELECT MATRICULA, MAX(DATA) AS ULTIMA FROM ACESSO "
                        "GROUP BY MATRICULA) V ON V.MATRICULA = A.MATRICULA"),
         {},
         {{"address", QStringLiteral("A.EMAIL IS NOT NULL")},
          {"consent", consent},
          {"unlocked", unlocked},
          {"scholarship", QStringLiteral("A.BOLSISTA = 0")},
          // seven days when rounded half to even: more than 6.5, less than 7.5
          {"days absent", QStringLiteral("julianday('%1') - julianday(V.ULTIMA) > 6.5 AND "
                                         "julianday('%1') - julianday(V.ULTIMA) < 7.5")
                              .arg(day(d))}}},
    };
}

TEST_F(SeedTool, EveryCampaignSelectsSeveralAndEveryRuleExcludesSomeone) {
    // Mid-month; a month end that wraps the year; a leap day; the day after a holiday.
    for (const char* date : {"2024-03-15", "2024-12-31", "2024-02-29", "2025-01-02"}) {
        SCOPED_TRACE(date);
        const QString db = path(QStringLiteral("club-%1.db").arg(QLatin1String(date)));
        ASSERT_EQ(seedCommand({db, "--date", date}).status, 0);
        withDatabase(db, [&](QSqlDatabase& d) {
            for (const Campaign& c : campaigns(QDate::fromString(QLatin1String(date), Qt::ISODate))) {
                QStringList all = c.base;
                for (const auto& rule : c.rules) all.append(QStringLiteral("(%1)").arg(rule.second));
                const QString select = QStringLiteral("SELECT COUNT(*) FROM %1 WHERE ").arg(c.from);
                EXPECT_GE(count(d, select + all.join(QStringLiteral(" AND "))), 3) << c.name;
                for (const auto& [rule, condition] : c.rules) {
                    QStringList others = c.base;
                    for (const auto& other : c.rules)
                        if (other.first != rule) others.append(QStringLiteral("(%1)").arg(other.second));
                    others.append(QStringLiteral("NOT COALESCE((%1), 0)").arg(condition));
                    EXPECT_GE(count(d, select + others.join(QStringLiteral(" AND "))), 1)
                        << c.name << ": nobody left out by " << rule;
                }
            }
            // Addresses under reserved demo domains only, a few of them malformed.
            EXPECT_EQ(count(d, "SELECT COUNT(*) FROM AlunosAtivos WHERE EMAIL <> '' AND EMAIL NOT LIKE '%example%'"),
                      0);
            EXPECT_GE(count(d,
                            "SELECT COUNT(*) FROM AlunosAtivos WHERE EMAIL NOT GLOB "
                            "'[a-z]*.[a-z]*[0-9]@example.[a-z][a-z][a-z]' AND EMAIL <> ''"),
                      3);
        });
    }
}

}  // namespace
