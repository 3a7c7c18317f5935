#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <chrono>

#include "Utility/OwnedThread.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::WaitFor;

std::atomic<bool> holdMaker{false};
std::atomic<bool> looked{false};

} // namespace

// Every thread of this test program is made here. Once asked (holdMaker), the maker waits
// after making the thread until the thread has looked at its own handle, for at most
// 500 ms: as a maker that loses the processor at that moment on a loaded machine.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const Create make = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    const int result = make(thread, attributes, start, argument);
    if (result == 0 && holdMaker.exchange(false)) {
        WaitFor([] { return looked.load(); }, std::chrono::milliseconds(500));
    }
    return result;
}

namespace {

// The thread is held from its first instruction: a stop that its early end sets off on
// another thread finds the handle and joins it, rather than finding none and leaving a
// finished thread unjoined once the handle is stored.
TEST(OwnedThreadTest, ThreadIsHeldFromItsFirstInstruction)
{
    Orvane::Utility::OwnedThread owned;
    std::atomic<bool> held{false};
    holdMaker = true;
    owned.Start([&] {
        held = owned.IsCurrent();
        looked = true;
    });
    // Joined only once the thread has looked, or the join would take the handle first.
    ASSERT_TRUE(WaitFor([] { return looked.load(); }));
    EXPECT_TRUE(owned.Join(false));
    EXPECT_TRUE(held);
}

} // namespace
