#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

// Table-driven exponential (double) and logarithm (single precision) of the detection
// engine. Their results, not the exact ones, define the engine's numbers; both rely on
// strict IEEE rounding (no contraction, no fast-math). They are inline because the noise
// tracking calls them a few thousand times per frame.
namespace fmath {

constexpr double kExpLowest = -708.3964185322641;
constexpr double kExpHighest = 709.782712893384;

namespace detail {

constexpr unsigned kExpBits = 11;
constexpr unsigned kExpSize = 1u << kExpBits;
constexpr unsigned kLogBits = 11;
constexpr unsigned kLogSize = 1u << kLogBits;

struct ExpTable {
    double a;
    double ra;
    double C1;
    double C2;
    double C3;
    std::uint64_t mantissa[kExpSize];

    ExpTable();
};

struct LogTable {
    float V[kLogSize];
    float S[kLogSize];
    float c_log2;

    LogTable();
};

extern const ExpTable expdVar;
extern const LogTable logVar;

} // namespace detail

inline double expd(double x)
{
    using namespace detail;
    if (x <= kExpLowest) {
        return 0.0;
    }
    if (x >= kExpHighest) {
        return std::numeric_limits<double>::infinity();
    }
    const double b = 6755399441055744.0; // 3 * 2^51: the low bits of d hold round(x * a)
    const double d = x * expdVar.a + b;
    std::uint64_t di;
    std::memcpy(&di, &d, sizeof di);
    const std::uint64_t mantissa = expdVar.mantissa[di & (kExpSize - 1)];
    const double t = (d - b) * expdVar.ra - x;
    const std::uint32_t low = static_cast<std::uint32_t>(di);
    const std::uint64_t exponent = static_cast<std::uint64_t>((low + 0x1ff800u) >> kExpBits);
    const std::uint64_t scaleBits = (exponent << 52) | mantissa;
    double scale;
    std::memcpy(&scale, &scaleBits, sizeof scale);
    const double y = (expdVar.C3 - t) * (t * t) * expdVar.C2 - t + expdVar.C1;
    return y * scale;
}

inline float log(float x)
{
    using namespace detail;
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    const std::int32_t biased = static_cast<std::int32_t>(b & 0x7f800000u) - 0x3f800000;
    const float e = static_cast<float>(biased) * logVar.c_log2;
    const std::uint32_t i = (b & 0x7ff000u) >> 12;
    const std::uint32_t m = b & 0xfffu;
    return (e + logVar.V[i]) + static_cast<float>(m) * logVar.S[i];
}

// Double-valued convenience: the argument goes through single precision and back.
inline double logd(double x)
{
    return static_cast<double>(fmath::log(static_cast<float>(x)));
}

} // namespace fmath
