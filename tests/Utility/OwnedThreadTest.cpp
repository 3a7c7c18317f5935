#include <gtest/gtest.h>

#include <atomic>

#include "Utility/OwnedThread.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::WaitFor;

// The thread is held from its first instruction: a stop that its early end sets off on
// another thread finds the handle and joins it, rather than finding none and leaving a
// finished thread unjoined once the handle is stored.
TEST(OwnedThreadTest, ThreadIsHeldFromItsFirstInstruction)
{
    for (int round = 0; round < 200; ++round) {
        Orvane::Utility::OwnedThread owned;
        std::atomic<bool> held{false};
        std::atomic<bool> looked{false};
        owned.Start([&] {
            held = owned.IsCurrent();
            looked = true;
        });
        // Joined only once the thread has looked, or the join would take the handle first.
        ASSERT_TRUE(WaitFor([&] { return looked.load(); }));
        EXPECT_TRUE(owned.Join(false));
        ASSERT_TRUE(held) << "round " << round;
    }
}

} // namespace
