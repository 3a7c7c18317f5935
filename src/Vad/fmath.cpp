#include "Vad/fmath.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace fmath {
namespace {

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

    ExpTable()
        : a(2954.639443740597), ra(0.0003384507717577858), C1(1.0), C2(FromBits(0x3fc5555555bb5fdbULL)),
          C3(FromBits(0x4008000000600dd3ULL))
    {
        for (unsigned j = 0; j < kExpSize; ++j) {
            const double p = std::pow(2.0, static_cast<double>(j) / kExpSize);
            std::uint64_t bits;
            std::memcpy(&bits, &p, sizeof bits);
            mantissa[j] = bits & 0x000fffffffffffffULL;
        }
    }

    static double FromBits(std::uint64_t bits)
    {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
};

struct LogTable {
    float V[kLogSize];
    float S[kLogSize];
    float c_log2;

    LogTable() : c_log2(static_cast<float>(0.69314718055994530942 / 8388608.0))
    {
        const double step = 1.0 / kLogSize;
        const double tiny = std::ldexp(1.0, -24);
        for (unsigned i = 0; i < kLogSize; ++i) {
            const double v = std::log(1.0 + i * step);
            V[i] = static_cast<float>(v);
            if (i + 1 < kLogSize) {
                const double next = std::log(1.0 + (i + 1) * step - tiny);
                S[i] = static_cast<float>((next - v) / ((step - tiny) * 8388608.0));
            } else {
                S[i] = static_cast<float>(1.0 / ((1.0 + i * step) * 8388608.0));
            }
        }
    }
};

// Built when the library is loaded, ahead of the other static initialisers.
__attribute__((init_priority(101))) const ExpTable expdVar;
__attribute__((init_priority(101))) const LogTable logVar;

} // namespace

double expd(double x)
{
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

float log(float x)
{
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    const std::int32_t biased = static_cast<std::int32_t>(b & 0x7f800000u) - 0x3f800000;
    const float e = static_cast<float>(biased) * logVar.c_log2;
    const std::uint32_t i = (b & 0x7ff000u) >> 12;
    const std::uint32_t m = b & 0xfffu;
    return (e + logVar.V[i]) + static_cast<float>(m) * logVar.S[i];
}

} // namespace fmath
