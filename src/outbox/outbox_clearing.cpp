#include "outbox/outbox_clearing.h"

#include "data/db_error.h"
#include "notices/notices.h"
#include "data/shared_connection.h"
#include "data/sql_statement.h"

namespace velocast {

QString clearOutboxSql(Dialect dialect) {
    // SQLite has no TRUNCATE; an unconditional DELETE is its equivalent.
    return dialect == Dialect::Mssql ? QStringLiteral("TRUNCATE TABLE Velocast")
                                     : QStringLiteral("DELETE FROM Velocast");
}

bool clearOutbox(SharedConnection& connection, Notices& notices) {
    try {
        connection.beginTransaction();
        runSql(connection, clearOutboxSql(connection.dialect()));
        connection.commit();
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
