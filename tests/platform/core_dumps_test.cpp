// The program keeps passwords in memory: it must not be dumpable.
#include "platform/core_dumps.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(CoreDumps, TheProcessIsNoLongerDumpable) {
    // In a child of its own, so the test program keeps its core files.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool before = ::prctl(PR_GET_DUMPABLE) == 1;
        velocast::forbidCoreDumps();
        ::_exit(before && ::prctl(PR_GET_DUMPABLE) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
#endif
