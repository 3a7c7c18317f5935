#include "yuyv_to_bgr.h"

#if defined(__SSE2__) && !defined(IVELMO_PORTABLE_CONVERSION)
#include <emmintrin.h>
#define IVELMO_SSE2_CONVERSION 1
#endif

namespace ivelmo {
namespace detail {

namespace {

inline uint8_t Clamp(int value)
{
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// As y is a multiple of 256, (y + x) >> 8 equals Y + (x >> 8) exactly.
void ConvertPortable(const uint8_t* source, uint8_t* destination, size_t pairs)
{
    for (size_t i = 0; i < pairs; ++i) {
        const uint8_t* in = source + i * 4;
        uint8_t* out = destination + i * 6;
        const int u = in[1] - 128;
        const int v = in[3] - 128;
        const int r = (359 * v) >> 8;
        const int g = (-88 * u - 183 * v) >> 8;
        const int b = (454 * u) >> 8;
        const int y0 = in[0];
        const int y1 = in[2];
        out[0] = Clamp(y0 + b);
        out[1] = Clamp(y0 + g);
        out[2] = Clamp(y0 + r);
        out[3] = Clamp(y1 + b);
        out[4] = Clamp(y1 + g);
        out[5] = Clamp(y1 + r);
    }
}

#if defined(IVELMO_SSE2_CONVERSION)

// The same formula in 16-bit lanes, exactly:
//   (359v) >> 8 = v + ((256v x 103) >> 16)          (359 = 256 + 103)
//   (454u) >> 8 = u + ((256u x 198) >> 16)          (454 = 256 + 198)
//   (-88u - 183v) >> 8 = ((73v - 88u) >> 8) - v     (-183 = -256 + 73; |73v - 88u| <= 20608)
// Y + each of these lies in -227..480, and the unsigned saturating pack is the clamp.
struct Pixels {
    __m128i blue;
    __m128i green;
    __m128i red;
};

// Eight pixel pairs (32 bytes) to sixteen pixels of 16-bit B, G and R, in pixel order:
// the chroma terms are computed once per pair, then given to both pixels.
inline void ConvertSixteenTo16Bit(const uint8_t* source, Pixels& low, Pixels& high)
{
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 16));
    const __m128i byte32 = _mm_set1_epi32(0x000000FF);
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i u = _mm_sub_epi16(_mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(first, 8), byte32),
                                                    _mm_and_si128(_mm_srli_epi32(second, 8), byte32)),
                                    bias);
    const __m128i v = _mm_sub_epi16(_mm_packs_epi32(_mm_srli_epi32(first, 24), _mm_srli_epi32(second, 24)), bias);
    const __m128i red = _mm_add_epi16(v, _mm_mulhi_epi16(_mm_slli_epi16(v, 8), _mm_set1_epi16(103)));
    const __m128i blue = _mm_add_epi16(u, _mm_mulhi_epi16(_mm_slli_epi16(u, 8), _mm_set1_epi16(198)));
    const __m128i mixed = _mm_sub_epi16(_mm_mullo_epi16(v, _mm_set1_epi16(73)), _mm_mullo_epi16(u, _mm_set1_epi16(88)));
    const __m128i green = _mm_sub_epi16(_mm_srai_epi16(mixed, 8), v);
    const __m128i byte16 = _mm_set1_epi16(0x00FF);
    const __m128i lumaLow = _mm_and_si128(first, byte16);
    const __m128i lumaHigh = _mm_and_si128(second, byte16);
    low.blue = _mm_add_epi16(lumaLow, _mm_unpacklo_epi16(blue, blue));
    low.green = _mm_add_epi16(lumaLow, _mm_unpacklo_epi16(green, green));
    low.red = _mm_add_epi16(lumaLow, _mm_unpacklo_epi16(red, red));
    high.blue = _mm_add_epi16(lumaHigh, _mm_unpackhi_epi16(blue, blue));
    high.green = _mm_add_epi16(lumaHigh, _mm_unpackhi_epi16(green, green));
    high.red = _mm_add_epi16(lumaHigh, _mm_unpackhi_epi16(red, red));
}

// Four BGR0 pixels (32-bit lanes, top byte zero) to 12 packed bytes, then 4 zero bytes.
inline __m128i PackFour(__m128i bgrx)
{
    const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i second =
        _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000), 0x0000FFFF, static_cast<int>(0xFF000000));
    // Each 64-bit lane: its first pixel in bytes 0-2, its second moved down to bytes 3-5.
    const __m128i pairs = _mm_or_si128(_mm_and_si128(bgrx, first), _mm_and_si128(_mm_srli_epi64(bgrx, 8), second));
    return _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
}

// Eight pixel pairs (32 bytes) to 48 bytes of BGR.
inline void ConvertSixteen(const uint8_t* source, uint8_t* destination)
{
    Pixels a;
    Pixels b;
    ConvertSixteenTo16Bit(source, a, b);
    const __m128i blue = _mm_packus_epi16(a.blue, b.blue);
    const __m128i green = _mm_packus_epi16(a.green, b.green);
    const __m128i red = _mm_packus_epi16(a.red, b.red);
    const __m128i zero = _mm_setzero_si128();
    const __m128i blueGreenLow = _mm_unpacklo_epi8(blue, green);
    const __m128i blueGreenHigh = _mm_unpackhi_epi8(blue, green);
    const __m128i redLow = _mm_unpacklo_epi8(red, zero);
    const __m128i redHigh = _mm_unpackhi_epi8(red, zero);
    const __m128i c0 = PackFour(_mm_unpacklo_epi16(blueGreenLow, redLow));
    const __m128i c1 = PackFour(_mm_unpackhi_epi16(blueGreenLow, redLow));
    const __m128i c2 = PackFour(_mm_unpacklo_epi16(blueGreenHigh, redHigh));
    const __m128i c3 = PackFour(_mm_unpackhi_epi16(blueGreenHigh, redHigh));
    __m128i* out = reinterpret_cast<__m128i*>(destination);
    _mm_storeu_si128(out, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
    _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
    _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
}

#endif

} // namespace

void ConvertYuyvToBgr(const uint8_t* source, uint8_t* destination, size_t pairs)
{
#if defined(IVELMO_SSE2_CONVERSION)
    const size_t whole = pairs / 8 * 8;
    for (size_t i = 0; i < whole; i += 8) {
        ConvertSixteen(source + i * 4, destination + i * 6);
    }
    ConvertPortable(source + whole * 4, destination + whole * 6, pairs - whole);
#else
    ConvertPortable(source, destination, pairs);
#endif
}

} // namespace detail
} // namespace ivelmo
