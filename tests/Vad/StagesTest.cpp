#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Vad/EngineFixture.h"
#include "Vad/detect_vad.h"
#include "Vad/feature.h"
#include "Vad/gmm_io.h"
#include "Vad/p_kalman.h"
#include "Vad/parade.h"
#include "Vad/vad.h"

namespace Orvane {
namespace Test {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using DataBufPtr = std::unique_ptr<DataBuf, Deleter<DataBuf, FreeDataBuf>>;
using PKFPtr = std::unique_ptr<PKFPrms, Deleter<PKFPrms, FreePKFPrms>>;
using ParadePtr = std::unique_ptr<ParadePrms, Deleter<ParadePrms, FreeParadePrms>>;
using VADPtr = std::unique_ptr<VADPrms, Deleter<VADPrms, FreeVADPrms>>;

// A frame whose log filter bank is `bands`.
void PushBands(DataBuf* db, unsigned t, const std::vector<double>& bands)
{
    ClearFrameBuf(db);
    ASSERT_EQ(0, AddNewFrame(db, t));
    std::copy(bands.begin(), bands.end(), db->frames.tail->chan[0].fbank);
}

// Noise tracking of two bands with one Gaussian per model: model 0 (non-speech) at mean
// 1, model 1 (speech) at mean 8, both variance 0.5.
struct TwoBandTracker {
    VadHandle handle{BeginVAD()};
    std::vector<char> model = Image()
                                  .U32(2)
                                  .U32(1).U32(2).Mixture(2, 1.0, 1.0, 0.5)
                                  .U32(1).U32(2).Mixture(2, 1.0, 8.0, 0.5)
                                  .Bytes();
    DataBufPtr db;
    PKFPtr pkf;

    explicit TwoBandTracker(double cumR = 0.9)
    {
        SetVariableVADInt(handle.get(), "FE:NumFB", 2);
        SetVariableVADInt(handle.get(), "PKF:InitFrame", 2);
        SetVariableVADReal(handle.get(), "PKF:DrvVar", 0.01);
        SetVariableVADReal(handle.get(), "PKF:CumR", cumR);
        SetVariableVADPtr(handle.get(), "PKF:GMMBuff", model.data(), unsigned(model.size()));
        db.reset(InitDataBuf(handle->env));
        pkf.reset(InitPKFPrms(handle->env, 1, 2));
    }
};

TEST(NoiseTracking, KalmanUpdateMatchesAStraightforwardComputation)
{
    TwoBandTracker t;
    ASSERT_TRUE(t.pkf) << GetVADLastErrorMessage();
    PushBands(t.db.get(), 0, {2.0, 0.0});
    ASSERT_EQ(0, PKFBasedNoiseUpdating(t.pkf.get(), t.db.get(), 0));
    PushBands(t.db.get(), 1, {4.0, 0.0});
    ASSERT_EQ(0, PKFBasedNoiseUpdating(t.pkf.get(), t.db.get(), 1));
    EXPECT_EQ(0.0, t.pkf->chan[0].noiseMean[0]); // the start frames only store
    const std::vector<double> y = {5.0, 1.0};
    PushBands(t.db.get(), 2, y);
    ASSERT_EQ(0, PKFBasedNoiseUpdating(t.pkf.get(), t.db.get(), 2));

    // Reference with exact functions. Band 0 starts from mean 3, variance 1; the silent
    // band 1 from mean 0, variance 0, so its prediction has the drive variance alone.
    const double noiseMean[2] = {3.0, 0.0};
    const double noiseVar[2] = {1.0, 0.0};
    double logLikelihood[2];
    double updatedMean[2][2];
    double updatedVar[2][2];
    for (int j = 0; j < 2; ++j) {
        double sum = 0.0;
        for (int d = 0; d < 2; ++d) {
            const double mus = (j == 0 ? 1.0 : 8.0) + d;
            const double vs = 0.5;
            const double vp = noiseVar[d] + 0.01;
            const double e = std::exp(noiseMean[d] - mus);
            const double H = e / (1 + e);
            const double K = vp * H / (H * H * vp + vs);
            updatedMean[j][d] = noiseMean[d] + K * (y[d] - (mus + std::log(1 + e)));
            updatedVar[j][d] = (1 - K * H) * vp;
            const double e2 = std::exp(updatedMean[j][d] - mus);
            const double H2 = e2 / (1 + e2);
            const double mean = mus + std::log(1 + e2);
            const double var = H2 * H2 * updatedVar[j][d] + vs;
            sum += std::log(2 * M_PI * var) + (y[d] - mean) * (y[d] - mean) / var;
        }
        logLikelihood[j] = -0.5 * sum;
    }
    const double top = std::max(logLikelihood[0], logLikelihood[1]);
    const double total = top + std::log(std::exp(logLikelihood[0] - top) + std::exp(logLikelihood[1] - top));
    const PKFChanBuf& ch = t.pkf->chan[0];
    EXPECT_EQ(0.01, ch.state[0].predicted->GMM[0].Mix[0].Var[1]);
    for (int j = 0; j < 2; ++j) {
        SCOPED_TRACE(j);
        EXPECT_NEAR(logLikelihood[j], ch.state[j].logLikelihood, 1e-4);
        EXPECT_NEAR(std::exp(logLikelihood[j] - total), ch.state[j].weight, 1e-5);
    }
    for (int d = 0; d < 2; ++d) {
        const double w0 = std::exp(logLikelihood[0] - total);
        const double w1 = std::exp(logLikelihood[1] - total);
        EXPECT_NEAR(w0 * updatedMean[0][d] + w1 * updatedMean[1][d], ch.noiseMean[d], 1e-5);
        EXPECT_NEAR(w0 * updatedVar[0][d] + w1 * updatedVar[1][d], ch.noiseVar[d], 1e-6);
    }

    ASSERT_EQ(0, ResetPKFPrms(t.pkf.get()));
    EXPECT_EQ(1.0, ch.state[0].weight);
    EXPECT_EQ(0.0, ch.state[1].weight);
    EXPECT_EQ(0.0, ch.noiseMean[0]);
    EXPECT_EQ(-102, PKFBasedNoiseUpdating(nullptr, t.db.get(), 0));
}

// A noise far above a speech mixture overflows the linearisation's exponential; the slope
// is then 1 instead of inf/inf.
TEST(NoiseTracking, OverflowingExponentStaysFinite)
{
    VadHandle handle(BeginVAD());
    const std::vector<char> model = Image().U32(2).U32(1).U32(2).Mixture(2, 1.0, -800.0, 0.5).Model(1, 2).Bytes();
    SetVariableVADInt(handle.get(), "FE:NumFB", 2);
    SetVariableVADInt(handle.get(), "PKF:InitFrame", 1);
    SetVariableVADPtr(handle.get(), "PKF:GMMBuff", model.data(), unsigned(model.size()));
    DataBufPtr db(InitDataBuf(handle->env));
    PKFPtr pkf(InitPKFPrms(handle->env, 1, 2));
    ASSERT_TRUE(pkf);
    for (unsigned t = 0; t < 4; ++t) {
        PushBands(db.get(), t, {5.0 + t, 6.0});
        ASSERT_EQ(0, PKFBasedNoiseUpdating(pkf.get(), db.get(), t));
    }
    const PKFChanBuf& ch = pkf->chan[0];
    for (unsigned d = 0; d < 2; ++d) {
        EXPECT_TRUE(std::isfinite(ch.noiseMean[d])) << d;
        EXPECT_TRUE(std::isfinite(ch.noiseVar[d])) << d;
    }
    EXPECT_TRUE(std::isfinite(ch.state[0].weight));
}

TEST(NoiseTracking, KeptMixtures)
{
    struct Case {
        double cumR;
        unsigned kept;
        bool normalised;
    };
    for (const Case& c : {Case{1.0, 3, false}, Case{0.05, 1, true}}) {
        SCOPED_TRACE(c.cumR);
        VadHandle handle(BeginVAD());
        const std::vector<char> model = Image().U32(2).Model(1, 2).Model(3, 2).Bytes();
        SetVariableVADInt(handle.get(), "FE:NumFB", 2);
        SetVariableVADInt(handle.get(), "PKF:InitFrame", 1);
        SetVariableVADReal(handle.get(), "PKF:CumR", c.cumR);
        SetVariableVADPtr(handle.get(), "PKF:GMMBuff", model.data(), unsigned(model.size()));
        DataBufPtr db(InitDataBuf(handle->env));
        PKFPtr pkf(InitPKFPrms(handle->env, 1, 2));
        ASSERT_TRUE(pkf);
        PushBands(db.get(), 0, {1.0, 1.0});
        PKFBasedNoiseUpdating(pkf.get(), db.get(), 0);
        PushBands(db.get(), 1, {1.2, 2.5});
        PKFBasedNoiseUpdating(pkf.get(), db.get(), 1);
        const PKFStateBuf& st = pkf->chan[0].state[1];
        EXPECT_EQ(c.kept, st.kept);
        double sum = 0.0;
        for (unsigned r = 0; r < st.kept; ++r) {
            EXPECT_EQ(st.post[st.rankedIndex[r]], c.normalised ? st.post[st.rankedIndex[r]] : st.rankedWeight[r]);
            if (r > 0) {
                EXPECT_GE(st.rankedWeight[r - 1], st.rankedWeight[r]);
            }
            sum += st.rankedWeight[r];
        }
        if (c.normalised) {
            EXPECT_EQ(1.0, sum);
        }
    }
}

TEST(Periodicity, LagsAndProbabilities)
{
    {
        VadHandle handle(BeginVAD());
        DataBufPtr db(InitDataBuf(handle->env));
        ParadePtr p(InitParadePrms(handle->env, db.get()));
        ASSERT_TRUE(p);
        EXPECT_EQ(320u, p->longestLag);
        EXPECT_EQ(32u, p->shortestLag);
        EXPECT_EQ(3u, p->FilLen);
    }
    // Lags are held within the frame whatever the configured frequencies.
    VadHandle handle(BeginVAD());
    ASSERT_EQ(0, SetVariableVADReal(handle.get(), "PARADE:LowF0", 1.0));
    ASSERT_EQ(0, SetVariableVADReal(handle.get(), "PARADE:HighF0", 2.0));
    DataBufPtr db(InitDataBuf(handle->env));
    ParadePtr p(InitParadePrms(handle->env, db.get()));
    ASSERT_TRUE(p);
    EXPECT_EQ(320u, p->longestLag);
    EXPECT_EQ(320u, p->shortestLag);

    // A pulse train of period 64 (250 Hz, harmonics on exact bins): the first three frames
    // after a start give non-speech 1.0 (empty median history), then speech 1.0 exactly.
    VadHandle plain(BeginVAD());
    DataBufPtr frames(InitDataBuf(plain->env));
    ParadePtr parade(InitParadePrms(plain->env, frames.get()));
    for (unsigned t = 0; t < 5; ++t) {
        ClearFrameBuf(frames.get());
        AddNewFrame(frames.get(), t);
        short* wave = frames->frames.tail->chan[0].wave;
        for (unsigned i = 0; i < 320; ++i) {
            wave[i] = (i + 7 * t) % 64 == 0 ? 20000 : 0;
        }
        Wave2FBank(frames.get());
        ASSERT_EQ(0, CompParade(parade.get(), frames.get()));
        const PARChanBuf& ch = parade->chan[0];
        if (t < 3) {
            EXPECT_EQ(1.0, ch.prob[0]) << t;
            EXPECT_EQ(0.0, ch.prob[1]) << t;
        } else {
            EXPECT_GT(ch.ratio, 88.0) << t;
            EXPECT_EQ(1.0, ch.prob[1]) << t;
        }
    }
    ASSERT_EQ(0, ResetParadePrms(parade.get()));
    EXPECT_EQ(0.0, parade->chan[0].history[6]);
    EXPECT_EQ(-102, CompParade(nullptr, frames.get()));
}

TEST(Decision, MedianFilter)
{
    const double window[] = {5, 1, 4, 2, 3};
    double scratch[5];
    EXPECT_EQ(3.0, DescendingMedian(window, 2, scratch));
    const double ties[] = {2, 2, 1};
    EXPECT_EQ(2.0, DescendingMedian(ties, 1, scratch));
}

TEST(Decision, CodesFromFrameDecisions)
{
    struct Case {
        const char* name;
        unsigned minSpeech, maxNonSpeech, maxGap;
        std::string decisions; // '1' speech, '0' non-speech
        std::string codes;     // expected code per frame
    };
    const Case cases[] = {
        {"plain mode", 0, 0, 0, "0011100", "4401134"},
        {"short run dropped after ten non-speech frames", 10, 10, 50, std::string(9, '1') + std::string(10, '0'),
         std::string(19, '4')},
        {"interruption bridged then confirmed", 10, 10, 50, std::string(9, '1') + "011",
         std::string(11, '4') + "0"},
        {"gap of fifty inside speech, then the end", 10, 10, 50,
         std::string(10, '1') + "1" + std::string(51, '0'),
         std::string(9, '4') + "01" + std::string(50, '2') + "3"},
        {"pause bridged again by a full run", 2, 10, 5, "111" "00" "111" "0000000",
         "401" "22" "211" "2222234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RoHoPrms r{};
        r.MaxSDuration = c.minSpeech;
        r.MaxNDuration = c.maxNonSpeech;
        r.MaxGap = c.maxGap;
        int previous = 0;
        std::string codes;
        for (char d : c.decisions) {
            const int current = d - '0';
            codes += char('0' + VADDecisionCode(&r, previous, current));
            previous = current;
        }
        EXPECT_EQ(c.codes, codes);
    }
}

struct DecisionStage {
    VadHandle handle{BeginVAD()};
    DataBufPtr db;
    VADPtr vad;

    explicit DecisionStage(int streams)
    {
        SetVariableVADInt(handle.get(), "VAD:NumStream", streams);
        db.reset(InitDataBuf(handle->env));
        vad.reset(InitVADPrms(handle->env, 1));
        AddNewFrame(db.get(), 0);
        vad->ready = 1;
    }
    int Step(double s0, double s1, double r0 = 0.0, double r1 = 0.0)
    {
        VADChanBuf& ch = vad->chan[0];
        ch.stream[0].p[0] = s0;
        ch.stream[0].p[1] = s1;
        if (vad->NumStream == 2) {
            ch.stream[1].p[0] = r0;
            ch.stream[1].p[1] = r1;
        } else {
            ch.observation[0] = s0;
            ch.observation[1] = s1;
        }
        int code = -1;
        EXPECT_EQ(0, StatisticalVAD(&code, db.get(), vad.get(), nullptr, nullptr, 0));
        return code;
    }
};

TEST(Decision, StreamsOddsAndMedian)
{
    DecisionStage two(2);
    two.Step(0.5, 0.5, 0.2, 0.8);
    EXPECT_DOUBLE_EQ(0.2, two.vad->chan[0].observation[0]);
    EXPECT_DOUBLE_EQ(0.8, two.vad->chan[0].observation[1]);
    // Both products zero: an even pair, never NaN.
    two.Step(1.0, 0.0, 0.0, 1.0);
    EXPECT_EQ(0.5, two.vad->chan[0].observation[0]);
    EXPECT_FALSE(std::isnan(two.vad->chan[0].posterior[0]));
    EXPECT_FALSE(std::isnan(two.db->frames.tail->result.odds));

    DecisionStage one(1);
    const double threshold = 5.0;
    // A certain speech observation makes the non-speech posterior 0 exactly.
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(4, one.Step(0.0, 1.0));
        const VADFrameResult& result = one.db->frames.tail->result;
        EXPECT_EQ(1000000000.0, result.odds);
        // The first two decided frames see zeros in the median window.
        EXPECT_EQ(frame < 2 ? 0.0 : 1000000000.0, result.median) << frame;
        EXPECT_EQ(result.median > threshold ? 1 : 0, result.decision);
        EXPECT_EQ(1.0, result.speech);
        EXPECT_EQ(0.0, result.nonSpeech);
    }
    VADPrms* v = one.vad.get();
    ASSERT_EQ(0, ResetVADPrms(v));
    EXPECT_EQ(0, v->ready);
    EXPECT_EQ(1.0, v->chan[0].previous[0]);
    int code = 0;
    EXPECT_EQ(-21, StatisticalVAD(&code, one.db.get(), v, nullptr, nullptr, 0));
    EXPECT_EQ(-102, StatisticalVAD(nullptr, one.db.get(), v, nullptr, nullptr, 0));
}

} // namespace
} // namespace Test
} // namespace Orvane
