#pragma once

#include <cmath>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Vad/BoundaryFixture.h"
#include "support/EvaluationSet.h"

// Scores of speech detection and noise reduction on a detection set (EvaluationSet), with a
// given configuration file, mode 0, noise reduction and the committed model, fed in 20 ms
// blocks; truth from the clean signal. Two ways to run the detector:
//   helper      the helper's detection filter as the controller builds it: one utterance,
//               then nothing; each sentence after a noise lead-in of 0.5-1.5 s
//   continuous  the detector delivering utterance after utterance over the whole file
namespace Orvane {
namespace Test {

enum class DetectionMode { Helper, Continuous };
const char* ToString(DetectionMode mode);

// One delivered utterance: where its samples lie in the input, and its samples.
struct Utterance {
    std::size_t begin = 0;      // sample
    std::size_t end = 0;        // sample after the last
    bool ended = false;         // a status-4 chunk came
    std::size_t endKnownAt = 0; // samples fed when it came
    Samples samples;            // as delivered (noise reduced)
};

std::vector<Utterance> DetectUtterances(const Samples& audio, const std::string& config,
                                        const std::string& model = ModelPath());

// What the helper's detection filter did with `audio`, fed until it reported the end.
struct HelperRun {
    int starts = 0;              // start events
    int ends = 0;                // end events
    bool outputAfterEnd = false; // audio passed on after the end event
    bool endBeforeStart = false;
    Utterance utterance;         // what it passed on; `ended` with the end event
};
HelperRun DetectAsHelper(const Samples& audio, const std::string& config, const std::string& model = ModelPath());
// The utterances of a run: none, or the one it delivered.
std::vector<Utterance> Utterances(const HelperRun& run);

// Frame-level detection figures of one file against its clean signal.
struct FileScore {
    double coverage = 0.0;       // share of speech frames inside utterances
    std::size_t lostFrames = 0;  // speech frames outside them
    bool ended = false;          // the utterance holding the speech's end ended
    double startError = 0.0;     // s, its start - the speech's start (negative: early)
    double endError = 0.0;       // s, its end event (status 4, the end report) - the speech's end
    double audioEndError = 0.0;  // s, the end of its delivered audio - the speech's end
    std::size_t farFrames = 0;   // frames more than 1 s from any speech frame
    std::size_t farFlagged = 0;  // of these, inside an utterance
    int falseStarts = 0;         // utterances holding no speech frame
    bool usedUp = false;         // an utterance ended before the speech began
    bool cut = false;            // an utterance holding speech ended before the speech's end
    bool open = false;           // an utterance never ended
};
// A sentence counts as delivered when this share of its speech frames was delivered.
constexpr double kDeliveredCoverage = 0.9;
// A sentence counts as shortened when this many of its speech frames (20 ms) were not.
constexpr std::size_t kShortenedFrames = 2;
FileScore ScoreFile(const std::vector<bool>& truth, const std::vector<Utterance>& utterances);

// The first speech frame of the truth, and the frame after its last (the truth's size
// when it holds none).
std::size_t FirstSpeechFrame(const std::vector<bool>& truth);
std::size_t EndOfSpeechFrames(const std::vector<bool>& truth);

// Scale-invariant SDR of `processed` against `clean` over [from, to), less that of `noisy`,
// and the level of the clean signal's part in `processed` (dB against the clean signal).
struct NoiseReductionScore {
    double siSdrGain = 0.0;
    double levelDb = 0.0;
};
NoiseReductionScore ScoreNoiseReduction(const Samples& clean, const Samples& noisy, const Samples& processed,
                                        std::size_t from, std::size_t to);
// Ours: the delivered samples in place of the input, over the speech frames they hold.
bool ScoreDelivered(const Samples& clean, const Samples& noisy, const std::vector<bool>& truth,
                    const std::vector<Utterance>& utterances, NoiseReductionScore& score);

// Figures of one condition (noise kind and SNR).
class ConditionFigures {
public:
    void Add(const FileScore& file);
    // One run over `seconds` of noise alone.
    void AddNoiseAlone(const FileScore& file, double seconds);
    void AddNoiseReduction(const NoiseReductionScore& score);
    // The helper's events: at most one start and one end, the end after the start and after
    // all output.
    void AddEvents(const HelperRun& run);
    int EventFaults() const { return eventFaults_; }

    double FoundPercent() const;       // mean share of speech frames inside utterances
    double DeliveredPercent() const;   // sentences delivered (kDeliveredCoverage)
    int Delivered() const { return delivered_; }
    // Sentences not delivered: after an utterance that ended before the speech began, in an
    // utterance that ended before the speech did, in none, or started late.
    int UsedUp() const { return usedUp_; }
    int Cut() const { return cut_; }
    int Missed() const { return missed_; }
    int Late() const { return late_; }
    // Sentences with at least kShortenedFrames of their speech frames outside the utterances,
    // and utterances holding no speech frame, over the sentences' files.
    int Shortened() const { return shortened_; }
    int EmptySpans() const { return emptySpans_; }
    double FarFlaggedPercent() const;  // frames over 1 s from speech inside utterances
    double StartMedian() const;
    double StartP90() const;           // 90th percentile of the start error
    double EndMedian() const;          // the end event, over the files whose utterance ended
    double EndP90() const;
    double AudioEndMedian() const;     // the end of the delivered audio, the same files
    int NeverEnded() const { return neverEnded_; }
    int Open() const { return open_; } // files with an utterance that never ended
    double EndedInTimePercent() const; // ended within 1 s of the speech's end
    double FalseStartsPerMinute() const; // on noise alone
    int NoiseStarts() const { return noiseStarts_; }
    int NoiseRuns() const { return noiseRuns_; }
    int NoiseRunsStarted() const { return noiseRunsStarted_; }
    double NoiseSeconds() const { return noiseSeconds_; }
    double NoiseReductionGain() const;   // mean SI-SDR gain, dB
    double LevelChange() const;          // mean speech level change, dB
    std::size_t Files() const { return files_; }

    // A table row: the figures above in the order of Header().
    std::string Row() const;
    static std::string Header();
    // The helper's figures: delivered sentences, and starts in the noise-alone runs.
    std::string HelperRow() const;
    static std::string HelperHeader();
    std::string RowFor(DetectionMode mode) const;
    static std::string HeaderFor(DetectionMode mode);

private:
    std::size_t files_ = 0;
    double coverage_ = 0.0;
    std::vector<double> starts_;
    std::vector<double> ends_;
    std::vector<double> audioEnds_;
    int neverEnded_ = 0;
    int open_ = 0;
    int endedInTime_ = 0;
    std::size_t farFrames_ = 0;
    std::size_t farFlagged_ = 0;
    int eventFaults_ = 0;
    int delivered_ = 0;
    int usedUp_ = 0;
    int cut_ = 0;
    int missed_ = 0;
    int late_ = 0;
    int shortened_ = 0;
    int emptySpans_ = 0;
    int noiseStarts_ = 0;
    int noiseRuns_ = 0;
    int noiseRunsStarted_ = 0;
    double noiseSeconds_ = 0.0;
    double gain_ = 0.0;
    double level_ = 0.0;
    int nrFiles_ = 0;
};

using Condition = std::pair<std::string, double>; // noise kind, SNR
using Figures = std::map<Condition, ConditionFigures>;

// Seconds of noise alone per kind and SNR: in one run for the continuous detector, in runs
// of kHelperNoiseRun for the helper's.
constexpr double kNoiseAloneSeconds = 60.0;
constexpr double kHelperNoiseRun = 10.0;

// The lead-in before the speech in the helper's mode: 0.5-1.5 s, as the set's own lead of
// 1.0-2.5 s maps onto it; the file is cut so.
std::size_t HelperCut(const std::vector<bool>& truth);

// The detector with `config` over every file of `set` for the given kinds at the given SNRs
// (plus `noiseSeconds` of noise alone at each SNR's level, none when 0), run as `mode` says,
// on `threads` threads.
Figures EvaluateDetector(const EvaluationSet& set, const std::string& config, const std::vector<std::string>& kinds,
                         unsigned threads, DetectionMode mode, const std::string& model = ModelPath(),
                         double noiseSeconds = kNoiseAloneSeconds,
                         const std::vector<double>& snrs = EvaluationSet::Snrs());

// Short commands in the helper's mode: after silence (the condition {"clean", kClean}) and
// after each noise kind at each of `snrs`; no noise-alone runs.
constexpr double kClean = HUGE_VAL;
Figures EvaluateCommands(const EvaluationSet& set, const std::string& config, const std::vector<double>& snrs,
                         unsigned threads, const std::string& model = ModelPath());

// Sums over the conditions of the given kinds at the SNRs in [low, high]: files, sentences
// delivered and sentences lost after an utterance that ended first; and the delivered share.
struct DeliveredCount {
    std::size_t files = 0;
    int delivered = 0;
    int usedUp = 0;
};
DeliveredCount CountDelivered(const Figures& figures, const std::vector<std::string>& kinds, double low, double high);
double DeliveredPercent(const Figures& figures, const std::vector<std::string>& kinds, double low, double high);

} // namespace Test
} // namespace Orvane
