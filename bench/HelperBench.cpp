// Benchmarks of the client helper: the encoder filter's cost per second of audio beside a
// bare opus_encode loop over the same audio with the same settings.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>
#include <opus/opus.h>

#include "Helper/DataBuffer.h"
#include "Helper/EncoderFilter.h"
#include "Helper/VoiceFilterListener.h"

namespace {

const int FrameSamples = 320;
const int FramesPerSecond = 50;

// One second of voiced-speech-like audio: a 140-Hz harmonic series under a syllable-rate
// envelope, with a little noise.
const std::vector<int16_t>& OneSecond()
{
    static const std::vector<int16_t> samples = [] {
        std::vector<int16_t> out(FrameSamples * FramesPerSecond);
        std::mt19937 noise(1);
        std::normal_distribution<double> gaussian(0.0, 200.0);
        const double pi = 3.14159265358979323846;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) / 16000.0;
            double value = 0.0;
            for (int harmonic = 1; harmonic <= 20; ++harmonic) {
                value += std::sin(2.0 * pi * 140.0 * harmonic * t) / harmonic;
            }
            const double envelope = 0.5 + 0.5 * std::sin(2.0 * pi * 4.0 * t);
            out[i] = static_cast<int16_t>(4000.0 * envelope * value + gaussian(noise));
        }
        return out;
    }();
    return samples;
}

OpusEncoder* MakeEncoder()
{
    int error = 0;
    OpusEncoder* encoder = opus_encoder_create(16000, 1, OPUS_APPLICATION_AUDIO, &error);
    opus_encoder_ctl(encoder, OPUS_SET_BITRATE(24000));
    opus_encoder_ctl(encoder, OPUS_SET_BANDWIDTH(OPUS_BANDWIDTH_WIDEBAND));
    opus_encoder_ctl(encoder, OPUS_SET_VBR(1));
    opus_encoder_ctl(encoder, OPUS_SET_LSB_DEPTH(16));
    return encoder;
}

// One iteration encodes one second of audio.
void BareOpusEncode(benchmark::State& state)
{
    const std::vector<int16_t>& audio = OneSecond();
    OpusEncoder* encoder = MakeEncoder();
    unsigned char packet[3832];
    for (auto _ : state) {
        for (int frame = 0; frame < FramesPerSecond; ++frame) {
            benchmark::DoNotOptimize(
                opus_encode(encoder, audio.data() + frame * FrameSamples, FrameSamples, packet, sizeof(packet)));
        }
    }
    opus_encoder_destroy(encoder);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BareOpusEncode)->Unit(benchmark::kMicrosecond);

class Sink : public Orvane::Helper::VoiceFilterListener {
public:
    void OnFilterOutput(boost::shared_ptr<Orvane::Helper::DataBuffer> block) override { bytes += block->GetSize(); }
    uint64_t bytes = 0;
};

// One iteration passes one second of 640-byte blocks through a started encoder filter.
void EncoderFilterPerSecond(benchmark::State& state)
{
    const std::vector<int16_t>& audio = OneSecond();
    std::vector<boost::shared_ptr<Orvane::Helper::DataBuffer>> blocks;
    for (int frame = 0; frame < FramesPerSecond; ++frame) {
        auto block = boost::make_shared<Orvane::Helper::DataBuffer>(FrameSamples * 2);
        std::memcpy(block->GetData(), audio.data() + frame * FrameSamples, FrameSamples * 2);
        blocks.push_back(block);
    }
    Orvane::Helper::EncoderFilter filter("opus", 16000.0);
    Sink sink;
    filter.SetOutputListener(&sink);
    filter.Start();
    for (auto _ : state) {
        for (const auto& block : blocks) {
            filter.Add(block);
        }
    }
    benchmark::DoNotOptimize(sink.bytes);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(EncoderFilterPerSecond)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
