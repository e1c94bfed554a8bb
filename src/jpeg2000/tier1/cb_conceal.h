// Concealment of a damaged code-block: everything below the plane p in which
// the damage was found is dropped, a coefficient with a magnitude bit in
// plane p or above gets bit p set (the midpoint of what the complete planes
// leave open), every other coefficient becomes +0.
#pragma once

#include <cstdint>

#include "core/simd.h"
#include "zeb.h"

namespace zeb::t1 {

template <Path P>
inline void concealRow(Zeb32s* row, int n, int plane) {
    const int p = plane < 0 ? 0 : (plane > 31 ? 31 : plane);
    const std::uint32_t keep = ~0u << p;
    const std::uint32_t bit = 1u << p;
    int i = 0;
    if constexpr (P == Path::Vector) {
        const __m128i vKeep = _mm_set1_epi32(static_cast<int>(keep));
        const __m128i vBit = _mm_set1_epi32(static_cast<int>(bit));
        const __m128i vMagnitude = _mm_set1_epi32(0x7FFFFFFF);
        for (; i + 4 <= n; i += 4) {
            const __m128i w = _mm_and_si128(loadu(row + i), vKeep);
            const __m128i isZero = _mm_cmpeq_epi32(_mm_and_si128(w, vMagnitude), _mm_setzero_si128());
            storeu(row + i, _mm_andnot_si128(isZero, _mm_or_si128(w, vBit)));
        }
    }
    for (; i < n; ++i) {
        const std::uint32_t w = static_cast<std::uint32_t>(row[i]) & keep;
        row[i] = static_cast<Zeb32s>((w & 0x7FFFFFFFu) ? (w | bit) : 0u);
    }
}

template <Path P>
inline void concealBlock(Zeb32s* dst, int step, int width, int height, int plane) {
    for (int y = 0; y < height; ++y) concealRow<P>(rowAt(dst, step, y), width, plane);
}

}  // namespace zeb::t1
