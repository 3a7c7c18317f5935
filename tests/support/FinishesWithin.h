#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "support/WaitFor.h"

namespace Orvane {
namespace Test {

// Runs `action` on a thread of its own and waits up to `timeout` for it to return. A
// hung action (a deadlock under test) is left behind, detached, and reported as false
// instead of hanging the test.
inline bool FinishesWithin(std::function<void()> action, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread runner([action, done] {
        action();
        *done = true;
    });
    if (WaitFor([&] { return done->load(); }, timeout)) {
        runner.join();
        return true;
    }
    runner.detach();
    return false;
}

} // namespace Test
} // namespace Orvane
