#pragma once
// The process holds the club's SMTP password and the database login in memory: no core
// file or debugger attach by another process of the same user may copy them out.

namespace velocast {

// Marks the process as not dumpable where the system allows it (Linux); elsewhere nothing.
void forbidCoreDumps();

}  // namespace velocast
