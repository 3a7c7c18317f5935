#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace Orvane {
namespace Bench {

// The standalone loopback recognition server (run with --quiet) as a child process on a
// free port of 127.0.0.1, so that its work is not counted in the benchmark's process;
// stopped by its pid.
class LoopbackServerProcess {
public:
    // `arguments` follow --quiet. The server may make a large result before it listens:
    // `startTime` bounds the wait for its first line.
    explicit LoopbackServerProcess(const std::vector<std::string>& arguments = {},
                                   std::chrono::milliseconds startTime = std::chrono::seconds(10));
    ~LoopbackServerProcess();
    LoopbackServerProcess(const LoopbackServerProcess&) = delete;
    LoopbackServerProcess& operator=(const LoopbackServerProcess&) = delete;

    int Port() const { return port_; }

private:
    Test::ChildProcess child_;
    int port_ = 0;
};

} // namespace Bench
} // namespace Orvane
