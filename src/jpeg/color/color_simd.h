// SSE2 helpers of the colour kernels: 8 pixels per register as signed 16-bit
// lanes, weighted sums through paired 16-bit multiply-adds into 32-bit lanes.
#pragma once

#include <cstdint>

#include "core/simd.h"

namespace zeb::color {

// Multiplier register for _mm_madd_epi16 on (a, b) lane pairs.
inline __m128i pairWeights(int wa, int wb) {
    return _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(wb)) << 16) |
                                           static_cast<std::uint16_t>(wa)));
}

// (wa*a + wb*b + off) >> shift per lane, 32-bit exact, saturated to 16 bits.
template <int Shift>
inline __m128i dot2(__m128i a, __m128i b, int wa, int wb, int off) {
    const __m128i w = pairWeights(wa, wb), o = _mm_set1_epi32(off);
    const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), w), o);
    const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), w), o);
    return _mm_packs_epi32(_mm_srai_epi32(lo, Shift), _mm_srai_epi32(hi, Shift));
}

// (wa*a + wb*b + wc*c + off) >> shift per lane, 32-bit exact, saturated to 16 bits.
template <int Shift>
inline __m128i dot3(__m128i a, __m128i b, __m128i c, int wa, int wb, int wc, int off) {
    const __m128i wab = pairWeights(wa, wb), wc0 = pairWeights(wc, 0), o = _mm_set1_epi32(off);
    const __m128i z = _mm_setzero_si128();
    __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(a, b), wab);
    __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(a, b), wab);
    lo = _mm_add_epi32(_mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(c, z), wc0)), o);
    hi = _mm_add_epi32(_mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(c, z), wc0)), o);
    return _mm_packs_epi32(_mm_srai_epi32(lo, Shift), _mm_srai_epi32(hi, Shift));
}

inline __m128i clampLanes255(__m128i v) {
    return _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// Eight bytes widened to 16-bit lanes.
inline __m128i load8u8(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

// Eight 16-bit lanes holding 0..255 stored as bytes.
inline void store8u8(std::uint8_t* p, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v));
}

inline int sat16(int v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : v); }

}  // namespace zeb::color
