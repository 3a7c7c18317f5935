#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/PollWait.h"

extern char** environ;

namespace Orvane {
namespace Test {

namespace {

std::string Describe(const std::vector<std::string>& argv)
{
    std::string text;
    for (const std::string& argument : argv) {
        text += (text.empty() ? "" : " ") + argument;
    }
    return text;
}

// Appends what `fd` gives next to `text`, waiting until `deadline` (`late` raised then);
// false once the output has ended.
bool ReadMore(int fd, std::string& text, std::chrono::steady_clock::time_point deadline, const char* late)
{
    for (;;) {
        if (!AwaitFd(fd, POLLIN, deadline)) {
            throw std::runtime_error(late);
        }
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : pid_(-1), status_(0)
{
    // A child that ends early must not kill the test through a write to its input.
    ::signal(SIGPIPE, SIG_IGN);
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    UniqueFd childInput(toChild[0]);
    input_.Reset(toChild[1]);
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    output_.Reset(fromChild[0]);
    UniqueFd childOutput(fromChild[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childInput.Get(), 0);
    posix_spawn_file_actions_adddup2(&actions, childOutput.Get(), 1);
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const int error = ::posix_spawn(&pid_, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + Describe(argv) + ": " + std::strerror(error));
    }
}

ChildProcess::~ChildProcess()
{
    try {
        CloseInput();
        if (IsRunning()) {
            try {
                Wait(std::chrono::seconds(2));
            } catch (const std::exception&) {
                Stop();
            }
        }
    } catch (...) {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
}

void ChildProcess::WriteLine(const std::string& line)
{
    const std::string text = line + "\n";
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(input_.Get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error("cannot write to the child process");
        }
        written += static_cast<std::size_t>(n);
    }
}

void ChildProcess::CloseInput() { input_.Reset(); }

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        if (!ReadMore(output_.Get(), pending_, deadline, "no line from the child process in time")) {
            throw std::runtime_error("the child process's output ended");
        }
    }
}

std::string ChildProcess::ReadToEnd(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string text;
    text.swap(pending_);
    while (ReadMore(output_.Get(), text, deadline, "the child process's output did not end in time")) {
    }
    return text;
}

bool ChildProcess::IsRunning()
{
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return false;
    }
    return true;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (IsRunning()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            throw std::runtime_error("the child process did not end in time");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return status_;
}

void ChildProcess::Stop(std::chrono::milliseconds grace)
{
    if (!IsRunning()) {
        return;
    }
    ::kill(pid_, SIGTERM);
    try {
        Wait(grace);
    } catch (const std::exception&) {
        ::kill(pid_, SIGKILL);
        Wait(std::chrono::seconds(10));
    }
}

std::string ChildProcess::Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    ChildProcess child(argv);
    child.CloseInput();
    const std::string output = child.ReadToEnd(timeout);
    const int status = child.Wait(timeout);
    if (status != 0) {
        throw std::runtime_error(Describe(argv) + " failed with status " + std::to_string(status) + ": " + output);
    }
    return output;
}

} // namespace Test
} // namespace Orvane
