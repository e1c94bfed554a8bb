// Row kernels of the one-dimensional vector helpers: byte copy and fill,
// 8u->16u widening, 32-bit AND with a constant, and reverse division.
// Each kernel is defined by its scalar path; the vector path aligns the
// destination with a scalar head, runs SSE2 over the bulk and finishes the
// tail with the scalar definition.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "simd.h"

namespace zeb::kern {

// Bytes before p reaches a 16-byte boundary (0..15), limited to n.
inline std::size_t headToAlign16(const void* p, std::size_t n) {
    const std::size_t mis = reinterpret_cast<std::uintptr_t>(p) & 15u;
    const std::size_t head = mis ? 16u - mis : 0u;
    return head < n ? head : n;
}

inline void store16(void* d, __m128i v, bool stream) {
    if (stream)
        _mm_stream_si128(static_cast<__m128i*>(d), v);
    else
        _mm_store_si128(static_cast<__m128i*>(d), v);
}

// ---- copy -----------------------------------------------------------------
template <Path P>
void copyBytes(const std::uint8_t* s, std::uint8_t* d, std::size_t n, bool stream = false) {
    std::size_t i = 0;
    if constexpr (P == Path::Vector) {
        const std::size_t head = headToAlign16(d, n);
        for (; i < head; ++i) d[i] = s[i];
        for (; i + 64 <= n; i += 64) {
            const __m128i a = loadu(s + i), b = loadu(s + i + 16), c = loadu(s + i + 32), e = loadu(s + i + 48);
            store16(d + i, a, stream);
            store16(d + i + 16, b, stream);
            store16(d + i + 32, c, stream);
            store16(d + i + 48, e, stream);
        }
        for (; i + 16 <= n; i += 16) store16(d + i, loadu(s + i), stream);
        if (stream) _mm_sfence();
    }
    for (; i < n; ++i) d[i] = s[i];
}

// ---- fill -----------------------------------------------------------------
template <Path P>
void setBytes(std::uint8_t v, std::uint8_t* d, std::size_t n) {
    std::size_t i = 0;
    if constexpr (P == Path::Vector) {
        const std::size_t head = headToAlign16(d, n);
        for (; i < head; ++i) d[i] = v;
        const __m128i vv = _mm_set1_epi8(static_cast<char>(v));
        for (; i + 64 <= n; i += 64) {
            store16(d + i, vv, false);
            store16(d + i + 16, vv, false);
            store16(d + i + 32, vv, false);
            store16(d + i + 48, vv, false);
        }
        for (; i + 16 <= n; i += 16) store16(d + i, vv, false);
    }
    for (; i < n; ++i) d[i] = v;
}

// ---- 8u -> 16u widening -----------------------------------------------------
template <Path P>
void widen8u16u(const std::uint8_t* s, std::uint16_t* d, std::size_t n, bool stream = false) {
    std::size_t i = 0;
    if constexpr (P == Path::Vector) {
        // Align the destination when it is at least 2-byte aligned, else use
        // unaligned stores throughout.
        const bool canAlign = (reinterpret_cast<std::uintptr_t>(d) & 1u) == 0;
        if (canAlign) {
            const std::size_t head = headToAlign16(d, 2 * n) / 2;
            for (; i < head; ++i) d[i] = s[i];
        }
        const bool aligned = (reinterpret_cast<std::uintptr_t>(d + i) & 15u) == 0;
        const bool nt = stream && aligned;
        const __m128i z = _mm_setzero_si128();
        for (; i + 32 <= n; i += 32) {
            const __m128i a = loadu(s + i), b = loadu(s + i + 16);
            const __m128i r0 = _mm_unpacklo_epi8(a, z), r1 = _mm_unpackhi_epi8(a, z);
            const __m128i r2 = _mm_unpacklo_epi8(b, z), r3 = _mm_unpackhi_epi8(b, z);
            if (aligned) {
                store16(d + i, r0, nt);
                store16(d + i + 8, r1, nt);
                store16(d + i + 16, r2, nt);
                store16(d + i + 24, r3, nt);
            } else {
                storeu(d + i, r0);
                storeu(d + i + 8, r1);
                storeu(d + i + 16, r2);
                storeu(d + i + 24, r3);
            }
        }
        for (; i + 16 <= n; i += 16) {
            const __m128i a = loadu(s + i);
            storeu(d + i, _mm_unpacklo_epi8(a, z));
            storeu(d + i + 8, _mm_unpackhi_epi8(a, z));
        }
        if (nt) _mm_sfence();
    }
    for (; i < n; ++i) d[i] = s[i];
}

// ---- 32-bit AND with a constant ------------------------------------------------
template <Path P>
void andC32(const std::int32_t* s, std::int32_t value, std::int32_t* d, std::size_t n) {
    std::size_t i = 0;
    if constexpr (P == Path::Vector) {
        const __m128i v = _mm_set1_epi32(value);
        for (; i + 8 <= n; i += 8) {
            const __m128i a = loadu(s + i), b = loadu(s + i + 4);
            storeu(d + i, _mm_and_si128(a, v));
            storeu(d + i + 4, _mm_and_si128(b, v));
        }
        for (; i + 4 <= n; i += 4) storeu(d + i, _mm_and_si128(loadu(s + i), v));
    }
    for (; i < n; ++i) d[i] = s[i] & value;
}

// ---- reverse division ---------------------------------------------------------
// d[k] = val / s[k] in single precision, rounded to nearest (ties to even);
// a zero divisor gives 65535.  Returns true when some divisor was zero.
// Only called with val != 0.
inline std::uint16_t divCRevOne(std::uint16_t val, std::uint16_t s) {
    if (s == 0) return 0xFFFF;
    const float q = static_cast<float>(val) / static_cast<float>(s);
    return static_cast<std::uint16_t>(std::nearbyint(q));
}

template <Path P>
bool divCRev(const std::uint16_t* s, std::uint16_t val, std::uint16_t* d, std::size_t n) {
    std::size_t i = 0;
    bool zero = false;
    if constexpr (P == Path::Vector) {
        // Eight quotients a step: widen to 32-bit, divide exactly in single
        // precision (the same value as the scalar division), convert with the
        // default round-to-nearest-even mode, and narrow through a signed
        // bias so that 65535 survives the saturating pack.
        const __m128 num = _mm_set1_ps(static_cast<float>(val));
        const __m128i z = _mm_setzero_si128();
        const __m128i bias32 = _mm_set1_epi32(32768);
        const __m128i bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
        __m128i zeroAcc = _mm_setzero_si128();
        for (; i + 8 <= n; i += 8) {
            const __m128i x = loadu(s + i);
            const __m128i isZero = _mm_cmpeq_epi16(x, z);
            zeroAcc = _mm_or_si128(zeroAcc, isZero);
            const __m128 lo = _mm_cvtepi32_ps(_mm_unpacklo_epi16(x, z));
            const __m128 hi = _mm_cvtepi32_ps(_mm_unpackhi_epi16(x, z));
            const __m128i qlo = _mm_sub_epi32(_mm_cvtps_epi32(_mm_div_ps(num, lo)), bias32);
            const __m128i qhi = _mm_sub_epi32(_mm_cvtps_epi32(_mm_div_ps(num, hi)), bias32);
            __m128i q = _mm_xor_si128(_mm_packs_epi32(qlo, qhi), bias16);
            q = _mm_or_si128(q, isZero);  // zero divisor -> 0xFFFF
            storeu(d + i, q);
        }
        zero = _mm_movemask_epi8(zeroAcc) != 0;
    }
    for (; i < n; ++i) {
        zero |= s[i] == 0;
        d[i] = divCRevOne(val, s[i]);
    }
    return zero;
}

}  // namespace zeb::kern
