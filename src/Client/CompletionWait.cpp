#include "Client/CompletionWait.h"

#include <algorithm>

#include <boost/chrono/system_clocks.hpp>

namespace Orvane {
namespace Client {
namespace {

typedef boost::chrono::steady_clock Clock;

// NaN and negative waits are already over; a huge one is capped so that the clock
// arithmetic stays in range.
Clock::time_point Deadline(double seconds)
{
    const double kMaxSeconds = 2147483647.0;
    const Clock::time_point now = Clock::now();
    if (!(seconds > 0.0)) {
        return now;
    }
    const boost::chrono::duration<double> wait(std::min(seconds, kMaxSeconds));
    return now + boost::chrono::duration_cast<Clock::duration>(wait);
}

} // namespace

CompletionWait::CompletionWait() : state_(Idle), waiters_(0) {}

boost::recursive_mutex& CompletionWait::Mutex()
{
    return mutex_;
}

int CompletionWait::GetState()
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return state_;
}

int CompletionWait::GetWaiterCount()
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return waiters_;
}

int CompletionWait::StateHeld() const
{
    return state_;
}

void CompletionWait::Begin()
{
    state_ = Recognizing;
    // A failed or aborted completion of an earlier recognition does not fail this one.
    error_.clear();
}

void CompletionWait::StartCompleting()
{
    state_ = Completing;
}

void CompletionWait::Cancel()
{
    state_ = Idle;
}

bool CompletionWait::Wait(double seconds, std::string& error)
{
    ++waiters_;
    try {
        if (seconds == 0.0) {
            while (state_ == Completing) {
                condition_.wait(mutex_);
            }
        } else {
            const Clock::time_point deadline = Deadline(seconds);
            while (state_ == Completing) {
                // A completion that came with the deadline still counts as completed.
                if (condition_.wait_until(mutex_, deadline) == boost::cv_status::timeout && state_ == Completing) {
                    Leave();
                    return false;
                }
            }
        }
        error = error_;
    } catch (...) {
        Leave();
        throw;
    }
    Leave();
    return true;
}

void CompletionWait::Leave()
{
    // The last waiter out ends the completed state itself: a Begin right after the wait has
    // returned must not meet Completed while Finish's thread waits for the lock.
    if (--waiters_ == 0 && state_ == Completed) {
        state_ = Idle;
    }
    condition_.notify_all();
}

void CompletionWait::Finish(const std::string& error)
{
    error_ = error;
    state_ = Completed;
    condition_.notify_all();
    // A later recognition may have begun once the last waiter left: its state stays.
    while (state_ == Completed && waiters_ != 0) {
        condition_.wait(mutex_);
    }
    if (state_ == Completed) {
        state_ = Idle;
    }
}

} // namespace Client
} // namespace Orvane
