#include "outbox/outbox.h"

#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

#include "data/db_error.h"
#include "data/host_schema.h"
#include "data/odbc_bound_statement.h"
#include "data/session.h"
#include "data/shared_connection.h"
#include "data/sql_statement.h"

namespace velocast {

namespace {

const QString kTable = QStringLiteral("Velocast");
const QString kColumns = QStringLiteral("ID, Email, Assunto, Texto, IMAGEM_CORPO_MARKETING");

// How many times the outbox was emptied in this program.
std::atomic<quint64> emptyings{0};

OutboxRow rowOf(const QVariantList& values) {
    OutboxRow row;
    row.id = values.at(0);
    row.email = outboxText(values.at(1));
    row.subject = outboxText(values.at(2));
    row.text = outboxText(values.at(3));
    row.imagePath = outboxText(values.at(4));
    return row;
}

// The read of kReadAhead rows by key; a batch with fewer keys binds NULL, which matches no
// row, in the places left, so that one statement prepared on the connection serves them all.
QString readAheadSql() {
    QStringList markers;
    for (int i = 0; i < Outbox::kReadAhead; ++i) markers << QStringLiteral("?");
    return QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM Velocast WHERE ID IN (") +
           markers.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QVariant boundText(const QString& text, const char* column) {
    if (text.isNull()) return QVariant();
    const int width = columnWidth(kTable, QLatin1String(column));
    return width > 0 && text.size() > width ? text.left(width) : text;
}

}  // namespace

QString outboxText(const QVariant& value) {
    if (value.isNull()) return QString();
    const QString text = value.toString();
    return text.isNull() ? QStringLiteral("") : text;
}

Outbox::Outbox(Session& session) : session_(session) {}

void Outbox::append(const OutboxRow& row) {
    static const QString insert = QStringLiteral(
        "INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING) "
        "VALUES (:Email, :Assunto, :Texto, :IMAGEM_CORPO_MARKETING)");
    runPrepared(session_.connection(), insert,
                {{QStringLiteral("Email"), boundText(row.email, "Email")},
                 {QStringLiteral("Assunto"), boundText(row.subject, "Assunto")},
                 {QStringLiteral("Texto"), boundText(row.text, "Texto")},
                 {QStringLiteral("IMAGEM_CORPO_MARKETING"), boundText(row.imagePath, "IMAGEM_CORPO_MARKETING")}});
}

qint32 Outbox::count() const {
    const QVariantList values =
        firstRowOf(session_.connection(), QStringLiteral("SELECT COUNT(*) FROM Velocast"), {}, 1);
    return values.isEmpty() ? 0 : values.at(0).toInt();
}

qint32 Outbox::reload() {
    ids_.clear();
    position_ = 0;
    readAhead_.clear();
    readKeys_.clear();
    QSqlQuery query = runSql(session_.connection(), QStringLiteral("SELECT ID FROM Velocast"));
    while (query.next()) ids_.append(query.value(0));
    if (query.lastError().isValid()) throw DbError(query.lastError().text().trimmed());
    return static_cast<qint32>(ids_.size());
}

bool Outbox::atEnd() const { return position_ >= ids_.size(); }

void Outbox::emptied() { ++emptyings; }

OutboxRow Outbox::current() const {
    if (atEnd()) throw DbError(QStringLiteral("the outbox is at its end"));
    if (session_.connection().dialect() == Dialect::Mssql) {
        if (readAfterEmptying_ != emptyings.load()) {
            readAhead_.clear();
            readKeys_.clear();
        }
        const qlonglong key = ids_.at(position_).toLongLong();
        if (!readKeys_.contains(key)) readAhead();
        return readAhead_.value(key);  // a null id: removed since the reload
    }
    const QVariantList values = firstRowOf(
        session_.connection(), QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM Velocast WHERE ID = :ID"),
        {{QStringLiteral("ID"), ids_.at(position_)}}, 5);
    if (values.isEmpty()) return OutboxRow();  // removed since the reload
    return rowOf(values);
}

void Outbox::readAhead() const {
    readAhead_.clear();
    readKeys_.clear();
    readAfterEmptying_ = emptyings.load();
    QVariantList keys;
    for (qsizetype i = position_; i < ids_.size() && keys.size() < kReadAhead; ++i) {
        keys << ids_.at(i);
        readKeys_.insert(ids_.at(i).toLongLong());
    }
    while (keys.size() < kReadAhead) keys << QVariant(QMetaType::fromType<int>());
    SharedConnection& connection = session_.connection();
    if (!connection.isOpen()) connection.open();
    const QList<QVariantList> rows = connection.odbcStatements().rows(connection.database(), readAheadSql(), keys, 5);
    for (const QVariantList& values : rows) {
        const OutboxRow row = rowOf(values);
        if (readKeys_.contains(row.id.toLongLong())) readAhead_.insert(row.id.toLongLong(), row);
    }
}

void Outbox::next() {
    if (position_ < ids_.size()) ++position_;
}

void Outbox::removeCurrent() {
    if (atEnd()) throw DbError(QStringLiteral("the outbox is at its end"));
    runPrepared(session_.connection(), QStringLiteral("DELETE FROM Velocast WHERE ID = :ID"),
                {{QStringLiteral("ID"), ids_.at(position_)}});
    dropCurrent();
}

void Outbox::removeCurrentAndCommit() {
    if (atEnd()) throw DbError(QStringLiteral("the outbox is at its end"));
    runAndCommit(session_.connection(), QStringLiteral("DELETE FROM Velocast WHERE ID = :ID"),
                 {{QStringLiteral("ID"), ids_.at(position_)}});
    dropCurrent();
}

void Outbox::dropCurrent() {
    readAhead_.remove(ids_.at(position_).toLongLong());
    readKeys_.remove(ids_.at(position_).toLongLong());
    ids_.removeAt(position_);
    if (position_ >= ids_.size() && position_ > 0) --position_;
}

}  // namespace velocast
