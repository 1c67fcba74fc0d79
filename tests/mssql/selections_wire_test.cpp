// The campaigns after the birthdays, as the club's SQL Server receives them: each selection
// byte for byte, inside the campaign's one transaction, or on a connection of its own; and the
// daily run as a whole, one transaction per campaign.
#include <QSqlDatabase>
#include <functional>

#include "campaigns/ausentes.h"
#include "campaigns/avaliacao.h"
#include "campaigns/campaign.h"
#include "campaigns/inadimplentes.h"
#include "campaigns/planos_a_vencer.h"
#include "campaigns/tracamento_prazo.h"
#include "support/qt_printers.h"
#include "support/velocast_process.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

namespace {

const QString kNoTransaction = QStringLiteral("0000000000000000");
const QString kSubject = QStringLiteral("Lembrete: é hoje");

QStringList lines(const QList<QJsonObject>& requests) {
    QStringList result;
    for (const QJsonObject& r : requests) result << line(r);
    return result;
}

QString valueOf(const QJsonValue& parameter) { return parameter[QStringLiteral("value")].toString(); }

// What each campaign's outbox rows carried: the address, checked to travel as NVARCHAR, and the
// subject.
void expectOutboxRows(const QList<QJsonObject>& requests, const QStringList& addresses) {
    QStringList sent;
    for (const QJsonObject& r : requests) {
        if (!r.value(QStringLiteral("sql")).toString().startsWith(QLatin1String("INSERT INTO Velocast"))) continue;
        const QJsonArray values = boundValues(r);
        if (values.size() != 4) {
            ADD_FAILURE() << "an outbox row with " << values.size() << " values";
            continue;
        }
        EXPECT_EQ(values.at(0)[QStringLiteral("type")].toString(), QStringLiteral("nvarchar"));
        EXPECT_EQ(valueOf(values.at(1)), kSubject);
        sent << valueOf(values.at(0));
    }
    EXPECT_EQ(sent, addresses);
}

// The lines of `rows` outbox rows as they go to the server.
// The outbox inserts of `rows` rows: prepared by the first of the transaction, only executed
// after that.
QStringList outboxInserts(qsizetype rows, bool preparedBefore = false) {
    QStringList result;
    for (qsizetype i = 0; i < rows; ++i)
        result << QStringLiteral(
                      "rpc %1: INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING) "
                      "VALUES (@P1, @P2, @P3, @P4)")
                      .arg(i == 0 && !preparedBefore ? QLatin1String("sp_prepexec") : QLatin1String("sp_execute"));
    return result;
}

// A value a prepared selection bound: its kind ("int", "text" for either 8-bit or Unicode
// text, "datetime" for any date-time type) and its value as the server logged it.
struct Bound {
    QString kind;
    QString value;
};

void expectBound(const QJsonObject& call, const QList<Bound>& expected) {
    const QJsonArray values = boundValues(call);
    ASSERT_EQ(values.size(), expected.size()) << call.value(QStringLiteral("declarations")).toString().toStdString();
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString type = values.at(i)[QStringLiteral("type")].toString();
        const QString& kind = expected.at(i).kind;
        const bool matches = kind == QLatin1String("text")
                                 ? type == QLatin1String("varchar") || type == QLatin1String("nvarchar")
                             : kind == QLatin1String("datetime") ? type.startsWith(QLatin1String("datetime"))
                                                                 : type == kind;
        EXPECT_TRUE(matches) << "@P" << i + 1 << " is " << type.toStdString() << ", not " << kind.toStdString();
        const QJsonValue value = values.at(i)[QStringLiteral("value")];
        const QString text = value.isDouble() ? QString::number(value.toInt()) : value.toString();
        if (kind == QLatin1String("datetime")) {
            EXPECT_TRUE(text.startsWith(expected.at(i).value)) << "@P" << i + 1 << " is " << text.toStdString();
        } else {
            EXPECT_EQ(text, expected.at(i).value) << "@P" << i + 1;
        }
    }
}

TdsRule addresses(const QString& start, const QStringList& emails) {
    TdsRule rule = TdsRule::startingWith(start);
    rule.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60);
    for (const QString& e : emails) rule.row({e});
    return rule;
}

TdsRule members(const QString& start, const QList<QStringList>& rows) {
    TdsRule rule = TdsRule::startingWith(start);
    rule.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10)
        .column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60);
    for (const QStringList& r : rows) rule.row({r.at(0), r.at(1)});
    return rule;
}

// The plans to renew with every column the query declares: rows of registration number,
// address and plan code.
TdsRule renewalRows(const QList<QStringList>& rows) {
    TdsRule rule = TdsRule::startingWith(QStringLiteral("SELECT A.MATRICULA"));
    for (const QString& column : PlanosAVencer::declaredColumns())
        rule.column(column, QStringLiteral("nvarchar"), column == QLatin1String("EMAIL") ? 40 : 45);
    for (const QStringList& r : rows) {
        QVariantList row;
        for (const QString& column : PlanosAVencer::declaredColumns())
            row << (column == QLatin1String("MATRICULA") ? QVariant(r.at(0))
                    : column == QLatin1String("EMAIL")   ? QVariant(r.at(1))
                    : column == QLatin1String("CODIGO")  ? QVariant(r.at(2))
                                                         : QVariant());
        rule.row(row);
    }
    return rule;
}

// The overdue payments' statement as the server receives it: each line followed by a line
// break, the named parameters numbered in the order they stand. The passes differ in lines 2
// and 3.
QString overdueSelection(const QString& from, const QString& where) {
    const QStringList lines{
        QStringLiteral("SELECT DISTINCT A.MATRICULA, A.EMAIL "),
        from,
        where,
        QStringLiteral(" AND ((EMAIL is not NULL) and (EMAIL <> '')) AND (RECEBER_EMAIL = 'Sim') "),
        QStringLiteral(
            " AND (A.DATA_TRANCAMENTO IS NULL) AND ((A.REPASSE IS NULL) OR (A.REPASSE = '')) AND (A.BOLSISTA = 0) "),
        QStringLiteral("AND (A.DIA_VENCIMENTO = @P1) "),
        QStringLiteral(" AND (A.MATRICULA IN (SELECT D.MATRICULA "),
        QStringLiteral("                 FROM ENTRADASAIDA D "),
        QStringLiteral("                 INNER JOIN (SELECT MATRICULA, MAX(INICIAL) AS UltimaData "),
        QStringLiteral("                             FROM ENTRADASAIDA GROUP BY MATRICULA) AS G "),
        QStringLiteral("                 ON (D.MATRICULA = G.MATRICULA) AND (D.INICIAL = G.UltimaData) AND (D.BOLSISTA "
                       "= 'N') AND "),
        QStringLiteral("                 ((D.ANOMESI <= @P2) AND (D.ANOMESF <= @P3)) AND (D.FINAL IS NULL)) AND "),
        QStringLiteral("(A.MATRICULA NOT IN (SELECT B.MATRICULA "),
        QStringLiteral("                     FROM RECEB B       "),
        QStringLiteral("                     WHERE (B.MES = @P4) AND (B.ANO = @P5))) AND "),
        QStringLiteral("(A.MATRICULA NOT IN (SELECT J.MATRICULA  "),
        QStringLiteral("                     FROM HISTORICOTRANCAMENTO J "),
        QStringLiteral("                     INNER JOIN (SELECT MATRICULA, MAX(PRAZO) As UltimaData          "),
        QStringLiteral("                     FROM HISTORICOTRANCAMENTO GROUP BY MATRICULA) As H              "),
        QStringLiteral("                     ON (J.MATRICULA = H.MATRICULA) AND (J.PRAZO = H.UltimaData) AND "),
        QStringLiteral("                        (((J.LIBERADO IS NULL) OR (J.LIBERADO <= @P6)) AND    "),
        QStringLiteral("                        (@P7 BETWEEN J.TRANCAMENTO and J.PRAZO)))) AND        "),
        QStringLiteral("(A.MATRICULA NOT IN (SELECT Z.MATRICULA "),
        QStringLiteral("                     FROM ALUNOS Z, MENSALIDADES W "),
        QStringLiteral("                     WHERE (Z.MODALIDADE = W.CODIGO) AND (W.ACESSOLIVRE = 1)))) "),
        QStringLiteral("ORDER BY A.MATRICULA"),
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace

// Business date 20/05/2024 08:15: a day past the 12th, so a month-first reading of any date
// literal would show.
TEST(SelectionsOnTheWire, EachCampaignSendsItsSqlServerTextInsideItsOneTransaction) {
    const QString longAddress = QStringLiteral("joão.conceição.") + QString(17, QLatin1Char('x')) +
                                QStringLiteral("@clube.com.br");  // 45 characters
    TdsRule deadlines = TdsRule::startingWith(QStringLiteral("SELECT EMAIL,PRAZO_TRANCAMENTO"));
    deadlines.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60)
        .column(QStringLiteral("LIMTITE"), QStringLiteral("datetime"))
        .row({QStringLiteral("warned@example.com"), QStringLiteral("2024-05-25 08:15:00")})
        .row({QStringLiteral("midnight@example.com"), QStringLiteral("2024-05-25 00:00:00")})
        .row({QStringLiteral("nodeadline@example.com"), QVariant()})
        .row({longAddress, QStringLiteral("2024-05-25 08:15:00")});
    // Latest visits 7 days before the business date, rounded half to even.
    TdsRule visits = TdsRule::startingWith(QStringLiteral("SELECT DISTINCT A.MATRICULA, MAX(B.DATA)"));
    visits.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10)
        .column(QStringLiteral("DATA"), QStringLiteral("datetime"))
        .column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60)
        .row({QStringLiteral("0001"), QStringLiteral("2024-05-13 08:15:00"), QStringLiteral("sete@example.com")})
        .row({QStringLiteral("0002"), QStringLiteral("2024-05-13 20:15:00"), QStringLiteral("seis.e.meio@example.com")})
        .row({QStringLiteral("0003"), QStringLiteral("2024-05-12 20:15:00"), QStringLiteral("sete.e.meio@example.com")})
        .row({QStringLiteral("0004"), QStringLiteral("2024-05-13 00:00:00"), QStringLiteral("madrugada@example.com")});
    const QString modalityPass =
        QStringLiteral("SELECT DISTINCT A.MATRICULA, A.EMAIL \nFROM ALUNOS A, MENSALIDADES C ");
    const QString planPass = QStringLiteral("SELECT DISTINCT A.MATRICULA, A.EMAIL \nFROM ALUNOS A, PLANOS C ");

    struct Case {
        const char* name;
        std::function<std::unique_ptr<Campaign>()> campaign;
        QVariantMap settings;  // Qzcvar2, besides the subject
        QVariantMap controle;  // Qzcvar
        QList<TdsRule> rules;
        QStringList statements;  // between the control row and the commit
        QStringList outbox;
        QList<Bound> parameters;  // of each prepared selection
    };
    const auto selection = [](const QString& sql, qsizetype rows) {
        return QStringList{QStringLiteral("batch: ") + sql} + outboxInserts(rows);
    };
    const Case cases[] = {
        {"AVALIACAO_MEDICA",
         [] { return std::make_unique<Avaliacao>(medicalEvaluation()); },
         {},
         {{QStringLiteral("PRAZOAVALMED"), 6}},
         {addresses(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS"),
                    {QStringLiteral("conceição@clube.com.br"), QStringLiteral("ana@example.com")})},
         selection(
             QStringLiteral(
                 "SELECT EMAIL FROM ALUNOSATIVOS WHERE ((EMAIL IS NOT NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = "
                 "'Sim')) "
                 "AND (DATA_TRANCAMENTO IS NULL) AND ((DATA_MEDICA IS Not NULL) AND ((DATA_MEDICA < '20/11/2023') "
                 "AND (DATEPART(DAY,DATA_MEDICA) = '20')))"),
             2),
         {QStringLiteral("conceição@clube.com.br"), QStringLiteral("ana@example.com")},
         {}},
        // A NULL period: the limit is the business date itself, without its time of day.
        {"AVALIACAO_FUNCIONAL",
         [] { return std::make_unique<Avaliacao>(functionalEvaluation()); },
         {},
         {{QStringLiteral("PRAZOAVALMED"), 6}},
         {addresses(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS"), {QStringLiteral("bruno@example.com")})},
         selection(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE ((EMAIL IS NOT NULL) AND (EMAIL <> '') AND "
                                  "(RECEBER_EMAIL = 'Sim')) "
                                  "AND (DATA_TRANCAMENTO IS NULL) AND ((DATA_FUNCIONAL IS Not NULL) AND "
                                  "((DATA_FUNCIONAL < '20/05/2024') "
                                  "AND (DATEPART(DAY,DATA_FUNCIONAL) = '20')))"),
                   1),
         {QStringLiteral("bruno@example.com")},
         {}},
        // The deadlines come back as the server's date-times; only those exactly five days
        // after the business date, time of day included, are warned.
        {"TRACAMENTO_PRAZO",
         [] { return std::make_unique<TracamentoPrazo>(); },
         {{QStringLiteral("TRANCAMENTO_DIAS"), 5}},
         {},
         {deadlines},
         selection(
             QStringLiteral("SELECT EMAIL,PRAZO_TRANCAMENTO+DIAS_PRAZO_TRANCAMENTO AS LIMTITE FROM ALUNOSATIVOS WHERE "
                            "((NOT EMAIL is NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = 'Sim')) AND (DATA_TRANCAMENTO "
                            "IS NOT NULL)"),
             2),
         {QStringLiteral("warned@example.com"), longAddress.left(40)},
         {}},
        // Open periods end in the business month, inside the transaction; then the modality
        // pass and the plan pass with the same seven values: the due day as an integer, the
        // month's texts, the month's end as a date-time.
        {"INADIMPLENTES",
         [] { return std::make_unique<Inadimplentes>(); },
         {},
         {},
         {TdsRule::startingWith(QStringLiteral("UPDATE ENTRADASAIDA")).rowCount(3),
          members(modalityPass, {{QStringLiteral("0007"), QStringLiteral("ana@example.com")}}),
          members(planPass, {{QStringLiteral("0007"), QStringLiteral("ana@example.com")},
                             {QStringLiteral("0012"), QStringLiteral("joão@example.com")}})},
         QStringList{
             QStringLiteral("batch: UPDATE ENTRADASAIDA SET ANOMESF = '202405' WHERE FINAL IS NULL"),
             QStringLiteral("rpc sp_prepexec: ") + overdueSelection(QStringLiteral("FROM ALUNOS A, MENSALIDADES C "),
                                                                    QStringLiteral("WHERE (A.MODALIDADE = C.CODIGO) ")),
             QStringLiteral("rpc sp_unprepare: ")} +
             outboxInserts(1) +
             QStringList{
                 QStringLiteral("rpc sp_prepexec: ") + overdueSelection(QStringLiteral("FROM ALUNOS A, PLANOS C "),
                                                                        QStringLiteral("WHERE (A.PLANOS = C.CODIGO) ")),
                 QStringLiteral("rpc sp_unprepare: ")} +
             outboxInserts(2, true),
         {QStringLiteral("ana@example.com"), QStringLiteral("ana@example.com"), QStringLiteral("joão@example.com")},
         {{QStringLiteral("int"), QStringLiteral("20")},
          {QStringLiteral("text"), QStringLiteral("202405")},
          {QStringLiteral("text"), QStringLiteral("202405")},
          {QStringLiteral("text"), QStringLiteral("05")},
          {QStringLiteral("text"), QStringLiteral("2024")},
          {QStringLiteral("datetime"), QStringLiteral("2024-05-31 00:00:00")},
          {QStringLiteral("datetime"), QStringLiteral("2024-05-31 00:00:00")}}},
        // Every member's latest visit comes back as a date-time; the program keeps those
        // exactly seven days back once rounded.
        {"AUSENTES",
         [] { return std::make_unique<Ausentes>(); },
         {{QStringLiteral("AUSENTES_DIAS"), 7}},
         {},
         {visits},
         selection(QStringLiteral(
                       "SELECT DISTINCT A.MATRICULA, MAX(B.DATA) AS DATA, A.EMAIL FROM ALUNOSATIVOS A, ACESSO B WHERE "
                       "(A.EMAIL IS NOT NULL ) AND (A.RECEBER_EMAIL = 'Sim') AND (A.DATA_TRANCAMENTO IS NULL) AND "
                       "(A.BOLSISTA = 0) AND (A.MATRICULA = B.MATRICULA) GROUP BY A.MATRICULA, A.EMAIL "
                       "ORDER by MATRICULA, DATA Asc "),
                   2),
         {QStringLiteral("sete@example.com"), QStringLiteral("madrugada@example.com")},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto campaign = c.campaign();
        const CampaignColumns& columns = campaign->columns();
        QVariantMap settings = c.settings;
        settings.insert(columns.subjectColumn, kSubject);
        WireSession wire(sessionRules(settings,
                                      QList<TdsRule>{TdsRule::rowsOf(QStringLiteral("ControleEmail"),
                                                                     QStringLiteral("SELECT * FROM CONTROLEEMAIL"))} +
                                          c.rules,
                                      c.controle));
        wire.connection.open();
        ASSERT_TRUE(wire.session.ABRE_TABELAS());
        ASSERT_TRUE(runCampaign(*campaign, wire.session, wire.notices));
        EXPECT_TRUE(wire.notices.shown.empty());

        const QList<QJsonObject> requests = wire.afterOpening();
        const QStringList expected =
            QStringList{
                // The transaction is the one the opening's commit began.
                QStringLiteral("batch: SELECT * FROM CONTROLEEMAIL WHERE DATA >= '20/05/2024' AND DATA < '21/05/2024'"),
                QStringLiteral("rpc sp_executesql: INSERT INTO ControleEmail (DATA, %1) VALUES (@P1, 1)")
                    .arg(columns.controlFlag),
            } +
            c.statements + QStringList{QStringLiteral("tm: commit")};
        EXPECT_EQ(lines(requests), expected);

        // One transaction, on the one shared connection, holds every statement.
        const QString transaction = requests.value(0).value(QStringLiteral("transaction")).toString();
        EXPECT_NE(transaction, kNoTransaction);
        for (const QJsonObject& r : requests) {
            EXPECT_EQ(r.value(QStringLiteral("connection")).toInt(), 1) << line(r).toStdString();
            if (r.value(QStringLiteral("kind")).toString() != QLatin1String("tm")) {
                EXPECT_EQ(r.value(QStringLiteral("transaction")).toString(), transaction) << line(r).toStdString();
            }
            if (r.value(QStringLiteral("proc")).toString() == QLatin1String("sp_prepexec") &&
                r.value(QStringLiteral("sql")).toString().startsWith(QLatin1String("SELECT"))) {
                expectBound(r, c.parameters);
            }
        }
        expectOutboxRows(requests, c.outbox);
    }
}

// Business date 27/12/2024: the renewal's month and the next one wrap into the next year.
TEST(SelectionsOnTheWire, PlansToRenewAreReadOnAConnectionOfTheirOwnOutsideTheTransaction) {
    const TdsRule renewals =
        renewalRows({{QStringLiteral("12"), QStringLiteral("françoise@example.com"), QStringLiteral("01")},
                     {QStringLiteral("7"), QStringLiteral("ana@example.com"), QStringLiteral("02")}});
    WireSession wire(sessionRules(
        {{QStringLiteral("ASSUNTO_PLANO"), kSubject}},
        {TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")), renewals}, {},
        QStringLiteral("2024-12-27 07:30:00")));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    PlanosAVencer campaign;
    ASSERT_TRUE(runCampaign(campaign, wire.session, wire.notices));
    EXPECT_TRUE(wire.notices.shown.empty());
    EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("QRYPLANOSAVENCER")));

    // The shared connection: the control row and the outbox rows in one transaction.
    const QList<QJsonObject> shared = onConnection(wire.afterOpening(), 1);
    const QString insert = QStringLiteral(
        "rpc sp_prepexec: INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING) VALUES (@P1, @P2, @P3, "
        "@P4)");
    EXPECT_EQ(
        lines(shared),
        (QStringList{
            QStringLiteral("batch: SELECT * FROM CONTROLEEMAIL WHERE DATA >= '27/12/2024' AND DATA < '28/12/2024'"),
            QStringLiteral("rpc sp_executesql: INSERT INTO ControleEmail (DATA, PLANOS_A_VENCER) VALUES (@P1, 1)"),
            insert,
            QString(insert).replace(QLatin1String("sp_prepexec"), QLatin1String("sp_execute")),
            QStringLiteral("tm: commit"),
        }));
    // In the order the server gave them.
    expectOutboxRows(shared, {QStringLiteral("françoise@example.com"), QStringLiteral("ana@example.com")});

    // The query's own connection logs in as the shared one does, sets the date order by a
    // batch of its own, and reads with no transaction. Only the markers of the named
    // parameters differ from the program's text: ODBC has no names, FreeTDS numbers them.
    const QList<QJsonObject> all = wire.peer.requests();
    const QList<QJsonObject> own = onConnection(all, 2);
    ASSERT_GE(own.size(), 2);
    const QJsonObject login = own.at(1);
    EXPECT_EQ(login.value(QStringLiteral("kind")).toString(), QStringLiteral("login"));
    EXPECT_EQ(login.value(QStringLiteral("user")).toString(), QStringLiteral("velocast"));
    EXPECT_EQ(login.value(QStringLiteral("password")).toString(), QStringLiteral("segredo"));
    EXPECT_EQ(login.value(QStringLiteral("database")).toString(), QStringLiteral("KORVANA"));
    QString sql = PlanosAVencer::selection().mssql;
    sql.replace(QLatin1String(":JMES"), QLatin1String("@P1"))
        .replace(QLatin1String(":JANO"), QLatin1String("@P2"))
        .replace(QLatin1String(":JPROXIMOMES"), QLatin1String("@P3"))
        .replace(QLatin1String(":JPROXIMOANO"), QLatin1String("@P4"));
    QStringList ownLines = lines(own);
    ownLines.erase(ownLines.begin(),
                   std::find(ownLines.begin(), ownLines.end(), QStringLiteral("batch: SET DATEFORMAT dmy")));
    EXPECT_EQ(ownLines,
              (QStringList{QStringLiteral("batch: SET DATEFORMAT dmy"), QStringLiteral("batch: SET LOCK_TIMEOUT 30000"),
                           QStringLiteral("rpc sp_prepexec: ") + sql, QStringLiteral("rpc sp_unprepare: ")}));
    for (const QJsonObject& r : own)
        if (r.contains(QStringLiteral("transaction"))) {
            EXPECT_EQ(r.value(QStringLiteral("transaction")).toString(), kNoTransaction) << line(r).toStdString();
        }

    // The parameters as texts of this month and the next, in the order of their markers.
    expectBound(wire.peer.firstStatement(QStringLiteral("SELECT A.MATRICULA")),
                {{QStringLiteral("text"), QStringLiteral("12")},
                 {QStringLiteral("text"), QStringLiteral("2024")},
                 {QStringLiteral("text"), QStringLiteral("01")},
                 {QStringLiteral("text"), QStringLiteral("2025")}});

    // The selection ran while the campaign's transaction was open on the shared connection.
    qsizetype begin = -1, read = -1, commit = -1;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QString l = line(all.at(i));
        if (l == QLatin1String("tm: begin") && all.at(i).value(QStringLiteral("connection")).toInt() == 1) begin = i;
        if (l.startsWith(QLatin1String("rpc sp_prepexec: SELECT A.MATRICULA"))) read = i;
        if (l == QLatin1String("tm: commit")) commit = i;
    }
    EXPECT_LT(begin, read);
    EXPECT_LT(read, commit);
}

// The whole program on the 27th, every switch on: each campaign due that day (all but the
// loyalty campaign) takes its turn in the daily run's order, each in a transaction of its own
// that holds its control row, its selection and its outbox rows.
TEST(SelectionsOnTheWire, TheDailyRunGivesEachDueCampaignATransactionOfItsOwnInOrder) {
    QVariantMap settings;
    for (const CampaignColumns& c : allCampaignColumns()) settings.insert(c.switchColumn, QStringLiteral("Sim"));
    const QString today = QStringLiteral("2024-05-27 08:15:00");
    TdsRule deadlines = TdsRule::startingWith(QStringLiteral("SELECT EMAIL,PRAZO_TRANCAMENTO"));
    deadlines.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60)
        .column(QStringLiteral("LIMTITE"), QStringLiteral("datetime"))
        .row({QStringLiteral("prazo@example.com"), today});
    TdsRule visits = TdsRule::startingWith(QStringLiteral("SELECT DISTINCT A.MATRICULA, MAX(B.DATA)"));
    visits.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10)
        .column(QStringLiteral("DATA"), QStringLiteral("datetime"))
        .column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60)
        .row({QStringLiteral("0001"), today, QStringLiteral("ausente@example.com")});
    TdsPeer peer(sessionRules(
        settings,
        {TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")),
         addresses(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS"), {QStringLiteral("membro@example.com")}),
         renewalRows({{QStringLiteral("7"), QStringLiteral("plano@example.com"), QStringLiteral("01")}}), deadlines,
         members(QStringLiteral("SELECT DISTINCT A.MATRICULA, A.EMAIL"),
                 {{QStringLiteral("0007"), QStringLiteral("devedor@example.com")}}),
         visits},
        {}, today));
    const auto result = runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), peer.dataLinkPath()});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_FALSE(result.err.contains(QLatin1String("notice"))) << result.err.toStdString();

    // From the first campaign's transaction to the last one's end, on the shared connection:
    // each commit begins the next campaign's transaction in the same round trip.
    const QList<QJsonObject> shared = onConnection(peer.statements(), 1);
    qsizetype i = 0;
    while (i < shared.size() && !line(shared.at(i)).startsWith(QLatin1String("batch: SELECT * FROM CONTROLEEMAIL")))
        ++i;
    ASSERT_LT(i, shared.size());
    QStringList flags, transactions;
    while (i < shared.size() && line(shared.at(i)).startsWith(QLatin1String("batch: SELECT * FROM CONTROLEEMAIL"))) {
        const qsizetype begin = i;
        const QString transaction = shared.value(i).value(QStringLiteral("transaction")).toString();
        EXPECT_NE(transaction, kNoTransaction);
        EXPECT_FALSE(transactions.contains(transaction));
        transactions << transaction;
        int rows = 0;
        for (; i < shared.size() && shared.at(i).value(QStringLiteral("kind")).toString() != QLatin1String("tm"); ++i) {
            const QString sql = shared.at(i).value(QStringLiteral("sql")).toString();
            EXPECT_EQ(shared.at(i).value(QStringLiteral("transaction")).toString(), transaction)
                << line(shared.at(i)).toStdString();
            if (sql.startsWith(QLatin1String("INSERT INTO ControleEmail (DATA, ")))
                flags << sql.section(QLatin1Char(' '), 4, 4).chopped(1);
            if (sql.startsWith(QLatin1String("INSERT INTO Velocast"))) ++rows;
        }
        EXPECT_GE(rows, 1) << "the campaign that began at request " << begin;
        ASSERT_LT(i, shared.size());
        EXPECT_EQ(line(shared.at(i)), QStringLiteral("tm: commit"));
        ++i;
    }
    EXPECT_EQ(flags,
              (QStringList{QStringLiteral("MEDICA"), QStringLiteral("FUNCIONAL"), QStringLiteral("ANIVERSARIANTE"),
                           QStringLiteral("PLANOS_A_VENCER"), QStringLiteral("TRANCAMENTO"),
                           QStringLiteral("INADIMPLENTES"), QStringLiteral("AUSENTES")}));
}
