#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/UniqueFd.h"

namespace Orvane {
namespace Test {

// A child process whose standard input and output are pipes to this object; its standard
// error is shared with the test. The destructor closes its input, gives it a moment to
// end, then kills it: no child outlives its test.
class ChildProcess {
public:
    // Starts argv[0] (a path, not searched) with the other elements as arguments.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }

    // Writes `line` and a line end to its input.
    void WriteLine(const std::string& line);
    // Closes its input, so that a child reading it sees the end.
    void CloseInput();
    // The next line of its output, without the line end; throws when none comes in time
    // or the output ends.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Everything it writes until its output ends; throws when that takes too long.
    std::string ReadToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // True until it has ended (and been reaped).
    bool IsRunning();
    // Waits for its end and returns its exit status (-1 after a signal); throws on time-out.
    int Wait(std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL if it has not ended within `grace`.
    void Stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

    // Runs a command to its end and returns its output; throws when it fails or takes
    // longer than `timeout`.
    static std::string Run(const std::vector<std::string>& argv,
                           std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    pid_t pid_;
    int status_;
    UniqueFd input_;
    UniqueFd output_;
    std::string pending_;
};

} // namespace Test
} // namespace Orvane
