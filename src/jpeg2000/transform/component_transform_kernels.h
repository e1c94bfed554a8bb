// JPEG 2000 multiple-component transforms (ISO/IEC 15444-1 Annex G): the
// reversible RCT and the irreversible ICT in single precision, in Q14 fixed
// point with 32-bit wrapping, and in Q14 fixed point on 16-bit samples with
// saturation.
//
// Every transform is a per-pixel operation on a triple: an Op type turns
// (R, G, B) into (Y, U|Cb, V|Cr) or back, as a scalar rule (the definition)
// and as a four-lane SSE2 rule on 32-bit lanes that must give the same bits.
// transformRow runs an Op over one row whose three channels are either three
// planes (stride 1) or one interleaved plane (stride 3).  The 16-bit ICT has
// its own eight-lane row kernel on 16-bit lanes (pmaddwd pairs), used by the
// in-place planar forms only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/simd.h"

namespace zeb::comptf {

// ---- 32-bit wrapping helpers -----------------------------------------------------
inline std::int32_t wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }
inline std::uint32_t u32(std::int32_t v) { return static_cast<std::uint32_t>(v); }
// c * v + d modulo 2^32.
inline std::uint32_t mulAdd(std::int32_t c, std::int32_t v) { return u32(c) * u32(v); }

// Low 32 bits of the lane-wise product (SSE2 has no pmulld).
inline __m128i mullo32(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// ---- lane access --------------------------------------------------------------------
template <class T>
struct LaneOf {
    using V = __m128i;
};
template <>
struct LaneOf<float> {
    using V = __m128;
};

inline __m128 asPs(__m128i v) { return _mm_castsi128_ps(v); }
inline __m128 asPs(__m128 v) { return v; }
inline void fromPs(__m128 v, __m128& d) { d = v; }
inline void fromPs(__m128 v, __m128i& d) { d = _mm_castps_si128(v); }

// Four consecutive elements as four 32-bit lanes (16-bit samples are sign
// extended); the store keeps the low 16 bits of each lane.
inline __m128i load4(const std::int32_t* p) { return loadu(p); }
inline __m128i load4(const std::int16_t* p) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
}
inline __m128 load4(const float* p) { return _mm_loadu_ps(p); }
inline void store4(std::int32_t* p, __m128i v) { storeu(p, v); }
inline void store4(std::int16_t* p, __m128i v) {
    const __m128i low = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(low, low));
}
inline void store4(float* p, __m128 v) { _mm_storeu_ps(p, v); }

// a = R0 G0 B0 R1, b = G1 B1 R2 G2, c = B2 R3 G3 B3  ->  R, G, B of 4 pixels.
inline void deinterleave3(__m128 a, __m128 b, __m128 c, __m128& r, __m128& g, __m128& bl) {
    const __m128 b2b3c0c1 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 0, 3, 2));
    r = _mm_shuffle_ps(a, b2b3c0c1, _MM_SHUFFLE(3, 0, 3, 0));
    const __m128 a1b0 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1));
    const __m128 b3c2 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 2, 3, 3));
    g = _mm_shuffle_ps(a1b0, b3c2, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 a2b1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2));
    bl = _mm_shuffle_ps(a2b1, c, _MM_SHUFFLE(3, 0, 2, 0));
}

// The inverse of deinterleave3.
inline void interleave3(__m128 r, __m128 g, __m128 bl, __m128& a, __m128& b, __m128& c) {
    const __m128 rg = _mm_unpacklo_ps(r, g);                               // R0 G0 R1 G1
    const __m128 b0r1 = _mm_shuffle_ps(bl, r, _MM_SHUFFLE(1, 1, 0, 0));     // B0 B0 R1 R1
    a = _mm_shuffle_ps(rg, b0r1, _MM_SHUFFLE(2, 0, 1, 0));
    const __m128 g1b1 = _mm_shuffle_ps(g, bl, _MM_SHUFFLE(1, 1, 1, 1));     // G1 G1 B1 B1
    const __m128 r2g2 = _mm_shuffle_ps(r, g, _MM_SHUFFLE(2, 2, 2, 2));      // R2 R2 G2 G2
    b = _mm_shuffle_ps(g1b1, r2g2, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 b2r3 = _mm_shuffle_ps(bl, r, _MM_SHUFFLE(3, 3, 2, 2));     // B2 B2 R3 R3
    const __m128 g3b3 = _mm_shuffle_ps(g, bl, _MM_SHUFFLE(3, 3, 3, 3));     // G3 G3 B3 B3
    c = _mm_shuffle_ps(b2r3, g3b3, _MM_SHUFFLE(2, 0, 2, 0));
}

template <class T, int Stride>
inline void load3(const T* const in[3], int x, typename LaneOf<T>::V& a, typename LaneOf<T>::V& b,
                  typename LaneOf<T>::V& c) {
    if constexpr (Stride == 1) {
        a = load4(in[0] + x);
        b = load4(in[1] + x);
        c = load4(in[2] + x);
    } else {
        const T* p = in[0] + std::ptrdiff_t{3} * x;
        __m128 r, g, bl;
        deinterleave3(asPs(load4(p)), asPs(load4(p + 4)), asPs(load4(p + 8)), r, g, bl);
        fromPs(r, a);
        fromPs(g, b);
        fromPs(bl, c);
    }
}

template <class T, int Stride>
inline void store3(T* const out[3], int x, typename LaneOf<T>::V a, typename LaneOf<T>::V b,
                   typename LaneOf<T>::V c) {
    if constexpr (Stride == 1) {
        store4(out[0] + x, a);
        store4(out[1] + x, b);
        store4(out[2] + x, c);
    } else {
        T* p = out[0] + std::ptrdiff_t{3} * x;
        __m128 u, v, w;
        interleave3(asPs(a), asPs(b), asPs(c), u, v, w);
        typename LaneOf<T>::V x0, x1, x2;
        fromPs(u, x0);
        fromPs(v, x1);
        fromPs(w, x2);
        store4(p, x0);
        store4(p + 4, x1);
        store4(p + 8, x2);
    }
}

// ---- reversible component transform ---------------------------------------------------
// 32-bit integer arithmetic, wrapping; 16-bit samples are widened and the
// low 16 bits of each result are stored.
template <class T>
struct RctFwd {
    using Elem = T;
    static void pixel(T& a, T& b, T& c) {
        const std::int32_t r = a, g = b, bl = c;
        const std::int32_t y = wrap(u32(r) + 2u * u32(g) + u32(bl)) >> 2;
        a = static_cast<T>(y);
        b = static_cast<T>(wrap(u32(bl) - u32(g)));
        c = static_cast<T>(wrap(u32(r) - u32(g)));
    }
    static void vec(__m128i& a, __m128i& b, __m128i& c) {
        const __m128i r = a, g = b, bl = c;
        a = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(r, _mm_add_epi32(g, g)), bl), 2);
        b = _mm_sub_epi32(bl, g);
        c = _mm_sub_epi32(r, g);
    }
};

template <class T>
struct RctInv {
    using Elem = T;
    static void pixel(T& a, T& b, T& c) {
        const std::int32_t y = a, u = b, v = c;
        const std::int32_t g = wrap(u32(y) - u32(wrap(u32(u) + u32(v)) >> 2));
        a = static_cast<T>(wrap(u32(v) + u32(g)));
        b = static_cast<T>(g);
        c = static_cast<T>(wrap(u32(u) + u32(g)));
    }
    static void vec(__m128i& a, __m128i& b, __m128i& c) {
        const __m128i y = a, u = b, v = c;
        const __m128i g = _mm_sub_epi32(y, _mm_srai_epi32(_mm_add_epi32(u, v), 2));
        a = _mm_add_epi32(v, g);
        b = g;
        c = _mm_add_epi32(u, g);
    }
};

// ---- irreversible component transform, single precision -----------------------------
// Coefficients are the decimal values rounded to float; terms are added left
// to right.
inline constexpr float kIctFwd[3][3] = {
    {0.299f, 0.587f, 0.114f},
    {-0.16875f, -0.33126f, 0.5f},
    {0.5f, -0.41869f, -0.08131f},
};
inline constexpr float kIctInvRCr = 1.402f;
inline constexpr float kIctInvGCb = -0.34413f;
inline constexpr float kIctInvGCr = -0.71414f;
inline constexpr float kIctInvBCb = 1.772f;

struct IctFwd32f {
    using Elem = float;
    static float row(int k, float r, float g, float b) {
        return kIctFwd[k][0] * r + kIctFwd[k][1] * g + kIctFwd[k][2] * b;
    }
    static void pixel(float& a, float& b, float& c) {
        const float r = a, g = b, bl = c;
        a = row(0, r, g, bl);
        b = row(1, r, g, bl);
        c = row(2, r, g, bl);
    }
    static __m128 vrow(int k, __m128 r, __m128 g, __m128 b) {
        return _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(kIctFwd[k][0]), r), _mm_mul_ps(_mm_set1_ps(kIctFwd[k][1]), g)),
                          _mm_mul_ps(_mm_set1_ps(kIctFwd[k][2]), b));
    }
    static void vec(__m128& a, __m128& b, __m128& c) {
        const __m128 r = a, g = b, bl = c;
        a = vrow(0, r, g, bl);
        b = vrow(1, r, g, bl);
        c = vrow(2, r, g, bl);
    }
};

struct IctInv32f {
    using Elem = float;
    static void pixel(float& a, float& b, float& c) {
        const float y = a, cb = b, cr = c;
        a = kIctInvRCr * cr + y;
        b = kIctInvGCb * cb + kIctInvGCr * cr + y;
        c = kIctInvBCb * cb + y;
    }
    static void vec(__m128& a, __m128& b, __m128& c) {
        const __m128 y = a, cb = b, cr = c;
        a = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kIctInvRCr), cr), y);
        b = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(kIctInvGCb), cb), _mm_mul_ps(_mm_set1_ps(kIctInvGCr), cr)), y);
        c = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kIctInvBCb), cb), y);
    }
};

// ---- irreversible component transform, Q14 fixed point -------------------------------
// The matrix rows in units of 2^-14, with the luminance weights summing to one.
inline constexpr std::int32_t kQ14One = 1 << 14;
inline constexpr std::int32_t kQ14Half = 1 << 13;
inline constexpr std::int32_t kQ14Fwd[3][3] = {
    {4899, 9617, 1868},
    {-2765, -5427, 8192},
    {8192, -6860, -1332},
};
inline constexpr std::int32_t kQ14InvRCr = 22970;
inline constexpr std::int32_t kQ14InvGCb = 5638;
inline constexpr std::int32_t kQ14InvGCr = 11700;
inline constexpr std::int32_t kQ14InvBCb = 29032;
// Chroma scales of the 16-bit form: 0.5 / (1 - 0.114) and 0.5 / (1 - 0.299).
inline constexpr std::int32_t kQ14CbScale = 9246;
inline constexpr std::int32_t kQ14CrScale = 11686;
static_assert(kQ14Fwd[0][0] + kQ14Fwd[0][1] + kQ14Fwd[0][2] == kQ14One);
static_assert(kQ14Fwd[1][0] + kQ14Fwd[1][1] + kQ14Fwd[1][2] == 0 && kQ14Fwd[2][0] + kQ14Fwd[2][1] + kQ14Fwd[2][2] == 0);

// 32-bit samples: wrapping arithmetic, no saturation.
struct IctFwd32s {
    using Elem = std::int32_t;
    static std::int32_t row(int k, std::int32_t r, std::int32_t g, std::int32_t b) {
        return wrap(mulAdd(kQ14Fwd[k][0], r) + mulAdd(kQ14Fwd[k][1], g) + mulAdd(kQ14Fwd[k][2], b) + kQ14Half) >> 14;
    }
    static void pixel(std::int32_t& a, std::int32_t& b, std::int32_t& c) {
        const std::int32_t r = a, g = b, bl = c;
        a = row(0, r, g, bl);
        b = row(1, r, g, bl);
        c = row(2, r, g, bl);
    }
    static __m128i vrow(int k, __m128i r, __m128i g, __m128i b) {
        const __m128i s = _mm_add_epi32(_mm_add_epi32(mullo32(r, _mm_set1_epi32(kQ14Fwd[k][0])),
                                                      mullo32(g, _mm_set1_epi32(kQ14Fwd[k][1]))),
                                        _mm_add_epi32(mullo32(b, _mm_set1_epi32(kQ14Fwd[k][2])),
                                                      _mm_set1_epi32(kQ14Half)));
        return _mm_srai_epi32(s, 14);
    }
    static void vec(__m128i& a, __m128i& b, __m128i& c) {
        const __m128i r = a, g = b, bl = c;
        a = vrow(0, r, g, bl);
        b = vrow(1, r, g, bl);
        c = vrow(2, r, g, bl);
    }
};

// The green correction adds the rounded negated sum.
struct IctInv32s {
    using Elem = std::int32_t;
    static void pixel(std::int32_t& a, std::int32_t& b, std::int32_t& c) {
        const std::int32_t y = a, cb = b, cr = c;
        a = wrap(u32(y) + u32(wrap(mulAdd(kQ14InvRCr, cr) + kQ14Half) >> 14));
        b = wrap(u32(y) + u32(wrap(mulAdd(-kQ14InvGCb, cb) + mulAdd(-kQ14InvGCr, cr) + kQ14Half) >> 14));
        c = wrap(u32(y) + u32(wrap(mulAdd(kQ14InvBCb, cb) + kQ14Half) >> 14));
    }
    static void vec(__m128i& a, __m128i& b, __m128i& c) {
        const __m128i y = a, cb = b, cr = c, half = _mm_set1_epi32(kQ14Half);
        a = _mm_add_epi32(y, _mm_srai_epi32(_mm_add_epi32(mullo32(cr, _mm_set1_epi32(kQ14InvRCr)), half), 14));
        const __m128i gs = _mm_add_epi32(_mm_add_epi32(mullo32(cb, _mm_set1_epi32(-kQ14InvGCb)),
                                                       mullo32(cr, _mm_set1_epi32(-kQ14InvGCr))),
                                         half);
        b = _mm_add_epi32(y, _mm_srai_epi32(gs, 14));
        c = _mm_add_epi32(y, _mm_srai_epi32(_mm_add_epi32(mullo32(cb, _mm_set1_epi32(kQ14InvBCb)), half), 14));
    }
};

// ---- generic row kernel ------------------------------------------------------------------
// in[c] / out[c] address channel c of pixel 0; pixel x of channel c is at
// in[c][InStride * x].  For interleaved rows in[c] = base + c.
template <Path P, class Op, int InStride, int OutStride>
void transformRow(const typename Op::Elem* const in[3], typename Op::Elem* const out[3], int n) {
    using T = typename Op::Elem;
    int x = 0;
    if constexpr (P == Path::Vector) {
        for (; x + 4 <= n; x += 4) {
            typename LaneOf<T>::V a, b, c;
            load3<T, InStride>(in, x, a, b, c);
            Op::vec(a, b, c);
            store3<T, OutStride>(out, x, a, b, c);
        }
    }
    for (; x < n; ++x) {
        const std::ptrdiff_t i = std::ptrdiff_t{InStride} * x, o = std::ptrdiff_t{OutStride} * x;
        T a = in[0][i], b = in[1][i], c = in[2][i];
        Op::pixel(a, b, c);
        out[0][o] = a;
        out[1][o] = b;
        out[2][o] = c;
    }
}

// ---- irreversible component transform, 16-bit samples -----------------------------------
// Products and sums in 32 bits; every stored result saturates to 16 bits.
inline std::int16_t sat16(std::int32_t v) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
}

struct IctFwd16s {
    static void pixel(std::int16_t& a, std::int16_t& b, std::int16_t& c) {
        const std::int32_t r = a, g = b, bl = c;
        const std::int32_t s = kQ14Fwd[0][0] * r + kQ14Fwd[0][1] * g + kQ14Fwd[0][2] * bl;
        // Chroma from rounded differences to the unrounded luminance, kept to 16 bits.
        const auto db = static_cast<std::int16_t>((bl * kQ14One - s + kQ14Half) >> 14);
        const auto dr = static_cast<std::int16_t>((r * kQ14One - s + kQ14Half) >> 14);
        a = sat16((s + kQ14Half) >> 14);
        b = sat16((db * kQ14CbScale + kQ14Half) >> 14);
        c = sat16((dr * kQ14CrScale + kQ14Half) >> 14);
    }
    // Eight 16-bit samples per channel.  pmaddwd pairs a sample with either a
    // second sample or the constant 1, so each 32-bit sum carries its own
    // rounding term.
    static void vec(__m128i& a, __m128i& b, __m128i& c) {
        const __m128i r = a, g = b, bl = c, one = _mm_set1_epi16(1);
        const __m128i wRG = pairWeights(kQ14Fwd[0][0], kQ14Fwd[0][1]);
        const __m128i wB = pairWeights(kQ14Fwd[0][2], kQ14Half);
        const __m128i wOne = pairWeights(kQ14One, kQ14One);
        const __m128i wCb = pairWeights(kQ14CbScale, kQ14Half);
        const __m128i wCr = pairWeights(kQ14CrScale, kQ14Half);
        __m128i y[2], db[2], dr[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i rg = h ? _mm_unpackhi_epi16(r, g) : _mm_unpacklo_epi16(r, g);
            const __m128i b1 = h ? _mm_unpackhi_epi16(bl, one) : _mm_unpacklo_epi16(bl, one);
            const __m128i r1 = h ? _mm_unpackhi_epi16(r, one) : _mm_unpacklo_epi16(r, one);
            const __m128i t = _mm_add_epi32(_mm_madd_epi16(rg, wRG), _mm_madd_epi16(b1, wB));  // S + 2^13
            y[h] = _mm_srai_epi32(t, 14);
            // x * 2^14 - S + 2^13 = (x + 1) * 2^14 - (S + 2^13)
            db[h] = low16(_mm_srai_epi32(_mm_sub_epi32(_mm_madd_epi16(b1, wOne), t), 14));
            dr[h] = low16(_mm_srai_epi32(_mm_sub_epi32(_mm_madd_epi16(r1, wOne), t), 14));
        }
        a = _mm_packs_epi32(y[0], y[1]);
        const __m128i dbs = _mm_packs_epi32(db[0], db[1]), drs = _mm_packs_epi32(dr[0], dr[1]);
        b = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(dbs, one), wCb), 14),
                            _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(dbs, one), wCb), 14));
        c = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(drs, one), wCr), 14),
                            _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(drs, one), wCr), 14));
    }
    static __m128i pairWeights(std::int32_t first, std::int32_t second) {
        return _mm_set1_epi32(static_cast<std::int32_t>((u32(second) << 16) | (u32(first) & 0xFFFFu)));
    }
    // Sign-extends the low 16 bits of each lane, so that the saturating pack
    // keeps exactly those bits.
    static __m128i low16(__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); }
};

// The green correction is rounded as a whole and subtracted.
struct IctInv16s {
    static void pixel(std::int16_t& a, std::int16_t& b, std::int16_t& c) {
        const std::int32_t y = a, cb = b, cr = c;
        a = sat16(y + ((kQ14InvRCr * cr + kQ14Half) >> 14));
        b = sat16(y - ((kQ14InvGCb * cb + kQ14InvGCr * cr + kQ14Half) >> 14));
        c = sat16(y + ((kQ14InvBCb * cb + kQ14Half) >> 14));
    }
    static void vec(__m128i& a, __m128i& b, __m128i& c) {
        const __m128i y = a, cb = b, cr = c, one = _mm_set1_epi16(1);
        const __m128i wR = IctFwd16s::pairWeights(kQ14InvRCr, kQ14Half);
        const __m128i wG = IctFwd16s::pairWeights(kQ14InvGCb, kQ14InvGCr);
        const __m128i wB = IctFwd16s::pairWeights(kQ14InvBCb, kQ14Half);
        const __m128i half = _mm_set1_epi32(kQ14Half);
        __m128i r[2], g[2], bl[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i y32 = _mm_srai_epi32(h ? _mm_unpackhi_epi16(y, y) : _mm_unpacklo_epi16(y, y), 16);
            const __m128i cr1 = h ? _mm_unpackhi_epi16(cr, one) : _mm_unpacklo_epi16(cr, one);
            const __m128i cb1 = h ? _mm_unpackhi_epi16(cb, one) : _mm_unpacklo_epi16(cb, one);
            const __m128i cbcr = h ? _mm_unpackhi_epi16(cb, cr) : _mm_unpacklo_epi16(cb, cr);
            r[h] = _mm_add_epi32(y32, _mm_srai_epi32(_mm_madd_epi16(cr1, wR), 14));
            g[h] = _mm_sub_epi32(y32, _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(cbcr, wG), half), 14));
            bl[h] = _mm_add_epi32(y32, _mm_srai_epi32(_mm_madd_epi16(cb1, wB), 14));
        }
        a = _mm_packs_epi32(r[0], r[1]);
        b = _mm_packs_epi32(g[0], g[1]);
        c = _mm_packs_epi32(bl[0], bl[1]);
    }
};

// Three planes in place (or out of place, plane to plane): groups of eight,
// then one group of four, then single pixels.
template <Path P, class Op>
void ict16sRow(const std::int16_t* const in[3], std::int16_t* const out[3], int n) {
    int x = 0;
    if constexpr (P == Path::Vector) {
        for (; x + 8 <= n; x += 8) {
            __m128i a = loadu(in[0] + x), b = loadu(in[1] + x), c = loadu(in[2] + x);
            Op::vec(a, b, c);
            storeu(out[0] + x, a);
            storeu(out[1] + x, b);
            storeu(out[2] + x, c);
        }
        if (x + 4 <= n) {
            const auto l = [&](int k) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in[k] + x)); };
            __m128i a = l(0), b = l(1), c = l(2);
            Op::vec(a, b, c);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out[0] + x), a);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out[1] + x), b);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out[2] + x), c);
            x += 4;
        }
    }
    for (; x < n; ++x) {
        std::int16_t a = in[0][x], b = in[1][x], c = in[2][x];
        Op::pixel(a, b, c);
        out[0][x] = a;
        out[1][x] = b;
        out[2][x] = c;
    }
}

}  // namespace zeb::comptf
