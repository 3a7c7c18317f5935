#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Orvane/Vad/SpeechBoundaryManager.h"
#include "Vad/BoundaryFixture.h"
#include "Vad/EngineFixture.h"
#include "Vad/SBM.h"
#include "Vad/detect_vad.h"
#include "Vad/feature.h"
#include "Vad/hangover.h"
#include "support/AudioFixture.h"

namespace {

using Orvane::Test::Samples;

struct ManagerDeleter {
    void operator()(SBMInfo* h) const { EndSBM(h); }
};
using Manager = std::unique_ptr<SBMInfo, ManagerDeleter>;

// A manager with preset `mode`, the committed model and the given output kind.
Manager MakeManager(const char* output = "OBS_WAV", int mode = 0)
{
    Manager h(BeginSBM());
    const std::vector<char>& model = Orvane::Test::ModelImage();
    EXPECT_NE(nullptr, h);
    EXPECT_EQ(0, SetSBMMode(h.get(), mode, model.data(), static_cast<unsigned>(model.size())));
    EXPECT_EQ(0, SetVariableVADStr(h->session, "VAD:Output", output));
    return h;
}

// What a reader gets: the samples of each utterance, read after every DetectSBM call.
struct Delivery {
    std::vector<Samples> utterances{Samples()};
    std::vector<std::size_t> ends; // input samples given when each end (-1) was read
    int error = 0;
};

Delivery Drive(SBMInfo* h, const Samples& audio, std::size_t block, unsigned readSamples = 160)
{
    Delivery d;
    std::vector<short> out(readSamples);
    for (std::size_t at = 0; at < audio.size() && d.error == 0; at += block) {
        const std::size_t n = std::min(block, audio.size() - at);
        d.error = DetectSBM(h, audio.data() + at, static_cast<unsigned>(n * 2));
        for (int r = 1; r != 0 && d.error == 0;) {
            r = ReadSBM(h, out.data(), readSamples * 2);
            if (r > 0) {
                d.utterances.back().insert(d.utterances.back().end(), out.begin(), out.begin() + r / 2);
            } else if (r == -1) {
                d.utterances.emplace_back();
                d.ends.push_back(at + n);
            } else if (r < 0) {
                d.error = r;
            }
        }
    }
    if (d.utterances.back().empty()) {
        d.utterances.pop_back();
    }
    return d;
}

std::size_t Find(const Samples& audio, const Samples& slice, std::size_t from = 0)
{
    const auto found = std::search(audio.begin() + static_cast<std::ptrdiff_t>(from), audio.end(), slice.begin(), slice.end());
    return found == audio.end() ? audio.size() : static_cast<std::size_t>(found - audio.begin());
}

TEST(Manager, ArgumentsVariablesAndModes)
{
    EXPECT_EQ(0, EndSBM(nullptr));
    Manager h(BeginSBM());
    ASSERT_NE(nullptr, h);
    const std::vector<char>& model = Orvane::Test::ModelImage();
    const unsigned size = static_cast<unsigned>(model.size());
    int value = 0;

    struct Refused {
        const char* name;
        SBMInfo* handle;
        int mode;
        const char* image;
        unsigned size;
        int code;
    };
    const Refused refused[] = {
        {"no handle", nullptr, 0, model.data(), size, -3},
        {"no image", h.get(), 0, nullptr, size, -3},
        {"mode 4", h.get(), 4, model.data(), size, -4},
        {"negative mode", h.get(), -1, model.data(), size, -4},
        {"empty image", h.get(), 0, model.data(), 0, -4},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.code, SetSBMMode(c.handle, c.mode, c.image, c.size));
        EXPECT_EQ(c.code, GetSBMLastError());
        ASSERT_EQ(0, GetSBMVariable(h.get(), "SBM:TailMargin", &value));
        EXPECT_EQ(5, value);
    }
    // SetSBMMode does not clear the record: the last failure's message stays.
    const std::string before = GetSBMLastErrorMessage();
    ASSERT_EQ(0, SetSBMMode(h.get(), 2, model.data(), size));
    EXPECT_EQ(before, GetSBMLastErrorMessage());

    struct Variable {
        const char* name;
        int set;
        int result;
        int read;
    };
    // Mode 2 starts from the beginning, so the head margin is 0 and stays so.
    const Variable variables[] = {
        {"SBM:TailMargin", 10, 0, 10},         {"SBM:HeadMargin", 50, 0, 0},
        {"SBM:StartFromBeginning", 2, -4, 1},  {"SBM:Majority", 2, -4, 1},
        {"SBM:MaxGap", -1, -4, 40},            {"OH:ThGain", 7, 0, 7},
        {"SBM:MajorityVotes_Pause", 0, 0, 0},  {"SBM:Unknown", 1, -5, -1},
        {"SBM:MinSpeech", 50, 0, 50},          {"SBM:MaxGap_Short", -1, -4, 0},
        {"SBM:MaxGap_Single", 45, 0, 45},      {"SBM:ShortFall", 75, 0, 75},
        {"SBM:ShortContrast", -1, -4, 0},      {"SBM:ShortVoiced", 5, 0, 5},
        {"SBM:ShortGapSpeech", -2, -4, 0},     {"SBM:MaxGap_Word", 55, 0, 55},
    };
    for (const Variable& v : variables) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(v.result, SetSBMVariable(h.get(), v.name, v.set));
        value = -1;
        EXPECT_EQ(v.read == -1 ? -5 : 0, GetSBMVariable(h.get(), v.name, &value));
        EXPECT_EQ(v.read, value);
    }
    ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:StartFromBeginning", 0));
    EXPECT_EQ(0, SetSBMVariable(h.get(), "SBM:HeadMargin", 50));
    EXPECT_EQ(0, GetSBMVariable(h.get(), "SBM:HeadMargin", &value));
    EXPECT_EQ(50, value);
    EXPECT_EQ(-3, GetSBMVariable(h.get(), "SBM:HeadMargin", nullptr));

    // A pause vote of 0 cannot be won: refused when detection is prepared.
    const short samples[320] = {};
    EXPECT_EQ(-4, DetectSBM(h.get(), samples, sizeof samples));
    ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:MajorityVotes_Pause", 20));
    EXPECT_EQ(-3, DetectSBM(h.get(), nullptr, 2));
    EXPECT_EQ(-3, DetectSBM(nullptr, samples, 2));
    // An odd byte count queues nothing: the next 640 bytes make exactly the first step.
    EXPECT_EQ(-4, DetectSBM(h.get(), samples, 3));
    EXPECT_EQ(0, DetectSBM(h.get(), samples, sizeof samples));
    EXPECT_EQ(nullptr, GetSBMLastErrorMessage());
    short out[400];
    EXPECT_EQ(640, ReadSBMDetectVADInput(h.get(), out, sizeof out));
    EXPECT_EQ(-2, ReadSBM(h.get(), nullptr, 2));
    EXPECT_EQ(-3, GetSBMLastError());
    EXPECT_EQ(-2, ReadSBM(nullptr, out, 2));
    EXPECT_EQ(-3, GetSBMProbRatio(h.get(), nullptr, 8));
    EXPECT_EQ(0, GetSBMVADState(h.get(), reinterpret_cast<signed char*>(out), 10));
}

TEST(Manager, StepsTakeAFrameThenAShift)
{
    Manager h = MakeManager();
    const Samples& audio = Orvane::Test::QuietSentence().audio;
    short out[2000];
    struct Step {
        std::size_t samples; // fed in this call
        int vadInput;        // samples handed to the detection layer so far
    };
    const Step steps[] = {{100, 0}, {219, 0}, {1, 320}, {100, 320}, {60, 480}, {1600, 2080}};
    std::size_t at = 0;
    int total = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.samples);
        ASSERT_EQ(0, DetectSBM(h.get(), audio.data() + at, static_cast<unsigned>(s.samples * 2)));
        at += s.samples;
        int read = 0;
        while ((read = ReadSBMDetectVADInput(h.get(), out, sizeof out)) > 0) {
            total += read / 2;
        }
        EXPECT_EQ(s.vadInput, total);
    }
    // 12 frames: decisions begin with the 11th (the first ten warm the noise tracking up).
    signed char decisions[20];
    EXPECT_EQ(2, GetSBMRawVADState(h.get(), decisions, sizeof decisions));
    double values[20];
    EXPECT_EQ(2 * 8, GetSBMProbSpeech(h.get(), values, sizeof values));
    EXPECT_EQ(8, GetSBMProbRatio(h.get(), values, 15));
}

// Everything read is one contiguous slice of the input around the burst, and the same
// slice whatever the sizes of the blocks written and read.
TEST(Manager, DeliversOneContiguousSliceWhateverTheBlocks)
{
    const Orvane::Test::Burst& burst = Orvane::Test::QuietSentence();
    Samples first;
    struct Blocks {
        std::size_t write;
        unsigned read;
    };
    for (const Blocks b : {Blocks{160, 160}, Blocks{1, 7}, Blocks{333, 160}, Blocks{1600, 1000}, Blocks{20000, 333}}) {
        SCOPED_TRACE(testing::Message() << b.write << " / " << b.read);
        Manager h = MakeManager();
        const Delivery d = Drive(h.get(), burst.audio, b.write, b.read);
        ASSERT_EQ(0, d.error);
        ASSERT_EQ(1u, d.utterances.size());
        const Samples& got = d.utterances[0];
        const std::size_t at = Find(burst.audio, got);
        ASSERT_LT(at, burst.audio.size()) << "not a slice of the input";
        EXPECT_LE(at + 8000, burst.start) << "head margin";
        EXPECT_GE(at + got.size(), burst.end) << "tail";
        if (first.empty()) {
            first = got;
        } else {
            EXPECT_EQ(first, got);
        }
    }
}

// Starting from the beginning, everything after the detection layer's warm-up frames is
// delivered: the warm-up is dropped once, however the first frame's samples arrive.
TEST(Manager, StartFromBeginningDeliversFromTheWarmUpOn)
{
    const Samples& audio = Orvane::Test::QuietSentence().audio;
    for (std::size_t block : {1u, 100u, 160u, 320u, 1000u}) {
        SCOPED_TRACE(block);
        Manager h = MakeManager("OBS_WAV", 2);
        const Delivery d = Drive(h.get(), audio, block);
        ASSERT_EQ(0, d.error);
        ASSERT_FALSE(d.utterances.empty());
        // 10 warm-up frames: a whole frame of 320 samples and 9 shifts of 160.
        const Samples expected(audio.begin() + 1760, audio.begin() + 1760 + 16000);
        ASSERT_GE(d.utterances[0].size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), d.utterances[0].begin()));
    }
}

// A tail longer than the gap keeps frames unread while it runs; the queues hold it.
TEST(Manager, LongTailStaysOneSlice)
{
    const Orvane::Test::Burst& burst = Orvane::Test::QuietSentence();
    const Samples tail(burst.audio.end() - 24000, burst.audio.end());
    const Samples audio = Orvane::Test::Join({burst.audio, tail, tail});
    Manager h = MakeManager();
    ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:TailMargin", 300));
    const Delivery d = Drive(h.get(), audio, 160);
    ASSERT_EQ(0, d.error);
    ASSERT_EQ(1u, d.utterances.size());
    const std::size_t at = Find(audio, d.utterances[0]);
    ASSERT_LT(at, audio.size());
    EXPECT_GE(at + d.utterances[0].size(), burst.end + 2 * 16000);
}

TEST(Manager, ContinuousSpeechDeliversEachUtterance)
{
    using namespace Orvane::Test;
    const Orvane::Test::Burst& burst = Orvane::Test::QuietSentence();
    const Samples twice = Join({burst.audio, burst.audio});
    Manager h = MakeManager();
    const Delivery d = Drive(h.get(), twice, 160);
    ASSERT_EQ(0, d.error);
    ASSERT_EQ(2u, d.utterances.size());
    const std::size_t first = Find(twice, d.utterances[0]);
    const std::size_t second = Find(twice, d.utterances[1], first + d.utterances[0].size());
    ASSERT_LT(first, twice.size());
    ASSERT_LT(second, twice.size());
    EXPECT_LE(first + d.utterances[0].size(), second);
    EXPECT_LE(second + 8000, burst.audio.size() + burst.start);
    EXPECT_GE(second + d.utterances[1].size(), burst.audio.size() + burst.end);
}

// After a reset that restarts detection, decisions from before it are not run again: a
// short utterance early in the stream leaves them all in the decision queue.
TEST(Manager, RestartedDetectionDoesNotReplayOldDecisions)
{
    using namespace Orvane::Test;
    const Samples clean = Join({Silence(0.3), Speak("Hello there.", TestVoices()[0]), Silence(4.0)});
    const Samples audio = MixAtSnr(clean, Noise(NoiseKind::Pink, 10.0, 6), 30.0);
    for (int continuous : {1, 0}) {
        SCOPED_TRACE(continuous);
        Manager h = MakeManager();
        ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:ContinuousSpeech", continuous));
        const Delivery d = Drive(h.get(), audio, 160);
        ASSERT_EQ(0, d.error);
        EXPECT_EQ(1u, d.utterances.size());
    }
}

// One utterance only: a short word, a pause of some 3 s and a sentence are one slice of the
// input when the short stretch's gap is long enough, the pause's frames kept in the queues
// until the sentence resumes the utterance. With several utterances the word is its own.
TEST(Manager, ShortStretchLeadsIntoTheSpeech)
{
    using namespace Orvane::Test;
    const Burst& sentence = QuietSentence();
    const Samples word = MixAtSnr(Speak("Hello.", TestVoices()[0]), Noise(NoiseKind::Pink, 1.0, 6), 30.0);
    const Samples quiet(sentence.audio.begin(), sentence.audio.begin() + static_cast<std::ptrdiff_t>(sentence.start - 3200));
    const Samples audio = Join({word, quiet, sentence.audio});
    const std::size_t speechEnd = word.size() + quiet.size() + sentence.end;
    for (int continuous : {0, 1}) {
        SCOPED_TRACE(continuous);
        Manager h = MakeManager();
        ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:MaxGap", 35));
        ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:MajorityVotes", 15));
        ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:MinSpeech", 50));
        ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:MaxGap_Short", 400));
        ASSERT_EQ(0, SetSBMVariable(h.get(), "SBM:ContinuousSpeech", continuous));
        const Delivery d = Drive(h.get(), audio, 160);
        ASSERT_EQ(0, d.error);
        ASSERT_EQ(continuous ? 2u : 1u, d.utterances.size());
        const std::size_t at = Find(audio, d.utterances[0]);
        ASSERT_LT(at, audio.size()) << "not a slice of the input";
        EXPECT_EQ(continuous == 0, at + d.utterances[0].size() >= speechEnd);
    }
}

// A manager detecting one utterance with the committed boundary settings and the given
// short-stretch rule ("SBM:ShortFall", "SBM:ShortVoiced", "SBM:ShortGapSpeech").
Manager OneUtteranceManager(int fall, int voiced, int gapSpeech)
{
    Manager h = MakeManager();
    for (const auto& v : std::vector<std::pair<const char*, int>>{{"SBM:MaxGap", 35},
                                                                  {"SBM:MaxGap_Single", 40},
                                                                  {"SBM:TailMargin", 40},
                                                                  {"SBM:MajorityVotes", 15},
                                                                  {"SBM:MajorityVotes_Pause", 15},
                                                                  {"SBM:MinSpeech", 70},
                                                                  {"SBM:MaxGap_Short", 100},
                                                                  {"SBM:ShortFall", fall},
                                                                  {"SBM:ShortContrast", 5},
                                                                  {"SBM:ShortVoiced", voiced},
                                                                  {"SBM:ShortGapSpeech", gapSpeech},
                                                                  {"SBM:ContinuousSpeech", 0}}) {
        EXPECT_EQ(0, SetSBMVariable(h.get(), v.first, v.second)) << v.first;
    }
    return h;
}

// One utterance only: a short word said alone ends as soon as a sentence would when the
// short stretch's gap is kept for bursts ("SBM:ShortFall"), the frame energies reaching the
// hangover from the manager's queue; without it the word waits for the short gap.
TEST(Manager, ShortWordAloneEndsAtTheMaximumGap)
{
    using namespace Orvane::Test;
    const Samples word = Speak("Yes.", TestVoices()[0]);
    const Samples audio = MixAtSnr(Join({Silence(0.5), word, Silence(2.0)}), Noise(NoiseKind::Pink, 3.5, 6), 30.0);
    const std::vector<bool> loud = SpeechFrames(Join({Silence(0.5), word, Silence(2.0)}));
    const std::size_t lastSpeech = 160 * (loud.size() - static_cast<std::size_t>(
                                                           std::find(loud.rbegin(), loud.rend(), true) - loud.rbegin()));
    for (int fall : {0, 75}) {
        SCOPED_TRACE(fall);
        Manager h = OneUtteranceManager(fall, 0, 0);
        const Delivery d = Drive(h.get(), audio, 320);
        ASSERT_EQ(0, d.error);
        ASSERT_EQ(1u, d.ends.size());
        const double delay = static_cast<double>(d.ends[0]) / 16000.0 - static_cast<double>(lastSpeech) / 16000.0;
        if (fall != 0) {
            EXPECT_LT(delay, 0.6);
        } else {
            EXPECT_GT(delay, 0.9);
        }
    }
}

// A door closing: the latch's click, its catch 50-150 ms later and the door rattling in its
// frame, a low rumble of 0.5 s; pseudo-random noise of a fixed seed.
Samples DoorClosing(unsigned seed)
{
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<double>((seed >> 8) & 0xFFFF) / 32768.0 - 1.0;
    };
    Samples out(static_cast<std::size_t>(0.8 * 16000), 0);
    auto add = [&out](std::size_t at, double value) {
        out[at] = static_cast<short>(std::max(-32767.0, std::min(32767.0, out[at] + value)));
    };
    const std::size_t catchAt = static_cast<std::size_t>((0.05 + 0.05 * (next() + 1.0)) * 16000);
    for (std::size_t click : {std::size_t{0}, catchAt}) {
        double previous = 0.0;
        for (std::size_t i = 0; i < 160; ++i) {
            const double white = next();
            add(click + i, 12000.0 * std::exp(-static_cast<double>(i) / 50.0) * (white - previous));
            previous = white;
        }
    }
    double low = 0.0;
    const std::size_t thudAt = catchAt + 320;
    for (std::size_t i = 0; i < 8000 && thudAt + i < out.size(); ++i) {
        low += 0.04 * (next() - low);
        // The door rattles in its frame: the rumble swells and falls back every 60 ms.
        const double rattle = 0.55 + 0.45 * std::cos(2.0 * M_PI * static_cast<double>(i) / 960.0);
        add(thudAt + i, 60000.0 * low * std::min(1.0, static_cast<double>(i) / 80.0) * rattle);
    }
    return out;
}

// One utterance only: a door closing just before a sentence leads into it. Its clicks and thud
// hold no voiced frame, so they keep the short stretch's gap ("SBM:ShortVoiced"); taken for a
// word said alone, they would end the one utterance before the sentence began.
TEST(Manager, DoorBeforeASentenceLeadsIntoIt)
{
    using namespace Orvane::Test;
    const Burst& sentence = QuietSentence();
    const Samples door = Join({Silence(1.0), DoorClosing(7), Silence(0.5)});
    const Samples clean = Join({door, Samples(sentence.audio.begin() + static_cast<std::ptrdiff_t>(sentence.start),
                                                sentence.audio.end())});
    const Samples audio = MixAtSnr(clean, Noise(NoiseKind::Pink, static_cast<double>(clean.size()) / 16000.0, 6), 30.0);
    const std::size_t speechEnd = door.size() + sentence.end - sentence.start;
    for (int voiced : {0, 5}) {
        SCOPED_TRACE(voiced);
        Manager h = OneUtteranceManager(60, voiced, 3);
        const Delivery d = Drive(h.get(), audio, 320);
        ASSERT_EQ(0, d.error);
        ASSERT_FALSE(d.utterances.empty());
        const std::size_t at = Find(audio, d.utterances[0]);
        ASSERT_LT(at, audio.size()) << "not a slice of the input";
        EXPECT_EQ(voiced != 0, at + d.utterances[0].size() >= speechEnd);
    }
}

TEST(Manager, OutputValuesLongerThanTenBytes)
{
    Manager h = MakeManager("OutVADLabel=T");
    const Delivery d = Drive(h.get(), Orvane::Test::QuietSentence().audio, 160);
    EXPECT_EQ(0, d.error);
    ASSERT_EQ(1u, d.utterances.size());
    EXPECT_LT(Find(Orvane::Test::QuietSentence().audio, d.utterances[0]), Orvane::Test::QuietSentence().audio.size());
}

TEST(Manager, RefusesInputAndSizesItCannotHold)
{
    const Samples& audio = Orvane::Test::QuietSentence().audio;
    Manager h = MakeManager();
    // Half the input queue: 2 x 160 x (90 + 1 + 40) samples with the presets.
    EXPECT_EQ(-6, DetectSBM(h.get(), audio.data(), 20961 * 2));
    EXPECT_EQ(0, DetectSBM(h.get(), audio.data(), 20960 * 2));

    Manager huge = MakeManager();
    ASSERT_EQ(0, SetSBMVariable(huge.get(), "SBM:HeadMargin", INT_MAX));
    EXPECT_EQ(-4, DetectSBM(huge.get(), audio.data(), 320 * 2));
    Manager votes = MakeManager();
    ASSERT_EQ(0, SetSBMVariable(votes.get(), "SBM:MajorityVotes", 51));
    EXPECT_EQ(-4, DetectSBM(votes.get(), audio.data(), 320 * 2));
}

// Geometries other than the presets': two interleaved channels, a shift longer than the
// frame. The step buffers must hold every step the detection layer reads or writes.
TEST(Manager, OtherFrameGeometries)
{
    struct Case {
        const char* name;
        int channels;
        int shift;
    };
    for (const Case& c : {Case{"two channels", 2, 160}, Case{"shift past the frame", 1, 400}}) {
        SCOPED_TRACE(c.name);
        Manager h = MakeManager();
        ASSERT_EQ(0, SetVariableVADInt(h->session, "FE:NumChan", c.channels));
        ASSERT_EQ(0, SetVariableVADInt(h->session, "FE:ShiftPts", c.shift));
        Samples audio;
        for (short s : Orvane::Test::QuietSentence().audio) {
            audio.insert(audio.end(), static_cast<std::size_t>(c.channels), s);
        }
        const Delivery d = Drive(h.get(), audio, 480);
        EXPECT_EQ(0, d.error) << (GetSBMLastErrorMessage() ? GetSBMLastErrorMessage() : "");
        signed char decisions[64];
        EXPECT_GE(GetSBMRawVADState(h.get(), decisions, sizeof decisions), 0);
    }
}

// A quiet speech frame with far more low-band than high-band energy is taken for distant
// noise; the bands it compares exist only with 18 bands or more.
TEST(Manager, DistanceDetection)
{
    struct Case {
        const char* name;
        unsigned bands;
        double low;  // log energy of bands 3 and 4
        double rest; // log energy of the other bands
        int decision;
    };
    const Case cases[] = {
        {"distant", 24, 4.0, 0.0, 0},
        {"near", 24, 1.0, 0.0, 1},
        {"loud", 24, 20.0, 15.0, 1},
        {"too few bands", 12, 4.0, 0.0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Manager h = MakeManager();
        const short silence[320] = {};
        ASSERT_EQ(0, DetectSBM(h.get(), silence, sizeof silence));
        ASSERT_EQ(0, SetSBMVariable(h.get(), "OH:DistanceDetection", 1));
        std::vector<double> fbank(c.bands, c.rest);
        fbank[3] = fbank[4] = c.low;
        ChannelBuf channel{};
        channel.fbank = fbank.data();
        FrameNode node{};
        node.chan = &channel;
        node.result.decision = 1;
        DataBuf data{};
        data.NumFB = c.bands;
        data.frames.tail = &node;
        _tagVADInfo session{};
        session.data = &data;
        ASSERT_EQ(0, SBMGetVADInfoProc(&session, h.get()));
        signed char decision = -1;
        ASSERT_EQ(1, GetSBMRawVADState(h.get(), &decision, 1));
        EXPECT_EQ(c.decision, decision);
    }
}

} // namespace
