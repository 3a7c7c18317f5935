#include <gtest/gtest.h>

#include <future>
#include <limits>
#include <string>
#include <vector>

#include "Client/CompletionWait.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Client::CompletionWait;
using Orvane::Test::WaitFor;
typedef boost::recursive_mutex::scoped_lock Lock;

enum Op { Begin, StartCompleting, Cancel, Finish, FinishWithError, WaitExpired, WaitNaN };

struct Step {
    Op op;
    int stateAfter;
    const char* waitResult; // a wait's outcome: "timeout", or the error it returned
};

// Runs one step with the lock held once, as the recognizer does.
std::string Apply(CompletionWait& wait, Op op)
{
    Lock lock(wait.Mutex());
    std::string error;
    switch (op) {
    case Begin: wait.Begin(); break;
    case StartCompleting: wait.StartCompleting(); break;
    case Cancel: wait.Cancel(); break;
    case Finish: wait.Finish(""); break;
    case FinishWithError: wait.Finish("failed"); break;
    case WaitExpired: return wait.Wait(-1.0, error) ? error : "timeout";
    case WaitNaN: return wait.Wait(std::numeric_limits<double>::quiet_NaN(), error) ? error : "timeout";
    }
    return std::string();
}

TEST(CompletionWaitTest, TransitionTable)
{
    const int I = CompletionWait::Idle, R = CompletionWait::Recognizing, C = CompletionWait::Completing;
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"a recognition begins and is cancelled", {{Begin, R, nullptr}, {Cancel, I, nullptr}}},
        {"a completion without waiters ends idle",
         {{Begin, R, nullptr}, {StartCompleting, C, nullptr}, {Finish, I, nullptr}, {WaitExpired, I, ""}}},
        {"a wait past its deadline leaves the completion running",
         {{Begin, R, nullptr}, {StartCompleting, C, nullptr}, {WaitExpired, C, "timeout"}, {WaitNaN, C, "timeout"}}},
        {"the error of a completion is kept until the next recognition begins",
         {{Begin, R, nullptr},
          {StartCompleting, C, nullptr},
          {FinishWithError, I, nullptr},
          {WaitExpired, I, "failed"},
          {Begin, R, nullptr},
          {WaitExpired, R, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CompletionWait wait;
        ASSERT_EQ(I, wait.GetState());
        for (size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(i);
            const std::string result = Apply(wait, c.steps[i].op);
            EXPECT_EQ(c.steps[i].stateAfter, wait.GetState());
            EXPECT_EQ(0, wait.GetWaiterCount());
            if (c.steps[i].waitResult != nullptr) {
                EXPECT_EQ(c.steps[i].waitResult, result);
            }
        }
    }
}

// Waits on its own thread with the lock held once; the result is the wait's outcome.
std::future<std::string> WaitOnAnotherThread(CompletionWait& wait, double seconds)
{
    return std::async(std::launch::async, [&wait, seconds] {
        Lock lock(wait.Mutex());
        std::string error;
        return wait.Wait(seconds, error) ? error : std::string("timeout");
    });
}

TEST(CompletionWaitTest, FinishWakesEveryWaiterAndReturnsOnceTheyHaveLeft)
{
    CompletionWait wait;
    Apply(wait, Begin);
    Apply(wait, StartCompleting);
    std::future<std::string> endless = WaitOnAnotherThread(wait, 0.0);
    std::future<std::string> timed = WaitOnAnotherThread(wait, 3600.0);
    ASSERT_TRUE(WaitFor([&] { return wait.GetWaiterCount() == 2; }));

    Apply(wait, FinishWithError);
    EXPECT_EQ(0, wait.GetWaiterCount());
    EXPECT_EQ(CompletionWait::Idle, wait.GetState());
    EXPECT_EQ("failed", endless.get());
    EXPECT_EQ("failed", timed.get());
}

// Guards the last waiter's own move to idle: without it a recognition begun right after
// the wait returned would meet the completed state while Finish waits for the lock.
TEST(CompletionWaitTest, ABeginRightAfterTheWaitFindsIdleAndFinishKeepsIt)
{
    CompletionWait wait;
    Apply(wait, Begin);
    Apply(wait, StartCompleting);
    std::future<int> waiter = std::async(std::launch::async, [&wait] {
        Lock lock(wait.Mutex());
        std::string error;
        wait.Wait(0.0, error);
        const int seen = wait.StateHeld();
        wait.Begin();
        return seen;
    });
    ASSERT_TRUE(WaitFor([&] { return wait.GetWaiterCount() == 1; }));

    Apply(wait, Finish);
    EXPECT_EQ(CompletionWait::Idle, waiter.get());
    EXPECT_EQ(CompletionWait::Recognizing, wait.GetState());
}

} // namespace
