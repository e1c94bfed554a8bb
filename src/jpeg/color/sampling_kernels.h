// Row kernels of chroma down-sampling (box filter) and up-sampling (triangle
// filter, weights 3:1 per direction).  Each kernel is defined by its scalar
// path; the vector path computes the same sums in 16-bit lanes for the bulk of
// the row and finishes with the scalar path.
#pragma once

#include <cstdint>

#include "core/simd.h"

namespace zeb::sampling {

using u8 = std::uint8_t;

// ---- box down-sampling ---------------------------------------------------------------------
// d[j] = (sum of the 2 (Rows = 1) or 2x2 (Rows = 2) source samples of j + bias) >> Rows,
// with bias = biasEven for even j and biasOdd for odd j.  `b` is the lower
// source row (unused for Rows = 1).
template <Path P, int Rows>
void downsampleBox(const u8* a, const u8* b, u8* d, int n, int biasEven, int biasOdd) {
    int j = 0;
    if constexpr (P == Path::Vector) {
        const __m128i mask = _mm_set1_epi16(0xFF);
        const __m128i bias = _mm_set_epi16(static_cast<short>(biasOdd), static_cast<short>(biasEven),
                                           static_cast<short>(biasOdd), static_cast<short>(biasEven),
                                           static_cast<short>(biasOdd), static_cast<short>(biasEven),
                                           static_cast<short>(biasOdd), static_cast<short>(biasEven));
        auto pairSums = [&](const u8* p) {
            const __m128i v = loadu(p);
            return _mm_add_epi16(_mm_and_si128(v, mask), _mm_srli_epi16(v, 8));
        };
        for (; j + 16 <= n; j += 16) {
            __m128i lo = pairSums(a + 2 * j), hi = pairSums(a + 2 * j + 16);
            if constexpr (Rows == 2) {
                lo = _mm_add_epi16(lo, pairSums(b + 2 * j));
                hi = _mm_add_epi16(hi, pairSums(b + 2 * j + 16));
            }
            lo = _mm_srli_epi16(_mm_add_epi16(lo, bias), Rows);
            hi = _mm_srli_epi16(_mm_add_epi16(hi, bias), Rows);
            storeu(d + j, _mm_packus_epi16(lo, hi));
        }
    }
    for (; j < n; ++j) {
        int sum = a[2 * j] + a[2 * j + 1];
        if constexpr (Rows == 2) sum += b[2 * j] + b[2 * j + 1];
        d[j] = static_cast<u8>((sum + ((j & 1) ? biasOdd : biasEven)) >> Rows);
    }
}

// ---- triangle up-sampling, horizontal ----------------------------------------------------------
// For i in [i0, i1): d[2i] = (3 s[i] + s[i-1] + 1) >> 2 and
// d[2i+1] = (3 s[i] + s[i+1] + 2) >> 2.  Reads s[i0-1] .. s[i1].
inline int upEvenH(const u8* s, int i) { return (3 * s[i] + s[i - 1] + 1) >> 2; }
inline int upOddH(const u8* s, int i) { return (3 * s[i] + s[i + 1] + 2) >> 2; }

template <Path P>
void upsampleH2V1Pairs(const u8* s, u8* d, int i0, int i1) {
    int i = i0;
    if constexpr (P == Path::Vector) {
        // Sixteen source samples a step, as two halves of 16-bit lanes.
        const __m128i one = _mm_set1_epi16(1), two = _mm_set1_epi16(2), z = _mm_setzero_si128();
        auto half = [&](__m128i l, __m128i c, __m128i r, __m128i& even, __m128i& odd) {
            const __m128i c3 = _mm_add_epi16(_mm_add_epi16(c, c), c);
            even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, l), one), 2);
            odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, r), two), 2);
        };
        for (; i + 16 <= i1; i += 16) {
            const __m128i l = loadu(s + i - 1), c = loadu(s + i), r = loadu(s + i + 1);
            __m128i e0, o0, e1, o1;
            half(_mm_unpacklo_epi8(l, z), _mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(r, z), e0, o0);
            half(_mm_unpackhi_epi8(l, z), _mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(r, z), e1, o1);
            const __m128i even = _mm_packus_epi16(e0, e1), odd = _mm_packus_epi16(o0, o1);
            storeu(d + 2 * i, _mm_unpacklo_epi8(even, odd));
            storeu(d + 2 * i + 16, _mm_unpackhi_epi8(even, odd));
        }
    }
    for (; i < i1; ++i) {
        d[2 * i] = static_cast<u8>(upEvenH(s, i));
        d[2 * i + 1] = static_cast<u8>(upOddH(s, i));
    }
}

// ---- triangle up-sampling, both directions -------------------------------------------------------
// Column sums c[i] = 3 n[i] + f[i] of the nearer row n and the farther row f;
// for i in [i0, i1): d[2i] = (3 c[i] + c[i-1] + 8) >> 4 and
// d[2i+1] = (3 c[i] + c[i+1] + 7) >> 4.  Reads columns i0-1 .. i1.
inline int colSum(const u8* n, const u8* f, int i) { return 3 * n[i] + f[i]; }
inline int upEvenHV(const u8* n, const u8* f, int i) {
    return (3 * colSum(n, f, i) + colSum(n, f, i - 1) + 8) >> 4;
}
inline int upOddHV(const u8* n, const u8* f, int i) {
    return (3 * colSum(n, f, i) + colSum(n, f, i + 1) + 7) >> 4;
}

template <Path P>
void upsampleH2V2Pairs(const u8* n, const u8* f, u8* d, int i0, int i1) {
    int i = i0;
    if constexpr (P == Path::Vector) {
        // Sixteen columns a step; column sums of 16-bit lanes, two halves.
        const __m128i eight = _mm_set1_epi16(8), seven = _mm_set1_epi16(7), z = _mm_setzero_si128();
        auto sums = [&](int at, __m128i& lo, __m128i& hi) {
            const __m128i nv = loadu(n + at), fv = loadu(f + at);
            const __m128i nl = _mm_unpacklo_epi8(nv, z), nh = _mm_unpackhi_epi8(nv, z);
            lo = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(nl, nl), nl), _mm_unpacklo_epi8(fv, z));
            hi = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(nh, nh), nh), _mm_unpackhi_epi8(fv, z));
        };
        auto half = [&](__m128i l, __m128i c, __m128i r, __m128i& even, __m128i& odd) {
            const __m128i c3 = _mm_add_epi16(_mm_add_epi16(c, c), c);
            even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, l), eight), 4);
            odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, r), seven), 4);
        };
        // The column sums of each step once; their left and right neighbours
        // by lane shifts, with the sum left of the step carried from the
        // step before and the one right of it computed alone.
        __m128i carry = _mm_cvtsi32_si128(i + 16 <= i1 ? colSum(n, f, i - 1) : 0);  // in lane 0
        for (; i + 16 <= i1; i += 16) {
            __m128i c0, c1, e0, o0, e1, o1;
            sums(i, c0, c1);
            const __m128i l0 = _mm_or_si128(_mm_slli_si128(c0, 2), carry);
            const __m128i l1 = _mm_or_si128(_mm_slli_si128(c1, 2), _mm_srli_si128(c0, 14));
            const __m128i r0 = _mm_or_si128(_mm_srli_si128(c0, 2), _mm_slli_si128(c1, 14));
            const __m128i r1 = _mm_insert_epi16(_mm_srli_si128(c1, 2), colSum(n, f, i + 16), 7);
            carry = _mm_srli_si128(c1, 14);
            half(l0, c0, r0, e0, o0);
            half(l1, c1, r1, e1, o1);
            const __m128i even = _mm_packus_epi16(e0, e1), odd = _mm_packus_epi16(o0, o1);
            storeu(d + 2 * i, _mm_unpacklo_epi8(even, odd));
            storeu(d + 2 * i + 16, _mm_unpackhi_epi8(even, odd));
        }
    }
    for (; i < i1; ++i) {
        d[2 * i] = static_cast<u8>(upEvenHV(n, f, i));
        d[2 * i + 1] = static_cast<u8>(upOddHV(n, f, i));
    }
}

// ---- whole rows ---------------------------------------------------------------------------------
// Region rows: the caller supplies s[-1] and s[(w+1)/2]; w destination samples.
template <Path P>
void upsampleRegionRowH2V1(const u8* s, u8* d, int w) {
    upsampleH2V1Pairs<P>(s, d, 0, w / 2);
    if (w & 1) d[w - 1] = static_cast<u8>(upEvenH(s, w / 2));
}

// From pair `from` on (the pairs before it already written).
template <Path P>
void upsampleRegionRowH2V2(const u8* n, const u8* f, u8* d, int w, int from = 0) {
    upsampleH2V2Pairs<P>(n, f, d, from, w / 2);
    if (w & 1) d[w - 1] = static_cast<u8>(upEvenHV(n, f, w / 2));
}

// Destination rows y0 .. y1 - 1 of a region, row y from the nearer source row
// y / 2 and the farther one (y odd ? y / 2 + 1 : y / 2 - 1); `src` is source
// row 0, rows may lie `srcStep` bytes apart in either direction.  Path::Scalar
// runs upsampleRegionRowH2V2 row by row, the definition.
//
// The vector path splits the filter: with the horizontal sums of a row x,
// e[i] = 3 x[i] + x[i-1] and o[i] = 3 x[i] + x[i+1], the sums 3 c[i] + c[i-1]
// and 3 c[i] + c[i+1] of the column sums c = 3 n + f are 3 e_n + e_f and
// 3 o_n + o_f (16-bit lanes: at most 16 * 255).  It walks the rows down one
// strip of 16 source columns at a time, so that the sums of each source row are
// formed once per strip and serve all (up to four) destination rows reading
// it; the columns after the last whole strip, and an odd last sample, take
// the row kernel.
struct HSums16 {
    __m128i e[2], o[2];  // columns i .. i+7 and i+8 .. i+15
};

inline HSums16 hsums16(const u8* x, int i) {
    const __m128i z = _mm_setzero_si128();
    const __m128i l = loadu(x + i - 1), c = loadu(x + i), r = loadu(x + i + 1);
    const __m128i c16[2] = {_mm_unpacklo_epi8(c, z), _mm_unpackhi_epi8(c, z)};
    const __m128i l16[2] = {_mm_unpacklo_epi8(l, z), _mm_unpackhi_epi8(l, z)};
    const __m128i r16[2] = {_mm_unpacklo_epi8(r, z), _mm_unpackhi_epi8(r, z)};
    const __m128i three = _mm_set1_epi16(3);
    HSums16 h;
    for (int k = 0; k < 2; ++k) {
        const __m128i c3 = _mm_mullo_epi16(c16[k], three);
        h.e[k] = _mm_add_epi16(c3, l16[k]);
        h.o[k] = _mm_add_epi16(c3, r16[k]);
    }
    return h;
}

// The nearer row's share with the rounding terms: 3 e + 8, 3 o + 7.
inline HSums16 nearShare16(const HSums16& h) {
    const __m128i three = _mm_set1_epi16(3), eight = _mm_set1_epi16(8), seven = _mm_set1_epi16(7);
    HSums16 n;
    for (int k = 0; k < 2; ++k) {
        n.e[k] = _mm_add_epi16(_mm_mullo_epi16(h.e[k], three), eight);
        n.o[k] = _mm_add_epi16(_mm_mullo_epi16(h.o[k], three), seven);
    }
    return n;
}

// Destination samples 2i .. 2i+31 at d.
inline void combine16(const HSums16& nearShare, const HSums16& far, u8* d) {
    __m128i e[2], o[2];
    for (int k = 0; k < 2; ++k) {
        e[k] = _mm_srli_epi16(_mm_add_epi16(nearShare.e[k], far.e[k]), 4);
        o[k] = _mm_srli_epi16(_mm_add_epi16(nearShare.o[k], far.o[k]), 4);
    }
    const __m128i even = _mm_packus_epi16(e[0], e[1]), odd = _mm_packus_epi16(o[0], o[1]);
    storeu(d, _mm_unpacklo_epi8(even, odd));
    storeu(d + 16, _mm_unpackhi_epi8(even, odd));
}

template <Path P>
void upsampleRegionRowsH2V2(const u8* src, int srcStep, u8* dst, int dstStep, int y0, int y1, int w) {
    if (y0 >= y1) return;
    auto srcRow = [&](int j) { return rowAt(src, srcStep, j); };
    int iEnd = 0;
    if constexpr (P == Path::Vector) {
        iEnd = (w / 2) & ~15;
        for (int i = 0; i < iEnd; i += 16) {
            int j = y0 / 2;  // the nearer row of row y
            HSums16 above{}, cur = hsums16(srcRow(j), i), share = nearShare16(cur);
            if (!(y0 & 1)) above = hsums16(srcRow(j - 1), i);
            for (int y = y0; y < y1; ++y) {
                u8* d = rowAt(dst, dstStep, y) + 2 * i;
                if (!(y & 1)) {
                    combine16(share, above, d);
                    continue;
                }
                const HSums16 below = hsums16(srcRow(j + 1), i);
                combine16(share, below, d);
                if (y + 1 < y1) {  // rows 2j + 2, 2j + 3: nearer row j + 1
                    above = cur;
                    cur = below;
                    share = nearShare16(cur);
                    ++j;
                }
            }
        }
    }
    for (int y = y0; y < y1; ++y) {
        const int nearer = y / 2, farther = (y & 1) ? nearer + 1 : nearer - 1;
        upsampleRegionRowH2V2<P>(srcRow(nearer), srcRow(farther), rowAt(dst, dstStep, y), w, iEnd);
    }
}

// Single rows with their edges: w source samples, 2w destination samples.
// The outermost samples replicate the edge (w = 1 doubles the sample).
template <Path P>
void upsampleRowH2V1(const u8* s, u8* d, int w) {
    if (w == 1) {
        d[0] = d[1] = s[0];
        return;
    }
    d[0] = s[0];
    d[1] = static_cast<u8>(upOddH(s, 0));
    upsampleH2V1Pairs<P>(s, d, 1, w - 1);
    d[2 * w - 2] = static_cast<u8>(upEvenH(s, w - 1));
    d[2 * w - 1] = s[w - 1];
}

template <Path P>
void upsampleRowH2V2(const u8* n, const u8* f, u8* d, int w) {
    const int c0 = colSum(n, f, 0), cl = colSum(n, f, w - 1);
    if (w == 1) {
        d[0] = static_cast<u8>((4 * c0 + 8) >> 4);
        d[1] = static_cast<u8>((4 * c0 + 7) >> 4);
        return;
    }
    d[0] = static_cast<u8>((4 * c0 + 8) >> 4);
    d[1] = static_cast<u8>(upOddHV(n, f, 0));
    upsampleH2V2Pairs<P>(n, f, d, 1, w - 1);
    d[2 * w - 2] = static_cast<u8>(upEvenHV(n, f, w - 1));
    d[2 * w - 1] = static_cast<u8>((4 * cl + 7) >> 4);
}

}  // namespace zeb::sampling
