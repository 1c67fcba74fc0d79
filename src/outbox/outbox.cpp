#include "outbox/outbox.h"

#include <QSqlError>
#include <QSqlQuery>

#include "data/db_error.h"
#include "data/host_schema.h"
#include "data/session.h"
#include "data/sql_statement.h"

namespace velocast {

namespace {

const QString kTable = QStringLiteral("Velocast");

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
    QSqlQuery query = runSql(session_.connection(), QStringLiteral("SELECT ID FROM Velocast"));
    while (query.next()) ids_.append(query.value(0));
    if (query.lastError().isValid()) throw DbError(query.lastError().text().trimmed());
    return static_cast<qint32>(ids_.size());
}

bool Outbox::atEnd() const { return position_ >= ids_.size(); }

OutboxRow Outbox::current() const {
    if (atEnd()) throw DbError(QStringLiteral("the outbox is at its end"));
    const QVariantList values = firstRowOf(
        session_.connection(),
        QStringLiteral("SELECT ID, Email, Assunto, Texto, IMAGEM_CORPO_MARKETING FROM Velocast WHERE ID = :ID"),
        {{QStringLiteral("ID"), ids_.at(position_)}}, 5);
    OutboxRow row;
    if (values.isEmpty()) return row;  // removed since the reload
    row.id = values.at(0);
    row.email = outboxText(values.at(1));
    row.subject = outboxText(values.at(2));
    row.text = outboxText(values.at(3));
    row.imagePath = outboxText(values.at(4));
    return row;
}

void Outbox::next() {
    if (position_ < ids_.size()) ++position_;
}

void Outbox::removeCurrent() {
    if (atEnd()) throw DbError(QStringLiteral("the outbox is at its end"));
    runPrepared(session_.connection(), QStringLiteral("DELETE FROM Velocast WHERE ID = :ID"),
                {{QStringLiteral("ID"), ids_.at(position_)}});
    ids_.removeAt(position_);
    if (position_ >= ids_.size() && position_ > 0) --position_;
}

}  // namespace velocast
