// Small replies pipelined in one read, delivered through the HTTP controller. They arrive
// as one WebSocket message before the controller starts and wait in the connection, so the
// whole read reaches the receive step in one call, on the WebSocket thread, as soon as the
// controller thread has handed the received function over.
// Timed from Start until the listener has had the last reply.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include "Utility/Http/Controller.h"
#include "Utility/Http/ResponseListener.h"
#include "Utility/Tcp/Connector.h"
#include "support/ConnectionRigs.h"
#include "support/HttpWire.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Utility::Http::Controller;

// Wakes the benchmark when the expected number of replies has arrived.
class CountdownListener : public Orvane::Utility::Http::ResponseListener {
public:
    explicit CountdownListener(std::size_t expected) : left_(expected) {}

    void OnReceived(const Orvane::Utility::Http::ResponseInformation&) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--left_ == 0) {
            done_.notify_all();
        }
    }
    void OnError(int, const boost::system::error_code&) override { Fail(); }
    void OnClosed() override { Fail(); }

    bool Wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return done_.wait_for(lock, std::chrono::seconds(60), [this] { return left_ == 0 || failed_; }) && !failed_;
    }

private:
    void Fail()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        done_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable done_;
    std::size_t left_;
    bool failed_ = false;
};

// One test authority and TLS WebSocket server for every run of both variants: the trust is
// one SSL_CERT_FILE for the process, so a second authority would leave the first one's
// server untrusted.
struct Peers {
    Peers() : peer(server.Peer(Orvane::Test::WsPeer::Mode::Silent)) {}

    Orvane::Test::TrustedServer server;
    Orvane::Test::WsPeer peer;
};

Peers& SharedPeers()
{
    static Peers peers;
    return peers;
}

// With `timers`, the receive, send and response-wait timers are armed as a session's
// are, so the receive step re-arms the receive timer for every message followed by more.
template <bool timers>
void BM_ControllerPipelinedReplies(benchmark::State& state)
{
    Peers& peers = SharedPeers();
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    const std::string wire = Orvane::Test::PipelinedReplies(count);
    const unsigned int receiveBufferSize = 32768;
    if (wire.size() <= receiveBufferSize) {
        state.SkipWithError("the read must outgrow the receive buffer to show its arrival");
        return;
    }
    for (auto _ : state) {
        Orvane::Utility::Tcp::Connector connector;
        connector.wsUri = peers.peer.Uri();
        connector.receiveBufferSize = receiveBufferSize;
        boost::shared_ptr<Orvane::Utility::Tcp::WsConnection> connection;
        try {
            connection = connector.WsConnect(10000);
        } catch (const std::exception& e) {
            // Reported, not thrown: an exception out of a run aborts every later one.
            state.SkipWithError(e.what());
            return;
        }
        peers.peer.SendBinary(wire);
        if (!Orvane::Test::WaitFor([&] { return connection->IsReceiveBufferExtended(); })) {
            state.SkipWithError("the replies did not arrive");
            return;
        }
        const int timer = timers ? 10000 : -1;
        const auto controller = Controller::CreateInstance(connection, "bench", timer, 10000, timer);
        const auto listener = boost::make_shared<CountdownListener>(count);
        controller->GetRequester()->SetListener(listener);

        const auto start = std::chrono::steady_clock::now();
        controller->Start();
        const bool delivered = listener->Wait();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        controller->Stop();
        if (!delivered) {
            state.SkipWithError("the replies were not all delivered");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * wire.size());
    state.SetComplexityN(state.range(0));
}

// The reply counts and timing of both variants.
void PipelinedArguments(benchmark::internal::Benchmark* bench)
{
    bench->Arg(1000)
        ->Arg(10000)
        ->Arg(40000)
        ->Iterations(10)
        ->UseManualTime()
        ->Complexity(benchmark::oN)
        ->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK_TEMPLATE(BM_ControllerPipelinedReplies, true)->Apply(PipelinedArguments);
BENCHMARK_TEMPLATE(BM_ControllerPipelinedReplies, false)->Apply(PipelinedArguments);
