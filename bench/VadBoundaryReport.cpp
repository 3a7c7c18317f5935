// Boundary accuracy of the detector beside webrtc-audio-processing's voice detection on the
// same audio: held-out sentences with 1.5 s of noise before and 1 s after, in white, pink
// and brown noise at 20, 10 and 5 dB SNR, truth from the clean signal.
//
// The detector runs as the helper runs it (mode 0, noise reduction, committed model and
// configuration). webrtc gives one voice flag per 10 ms frame and no boundaries, so its
// flags are shown twice: as they are (span from the first to the last voiced frame), and
// run through this library's majority vote and hangover with the settings the detector uses.
// Frame-level figures compare the two decisions themselves.
//
// usage: VadBoundaryReport [sentences per condition (10)] [webrtc likelihood 0..3 (1)]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include "Vad/BoundaryFixture.h"
#include "Vad/Ostrel.h"
#include "Vad/hangover.h"
#include "Vad/majority_mode.h"
#include "Vad/ring_buffer.h"

namespace {

using namespace Orvane::Test;

constexpr std::size_t kFrame = 160;

const char* Name(NoiseKind noise)
{
    return noise == NoiseKind::White ? "white" : noise == NoiseKind::Pink ? "pink" : "brown";
}

std::vector<bool> WebRtcFlags(const Samples& audio, int likelihood)
{
    std::unique_ptr<webrtc::AudioProcessing> apm(webrtc::AudioProcessing::Create());
    apm->voice_detection()->Enable(true);
    apm->voice_detection()->set_likelihood(static_cast<webrtc::VoiceDetection::Likelihood>(likelihood));
    webrtc::AudioFrame frame;
    std::vector<bool> flags;
    for (std::size_t at = 0; at + kFrame <= audio.size(); at += kFrame) {
        frame.sample_rate_hz_ = 16000;
        frame.num_channels_ = 1;
        frame.samples_per_channel_ = kFrame;
        std::memcpy(frame.data_, audio.data() + at, kFrame * 2);
        apm->ProcessStream(&frame);
        flags.push_back(apm->voice_detection()->stream_has_voice());
    }
    return flags;
}

// The detector's own frame decisions (frame index = decision index + the warm-up frames).
std::vector<bool> OstrelFlags(const Samples& audio)
{
    const std::vector<char> model = ReadFile(ModelPath());
    Orvane::Utility::Vad::Ostrel engine;
    engine.setMode(0, model.data(), static_cast<unsigned>(model.size()));
    engine.setVariable(std::string("VAD:Output"), std::string("OBS_WAV"));
    std::vector<bool> flags(10, false);
    std::vector<short> block(kFrame);
    short out[kFrame];
    signed char decisions[64];
    for (std::size_t at = 0; at + kFrame <= audio.size(); at += kFrame) {
        std::copy(audio.begin() + static_cast<std::ptrdiff_t>(at), audio.begin() + static_cast<std::ptrdiff_t>(at + kFrame),
                  block.begin());
        engine.detect(block.data(), kFrame);
        while (engine.read(out, kFrame) > 0) {
        }
        for (int n; (n = engine.getVADRawState(decisions, sizeof decisions)) > 0;) {
            for (int i = 0; i < n; ++i) {
                flags.push_back(decisions[i] > 0);
            }
        }
    }
    return flags;
}

struct Settings {
    int head = 90, tail = 10, maxGap = 40, frames = 50, votes = 30, pauseFrames = 50, pauseVotes = 20;
};

// Mode 0's boundary settings with the committed configuration's "SBM:" keys over them.
Settings ConfiguredSettings()
{
    Settings s;
    boost::property_tree::ptree tree;
    boost::property_tree::ini_parser::read_ini(ConfigPath(), tree);
    for (const auto& entry : tree.get_child("Environment")) {
        const int v = std::atoi(entry.second.data().c_str());
        if (entry.first == "SBM:HeadMargin") s.head = v;
        if (entry.first == "SBM:TailMargin") s.tail = v;
        if (entry.first == "SBM:MaxGap") s.maxGap = v;
        if (entry.first == "SBM:MajorityFrames") s.frames = v;
        if (entry.first == "SBM:MajorityVotes") s.votes = v;
        if (entry.first == "SBM:MajorityFrames_Pause") s.pauseFrames = v;
        if (entry.first == "SBM:MajorityVotes_Pause") s.pauseVotes = v;
    }
    return s;
}

struct Span {
    bool started = false;
    bool ended = false;
    std::size_t begin = 0; // frames
    std::size_t end = 0;
    std::size_t endAt = 0; // frame on which the end was known
};

// Flags through the majority vote and hangover, as the manager runs them, first utterance.
Span Hangover(const std::vector<bool>& flags, const Settings& s)
{
    RingBufferInfo_t* queue = nullptr;
    MajorityModeInfo_t* mm = nullptr;
    VADHangOverInfo_t* hoi = nullptr;
    AllocateRB(&queue, 1024, RB_BYTE);
    AllocateMM(&mm);
    AllocHOI(&hoi);
    mm->majority = 1;
    mm->majorityFrames = s.frames;
    mm->majorityVotes = s.votes;
    mm->pauseFrames = s.pauseFrames;
    mm->pauseVotes = s.pauseVotes;
    hoi->headMargin = s.head;
    hoi->tailMargin = s.tail;
    hoi->maxGap = s.maxGap;
    BeginMM(mm, &queue);
    BeginHO(hoi, &queue, mm);
    Span span;
    long long from = 0;
    long long released = 0;
    for (std::size_t k = 0; k < flags.size() && !span.ended; ++k) {
        const signed char d = flags[k] ? 1 : 0;
        WriteRB(queue, &d, 1);
        RunHO(hoi, mm);
        released += hoi->release;
        hoi->release = 0;
        if (hoi->rewind != 0) {
            from = static_cast<long long>(k) + 1 - hoi->rewind;
            hoi->rewind = 0;
            span.started = true;
        }
        if (hoi->state == PROC_END) {
            span.ended = true;
            span.endAt = k + 1;
        }
    }
    if (span.started) {
        span.begin = static_cast<std::size_t>(std::max(from, 0LL));
        span.end = static_cast<std::size_t>(std::max(from + released, 0LL));
    }
    FreeHOI(&hoi);
    EndMM(mm);
    FreeRB(&queue);
    return span;
}

struct Figures {
    double covered = 0.0;   // sum of per-sentence coverage
    double maxLead = -99.0; // s
    double maxDelay = -99.0;
    int missedEnds = 0;
    int missedStarts = 0;
    int count = 0;
    void Add(bool started, bool ended, double coverage, double lead, double delay)
    {
        ++count;
        if (!started) {
            ++missedStarts;
            return;
        }
        covered += coverage;
        maxLead = std::max(maxLead, lead);
        if (ended) {
            maxDelay = std::max(maxDelay, delay);
        } else {
            ++missedEnds;
        }
    }
    void Print(const char* what) const
    {
        std::printf("  %-22s | %6.1f%% | %6.2f s | ", what, 100.0 * covered / count, maxLead);
        if (maxDelay > -99.0) {
            std::printf("%6.2f s", maxDelay);
        } else {
            std::printf("%8s", "-");
        }
        std::printf(" | %d/%d no start, %d no end\n", missedStarts, count, missedEnds);
    }
};

double Coverage(const std::vector<bool>& truth, std::size_t begin, std::size_t end)
{
    std::size_t inside = 0, total = 0;
    for (std::size_t f = 0; f < truth.size(); ++f) {
        if (truth[f]) {
            ++total;
            inside += f >= begin && f < end;
        }
    }
    return static_cast<double>(inside) / total;
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t count = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 10;
    const int likelihood = argc > 2 ? std::atoi(argv[2]) : 1;
    const Settings settings = ConfiguredSettings();
    std::printf("%zu held-out sentences per condition; webrtc likelihood %d; boundary settings: head %d, tail %d, "
                "max gap %d, votes %d/%d, pause votes %d/%d\n\n",
                count, likelihood, settings.head, settings.tail, settings.maxGap, settings.votes, settings.frames,
                settings.pauseVotes, settings.pauseFrames);
    std::printf("  %-22s | in span | start early | end late | misses\n", "");
    for (NoiseKind noise : {NoiseKind::White, NoiseKind::Pink, NoiseKind::Brown}) {
        for (double snr : {20.0, 10.0, 5.0}) {
            Figures detector, rawWebRtc, votedWebRtc;
            // Frame decisions against the truth: speech frames found, other frames taken.
            double speech = 0, quiet = 0, hitOwn = 0, hitWebRtc = 0, takenOwn = 0, takenWebRtc = 0;
            for (const BoundaryCase& c : HeldOutCases(noise, snr, count)) {
                const BoundaryResult r = MeasureBoundaries(c);
                detector.Add(r.started, r.ended, r.coverage, r.startLead(), r.endDelay());

                const Samples noisy = NoisySignal(c);
                const std::vector<bool> truth = SpeechFrames(CleanSignal(c));
                const std::vector<bool> flags = WebRtcFlags(noisy, likelihood);
                const auto first = std::find(flags.begin(), flags.end(), true);
                const auto last = std::find(flags.rbegin(), flags.rend(), true);
                const bool any = first != flags.end();
                const std::size_t begin = any ? static_cast<std::size_t>(first - flags.begin()) : 0;
                const std::size_t end = any ? static_cast<std::size_t>(flags.rend() - last) : 0;
                rawWebRtc.Add(any, any, Coverage(truth, begin, end), r.trueStart - begin * 0.01, end * 0.01 - r.trueEnd);
                const Span span = Hangover(flags, settings);
                votedWebRtc.Add(span.started, span.ended, Coverage(truth, span.begin, span.end),
                                r.trueStart - span.begin * 0.01, span.endAt * 0.01 - r.trueEnd);

                const std::vector<bool> own = OstrelFlags(noisy);
                for (std::size_t f = 0; f < truth.size(); ++f) {
                    const bool o = f < own.size() && own[f];
                    const bool w = f < flags.size() && flags[f];
                    (truth[f] ? speech : quiet) += 1;
                    (truth[f] ? hitOwn : takenOwn) += o;
                    (truth[f] ? hitWebRtc : takenWebRtc) += w;
                }
            }
            std::printf("%s %g dB\n", Name(noise), snr);
            detector.Print("detector");
            votedWebRtc.Print("webrtc + our hangover");
            rawWebRtc.Print("webrtc flags as such");
            std::printf("  frames: detector finds %.1f%% of speech, takes %.1f%% of the rest; webrtc %.1f%%, %.1f%%\n",
                        100 * hitOwn / speech, 100 * takenOwn / quiet, 100 * hitWebRtc / speech, 100 * takenWebRtc / quiet);
        }
    }
    std::printf("\n10 s of noise alone (level of the 5 dB mixtures / full scale): delivered s; webrtc voiced frames; "
                "webrtc + hangover start\n");
    for (NoiseKind noise : {NoiseKind::White, NoiseKind::Pink, NoiseKind::Brown}) {
        for (double gain : {NoiseGainAt(noise, 5.0), 1.0}) {
            Samples audio = Noise(noise, 10.0, 7);
            for (short& x : audio) {
                x = static_cast<short>(x * gain);
            }
            const std::vector<bool> flags = WebRtcFlags(audio, likelihood);
            std::printf("  %-5s gain %.3f: detector %.2f s; webrtc %zu of %zu frames; webrtc + hangover %s\n", Name(noise),
                        gain, DeliveredSamples(audio) / 16000.0, static_cast<std::size_t>(std::count(flags.begin(), flags.end(), true)),
                        flags.size(), Hangover(flags, settings).started ? "starts" : "no start");
        }
    }
    return 0;
}
