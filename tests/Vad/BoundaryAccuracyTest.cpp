#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Vad/DetectionScore.h"

// Detection and noise reduction of the detector as the helper runs it (mode 0, continuous,
// noise reduction, the committed model and configuration) on the evaluation set
// (data/vad/evaluation-sentences.txt; no value was chosen on it), one row per noise kind.
// Thresholds lie a little below the figures measured with the committed model; the
// figures themselves are printed, and build/bench/VadBoundaryReport shows them beside
// webrtc-audio-processing.
namespace {

using Orvane::Test::ConditionFigures;
using Orvane::Test::EvaluationSet;

struct Row {
    const char* kind;
    double found[4];    // minimum % of speech frames inside utterances at 20, 10, 5, 0 dB
    double inTime;      // minimum % of files whose utterance ends within 1 s, every SNR
    double falseStarts; // maximum starts a minute on noise alone, every SNR
    double farFlagged;  // maximum % of frames over 1 s from speech taken, every SNR
    double gain0;       // minimum SI-SDR gain at 0 dB
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.kind;
}

class BoundaryAccuracy : public testing::TestWithParam<Row> {};

TEST_P(BoundaryAccuracy, EvaluationSet)
{
    const Row& row = GetParam();
    const Orvane::Test::Figures figures =
        Orvane::Test::EvaluateDetector(EvaluationSet::Evaluation(), Orvane::Test::ConfigPath(), {row.kind}, 2);
    std::printf("%-6s %3s  %s\n", "noise", "SNR", ConditionFigures::Header().c_str());
    for (std::size_t i = 0; i < EvaluationSet::Snrs().size(); ++i) {
        const double snr = EvaluationSet::Snrs()[i];
        const ConditionFigures& f = figures.at({row.kind, snr});
        std::printf("%-6s %3.0f  %s\n", row.kind, snr, f.Row().c_str());
        SCOPED_TRACE(testing::Message() << row.kind << " " << snr << " dB");
        EXPECT_GE(f.FoundPercent(), row.found[i]);
        EXPECT_GE(f.EndedInTimePercent(), row.inTime);
        EXPECT_LE(f.FalseStartsPerMinute(), row.falseStarts);
        EXPECT_LE(f.FarFlaggedPercent(), row.farFlagged);
        if (snr == 0.0) {
            EXPECT_GE(f.NoiseReductionGain(), row.gain0);
        }
    }
}

const Row kRows[] = {
    // kind      found % at 20, 10, 5, 0 dB   in 1 s  starts/min  far %  gain at 0 dB
    {"white",  {99, 99, 99, 95}, 57, 1.5, 3, 0.3},
    {"pink",   {99, 99, 99, 90}, 48, 1.5, 3, 0.3},
    {"brown",  {99, 99, 99, 99}, 90, 1.5, 3, 1.0},
    {"hum",    {99, 99, 99, 99}, 90, 1.5, 3, 0.7},
    {"babble", {99, 99, 99, 99}, 0, 4.5, 100, 0.0},
    {"music",  {99, 99, 99, 99}, 0, 10.5, 100, 0.0},
    {"clicks", {99, 99, 99, 99}, 90, 1.5, 3, -0.3},
    {"taps",   {99, 99, 99, 99}, 90, 1.5, 3, -0.3},
    {"cutoff", {99, 99, 87, 91}, 48, 13.5, 61, 0.1},
};

INSTANTIATE_TEST_SUITE_P(Noise, BoundaryAccuracy, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.kind); });

} // namespace
