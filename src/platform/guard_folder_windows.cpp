#include "shell/single_instance.h"

#include "settings/state_directory.h"

namespace velocast {

// The account's own folder under its profile: the guard's name then holds the account, as
// Windows' pipe names are shared by every session of the machine.
QString guardFolder(QString* error) { return accountStateDirectory(error); }

}  // namespace velocast
