// Irreversible 9/7 lifting kernels.
//
// Four lifting steps and a scaling step (ISO/IEC 15444-1 Annex F):
//   d(2n+1)  = x(2n+1) + ALPHA (x(2n) + x(2n+2))
//   s(2n)    = x(2n)   + BETA  (d(2n-1) + d(2n+1))
//   d'(2n+1) = d(2n+1) + GAMMA (s(2n) + s(2n+2))
//   s'(2n)   = s(2n)   + DELTA (d'(2n-1) + d'(2n+1))
//   L(n) = KL s'(2n),  H(n) = K d'(2n+1)
// and the mirror steps for the inverse.
//
// Lines are handled as two sequences: E[k] (even coordinates) and O[k] (odd
// coordinates).  A line whose first sample has odd coordinate is addressed
// from one sample earlier (x'(j) = x(j-1)), so its low coefficients are E[1..]
// and its high ones O[0..].  Every step is an element-wise operation
//   odd step:   O[k] = f(O[k], E[k], E[k+1])
//   even step:  E[k] = f(E[k], O[k-1], O[k])
// so a step over a span of k runs the same way along a row (elements are
// samples) or down a column (elements are whole rows).  The forward steps are
// odd, even, odd, even followed by the high-band scale; the inverse steps are
// even, odd, even, odd with the scales folded into the first two.
//
// Arithmetic families (traits below):
//   LineF32  single-precision lifting (32f rows, columns, ColLift/ColStep);
//   LineS32  Q16 fixed point with a fused low output, wrapping (32s lines);
//   LineS16  saturating 16-bit fixed point (16s rows and ColLift); the first
//            and last coefficient of a row use the Q16 equations, saturated;
//   TileS32  single-precision lifting on 32-bit integers, truncating and
//            saturating outputs (32s whole tiles);
//   TileS16  Q14 fixed point, every intermediate kept in 16 bits (16s tiles).
// Each family has a scalar definition one<Op>() and, where it has a vector
// path, vec<Op>() that computes kLanes elements with identical bits.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/simd.h"
#include "jpeg2000/transform/wt_common.h"

namespace zeb::d97 {

// ---- constants -------------------------------------------------------------------------
inline constexpr double kAlphaD = -1.5861343, kBetaD = -0.052980117, kGammaD = 0.8829111, kDeltaD = 0.44350687,
                        kKLD = 0.8128931, kKD = 1.2301741, kDeltaKLD = 0.36052364;

inline constexpr float kAlpha = static_cast<float>(kAlphaD);
inline constexpr float kBeta = static_cast<float>(kBetaD);
inline constexpr float kGamma = static_cast<float>(kGammaD);
inline constexpr float kDelta = static_cast<float>(kDeltaD);
inline constexpr float kKL = static_cast<float>(kKLD);
inline constexpr float kK = static_cast<float>(kKD);
inline constexpr float kDeltaKL = static_cast<float>(kDeltaKLD);
static_assert(std::bit_cast<std::uint32_t>(kAlpha) == 0xBFCB0673u);
static_assert(std::bit_cast<std::uint32_t>(kBeta) == 0xBD5901AEu);
static_assert(std::bit_cast<std::uint32_t>(kGamma) == 0x3F620676u);
static_assert(std::bit_cast<std::uint32_t>(kDelta) == 0x3EE31355u);
static_assert(std::bit_cast<std::uint32_t>(kKL) == 0x3F5019C3u);
static_assert(std::bit_cast<std::uint32_t>(kK) == 0x3F9D7658u);
static_assert(std::bit_cast<std::uint32_t>(kDeltaKL) == 0x3EB8968Eu);

// v * 2^bits rounded to the nearest integer.
constexpr int fixedPoint(double v, int bits) {
    const double s = v * static_cast<double>(1 << bits);
    return s < 0 ? -static_cast<int>(-s + 0.5) : static_cast<int>(s + 0.5);
}

inline constexpr int kAlphaQ16 = fixedPoint(kAlphaD, 16), kBetaQ16 = fixedPoint(kBetaD, 16),
                     kGammaQ16 = fixedPoint(kGammaD, 16), kDeltaQ16 = fixedPoint(kDeltaD, 16),
                     kKLQ16 = fixedPoint(kKLD, 16), kKQ16 = fixedPoint(kKD, 16),
                     kDeltaKLQ16 = fixedPoint(kDeltaKLD, 16);
static_assert(kAlphaQ16 == -103949 && kBetaQ16 == -3472 && kGammaQ16 == 57862 && kDeltaQ16 == 29066);
static_assert(kKLQ16 == 53274 && kKQ16 == 80621 && kDeltaKLQ16 == 23627);

inline constexpr int kAlphaQ14 = fixedPoint(kAlphaD, 14), kBetaQ14 = fixedPoint(kBetaD, 14),
                     kGammaQ14 = fixedPoint(kGammaD, 14), kDeltaQ14 = fixedPoint(kDeltaD, 14),
                     kKLQ14 = fixedPoint(kKLD, 14), kKQ14 = fixedPoint(kKD, 14);
static_assert(kAlphaQ14 == -25987 && kBetaQ14 == -868 && kGammaQ14 == 14466 && kDeltaQ14 == 7266);
static_assert(kKLQ14 == 13318 && kKQ14 == 20155);

// Saturating 16-bit line constants: ALPHA and K in Q14 (applied to four times
// the value), GAMMA and KL in Q15 (applied to twice the value), the rest Q16.
inline constexpr int kGammaQ15 = fixedPoint(kGammaD, 15), kKLQ15 = fixedPoint(kKLD, 15);
static_assert(kGammaQ15 == 28931 && kKLQ15 == 26637);

// Convolution taps of the normalised filters, centre first, for lines whose
// bands hold a single coefficient.
inline constexpr double kAnaLow[5] = {0.602949, 0.26686412, -0.078223266, -0.01686412, 0.026748758};
inline constexpr double kAnaHigh[4] = {1.115087, -0.59127176, -0.057543527, 0.091271766};
inline constexpr double kSynLow[4] = {1.115087, 0.59127176, -0.057543527, -0.091271766};
inline constexpr double kSynHigh[5] = {0.602949, -0.26686412, -0.078223266, 0.01686412, 0.026748758};

// ---- step identifiers ------------------------------------------------------------------
enum Op { F1, F2, F3, F4, FH, I1, I2, I3, I4 };
inline constexpr Op kFwdOps[4] = {F1, F2, F3, F4};
inline constexpr Op kInvOps[4] = {I1, I2, I3, I4};
// Whether step i of a direction updates the odd sequence.
constexpr bool oddStep(bool forward, int i) { return forward ? (i % 2 == 0) : (i % 2 == 1); }

// ---- scalar helpers -----------------------------------------------------------------------
inline std::int32_t add32(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t sub32(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
// R16(c, v) = (c v + 32768) >> 16, product in 64 bits, result wrapped to 32.
inline std::int32_t r16(std::int64_t c, std::int32_t v) { return static_cast<std::int32_t>((c * v + 32768) >> 16); }
// (c1 v1 + c2 v2 + 32768) >> 16 in 64 bits.
inline std::int32_t r16x2(std::int64_t c1, std::int32_t v1, std::int64_t c2, std::int32_t v2) {
    return static_cast<std::int32_t>((c1 * v1 + c2 * v2 + 32768) >> 16);
}
inline std::int16_t sat16(std::int64_t v) {
    return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}
inline std::int16_t adds16(std::int32_t a, std::int32_t b) { return sat16(a + b); }
inline std::int16_t subs16(std::int32_t a, std::int32_t b) { return sat16(a - b); }
inline std::int16_t dbl16(std::int32_t a) { return sat16(a + a); }
// Scaled product of the saturating family: P = c t; alone sat((P >> 16) + bit 15 of P).
inline std::int16_t mulQ(int c, std::int16_t t) {
    const std::int32_t p = c * t;
    return sat16((p >> 16) + ((p >> 15) & 1));
}
// v + M(c, t) = sat(sat(v + (P >> 16)) + bit 15 of P).
inline std::int16_t addMulQ(std::int16_t v, int c, std::int16_t t) {
    const std::int32_t p = c * t;
    return sat16(sat16(v + (p >> 16)) + ((p >> 15) & 1));
}
// R14(c, v) = (c v + 8192) >> 14 in 32 bits.
inline std::int32_t r14(std::int32_t c, std::int32_t v) { return (c * v + 8192) >> 14; }
inline std::int16_t wrap16(std::int32_t v) { return static_cast<std::int16_t>(v); }

// Single precision to signed 32 bits: truncation toward zero, clamped.
inline std::int32_t floatToInt32(float v) {
    if (v >= 2147483648.0f) return 2147483647;
    if (v <= -2147483648.0f) return static_cast<std::int32_t>(0x80000000u);
    return static_cast<std::int32_t>(v);
}

// ---- families ------------------------------------------------------------------------------
struct LineF32 {
    using T = float;
    using W = float;
    static constexpr int kLanes = 4;
    static constexpr bool kEdges = false;

    template <Op O>
    static W one(W in, W a, W b, bool) {
        if constexpr (O == F1) return in + (a + b) * kAlpha;
        if constexpr (O == F2) return in + (a + b) * kBeta;
        if constexpr (O == F3) return in + (a + b) * kGamma;
        if constexpr (O == F4) return (in + (a + b) * kDelta) * kKL;
        if constexpr (O == FH) return in * kK;
        if constexpr (O == I1) return in * kK - (a + b) * kDeltaKL;
        if constexpr (O == I2) return in * kKL - (a + b) * kGamma;
        if constexpr (O == I3) return in - (a + b) * kBeta;
        if constexpr (O == I4) return in - (a + b) * kAlpha;
    }
    template <Op O>
    static void vec(W* out, const W* in, const W* a, const W* b) {
        const __m128 v = _mm_loadu_ps(in);
        const __m128 s = (O == FH) ? v : _mm_add_ps(_mm_loadu_ps(a), _mm_loadu_ps(b));
        __m128 r;
        if constexpr (O == F1) r = _mm_add_ps(v, _mm_mul_ps(s, _mm_set1_ps(kAlpha)));
        if constexpr (O == F2) r = _mm_add_ps(v, _mm_mul_ps(s, _mm_set1_ps(kBeta)));
        if constexpr (O == F3) r = _mm_add_ps(v, _mm_mul_ps(s, _mm_set1_ps(kGamma)));
        if constexpr (O == F4) r = _mm_mul_ps(_mm_add_ps(v, _mm_mul_ps(s, _mm_set1_ps(kDelta))), _mm_set1_ps(kKL));
        if constexpr (O == FH) r = _mm_mul_ps(v, _mm_set1_ps(kK));
        if constexpr (O == I1) r = _mm_sub_ps(_mm_mul_ps(v, _mm_set1_ps(kK)), _mm_mul_ps(s, _mm_set1_ps(kDeltaKL)));
        if constexpr (O == I2) r = _mm_sub_ps(_mm_mul_ps(v, _mm_set1_ps(kKL)), _mm_mul_ps(s, _mm_set1_ps(kGamma)));
        if constexpr (O == I3) r = _mm_sub_ps(v, _mm_mul_ps(s, _mm_set1_ps(kBeta)));
        if constexpr (O == I4) r = _mm_sub_ps(v, _mm_mul_ps(s, _mm_set1_ps(kAlpha)));
        _mm_storeu_ps(out, r);
    }
    static W fwdLoad(T v) { return v; }
    static W invLoadE(T v) { return v; }
    static W invLoadO(T v) { return v; }
    static T store(W v) { return v; }
};

// Signed 32x32 -> 64-bit products of the even lanes (0 and 2) of a and b,
// from the unsigned product corrected by the operands' signs.
inline __m128i mulEvenS32(__m128i a, __m128i b) {
    const __m128i u = _mm_mul_epu32(a, b);
    const __m128i fixA = _mm_and_si128(_mm_srai_epi32(a, 31), b);
    const __m128i fixB = _mm_and_si128(_mm_srai_epi32(b, 31), a);
    // The corrections subtract from the high halves: move lanes 0, 2 up by 32 bits.
    const __m128i fix = _mm_slli_epi64(_mm_add_epi32(fixA, fixB), 32);
    return _mm_sub_epi64(u, fix);
}
// Four 64-bit sums (lo holds lanes 0 and 2, hi lanes 1 and 3) shifted right
// by 16 and packed back to 32-bit lanes 0..3 (low 32 bits of each).
inline __m128i shr16Pack(__m128i lo, __m128i hi) {
    const __m128i l = _mm_srli_epi64(lo, 16);  // low 32 bits of an arithmetic shift equal these
    const __m128i h = _mm_srli_epi64(hi, 16);
    // l: [r0, x, r2, x], h: [r1, x, r3, x] -> [r0, r1, r2, r3]
    const __m128i l02 = _mm_shuffle_epi32(l, _MM_SHUFFLE(3, 1, 2, 0));  // r0 r2 . .
    const __m128i h13 = _mm_shuffle_epi32(h, _MM_SHUFFLE(3, 1, 2, 0));  // r1 r3 . .
    return _mm_unpacklo_epi32(l02, h13);
}
// (c1 v1 + c2 v2 + 32768) >> 16 for four lanes (c2 may be 0 with v2 ignored).
inline __m128i r16x2Vec(__m128i c1, __m128i v1, __m128i c2, __m128i v2, bool two) {
    const __m128i rnd = _mm_set_epi32(0, 32768, 0, 32768);
    __m128i lo = _mm_add_epi64(mulEvenS32(c1, v1), rnd);
    __m128i hi = _mm_add_epi64(mulEvenS32(c1, _mm_srli_epi64(v1, 32)), rnd);
    if (two) {
        lo = _mm_add_epi64(lo, mulEvenS32(c2, v2));
        hi = _mm_add_epi64(hi, mulEvenS32(c2, _mm_srli_epi64(v2, 32)));
    }
    return shr16Pack(lo, hi);
}

struct LineS32 {
    using T = std::int32_t;
    using W = std::int32_t;
    static constexpr int kLanes = 4;
    static constexpr bool kEdges = false;

    template <Op O>
    static W one(W in, W a, W b, bool) {
        const W s = add32(a, b);
        if constexpr (O == F1) return add32(in, r16(kAlphaQ16, s));
        if constexpr (O == F2) return add32(in, r16(kBetaQ16, s));
        if constexpr (O == F3) return add32(in, r16(kGammaQ16, s));
        if constexpr (O == F4) return r16x2(kKLQ16, in, kDeltaKLQ16, s);
        if constexpr (O == FH) return r16(kKQ16, in);
        if constexpr (O == I1) return r16x2(kKQ16, in, -kDeltaKLQ16, s);
        if constexpr (O == I2) return r16x2(kKLQ16, in, -kGammaQ16, s);
        if constexpr (O == I3) return sub32(in, r16(kBetaQ16, s));
        if constexpr (O == I4) return sub32(in, r16(kAlphaQ16, s));
    }
    template <Op O>
    static void vec(W* out, const W* in, const W* a, const W* b) {
        const __m128i v = loadu(in);
        const __m128i s = (O == FH) ? v : _mm_add_epi32(loadu(a), loadu(b));
        const __m128i z = _mm_setzero_si128();
        auto c = [](int k) { return _mm_set1_epi32(k); };
        __m128i r;
        if constexpr (O == F1) r = _mm_add_epi32(v, r16x2Vec(c(kAlphaQ16), s, z, z, false));
        if constexpr (O == F2) r = _mm_add_epi32(v, r16x2Vec(c(kBetaQ16), s, z, z, false));
        if constexpr (O == F3) r = _mm_add_epi32(v, r16x2Vec(c(kGammaQ16), s, z, z, false));
        if constexpr (O == F4) r = r16x2Vec(c(kKLQ16), v, c(kDeltaKLQ16), s, true);
        if constexpr (O == FH) r = r16x2Vec(c(kKQ16), v, z, z, false);
        if constexpr (O == I1) r = r16x2Vec(c(kKQ16), v, c(-kDeltaKLQ16), s, true);
        if constexpr (O == I2) r = r16x2Vec(c(kKLQ16), v, c(-kGammaQ16), s, true);
        if constexpr (O == I3) r = _mm_sub_epi32(v, r16x2Vec(c(kBetaQ16), s, z, z, false));
        if constexpr (O == I4) r = _mm_sub_epi32(v, r16x2Vec(c(kAlphaQ16), s, z, z, false));
        storeu(out, r);
    }
    static W fwdLoad(T v) { return v; }
    static W invLoadE(T v) { return v; }
    static W invLoadO(T v) { return v; }
    static T store(W v) { return v; }
};

struct LineS16 {
    using T = std::int16_t;
    using W = std::int16_t;
    static constexpr int kLanes = 8;
    static constexpr bool kEdges = true;

    // Interior: saturating steps.  Edge: the Q16 equations, each step saturated.
    template <Op O>
    static W one(W in, W a, W b, bool edge) {
        if (edge) {
            const std::int32_t s = a + b;
            if constexpr (O == F1) return sat16(static_cast<std::int64_t>(in) + r16(kAlphaQ16, s));
            if constexpr (O == F2) return sat16(static_cast<std::int64_t>(in) + r16(kBetaQ16, s));
            if constexpr (O == F3) return sat16(static_cast<std::int64_t>(in) + r16(kGammaQ16, s));
            if constexpr (O == F4) return sat16(r16x2(kKLQ16, in, kDeltaKLQ16, s));
            if constexpr (O == FH) return sat16(r16(kKQ16, in));
            if constexpr (O == I1) return sat16(r16x2(kKQ16, in, -kDeltaKLQ16, s));
            if constexpr (O == I2) return sat16(r16x2(kKLQ16, in, -kGammaQ16, s));
            if constexpr (O == I3) return sat16(static_cast<std::int64_t>(in) - r16(kBetaQ16, s));
            if constexpr (O == I4) return sat16(static_cast<std::int64_t>(in) - r16(kAlphaQ16, s));
        }
        const W s = adds16(a, b);
        if constexpr (O == F1) return addMulQ(in, kAlphaQ14, dbl16(dbl16(s)));
        if constexpr (O == F2) return addMulQ(in, kBetaQ16, s);
        if constexpr (O == F3) return addMulQ(in, kGammaQ15, dbl16(s));
        if constexpr (O == F4) return adds16(mulQ(kDeltaKLQ16, s), mulQ(kKLQ15, dbl16(in)));
        if constexpr (O == FH) return mulQ(kKQ14, dbl16(dbl16(in)));
        if constexpr (O == I1) return subs16(mulQ(kKQ14, dbl16(dbl16(in))), mulQ(kDeltaKLQ16, s));
        if constexpr (O == I2) return subs16(mulQ(kKLQ15, dbl16(in)), mulQ(kGammaQ15, dbl16(s)));
        if constexpr (O == I3) return addMulQ(in, -kBetaQ16, s);
        if constexpr (O == I4) return addMulQ(in, -kAlphaQ14, dbl16(dbl16(s)));
    }

    static __m128i mulQv(int c, __m128i t) {
        const __m128i k = _mm_set1_epi16(static_cast<short>(c));
        return _mm_adds_epi16(_mm_mulhi_epi16(t, k), _mm_srli_epi16(_mm_mullo_epi16(t, k), 15));
    }
    static __m128i addMulQv(__m128i v, int c, __m128i t) {
        const __m128i k = _mm_set1_epi16(static_cast<short>(c));
        return _mm_adds_epi16(_mm_adds_epi16(v, _mm_mulhi_epi16(t, k)), _mm_srli_epi16(_mm_mullo_epi16(t, k), 15));
    }
    static __m128i dbl(__m128i v) { return _mm_adds_epi16(v, v); }

    template <Op O>
    static void vec(W* out, const W* in, const W* a, const W* b) {
        const __m128i v = loadu(in);
        const __m128i s = (O == FH) ? v : _mm_adds_epi16(loadu(a), loadu(b));
        __m128i r;
        if constexpr (O == F1) r = addMulQv(v, kAlphaQ14, dbl(dbl(s)));
        if constexpr (O == F2) r = addMulQv(v, kBetaQ16, s);
        if constexpr (O == F3) r = addMulQv(v, kGammaQ15, dbl(s));
        if constexpr (O == F4) r = _mm_adds_epi16(mulQv(kDeltaKLQ16, s), mulQv(kKLQ15, dbl(v)));
        if constexpr (O == FH) r = mulQv(kKQ14, dbl(dbl(v)));
        if constexpr (O == I1) r = _mm_subs_epi16(mulQv(kKQ14, dbl(dbl(v))), mulQv(kDeltaKLQ16, s));
        if constexpr (O == I2) r = _mm_subs_epi16(mulQv(kKLQ15, dbl(v)), mulQv(kGammaQ15, dbl(s)));
        if constexpr (O == I3) r = addMulQv(v, -kBetaQ16, s);
        if constexpr (O == I4) r = addMulQv(v, -kAlphaQ14, dbl(dbl(s)));
        storeu(out, r);
    }
    static W fwdLoad(T v) { return v; }
    static W invLoadE(T v) { return v; }
    static W invLoadO(T v) { return v; }
    static T store(W v) { return v; }
};

// Whole-tile 32s: the work sequences hold floats; before the first step of
// the forward transform they hold the integer samples' bit patterns, because
// the first step adds the converted integer sum x(2n) + x(2n+2).
struct TileS32 {
    using T = std::int32_t;
    using W = float;
    static constexpr int kLanes = 4;
    static constexpr bool kEdges = false;

    static std::int32_t bits(float v) { return std::bit_cast<std::int32_t>(v); }

    template <Op O>
    static W one(W in, W a, W b, bool) {
        if constexpr (O == F1)
            return static_cast<float>(bits(in)) + static_cast<float>(add32(bits(a), bits(b))) * kAlpha;
        if constexpr (O == F2) return static_cast<float>(bits(in)) + (a + b) * kBeta;
        if constexpr (O == F3) return in + (a + b) * kGamma;
        if constexpr (O == F4) return (in + (a + b) * kDelta) * kKL;
        if constexpr (O == FH) return in * kK;
        if constexpr (O == I1) return in - (a + b) * kDelta;
        if constexpr (O == I2) return in - (a + b) * kGamma;
        if constexpr (O == I3) return in - (a + b) * kBeta;
        if constexpr (O == I4) return in - (a + b) * kAlpha;
    }
    template <Op O>
    static void vec(W* out, const W* in, const W* a, const W* b) {
        __m128 r;
        if constexpr (O == F1) {
            const __m128i s = _mm_add_epi32(loadu(a), loadu(b));
            r = _mm_add_ps(_mm_cvtepi32_ps(loadu(in)), _mm_mul_ps(_mm_cvtepi32_ps(s), _mm_set1_ps(kAlpha)));
        } else if constexpr (O == F2) {
            const __m128 s = _mm_add_ps(_mm_loadu_ps(a), _mm_loadu_ps(b));
            r = _mm_add_ps(_mm_cvtepi32_ps(loadu(in)), _mm_mul_ps(s, _mm_set1_ps(kBeta)));
        } else if constexpr (O == FH) {
            r = _mm_mul_ps(_mm_loadu_ps(in), _mm_set1_ps(kK));
        } else {
            const __m128 v = _mm_loadu_ps(in);
            const __m128 s = _mm_add_ps(_mm_loadu_ps(a), _mm_loadu_ps(b));
            if constexpr (O == F3) r = _mm_add_ps(v, _mm_mul_ps(s, _mm_set1_ps(kGamma)));
            if constexpr (O == F4) r = _mm_mul_ps(_mm_add_ps(v, _mm_mul_ps(s, _mm_set1_ps(kDelta))), _mm_set1_ps(kKL));
            if constexpr (O == I1) r = _mm_sub_ps(v, _mm_mul_ps(s, _mm_set1_ps(kDelta)));
            if constexpr (O == I2) r = _mm_sub_ps(v, _mm_mul_ps(s, _mm_set1_ps(kGamma)));
            if constexpr (O == I3) r = _mm_sub_ps(v, _mm_mul_ps(s, _mm_set1_ps(kBeta)));
            if constexpr (O == I4) r = _mm_sub_ps(v, _mm_mul_ps(s, _mm_set1_ps(kAlpha)));
        }
        _mm_storeu_ps(out, r);
    }
    static W fwdLoad(T v) { return std::bit_cast<float>(v); }
    static W invLoadE(T v) { return static_cast<float>(v) * kK; }
    static W invLoadO(T v) { return static_cast<float>(v) * kKL; }
    static T store(W v) { return floatToInt32(v); }
};

// Whole-tile 16s: R14 steps with 32-bit sums and products; every
// intermediate keeps its low 16 bits.
struct TileS16 {
    using T = std::int16_t;
    using W = std::int16_t;
    static constexpr int kLanes = 8;
    static constexpr bool kEdges = false;

    template <Op O>
    static W one(W in, W a, W b, bool) {
        const std::int32_t s = a + b;
        if constexpr (O == F1) return wrap16(in + r14(kAlphaQ14, s));
        if constexpr (O == F2) return wrap16(in + r14(kBetaQ14, s));
        if constexpr (O == F3) return wrap16(in + r14(kGammaQ14, s));
        if constexpr (O == F4) return wrap16(r14(kKLQ14, wrap16(in + r14(kDeltaQ14, s))));
        if constexpr (O == FH) return wrap16(r14(kKQ14, in));
        if constexpr (O == I1) return wrap16(in - r14(kDeltaQ14, s));
        if constexpr (O == I2) return wrap16(in - r14(kGammaQ14, s));
        if constexpr (O == I3) return wrap16(in - r14(kBetaQ14, s));
        if constexpr (O == I4) return wrap16(in - r14(kAlphaQ14, s));
    }

    // R14(c, a + b) for eight lanes: c a + c b from 16x16 -> 32-bit products.
    static __m128i r14Pair(int c, __m128i a, __m128i b, bool two) {
        const __m128i k = _mm_set1_epi16(static_cast<short>(c));
        const __m128i rnd = _mm_set1_epi32(8192);
        __m128i lo = _mm_unpacklo_epi16(_mm_mullo_epi16(a, k), _mm_mulhi_epi16(a, k));
        __m128i hi = _mm_unpackhi_epi16(_mm_mullo_epi16(a, k), _mm_mulhi_epi16(a, k));
        if (two) {
            lo = _mm_add_epi32(lo, _mm_unpacklo_epi16(_mm_mullo_epi16(b, k), _mm_mulhi_epi16(b, k)));
            hi = _mm_add_epi32(hi, _mm_unpackhi_epi16(_mm_mullo_epi16(b, k), _mm_mulhi_epi16(b, k)));
        }
        lo = _mm_srai_epi32(_mm_add_epi32(lo, rnd), 14);
        hi = _mm_srai_epi32(_mm_add_epi32(hi, rnd), 14);
        // Keep the low 16 bits of each 32-bit lane.
        lo = _mm_srai_epi32(_mm_slli_epi32(lo, 16), 16);
        hi = _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16);
        return _mm_packs_epi32(lo, hi);
    }

    template <Op O>
    static void vec(W* out, const W* in, const W* a, const W* b) {
        const __m128i v = loadu(in);
        __m128i r;
        if constexpr (O == FH) {
            r = r14Pair(kKQ14, v, v, false);
        } else {
            const __m128i va = loadu(a), vb = loadu(b);
            if constexpr (O == F1) r = _mm_add_epi16(v, r14Pair(kAlphaQ14, va, vb, true));
            if constexpr (O == F2) r = _mm_add_epi16(v, r14Pair(kBetaQ14, va, vb, true));
            if constexpr (O == F3) r = _mm_add_epi16(v, r14Pair(kGammaQ14, va, vb, true));
            if constexpr (O == F4) {
                const __m128i sp = _mm_add_epi16(v, r14Pair(kDeltaQ14, va, vb, true));
                r = r14Pair(kKLQ14, sp, sp, false);
            }
            if constexpr (O == I1) r = _mm_sub_epi16(v, r14Pair(kDeltaQ14, va, vb, true));
            if constexpr (O == I2) r = _mm_sub_epi16(v, r14Pair(kGammaQ14, va, vb, true));
            if constexpr (O == I3) r = _mm_sub_epi16(v, r14Pair(kBetaQ14, va, vb, true));
            if constexpr (O == I4) r = _mm_sub_epi16(v, r14Pair(kAlphaQ14, va, vb, true));
        }
        storeu(out, r);
    }
    static W fwdLoad(T v) { return v; }
    static W invLoadE(T v) { return wrap16(r14(kKQ14, v)); }
    static W invLoadO(T v) { return wrap16(r14(kKLQ14, v)); }
    static T store(W v) { return v; }
};

// ---- one step over a span ---------------------------------------------------------------------
// out[i] = f(in[i], a[i], b[i]) for i < n; out may be in.
template <class F, Op O, Path P>
inline void span(typename F::W* out, const typename F::W* in, const typename F::W* a, const typename F::W* b, int n,
                 bool edge = false) {
    int i = 0;
    if constexpr (P == Path::Vector) {
        if (!edge)
            for (; i + F::kLanes <= n; i += F::kLanes) F::template vec<O>(out + i, in + i, a + i, b + i);
    }
    for (; i < n; ++i) out[i] = F::template one<O>(in[i], a[i], b[i], edge);
}

// ---- step ranges -------------------------------------------------------------------------------
struct Range {
    int a = 0, b = -1;  // inclusive; empty when a > b
    bool empty() const { return a > b; }
};
inline Range unite(Range x, Range y) {
    if (x.empty()) return y;
    if (y.empty()) return x;
    return {std::min(x.a, y.a), std::max(x.b, y.b)};
}
inline Range intersect(Range x, Range y) { return {std::max(x.a, y.a), std::min(x.b, y.b)}; }

// The span of k each lifting step must cover so that the outputs outE, outO
// come out, and the spans of E and O that must be loaded before the first step.
struct Plan {
    Range step[4];
    Range loadE, loadO;
};
inline Plan plan(bool forward, Range outE, Range outO) {
    Plan p;
    Range e = outE, o = outO;
    for (int i = 3; i >= 0; --i) {
        if (oddStep(forward, i)) {
            p.step[i] = o;
            if (!o.empty()) e = unite(e, {o.a, o.b + 1});
        } else {
            p.step[i] = e;
            if (!e.empty()) o = unite(o, {e.a - 1, e.b});
        }
    }
    p.loadE = e;
    p.loadO = o;
    return p;
}

// Calls fn(ka, kb, edge) over r split into the part inside `interior` and the
// parts outside it (the latter one element at a time).
template <class Fn>
inline void splitEdges(Range r, Range interior, bool edges, Fn&& fn) {
    if (r.empty()) return;
    if (!edges) {
        fn(r.a, r.b, false);
        return;
    }
    const Range in = intersect(r, interior);
    if (in.empty()) {
        for (int k = r.a; k <= r.b; ++k) fn(k, k, true);
        return;
    }
    for (int k = r.a; k < in.a; ++k) fn(k, k, true);
    fn(in.a, in.b, false);
    for (int k = in.b + 1; k <= r.b; ++k) fn(k, k, true);
}

// ---- lines through stack sequences -------------------------------------------------------------
// Transforms one line whose E and O values are produced by loadE/loadO
// (called as load(dst, k0, count)) and whose outputs outE/outO go to
// storeE/storeO (store(src, k0, count)).  The line is processed in chunks of
// kChunk pairs on the stack; the steps near a chunk boundary are recomputed,
// which gives the same values since each is a function of the loaded samples.
// For families with edge rules, interiorE/interiorO are the k that use the
// interior arithmetic.
inline constexpr int kChunk = 512;

template <class F, bool Fwd, Path P, class LoadE, class LoadO, class StoreE, class StoreO>
void liftLine(Range outE, Range outO, Range interiorE, Range interiorO, LoadE&& loadE, LoadO&& loadO,
              StoreE&& storeE, StoreO&& storeO) {
    using W = typename F::W;
    alignas(16) W ev[kChunk + 16];
    alignas(16) W od[kChunk + 16];
    const Range all = unite(outE, outO);
    for (int k0 = all.a; k0 <= all.b; k0 += kChunk) {
        const Range chunk{k0, std::min(all.b, k0 + kChunk - 1)};
        const Range cE = intersect(outE, chunk), cO = intersect(outO, chunk);
        const Plan pl = plan(Fwd, cE, cO);
        const int eb = pl.loadE.a, ob = pl.loadO.a;  // k of ev[0], od[0]
        loadE(ev, eb, pl.loadE.b - eb + 1);
        loadO(od, ob, pl.loadO.b - ob + 1);
        auto run = [&](auto opTag, int i) {
            constexpr Op O = decltype(opTag)::value;
            if (oddStep(Fwd, i)) {
                splitEdges(pl.step[i], interiorO, F::kEdges, [&](int ka, int kb, bool edge) {
                    span<F, O, P>(od + (ka - ob), od + (ka - ob), ev + (ka - eb), ev + (ka + 1 - eb), kb - ka + 1,
                                  edge);
                });
            } else {
                splitEdges(pl.step[i], interiorE, F::kEdges, [&](int ka, int kb, bool edge) {
                    span<F, O, P>(ev + (ka - eb), ev + (ka - eb), od + (ka - 1 - ob), od + (ka - ob), kb - ka + 1,
                                  edge);
                });
            }
        };
        if constexpr (Fwd) {
            run(std::integral_constant<Op, F1>{}, 0);
            run(std::integral_constant<Op, F2>{}, 1);
            run(std::integral_constant<Op, F3>{}, 2);
            run(std::integral_constant<Op, F4>{}, 3);
            splitEdges(cO, interiorO, F::kEdges, [&](int ka, int kb, bool edge) {
                span<F, FH, P>(od + (ka - ob), od + (ka - ob), od + (ka - ob), od + (ka - ob), kb - ka + 1, edge);
            });
        } else {
            run(std::integral_constant<Op, I1>{}, 0);
            run(std::integral_constant<Op, I2>{}, 1);
            run(std::integral_constant<Op, I3>{}, 2);
            run(std::integral_constant<Op, I4>{}, 3);
        }
        if (!cE.empty()) storeE(ev + (cE.a - eb), cE.a, cE.b - cE.a + 1);
        if (!cO.empty()) storeO(od + (cO.a - ob), cO.a, cO.b - cO.a + 1);
    }
}

// ---- single-pair lines: direct convolution -------------------------------------------------------
// get(i) returns sample i of the line relative to its first sample (forward)
// or coefficient i of a band (inverse), as a double.  Symmetric pairs are
// added first; the caller rounds the sum.
template <class Get>
double analysisLow(Get&& get, int c) {
    double acc = 0;
    for (int d = 4; d >= 1; --d) acc += kAnaLow[d] * (get(c - d) + get(c + d));
    return acc + kAnaLow[0] * get(c);
}
template <class Get>
double analysisHigh(Get&& get, int c) {
    double acc = 0;
    for (int d = 3; d >= 1; --d) acc += kAnaHigh[d] * (get(c - d) + get(c + d));
    return acc + kAnaHigh[0] * get(c);
}
// Fixed-point forms: Q16 taps on integer pair sums, rounded once.
template <class Get>
std::int64_t analysisLowQ16(Get&& get, int c) {
    std::int64_t acc = 32768;
    for (int d = 4; d >= 1; --d) acc += fixedPoint(kAnaLow[d], 16) * (get(c - d) + get(c + d));
    return (acc + fixedPoint(kAnaLow[0], 16) * get(c)) >> 16;
}
template <class Get>
std::int64_t analysisHighQ16(Get&& get, int c) {
    std::int64_t acc = 32768;
    for (int d = 3; d >= 1; --d) acc += fixedPoint(kAnaHigh[d], 16) * (get(c - d) + get(c + d));
    return (acc + fixedPoint(kAnaHigh[0], 16) * get(c)) >> 16;
}

// Synthesis of the sample at coordinate c (in the line addressed so that
// low coefficient k sits at 2k and high coefficient k at 2k+1) from
// lowAt(k) and highAt(k).  Q selects the Q16 taps.
template <bool Q, class Acc, class GetL, class GetH>
Acc synthesis(GetL&& lowAt, GetH&& highAt, int c) {
    Acc acc = 0;
    auto tapL = [](int d) { return Q ? Acc(fixedPoint(kSynLow[d], 16)) : Acc(kSynLow[d]); };
    auto tapH = [](int d) { return Q ? Acc(fixedPoint(kSynHigh[d], 16)) : Acc(kSynHigh[d]); };
    // Low coefficients sit at even coordinates 2k: offsets c - 2k within 3.
    // High coefficients at 2k + 1: offsets c - 2k - 1 within 4.
    if ((c & 1) == 0) {
        acc += tapH(3) * (highAt((c - 4) / 2) + highAt((c + 2) / 2));  // offsets +3, -3
        acc += tapL(2) * (lowAt((c - 2) / 2) + lowAt((c + 2) / 2));
        acc += tapH(1) * (highAt((c - 2) / 2) + highAt(c / 2));
        acc += tapL(0) * lowAt(c / 2);
    } else {
        acc += tapH(4) * (highAt((c - 5) / 2) + highAt((c + 3) / 2));  // offsets +4, -4
        acc += tapL(3) * (lowAt((c - 3) / 2) + lowAt((c + 3) / 2));
        acc += tapH(2) * (highAt((c - 3) / 2) + highAt((c + 1) / 2));
        acc += tapL(1) * (lowAt((c - 1) / 2) + lowAt((c + 1) / 2));
        acc += tapH(0) * highAt((c - 1) / 2);
    }
    return acc;
}

}  // namespace zeb::d97
