#include "state/send_history.h"

#include <QSqlError>
#include <QSqlQuery>
#include <stdexcept>

#include "state/state_database.h"

namespace velocast {

namespace {

struct OutcomeName {
    SendOutcome outcome;
    const char* name;
};
constexpr OutcomeName kOutcomes[] = {
    {SendOutcome::Sent, "sent"},
    {SendOutcome::Refused, "refused"},
    {SendOutcome::Invalid, "invalid"},
    {SendOutcome::Deferred, "deferred"},
    {SendOutcome::GivenUp, "given-up"},
    {SendOutcome::Bounced, "bounced"},
    {SendOutcome::Suppressed, "suppressed"},
};

SendOutcome outcomeFromName(const QString& name) {
    for (const OutcomeName& o : kOutcomes)
        if (name == QLatin1String(o.name)) return o.outcome;
    return SendOutcome::Invalid;
}

// LIKE would take "%" and "_" in a typed address as wildcards.
QString likePattern(const QString& part) {
    QString escaped = part;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

HistoryEntry entryOf(const QSqlQuery& q) {
    return HistoryEntry{QDateTime::fromSecsSinceEpoch(q.value(0).toLongLong()),
                        outcomeFromName(q.value(1).toString()),
                        q.value(2).toString(),
                        q.value(3).toString(),
                        q.value(4).toString(),
                        q.value(5).toString(),
                        q.value(6).toString()};
}

// A null QString binds as NULL; the columns hold an empty text for "none".
QVariant text(const QString& value) { return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value); }

}  // namespace

QString sendOutcomeName(SendOutcome outcome) {
    for (const OutcomeName& o : kOutcomes)
        if (o.outcome == outcome) return QLatin1String(o.name);
    return {};
}

void SendHistory::record(const HistoryEntry& e) {
    QSqlQuery q(state_.database());
    q.prepare(
        QStringLiteral("INSERT INTO send_history (at, outcome, address, subject, campaign, message_id, reply) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v : {QVariant(e.at.toSecsSinceEpoch()), QVariant(sendOutcomeName(e.outcome)), text(e.address),
                              text(e.subject), text(e.campaign), text(e.messageId), text(e.reply)})
        q.addBindValue(v);
    if (!q.exec())
        throw std::runtime_error(QStringLiteral("the send history in %1 cannot be written (%2); check the disk and the "
                                                "file's permissions, or set [state] database in velocast.conf")
                                     .arg(state_.path(), q.lastError().text())
                                     .toStdString());
}

int SendHistory::prune(const QDateTime& before) {
    QSqlQuery q(state_.database());
    q.prepare(QStringLiteral("DELETE FROM send_history WHERE at < ?"));
    q.addBindValue(before.toSecsSinceEpoch());
    if (!q.exec())
        throw std::runtime_error(QStringLiteral("the send history in %1 cannot be pruned (%2); check the disk and the "
                                                "file's permissions, or set [state] database in velocast.conf")
                                     .arg(state_.path(), q.lastError().text())
                                     .toStdString());
    return q.numRowsAffected();
}

bool SendHistory::read(const HistoryFilter& filter, const std::function<void(const HistoryEntry&)>& each,
                       QString* error) const {
    QString sql = QStringLiteral(
        "SELECT at, outcome, address, subject, campaign, message_id, reply FROM send_history WHERE 1 = 1");
    QVariantList values;
    if (!filter.address.isEmpty()) {
        if (filter.addressPart) {
            sql += QStringLiteral(" AND address LIKE ? ESCAPE '\\'");
            values << likePattern(filter.address.trimmed());
        } else {
            sql += QStringLiteral(" AND address = ? COLLATE NOCASE");
            values << filter.address.trimmed();
        }
    }
    if (filter.since.isValid()) {
        sql += QStringLiteral(" AND at >= ?");
        values << filter.since.toSecsSinceEpoch();
    }
    sql += QStringLiteral(" ORDER BY at DESC, id DESC");
    if (filter.limit > 0) sql += QStringLiteral(" LIMIT %1").arg(filter.limit);
    QSqlQuery q(state_.database());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) {
        *error = QStringLiteral(
                     "the send history in %1 cannot be read (%2); check the file's permissions, or set "
                     "[state] database in velocast.conf")
                     .arg(state_.path(), q.lastError().text());
        return false;
    }
    while (q.next()) each(entryOf(q));
    return true;
}

std::optional<HistoryEntry> SendHistory::sentMessage(const QString& messageId) const {
    if (messageId.isEmpty()) return std::nullopt;
    QSqlQuery q(state_.database());
    q.prepare(
        QStringLiteral("SELECT at, outcome, address, subject, campaign, message_id, reply FROM send_history "
                       "WHERE message_id = ? AND outcome = 'sent' ORDER BY at DESC, id DESC LIMIT 1"));
    q.addBindValue(messageId);
    if (!q.exec() || !q.next()) return std::nullopt;
    return entryOf(q);
}

}  // namespace velocast
