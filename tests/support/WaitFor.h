#pragma once

#include <chrono>
#include <thread>

namespace Orvane {
namespace Test {

// Polls `predicate` until it holds or `timeout` passes; returns its last value.
// Tests wait on conditions with this, never on fixed sleeps.
template <typename Predicate>
bool WaitFor(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace Test
} // namespace Orvane
