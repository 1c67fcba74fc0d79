#pragma once
// The program's session on the stand-in SQL Server: the club's tables answered by the peer,
// every request read back as the server received it.
#include <QJsonArray>
#include <QJsonObject>
#include <QUuid>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "support/tds_peer.h"
#include "support/test_clock.h"

namespace velocast::testing {

// The business date of the wire tests unless one says otherwise: the last Caixa row, 20/05/2024
// at 08:15.
inline QVariantMap caixa(const QString& opened) { return {{QStringLiteral("DATAABERTURA"), opened}}; }

// Rules that let the session opening run: settings rows (Qzcvar2, then Qzcvar), an empty
// outbox, two Caixa rows of which the server returns `businessDate` last; the database lock
// granted.
inline QList<TdsRule> sessionRules(const QVariantMap& settings = {}, const QList<TdsRule>& before = {},
                                   const QVariantMap& controle = {},
                                   const QString& businessDate = QStringLiteral("2024-05-20 08:15:00")) {
    QList<TdsRule> rules = before;
    // The run table, whatever time of day names it.
    rules << TdsRule::rowsOf(QStringLiteral("TempFedelidade090000"), QStringLiteral("SELECT * FROM TempFedelidade"))
          << TdsRule::table(QStringLiteral("Qzcvar"), {controle})
          << TdsRule::table(QStringLiteral("Qzcvar2"), {settings}) << TdsRule::table(QStringLiteral("Velocast"))
          << TdsRule::table(QStringLiteral("Caixa"),
                            {caixa(QStringLiteral("2024-05-21 07:00:00")), caixa(businessDate)})
          << TdsRule::table(QStringLiteral("AlunosAtivos"))
          // The database lock, granted (sp_getapplock's 0) unless a rule before says otherwise.
          << TdsRule::startingWith(QStringLiteral("DECLARE @VelocastLock"))
                 .column(QStringLiteral("LockResult"), QStringLiteral("int"))
                 .row({0});
    return rules;
}

struct WireSession {
    explicit WireSession(const QList<TdsRule>& rules) : peer(rules) {}
    TestClock clock{QDateTime(QDate(2024, 5, 20), QTime(9, 0))};
    TdsPeer peer;
    SharedConnection connection{peer.dataLinkPath(),
                                QStringLiteral("wire-") + QUuid::createUuid().toString(QUuid::WithoutBraces)};
    RecordingNotices notices;
    Session session{connection, notices};

    // The statement requests from the program's own first statement on: what Qt's driver
    // sends to learn about the server when it connects is left out.
    QStringList ours() const {
        const QStringList all = peer.summary();
        const qsizetype first = all.indexOf(QStringLiteral("batch: SET DATEFORMAT dmy"));
        return first < 0 ? all : all.mid(first);
    }
    // The requests that follow the session opening.
    QList<QJsonObject> afterOpening() const {
        const QList<QJsonObject> all = peer.statements();
        for (qsizetype i = 0; i < all.size(); ++i)
            if (all.at(i).value(QStringLiteral("sql")).toString() == QLatin1String("SELECT TOP 0 * FROM AlunosAtivos"))
                return all.mid(i + 1);
        return {};
    }
};

// "kind: text" of a request, as TdsPeer::summary() writes it.
inline QString line(const QJsonObject& r) {
    const QString kind = r.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("tm")) return QStringLiteral("tm: ") + r.value(QStringLiteral("request")).toString();
    if (kind == QLatin1String("rpc"))
        return QStringLiteral("rpc %1: %2")
            .arg(r.value(QStringLiteral("proc")).toString(), r.value(QStringLiteral("sql")).toString());
    return kind + QStringLiteral(": ") + r.value(QStringLiteral("sql")).toString();
}

// The requests that came over one client connection (1 is the first the program opened).
inline QList<QJsonObject> onConnection(const QList<QJsonObject>& requests, int connection) {
    QList<QJsonObject> result;
    for (const QJsonObject& r : requests)
        if (r.value(QStringLiteral("connection")).toInt() == connection) result << r;
    return result;
}

// The values a prepared call bound (its own parameters after handle, declarations and text;
// after the handle alone when it runs a statement prepared before).
inline QJsonArray boundValues(const QJsonObject& call) {
    QJsonArray params = call.value(QStringLiteral("params")).toArray();
    QJsonArray values;
    const QString proc = call.value(QStringLiteral("proc")).toString();
    const qsizetype first = proc == QLatin1String("sp_execute") ? 1 : proc == QLatin1String("sp_executesql") ? 2 : 3;
    for (qsizetype i = first; i < params.size(); ++i) values.append(params.at(i));
    return values;
}

}  // namespace velocast::testing
