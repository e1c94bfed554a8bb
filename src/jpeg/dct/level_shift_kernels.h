// Row kernels of the whole-region level shifts: 8u - 128 -> 16s, and
// 16s + 128 (saturating) -> 8u limited to 0..255.  The vector path runs
// sixteen samples a step over the bulk of the row; the tail uses the scalar
// definition.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/simd.h"

namespace zeb::dct {

template <Path P>
inline void sub128Row(const std::uint8_t* s, std::int16_t* d, std::size_t n) {
    std::size_t i = 0;
    if constexpr (P == Path::Vector) {
        const __m128i z = _mm_setzero_si128(), k = _mm_set1_epi16(128);
        for (; i + 16 <= n; i += 16) {
            const __m128i v = loadu(s + i);
            storeu(d + i, _mm_sub_epi16(_mm_unpacklo_epi8(v, z), k));
            storeu(d + i + 8, _mm_sub_epi16(_mm_unpackhi_epi8(v, z), k));
        }
    }
    for (; i < n; ++i) d[i] = static_cast<std::int16_t>(s[i] - 128);
}

template <Path P>
inline void add128Row(const std::int16_t* s, std::uint8_t* d, std::size_t n) {
    std::size_t i = 0;
    if constexpr (P == Path::Vector) {
        const __m128i k = _mm_set1_epi16(128);
        for (; i + 16 <= n; i += 16) {
            const __m128i a = _mm_adds_epi16(loadu(s + i), k), b = _mm_adds_epi16(loadu(s + i + 8), k);
            storeu(d + i, _mm_packus_epi16(a, b));
        }
    }
    for (; i < n; ++i) {
        const int v = s[i] + 128;  // the saturating 16-bit add only matters above 32639, which clips anyway
        d[i] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
}

}  // namespace zeb::dct
