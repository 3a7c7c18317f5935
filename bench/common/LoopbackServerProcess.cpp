#include "common/LoopbackServerProcess.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace Orvane {
namespace Bench {
namespace {

std::vector<std::string> CommandLine(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv = {LOOPBACK_SERVER_PATH, "--quiet"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

} // namespace

LoopbackServerProcess::LoopbackServerProcess(const std::vector<std::string>& arguments,
                                             std::chrono::milliseconds startTime)
    : child_(CommandLine(arguments))
{
    const std::string line = child_.ReadLine(startTime);
    const std::string prefix = "listening 127.0.0.1:";
    if (line.compare(0, prefix.size(), prefix) != 0) {
        throw std::runtime_error("unexpected first line of the loopback server: " + line);
    }
    port_ = std::stoi(line.substr(prefix.size()));
}

LoopbackServerProcess::~LoopbackServerProcess()
{
    try {
        child_.Stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "loopback server: %s\n", e.what());
    }
}

} // namespace Bench
} // namespace Orvane
