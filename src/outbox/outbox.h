#pragma once
// The outbox table "Velocast": one row per e-mail waiting to go out. Campaigns append rows,
// the sender reads them and deletes each one it finished; this is the only code that touches
// the table's columns.
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

namespace velocast {

class Session;

// One outbox row. A null text stands for NULL in the table, an empty one for ''.
struct OutboxRow {
    QVariant id;        // ID, given by the database on insert
    QString email;      // Email: as the campaign selected it, blanks included
    QString subject;    // Assunto
    QString text;       // Texto
    QString imagePath;  // IMAGEM_CORPO_MARKETING: the file attached to the message, or empty
};

// A column value as an OutboxRow field: NULL stays null, anything else becomes non-null text.
QString outboxText(const QVariant& value);

// The outbox of a session. A drain walks the row identifiers read at its start and reads
// each row when it comes to it: the memory a drain takes does not grow with the outbox, and
// a row removed meanwhile (the outbox emptied from the tray menu) is not sent. On SQL Server,
// where every read is a round trip over the network, the rows are read a few at a time
// (kReadAhead); emptying the outbox in this program drops the rows read ahead, and a row
// another program removes meanwhile can only still go out if it was among them.
class Outbox {
public:
    explicit Outbox(Session& session);

    // Inserts `row` (its id is ignored) in the caller's transaction. A text longer than its
    // column is cut to the column's width. Throws DbError.
    void append(const OutboxRow& row);

    // How many rows wait, without reading them. Throws DbError.
    qint32 count() const;

    // Reads which rows there are again, the first one current; returns how many. Throws
    // DbError.
    qint32 reload();
    bool atEnd() const;
    // The current row as the table holds it now; a row removed since the reload comes back
    // with a null id and nothing else. Throws DbError, also at the end.
    OutboxRow current() const;
    void next();
    // Deletes the current row from the table and from the rows read. A row someone else
    // removed meanwhile deletes nothing, which is no error. Throws DbError.
    // As a table's cursor does, the next row becomes current; when the deleted row was the
    // last, the row before it becomes current again, so a walk visits that row a second time
    // (a row kept for later is tried once more in the same drain). Callers that count rows
    // count each id once.
    void removeCurrent();
    // The same, and the caller's transaction committed with the delete: a row is never left
    // deleted without the rest of its transaction, nor the other way round. On SQL Server the
    // delete, the commit and the next transaction's begin travel in one request. Throws
    // DbError (the transaction is then still open, for the caller to roll back).
    void removeCurrentAndCommit();

    // Rows read at once on SQL Server: one read a round trip for this many rows sent.
    static constexpr int kReadAhead = 20;
    // Told by whatever empties the outbox in this program: rows read ahead are not sent.
    static void emptied();

private:
    void readAhead() const;
    void dropCurrent();

    Session& session_;
    QList<QVariant> ids_;
    qsizetype position_ = 0;
    // SQL Server: the rows read ahead by key (a key read but absent was removed meanwhile),
    // and which emptying of the outbox they were read after.
    mutable QHash<qlonglong, OutboxRow> readAhead_;
    mutable QSet<qlonglong> readKeys_;
    mutable quint64 readAfterEmptying_ = 0;
};

}  // namespace velocast
