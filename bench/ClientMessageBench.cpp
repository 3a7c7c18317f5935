// The heap that one large result notification costs the recognition client, from its first
// byte on the socket to the grammar listener's call: the peak heap growth over the message
// size ("peak_per_byte"). The peer runs in this process; its copy of the message is made
// before the measure starts and kept to its end.
//   build/bench/ClientMessageBench --benchmark_filter=LargeNotification/60

#include <atomic>
#include <chrono>
#include <string>

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

void LargeNotification(benchmark::State& state)
{
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * 1024 * 1024;
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HostilePeer::Options options;
        options.count = 1;
        options.text.assign(size, 'x');
        HostilePeer peer(options);
        Owned<Orvane::Session> session(CreateSession2("UTF-8"));
        session->SetParameter("QUOR:ResponseTimer", "60000");
        session->SetParameter("QUOR:ReceiveTimer", "60000");
        session->InsertServerInformation(-1, "127.0.0.1", std::to_string(peer.Port()).c_str(), "TessivalBench/1.0",
                                         nullptr, nullptr);
        Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
        Owned<Orvane::Grammar> grammar(recognizer->AttachGrammar(""));
        CountingListener listener;
        grammar->SetListener(&listener);
        recognizer->Recognize();
        state.ResumeTiming();

        HeapPeak heap;
        recognizer->AsyncComplete();
        if (!Orvane::Test::WaitFor([&] { return listener.count == 1; }, std::chrono::seconds(120))) {
            state.SkipWithError("the notification did not arrive");
            break;
        }
        heap.Stop();
        peak = static_cast<double>(heap.Growth());

        state.PauseTiming();
        grammar.reset();
        recognizer.reset();
        state.ResumeTiming();
    }
    state.counters["message_MB"] = static_cast<double>(size) / (1024 * 1024);
    state.counters["peak_MB"] = peak / (1024 * 1024);
    state.counters["peak_per_byte"] = peak / static_cast<double>(size);
}

BENCHMARK(LargeNotification)->Arg(1)->Arg(16)->Arg(60)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
