#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>

#include "Vad/BoundaryFixture.h"

namespace Orvane {
namespace Test {
// Test names show the noise by name.
void PrintTo(NoiseKind noise, std::ostream* out)
{
    *out << (noise == NoiseKind::White ? "white" : noise == NoiseKind::Pink ? "pink" : "brown");
}
} // namespace Test
} // namespace Orvane

// Boundary accuracy of the detector as the helper runs it (mode 0, noise reduction, the
// committed model and configuration) on held-out sentences with 1.5 s of noise before and
// 1 s after, the truth taken from the clean signal.
namespace {

using Orvane::Test::BoundaryResult;
using Orvane::Test::NoiseKind;

constexpr std::size_t kSentences = 6;
constexpr double kMaxLead = 1.3;  // s the detected start may lie before the true start
constexpr double kMaxDelay = 0.6; // s the end status may come after the true end

const char* Name(NoiseKind noise)
{
    return noise == NoiseKind::White ? "white" : noise == NoiseKind::Pink ? "pink" : "brown";
}

class BoundaryAccuracy : public testing::TestWithParam<NoiseKind> {};

TEST_P(BoundaryAccuracy, SpanStartAndEnd)
{
    for (double snr : {20.0, 10.0, 5.0}) {
        SCOPED_TRACE(testing::Message() << Name(GetParam()) << " " << snr << " dB");
        double covered = 0.0;
        double maxLead = 0.0;
        double maxDelay = -10.0;
        for (const Orvane::Test::BoundaryCase& c : Orvane::Test::HeldOutCases(GetParam(), snr, kSentences)) {
            SCOPED_TRACE(c.sentence + " / " + c.voice.name);
            const BoundaryResult r = Orvane::Test::MeasureBoundaries(c);
            ASSERT_TRUE(r.started);
            ASSERT_TRUE(r.ended);
            if (snr >= 20.0) {
                EXPECT_EQ(1.0, r.coverage) << "span " << r.spanStart << ".." << r.spanEnd;
            }
            EXPECT_LE(r.startLead(), kMaxLead);
            EXPECT_LE(r.endDelay(), kMaxDelay);
            covered += r.coverage;
            maxLead = std::max(maxLead, r.startLead());
            maxDelay = std::max(maxDelay, r.endDelay());
        }
        const double coverage = covered / kSentences;
        EXPECT_GE(coverage, 0.98);
        std::printf("%-5s %4.0f dB: speech frames in span %.1f%%, start up to %.2f s early, end status up to %.2f s late\n",
                    Name(GetParam()), snr, 100.0 * coverage, maxLead, maxDelay);
    }
}

// Noise alone, at the level it has in the 5 dB mixtures and at full scale, starts nothing.
TEST_P(BoundaryAccuracy, NoStartOnNoiseAlone)
{
    for (double gain : {Orvane::Test::NoiseGainAt(GetParam(), 5.0), 1.0}) {
        SCOPED_TRACE(gain);
        Orvane::Test::Samples noise = Orvane::Test::Noise(GetParam(), 10.0, 7);
        for (short& s : noise) {
            s = static_cast<short>(s * gain);
        }
        EXPECT_EQ(0u, Orvane::Test::DeliveredSamples(noise));
    }
}

INSTANTIATE_TEST_SUITE_P(Noise, BoundaryAccuracy, testing::Values(NoiseKind::White, NoiseKind::Pink, NoiseKind::Brown),
                         [](const testing::TestParamInfo<NoiseKind>& info) { return std::string(Name(info.param)); });

} // namespace
