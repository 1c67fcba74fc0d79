#include "data/sql_server_driver.h"

namespace velocast {

// FreeTDS, as the FreeTDS ODBC package registers it with unixODBC.
QString installedSqlServerDriver() { return QStringLiteral("FreeTDS"); }

}  // namespace velocast
