#include "outbox/outbox_clearing.h"

#include "data/db_error.h"
#include "notices/notices.h"
#include "data/shared_connection.h"
#include "data/sql_statement.h"

#include <QSqlError>
#include <QSqlQuery>

namespace velocast {

QString clearOutboxSql(Dialect dialect) {
    // SQLite has no TRUNCATE; an unconditional DELETE is its equivalent.
    return dialect == Dialect::Mssql ? QStringLiteral("TRUNCATE TABLE Velocast")
                                     : QStringLiteral("DELETE FROM Velocast");
}

QString rowsToClearSql(Dialect dialect) {
    // TRUNCATE needs the table to itself at the commit anyway; taking it at the read keeps a
    // row written meanwhile by another copy from going without a trace.
    return dialect == Dialect::Mssql
               ? QStringLiteral("SELECT ID, Email, Assunto FROM Velocast WITH (TABLOCKX, HOLDLOCK)")
               : QStringLiteral("SELECT ID, Email, Assunto FROM Velocast");
}

bool clearOutbox(SharedConnection& connection, Notices& notices, QList<OutboxRow>* removed) {
    try {
        QList<OutboxRow> rows;
        connection.beginTransaction();
        if (removed) {
            QSqlQuery query = runSql(connection, rowsToClearSql(connection.dialect()));
            while (query.next()) {
                OutboxRow row;
                row.id = query.value(0);
                row.email = outboxText(query.value(1));
                row.subject = outboxText(query.value(2));
                rows.append(row);
            }
            if (query.lastError().isValid()) throw DbError(query.lastError().text().trimmed());
        }
        runSql(connection, clearOutboxSql(connection.dialect()));
        connection.commit();
        Outbox::emptied();
        if (removed) *removed = rows;
        return true;
    } catch (const DbError&) {
        if (connection.inTransaction()) {
            try {
                connection.rollback();
            } catch (const DbError&) {
                // The server dropped the transaction with the connection; nothing was emptied.
            }
        }
        notices.MOSTRA_AVISO(QStringLiteral("!"), kAberturaDeTabela, QStringLiteral("Velocast"));
        return false;
    }
}

}  // namespace velocast
