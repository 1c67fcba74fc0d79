#include <QRegularExpression>

#include "campaigns/aniversariante.h"
#include "campaigns/campaign.h"
#include "support/qt_printers.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

namespace {

const QString kSubject = QStringLiteral("Zoë 🎂");
const QString kText = QStringLiteral("Parabéns! Hoje o treino é por nossa conta.");

QVariantMap birthdaySettings() {
    return {{QStringLiteral("MARKETING_ANIVERSARUANETE"), QStringLiteral("Sim")},
            {QStringLiteral("ASSUNTO_ANIVERSARIANTE"), kSubject},
            {QStringLiteral("TEXTO_ANIVERSARIANTE"), kText}};  // no image: NULL
}

DateTime businessDate() { return DateTime::fromQDateTime(QDateTime(QDate(2024, 5, 20), QTime(8, 15))); }

TdsRule members(const QStringList& addresses) {
    TdsRule rule = TdsRule::startingWith(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS"));
    rule.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60);
    for (const QString& a : addresses) rule.row({a});
    return rule;
}

// A text parameter declared 8-bit would be converted to the server's code page by the client.
bool declaresEightBitText(const QString& declarations) {
    return declarations.contains(QRegularExpression(QStringLiteral("\\b(VAR)?CHAR\\(|\\bTEXT\\b")));
}

}  // namespace

TEST(CampaignOnTheWire, BirthdaysArriveAsTheirSqlServerTextsAndUnicodeTextsPass) {
    const QString address = QStringLiteral("conceição@clube.com.br");
    WireSession wire(sessionRules(birthdaySettings(), {TdsRule::rowsOf(QStringLiteral("ControleEmail"),
                                                                       QStringLiteral("SELECT * FROM CONTROLEEMAIL")),
                                                       members({address, QStringLiteral("ana@example.com")})}));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    Aniversariante campaign;
    ASSERT_TRUE(runCampaign(campaign, wire.session, wire.notices));
    EXPECT_TRUE(wire.notices.shown.empty());

    const QList<QJsonObject> requests = wire.afterOpening();
    QStringList lines;
    for (const QJsonObject& r : requests) lines << line(r);
    const QString insert = QStringLiteral(
        "rpc sp_prepexec: INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING) VALUES (@P1, @P2, @P3, "
        "@P4)");
    // The transaction is the one the opening's commit began; the control row, written once,
    // goes without a preparation, the outbox insert is prepared once and then only executed.
    EXPECT_EQ(lines,
              (QStringList{
                  QStringLiteral("batch: ") + controlRecordLookup(businessDate()).mssql,
                  QStringLiteral("rpc sp_executesql: INSERT INTO ControleEmail (DATA, ANIVERSARIANTE) VALUES (@P1, 1)"),
                  QStringLiteral("batch: ") + Aniversariante::selection(businessDate()).mssql,
                  insert,
                  QString(insert).replace(QLatin1String("sp_prepexec"), QLatin1String("sp_execute")),
                  QStringLiteral("tm: commit"),
              }));
    // The exact texts, as they stand in the program's history.
    EXPECT_EQ(
        Aniversariante::selection(businessDate()).mssql,
        QStringLiteral(
            "SELECT EMAIL FROM ALUNOSATIVOS WHERE ((EMAIL IS NOT NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = 'Sim')) "
            "AND (DATEPART(MONTH, DATA_NASCIMENTO) = '05') AND DATEPART(DAY, DATA_NASCIMENTO) = '20'"));

    // Every statement of the campaign runs inside its one transaction.
    QJsonObject control;
    QList<QJsonObject> outbox;
    for (const QJsonObject& r : requests) {
        if (r.value(QStringLiteral("kind")).toString() == QLatin1String("tm")) continue;
        EXPECT_NE(r.value(QStringLiteral("transaction")).toString(), QStringLiteral("0000000000000000"))
            << line(r).toStdString();
        const QString sql = r.value(QStringLiteral("sql")).toString();
        if (sql.startsWith(QLatin1String("INSERT INTO ControleEmail"))) control = r;
        if (sql.startsWith(QLatin1String("INSERT INTO Velocast"))) outbox << r;
    }

    // The control row's date goes as a date-time with its time of day.
    const QJsonArray date = boundValues(control);
    ASSERT_EQ(date.size(), 1);
    EXPECT_TRUE(date.at(0)[QStringLiteral("type")].toString().startsWith(QLatin1String("datetime")));
    EXPECT_TRUE(date.at(0)[QStringLiteral("value")].toString().startsWith(QLatin1String("2024-05-20 08:15:00")))
        << date.at(0)[QStringLiteral("value")].toString().toStdString();

    // The outbox rows: Unicode columns as NVARCHAR declared with their columns' widths (the
    // long text column unbounded), the missing image as a NULL of its type.
    ASSERT_EQ(outbox.size(), 2);
    EXPECT_EQ(outbox.at(0).value(QStringLiteral("declarations")).toString(),
              QStringLiteral("@P1 NVARCHAR(40),@P2 NVARCHAR(50),@P3 NVARCHAR(MAX),@P4 NVARCHAR(500)"));
    for (int row = 0; row < 2; ++row) {
        const QJsonObject call = outbox.at(row);
        const QString declarations = call.value(QStringLiteral("declarations")).toString();
        EXPECT_FALSE(declaresEightBitText(declarations)) << declarations.toStdString();
        const QJsonArray values = boundValues(call);
        ASSERT_EQ(values.size(), 4);
        const QStringList expected{row == 0 ? address : QStringLiteral("ana@example.com"), kSubject, kText};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(values.at(i)[QStringLiteral("type")].toString(),
                      i == 2 ? QStringLiteral("nvarchar(max)") : QStringLiteral("nvarchar"))
                << i;
            EXPECT_EQ(values.at(i)[QStringLiteral("value")].toString(), expected.at(i)) << i;
        }
        EXPECT_EQ(values.at(3)[QStringLiteral("type")].toString(), QStringLiteral("nvarchar"));
        EXPECT_TRUE(values.at(3)[QStringLiteral("value")].isNull());
    }
}

TEST(CampaignOnTheWire, AControlRowOfTheDayIsEditedByItsIntegerKeyAndADoneFlagStopsTheCampaign) {
    const QVariantMap open{{QStringLiteral("ID"), 7},
                           {QStringLiteral("DATA"), QStringLiteral("2024-05-20 08:15:00")},
                           {QStringLiteral("MEDICA"), true}};
    QVariantMap done = open;
    done.insert(QStringLiteral("ANIVERSARIANTE"), true);
    struct Case {
        const char* name;
        QVariantMap controlRow;
        QStringList expected;
    } cases[] = {
        {"flag NULL",
         open,
         {QStringLiteral("batch: ") + controlRecordLookup(businessDate()).mssql,
          QStringLiteral("rpc sp_executesql: UPDATE ControleEmail SET ANIVERSARIANTE = 1 WHERE ID = @P1"),
          QStringLiteral("batch: ") + Aniversariante::selection(businessDate()).mssql, QStringLiteral("tm: commit")}},
        {"flag set",
         done,
         {QStringLiteral("batch: ") + controlRecordLookup(businessDate()).mssql, QStringLiteral("tm: rollback")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireSession wire(sessionRules(birthdaySettings(),
                                      {TdsRule::rowsOf(QStringLiteral("ControleEmail"),
                                                       QStringLiteral("SELECT * FROM CONTROLEEMAIL"), {c.controlRow}),
                                       members({})}));
        wire.connection.open();
        ASSERT_TRUE(wire.session.ABRE_TABELAS());
        Aniversariante campaign;
        EXPECT_TRUE(runCampaign(campaign, wire.session, wire.notices));
        QStringList lines;
        QJsonObject update;
        for (const QJsonObject& r : wire.afterOpening()) {
            lines << line(r);
            if (r.value(QStringLiteral("sql")).toString().startsWith(QLatin1String("UPDATE"))) update = r;
        }
        EXPECT_EQ(lines, c.expected);
        if (!update.isEmpty()) {
            const QJsonArray key = boundValues(update);
            ASSERT_EQ(key.size(), 1);
            EXPECT_EQ(key.at(0)[QStringLiteral("type")].toString(), QStringLiteral("int"));
            EXPECT_EQ(key.at(0)[QStringLiteral("value")].toInt(), 7);
        }
    }
}

TEST(CampaignOnTheWire, AServerErrorInTheSelectionRollsTheCampaignBack) {
    WireSession wire(sessionRules(
        birthdaySettings(),
        {TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")),
         TdsRule::startingWith(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS"))
             .error(QStringLiteral("Conversion failed when converting date and/or time from character string."))}));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    Aniversariante campaign;
    EXPECT_FALSE(runCampaign(campaign, wire.session, wire.notices));
    ASSERT_EQ(wire.notices.shown.size(), 1u);
    EXPECT_EQ(wire.notices.shown.at(0).text, QStringLiteral("Gravando na tabela !"));
    QStringList lines;
    for (const QJsonObject& r : wire.afterOpening()) lines << line(r);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), QStringLiteral("tm: rollback"));
    EXPECT_FALSE(lines.join(QLatin1Char('\n')).contains(QLatin1String("INSERT INTO Velocast")));
}

TEST(CampaignOnTheWire, AMessageTextLongerThanAnNvarcharParameterGoesUnbounded) {
    QVariantMap settings = birthdaySettings();
    const QString longText = QStringLiteral("Parabéns! ").repeated(500);  // 5000 characters
    settings.insert(QStringLiteral("TEXTO_ANIVERSARIANTE"), longText);
    WireSession wire(sessionRules(
        settings, {TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")),
                   members({QStringLiteral("ana@example.com")})}));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    Aniversariante campaign;
    ASSERT_TRUE(runCampaign(campaign, wire.session, wire.notices));
    const QJsonObject insert = wire.peer.firstStatement(QStringLiteral("INSERT INTO Velocast"));
    const QString declarations = insert.value(QStringLiteral("declarations")).toString();
    EXPECT_TRUE(declarations.contains(QLatin1String("@P3 NVARCHAR(MAX)"))) << declarations.toStdString();
    const QJsonArray values = boundValues(insert);
    ASSERT_EQ(values.size(), 4);
    EXPECT_EQ(values.at(2)[QStringLiteral("value")].toString(), longText);
}
