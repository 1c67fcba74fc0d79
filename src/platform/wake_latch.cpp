#include "platform/wake_latch.h"

#include <fcntl.h>
#include <unistd.h>

namespace velocast {

WakeLatch::WakeLatch() {
    int ends[2];
    if (::pipe(ends) != 0) return;
    for (int fd : ends) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // A full pipe is readable already: a write that would block is not needed.
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    reader_ = ends[0];
    writer_ = ends[1];
}

WakeLatch::~WakeLatch() {
    if (reader_ >= 0) ::close(reader_);
    if (writer_ >= 0) ::close(writer_);
}

void WakeLatch::set() {
    if (writer_ < 0) return;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(writer_, &byte, 1);
}

void WakeLatch::clear() {
    if (reader_ < 0) return;
    char byte;
    [[maybe_unused]] const auto got = ::read(reader_, &byte, 1);
}

}  // namespace velocast
