#include <algorithm>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>

#include "Helper/DataBuffer.h"
#include "Helper/VadDetectListener.h"
#include "Helper/VadFilter.h"
#include "Helper/VoiceFilterListener.h"
#include "support/AudioFixture.h"

// The detection filter as the controller builds it (one utterance, the committed model and
// configuration), without noise reduction so that what it passes on can be found in the
// input: what it delivers and the order of its events.
namespace {

using namespace Orvane::Test;
using Orvane::Helper::DataBuffer;

class Recorder : public Orvane::Helper::VoiceFilterListener, public Orvane::Helper::VadDetectListener {
public:
    void OnFilterOutput(boost::shared_ptr<DataBuffer> block) override
    {
        const short* samples = reinterpret_cast<const short*>(block->GetData());
        output.insert(output.end(), samples, samples + block->GetSize() / 2);
        events += 'o';
    }
    void OnDetectVoiceStart() override { events += 'S'; }
    void OnDetectVoiceEnd() override { events += 'E'; }

    Samples output;
    std::string events; // o: a block passed on, S: start, E: end
};

// Feeds `audio` in 20 ms blocks until the end is reported, as the recorder does until the
// controller stops it.
Recorder Filter(const Samples& audio)
{
    Recorder recorder;
    Orvane::Helper::VadFilter filter(ConfigPath(), ModelPath(), false, 0, false);
    filter.SetOutputListener(&recorder);
    filter.SetVadFilterListener(&recorder);
    filter.OnStart();
    for (std::size_t at = 0; at < audio.size() && recorder.events.find('E') == std::string::npos; at += 320) {
        const std::size_t n = std::min<std::size_t>(320, audio.size() - at);
        boost::shared_ptr<DataBuffer> block(new DataBuffer(static_cast<uint32_t>(2 * n)));
        std::copy(audio.begin() + static_cast<std::ptrdiff_t>(at), audio.begin() + static_cast<std::ptrdiff_t>(at + n),
                  reinterpret_cast<short*>(block->GetData()));
        filter.OnInput(block);
    }
    filter.OnStop(false);
    return recorder;
}

struct Span {
    std::size_t begin;
    std::size_t end;
};

// Quiet pink noise (30 dB below the speech) over `parts`, and where each spoken part lies.
Samples InQuietNoise(const std::vector<Samples>& parts, std::vector<Span>& spans)
{
    const Samples joined = Join(parts);
    std::size_t at = 0;
    for (const Samples& part : parts) {
        spans.push_back({at, at + part.size()});
        at += part.size();
    }
    return MixAtSnr(joined, Noise(NoiseKind::Pink, static_cast<double>(joined.size()) / kSampleRate + 1.0, 7), 30.0);
}

std::size_t Find(const Samples& audio, const Samples& slice)
{
    return static_cast<std::size_t>(std::search(audio.begin(), audio.end(), slice.begin(), slice.end()) - audio.begin());
}

TEST(VadFilter, OneUtteranceEventsAroundItsOutput)
{
    struct Case {
        const char* name;
        std::vector<Samples> parts; // quiet, speech, quiet, ...
        std::size_t delivered;      // spoken parts delivered whole, from the first
    };
    const Voice voice = TestVoices()[0];
    const Case cases[] = {
        {"a sentence", {Silence(1.0), Speak(HeldOutSentences()[0], voice), Silence(3.0)}, 1},
        // A short word alone is delivered and ends.
        {"one short word", {Silence(1.0), Speak("Yes.", voice), Silence(4.0)}, 1},
        // A short word then, after a pause of some 0.65 s (espeak-ng's own silence after the
        // word included), longer than the maximum gap, a sentence: a word is no burst, so the
        // one utterance ends after it as after a sentence, before the sentence begins.
        {"a word, a pause, a sentence",
         {Silence(0.6), Speak("Hello.", voice), Silence(0.3), Speak(HeldOutSentences()[1], voice), Silence(3.0)}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Span> spans;
        const Samples audio = InQuietNoise(c.parts, spans);
        const Recorder r = Filter(audio);
        // Blocks, then the start; more blocks; the end after the last of them.
        ASSERT_EQ(1, std::count(r.events.begin(), r.events.end(), 'S')) << r.events;
        ASSERT_EQ(1, std::count(r.events.begin(), r.events.end(), 'E')) << r.events;
        EXPECT_LT(r.events.find('S'), r.events.find('E'));
        EXPECT_EQ('E', r.events.back());
        const std::size_t at = Find(audio, r.output);
        ASSERT_LT(at, audio.size()) << "one slice of the input";
        for (std::size_t i = 1; i < spans.size(); i += 2) {
            if ((i + 1) / 2 <= c.delivered) {
                EXPECT_LE(at, spans[i].begin) << "part " << i;
                EXPECT_GE(at + r.output.size(), spans[i].end) << "part " << i;
            } else {
                EXPECT_LE(at + r.output.size(), spans[i].begin) << "part " << i;
            }
        }
    }
}

} // namespace
