#pragma once
// One statement in both dialects, side by side where it runs.
#include <QString>

#include "data/dialect.h"

namespace velocast {

struct SqlText {
    QString mssql;   // exactly as the club's SQL Server has always received it
    QString sqlite;  // the same meaning on SQLite
    const QString& in(Dialect dialect) const { return dialect == Dialect::Mssql ? mssql : sqlite; }
};

}  // namespace velocast
