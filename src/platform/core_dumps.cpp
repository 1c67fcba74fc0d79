#include "platform/core_dumps.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace velocast {

void forbidCoreDumps() {
#ifdef __linux__
    // Also makes /proc/<pid>/mem and ptrace of this process root's business only.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace velocast
