#include "Vad/fmath.h"

#include <cmath>

namespace fmath {
namespace detail {
namespace {

double FromBits(std::uint64_t bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

} // namespace

ExpTable::ExpTable()
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

LogTable::LogTable() : c_log2(static_cast<float>(0.69314718055994530942 / 8388608.0))
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

// Built when the library is loaded, ahead of the other static initialisers.
__attribute__((init_priority(101))) const ExpTable expdVar;
__attribute__((init_priority(101))) const LogTable logVar;

} // namespace detail
} // namespace fmath
