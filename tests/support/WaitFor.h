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

// Polls `predicate` until it holds, for as long as `progress()` keeps changing: gives up only
// when it has stood still for `idle`. For long transfers whose pace is the machine's, not the
// code's; bounded because `progress` only grows towards a known end.
template <typename Predicate, typename Progress>
bool WaitWhileProgressing(Predicate predicate, Progress progress,
                          std::chrono::milliseconds idle = std::chrono::seconds(10))
{
    auto last = progress();
    auto changed = std::chrono::steady_clock::now();
    while (!predicate()) {
        const auto now = std::chrono::steady_clock::now();
        const auto current = progress();
        if (current != last) {
            last = current;
            changed = now;
        } else if (now - changed >= idle) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace Test
} // namespace Orvane
