// Model sets through the public header alone, linked against the shared library: what the
// composition and conversion functions return is freed with the exported FreeModelBuf.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "Orvane/Vad/VadEngine.h"
#include "support/HeapInUse.h"

namespace {

// A set in the caller's own memory: every mixture's weight, means and variances given.
class CallerSet {
public:
    CallerSet(unsigned models, unsigned mixtures, unsigned dim, double mean)
        : values_(std::size_t(models) * mixtures * dim * 2), mixes_(std::size_t(models) * mixtures), gmms_(models)
    {
        double* next = values_.data();
        for (unsigned g = 0; g < models; ++g) {
            gmms_[g] = GMMBuf{mixtures, dim, &mixes_[std::size_t(g) * mixtures]};
            for (unsigned m = 0; m < mixtures; ++m) {
                MixBuf& mix = gmms_[g].Mix[m];
                mix = MixBuf{-1.0, next, next + dim, 0.0};
                for (unsigned d = 0; d < dim; ++d) {
                    mix.Mean[d] = mean + g + 0.1 * m;
                    mix.Var[d] = 1.0 + 0.01 * d;
                }
                next += 2 * dim;
            }
        }
        set_ = ModelBuf{models, gmms_.data()};
    }

    const ModelBuf* Get() const { return &set_; }

private:
    std::vector<double> values_;
    std::vector<MixBuf> mixes_;
    std::vector<GMMBuf> gmms_;
    ModelBuf set_{};
};

TEST(PublicModelSets, ComposedAndConvertedSetsAreFreed)
{
    const unsigned fb = 24;
    const unsigned cep = 12;
    const CallerSet speech(2, 4, fb, 5.0);
    const CallerSet noise(1, 2, fb, 1.0);
    // A cosine-like transform, fb to cep, and its transpose.
    std::vector<std::vector<double>> forward(cep, std::vector<double>(fb));
    std::vector<std::vector<double>> backward(fb, std::vector<double>(cep));
    for (unsigned c = 0; c < cep; ++c) {
        for (unsigned f = 0; f < fb; ++f) {
            forward[c][f] = backward[f][c] = (c == f ? 1.0 : 0.0) + 0.01 * ((c + f) % 5);
        }
    }
    std::vector<double*> toCep;
    std::vector<double*> toFb;
    for (auto& row : forward) {
        toCep.push_back(row.data());
    }
    for (auto& row : backward) {
        toFb.push_back(row.data());
    }

    FreeModelBuf(nullptr);
    const std::size_t before = Orvane::Test::HeapInUse();
    for (int i = 0; i < 1000; ++i) {
        ModelBuf* composed = LogNormalGMMComposition(speech.Get(), noise.Get());
        ASSERT_NE(nullptr, composed);
        ASSERT_EQ(2u, composed->NumModel);
        ASSERT_EQ(8u, composed->GMM[1].NumMix);
        ModelBuf* cepstral = FBankGMM2MfccGMM(composed, toCep.data(), fb, cep);
        ASSERT_NE(nullptr, cepstral);
        ASSERT_EQ(cep, cepstral->GMM[0].Dim);
        ModelBuf* back = MfccGMM2FBankGMM(cepstral, toFb.data(), fb, cep);
        ASSERT_NE(nullptr, back);
        ASSERT_EQ(fb, back->GMM[1].Dim);
        FreeModelBuf(back);
        FreeModelBuf(cepstral);
        FreeModelBuf(composed);
    }
    // A round makes three sets, about 19 kB in all: kept, they would hold 19 MB. The
    // sanitizer pass checks leaks at exit instead.
    if (Orvane::Test::kHeapMeasured) {
        const std::size_t after = Orvane::Test::HeapInUse();
        EXPECT_LT(after, before + 64 * 1024) << "grew by " << (after - before) << " bytes";
    }
}

} // namespace
