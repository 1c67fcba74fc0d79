#pragma once
// The program's session on the stand-in SQL Server: the club's tables answered by the peer,
// every request read back as the server received it.
#include <QJsonArray>
#include <QJsonObject>
#include <QUuid>
#include <gtest/gtest.h>

#include "data/notices.h"
#include "data/session.h"
#include "support/tds_peer.h"

namespace velocast::testing {

// The business date of every wire test: the last Caixa row, 20/05/2024 at 08:15.
inline QVariantMap caixa(const char* opened) { return {{QStringLiteral("DATAABERTURA"), QString::fromLatin1(opened)}}; }

// Rules that let the session opening run: settings rows, an empty outbox, two Caixa rows.
inline QList<TdsRule> sessionRules(const QVariantMap& settings = {}, const QList<TdsRule>& before = {}) {
    QList<TdsRule> rules = before;
    // The run table, whatever time of day names it.
    rules << TdsRule::rowsOf(QStringLiteral("TempFedelidade090000"), QStringLiteral("SELECT * FROM TempFedelidade")) << TdsRule::table(QStringLiteral("Qzcvar"), {{}})
          << TdsRule::table(QStringLiteral("Qzcvar2"), {settings}) << TdsRule::table(QStringLiteral("Velocast"))
          << TdsRule::table(QStringLiteral("Caixa"), {caixa("2024-05-21 07:00:00"), caixa("2024-05-20 08:15:00")})
          << TdsRule::table(QStringLiteral("AlunosAtivos"));
    return rules;
}

struct WireSession {
    explicit WireSession(const QList<TdsRule>& rules) : peer(rules) {
        session.clock = [] { return QTime(9, 0); };
    }
    TdsPeer peer;
    SharedConnection connection{peer.dataLinkPath(), QStringLiteral("wire-") + QUuid::createUuid().toString(QUuid::WithoutBraces)};
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
            if (all.at(i).value(QStringLiteral("sql")).toString() == QLatin1String("SELECT * FROM AlunosAtivos"))
                return all.mid(i + 1);
        return {};
    }
};

// "kind: text" of a request, as TdsPeer::summary() writes it.
inline QString line(const QJsonObject& r) {
    const QString kind = r.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("tm")) return QStringLiteral("tm: ") + r.value(QStringLiteral("request")).toString();
    if (kind == QLatin1String("rpc"))
        return QStringLiteral("rpc %1: %2").arg(r.value(QStringLiteral("proc")).toString(), r.value(QStringLiteral("sql")).toString());
    return kind + QStringLiteral(": ") + r.value(QStringLiteral("sql")).toString();
}

// The values a prepared call bound (its own parameters after handle, declarations and text).
inline QJsonArray boundValues(const QJsonObject& call) {
    QJsonArray params = call.value(QStringLiteral("params")).toArray();
    QJsonArray values;
    for (qsizetype i = 3; i < params.size(); ++i) values.append(params.at(i));
    return values;
}

}  // namespace velocast::testing
