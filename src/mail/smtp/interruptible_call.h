#pragma once
// A blocking call that no descriptor can watch (the system's name look-up, which may wait for
// a DNS server that never answers): it runs on a thread of its own while this one watches the
// end request, so that SIGTERM, SIGINT and SIGHUP end the program as they do during any wait
// for the server. An end request that does not end the process leaves the call to finish on
// its own thread and fails the wait as waitInterrupted() does.
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "mail/smtp/interrupted_wait.h"
#include "platform/wait_interruption.h"

namespace velocast::mail {

// How often an interruptible call looks at the end request.
inline constexpr std::chrono::milliseconds kEndRequestGlance{20};

template <class Result>
Result callInterruptibly(std::function<Result()> call) {
    if (waitInterruptionDescriptor() < 0) return call();
    // Shared with the thread: after an interruption the thread outlives this frame.
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> future = promise->get_future();
    std::thread([promise, call = std::move(call)] { promise->set_value(call()); }).detach();
    while (future.wait_for(kEndRequestGlance) != std::future_status::ready)
        if (endRequestWaiting()) waitInterrupted();
    return future.get();
}

}  // namespace velocast::mail
