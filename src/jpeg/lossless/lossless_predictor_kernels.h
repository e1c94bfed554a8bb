// Row kernels of the T.81 lossless predictors (Annex H), both directions.
//
// A row is predicted from Ra (left), Rb (above) and Rc (above-left); all sums
// wrap modulo 2^16, and the halving predictors work on the signed 16-bit
// operands in 32 bits with a floor shift.  The scalar loops are the left-to-
// right definitions.  Vector paths (eight samples a step after a scalar head
// that aligns the output to 16 bytes) exist where no output depends on an
// earlier output: the difference side of the first row and of predictors 1
// to 4, and the reconstruction of predictors 2 and 3.  They fall back to the
// scalar loop when the output overlaps an input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/simd.h"

namespace zeb::lossless {

using Sample = std::int16_t;

inline Sample wrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<Sample>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b)));
}
inline Sample wrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<Sample>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)));
}

// T.81 Table H.1; the prediction only matters modulo 2^16.
template <int Pred>
inline std::int32_t predict(std::int32_t ra, std::int32_t rb, std::int32_t rc) {
    static_assert(Pred >= 1 && Pred <= 7);
    if constexpr (Pred == 1) return ra;
    if constexpr (Pred == 2) return rb;
    if constexpr (Pred == 3) return rc;
    if constexpr (Pred == 4) return ra + rb - rc;
    if constexpr (Pred == 5) return ra + ((rb - rc) >> 1);
    if constexpr (Pred == 6) return rb + ((ra - rc) >> 1);
    if constexpr (Pred == 7) return (ra + rb) >> 1;
}

// Initial prediction of the first row: 2^(P - Pt - 1); 0 when Pt >= P.
inline std::int32_t firstRowPrediction(int precision, int pointTransform) {
    const int e = precision - pointTransform - 1;
    return e >= 0 ? (1 << e) : 0;
}

inline bool overlaps(const void* a, std::size_t aBytes, const void* b, std::size_t bBytes) {
    const auto pa = reinterpret_cast<std::uintptr_t>(a), pb = reinterpret_cast<std::uintptr_t>(b);
    return pa < pb + bBytes && pb < pa + aBytes;
}

// Scalar elements before dst + i reaches a 16-byte boundary (when it can).
inline std::size_t alignHead(const Sample* dst, std::size_t from, std::size_t n) {
    const auto addr = reinterpret_cast<std::uintptr_t>(dst + from);
    if (addr & 1u) return from;
    const std::size_t head = ((16u - (addr & 15u)) & 15u) / 2u;
    return from + head < n ? from + head : n;
}

// Eight vector predictions for columns i..i+7 (i >= 1).
template <int Pred>
inline __m128i predictVec(const Sample* cur, const Sample* prev, std::size_t i) {
    if constexpr (Pred == 1) return loadu(cur + i - 1);
    if constexpr (Pred == 2) return loadu(prev + i);
    if constexpr (Pred == 3) return loadu(prev + i - 1);
    if constexpr (Pred == 4) return _mm_sub_epi16(_mm_add_epi16(loadu(cur + i - 1), loadu(prev + i)), loadu(prev + i - 1));
}

// Differences of columns 1..n-1 against predictor Pred; prev may be null for
// Pred 1 (the first row).
template <int Pred, Path P>
inline void diffBody(const Sample* src, const Sample* prev, Sample* dst, std::size_t n) {
    std::size_t i = 1;
    if constexpr (P == Path::Vector && Pred <= 4) {
        const std::size_t bytes = n * sizeof(Sample);
        const bool clash = overlaps(dst, bytes, src, bytes) || (prev && overlaps(dst, bytes, prev, bytes));
        if (!clash) {
            for (const std::size_t head = alignHead(dst, 1, n); i < head; ++i)
                dst[i] = wrapSub(src[i], predict<Pred>(src[i - 1], prev ? prev[i] : 0, prev ? prev[i - 1] : 0));
            for (; i + 8 <= n; i += 8) storeu(dst + i, _mm_sub_epi16(loadu(src + i), predictVec<Pred>(src, prev, i)));
        }
    }
    for (; i < n; ++i) dst[i] = wrapSub(src[i], predict<Pred>(src[i - 1], prev ? prev[i] : 0, prev ? prev[i - 1] : 0));
}

template <Path P>
inline void diffFirstRow(const Sample* src, Sample* dst, std::size_t n, int precision, int pointTransform) {
    dst[0] = wrapSub(src[0], firstRowPrediction(precision, pointTransform));
    diffBody<1, P>(src, nullptr, dst, n);
}

template <int Pred, Path P>
inline void diffRow(const Sample* src, const Sample* prev, Sample* dst, std::size_t n) {
    dst[0] = wrapSub(src[0], prev[0]);
    diffBody<Pred, P>(src, prev, dst, n);
}

template <Path P>
inline void reconstructFirstRow(const Sample* src, Sample* dst, std::size_t n, int precision, int pointTransform) {
    dst[0] = wrapAdd(src[0], firstRowPrediction(precision, pointTransform));
    for (std::size_t i = 1; i < n; ++i) dst[i] = wrapAdd(src[i], dst[i - 1]);
}

template <int Pred, Path P>
inline void reconstructRow(const Sample* src, const Sample* prev, Sample* dst, std::size_t n) {
    dst[0] = wrapAdd(src[0], prev[0]);
    std::size_t i = 1;
    if constexpr (P == Path::Vector && (Pred == 2 || Pred == 3)) {
        const std::size_t bytes = n * sizeof(Sample);
        if (!overlaps(dst, bytes, src, bytes) && !overlaps(dst, bytes, prev, bytes)) {
            for (const std::size_t head = alignHead(dst, 1, n); i < head; ++i)
                dst[i] = wrapAdd(src[i], predict<Pred>(dst[i - 1], prev[i], prev[i - 1]));
            for (; i + 8 <= n; i += 8) storeu(dst + i, _mm_add_epi16(loadu(src + i), predictVec<Pred>(dst, prev, i)));
        }
    }
    for (; i < n; ++i) dst[i] = wrapAdd(src[i], predict<Pred>(dst[i - 1], prev[i], prev[i - 1]));
}

// Run-time choice of the predictor (1..7) for the exported functions.
template <Path P>
inline void diffRowAny(int pred, const Sample* src, const Sample* prev, Sample* dst, std::size_t n) {
    switch (pred) {
        case 1: diffRow<1, P>(src, prev, dst, n); break;
        case 2: diffRow<2, P>(src, prev, dst, n); break;
        case 3: diffRow<3, P>(src, prev, dst, n); break;
        case 4: diffRow<4, P>(src, prev, dst, n); break;
        case 5: diffRow<5, P>(src, prev, dst, n); break;
        case 6: diffRow<6, P>(src, prev, dst, n); break;
        default: diffRow<7, P>(src, prev, dst, n); break;
    }
}

template <Path P>
inline void reconstructRowAny(int pred, const Sample* src, const Sample* prev, Sample* dst, std::size_t n) {
    switch (pred) {
        case 1: reconstructRow<1, P>(src, prev, dst, n); break;
        case 2: reconstructRow<2, P>(src, prev, dst, n); break;
        case 3: reconstructRow<3, P>(src, prev, dst, n); break;
        case 4: reconstructRow<4, P>(src, prev, dst, n); break;
        case 5: reconstructRow<5, P>(src, prev, dst, n); break;
        case 6: reconstructRow<6, P>(src, prev, dst, n); break;
        default: reconstructRow<7, P>(src, prev, dst, n); break;
    }
}

}  // namespace zeb::lossless
