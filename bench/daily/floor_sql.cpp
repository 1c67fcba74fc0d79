// The floor of the daily run: for every campaign the program has, the same selection as one
// set-based INSERT ... SELECT for the sqlite3 shell, in one transaction, as a database engine
// would do the work with nothing around it. bench/daily/run.sh times it against the program.
//   bench_daily_floor CLUB.sqlite YYYY-MM-DD > floor.sql
// The club database gives the settings a selection depends on (evaluation periods).
// A campaign without a floor here fails the benchmark rather than being left out of it.
#include <QCoreApplication>
#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <functional>
#include <map>

#include "calendar/date_time.h"
#include "calendar/holidays.h"
#include "calendar/loyalty_day.h"
#include "campaigns/aniversariante.h"
#include "campaigns/ausentes.h"
#include "campaigns/avaliacao.h"
#include "campaigns/campaign_table.h"
#include "campaigns/fidelidade.h"
#include "campaigns/inadimplentes.h"
#include "campaigns/planos_a_vencer.h"
#include "campaigns/tracamento_prazo.h"

using namespace velocast;

namespace {

QSqlDatabase club;

QVariant setting(const QString& table, const QString& column) {
    QSqlQuery q(club);
    if (!q.exec(QStringLiteral("SELECT %1 FROM %2").arg(column, table)) || !q.next()) return {};
    return q.value(0);
}

// A statement's named parameters written in as literals (longest names first): numbers bare,
// texts quoted, as the program binds them.
QString withLiterals(QString sql, const QVariantMap& parameters) {
    QStringList names = parameters.keys();
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& name : names) {
        const QVariant value = parameters.value(name);
        const bool number = value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong;
        sql.replace(QLatin1Char(':') + name,
                    number ? value.toString() : QLatin1Char('\'') + value.toString() + QLatin1Char('\''));
    }
    return sql;
}

QString day(const DateTime& d) { return d.date().toString(QStringLiteral("yyyy-MM-dd")); }

// Loyal members: every one of the last FIDELIDADE_MESES months paid, as the program's walk
// and lookups find them, joined as one statement.
QString loyalty(const DateTime& d) {
    const QString holidays = setting(QStringLiteral("Qzcvar"), QStringLiteral("FERIADOS")).toString();
    if (!loyaltyCampaignDue(d, [&](int n) { return Acha_Feriado(n, d, holidays); })) return {};
    QStringList paid;
    const int months = setting(QStringLiteral("Qzcvar2"), QStringLiteral("FIDELIDADE_MESES")).toInt();
    for (const Fidelidade::Month& m : Fidelidade::monthsExamined(d, months))
        paid << QStringLiteral(
                    "EXISTS (SELECT 1 FROM RECEB R WHERE R.MATRICULA = A.MATRICULA AND "
                    "CAST(R.MES AS INTEGER) = %1 AND CAST(R.ANO AS INTEGER) = %2)")
                    .arg(m.month)
                    .arg(m.year);
    paid << QStringLiteral("1 = 1");
    return QStringLiteral(
               "SELECT A.EMAIL FROM ALUNOSATIVOS A WHERE A.SAIDA IS NULL AND NOT COALESCE(A.BOLSISTA, 0) AND "
               "(A.EMAIL IS NOT NULL) AND %1 AND ((A.PLANOS IS NULL) OR (A.PLANOS = '')) AND %2")
        .arg(sqliteConsents(QStringLiteral("A.RECEBER_EMAIL")), paid.join(QStringLiteral(" AND ")));
}

// Overdue payments: both passes, with the program's parameters written in. The update of the
// membership periods runs first, as in the program.
QString overdue(const DateTime& d) {
    const QVariantMap values = Inadimplentes::parameters(Dialect::Sqlite, d);
    return withLiterals(Inadimplentes::selection(Inadimplentes::Pass::Modality).sqlite, values) +
           QStringLiteral(") AS s, Qzcvar2 AS q;\n-- second pass\n") +
           withLiterals(Inadimplentes::selection(Inadimplentes::Pass::Plan).sqlite, values);
}

// Absentees: the latest visit exactly AUSENTES_DIAS whole days (half to even) before.
QString absentees(const DateTime& d) {
    const QString ms = QStringLiteral(
                           "(CAST(round(julianday('%1') * 86400000) AS INTEGER) - "
                           "CAST(round(julianday(DATA) * 86400000) AS INTEGER))")
                           .arg(day(d));
    const QString rest = QStringLiteral("((%1 % 86400000 + 86400000) % 86400000)").arg(ms);
    const QString whole = QStringLiteral("((%1 - %2) / 86400000)").arg(ms, rest);
    return QStringLiteral(
               "SELECT EMAIL FROM (%1) WHERE %2 + (CASE WHEN 2 * %3 > 86400000 OR "
               "(2 * %3 = 86400000 AND %2 % 2 != 0) THEN 1 ELSE 0 END) = "
               "(SELECT COALESCE(AUSENTES_DIAS, 0) FROM Qzcvar2)")
        .arg(Ausentes::selection().sqlite, whole, rest);
}

using Floor = std::function<QString(const DateTime&)>;  // empty: not due on that date

QString evaluation(const EvaluationColumns& e, const DateTime& date) {
    const DateTime limit = Avaliacao::limitDate(setting(QStringLiteral("Qzcvar"), e.periodColumn), date);
    return Avaliacao::selection(e, limit, date).sqlite;
}

// Each campaign's selection on the sqlite dialect; its column EMAIL are the recipients.
const std::map<CampaignId, Floor>& floors() {
    static const std::map<CampaignId, Floor> m{
        {CampaignId::AVALIACAO_MEDICA, [](const DateTime& d) { return evaluation(medicalEvaluation(), d); }},
        {CampaignId::AVALIACAO_FUNCIONAL, [](const DateTime& d) { return evaluation(functionalEvaluation(), d); }},
        {CampaignId::ANIVERSARIANTE, [](const DateTime& d) { return Aniversariante::selection(d).sqlite; }},
        {CampaignId::PLANOS_A_VENCER,
         [](const DateTime& d) {
             return PlanosAVencer::dueOn(d)
                        ? withLiterals(PlanosAVencer::selection().sqlite, PlanosAVencer::parameters(d))
                        : QString();
         }},
        {CampaignId::FIDELIDADE, loyalty},
        {CampaignId::INADIMPLENTES, overdue},
        {CampaignId::AUSENTES, absentees},
        {CampaignId::TRACAMENTO_PRAZO,
         [](const DateTime& d) {
             // The program keeps the rows whose deadline less TRANCAMENTO_DIAS is the business
             // date, to the millisecond.
             return QStringLiteral(
                        "SELECT EMAIL FROM (%1) WHERE round((julianday(LIMTITE) - "
                        "(SELECT COALESCE(TRANCAMENTO_DIAS, 0) FROM Qzcvar2)) * 86400000) = "
                        "round(julianday('%2') * 86400000)")
                 .arg(TracamentoPrazo::selection().sqlite, d.date().toString(QStringLiteral("yyyy-MM-dd")));
         }},
    };
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QDate date =
        argc == 3 ? QDate::fromString(QString::fromLatin1(argv[2]), QStringLiteral("yyyy-MM-dd")) : QDate();
    if (!date.isValid()) {
        err << "usage: bench_daily_floor CLUB.sqlite YYYY-MM-DD\n";
        return 2;
    }
    club = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    club.setDatabaseName(QString::fromLocal8Bit(argv[1]));
    if (!club.open()) {
        err << "bench_daily_floor: cannot open " << argv[1] << "\n";
        return 2;
    }
    const DateTime businessDate = DateTime::fromDate(date);
    QStringList flags;
    QStringList inserts;
    for (const CampaignStep& step : campaignTable()) {
        const CampaignColumns& c = step->columns();
        const auto found = floors().find(c.id);
        if (found == floors().end()) {
            err << "bench_daily_floor: no set-based floor for the campaign " << c.controlFlag
                << "; add its selection to bench/daily/floor_sql.cpp\n";
            return 3;
        }
        QString selection = found->second(businessDate);
        if (selection.isEmpty()) continue;  // not due on this date
        flags << c.controlFlag;
        if (c.id == CampaignId::INADIMPLENTES)
            inserts << Inadimplentes::hostUpdate(businessDate).sqlite + QLatin1Char(';');
        // Two passes are two inserts of the same shape.
        selection.replace(
            QStringLiteral(") AS s, Qzcvar2 AS q;\n-- second pass\n"),
            QStringLiteral(
                ") AS s, Qzcvar2 AS q;\nINSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING)\n"
                "  SELECT substr(s.EMAIL, 1, 40), substr(q.%1, 1, 50), q.%2, substr(q.%3, 1, 500)\n  FROM (")
                .arg(c.subjectColumn, c.textColumn, c.imageColumn));
        // The outbox columns are cut to their widths, as the program cuts them.
        inserts << QStringLiteral(
                       "INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING)\n"
                       "  SELECT substr(s.EMAIL, 1, 40), substr(q.%1, 1, 50), q.%2, substr(q.%3, 1, 500)\n"
                       "  FROM (%4) AS s, Qzcvar2 AS q;")
                       .arg(c.subjectColumn, c.textColumn, c.imageColumn, selection);
    }
    out << "BEGIN;\n";
    if (!flags.isEmpty())
        out << "INSERT INTO ControleEmail (DATA, " << flags.join(QStringLiteral(", ")) << ") VALUES ('"
            << date.toString(QStringLiteral("yyyy-MM-dd")) << " 00:00:00'"
            << QStringLiteral(", 1").repeated(flags.size()) << ");\n";
    out << inserts.join(QLatin1Char('\n')) << "\nCOMMIT;\n";
    out.flush();
    err << "bench_daily_floor: campaigns due: " << flags.join(QStringLiteral(", ")) << "\n";
    return 0;
}
