#pragma once

#include <cstddef>
#include <cstdint>

namespace ivelmo {
namespace detail {

// Converts `pairs` YUYV pixel pairs (Y0, U, Y1, V) into 6 bytes each (B0, G0, R0, B1, G1, R1):
// with y = Y x 256, u = U - 128, v = V - 128, R = (y + 359v) >> 8, G = (y - 88u - 183v) >> 8,
// B = (y + 454u) >> 8, arithmetic shifts, each clamped to 0..255.
void ConvertYuyvToBgr(const uint8_t* source, uint8_t* destination, size_t pairs);

} // namespace detail
} // namespace ivelmo
