#include "outbox/outbox.h"

#include "data/dataset.h"
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

Outbox::Outbox(Session& session) : session_(session), rows_(session.TBLVelocast) {}

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

qint32 Outbox::reload() {
    rows_.requery(session_.connection());
    return rows_.recordCount();
}

bool Outbox::atEnd() const { return rows_.eof(); }

OutboxRow Outbox::current() const {
    OutboxRow row;
    row.id = rows_.value(QStringLiteral("ID"));
    row.email = rows_.text(QStringLiteral("Email"));
    row.subject = rows_.text(QStringLiteral("Assunto"));
    row.text = rows_.text(QStringLiteral("Texto"));
    row.imagePath = rows_.text(QStringLiteral("IMAGEM_CORPO_MARKETING"));
    return row;
}

void Outbox::next() { rows_.next(); }

void Outbox::removeCurrent() {
    runPrepared(session_.connection(), QStringLiteral("DELETE FROM Velocast WHERE ID = :ID"),
                {{QStringLiteral("ID"), rows_.value(QStringLiteral("ID"))}});
    rows_.removeCurrentRow();
}

}  // namespace velocast
