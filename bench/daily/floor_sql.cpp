// The floor of the daily run: for every campaign the program has, the same selection as one
// set-based INSERT ... SELECT for the sqlite3 shell, in one transaction, as a database engine
// would do the work with nothing around it. bench/daily/run.sh times it against the program.
//   bench_daily_floor YYYY-MM-DD > floor.sql
// A campaign without a floor here fails the benchmark rather than being left out of it.
#include <QDate>
#include <QTextStream>
#include <functional>
#include <map>

#include "calendar/date_time.h"
#include "campaigns/aniversariante.h"
#include "campaigns/campaign_table.h"

using namespace velocast;

namespace {

// Each campaign's selection (its column EMAIL are the recipients) on the sqlite dialect.
const std::map<QString, std::function<QString(const DateTime&)>>& selections() {
    static const std::map<QString, std::function<QString(const DateTime&)>> m{
        {QStringLiteral("ANIVERSARIANTE"), [](const DateTime& d) { return Aniversariante::selection(d).sqlite; }},
    };
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QDate date = argc == 2 ? QDate::fromString(QString::fromLatin1(argv[1]), QStringLiteral("yyyy-MM-dd")) : QDate();
    if (!date.isValid()) {
        err << "usage: bench_daily_floor YYYY-MM-DD\n";
        return 2;
    }
    const DateTime businessDate = DateTime::fromDate(date);
    QStringList flags;
    QStringList inserts;
    for (const CampaignStep& step : campaignTable()) {
        const CampaignColumns& c = step.campaign->columns();
        if (!step.campaign->isDue(businessDate)) continue;
        const auto found = selections().find(c.name);
        if (found == selections().end()) {
            err << "bench_daily_floor: no set-based floor for the campaign " << c.name
                << "; add its selection to bench/daily/floor_sql.cpp\n";
            return 3;
        }
        flags << c.controlFlag;
        // The outbox columns are cut to their widths, as the program cuts them.
        inserts << QStringLiteral(
                       "INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING)\n"
                       "  SELECT substr(s.EMAIL, 1, 40), substr(q.%1, 1, 50), q.%2, substr(q.%3, 1, 500)\n"
                       "  FROM (%4) AS s, Qzcvar2 AS q;")
                       .arg(c.subjectColumn, c.textColumn, c.imageColumn, found->second(businessDate));
    }
    out << "BEGIN;\n";
    if (!flags.isEmpty())
        out << "INSERT INTO ControleEmail (DATA, " << flags.join(QStringLiteral(", ")) << ") VALUES ('"
            << date.toString(QStringLiteral("yyyy-MM-dd")) << " 00:00:00'" << QStringLiteral(", 1").repeated(flags.size())
            << ");\n";
    out << inserts.join(QLatin1Char('\n')) << "\nCOMMIT;\n";
    return 0;
}
