#include "data/sql_server_driver.h"

#include <windows.h>

namespace velocast {

namespace {

// The drivers ODBC lists as installed: the value names under ODBCINST.INI\ODBC Drivers.
QStringList installedOdbcDrivers() {
    QStringList names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = sizeof name / sizeof name[0];
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.append(QString::fromWCharArray(name, static_cast<qsizetype>(length)));
    }
    RegCloseKey(key);
    return names;
}

}  // namespace

QString installedSqlServerDriver() {
    const QString best = bestSqlServerDriver(installedOdbcDrivers());
    // "SQL Server" ships with every Windows: the last resort even when the list is unreadable.
    return best.isEmpty() ? QStringLiteral("SQL Server") : best;
}

}  // namespace velocast
