#pragma once

// Table-driven exponential (double) and logarithm (single precision) of the detection
// engine. Their results, not the exact ones, define the engine's numbers; both rely on
// strict IEEE rounding (no contraction, no fast-math).
namespace fmath {

constexpr double kExpLowest = -708.3964185322641;
constexpr double kExpHighest = 709.782712893384;

double expd(double x);
float log(float x);

// Double-valued convenience: the argument goes through single precision and back.
inline double logd(double x)
{
    return static_cast<double>(fmath::log(static_cast<float>(x)));
}

} // namespace fmath
