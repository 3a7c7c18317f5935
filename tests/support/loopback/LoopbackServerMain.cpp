// loopback-recognition-server [--port N] [--word LABEL]... [--quiet]
// Serves the recognition protocol on 127.0.0.1 with the default replies; after each
// "Recognizer::AsyncComplete" it sends an end point with a one-sentence result made of the
// given words, then "Completed". Prints "listening 127.0.0.1:PORT", then one line per
// message received (none with --quiet, for long runs), until SIGINT or SIGTERM.
#include "support/loopback/LoopbackServer.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>

using namespace Orvane::Test::Loopback;

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: loopback-recognition-server [--port N] [--word LABEL]... [--quiet]\n");
    return 2;
}

std::string Describe(const Received& message)
{
    std::string line = std::string(ToString(message.kind)) + " on connection " + std::to_string(message.connection);
    if (message.kind == MessageKind::Call) {
        line += ": " + message.call.method;
    } else if (message.kind == MessageKind::Audio) {
        line += ": " + std::to_string(message.http.body.size()) + " bytes";
    } else if (message.kind == MessageKind::Acknowledgement) {
        line += ": Success " + message.success;
    }
    for (const std::string& problem : message.problems) {
        line += "\n  problem: " + problem;
    }
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    long port = 0;
    ResultSentence sentence{0.9, {}};
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) {
                return Usage();
            }
        } else if (std::strcmp(argv[i], "--word") == 0 && i + 1 < argc) {
            const double start = static_cast<double>(sentence.words.size()) * 100.0;
            sentence.words.push_back(ResultWord{argv[++i], "", start, start + 100.0, 0.9});
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            quiet = true;
        } else {
            return Usage();
        }
    }
    if (sentence.words.empty()) {
        sentence.words.push_back(ResultWord{"こんにちは", "k o N n i ch i w a", 0.0, 100.0, 0.9});
    }

    // Signals go to the waiting thread only; every other thread inherits the block.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::atomic<bool> stop{false};
    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        stop = true;
    });

    LoopbackServer server;
    server.SetReply("Recognizer::AsyncComplete",
                    Reply::Ok().Then(Notice::EndPoint("", 1.0, {sentence})).Then(Notice::Completed()));
    server.Start(static_cast<std::uint16_t>(port));
    std::printf("listening %s\n", server.Address().c_str());
    std::fflush(stdout);

    // Printing copies the whole recording each round, which grows with the run: a long run
    // only waits for the signal.
    if (quiet) {
        waiter.join();
        server.Stop();
        return 0;
    }
    std::size_t printed = 0;
    while (!stop) {
        server.WaitUntil([&](const Recording& seen) { return seen.messages.size() > printed; },
                         std::chrono::milliseconds(200));
        const Recording seen = server.Snapshot();
        for (; printed < seen.messages.size(); ++printed) {
            std::printf("%s\n", Describe(seen.messages[printed]).c_str());
        }
        std::fflush(stdout);
    }
    server.Stop();
    waiter.join();
    return 0;
}
