// Throughput of the HTTP receive step: parse, deliver to the requester's listener, reset,
// and drop the consumed bytes from the receive buffer.

#include <string>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include "Utility/Http/Parser.h"
#include "Utility/Http/Requester.h"
#include "Utility/Http/ResponseListener.h"
#include "Utility/Tcp/Buffer.h"
#include "support/HttpWire.h"

namespace {

using Orvane::Test::Bytes;
using Orvane::Utility::Http::Parser;
using Orvane::Utility::Http::Requester;
using Orvane::Utility::Http::ResponseInformation;
using Orvane::Utility::Tcp::Buffer;

class CountingListener : public Orvane::Utility::Http::ResponseListener {
public:
    void OnReceived(const ResponseInformation& response) override
    {
        received += response.bodyParts.size() + 1;
    }
    void OnError(int, const boost::system::error_code&) override {}
    void OnClosed() override {}

    std::size_t received = 0;
};

// A reply of 8 KiB: one "return" part holding an XML result.
std::string MultipartReply8K()
{
    std::string xml = "<Response><Result>";
    while (xml.size() < 8192 - 400) {
        xml += "<Word label=\"認識\" phoneme=\"n i N sh i k i\" start=\"120\" end=\"480\" score=\"0.93\"/>";
    }
    xml += "</Result></Response>";
    return Orvane::Test::MultipartMessage("HTTP/1.0 200 OK", "---20141209171503123+1234567890",
                                          {Orvane::Test::MakeWirePart("return", xml)});
}

// An audio post of 240 ms: 16-bit samples at 16000 Hz (7680 bytes), or Opus at 24 kbit/s (720 bytes).
std::string AudioPost(std::size_t bodyBytes)
{
    std::string body(bodyBytes, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 131);
    }
    return Orvane::Test::WireMessage("POST / HTTP/1.0",
                                     "Content-Type: audiodata\r\nUser-Agent: Tessival/1.0\r\n", body);
}

// One message per iteration, delivered as the controller does it.
void ParseOne(benchmark::State& state, const std::string& wire)
{
    Parser parser;
    const auto requester = Requester::CreateInstance("bench");
    const auto listener = boost::make_shared<CountingListener>();
    requester->SetListener(listener);
    for (auto _ : state) {
        const unsigned int consumed = parser.ParseMessages(Bytes(wire), wire.size(), [&](unsigned int) {
            if (parser.GetKind() == Parser::KindResponse) {
                requester->NotifyReceived(*parser.CompletedResponse());
            } else {
                benchmark::DoNotOptimize(parser.CompletedRequest()->bodyParts.front().GetPartBytes());
            }
        });
        benchmark::DoNotOptimize(consumed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * wire.size());
}

void BM_MultipartReply8K(benchmark::State& state) { ParseOne(state, MultipartReply8K()); }
void BM_AudioPost240msPcm(benchmark::State& state) { ParseOne(state, AudioPost(7680)); }
void BM_AudioPost240msOpus(benchmark::State& state) { ParseOne(state, AudioPost(720)); }

// Parses `state.range(0)` small replies arriving in one read, with `drain` delivering
// them to a requester from a fresh buffer and parser each iteration; the wire's size.
template <typename Drain>
std::size_t PipelinedReplies(benchmark::State& state, const Drain& drain)
{
    const std::string wire = Orvane::Test::PipelinedReplies(static_cast<std::size_t>(state.range(0)));
    const auto requester = Requester::CreateInstance("bench");
    const auto listener = boost::make_shared<CountingListener>();
    requester->SetListener(listener);
    for (auto _ : state) {
        state.PauseTiming();
        Buffer buffer(32768, Bytes(wire), wire.size());
        Parser parser;
        state.ResumeTiming();
        drain(buffer, parser, *requester);
        benchmark::DoNotOptimize(buffer.dataLength);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
    return wire.size();
}

// Every reply is delivered, then the consumed bytes leave the receive buffer in one trim.
void BM_PipelinedReplies(benchmark::State& state)
{
    const std::size_t bytes = PipelinedReplies(state, [](Buffer& buffer, Parser& parser, Requester& requester) {
        const unsigned int consumed = parser.ParseMessages(buffer.storage.data(), buffer.dataLength, [&](unsigned int) {
            requester.NotifyReceived(*parser.CompletedResponse());
        });
        buffer.Trim(consumed, buffer.dataLength - consumed);
    });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

// For comparison: the rest of the buffer moved to the front after every message, which
// is quadratic in the number of messages.
void BM_PipelinedRepliesTrimEach(benchmark::State& state)
{
    PipelinedReplies(state, [](Buffer& buffer, Parser& parser, Requester& requester) {
        while (buffer.dataLength != 0 && parser.Parse(buffer.storage.data(), buffer.dataLength)) {
            requester.NotifyReceived(*parser.CompletedResponse());
            const unsigned int end = parser.GetMessageEnd();
            parser.Reset();
            buffer.Trim(end, buffer.dataLength - end);
        }
    });
}

} // namespace

BENCHMARK(BM_MultipartReply8K);
BENCHMARK(BM_AudioPost240msPcm);
BENCHMARK(BM_AudioPost240msOpus);
BENCHMARK(BM_PipelinedReplies)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PipelinedRepliesTrimEach)->Arg(1000)->Arg(10000)->Arg(40000)->Complexity(benchmark::oNSquared)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
