#pragma once
// A snapshot of a table or a query, read whole when it is opened, with a current row: what
// the program's datasets are. It sees later changes in the database only when opened again.
#include <QList>
#include <QSqlQuery>
#include <optional>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace velocast {

class SharedConnection;

class Dataset {
public:
    explicit Dataset(QString name = QString()) : name_(std::move(name)) {}

    // Whether opening a table reads its rows, or only checks its columns: a table the program
    // reads later with queries of its own (the outbox, the members) need not sit in memory, which for a large club is most of what the program would hold.
    // Rows::Stream keeps only the current row: the query stays open and next() fetches the
    // following one, so the rows can be walked once, from the first, and never counted.
    enum class Rows { Read, Skip, Stream };

    // Opens "SELECT * FROM table"; every declared column must be among the table's columns.
    // With Rows::Skip no row is read (the dataset is open and at its end).
    void openTable(SharedConnection& connection, const QString& table, const QStringList& declaredColumns = {},
                   Rows rows = Rows::Read);
    // Opens any query.
    void openQuery(SharedConnection& connection, const QString& sql, const QVariantMap& parameters = {},
                   Rows rows = Rows::Read);
    void close();

    bool isOpen() const { return open_; }
    // Changes whenever the dataset is opened or closed: what was read from it
    // before is still current while this stays the same.
    quint64 version() const { return version_; }
    const QString& name() const { return name_; }
    const QString& table() const { return table_; }
    void setTable(const QString& table) { table_ = table; }

    bool eof() const { return !open_ || position_ >= rows_.size(); }
    // On a stream, first() is only where it starts: going back throws DbError.
    void first();
    void last() { position_ = rows_.isEmpty() ? 0 : rows_.size() - 1; }
    // On a stream, fetches the next row; throws DbError when the database fails meanwhile.
    void next();
    int position() const { return static_cast<int>(position_); }

    bool hasColumn(const QString& column) const;
    // A column of the current row; throws DbError when closed, at the end, or no such column.
    QVariant value(const QString& column) const;
    // The same, with NULL read as empty text.
    QString text(const QString& column) const;
    // The same, with NULL read as false.
    bool flag(const QString& column) const;

private:
    void load(SharedConnection& connection, const QString& sql, const QVariantMap& parameters, Rows rows);
    void fetchStreamRow();

    QString name_;
    QString table_;
    QSqlRecord columns_;
    // Values only, in the order of columns_: a record per row would repeat every column's
    // name and type in every row.
    QList<QList<QVariant>> rows_;
    qsizetype position_ = 0;
    bool open_ = false;
    quint64 version_ = 0;
    std::optional<QSqlQuery> stream_;  // open while a streamed query has rows left
    bool streamed_ = false;            // opened as a stream
    bool streamMoved_ = false;         // a streamed dataset has left its first row
};

}  // namespace velocast
