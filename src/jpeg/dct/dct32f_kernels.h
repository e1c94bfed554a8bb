// Single-precision 8x8 DCT of the 12-bit JPEG path.
//
// A separable even/odd factorisation of the T.81 transform: each 1-D pass
// folds x[i] and x[7-i] into sums and differences, the even half is a
// 4-point transform and the odd half a 4x4 product with cos(n pi/16) / 2.
// The 1-D pass is written once over a lane type: float (the scalar
// definition, one column at a time) or F4 (four columns in one SSE
// register).  Every output element sees the same single-precision operations
// in the same order on both paths, so the results are bit-identical.
#pragma once

#include <cstdint>

#include "core/simd.h"
#include "jpeg/dct/dct16_kernels.h"

namespace zeb::dct {

struct F4 {
    __m128 v;
    F4() = default;
    explicit F4(__m128 x) : v(x) {}
    explicit F4(float c) : v(_mm_set1_ps(c)) {}
    friend F4 operator+(F4 a, F4 b) { return F4(_mm_add_ps(a.v, b.v)); }
    friend F4 operator-(F4 a, F4 b) { return F4(_mm_sub_ps(a.v, b.v)); }
    friend F4 operator*(F4 a, F4 b) { return F4(_mm_mul_ps(a.v, b.v)); }
};

// Half cosines a_n = cos(n pi / 16) / 2 and cos(pi/4) / 2.
inline constexpr float kA1 = static_cast<float>(0.5 * detail::cosPi16(1));
inline constexpr float kA2 = static_cast<float>(0.5 * detail::cosPi16(2));
inline constexpr float kA3 = static_cast<float>(0.5 * detail::cosPi16(3));
inline constexpr float kA5 = static_cast<float>(0.5 * detail::cosPi16(5));
inline constexpr float kA6 = static_cast<float>(0.5 * detail::cosPi16(6));
inline constexpr float kA7 = static_cast<float>(0.5 * detail::cosPi16(7));
inline constexpr float kA4 = static_cast<float>(0.5 * detail::cosPi16(4));

// X(u) = C(u)/2 * sum x(i) cos((2i+1) u pi/16), C(0) = 1/sqrt(2).
template <class T>
inline void fdct1d(const T* x, T* X) {
    const T a1(kA1), a2(kA2), a3(kA3), a4(kA4), a5(kA5), a6(kA6), a7(kA7);
    const T s0 = x[0] + x[7], s1 = x[1] + x[6], s2 = x[2] + x[5], s3 = x[3] + x[4];
    const T d0 = x[0] - x[7], d1 = x[1] - x[6], d2 = x[2] - x[5], d3 = x[3] - x[4];
    const T e0 = s0 + s3, e1 = s1 + s2, e2 = s0 - s3, e3 = s1 - s2;
    X[0] = (e0 + e1) * a4;
    X[4] = (e0 - e1) * a4;
    X[2] = e2 * a2 + e3 * a6;
    X[6] = e2 * a6 - e3 * a2;
    X[1] = d0 * a1 + d1 * a3 + d2 * a5 + d3 * a7;
    X[3] = d0 * a3 - d1 * a7 - d2 * a1 - d3 * a5;
    X[5] = d0 * a5 - d1 * a1 + d2 * a7 + d3 * a3;
    X[7] = d0 * a7 - d1 * a5 + d2 * a3 - d3 * a1;
}

// x(i) = sum over u of C(u)/2 * X(u) cos((2i+1) u pi/16).
template <class T>
inline void idct1d(const T* X, T* x) {
    const T a1(kA1), a2(kA2), a3(kA3), a4(kA4), a5(kA5), a6(kA6), a7(kA7);
    const T p0 = (X[0] + X[4]) * a4, p1 = (X[0] - X[4]) * a4;
    const T p2 = X[2] * a2 + X[6] * a6, p3 = X[2] * a6 - X[6] * a2;
    const T ev0 = p0 + p2, ev1 = p1 + p3, ev2 = p1 - p3, ev3 = p0 - p2;
    const T od0 = X[1] * a1 + X[3] * a3 + X[5] * a5 + X[7] * a7;
    const T od1 = X[1] * a3 - X[3] * a7 - X[5] * a1 - X[7] * a5;
    const T od2 = X[1] * a5 - X[3] * a1 + X[5] * a7 + X[7] * a3;
    const T od3 = X[1] * a7 - X[3] * a5 + X[5] * a3 - X[7] * a1;
    x[0] = ev0 + od0;
    x[7] = ev0 - od0;
    x[1] = ev1 + od1;
    x[6] = ev1 - od1;
    x[2] = ev2 + od2;
    x[5] = ev2 - od2;
    x[3] = ev3 + od3;
    x[4] = ev3 - od3;
}

// 2-D transform in place on an 8x8 float block: columns, then rows.
template <Path P, bool Inverse>
inline void dct2dFloat(float* b) {
    auto pass = [](auto* in, auto* out) {
        if constexpr (Inverse)
            idct1d(in, out);
        else
            fdct1d(in, out);
    };
    if constexpr (P == Path::Vector) {
        // r[row][half]: the two groups of four columns.
        __m128 r[8][2];
        for (int i = 0; i < 8; ++i) {
            r[i][0] = _mm_loadu_ps(b + 8 * i);
            r[i][1] = _mm_loadu_ps(b + 8 * i + 4);
        }
        for (int round = 0; round < 2; ++round) {
            for (int h = 0; h < 2; ++h) {
                F4 in[8], out[8];
                for (int i = 0; i < 8; ++i) in[i] = F4(r[i][h]);
                pass(in, out);
                for (int i = 0; i < 8; ++i) r[i][h] = out[i].v;
            }
            // Transpose the 8x8 block as four 4x4 tiles (the off-diagonal tiles swap).
            _MM_TRANSPOSE4_PS(r[0][0], r[1][0], r[2][0], r[3][0]);
            _MM_TRANSPOSE4_PS(r[4][1], r[5][1], r[6][1], r[7][1]);
            _MM_TRANSPOSE4_PS(r[0][1], r[1][1], r[2][1], r[3][1]);
            _MM_TRANSPOSE4_PS(r[4][0], r[5][0], r[6][0], r[7][0]);
            for (int i = 0; i < 4; ++i) {
                const __m128 t = r[i][1];
                r[i][1] = r[i + 4][0];
                r[i + 4][0] = t;
            }
        }
        for (int i = 0; i < 8; ++i) {
            _mm_storeu_ps(b + 8 * i, r[i][0]);
            _mm_storeu_ps(b + 8 * i + 4, r[i][1]);
        }
    } else {
        float in[8], out[8];
        for (int c = 0; c < 8; ++c) {
            for (int i = 0; i < 8; ++i) in[i] = b[8 * i + c];
            pass(in, out);
            for (int i = 0; i < 8; ++i) b[8 * i + c] = out[i];
        }
        for (int r = 0; r < 8; ++r) {
            for (int i = 0; i < 8; ++i) in[i] = b[8 * r + i];
            pass(in, out);
            for (int i = 0; i < 8; ++i) b[8 * r + i] = out[i];
        }
    }
}

// Values are limited to the 16-bit range in single precision before the
// conversion (round to nearest even, or truncate), so that large finite
// values saturate.  maxps/minps return their second operand for NaN, so NaN
// becomes -32768 on both paths.
inline __m128 clamp16(__m128 v) {
    return _mm_min_ps(_mm_max_ps(v, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
}
inline std::int16_t cvtRound16(float v) {
    return static_cast<std::int16_t>(_mm_cvtss_si32(clamp16(_mm_set_ss(v))));
}
inline std::int16_t cvtTrunc16(float v) {
    return static_cast<std::int16_t>(_mm_cvttss_si32(clamp16(_mm_set_ss(v))));
}

// 12-bit forward: samples read as 16s, minus 2048, DCT, times the table,
// rounded to nearest even, saturated to 16 bits.
template <Path P>
inline void fdctQuant12(const std::uint16_t* src, int step, std::int16_t* dst, const float* table) {
    alignas(16) float b[64];
    if constexpr (P == Path::Vector) {
        const __m128 off = _mm_set1_ps(2048.0f);
        for (int r = 0; r < 8; ++r) {
            const __m128i v = loadu(rowAt(src, step, r));
            const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
            const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
            _mm_store_ps(b + 8 * r, _mm_sub_ps(_mm_cvtepi32_ps(lo), off));
            _mm_store_ps(b + 8 * r + 4, _mm_sub_ps(_mm_cvtepi32_ps(hi), off));
        }
        dct2dFloat<P, false>(b);
        for (int i = 0; i < 64; i += 8) {
            const __m128i q0 = _mm_cvtps_epi32(clamp16(_mm_mul_ps(_mm_load_ps(b + i), _mm_loadu_ps(table + i))));
            const __m128i q1 = _mm_cvtps_epi32(clamp16(_mm_mul_ps(_mm_load_ps(b + i + 4), _mm_loadu_ps(table + i + 4))));
            storeu(dst + i, _mm_packs_epi32(q0, q1));
        }
    } else {
        for (int r = 0; r < 8; ++r) {
            const std::uint16_t* row = rowAt(src, step, r);
            for (int c = 0; c < 8; ++c)
                b[8 * r + c] = static_cast<float>(static_cast<std::int16_t>(row[c])) - 2048.0f;
        }
        dct2dFloat<P, false>(b);
        for (int i = 0; i < 64; ++i) dst[i] = cvtRound16(b[i] * table[i]);
    }
}

// 12-bit inverse: coefficients times the table, inverse DCT, plus 2048,
// truncated, saturated to 16 bits and clamped to 0..4095.
template <Path P>
inline void idctQuant12(const std::int16_t* src, std::uint16_t* dst, int step, const float* table) {
    alignas(16) float b[64];
    if constexpr (P == Path::Vector) {
        for (int i = 0; i < 64; i += 8) {
            const __m128i v = loadu(src + i);
            const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
            const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
            _mm_store_ps(b + i, _mm_mul_ps(_mm_cvtepi32_ps(lo), _mm_loadu_ps(table + i)));
            _mm_store_ps(b + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(hi), _mm_loadu_ps(table + i + 4)));
        }
        dct2dFloat<P, true>(b);
        const __m128 off = _mm_set1_ps(2048.0f);
        const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(4095);
        for (int r = 0; r < 8; ++r) {
            const __m128i q0 = _mm_cvttps_epi32(clamp16(_mm_add_ps(_mm_load_ps(b + 8 * r), off)));
            const __m128i q1 = _mm_cvttps_epi32(clamp16(_mm_add_ps(_mm_load_ps(b + 8 * r + 4), off)));
            storeu(rowAt(dst, step, r), _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(q0, q1), zero), top));
        }
    } else {
        for (int i = 0; i < 64; ++i) b[i] = static_cast<float>(src[i]) * table[i];
        dct2dFloat<P, true>(b);
        for (int r = 0; r < 8; ++r) {
            std::uint16_t* row = rowAt(dst, step, r);
            for (int c = 0; c < 8; ++c) {
                const std::int16_t v = cvtTrunc16(b[8 * r + c] + 2048.0f);
                row[c] = static_cast<std::uint16_t>(v < 0 ? 0 : (v > 4095 ? 4095 : v));
            }
        }
    }
}

}  // namespace zeb::dct
