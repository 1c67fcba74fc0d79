#include "data/dataset.h"

#include <QSet>
#include <QSqlError>
#include <vector>
#include <QSqlQuery>

#include "data/db_error.h"
#include "data/shared_connection.h"
#include "data/sql_statement.h"

namespace velocast {

namespace {
// More distinct texts than this in one column, and its texts are not shared.
constexpr qsizetype kSharedTextsPerColumn = 32;
}  // namespace

void Dataset::openTable(SharedConnection& connection, const QString& table, const QStringList& declaredColumns,
                        Rows rows) {
    close();
    table_ = table;
    // With Rows::Skip the same statement asks for no row: the columns and the error for a
    // missing table are those of the whole table, and a server does not start sending a
    // member table only to have it cancelled.
    QString sql = QStringLiteral("SELECT * FROM ") + table;
    if (rows != Rows::Read) {
        if (!connection.isOpen()) connection.open();
        sql = connection.dialect() == Dialect::Mssql ? QStringLiteral("SELECT TOP 0 * FROM ") + table
                                                     : sql + QStringLiteral(" WHERE 1 = 0");
    }
    load(connection, sql, {}, rows == Rows::Read ? Rows::Read : Rows::Skip);
    QStringList missing;
    for (const QString& column : declaredColumns)
        if (columns_.indexOf(column) < 0) missing << column;
    if (!missing.isEmpty()) {
        close();
        throw DbError(QStringLiteral("table %1 has no column %2").arg(table, missing.join(QStringLiteral(", "))));
    }
}

void Dataset::openQuery(SharedConnection& connection, const QString& sql, const QVariantMap& parameters, Rows rows) {
    close();
    load(connection, sql, parameters, rows);
}

void Dataset::load(SharedConnection& connection, const QString& sql, const QVariantMap& parameters, Rows rows) {
    ++version_;
    stream_.reset();
    streamMoved_ = false;
    streamed_ = rows == Rows::Stream;
    QSqlQuery query = runSql(connection, sql, parameters);
    columns_ = query.record();
    rows_.clear();
    position_ = 0;
    if (rows == Rows::Skip) {
        query.finish();
        open_ = true;
        return;
    }
    if (rows == Rows::Stream) {
        stream_.emplace(std::move(query));
        open_ = true;
        fetchStreamRow();
        return;
    }
    const int width = columns_.count();
    // Texts repeat from row to row (every outbox row of a campaign carries the same subject,
    // message text and image path): in a column that shows only a few distinct texts each is
    // kept once and shared, so the snapshot grows with the rows, not with the rows times the
    // message. A column of mostly distinct texts (addresses, names) is soon left alone.
    std::vector<QSet<QString>> texts(static_cast<size_t>(width));
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(width);
        for (int i = 0; i < width; ++i) {
            QVariant value = query.value(i);
            QSet<QString>& known = texts[static_cast<size_t>(i)];
            if (value.typeId() == QMetaType::QString && known.size() < kSharedTextsPerColumn) {
                const QString text = value.toString();
                const auto found = known.constFind(text);
                if (found != known.cend()) value = *found;
                else known.insert(text);
            }
            row.append(std::move(value));
        }
        rows_.append(std::move(row));
    }
    position_ = 0;
    open_ = true;
}

void Dataset::fetchStreamRow() {
    rows_.clear();
    position_ = 0;
    if (!stream_) return;
    if (!stream_->next()) {
        const QSqlError error = stream_->lastError();
        stream_.reset();
        if (error.isValid()) throw DbError(error.text().trimmed());
        return;
    }
    const int width = columns_.count();
    QList<QVariant> row;
    row.reserve(width);
    for (int i = 0; i < width; ++i) row.append(stream_->value(i));
    rows_.append(std::move(row));
}

void Dataset::first() {
    if (streamMoved_) throw DbError(QStringLiteral("dataset %1 is read as a stream, once").arg(name_));
    position_ = 0;
}

void Dataset::next() {
    if (streamed_) {
        if (rows_.isEmpty()) return;
        streamMoved_ = true;
        fetchStreamRow();
        return;
    }
    if (position_ < rows_.size()) ++position_;
}

void Dataset::close() {
    ++version_;
    stream_.reset();
    streamed_ = false;
    streamMoved_ = false;
    open_ = false;
    rows_.clear();
    columns_.clear();
    position_ = 0;
}

bool Dataset::hasColumn(const QString& column) const { return columns_.indexOf(column) >= 0; }

QVariant Dataset::value(const QString& column) const {
    if (!open_) throw DbError(QStringLiteral("dataset %1 is not open").arg(name_));
    if (position_ >= rows_.size()) throw DbError(QStringLiteral("dataset %1 is at its end").arg(name_));
    const int index = columns_.indexOf(column);
    if (index < 0) throw DbError(QStringLiteral("dataset %1 has no column %2").arg(name_, column));
    return rows_.at(position_).at(index);
}

QString Dataset::text(const QString& column) const {
    const QVariant v = value(column);
    return v.isNull() ? QString() : v.toString();
}

bool Dataset::flag(const QString& column) const {
    const QVariant v = value(column);
    return !v.isNull() && v.toBool();
}

}  // namespace velocast
