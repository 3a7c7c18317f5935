#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>

#include <malloc.h>

namespace Orvane {
namespace Test {

// The sanitizers bring their own allocator, which malloc's statistics do not see.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kHeapMeasured = false;
#else
constexpr bool kHeapMeasured = true;
#endif

// Bytes that malloc has handed out and not taken back, mapped blocks included.
inline std::size_t HeapInUse()
{
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Samples the heap in use on a thread of its own, every millisecond, and keeps the peak.
class HeapPeak {
public:
    HeapPeak() : base_(HeapInUse()), peak_(base_), thread_([this] {
        while (!stop_) {
            Sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    })
    {
    }
    ~HeapPeak() { Stop(); }
    HeapPeak(const HeapPeak&) = delete;
    HeapPeak& operator=(const HeapPeak&) = delete;

    void Stop()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        Sample();
    }
    // The largest growth over the heap in use when sampling began.
    std::size_t Growth() const
    {
        const std::size_t peak = peak_;
        return peak > base_ ? peak - base_ : 0;
    }

private:
    void Sample()
    {
        const std::size_t now = HeapInUse();
        std::size_t seen = peak_;
        while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
        }
    }

    const std::size_t base_;
    std::atomic<std::size_t> peak_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace Test
} // namespace Orvane
