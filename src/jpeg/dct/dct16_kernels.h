// The 16-bit fixed-point 8x8 DCT pair of the 8-bit JPEG path.
//
// Forward: a vertical butterfly pass over the columns (eight 16-bit lanes,
// saturating adds, Q16 rotations through the high half of a signed product)
// leaves row k of the block scaled by a known row factor; a horizontal pass
// then multiplies each row with its own 8x8 cosine matrix (the row factor
// folded in) in 32-bit arithmetic and rounds away 20 fraction bits.
// Inverse: the mirror image, horizontal matrix pass first (11 fraction bits,
// a per-row rounding bias), then the vertical butterflies and a final >> 6.
//
// The butterflies are written once over an operation set: Lane16 is the
// scalar definition (one column at a time), Vec16 runs all eight columns in
// one SSE2 register with the same operations, so both give the same bits.
#pragma once

#include <array>
#include <cstdint>

#include "core/simd.h"

namespace zeb::dct {

// ---- 16-bit operation sets ---------------------------------------------------

inline std::int16_t sat16(std::int32_t v) {
    return static_cast<std::int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

struct Lane16 {
    using T = std::int16_t;
    static T add(T a, T b) { return sat16(std::int32_t{a} + b); }
    static T sub(T a, T b) { return sat16(std::int32_t{a} - b); }
    // Shifts keep the low 16 bits.
    template <int N>
    static T shl(T a) { return static_cast<T>(static_cast<std::uint16_t>(static_cast<std::uint16_t>(a) << N)); }
    template <int N>
    static T sra(T a) { return static_cast<T>(a >> N); }
    // High half of the signed 32-bit product.
    static T mulhi(T a, std::int16_t c) { return static_cast<T>((std::int32_t{a} * c) >> 16); }
    static T setLow(T a) { return static_cast<T>(a | 1); }
};

struct Vec16 {
    using T = __m128i;
    static T add(T a, T b) { return _mm_adds_epi16(a, b); }
    static T sub(T a, T b) { return _mm_subs_epi16(a, b); }
    template <int N>
    static T shl(T a) { return _mm_slli_epi16(a, N); }
    template <int N>
    static T sra(T a) { return _mm_srai_epi16(a, N); }
    static T mulhi(T a, std::int16_t c) { return _mm_mulhi_epi16(a, _mm_set1_epi16(c)); }
    static T setLow(T a) { return _mm_or_si128(a, _mm_set1_epi16(1)); }
};

// Rotation constants: tan(pi/16), tan(pi/8), tan(3pi/16) - 1 in Q16,
// cos(pi/4) in Q15, cos(pi/4) - 1 in Q16.
inline constexpr std::int16_t kTan1 = 13036;
inline constexpr std::int16_t kTan2 = 27146;
inline constexpr std::int16_t kTan3m1 = -21746;
inline constexpr std::int16_t kCos4 = 23170;
inline constexpr std::int16_t kCos4m1 = -19195;

// Forward vertical pass: x[0..7] are the rows of the block (or one column's
// samples), y[k] receives frequency row k, scaled by its row factor.
template <class O>
inline void fdctVertical(const typename O::T* x, typename O::T* y) {
    using T = typename O::T;
    const T s07 = O::add(x[0], x[7]), s16 = O::add(x[1], x[6]), s25 = O::add(x[2], x[5]), s34 = O::add(x[3], x[4]);
    const T d07 = O::sub(x[0], x[7]), d16 = O::sub(x[1], x[6]), d25 = O::sub(x[2], x[5]), d34 = O::sub(x[3], x[4]);

    const T a = O::template shl<3>(s16), b = O::template shl<3>(s25);
    const T t = O::sub(a, b), u = O::add(a, b);
    const T e = O::template shl<3>(O::sub(s07, s34)), f = O::template shl<3>(O::add(s07, s34));
    y[0] = O::add(f, u);
    y[4] = O::sub(f, u);
    y[2] = O::setLow(O::add(e, O::mulhi(t, kTan2)));
    y[6] = O::setLow(O::sub(O::mulhi(e, kTan2), t));

    const T d16x = O::template shl<4>(d16), d25x = O::template shl<4>(d25);
    const T p = O::setLow(O::mulhi(O::add(d16x, d25x), kCos4));
    const T q = O::mulhi(O::sub(d16x, d25x), kCos4);
    const T g = O::template shl<3>(d34), h = O::template shl<3>(d07);
    const T r1 = O::add(g, q), r2 = O::sub(g, q), k1 = O::sub(h, p), k2 = O::add(h, p);
    y[1] = O::setLow(O::add(O::mulhi(r1, kTan1), k2));
    y[7] = O::sub(O::mulhi(k2, kTan1), r1);
    y[3] = O::sub(k1, O::add(O::mulhi(r2, kTan3m1), r2));
    y[5] = O::add(O::add(O::mulhi(k1, kTan3m1), k1), r2);
}

// Inverse vertical pass: z[k] is coefficient row k after the horizontal
// pass, x[0..7] receive the output rows (>> 6 applied).  With HighZero the
// rows z[4..7] are known to be 0 and are not read: the terms they enter
// drop out (a saturating add or subtract of 0 changes nothing).
template <class O, bool HighZero = false>
inline void idctVertical(const typename O::T* z, typename O::T* x) {
    using T = typename O::T;
    T t17, u17, t35, u35, e, o, sum04, dif04;
    if constexpr (HighZero) {
        const T zero{};
        t17 = z[1];
        u17 = O::mulhi(z[1], kTan1);
        t35 = z[3];
        u35 = O::sub(zero, O::add(O::mulhi(z[3], kTan3m1), z[3]));
        e = z[2];
        o = O::mulhi(z[2], kTan2);
        sum04 = z[0];
        dif04 = z[0];
    } else {
        t17 = O::add(z[1], O::mulhi(z[7], kTan1));
        u17 = O::sub(O::mulhi(z[1], kTan1), z[7]);
        t35 = O::add(z[3], O::add(O::mulhi(z[5], kTan3m1), z[5]));
        u35 = O::sub(z[5], O::add(O::mulhi(z[3], kTan3m1), z[3]));
        e = O::add(z[2], O::mulhi(z[6], kTan2));
        o = O::sub(O::mulhi(z[2], kTan2), z[6]);
        sum04 = O::add(z[0], z[4]);
        dif04 = O::sub(z[0], z[4]);
    }

    const T b0 = O::add(t17, t35), m = O::sub(t17, t35), b3 = O::add(u17, u35), n = O::sub(u17, u35);
    const T mpn = O::add(m, n), mmn = O::sub(m, n);
    const T b1 = O::add(mpn, O::mulhi(mpn, kCos4m1));
    const T b2 = O::add(mmn, O::mulhi(mmn, kCos4m1));

    const T a0 = O::add(sum04, e), a3 = O::sub(sum04, e), a1 = O::add(dif04, o), a2 = O::sub(dif04, o);

    x[0] = O::template sra<6>(O::add(a0, b0));
    x[1] = O::template sra<6>(O::add(a1, b1));
    x[2] = O::template sra<6>(O::add(a2, b2));
    x[3] = O::template sra<6>(O::add(a3, b3));
    x[4] = O::template sra<6>(O::sub(a3, b3));
    x[5] = O::template sra<6>(O::sub(a2, b2));
    x[6] = O::template sra<6>(O::sub(a1, b1));
    x[7] = O::template sra<6>(O::sub(a0, b0));
}

// ---- the horizontal cosine matrices ---------------------------------------------

namespace detail {

// cos(n * pi / 16) to double precision, at compile time.
constexpr double cosPi16(int n) {
    n = ((n % 32) + 32) % 32;  // period 2 pi
    double sign = 1.0;
    if (n > 16) n = 32 - n;    // cos(2pi - a) = cos(a)
    if (n > 8) {               // cos(pi - a) = -cos(a)
        n = 16 - n;
        sign = -1.0;
    }
    const double x = n * 3.14159265358979323846 / 16.0;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 20; ++k) {
        term *= -x * x / ((2.0 * k - 1.0) * (2.0 * k));
        sum += term;
    }
    return sign * sum;
}

constexpr std::int16_t roundQ(double v) {
    return static_cast<std::int16_t>(v >= 0 ? static_cast<long>(v + 0.5) : -static_cast<long>(-v + 0.5));
}

inline constexpr double kSqrt2 = 1.41421356237309504880;

// Row factor that the vertical butterflies leave on frequency row k.
constexpr double rowFactor(int k) {
    const int m = k > 4 ? 8 - k : k;
    return m == 0 || m == 4 ? 1.0 : kSqrt2 * cosPi16(m);
}

}  // namespace detail

// W[k][v][x] = 32768 * s_k * c_v * cos((2x+1) v pi/16), c_0 = 1/2, c_v = 1/sqrt(2).
inline constexpr auto kCosineW = [] {
    std::array<std::array<std::array<std::int16_t, 8>, 8>, 8> w{};
    for (int k = 0; k < 8; ++k)
        for (int v = 0; v < 8; ++v)
            for (int x = 0; x < 8; ++x) {
                const double cv = v == 0 ? 0.5 : 1.0 / detail::kSqrt2;
                w[k][v][x] = detail::roundQ(32768.0 * detail::rowFactor(k) * cv * detail::cosPi16((2 * x + 1) * v));
            }
    return w;
}();

static_assert(kCosineW[0][0][0] == 16384 && kCosineW[0][1][0] == 22725 && kCosineW[0][2][0] == 21407 &&
              kCosineW[0][3][0] == 19266 && kCosineW[0][5][0] == 12873 && kCosineW[0][6][0] == 8867 &&
              kCosineW[0][7][0] == 4520);
static_assert(kCosineW[1][0][0] == 22725 && kCosineW[1][1][0] == 31521);

// Rounding biases of the inverse horizontal pass (row 0 also carries the
// rounding of the final >> 6).
inline constexpr std::int32_t kInvBias[8] = {65536, 2901, 2260, 1704, 1024, 455, 512, 373};

// pmaddwd operands: for row k, pair j and half h, the lanes hold
// (W(v, 2j), W(v, 2j+1)) for v = 4h..4h+3 (forward: output index v) or
// (W(2j, x), W(2j+1, x)) for x = 4h..4h+3 (inverse: output index x).
struct alignas(16) PairTable {
    std::int16_t m[8][4][2][8];
};

inline constexpr PairTable makePairTable(bool inverse) {
    PairTable t{};
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 4; ++j)
            for (int h = 0; h < 2; ++h)
                for (int i = 0; i < 4; ++i) {
                    const int out = 4 * h + i;
                    t.m[k][j][h][2 * i] = inverse ? kCosineW[k][2 * j][out] : kCosineW[k][out][2 * j];
                    t.m[k][j][h][2 * i + 1] = inverse ? kCosineW[k][2 * j + 1][out] : kCosineW[k][out][2 * j + 1];
                }
    return t;
}

inline constexpr PairTable kFwdPairs = makePairTable(false);

// One row times its matrix with 32-bit wrap-around sums, for the vector path:
// out[o] = sum over i of in[i] * M(i, o), then + bias, >> shift, saturated.
template <int Shift>
inline __m128i matrixRow(__m128i in, const std::int16_t (*pairs)[2][8], std::int32_t bias) {
    __m128i lo = _mm_set1_epi32(bias), hi = lo;
    const __m128i b0 = _mm_shuffle_epi32(in, 0x00), b1 = _mm_shuffle_epi32(in, 0x55);
    const __m128i b2 = _mm_shuffle_epi32(in, 0xAA), b3 = _mm_shuffle_epi32(in, 0xFF);
    const __m128i* p = reinterpret_cast<const __m128i*>(pairs);
    lo = _mm_add_epi32(lo, _mm_madd_epi16(b0, _mm_load_si128(p + 0)));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(b0, _mm_load_si128(p + 1)));
    lo = _mm_add_epi32(lo, _mm_madd_epi16(b1, _mm_load_si128(p + 2)));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(b1, _mm_load_si128(p + 3)));
    lo = _mm_add_epi32(lo, _mm_madd_epi16(b2, _mm_load_si128(p + 4)));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(b2, _mm_load_si128(p + 5)));
    lo = _mm_add_epi32(lo, _mm_madd_epi16(b3, _mm_load_si128(p + 6)));
    hi = _mm_add_epi32(hi, _mm_madd_epi16(b3, _mm_load_si128(p + 7)));
    return _mm_packs_epi32(_mm_srai_epi32(lo, Shift), _mm_srai_epi32(hi, Shift));
}

// The inverse matrices split by the parity of the coefficient index: output
// x and 7 - x share every weight up to the sign (-1)^v, so the even-index sum
// E and the odd-index sum O of the four left outputs give E + O on the left
// and E - O on the right.  For row k and group g (0: v = 0, 2; 1: v = 1, 3;
// 2: v = 4, 6; 3: v = 5, 7) lanes 2x, 2x + 1 (x = 0..3) hold the two weights.
struct alignas(16) InvParityTable {
    std::int16_t m[8][4][8];
};

inline constexpr InvParityTable kInvParity = [] {
    InvParityTable t{};
    constexpr int first[4] = {0, 1, 4, 5};
    for (int k = 0; k < 8; ++k)
        for (int g = 0; g < 4; ++g)
            for (int x = 0; x < 4; ++x) {
                t.m[k][g][2 * x] = kCosineW[k][first[g]][x];
                t.m[k][g][2 * x + 1] = kCosineW[k][first[g] + 2][x];
            }
    return t;
}();

// The mirror property the split relies on, for every weight.
inline constexpr bool kInvMirrored = [] {
    for (int k = 0; k < 8; ++k)
        for (int v = 0; v < 8; ++v)
            for (int x = 0; x < 4; ++x)
                if (kCosineW[k][v][7 - x] != (v % 2 ? -kCosineW[k][v][x] : kCosineW[k][v][x])) return false;
    return true;
}();
static_assert(kInvMirrored);

// One coefficient row of the inverse horizontal pass: the same wrap-around
// sums as matrixRow would form over the pairs of makePairTable(true)
// (addition modulo 2^32 does not depend on the order), in half the products.
inline __m128i matrixRowInv(__m128i in, const std::int16_t (*groups)[8], std::int32_t bias) {
    // Coefficient pairs (0, 2), (1, 3), (4, 6), (5, 7) as 32-bit lanes.
    const __m128i q = _mm_shufflehi_epi16(_mm_shufflelo_epi16(in, 0xD8), 0xD8);
    const __m128i* p = reinterpret_cast<const __m128i*>(groups);
    const __m128i even = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(q, 0x00), _mm_load_si128(p + 0)),
                                       _mm_madd_epi16(_mm_shuffle_epi32(q, 0xAA), _mm_load_si128(p + 2)));
    const __m128i odd = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(q, 0x55), _mm_load_si128(p + 1)),
                                      _mm_madd_epi16(_mm_shuffle_epi32(q, 0xFF), _mm_load_si128(p + 3)));
    const __m128i e = _mm_add_epi32(even, _mm_set1_epi32(bias));
    const __m128i lo = _mm_add_epi32(e, odd);
    const __m128i hi = _mm_shuffle_epi32(_mm_sub_epi32(e, odd), 0x1B);  // outputs 4..7
    return _mm_packs_epi32(_mm_srai_epi32(lo, 11), _mm_srai_epi32(hi, 11));
}

// Scalar definition of the same: sums wrap modulo 2^32.
template <int Shift>
inline void matrixRowScalar(const std::int16_t* in, const std::array<std::array<std::int16_t, 8>, 8>& w,
                            bool inverse, std::int32_t bias, std::int16_t* out) {
    for (int o = 0; o < 8; ++o) {
        std::uint32_t acc = static_cast<std::uint32_t>(bias);
        for (int i = 0; i < 8; ++i) {
            const std::int32_t c = inverse ? w[i][o] : w[o][i];
            acc += static_cast<std::uint32_t>(std::int32_t{in[i]} * c);
        }
        out[o] = sat16(static_cast<std::int32_t>(acc) >> Shift);
    }
}

// ---- whole 8x8 transforms (64 contiguous values in, 64 out; may alias) -------------

// The vector forms on rows held in registers (x[r]: row r of the block).
inline void fdct8x8Rows(const __m128i* x, __m128i* out) {
    __m128i y[8];
    fdctVertical<Vec16>(x, y);
    for (int k = 0; k < 8; ++k) out[k] = matrixRow<20>(y[k], kFwdPairs.m[k], 1 << 19);
}

// A row of zero coefficients passes the horizontal pass as its rounding
// bias alone.  Decoded blocks mostly have their last four rows all zero:
// one test of those four skips their products and, since they leave zero
// rows, their terms in the vertical pass; such blocks then test rows 2 and
// 3 together (a test per row costs more in mispredicted branches than the
// products it saves).  Inlined whole: as a call, the rows would be spilled.
[[gnu::always_inline]] inline void idct8x8Rows(const __m128i* in, __m128i* out) {
    static_assert((kInvBias[4] | kInvBias[5] | kInvBias[6] | kInvBias[7]) >> 11 == 0,
                  "zero rows 4 to 7 leave zero after the horizontal pass");
    __m128i z[8];
    const __m128i zero = _mm_setzero_si128();
    for (int k = 0; k < 2; ++k) z[k] = matrixRowInv(in[k], kInvParity.m[k], kInvBias[k]);
    const __m128i high = _mm_or_si128(_mm_or_si128(in[4], in[5]), _mm_or_si128(in[6], in[7]));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) == 0xFFFF) {
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(in[2], in[3]), zero)) == 0xFFFF) {
            for (int k = 2; k < 4; ++k) z[k] = _mm_set1_epi16(static_cast<std::int16_t>(kInvBias[k] >> 11));
        } else {
            for (int k = 2; k < 4; ++k) z[k] = matrixRowInv(in[k], kInvParity.m[k], kInvBias[k]);
        }
        idctVertical<Vec16, true>(z, out);
    } else {
        for (int k = 2; k < 8; ++k) z[k] = matrixRowInv(in[k], kInvParity.m[k], kInvBias[k]);
        idctVertical<Vec16>(z, out);
    }
}

template <Path P>
inline void fdct8x8(const std::int16_t* in, std::int16_t* out) {
    if constexpr (P == Path::Vector) {
        __m128i x[8], y[8];
        for (int r = 0; r < 8; ++r) x[r] = loadu(in + 8 * r);
        fdct8x8Rows(x, y);
        for (int k = 0; k < 8; ++k) storeu(out + 8 * k, y[k]);
    } else {
        std::int16_t y[64];
        for (int c = 0; c < 8; ++c) {
            std::int16_t col[8], f[8];
            for (int r = 0; r < 8; ++r) col[r] = in[8 * r + c];
            fdctVertical<Lane16>(col, f);
            for (int k = 0; k < 8; ++k) y[8 * k + c] = f[k];
        }
        for (int k = 0; k < 8; ++k) matrixRowScalar<20>(y + 8 * k, kCosineW[k], false, 1 << 19, out + 8 * k);
    }
}

template <Path P>
inline void idct8x8(const std::int16_t* in, std::int16_t* out) {
    if constexpr (P == Path::Vector) {
        __m128i z[8], x[8];
        for (int k = 0; k < 8; ++k) z[k] = loadu(in + 8 * k);
        idct8x8Rows(z, x);
        for (int r = 0; r < 8; ++r) storeu(out + 8 * r, x[r]);
    } else {
        std::int16_t z[64];
        for (int k = 0; k < 8; ++k) matrixRowScalar<11>(in + 8 * k, kCosineW[k], true, kInvBias[k], z + 8 * k);
        for (int c = 0; c < 8; ++c) {
            std::int16_t col[8], s[8];
            for (int k = 0; k < 8; ++k) col[k] = z[8 * k + c];
            idctVertical<Lane16>(col, s);
            for (int r = 0; r < 8; ++r) out[8 * r + c] = s[r];
        }
    }
}

}  // namespace zeb::dct
