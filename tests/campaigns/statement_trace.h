#pragma once
// Records every statement a SQLite connection of the program starts, as the server received
// it: what was looked up, in which order, and what never reached the database.
#include <QString>
#include <QStringList>

namespace velocast::testing {

class StatementTrace {
public:
    // Traces the open connection registered under `connectionName` until destroyed.
    explicit StatementTrace(const QString& connectionName);
    ~StatementTrace();
    StatementTrace(const StatementTrace&) = delete;
    StatementTrace& operator=(const StatementTrace&) = delete;

    // The statements started so far whose text contains `part`.
    QStringList containing(const QString& part) const;

    QStringList statements;

private:
    void* handle_ = nullptr;
};

}  // namespace velocast::testing
