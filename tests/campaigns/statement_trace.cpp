#include "statement_trace.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <sqlite3.h>
#include <stdexcept>

namespace velocast::testing {
namespace {
// With its bound values in place of the placeholders: a statement prepared once and run for
// many rows shows what each run looked up.
int onStatement(unsigned /*type*/, void* context, void* statement, void* text) {
    char* expanded = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
    static_cast<StatementTrace*>(context)->statements
        << QString::fromUtf8(expanded ? expanded : static_cast<const char*>(text));
    sqlite3_free(expanded);
    return 0;
}
}  // namespace

StatementTrace::StatementTrace(const QString& connectionName) {
    const QVariant handle = QSqlDatabase::database(connectionName, false).driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw std::runtime_error("not an open SQLite connection");
    handle_ = *static_cast<sqlite3* const*>(handle.data());
    sqlite3_trace_v2(static_cast<sqlite3*>(handle_), SQLITE_TRACE_STMT, onStatement, this);
}

StatementTrace::~StatementTrace() { sqlite3_trace_v2(static_cast<sqlite3*>(handle_), 0, nullptr, nullptr); }

QStringList StatementTrace::containing(const QString& part) const {
    QStringList found;
    for (const QString& s : statements)
        if (s.contains(part)) found << s;
    return found;
}

}  // namespace velocast::testing
