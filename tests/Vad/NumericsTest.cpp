#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Vad/fmath.h"
#include "Vad/memory.h"

namespace {

// Relative error of the fast exponential over its whole range stays near double rounding.
TEST(Fmath, ExponentialBounds)
{
    EXPECT_EQ(1.0, fmath::expd(0.0));
    EXPECT_NEAR(std::exp(1.0), fmath::expd(1.0), 1e-12 * std::exp(1.0));
    EXPECT_EQ(0.0, fmath::expd(-708.4));
    EXPECT_EQ(0.0, fmath::expd(fmath::kExpLowest));
    EXPECT_EQ(std::numeric_limits<double>::infinity(), fmath::expd(709.8));
    // Near zero the cubic dominates; far out the rounding of x itself (ulp(700) ~ 1e-13).
    double worstNear = 0.0;
    double worst = 0.0;
    for (double x = -708.0; x < 709.5; x += 0.0137) {
        const double exact = std::exp(x);
        const double error = std::fabs(fmath::expd(x) - exact) / exact;
        (std::fabs(x) <= 1.0 ? worstNear : worst) = std::max(std::fabs(x) <= 1.0 ? worstNear : worst, error);
    }
    EXPECT_LT(worstNear, 1e-15);
    EXPECT_LT(worst, 2e-13);
}

// The fast logarithm is within single precision of the exact one for normal inputs.
TEST(Fmath, LogarithmBounds)
{
    EXPECT_EQ(0.0f, fmath::log(1.0f));
    EXPECT_NEAR(std::log(2.0), fmath::log(2.0f), 1e-6);
    EXPECT_NEAR(-88.03, fmath::log(0.0f), 0.01);
    double worst = 0.0;
    for (double x = 1e-30; x < 1e30; x *= 1.00731) {
        const float f = static_cast<float>(x);
        const double exact = std::log(static_cast<double>(f));
        worst = std::max(worst, std::fabs(fmath::log(f) - exact));
    }
    // Absolute error: table interpolation plus single-precision rounding of values near 69.
    EXPECT_LT(worst, 2e-5);
    double relative = 0.0;
    for (double x = 0.5; x < 2.0; x += 1e-4) {
        const float f = static_cast<float>(x);
        relative = std::max(relative, std::fabs(fmath::log(f) - std::log(static_cast<double>(f))));
    }
    EXPECT_LT(relative, 1e-6);
}

TEST(Memory, VectorsAndMatrices)
{
    double** m = CreateDMatrix(3, 0);
    ASSERT_NE(nullptr, m);
    FreeDMatrix(m, 3);
    FreeDMatrix(nullptr, 3);

    short** s = CreateSMatrix(2, 4);
    ASSERT_NE(nullptr, s);
    s[1][3] = 7;
    ZeroSMatrix(s, 2, 4);
    EXPECT_EQ(0, s[1][3]);
    FreeSMatrix(s, 2);

    const short samples[] = {-32768, 32767, 0};
    double* d = CreateDVector(3);
    CopySDVector(d, samples, 3);
    EXPECT_EQ(-32768.0, d[0]);
    EXPECT_EQ(32767.0, d[1]);
    FreeDVector(d);

    // Counts beyond the bound fail like an allocation failure.
    EXPECT_EQ(nullptr, CreateDVector(kMaxVectorElements + 1));
    EXPECT_EQ(nullptr, CreateDMatrix(2, kMaxVectorElements + 1));
}

} // namespace
