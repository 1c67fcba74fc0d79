#pragma once
// The outbox table "Velocast": one row per e-mail waiting to go out. Campaigns append rows,
// the sender reads them and deletes each one it finished; this is the only code that touches
// the table's columns.
#include <QString>
#include <QVariant>

namespace velocast {

class Dataset;
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

// The outbox of a session, read through the session's outbox dataset so that the rows the
// sender walks are the ones the program has open.
class Outbox {
public:
    explicit Outbox(Session& session);

    // Inserts `row` (its id is ignored) in the caller's transaction. A text longer than its
    // column is cut to the column's width. Throws DbError.
    void append(const OutboxRow& row);

    // Reads the rows again, the first one current; returns how many there are. Throws DbError.
    qint32 reload();
    bool atEnd() const;
    // The current row; throws DbError at the end.
    OutboxRow current() const;
    void next();
    // Deletes the current row from the table and from the rows read. A row someone else
    // removed meanwhile deletes nothing, which is no error. Throws DbError.
    void removeCurrent();

private:
    Session& session_;
    Dataset& rows_;
};

}  // namespace velocast
