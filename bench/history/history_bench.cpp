// The send history of a busy club: DAYS days of PER_DAY messages a day recorded into a state
// database as the sender records them (one insert each, a day's inserts committed together so
// that the file fills in minutes rather than hours), then what that costs: the file's size and
// bytes per message, --history ADDRESS and --history --since as the command runs them, and the
// pause a start's prune adds before the first drain (one day past the retention, and a
// retention cut from 400 to 90 days).
//
//   bench_history [DAYS [PER_DAY [FOLDER]]]     (defaults 400, 10000, a temporary folder)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "calendar/clock.h"
#include "settings/local_settings.h"
#include "settings/settings.h"
#include "shell/commands/history_command.h"
#include "outbox/sending/sending_setup.h"
#include <QFile>
#include "state/send_history.h"
#include "state/state_database.h"

using namespace velocast;

namespace {

constexpr int kMembers = 20000;  // a big club's members with an address
const char* const kDomains[] = {"gmail.com",  "hotmail.com", "outlook.com", "yahoo.com.br",
                                "uol.com.br", "bol.com.br",  "icloud.com",  "terra.com.br"};
const char* const kCampaigns[][2] = {{"ANIVERSARIANTE", "Feliz aniversário!"},
                                     {"AVALIACAO", "Sua avaliação física está chegando"},
                                     {"PLANOS_A_VENCER", "Seu plano vence em breve"},
                                     {"TRACAMENTO", "Seu trancamento termina"},
                                     {"FIDELIDADE", "Obrigado pela fidelidade"},
                                     {"INADIMPLENTES", "Mensalidade em aberto"},
                                     {"AUSENTES", "Sentimos sua falta"},
                                     {"", "Aviso da academia"}};

QString address(int member) {
    return QStringLiteral("aluno.%1.%2@%3")
        .arg(member)
        .arg(member * 7919 % 1000)
        .arg(QLatin1String(kDomains[member % 8]));
}

HistoryEntry entry(const QDateTime& at, qint64 n) {
    HistoryEntry e;
    e.at = at;
    e.outboxRow = 1000000 + n;  // the club's outbox numbers its rows
    const int member = int((n * 2654435761LL) % kMembers);
    e.address = address(member);
    const auto& campaign = kCampaigns[n % 8];
    e.campaign = QLatin1String(campaign[0]);
    e.subject = QString::fromUtf8(campaign[1]);
    switch (n % 100) {
    case 97:
        e.outcome = SendOutcome::Deferred;
        e.reply = QStringLiteral("451 4.7.1 Greylisted, try again later");
        break;
    case 98:
        e.outcome = SendOutcome::Refused;
        e.reply = QStringLiteral("550 5.1.1 The email account does not exist");
        break;
    case 99: e.outcome = SendOutcome::Invalid; break;
    default:
        e.outcome = SendOutcome::Sent;
        // As the composer makes them: the time to the millisecond, a dot, 24 random hex digits.
        e.messageId = QStringLiteral("<%1.%2@academia.example.com.br>")
                          .arg(at.toUTC().addMSecs(n % 1000).toString(QStringLiteral("yyyyMMddHHmmsszzz")),
                               QString::fromLatin1(QUuid::createUuid().toRfc4122().left(12).toHex()));
        e.reply = QStringLiteral("250 2.0.0 Ok: queued as %1")
                      .arg(n * 48271 % 0xFFFFFFFFLL, 10, 16, QLatin1Char('0'))
                      .toUpper();
    }
    return e;
}

qint64 fileBytes(const QString& path) {
    qint64 total = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) total += QFileInfo(path + QLatin1String(suffix)).size();
    return total;
}

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int days = args.size() > 1 ? args[1].toInt() : 400;
    const int perDay = args.size() > 2 ? args[2].toInt() : 10000;
    QTemporaryDir temporary;
    const QString folder = args.size() > 3 ? args[3] : temporary.path();
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("state-bench.sqlite"));
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path + QLatin1String(suffix));

    const QDateTime today(QDate(2026, 12, 11), QTime(12, 0));
    const QDateTime first = today.addDays(-(days - 1));
    QString error;
    QElapsedTimer fill;
    fill.start();
    qint64 n = 0;
    qint64 bytes = 0;
    {
        StateDatabase state;
        if (!state.open(path, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        SendHistory history(state);
        for (int day = 0; day < days; ++day) {
            const QDateTime start = first.addDays(day).addSecs(-4 * 3600);  // 08:00, a message every few seconds
            state.database().transaction();
            for (int i = 0; i < perDay; ++i, ++n) history.record(entry(start.addSecs(i * 36000LL / perDay), n));
            state.database().commit();
            if ((day + 1) % 50 == 0)
                std::fprintf(stderr, "  %d days recorded (%.0f s)\n", day + 1, msSince(fill) / 1000);
        }
        QSqlQuery(state.database()).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        bytes = fileBytes(path);
    }
    const double fillSeconds = msSince(fill) / 1000;

    std::printf("history: %d days x %d messages = %lld entries recorded in %.1f s (%.0f a second)\n", days, perDay, n,
                fillSeconds, n / fillSeconds);
    std::printf("file: %.1f MB, %.1f bytes per message (goal: at most 100)\n", bytes / 1e6, double(bytes) / n);

    // The commands as a person runs them, the clock set to the last day recorded.
    ScopedClock clock([today] { return today; });
    LocalSettings settings;
    settings.set(QStringLiteral("state"), QStringLiteral("database"), path);
    settings.set(QStringLiteral("history"), QStringLiteral("retention_days"), QString::number(days + 1));
    std::FILE* sink = std::fopen("/dev/null", "w");
    std::vector<double> one;
    int listed = 0;
    for (int member : {1, 4242, 9999, 13331, 19999, 777, 15000, 3}) {
        QElapsedTimer t;
        t.start();
        listed = runHistory({QStringLiteral("/nowhere/Korvana.udl"), address(member), {}, false}, Settings(settings),
                            sink, stderr);
        one.push_back(msSince(t));
    }
    std::printf("--history ADDRESS: %.1f ms median of %zu members, %.1f ms the slowest (goal: under 50)\n", median(one),
                one.size(), *std::max_element(one.begin(), one.end()));
    for (int back : {1, 7, 30}) {
        QElapsedTimer t;
        t.start();
        runHistory({QStringLiteral("/nowhere/Korvana.udl"), {}, today.date().addDays(-back + 1), true},
                   Settings(settings), sink, stderr);
        std::printf("--history --since (the last %d day(s), %d entries, CSV): %.0f ms\n", back,
                    std::min(back, days) * perDay, msSince(t));
    }
    std::fclose(sink);
    (void)listed;

    // A start the day after: the oldest day falls out of the retention.
    StateDatabase again;
    if (!again.open(path, &error)) return 1;
    {
        const QDateTime next = today.addDays(1);
        ScopedClock tomorrow([next] { return next; });
        LocalSettings keep = settings;
        keep.set(QStringLiteral("history"), QStringLiteral("retention_days"), QString::number(days - 1));
        // One step before each drain, as the program takes them, until nothing is left to prune.
        const auto steps = [&] {
            std::vector<double> pauses;
            const QDateTime before =
                next.addDays(-keep.number(QStringLiteral("history"), QStringLiteral("retention_days")));
            for (;;) {
                QElapsedTimer t;
                t.start();
                pruneSendHistory(again, Settings(keep));
                pauses.push_back(msSince(t));
                QSqlQuery left(again.database());
                left.prepare(QStringLiteral("SELECT COUNT(*) FROM send_history WHERE at < ?"));
                left.addBindValue(before.toSecsSinceEpoch());
                if (!left.exec() || !left.next() || left.value(0).toInt() == 0) break;
            }
            return pauses;
        };
        std::vector<double> pauses = steps();
        std::printf(
            "prune, one day (%d entries) past the retention: %zu steps, %.0f ms the longest pause before a "
            "drain (goal: at most 200)\n",
            perDay, pauses.size(), *std::max_element(pauses.begin(), pauses.end()));
        keep.set(QStringLiteral("history"), QStringLiteral("retention_days"), QStringLiteral("90"));
        pauses = steps();
        std::printf("prune, retention cut to 90 days (%d entries): %zu steps, %.0f ms the longest pause\n",
                    std::max(0, days - 1 - 90) * perDay, pauses.size(),
                    *std::max_element(pauses.begin(), pauses.end()));
    }
    QSqlQuery(again.database()).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    std::printf("file after the prunes: %.1f MB (each step hands a few freed pages back to the disk)\n",
                fileBytes(path) / 1e6);
    return 0;
}
