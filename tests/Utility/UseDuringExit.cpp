// A thread that keeps using the logger, the text converter and the error category while
// the process exits. The check runs after every object that exit destroys is gone (the
// C++ runtime's exit handlers run before the executable's own destructor functions): an
// object of these kinds that exit destroyed fails a round, or crashes the process. Exit
// status 0 when the thread went on working, 1 otherwise.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <boost/system/error_code.hpp>

#include "Orvane/Utility/TextEncoding.h"
#include "Utility/ErrorCategory.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace {

std::atomic<long> g_rounds{0};

void Fail(const char* what)
{
    std::fprintf(stderr, "UseDuringExit: %s\n", what);
    std::fflush(stderr);
    _exit(1);
}

// One use of each; false when a result is wrong.
bool Round(long round)
{
    std::string sjis;
    if (Orvane::Utility::Utf8ToSjis("A\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", sjis) != 0 ||
        sjis != "A\x93\xFA\x96\x7B\x8C\xEA") {
        return false;
    }
    if (Orvane::Utility::SjisToUtf8(sjis.c_str()) != "A\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E") {
        return false;
    }
    const Orvane::Utility::ErrorCategory& category = Orvane::Utility::ErrorCategory::GetInstance();
    const boost::system::error_code code(Orvane::Utility::ErrorCategory::ThreadFailed, category);
    if (std::strcmp(code.category().name(), "Pellum") != 0 || code.message() != "Pellum error") {
        return false;
    }
    // Level 4 passes the threshold and reaches the logger's queue lock.
    ORVANE_LOG(4, "round %1% at exit", round);
    ORVANE_LOG_TRACE("below the threshold");
    return true;
}

void Work()
{
    for (long round = 0;; ++round) {
        if (!Round(round)) {
            Fail("a use during exit went wrong");
        }
        g_rounds = round + 1;
    }
}

// Waits up to 10 s for the thread to finish `more` rounds from now.
bool Advances(long more)
{
    const long target = g_rounds + more;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (g_rounds < target) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// Runs after the exit handlers, that is after every static object has been destroyed.
// The verdict ends the process here, before the shared libraries are finalised under the
// still running thread.
__attribute__((destructor)) void AfterExitHandlers()
{
    if (g_rounds == 0) {
        return;  // main did not get as far as starting the thread
    }
    if (!Advances(100)) {
        Fail("the thread stopped working during exit");
    }
    std::fflush(stdout);
    _exit(0);
}

} // namespace

int main()
{
    std::thread(Work).detach();
    if (!Advances(1)) {
        Fail("the thread did not start working");
    }
    return 0;
}
