#pragma once

#include <string>

#include <boost/noncopyable.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/recursive_mutex.hpp>

namespace Orvane {
namespace Client {

// A recognizer's state, the threads waiting for the end of its completion, and the error
// that ended it, all under one recursive lock with one condition.
//
// Every call below except GetState and GetWaiterCount needs the lock held by the caller,
// and held exactly once when the call may sleep (Wait, Finish): the condition releases
// one level of the lock, so a second level would keep the other side out for good.
// The calls do not check their starting state; the recognizer does, with its own errors.
//
//   call             | from         | to           | also
//   -----------------+--------------+--------------+-------------------------------------------
//   Begin            | Idle         | Recognizing  | error cleared
//   StartCompleting  | Recognizing  | Completing   |
//   Cancel           | Recognizing  | Idle         |
//   Wait             | Completing   | (unchanged)  | a waiter while the state is Completing;
//                    |              |              | then false at the deadline, or true with
//                    |              |              | the error; the last waiter to leave in
//                    |              |              | Completed sets Idle
//   Finish(error)    | Completing   | Completed    | error kept, waiters woken; sleeps until
//                    |              | then Idle    | they have left, unless a Begin came first
//
// Idle, Recognizing and Completing hold no error: only Finish sets it and Begin clears it.
class CompletionWait : private boost::noncopyable {
public:
    enum State { Idle = 0, Recognizing = 1, Completing = 2, Completed = 3 };

    CompletionWait();

    // Held by the recognizer across its state checks and the remote calls that change state.
    boost::recursive_mutex& Mutex();

    int GetState();
    int GetWaiterCount();
    // With the lock held.
    int StateHeld() const;

    void Begin();
    void StartCompleting();
    void Cancel();
    // Waits while the state is Completing: `seconds` 0 without end, NaN or negative not
    // at all, a huge one capped. False when the deadline came first (the state is still
    // Completing); otherwise true, with the completion's error in `error` (empty without).
    bool Wait(double seconds, std::string& error);
    void Finish(const std::string& error);

private:
    // A waiter's way out, on every path of Wait.
    void Leave();

    boost::recursive_mutex mutex_;
    boost::condition_variable_any condition_;
    int state_;
    int waiters_;
    std::string error_;
};

} // namespace Client
} // namespace Orvane
