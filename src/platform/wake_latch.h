#pragma once
// A descriptor that a wait for a server can watch beside its socket, and that turns readable
// when the program is asked to end: a pipe on POSIX systems, a loopback socket pair on
// Windows (whose waits watch sockets only).
namespace velocast {

class WakeLatch {
public:
    WakeLatch();
    ~WakeLatch();
    WakeLatch(const WakeLatch&) = delete;
    WakeLatch& operator=(const WakeLatch&) = delete;

    // False when the system gave no descriptor; the waits then run to their time-outs.
    bool valid() const { return reader_ >= 0; }
    // The end to watch: readable from the first set() until as many clear()s.
    int descriptor() const { return reader_; }
    // Makes the descriptor readable. Safe from any thread and from a signal handler.
    void set();
    // Takes back one set().
    void clear();

private:
    int reader_ = -1;
    int writer_ = -1;
};

}  // namespace velocast
