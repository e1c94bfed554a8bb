// 8x8 quantisers and the block-sized level shifts around the 16-bit DCT.
//
//  - quantQ15:   the plain forward quantiser, ((((8c) * (t >> 1)) >> 16) + 1) >> 1
//                on 16-bit lanes (Q15 reciprocal table t = 32768 / q).
//  - quantRound: the quantiser of the fused DCT functions, t * c / 32768 in
//                32 bits rounded to nearest, ties to even, saturated to 16 bits.
//  - dequant:    c * q, low 16 bits kept.
//  - sub128Block / storeShiftClip: 8u samples into a level-shifted block and
//                back with a level shift, saturation and a clip range.
// Scalar functions are the definitions; the SSE2 forms give the same bits.
#pragma once

#include <cstdint>

#include "core/simd.h"
#include "jpeg/dct/dct16_kernels.h"

namespace zeb::dct {

// ---- plain Q15 quantiser ------------------------------------------------------------
inline std::int16_t quantQ15One(std::int16_t c, std::uint16_t t) {
    const std::int32_t a = static_cast<std::int16_t>(static_cast<std::uint16_t>(c) << 3);
    const std::int32_t b = t >> 1;
    const std::int32_t p = (a * b) >> 16;
    return static_cast<std::int16_t>((p + 1) >> 1);
}

template <Path P>
inline void quantQ15(std::int16_t* blk, const std::uint16_t* table) {
    int i = 0;
    if constexpr (P == Path::Vector) {
        const __m128i one = _mm_set1_epi16(1);
        for (; i < 64; i += 8) {
            const __m128i a = _mm_slli_epi16(loadu(blk + i), 3);
            const __m128i b = _mm_srli_epi16(loadu(table + i), 1);
            storeu(blk + i, _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(a, b), one), 1));
        }
    }
    for (; i < 64; ++i) blk[i] = quantQ15One(blk[i], table[i]);
}

// ---- rounding quantiser of the fused functions -----------------------------------------
inline std::int16_t quantRoundOne(std::int16_t c, std::uint16_t t) {
    const std::int32_t prod = std::int32_t{c} * std::int32_t{t};  // |prod| < 2^31
    std::int32_t q = prod >> 15;                                   // floor
    const std::int32_t r = prod & 0x7FFF;
    if (r > 0x4000 || (r == 0x4000 && (q & 1))) ++q;
    return sat16(q);
}

// The 32-bit product p = c * t in 16-bit halves: hi = p >> 16 (the signed
// high half is off by c where t >= 32768), lo = p & 0xFFFF.  Then
// floor(p / 32768) = 2 hi + bit15(lo), and the quotient rounds up when the
// remainder r = lo & 0x7FFF exceeds 0x4000, or equals it with an odd floor:
// both together, inc = (lo + 0x3FFF + bit15(lo)) >> 15 (0 to 2), a 17-bit
// sum that the unsigned average (a + b + 1) >> 1 forms without overflow.
// The sum 2 hi + inc is saturated as hi + sat(hi + inc).
inline __m128i quantRoundVec(__m128i c, __m128i t) {
    const __m128i lo = _mm_mullo_epi16(c, t);
    const __m128i fix = _mm_and_si128(c, _mm_srai_epi16(t, 15));
    const __m128i hi = _mm_add_epi16(_mm_mulhi_epi16(c, t), fix);
    const __m128i half = _mm_add_epi16(_mm_srli_epi16(lo, 15), _mm_set1_epi16(0x3FFE));
    const __m128i inc = _mm_srli_epi16(_mm_avg_epu16(lo, half), 14);
    return _mm_adds_epi16(hi, _mm_adds_epi16(hi, inc));
}

template <Path P>
inline void quantRound(std::int16_t* blk, const std::uint16_t* table) {
    int i = 0;
    if constexpr (P == Path::Vector) {
        for (; i < 64; i += 8) storeu(blk + i, quantRoundVec(loadu(blk + i), loadu(table + i)));
    }
    for (; i < 64; ++i) blk[i] = quantRoundOne(blk[i], table[i]);
}

// ---- de-quantisation ----------------------------------------------------------------------
template <Path P>
inline void dequant(const std::int16_t* src, const std::uint16_t* table, std::int16_t* dst) {
    int i = 0;
    if constexpr (P == Path::Vector) {
        for (; i < 64; i += 8) storeu(dst + i, _mm_mullo_epi16(loadu(src + i), loadu(table + i)));
    }
    for (; i < 64; ++i)
        dst[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(src[i]) * table[i]));
}

// ---- 8u block <-> level-shifted 16s block ---------------------------------------------------
// Vector forms on rows held in registers.
inline void sub128Rows(const std::uint8_t* src, int step, __m128i* x) {
    for (int r = 0; r < 8; ++r) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rowAt(src, step, r)));
        x[r] = _mm_sub_epi16(_mm_unpacklo_epi8(v, _mm_setzero_si128()), _mm_set1_epi16(128));
    }
}

inline void storeShiftClipRows(const __m128i* x, std::uint8_t* dst, int step, std::int16_t shift, std::uint8_t lo,
                               std::uint8_t hi) {
    const __m128i s = _mm_set1_epi16(shift);
    const __m128i vlo = _mm_set1_epi8(static_cast<char>(lo)), vhi = _mm_set1_epi8(static_cast<char>(hi));
    for (int r = 0; r < 8; r += 2) {
        const __m128i a = _mm_add_epi16(x[r], s), b = _mm_add_epi16(x[r + 1], s);
        const __m128i v = _mm_min_epu8(_mm_max_epu8(_mm_packus_epi16(a, b), vlo), vhi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rowAt(dst, step, r)), v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rowAt(dst, step, r + 1)), _mm_srli_si128(v, 8));
    }
}

template <Path P>
inline void sub128Block(const std::uint8_t* src, int step, std::int16_t* dst) {
    if constexpr (P == Path::Vector) {
        __m128i x[8];
        sub128Rows(src, step, x);
        for (int r = 0; r < 8; ++r) storeu(dst + 8 * r, x[r]);
    } else {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) dst[8 * r + c] = static_cast<std::int16_t>(rowAt(src, step, r)[c] - 128);
    }
}

// Each sample plus shift (16-bit wrap-around), saturated to 0..255, then
// clamped to lo..hi (hi wins when lo > hi); row r goes to dst + r * step.
template <Path P>
inline void storeShiftClip(const std::int16_t* blk, std::uint8_t* dst, int step, std::int16_t shift, std::uint8_t lo,
                           std::uint8_t hi) {
    if constexpr (P == Path::Vector) {
        __m128i x[8];
        for (int r = 0; r < 8; ++r) x[r] = loadu(blk + 8 * r);
        storeShiftClipRows(x, dst, step, shift, lo, hi);
    } else {
        for (int r = 0; r < 8; ++r) {
            std::uint8_t* row = rowAt(dst, step, r);
            for (int c = 0; c < 8; ++c) {
                const std::int16_t v = static_cast<std::int16_t>(static_cast<std::uint16_t>(blk[8 * r + c] + shift));
                int x = v < 0 ? 0 : (v > 255 ? 255 : v);
                x = x < lo ? lo : x;
                x = x > hi ? hi : x;
                row[c] = static_cast<std::uint8_t>(x);
            }
        }
    }
}

}  // namespace zeb::dct
