#include "data/dataset.h"

#include <QSet>
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

void Dataset::openTable(SharedConnection& connection, const QString& table,
                        const QStringList& declaredColumns, Rows rows) {
    close();
    table_ = table;
    sql_ = QStringLiteral("SELECT * FROM ") + table;
    parameters_.clear();
    // The same statement, so the same columns and the same error for a missing table; with
    // Rows::Skip its result is let go before a row is fetched.
    load(connection, sql_, rows == Rows::Read);
    QStringList missing;
    for (const QString& column : declaredColumns)
        if (columns_.indexOf(column) < 0) missing << column;
    if (!missing.isEmpty()) {
        close();
        throw DbError(QStringLiteral("table %1 has no column %2").arg(table, missing.join(QStringLiteral(", "))));
    }
}

void Dataset::openQuery(SharedConnection& connection, const QString& sql, const QVariantMap& parameters) {
    close();
    sql_ = sql;
    parameters_ = parameters;
    load(connection, sql_, true);
}

void Dataset::requery(SharedConnection& connection) {
    if (sql_.isEmpty()) throw DbError(QStringLiteral("dataset %1 has nothing to requery").arg(name_));
    open_ = false;
    load(connection, sql_, true);
}

void Dataset::load(SharedConnection& connection, const QString& sql, bool readRows) {
    ++version_;
    QSqlQuery query = runSql(connection, sql, parameters_);
    columns_ = query.record();
    rows_.clear();
    if (!readRows) {
        query.finish();
        position_ = 0;
        open_ = true;
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

void Dataset::close() {
    ++version_;
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

void Dataset::removeCurrentRow() {
    if (position_ >= rows_.size()) return;
    rows_.removeAt(position_);
    if (position_ >= rows_.size() && position_ > 0) --position_;
}

}  // namespace velocast
