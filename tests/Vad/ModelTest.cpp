#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Vad/EngineFixture.h"
#include "Vad/gmm_io.h"
#include "Vad/likelihood.h"
#include "support/AudioFixture.h"

namespace Orvane {
namespace Test {
namespace {

struct ModelDeleter {
    void operator()(ModelBuf* set) const { FreeModelBuf(set); }
};
using ModelPtr = std::unique_ptr<ModelBuf, ModelDeleter>;

std::string TempPath(const std::string& name)
{
    return std::string(TESSIVAL_BINARY_DIR) + "/tests/Vad/" + name;
}

TEST(GmmFile, RoundTripIsBitExact)
{
    const std::vector<char>& original = ModelImage();
    ModelPtr set(ReadGMMBuff(original.data(), original.size()));
    ASSERT_TRUE(set);
    EXPECT_EQ(2u, set->NumModel);
    const std::string path = TempPath("roundtrip.gmm");
    ASSERT_EQ(1, WriteGMM(path.c_str(), set.get()));
    EXPECT_EQ(original, ReadFile(path));
    ModelPtr again(ReadGMM(path.c_str()));
    ASSERT_TRUE(again);
    EXPECT_EQ(set->GMM[1].Mix[3].GConst, again->GMM[1].Mix[3].GConst);
    std::remove(path.c_str());
}

TEST(GmmFile, ReaderRefusesBrokenImages)
{
    const std::vector<char> good = Image().U32(2).Model(2, 3).Model(1, 3).Bytes();
    struct Case {
        const char* name;
        std::vector<char> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"short count", std::vector<char>(good.begin(), good.begin() + 3)},
        {"one byte short of the last constant", std::vector<char>(good.begin(), good.end() - 1)},
        // Counts far beyond the bytes left are refused before anything is allocated.
        {"huge model count", Image().U32(0xffffffffu).U32(1).U32(1).Bytes()},
        {"huge mixture count", Image().U32(1).U32(0x7fffffffu).U32(0x7fffffffu).F64(1).Bytes()},
        {"mixture count times dimension wraps 32 bits", Image().U32(1).U32(0x10000).U32(0x10000).Bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelPtr set(ReadGMMBuff(c.bytes.empty() ? nullptr : c.bytes.data(), c.bytes.size()));
        EXPECT_FALSE(set);
        EXPECT_EQ(-12, GetVADLastError());
    }
    ModelPtr empty(ReadGMMBuff(Image().U32(0).Bytes().data(), 4));
    ASSERT_TRUE(empty);
    EXPECT_EQ(0u, empty->NumModel);
    ModelPtr parsed(ReadGMMBuff(good.data(), good.size()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(1u, parsed->GMM[1].NumMix);
    EXPECT_EQ(-1.5, parsed->GMM[1].Mix[0].GConst); // stored, never recomputed

    EXPECT_FALSE(ReadGMM(TempPath("missing.gmm").c_str()));
    EXPECT_EQ(-11, GetVADLastError());
    const std::string truncated = TempPath("truncated.gmm");
    std::FILE* file = std::fopen(truncated.c_str(), "wb");
    std::fwrite(good.data(), 1, good.size() - 1, file);
    std::fclose(file);
    EXPECT_FALSE(ReadGMM(truncated.c_str()));
    EXPECT_EQ(-12, GetVADLastError());
    std::remove(truncated.c_str());
}

// The engine refuses at set-up every speech model set it cannot use.
TEST(GmmFile, EngineRefusesUnusableModelSets)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        std::vector<char> bytes;
        int expected;
    };
    const Case cases[] = {
        {"usable", Image().U32(2).Model(2, 24).Model(3, 24).Bytes(), 0},
        {"one model", Image().U32(1).Model(2, 24).Bytes(), -12},
        {"no model", Image().U32(0).Bytes(), -12},
        {"dimension differs from the filter bank", Image().U32(2).Model(2, 24).Model(2, 12).Bytes(), -12},
        {"no mixture", Image().U32(2).Model(2, 24).Model(0, 24).Bytes(), -12},
        {"zero variance", Image().U32(2).Model(2, 24).Model(1, 24, 0.0).Bytes(), -12},
        {"negative variance", Image().U32(2).Model(2, 24, -1.0).Model(1, 24).Bytes(), -12},
        {"undefined variance", Image().U32(2).Model(2, 24).Model(1, 24, nan).Bytes(), -12},
        {"infinite variance", Image().U32(2).Model(2, 24).Model(1, 24, inf).Bytes(), -12},
        {"truncated", Image().U32(2).Model(2, 24).U32(1).Bytes(), -12},
    };
    const std::vector<short> silence(320 + 160 * 30, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VadHandle handle = MakePresetHandle();
        ASSERT_EQ(0, SetVariableVADPtr(handle.get(), "PKF:GMMBuff", c.bytes.data(), unsigned(c.bytes.size())));
        int state = 0;
        unsigned first = 0;
        unsigned second = 0;
        EXPECT_EQ(c.expected, DetectVAD(handle.get(), silence.data(), 1, 30, &state, &first, &second, nullptr));
        // A failed start leaves the handle refusing to continue until it starts cleanly.
        if (c.expected != 0) {
            EXPECT_EQ(-21, DetectVAD(handle.get(), silence.data(), 0, 1, &state, &first, &second, nullptr));
        }
    }
}

TEST(GmmFile, WriterErrors)
{
    EXPECT_EQ(0, WriteGMM(TempPath("x.gmm").c_str(), nullptr));
    EXPECT_EQ(-102, GetVADLastError());
    ModelPtr blank(CreateBlankModel(1, 2, 3));
    EXPECT_EQ(0, WriteGMM(TempPath("no/such/dir/x.gmm").c_str(), blank.get()));
    EXPECT_EQ(-11, GetVADLastError());
    if (std::FILE* full = std::fopen("/dev/full", "wb")) {
        std::fclose(full);
        EXPECT_EQ(0, WriteGMM("/dev/full", blank.get()));
        EXPECT_EQ(-13, GetVADLastError());
    }
}

TEST(GmmSet, BlankCopyAndConstant)
{
    ModelPtr blank(CreateBlankModel(2, 4, 3));
    ASSERT_TRUE(blank);
    EXPECT_EQ(0.25, blank->GMM[1].Mix[3].MixWt);
    EXPECT_EQ(1.0, blank->GMM[1].Mix[3].Var[2]);
    EXPECT_EQ(0.0, blank->GMM[1].Mix[3].GConst); // not the constant of unit variances
    const double unit[3] = {1.0, 1.0, 1.0};
    EXPECT_NEAR(3.0 * std::log(2.0 * M_PI), CompGConst(unit, 3), 1e-5);

    ModelPtr other(CreateBlankModel(2, 4, 3));
    other->GMM[0].Mix[1].Mean[2] = 5.0;
    other->GMM[0].Mix[1].MixWt = 0.7;
    blank->GMM[0].Mix[1].MixWt = 0.1;
    EXPECT_EQ(1, CopyModelBuf(blank.get(), other.get()));
    EXPECT_EQ(5.0, blank->GMM[0].Mix[1].Mean[2]);
    EXPECT_EQ(0.1, blank->GMM[0].Mix[1].MixWt); // weights are not copied
    EXPECT_EQ(0, CopyModelBuf(nullptr, other.get()));
    EXPECT_EQ(-102, GetVADLastError());
    EXPECT_EQ(0, ResetModelBuf(blank.get()));
    EXPECT_EQ(0.0, blank->GMM[0].Mix[1].Mean[2]);
}

TEST(GmmSet, CompositionLayoutAndValues)
{
    ModelPtr speech(CreateBlankModel(1, 2, 2));
    ModelPtr noise(CreateBlankModel(1, 3, 2));
    for (unsigned k = 0; k < 2; ++k) {
        speech->GMM[0].Mix[k].Mean[0] = 10.0 * (k + 1);
        speech->GMM[0].Mix[k].MixWt = std::log(0.5);
    }
    for (unsigned l = 0; l < 3; ++l) {
        noise->GMM[0].Mix[l].Mean[0] = l;
        noise->GMM[0].Mix[l].MixWt = std::log(1.0 / 3);
    }
    ModelPtr composed(LogNormalGMMComposition(speech.get(), noise.get()));
    ASSERT_TRUE(composed);
    ASSERT_EQ(1u, composed->NumModel);
    ASSERT_EQ(6u, composed->GMM[0].NumMix);
    // Speech-major: mixture k * 3 + l; the loudest source dominates the log-normal sum.
    EXPECT_NEAR(10.0, composed->GMM[0].Mix[0].Mean[0], 0.01);
    EXPECT_NEAR(20.0, composed->GMM[0].Mix[5].Mean[0], 0.01);
    EXPECT_NEAR(std::log(0.5) + std::log(1.0 / 3), composed->GMM[0].Mix[4].MixWt, 1e-12);

    ModelPtr vts(CreateBlankModel(1, 6, 2));
    ASSERT_EQ(0, LogVTSGMMComposition(vts.get(), speech.get(), noise.get()));
    // Equal means: mu + ln 2 and a quarter of each variance.
    EXPECT_NEAR(std::log(2.0), vts->GMM[0].Mix[0].Mean[1], 1e-6);
    EXPECT_NEAR(0.5, vts->GMM[0].Mix[0].Var[1], 1e-6);
    EXPECT_EQ(-104, LogVTSGMMComposition(speech.get(), speech.get(), noise.get()));

    // Mfcc conversion through an identity keeps the set.
    double rows[2][2] = {{1.0, 0.0}, {0.0, 1.0}};
    double* T[2] = {rows[0], rows[1]};
    ModelPtr same(FBankGMM2MfccGMM(speech.get(), T, 2, 2));
    ASSERT_TRUE(same);
    EXPECT_EQ(20.0, same->GMM[0].Mix[1].Mean[0]);
    EXPECT_FALSE(MfccGMM2FBankGMM(speech.get(), T, 2, 3)); // input dimension 3 is not the set's
}

TEST(Likelihood, LogAddAndPosteriors)
{
    EXPECT_EQ(-1e10, LAdd(-1e10, -1e10));
    EXPECT_EQ(0.0, LAdd(0.0, -30.0));
    EXPECT_NEAR(std::log(2.0), LAdd(0.0, 0.0), 1e-6);

    ModelPtr set(CreateBlankModel(1, 3, 2));
    MixBuf* mix = set->GMM[0].Mix;
    mix[0].MixWt = 0.0;
    mix[1].MixWt = 0.25;
    mix[2].MixWt = 0.75;
    mix[2].Mean[0] = 1.0;
    for (unsigned m = 0; m < 3; ++m) {
        mix[m].GConst = CompGConst(mix[m].Var, 2);
    }
    const double x[2] = {0.5, 0.0};
    double post[3] = {};
    const double total = CompPosteriori(post, 3, 2, mix, x);
    EXPECT_EQ(0.0, post[0]);
    EXPECT_NEAR(1.0, post[0] + post[1] + post[2], 1e-6); // single-precision logarithm
    EXPECT_NEAR(0.25, post[1], 1e-6); // equal densities at the midpoint
    const double density = -0.5 * (2 * std::log(2 * M_PI) + 0.25);
    EXPECT_NEAR(density, total, 1e-5);
    EXPECT_NEAR(density, LOutP(x, mix[1], 2), 1e-5);
    EXPECT_EQ(-1e10, CompPosteriori(post, 0, 2, mix, x));

    // The exported log-weight family with the observation in pieces.
    mix[1].MixWt = std::log(0.25);
    mix[2].MixWt = std::log(0.75);
    mix[0].MixWt = -1e10;
    const double a[1] = {0.5};
    const double b[1] = {0.0};
    double mixPost[3] = {};
    EXPECT_NEAR(total, CompMixPosteriori(3, 2, mix, mixPost, 2, a, 1u, b, 1u), 1e-5);
    EXPECT_NEAR(post[2], mixPost[2], 1e-6);
    const double q[3] = {0.0, 1.0, 0.0};
    EXPECT_NEAR(LMixOutP(mix[1], x, 2) + std::log(0.25), CompMixQOutP(3, 2, mix, q, 1, x, 2u), 1e-9);
    EXPECT_EQ(0.0, CompQOutP(0, 2, mix, x, q));
}

} // namespace
} // namespace Test
} // namespace Orvane
