#include "state/send_history.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTimeZone>
#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "state/state_database.h"

namespace velocast {

namespace {

// The codes are what the file stores: a new outcome takes a new code, none changes.
struct OutcomeName {
    SendOutcome outcome;
    int code;
    const char* name;
};
constexpr OutcomeName kOutcomes[] = {
    {SendOutcome::Sent, 0, "sent"},
    {SendOutcome::Refused, 1, "refused"},
    {SendOutcome::Invalid, 2, "invalid"},
    {SendOutcome::Deferred, 3, "deferred"},
    {SendOutcome::GivenUp, 4, "given-up"},
    {SendOutcome::Bounced, 5, "bounced"},
    {SendOutcome::Suppressed, 6, "suppressed"},
    {SendOutcome::RemovedByStaff, 7, "removed by the staff"},
    {SendOutcome::OptedOut, 8, "opted-out"},
};

int outcomeCode(SendOutcome outcome) {
    for (const OutcomeName& o : kOutcomes)
        if (o.outcome == outcome) return o.code;
    return 2;
}

SendOutcome outcomeOfCode(int code) {
    for (const OutcomeName& o : kOutcomes)
        if (o.code == code) return o.outcome;
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

// Where a form (history_text) leaves out the part that differs from message to message.
constexpr QChar kHole = QChar(0x01);

// A Message-ID is "<unique@domain>": the form keeps "<", the hole and "@domain>", the entry the
// unique part, in binary when it is one of the shapes this program or a UUID gives (the time to
// the millisecond, a dot and 24 hex digits; or a UUID), in text otherwise. Anything else is
// kept whole, without a form.
struct Split {
    QString form;     // empty: none, `unique` holds the whole text
    QVariant unique;  // QByteArray or QString; null for none
};

// The time in a Message-ID is the moment it was made, a little before the entry's own time:
// kept as the milliseconds between the two, in 2 or 4 bytes, or whole when farther apart.
constexpr char kTimedShape = 1;
constexpr char kUuidShape = 2;
constexpr char kNearTimeShape = 3;
constexpr char kTimeShape = 4;

QByteArray bigEndian(qint64 value, int bytes) {
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i) out.append(char((quint64(value) >> (8 * i)) & 0xFF));
    return out;
}

qint64 fromBigEndian(const QByteArray& bytes, bool isSigned) {
    quint64 value = 0;
    for (char c : bytes) value = (value << 8) | quint8(c);
    if (isSigned && !bytes.isEmpty() && (quint8(bytes[0]) & 0x80) && bytes.size() < 8)
        value |= ~quint64(0) << (8 * bytes.size());
    return qint64(value);
}

const QString kTimeFormat = QStringLiteral("yyyyMMddHHmmsszzz");

QByteArray packedUnique(const QString& local, qint64 at) {
    static const QRegularExpression timed(QStringLiteral("^([0-9]{17})\\.([0-9a-f]{24})$"));
    static const QRegularExpression uuid(
        QStringLiteral("^([0-9a-f]{8})-([0-9a-f]{4})-([0-9a-f]{4})-([0-9a-f]{4})-([0-9a-f]{12})$"));
    if (const auto m = timed.match(local); m.hasMatch()) {
        const QByteArray random = QByteArray::fromHex(m.captured(2).toLatin1());
        QDateTime time = QDateTime::fromString(m.captured(1), kTimeFormat);
        time.setTimeZone(QTimeZone::utc());
        if (time.isValid() && time.toString(kTimeFormat) == m.captured(1)) {
            const qint64 delta = time.toMSecsSinceEpoch() - at * 1000;
            if (delta >= -32768 && delta <= 32767) return char(kNearTimeShape) + bigEndian(delta, 2) + random;
            if (delta >= INT32_MIN && delta <= INT32_MAX) return char(kTimeShape) + bigEndian(delta, 4) + random;
        }
        return char(kTimedShape) + bigEndian(qint64(m.captured(1).toULongLong()), 8) + random;
    }
    if (const auto m = uuid.match(local); m.hasMatch()) {
        QString hex = local;
        hex.remove(u'-');
        return QByteArray(1, kUuidShape) + QByteArray::fromHex(hex.toLatin1());
    }
    return {};
}

QString unpackedUnique(const QByteArray& packed, qint64 at) {
    const char shape = packed.isEmpty() ? 0 : packed[0];
    const auto timed = [&](int bytes) {
        const qint64 ms = at * 1000 + fromBigEndian(packed.mid(1, bytes), true);
        return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toString(kTimeFormat) + u'.' +
               QString::fromLatin1(packed.mid(1 + bytes).toHex());
    };
    if (shape == kNearTimeShape && packed.size() == 15) return timed(2);
    if (shape == kTimeShape && packed.size() == 17) return timed(4);
    if (shape == kTimedShape && packed.size() == 21)
        return QStringLiteral("%1.%2")
            .arg(fromBigEndian(packed.mid(1, 8), false), 17, 10, QLatin1Char('0'))
            .arg(QString::fromLatin1(packed.mid(9).toHex()));
    if (shape == kUuidShape && packed.size() == 17) {
        const QString hex = QString::fromLatin1(packed.mid(1).toHex());
        return QStringLiteral("%1-%2-%3-%4-%5")
            .arg(hex.mid(0, 8), hex.mid(8, 4), hex.mid(12, 4), hex.mid(16, 4), hex.mid(20, 12));
    }
    return {};
}

Split splitMessageId(const QString& id, qint64 at) {
    if (id.isEmpty()) return {};
    const qsizetype sign = id.lastIndexOf(u'@');
    if (!id.startsWith(u'<') || sign < 2 || id.contains(kHole)) return {{}, id};
    const QString local = id.mid(1, sign - 1);
    const QString form = QStringLiteral("<") + kHole + id.mid(sign);
    const QByteArray packed = packedUnique(local, at);
    if (!packed.isEmpty()) return {form, packed};
    return {form, local};
}

// A reply's words after its code and status that hold a digit (queue IDs, times) differ from
// message to message; the form keeps the rest, which a server repeats.
Split splitReply(const QString& reply) {
    if (reply.isEmpty()) return {};
    if (reply.contains(kHole)) return {{}, reply};
    QStringList words = reply.split(u' ');
    QStringList unique;
    for (qsizetype i = 2; i < words.size(); ++i) {
        if (!std::any_of(words[i].begin(), words[i].end(), [](QChar c) { return c.isDigit(); })) continue;
        unique << words[i];
        words[i] = kHole;
    }
    if (unique.isEmpty()) return {words.join(u' '), {}};
    // A queue ID in capital hex digits (the usual "queued as"), in half the bytes.
    static const QRegularExpression hex(QStringLiteral("^(?:[0-9A-F]{2})+$"));
    const QString part = unique.join(u' ');
    if (hex.match(part).hasMatch()) return {words.join(u' '), QByteArray::fromHex(part.toLatin1())};
    return {words.join(u' '), part};
}

QString joinedMessageId(const QString& form, const QVariant& unique, qint64 at) {
    const QString part =
        unique.typeId() == QMetaType::QByteArray ? unpackedUnique(unique.toByteArray(), at) : unique.toString();
    return form.isEmpty() ? part : QString(form).replace(kHole, part);
}

QString joinedReply(const QString& form, const QVariant& unique) {
    if (form.isEmpty()) return unique.toString();
    const QStringList words =
        (unique.typeId() == QMetaType::QByteArray ? QString::fromLatin1(unique.toByteArray().toHex().toUpper())
                                                  : unique.toString())
            .split(u' ');
    QString out;
    qsizetype next = 0;
    for (QChar c : form) {
        if (c == kHole) out += next < words.size() ? words[next++] : QString();
        else out += c;
    }
    return out;
}

// What the index on Message-IDs holds: the last four bytes of the varying part, or of the
// local part of a whole ID kept by the earlier table. The same text as in the index's
// statement, or SQLite would not use it.
constexpr const char* kMessageIdKey =
    "(CASE WHEN h.message_id_form IS NULL THEN substr(h.message_id, max(instr(h.message_id, '@') - 4, 1), "
    "min(4, instr(h.message_id, '@') - 1)) ELSE substr(h.message_id, -4) END)";

constexpr const char* kColumns =
    "SELECT h.at, h.outcome, a.address, s.text, c.text, h.message_id, m.text, h.reply, r.text, h.outbox_row "
    "FROM send_history h JOIN history_address a ON a.id = h.address JOIN history_text s ON s.id = h.subject "
    "JOIN history_text c ON c.id = h.campaign LEFT JOIN history_text m ON m.id = h.message_id_form "
    "LEFT JOIN history_text r ON r.id = h.reply_form";

HistoryEntry entryOf(const QSqlQuery& q) {
    return HistoryEntry{QDateTime::fromSecsSinceEpoch(q.value(0).toLongLong()),
                        outcomeOfCode(q.value(1).toInt()),
                        q.value(2).toString(),
                        q.value(3).toString(),
                        q.value(4).toString(),
                        joinedMessageId(q.value(6).toString(), q.value(5), q.value(0).toLongLong()),
                        joinedReply(q.value(8).toString(), q.value(7)),
                        q.value(9).toLongLong()};
}

std::runtime_error failure(const StateDatabase& state, const char* what, const QSqlError& error) {
    return std::runtime_error(QStringLiteral("the send history in %1 cannot be %2 (%3); check the disk and the "
                                             "file's permissions, or set [state] database in velocast.conf")
                                  .arg(state.path(), QLatin1String(what), error.text())
                                  .toStdString());
}

// The number of a repeated text, stored the first time it is met. Addresses have a table of
// their own: they go when their last entry goes.
qint64 textId(const StateDatabase& state, const QString& text, bool address = false) {
    const QString value = text.isNull() ? QStringLiteral("") : text;
    // One index serves the lookups without regard to case and this one: an address is stored
    // as it was written, each spelling once.
    QSqlQuery& q = state.statement(address ? QStringLiteral("SELECT id FROM history_address WHERE address = ? COLLATE "
                                                            "NOCASE AND address = ? COLLATE BINARY")
                                           : QStringLiteral("SELECT id FROM history_text WHERE text = ?"));
    q.addBindValue(value);
    if (address) q.addBindValue(value);
    const bool found = q.exec() && q.next();
    const qint64 id = found ? q.value(0).toLongLong() : 0;
    q.finish();
    if (found) return id;
    QSqlQuery& insert = state.statement(address ? QStringLiteral("INSERT INTO history_address (address) VALUES (?)")
                                                : QStringLiteral("INSERT INTO history_text (text) VALUES (?)"));
    insert.addBindValue(value);
    if (!insert.exec()) throw failure(state, "written", insert.lastError());
    return insert.lastInsertId().toLongLong();
}

QVariant formId(const StateDatabase& state, const QString& form) {
    return form.isEmpty() ? QVariant(QMetaType(QMetaType::LongLong)) : QVariant(textId(state, form));
}

QVariant orNull(const QVariant& v) { return v.isNull() ? QVariant(QMetaType(QMetaType::QString)) : v; }

}  // namespace

QString sendOutcomeName(SendOutcome outcome) {
    for (const OutcomeName& o : kOutcomes)
        if (o.outcome == outcome) return QLatin1String(o.name);
    return {};
}

void SendHistory::record(const HistoryEntry& e) {
    state_.beforeWrite();
    const Split id = splitMessageId(e.messageId, e.at.toSecsSinceEpoch());
    const Split reply = splitReply(e.reply);
    const QVariantList values = {QVariant(e.at.toSecsSinceEpoch()),
                                 QVariant(outcomeCode(e.outcome)),
                                 QVariant(textId(state_, e.address, true)),
                                 QVariant(textId(state_, e.subject)),
                                 QVariant(textId(state_, e.campaign)),
                                 orNull(id.unique),
                                 formId(state_, id.form),
                                 orNull(reply.unique),
                                 formId(state_, reply.form),
                                 e.outboxRow > 0 ? QVariant(e.outboxRow) : QVariant(QMetaType(QMetaType::LongLong))};
    QSqlQuery& q = state_.statement(
        QStringLiteral("INSERT INTO send_history (at, outcome, address, subject, campaign, message_id, "
                       "message_id_form, reply, reply_form, outbox_row) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) throw failure(state_, "written", q.lastError());
}

void SendHistory::recordAll(const QList<HistoryEntry>& entries) {
    QSqlDatabase db = state_.database();
    // One commit for the lot: a file synced once per entry would keep the window waiting.
    const bool inTransaction = db.transaction();
    try {
        for (const HistoryEntry& e : entries) record(e);
    } catch (...) {
        if (inTransaction) db.rollback();
        throw;
    }
    if (inTransaction && !db.commit())
        throw std::runtime_error(QStringLiteral("the send history in %1 cannot be written (%2); check the disk and the "
                                                "file's permissions, or set [state] database in velocast.conf")
                                     .arg(state_.path(), db.lastError().text())
                                     .toStdString());
}

int SendHistory::prune(const QDateTime& before, int atMost) {
    QSqlDatabase db = state_.database();
    const bool inTransaction = db.transaction();
    QSqlQuery q(db);
    int removed = 0;
    try {
        // The addresses of the entries that go, to drop those no entry names any more: an
        // address is kept no longer than its entries.
        q.prepare(
            QStringLiteral("SELECT DISTINCT address FROM send_history WHERE id IN (SELECT id FROM send_history "
                           "WHERE at < ? ORDER BY at LIMIT ?)"));
        q.addBindValue(before.toSecsSinceEpoch());
        q.addBindValue(atMost);
        if (!q.exec()) throw failure(state_, "pruned", q.lastError());
        QList<qint64> addresses;
        while (q.next()) addresses << q.value(0).toLongLong();
        q.prepare(
            QStringLiteral("DELETE FROM send_history WHERE id IN (SELECT id FROM send_history WHERE at < ? "
                           "ORDER BY at LIMIT ?)"));
        q.addBindValue(before.toSecsSinceEpoch());
        q.addBindValue(atMost);
        if (!q.exec()) throw failure(state_, "pruned", q.lastError());
        removed = q.numRowsAffected();
        q.prepare(
            QStringLiteral("DELETE FROM history_address WHERE id = ? AND NOT EXISTS (SELECT 1 FROM "
                           "send_history WHERE address = ?)"));
        for (qint64 id : addresses) {
            q.addBindValue(id);
            q.addBindValue(id);
            if (!q.exec()) throw failure(state_, "pruned", q.lastError());
        }
    } catch (...) {
        if (inTransaction) db.rollback();
        throw;
    }
    if (inTransaction && !db.commit()) throw failure(state_, "pruned", db.lastError());
    // The pages freed go back to the disk a few at a time, never the whole file rewritten.
    if (removed > 0 && q.exec(QStringLiteral("PRAGMA incremental_vacuum(%1)").arg(kVacuumPagesPerStep)))
        while (q.next()) {}
    return removed;
}

int SendHistory::pruneAll(const QDateTime& before) {
    int total = 0;
    for (int removed; (removed = prune(before, kPruneStep)) > 0;) total += removed;
    return total;
}

bool SendHistory::read(const HistoryFilter& filter, const std::function<void(const HistoryEntry&)>& each,
                       QString* error) const {
    QString sql = QLatin1String(kColumns) + QStringLiteral(" WHERE 1 = 1");
    QVariantList values;
    if (!filter.address.isEmpty()) {
        // The addresses are few beside the entries: the matching ones first, then their entries.
        if (filter.addressPart) {
            sql +=
                QStringLiteral(" AND h.address IN (SELECT id FROM history_address WHERE address LIKE ? ESCAPE '\\')");
            values << likePattern(filter.address.trimmed());
        } else {
            sql +=
                QStringLiteral(" AND h.address IN (SELECT id FROM history_address WHERE address = ? COLLATE NOCASE)");
            values << filter.address.trimmed();
        }
    }
    if (filter.since.isValid()) {
        sql += QStringLiteral(" AND h.at >= ?");
        values << filter.since.toSecsSinceEpoch();
    }
    sql += QStringLiteral(" ORDER BY h.at DESC, h.id DESC");
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
    // The index holds the last bytes of what varies (the random end of the ID): the entries
    // that share them are few, and each is compared whole. An entry of the earlier table holds
    // the whole ID.
    const Split split = splitMessageId(messageId, 0);
    const auto tail = [](const QVariant& v) {
        return v.typeId() == QMetaType::QByteArray ? QVariant(v.toByteArray().right(4))
                                                   : QVariant(v.toString().right(4));
    };
    const qsizetype sign = messageId.indexOf(u'@');
    const QString wholeKey =
        sign < 0 ? QStringLiteral("") : messageId.mid(qMax<qsizetype>(0, sign - 4), qMin<qsizetype>(4, sign));
    QSqlQuery q(state_.database());
    q.setForwardOnly(true);
    q.prepare(QLatin1String(kColumns) + QStringLiteral(" WHERE ") + QLatin1String(kMessageIdKey) +
              QStringLiteral(" IN (?, ?) AND h.outcome = 0 ORDER BY h.at DESC, h.id DESC"));
    q.addBindValue(tail(split.unique));
    q.addBindValue(wholeKey);
    if (!q.exec()) return std::nullopt;
    while (q.next()) {
        HistoryEntry e = entryOf(q);
        if (e.messageId == messageId) return e;
    }
    return std::nullopt;
}

}  // namespace velocast

namespace velocast {

SendOutcome sendOutcomeOfName(const QString& name) {
    for (const OutcomeName& o : kOutcomes)
        if (name == QLatin1String(o.name)) return o.outcome;
    return SendOutcome::Invalid;
}

}  // namespace velocast
