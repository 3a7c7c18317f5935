#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Vad/BoundaryFixture.h"
#include "support/EvaluationSet.h"

// Scores of speech detection and noise reduction on a detection set (EvaluationSet): the
// detector as the helper runs it (mode 0, continuous, noise reduction, the committed model)
// with a given configuration file, fed in 20 ms blocks; truth from the clean signal.
namespace Orvane {
namespace Test {

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

// Frame-level detection figures of one file against its clean signal.
struct FileScore {
    double coverage = 0.0;       // share of speech frames inside utterances
    bool ended = false;          // the utterance holding the speech's end ended
    double startError = 0.0;     // s, its start - the speech's start (negative: early)
    double endError = 0.0;       // s, its end status - the speech's end
    std::size_t farFrames = 0;   // frames more than 1 s from any speech frame
    std::size_t farFlagged = 0;  // of these, inside an utterance
    int falseStarts = 0;         // utterances holding no speech frame
};
FileScore ScoreFile(const std::vector<bool>& truth, const std::vector<Utterance>& utterances);

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
    void AddNoiseAlone(const FileScore& file, double seconds);
    void AddNoiseReduction(const NoiseReductionScore& score);

    double FoundPercent() const;       // mean share of speech frames inside utterances
    double FarFlaggedPercent() const;  // frames over 1 s from speech inside utterances
    double StartMedian() const;
    double StartP90() const;           // 90th percentile of the start error
    double EndMedian() const;          // over the files whose utterance ended
    double EndP90() const;
    int NeverEnded() const { return neverEnded_; }
    double EndedInTimePercent() const; // ended within 1 s of the speech's end
    double FalseStartsPerMinute() const; // on noise alone
    double NoiseReductionGain() const;   // mean SI-SDR gain, dB
    double LevelChange() const;          // mean speech level change, dB
    std::size_t Files() const { return files_; }

    // A table row: the figures above in the order of Header().
    std::string Row() const;
    static std::string Header();

private:
    std::size_t files_ = 0;
    double coverage_ = 0.0;
    std::vector<double> starts_;
    std::vector<double> ends_;
    int neverEnded_ = 0;
    int endedInTime_ = 0;
    std::size_t farFrames_ = 0;
    std::size_t farFlagged_ = 0;
    int noiseStarts_ = 0;
    double noiseSeconds_ = 0.0;
    double gain_ = 0.0;
    double level_ = 0.0;
    int nrFiles_ = 0;
};

using Condition = std::pair<std::string, double>; // noise kind, SNR
using Figures = std::map<Condition, ConditionFigures>;

// Seconds of noise alone per kind and SNR.
constexpr double kNoiseAloneSeconds = 20.0;

// The detector with `config` over every file of `set` for the given kinds (all SNRs, plus
// noise alone at each SNR's level), on `threads` threads.
Figures EvaluateDetector(const EvaluationSet& set, const std::string& config, const std::vector<std::string>& kinds,
                         unsigned threads, const std::string& model = ModelPath());

} // namespace Test
} // namespace Orvane
