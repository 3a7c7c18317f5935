// The heap that one large result notification costs the recognition client, from its first
// byte on the socket to the grammar listener's call: the peak heap growth over the message
// size ("peak_per_byte"). The peer runs in this process; its copy of the message is made
// before the measure starts and kept to its end. And whether a large message arriving
// steadily over a slow link outlasts the receive timer.
//   build/bench/ClientMessageBench --benchmark_filter=LargeNotification/60
//   build/bench/ClientMessageBench --benchmark_filter=SteadyLargeNotification

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <mutex>
#include <string>
#include <utility>

#include <benchmark/benchmark.h>

#include "Orvane/Session.h"
#include "support/HeapInUse.h"
#include "support/HostilePeer.h"
#include "support/Owned.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::HeapPeak;
using Orvane::Test::HostilePeer;
using Orvane::Test::Owned;

class CountingListener : public Orvane::GrammarListener {
public:
    void StartPoint(double) override {}
    void EndPoint(double, const char*, Orvane::Result::Nbest*) override { ++count; }
    void TempPoint(double, const char*, Orvane::Result::Nbest*) override {}
    std::atomic<int> count{0};
};

// Keeps the first transport failure's message.
class FailureListener : public Orvane::SessionListener {
public:
    void Error(Orvane::Exception* error) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failed) {
            message_ = error->GetErrorMessage();
            failed = true;
        }
    }
    std::string Message()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return message_;
    }
    std::atomic<bool> failed{false};

private:
    std::mutex mutex_;
    std::string message_;
};

// One notification of `size` bytes after AsyncComplete.
HostilePeer::Options OneNotification(std::size_t size)
{
    HostilePeer::Options options;
    options.count = 1;
    options.text.assign(size, 'x');
    return options;
}

// A session to `peer` with `parameters` (and `sessionListener`, if any) whose recognizer
// is connected and recognizing, with the grammar's end points counted.
struct Recognition {
    Recognition(const HostilePeer& peer, std::initializer_list<std::pair<const char*, const char*>> parameters,
                Orvane::SessionListener* sessionListener = nullptr)
        : session(CreateSession2("UTF-8"))
    {
        for (const auto& parameter : parameters) {
            session->SetParameter(parameter.first, parameter.second);
        }
        session->InsertServerInformation(-1, "127.0.0.1", std::to_string(peer.Port()).c_str(), "TessivalBench/1.0",
                                         nullptr, nullptr);
        if (sessionListener != nullptr) {
            session->SetListener(sessionListener);
        }
        recognizer.reset(session->Connect(nullptr));
        grammar.reset(recognizer->AttachGrammar(""));
        grammar->SetListener(&listener);
        recognizer->Recognize();
    }

    // Releases the grammar and the recognizer.
    void End()
    {
        grammar.reset();
        recognizer.reset();
    }

    CountingListener listener;
    Owned<Orvane::Session> session;
    Owned<Orvane::Recognizer> recognizer;
    Owned<Orvane::Grammar> grammar;
};

void LargeNotification(benchmark::State& state)
{
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * 1024 * 1024;
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HostilePeer peer(OneNotification(size));
        Recognition recognition(peer, {{"QUOR:ResponseTimer", "60000"}, {"QUOR:ReceiveTimer", "60000"}});
        state.ResumeTiming();

        HeapPeak heap;
        recognition.recognizer->AsyncComplete();
        if (!Orvane::Test::WaitFor([&] { return recognition.listener.count == 1; }, std::chrono::seconds(120))) {
            state.SkipWithError("the notification did not arrive");
            break;
        }
        heap.Stop();
        peak = static_cast<double>(heap.Growth());

        state.PauseTiming();
        recognition.End();
        state.ResumeTiming();
    }
    state.counters["message_MB"] = static_cast<double>(size) / (1024 * 1024);
    state.counters["peak_MB"] = peak / (1024 * 1024);
    state.counters["peak_per_byte"] = peak / static_cast<double>(size);
}

BENCHMARK(LargeNotification)->Arg(1)->Arg(16)->Arg(60)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 60 MB notification that the server sends steadily, 512 KiB every 70 ms (about 8.4 s
// in all), against 3 s timers: the time it took to reach the listener ("arrived" 1), or
// the error that ended the recognition instead ("arrived" 0).
void SteadyLargeNotification(benchmark::State& state)
{
    const std::size_t size = 60 * 1024 * 1024;
    bool arrived = false;
    for (auto _ : state) {
        state.PauseTiming();
        HostilePeer::Options options = OneNotification(size);
        options.trickle = options.floodAfter;
        options.trickleBytes = 512 * 1024;
        options.trickleInterval = std::chrono::milliseconds(70);
        options.answerDuringFlood = true;
        HostilePeer peer(options);
        FailureListener failure;
        Recognition recognition(
            peer, {{"QUOR:ReceiveTimer", "3000"}, {"QUOR:SendTimer", "3000"}, {"QUOR:ResponseTimer", "3000"}}, &failure);
        state.ResumeTiming();

        recognition.recognizer->AsyncComplete();
        Orvane::Test::WaitFor([&] { return recognition.listener.count == 1 || failure.failed; },
                              std::chrono::seconds(120));
        arrived = recognition.listener.count == 1;
        if (!arrived) {
            state.SetLabel(failure.Message());
        }

        state.PauseTiming();
        recognition.End();
        state.ResumeTiming();
    }
    state.counters["arrived"] = arrived ? 1 : 0;
}

BENCHMARK(SteadyLargeNotification)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
