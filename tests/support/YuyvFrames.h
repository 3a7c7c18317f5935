#pragma once

#include <cstdint>
#include <vector>

namespace Orvane {
namespace Test {

// BGR of one YUYV sample by the integer formula of libivelmo's conversion, term by term:
// y = Y x 256, u = U - 128, v = V - 128; R = (y + 359v) >> 8, G = (y - 88u - 183v) >> 8,
// B = (y + 454u) >> 8, each clamped to 0..255.
inline void ReferenceBgr(int luma, int blue, int red, uint8_t* bgr)
{
    const int y = luma * 256;
    const int u = blue - 128;
    const int v = red - 128;
    const auto clamp = [](int value) { return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value)); };
    bgr[0] = clamp((y + 454 * u) >> 8);
    bgr[1] = clamp((y - 88 * u - 183 * v) >> 8);
    bgr[2] = clamp((y + 359 * v) >> 8);
}

// The BGR pixels of a YUYV frame, rows top to bottom, no padding.
inline std::vector<uint8_t> ReferenceBgrFrame(const std::vector<uint8_t>& yuyv, int width, int height)
{
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
    for (size_t pair = 0; pair < bgr.size() / 6; ++pair) {
        const uint8_t* in = &yuyv[pair * 4];
        ReferenceBgr(in[0], in[1], in[3], &bgr[pair * 6]);
        ReferenceBgr(in[2], in[1], in[3], &bgr[pair * 6 + 3]);
    }
    return bgr;
}

// A deterministic YUYV frame of width x height pixels plus `extra` trailing bytes.
inline std::vector<uint8_t> MakeYuyvFrame(int width, int height, uint32_t seed, size_t extra = 0)
{
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 2 + extra);
    uint32_t state = seed;
    for (uint8_t& byte : frame) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return frame;
}

} // namespace Test
} // namespace Orvane
