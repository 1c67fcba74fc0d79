#include "state/suppression_list.h"

#include <QSqlError>
#include <QSqlQuery>
#include <stdexcept>

#include "state/state_database.h"

namespace velocast {

namespace {

void run(QSqlQuery& q, const QString& path) {
    if (!q.exec())
        throw std::runtime_error(QStringLiteral("the suppression list in %1 cannot be written (%2); check the disk and "
                                                "the file's permissions, or set [state] database in velocast.conf")
                                     .arg(path, q.lastError().text())
                                     .toStdString());
}

Suppression entryOf(const QSqlQuery& q) {
    return Suppression{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                       QDateTime::fromSecsSinceEpoch(q.value(3).toLongLong()), q.value(4).toString()};
}

const QString kColumns = QStringLiteral("address, scope, reason, at, source");

}  // namespace

QString SuppressionList::normalized(const QString& address) { return address.trimmed().toLower(); }

bool SuppressionList::add(const Suppression& e) {
    QSqlQuery q(state_.database());
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO suppression (%1) VALUES (?, ?, ?, ?, ?)").arg(kColumns));
    for (const QVariant& v :
         {QVariant(normalized(e.address)), QVariant(e.scope.isEmpty() ? kScopeAll : e.scope),
          QVariant(e.reason.isNull() ? QStringLiteral("") : e.reason), QVariant(e.at.toSecsSinceEpoch()),
          QVariant(e.source.isNull() ? QStringLiteral("") : e.source)})
        q.addBindValue(v);
    run(q, state_.path());
    return q.numRowsAffected() > 0;
}

int SuppressionList::remove(const QString& address, const QString& scope) {
    QSqlQuery q(state_.database());
    q.prepare(scope.isEmpty() ? QStringLiteral("DELETE FROM suppression WHERE address = ?")
                              : QStringLiteral("DELETE FROM suppression WHERE address = ? AND scope = ?"));
    q.addBindValue(normalized(address));
    if (!scope.isEmpty()) q.addBindValue(scope);
    run(q, state_.path());
    const int removed = q.numRowsAffected();
    // The bounces before the record was fixed say nothing of the address now: a later soft
    // bounce starts the count again. They stay noted, so a report read again still counts once.
    QSqlQuery events(state_.database());
    events.prepare(QStringLiteral("UPDATE bounce_event SET counted = 0 WHERE address = ?"));
    events.addBindValue(normalized(address));
    run(events, state_.path());
    return removed;
}

bool SuppressionList::list(const std::function<void(const Suppression&)>& each, QString* error) const {
    QSqlQuery q(state_.database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM suppression ORDER BY at DESC, address, scope").arg(kColumns))) {
        *error = QStringLiteral(
                     "the suppression list in %1 cannot be read (%2); check the file's permissions, or set "
                     "[state] database in velocast.conf")
                     .arg(state_.path(), q.lastError().text());
        return false;
    }
    while (q.next()) each(entryOf(q));
    return true;
}

std::optional<Suppression> SuppressionList::find(const QString& address, const QString& scope) const {
    // The entries of the address by its key, a few at most: a list of scopes or an order in
    // SQL would build a temporary table and sort for every row the drain asks about.
    static const QString sql = QStringLiteral("SELECT %1 FROM suppression WHERE address = ?").arg(kColumns);
    QSqlQuery& q = state_.statement(sql);
    q.addBindValue(normalized(address));
    std::optional<Suppression> found;
    if (q.exec())
        while (q.next()) {
            const QString entryScope = q.value(1).toString();
            // An entry for every e-mail comes first: it is the one that says the most.
            if (entryScope == kScopeAll) {
                found = entryOf(q);
                break;
            }
            if (entryScope == scope) found = entryOf(q);
        }
    q.finish();
    return found;
}

bool SuppressionList::recordBounce(const QString& eventKey, const QString& address, const QString& kind,
                                   const QDateTime& at) {
    QSqlQuery q(state_.database());
    q.prepare(QStringLiteral(
        "INSERT OR IGNORE INTO bounce_event (event_key, address, kind, at, counted) VALUES (?, ?, ?, ?, 1)"));
    for (const QVariant& v :
         {QVariant(eventKey), QVariant(normalized(address)), QVariant(kind), QVariant(at.toSecsSinceEpoch())})
        q.addBindValue(v);
    run(q, state_.path());
    return q.numRowsAffected() > 0;
}

int SuppressionList::bouncesSince(const QString& address, const QString& kind, const QDateTime& since) const {
    QSqlQuery q(state_.database());
    q.prepare(
        QStringLiteral("SELECT COUNT(*) FROM bounce_event WHERE address = ? AND kind = ? AND at >= ? AND counted = 1"));
    for (const QVariant& v : {QVariant(normalized(address)), QVariant(kind), QVariant(since.toSecsSinceEpoch())})
        q.addBindValue(v);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

}  // namespace velocast
