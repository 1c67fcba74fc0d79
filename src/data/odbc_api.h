#pragma once
// The ODBC C interface. Windows' ODBC headers take their basic types from <windows.h> and
// do not include it themselves.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
