#include "platform/single_instance.h"

#include "platform/account_folders.h"

namespace velocast {

// The account's own folder under its profile: the guard's name then holds the account, as
// Windows' pipe names are shared by every session of the machine.
QString guardFolder(QString* error) { return accountStateDirectory(error); }

}  // namespace velocast
