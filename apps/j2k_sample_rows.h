// Per-sample steps of the JPEG 2000 decoder after the code-block decoder:
// dequantisation of the sign-magnitude words, conversion of fixed-point
// coefficients to floats for the ICT, and rounding, clamping and level shift
// into the picture; and the encoder's reversible coefficients into
// sign-magnitude words.  The scalar functions define each result; the row
// functions do whole groups of four with SSE2 and return how many samples
// they did (the caller finishes the row with the scalar ones), giving the
// same bits.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace zebimg::j2k::rows {

// A decoded word (sign, magnitude with one extra low bit) into a
// coefficient: ROI de-scaling (magnitudes at or above roiThresh shift down by
// roi), then half the magnitude (reversible) or the magnitude times scale
// rounded to nearest even and limited to 2^31 - 1.
inline std::int32_t dequantise(std::int32_t word, bool reversible, double scale, int roi, std::uint32_t roiThresh) {
    const std::uint32_t v = std::uint32_t(word);
    std::uint32_t mag = v & 0x7FFFFFFFu;
    if (mag >= roiThresh) mag >>= roi;
    const std::int32_t q = reversible ? std::int32_t(mag >> 1)
                                      : std::int32_t(std::min(2147483647.0, std::nearbyint(mag * scale)));
    return (v >> 31) ? -q : q;
}

// dequantise without ROI (roiThresh 0xFFFFFFFF).
inline int dequantiseRow(std::int32_t* row, int w, bool reversible, double scale) {
    const __m128i magnitude = _mm_set1_epi32(0x7FFFFFFF);
    const __m128d s = _mm_set1_pd(scale), limit = _mm_set1_pd(2147483647.0);
    int x = 0;
    for (; x + 4 <= w; x += 4) {
        __m128i* p = reinterpret_cast<__m128i*>(row + x);
        const __m128i v = _mm_loadu_si128(p);
        const __m128i mag = _mm_and_si128(v, magnitude);
        __m128i q;
        if (reversible) {
            q = _mm_srli_epi32(mag, 1);
        } else {
            // Limiting before the rounding changes nothing (the limit is an
            // integer); min(x, limit) takes limit for NaN, as std::min(limit, x).
            const __m128d lo = _mm_min_pd(_mm_mul_pd(_mm_cvtepi32_pd(mag), s), limit);
            const __m128d hi = _mm_min_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(mag, 8)), s), limit);
            q = _mm_unpacklo_epi64(_mm_cvtpd_epi32(lo), _mm_cvtpd_epi32(hi));
        }
        const __m128i sign = _mm_srai_epi32(v, 31);
        _mm_storeu_si128(p, _mm_sub_epi32(_mm_xor_si128(q, sign), sign));
    }
    return x;
}

// A fixed-point coefficient times s, as a float held in the same word.
inline std::int32_t fixedToFloat(std::int32_t v, double s) { return std::bit_cast<std::int32_t>(float(v * s)); }

// When s is a power of two from 2^-24 to 1 (the scale of fixed-point
// fractions) scaling by it commutes with the rounding to single precision:
// the row converts first and scales the floats.
inline int fixedToFloatRow(std::int32_t* v, int n, double s) {
    int e = 0;
    const bool powerOfTwo = std::frexp(s, &e) == 0.5 && e >= -23 && e <= 1;
    const __m128 fs = _mm_set1_ps(float(s));
    const __m128d vs = _mm_set1_pd(s);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i* p = reinterpret_cast<__m128i*>(v + i);
        const __m128i x = _mm_loadu_si128(p);
        if (powerOfTwo) {
            _mm_storeu_si128(p, _mm_castps_si128(_mm_mul_ps(_mm_cvtepi32_ps(x), fs)));
        } else {
            const __m128 lo = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(x), vs));
            const __m128 hi = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(x, 8)), vs));
            _mm_storeu_si128(p, _mm_castps_si128(_mm_movelh_ps(lo, hi)));
        }
    }
    return i;
}

// Kinds of tile samples.
enum class Kind { Integer, Float, FixedPoint };

// A tile sample into the picture: an integer as it is, a float (in the
// word's bits) or a fixed-point value times fs rounded to nearest even;
// plus the level shift, clamped to [lo, hi].
inline std::int32_t store(std::int32_t v, Kind kind, double fs, std::int64_t lo, std::int64_t hi, std::int64_t shift) {
    std::int64_t r;
    if (kind == Kind::Integer) r = v;
    else if (kind == Kind::Float) r = std::llrint(std::bit_cast<float>(v));
    else r = std::llrint(v * fs);
    return std::int32_t(std::clamp(r + shift, lo, hi));
}

// store for precisions 1 to 24 (lo, hi and shift those of the precision and
// signedness), done as a clamp to [-2^(p-1), 2^(p-1) - 1] before the
// rounding (exact in single precision; NaN and floats beyond llrint's range
// go to the low end, as its out-of-range value does), then the shift.
inline int storeRow(const std::int32_t* in, std::int32_t* out, int n, Kind kind, int precision, double fs, int shift) {
    const int lo = -(1 << (precision - 1)), hi = (1 << (precision - 1)) - 1;
    const __m128i vShift = _mm_set1_epi32(shift);
    const __m128i vLo = _mm_set1_epi32(lo), vHi = _mm_set1_epi32(hi);
    const __m128 fLo = _mm_set1_ps(float(lo)), fHi = _mm_set1_ps(float(hi));
    const __m128d dLo = _mm_set1_pd(lo), dHi = _mm_set1_pd(hi), dScale = _mm_set1_pd(fs);
    auto clamped = [&](__m128i two) {
        return _mm_min_pd(_mm_max_pd(_mm_mul_pd(_mm_cvtepi32_pd(two), dScale), dLo), dHi);
    };
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        __m128i q;
        if (kind == Kind::Integer) {
            const __m128i below = _mm_cmpgt_epi32(vLo, v), above = _mm_cmpgt_epi32(v, vHi);
            q = _mm_or_si128(_mm_andnot_si128(_mm_or_si128(below, above), v),
                             _mm_or_si128(_mm_and_si128(below, vLo), _mm_and_si128(above, vHi)));
        } else if (kind == Kind::Float) {
            // At or above 2^63 (and +infinity) llrint has no value either: the low end too.
            const __m128 f = _mm_castsi128_ps(v);
            const __m128 beyond = _mm_cmpge_ps(f, _mm_set1_ps(9223372036854775808.0f));
            const __m128 c = _mm_min_ps(_mm_max_ps(f, fLo), fHi);
            q = _mm_cvtps_epi32(_mm_or_ps(_mm_and_ps(beyond, fLo), _mm_andnot_ps(beyond, c)));
        } else {
            q = _mm_unpacklo_epi64(_mm_cvtpd_epi32(clamped(v)), _mm_cvtpd_epi32(clamped(_mm_srli_si128(v, 8))));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_add_epi32(q, vShift));
    }
    return x;
}

// Encoder side: reversible coefficients c into the code-block encoder's
// sign-magnitude words (sign in bit 31, |c| modulo 2^32 below, so -2^31
// gives 0x80000000), every magnitude ORed into `any` (the OR has the bit
// length of the largest).  Whole groups of four; returns how many it did.
inline int signMagnitudeRow(const std::int32_t* in, std::int32_t* out, int n, std::uint32_t& any) {
    const __m128i top = _mm_set1_epi32(std::int32_t(0x80000000u));
    __m128i acc = _mm_setzero_si128();
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        const __m128i sign = _mm_srai_epi32(c, 31);
        const __m128i m = _mm_sub_epi32(_mm_xor_si128(c, sign), sign);
        acc = _mm_or_si128(acc, m);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(m, _mm_and_si128(sign, top)));
    }
    acc = _mm_or_si128(acc, _mm_srli_si128(acc, 8));
    acc = _mm_or_si128(acc, _mm_srli_si128(acc, 4));
    any |= static_cast<std::uint32_t>(_mm_cvtsi128_si32(acc));
    return x;
}

}  // namespace zebimg::j2k::rows
