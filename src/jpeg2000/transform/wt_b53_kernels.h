// Reversible 5/3 lifting kernels.
//
//   predict  H(n) = x(2n+1) - ((x(2n) + x(2n+2)) >> 1)
//   update   L(n) = x(2n)   + ((H(n-1) + H(n) + 2) >> 2)
// and their inverses, in three arithmetic flavours (the Arith traits below):
//   Wrap16  every sum of 16-bit values wraps at 16 bits (16s rows, columns,
//           whole tiles and the 16s ColLift forms);
//   Wide16  sums are exact (formed at 32 bits), results keep their low 16
//           bits (the 16s ColStep forms);
//   Wrap32  32-bit two's-complement throughout (every 32s form).
// Lifting with wrapping arithmetic is still exactly invertible modulo 2^16 or
// 2^32, so forward then inverse reproduces any input.
//
// Line kernels work on the sample line s[] in which s[2m] is the m-th
// even-coordinate sample and s[2m+1] the m-th odd one; a line of n samples
// whose first sample x(0) has phase p starts at s = x - p.  Then
//   phase 0: low[k] = L at s[2k],     high[k] = H at s[2k+1]
//   phase 1: low[k] = L at s[2k+2],   high[k] = H at s[2k+1].
// Every kernel is a template on Path; the scalar path defines the result and
// the SSE2 path covers whole vectors of output pairs in the interior.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/simd.h"
#include "jpeg2000/transform/wt_common.h"

namespace zeb::wt53 {

using wt::ld;
using wt::st;

// ---- arithmetic flavours -------------------------------------------------------------
struct Lanes16 {
    using T = std::int16_t;
    static constexpr int kLanes = 8;
    // Evens and odds of 16 consecutive samples at p.
    static void split(const T* p, __m128i& ev, __m128i& od) {
        const __m128i a = loadu(p), b = loadu(p + 8);
        ev = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
        od = _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16));
    }
    static __m128i evens(const T* p) {
        const __m128i a = loadu(p), b = loadu(p + 8);
        return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
    }
    // Stores ev[0], od[0], ev[1], od[1], ... (16 samples) at p.
    static void merge(T* p, __m128i ev, __m128i od) {
        storeu(p, _mm_unpacklo_epi16(ev, od));
        storeu(p + 8, _mm_unpackhi_epi16(ev, od));
    }
    // cur moved up one lane, lane 0 taken from the last lane of prev.
    static __m128i shiftIn(__m128i cur, __m128i prev) {
        return _mm_or_si128(_mm_slli_si128(cur, 2), _mm_srli_si128(prev, 14));
    }
    static T last(__m128i v) { return static_cast<T>(_mm_extract_epi16(v, 7)); }
    static __m128i splat(T v) { return _mm_set1_epi16(v); }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
    static __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
};

struct Lanes32 {
    using T = std::int32_t;
    static constexpr int kLanes = 4;
    static void split(const T* p, __m128i& ev, __m128i& od) {
        const __m128 a = _mm_castsi128_ps(loadu(p)), b = _mm_castsi128_ps(loadu(p + 4));
        ev = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        od = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    static __m128i evens(const T* p) {
        const __m128 a = _mm_castsi128_ps(loadu(p)), b = _mm_castsi128_ps(loadu(p + 4));
        return _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    }
    static void merge(T* p, __m128i ev, __m128i od) {
        storeu(p, _mm_unpacklo_epi32(ev, od));
        storeu(p + 4, _mm_unpackhi_epi32(ev, od));
    }
    static __m128i shiftIn(__m128i cur, __m128i prev) {
        return _mm_or_si128(_mm_slli_si128(cur, 4), _mm_srli_si128(prev, 12));
    }
    static T last(__m128i v) { return _mm_cvtsi128_si32(_mm_srli_si128(v, 12)); }
    static __m128i splat(T v) { return _mm_set1_epi32(v); }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
    static __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi32(a, b); }
};

// Each flavour gives half(a, b) = (a + b) >> 1 and quarter(a, b) =
// (a + b + 2) >> 2 with its own treatment of the sums, and wrapping add/sub
// for storing results.
struct Wrap16 : Lanes16 {
    static T add(T a, T b) { return static_cast<T>(a + b); }
    static T sub(T a, T b) { return static_cast<T>(a - b); }
    static T half(T a, T b) { return static_cast<T>(static_cast<T>(a + b) >> 1); }
    static T quarter(T a, T b) { return static_cast<T>(static_cast<T>(static_cast<T>(a + b) + 2) >> 2); }
    // (h + 1) >> 1 of the two-sample closed form.
    static T halfUp(T h) { return static_cast<T>(static_cast<T>(h + 1) >> 1); }
    using Lanes16::add;
    using Lanes16::sub;
    static __m128i half(__m128i a, __m128i b) { return _mm_srai_epi16(_mm_add_epi16(a, b), 1); }
    static __m128i quarter(__m128i a, __m128i b) {
        return _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(a, b), _mm_set1_epi16(2)), 2);
    }
};

struct Wide16 : Lanes16 {
    static T add(T a, T b) { return static_cast<T>(a + b); }
    static T sub(T a, T b) { return static_cast<T>(a - b); }
    static T half(T a, T b) { return static_cast<T>((int{a} + b) >> 1); }
    static T quarter(T a, T b) { return static_cast<T>((int{a} + b + 2) >> 2); }
    using Lanes16::add;
    using Lanes16::sub;
    // floor((a + b) / 2) = (a & b) + ((a ^ b) >> 1) never leaves 16 bits, and
    // floor((a + b + 2) / 4) = floor((floor((a + b) / 2) + 1) / 2).
    static __m128i half(__m128i a, __m128i b) {
        return _mm_add_epi16(_mm_and_si128(a, b), _mm_srai_epi16(_mm_xor_si128(a, b), 1));
    }
    static __m128i quarter(__m128i a, __m128i b) {
        const __m128i one = _mm_set1_epi16(1);
        const __m128i t = half(a, b);
        return _mm_add_epi16(_mm_and_si128(t, one), _mm_srai_epi16(_mm_xor_si128(t, one), 1));
    }
};

struct Wrap32 : Lanes32 {
    static T add(T a, T b) { return static_cast<T>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b)); }
    static T sub(T a, T b) { return static_cast<T>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)); }
    static T half(T a, T b) { return add(a, b) >> 1; }
    static T quarter(T a, T b) { return add(add(a, b), 2) >> 2; }
    static T halfUp(T h) { return add(h, 1) >> 1; }
    using Lanes32::add;
    using Lanes32::sub;
    static __m128i half(__m128i a, __m128i b) { return _mm_srai_epi32(_mm_add_epi32(a, b), 1); }
    static __m128i quarter(__m128i a, __m128i b) {
        return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(a, b), _mm_set1_epi32(2)), 2);
    }
};

// ---- forward line ---------------------------------------------------------------------
// Transforms the line s[] (see the top of the file) into nL low and nH high
// coefficients, written with byte strides lowStride and highStride.  Reads
// s[2p - 2 .. 2(p + nL)]: with x = s + p that is x(-2) .. x(n) or x(n+1)
// for phase 0 and x(-1) .. x(n) or x(n+1) for phase 1.
template <class A, Path P>
void fwdLine(const typename A::T* s, int p, int nL, int nH, typename A::T* low, std::ptrdiff_t lowStride,
             typename A::T* high, std::ptrdiff_t highStride) {
    using T = typename A::T;
    auto hAt = [&](int m) { return A::sub(ld(s + 2 * m + 1), A::half(ld(s + 2 * m), ld(s + 2 * m + 2))); };
    T prevH = p ? hAt(0) : hAt(-1);
    if (p) st(high, prevH);
    int m = p;
    const int end = p + nL;
    if constexpr (P == Path::Vector) {
        constexpr int N = A::kLanes;
        if (lowStride == static_cast<std::ptrdiff_t>(sizeof(T)) && highStride == static_cast<std::ptrdiff_t>(sizeof(T))) {
            // Whole blocks whose high coefficients are all stored and whose
            // loads stay inside the samples the scalar path reads.
            const int limit = std::min(nH, end - 1);
            __m128i prevHv = A::splat(prevH);
            bool any = false;
            for (; m + N <= limit; m += N) {
                __m128i e0, o;
                A::split(s + 2 * m, e0, o);
                const __m128i e1 = A::evens(s + 2 * m + 2);
                const __m128i h = A::sub(o, A::half(e0, e1));
                const __m128i l = A::add(e0, A::quarter(A::shiftIn(h, prevHv), h));
                storeu(high + m, h);
                storeu(low + (m - p), l);
                prevHv = h;
                any = true;
            }
            if (any) prevH = A::last(prevHv);
        }
    }
    for (; m < end; ++m) {
        const T h = hAt(m);
        if (m < nH) st(wt::at(high, highStride, m), h);
        st(wt::at(low, lowStride, m - p), A::add(ld(s + 2 * m), A::quarter(prevH, h)));
        prevH = h;
    }
}

// ---- inverse line ---------------------------------------------------------------------
// Coefficient sources of the inverse: two band arrays (row and column
// forms) or one interleaved, already extended work line (whole tiles).
template <class T>
struct SplitBands {
    const T* low;   // low[0]
    const T* high;  // high[0]
    int p;
    T lowAt(int m) const { return ld(low + (m - p)); }  // coefficient at s[2m]
    T highAt(int m) const { return ld(high + m); }      // coefficient at s[2m+1]
};

template <class T>
struct InterleavedBands {
    const T* s;  // coefficients in sample order, s[2m] low, s[2m+1] high
    T lowAt(int m) const { return ld(s + 2 * m); }
    T highAt(int m) const { return ld(s + 2 * m + 1); }
};

// Rebuilds the n = nL + nH samples x(0) .. x(n-1) from the bands and writes
// them to out with byte stride outStride.  Reads the low coefficients at
// s[0 .. 2 nH] (even places) and the high ones at s[-1 .. 2 nH + 1] (odd
// places): L(0) .. L(w) and H(-1) .. H(w) for phase 0, L(-1) .. L(w-1) and
// H(-1) .. H(w) for phase 1 with w = nH.
template <class A, Path P, class Bands>
void invLine(const Bands& in, int p, int nL, int nH, typename A::T* out, std::ptrdiff_t outStride) {
    using T = typename A::T;
    T prevE = A::sub(in.lowAt(0), A::quarter(in.highAt(-1), in.highAt(0)));
    if (!p) st(out, prevE);
    int m = 0;
    if constexpr (P == Path::Vector) {
        constexpr int N = A::kLanes;
        if (outStride == static_cast<std::ptrdiff_t>(sizeof(T))) {
            // Whole blocks whose even outputs are all stored and whose loads
            // stay inside the coefficients the scalar path reads.
            const int limit = std::min(nH - 1, nL + p - 1);
            __m128i prevEv = A::splat(prevE);
            bool any = false;
            for (; m + N <= limit; m += N) {
                __m128i l1, h0, h1;
                if constexpr (std::is_same_v<Bands, SplitBands<T>>) {
                    l1 = loadu(in.low + (m + 1 - p));
                    h0 = loadu(in.high + m);
                    h1 = loadu(in.high + m + 1);
                } else {
                    A::split(in.s + 2 * m + 1, h0, l1);
                    h1 = A::evens(in.s + 2 * m + 3);
                }
                const __m128i e = A::sub(l1, A::quarter(h0, h1));
                const __m128i o = A::add(h0, A::half(A::shiftIn(e, prevEv), e));
                A::merge(out + (2 * m + 1 - p), o, e);
                prevEv = e;
                any = true;
            }
            if (any) prevE = A::last(prevEv);
        }
    }
    for (; m < nH; ++m) {
        const T h0 = in.highAt(m);
        const T e = A::sub(in.lowAt(m + 1), A::quarter(h0, in.highAt(m + 1)));
        st(wt::at(out, outStride, 2 * m + 1 - p), A::add(h0, A::half(prevE, e)));
        if (m + 1 - p < nL) st(wt::at(out, outStride, 2 * m + 2 - p), e);
        prevE = e;
    }
}

// ---- row operations (column forms and the ColLift / ColStep forms) --------------------------------
// H = x1 - half(x0, x2)
template <class A, Path P>
void rowPredict(typename A::T* h, const typename A::T* x0, const typename A::T* x1, const typename A::T* x2,
                int width) {
    int i = 0;
    if constexpr (P == Path::Vector) {
        for (; i + A::kLanes <= width; i += A::kLanes)
            storeu(h + i, A::sub(loadu(x1 + i), A::half(loadu(x0 + i), loadu(x2 + i))));
    }
    for (; i < width; ++i) st(h + i, A::sub(ld(x1 + i), A::half(ld(x0 + i), ld(x2 + i))));
}

// One forward output row pair: H(n) from x(2n), x(2n+1), x(2n+2), then
// L(n) from x(2n), H(n-1), H(n).
template <class A, Path P>
void rowFwdStep(typename A::T* low, typename A::T* high, const typename A::T* x0, const typename A::T* x1,
                const typename A::T* x2, const typename A::T* hPrev, int width) {
    using T = typename A::T;
    int i = 0;
    if constexpr (P == Path::Vector) {
        auto pair = [&](int k) {
            const __m128i e0 = loadu(x0 + k);
            const __m128i h = A::sub(loadu(x1 + k), A::half(e0, loadu(x2 + k)));
            const __m128i l = A::add(e0, A::quarter(loadu(hPrev + k), h));
            storeu(high + k, h);
            storeu(low + k, l);
        };
        for (; i + 2 * A::kLanes <= width; i += 2 * A::kLanes) {
            pair(i);
            pair(i + A::kLanes);
        }
        for (; i + A::kLanes <= width; i += A::kLanes) pair(i);
    }
    for (; i < width; ++i) {
        const T e0 = ld(x0 + i);
        const T h = A::sub(ld(x1 + i), A::half(e0, ld(x2 + i)));
        const T l = A::add(e0, A::quarter(ld(hPrev + i), h));
        st(high + i, h);
        st(low + i, l);
    }
}

// x(even) = L - quarter(H(n-1), H(n))
template <class A, Path P>
void rowUndoUpdate(typename A::T* e, const typename A::T* l, const typename A::T* h0, const typename A::T* h1,
                   int width) {
    int i = 0;
    if constexpr (P == Path::Vector) {
        for (; i + A::kLanes <= width; i += A::kLanes)
            storeu(e + i, A::sub(loadu(l + i), A::quarter(loadu(h0 + i), loadu(h1 + i))));
    }
    for (; i < width; ++i) st(e + i, A::sub(ld(l + i), A::quarter(ld(h0 + i), ld(h1 + i))));
}

// One inverse output row pair: x(2n) from L(n), H(n-1), H(n), then x(2n-1)
// from H(n-1), x(2n-2), x(2n).
template <class A, Path P>
void rowInvStep(typename A::T* odd, typename A::T* even, const typename A::T* l, const typename A::T* hPrev,
                const typename A::T* h, const typename A::T* ePrev, int width) {
    using T = typename A::T;
    int i = 0;
    if constexpr (P == Path::Vector) {
        auto pair = [&](int k) {
            const __m128i hp = loadu(hPrev + k);
            const __m128i e = A::sub(loadu(l + k), A::quarter(hp, loadu(h + k)));
            const __m128i o = A::add(hp, A::half(loadu(ePrev + k), e));
            storeu(even + k, e);
            storeu(odd + k, o);
        };
        for (; i + 2 * A::kLanes <= width; i += 2 * A::kLanes) {
            pair(i);
            pair(i + A::kLanes);
        }
        for (; i + A::kLanes <= width; i += A::kLanes) pair(i);
    }
    for (; i < width; ++i) {
        const T hp = ld(hPrev + i);
        const T e = A::sub(ld(l + i), A::quarter(hp, ld(h + i)));
        const T o = A::add(hp, A::half(ld(ePrev + i), e));
        st(even + i, e);
        st(odd + i, o);
    }
}

// ---- columns -------------------------------------------------------------------------------
// Columns are transformed in vertical strips whose width fits a stack row
// for the one unstored intermediate row (the border high row of the
// forward transform, the border even row of the inverse).
inline constexpr int kColStrip = 512;

// Forward transform down the columns of `width` samples: source rows
// x(t) = src + t * srcStep (border rows as for a line), nL low rows and nH
// high rows out, each band with its own step.
template <class A, Path P>
void fwdColumns(const typename A::T* src, int srcStep, typename A::T* low, int lowStep, typename A::T* high,
                int highStep, int width, int nL, int nH, int p) {
    using T = typename A::T;
    T tmp[kColStrip];
    for (int c = 0; c < width; c += kColStrip) {
        const int n = std::min(kColStrip, width - c);
        auto s = [&](int t) { return rowAt(src, srcStep, t - p) + c; };
        auto L = [&](int k) { return rowAt(low, lowStep, k) + c; };
        auto H = [&](int k) { return k < nH ? rowAt(high, highStep, k) + c : tmp; };
        // H(-1) for phase 0, H(0) for phase 1
        T* first = p ? H(0) : tmp;
        rowPredict<A, P>(first, s(2 * p - 2), s(2 * p - 1), s(2 * p), n);
        const T* prevH = first;
        for (int m = p; m < p + nL; ++m) {
            T* h = H(m);
            rowFwdStep<A, P>(L(m - p), h, s(2 * m), s(2 * m + 1), s(2 * m + 2), prevH, n);
            prevH = h;
        }
    }
}

// Inverse transform down the columns: band rows Lb(m) = low + (m - p) *
// lowStep and Hb(m) = high + m * highStep (border rows included, each band
// with its own step) into nL + nH output rows.
template <class A, Path P>
void invColumns(const typename A::T* low, int lowStep, const typename A::T* high, int highStep, typename A::T* dst,
                int dstStep, int width, int nL, int nH, int p) {
    using T = typename A::T;
    T tmp[kColStrip];
    for (int c = 0; c < width; c += kColStrip) {
        const int n = std::min(kColStrip, width - c);
        auto Lb = [&](int m) { return rowAt(low, lowStep, m - p) + c; };
        auto Hb = [&](int m) { return rowAt(high, highStep, m) + c; };
        auto x = [&](int j) { return rowAt(dst, dstStep, j) + c; };
        T* prevE = p ? tmp : x(0);
        rowUndoUpdate<A, P>(prevE, Lb(0), Hb(-1), Hb(0), n);
        for (int m = 0; m < nH; ++m) {
            T* e = m + 1 - p < nL ? x(2 * m + 2 - p) : tmp;
            rowInvStep<A, P>(x(2 * m + 1 - p), e, Lb(m + 1), Hb(m), Hb(m + 1), prevE, n);
            prevE = e;
        }
    }
}

// ---- whole tiles, in place -------------------------------------------------------------------
// Bytes of the in-place work line (0 when no line reaches 3 samples).
inline int tileLineBytes(int w, int h, int elemSize) {
    if (w < 3 && h < 3) return 0;
    return std::max(elemSize * h + 4 * elemSize, elemSize * w + 4 * elemSize);
}

// One line of n samples at x (byte stride `stride`) transformed in place,
// low coefficients first.  `line` has room for n + 4 samples.
template <class A, Path P>
void fwdTileLine(typename A::T* x, std::ptrdiff_t stride, int n, int phase, typename A::T* line) {
    using T = typename A::T;
    const int p = phase ? 1 : 0;
    if (n >= 3) {
        T* l0 = line + 2;
        wt::gatherLine(l0, x, stride, n);
        wt::extendSymmetric(l0, n, 2 - p, 1 + ((p + n) & 1));
        const int nL = wt::lowCount(n, p);
        fwdLine<A, P>(l0 - p, p, nL, wt::highCount(n, p), x, stride, wt::at(x, stride, nL), stride);
    } else if (n == 2) {
        T* xe = wt::at(x, stride, p);
        T* xo = wt::at(x, stride, 1 - p);
        const T e = ld(xe), h = A::sub(ld(xo), e);
        st(x, A::add(e, A::halfUp(h)));
        st(wt::at(x, stride, 1), h);
    } else if (n == 1 && p) {
        st(x, A::add(ld(x), ld(x)));
    }
}

// A row held as low then high coefficients, interleaved into coordinate
// order (the contiguous case of wt::interleaveLine).
template <class A, Path P>
void interleaveRow(typename A::T* line, const typename A::T* row, int n, int p) {
    const int nL = wt::lowCount(n, p), nH = wt::highCount(n, p), pairs = std::min(nL, nH);
    const typename A::T* first = p ? row + nL : row;   // coefficient at the even place of each pair
    const typename A::T* second = p ? row : row + nL;
    int k = 0;
    if constexpr (P == Path::Vector) {
        for (; k + A::kLanes <= pairs; k += A::kLanes) A::merge(line + 2 * k, loadu(first + k), loadu(second + k));
    }
    for (; k < pairs; ++k) {
        st(line + 2 * k, ld(first + k));
        st(line + 2 * k + 1, ld(second + k));
    }
    if (nL != nH) st(line + n - 1, ld(first + pairs));
}

template <class A, Path P>
void invTileLine(typename A::T* x, std::ptrdiff_t stride, int n, int phase, typename A::T* line) {
    using T = typename A::T;
    const int p = phase ? 1 : 0;
    if (n >= 3) {
        T* l0 = line + 2;
        if (stride == static_cast<std::ptrdiff_t>(sizeof(T)))
            interleaveRow<A, P>(l0, x, n, p);
        else
            wt::interleaveLine(l0, x, stride, n, p);
        wt::extendSymmetric(l0, n, p + 1, 2 - ((p + n) & 1));
        invLine<A, P>(InterleavedBands<T>{l0 - p}, p, wt::lowCount(n, p), wt::highCount(n, p), x, stride);
    } else if (n == 2) {
        const T l = ld(x), h = ld(wt::at(x, stride, 1));
        const T e = A::sub(l, A::halfUp(h));
        st(wt::at(x, stride, p), e);
        st(wt::at(x, stride, 1 - p), A::add(h, e));
    } else if (n == 1 && p) {
        st(x, static_cast<T>(ld(x) / 2));
    }
}

// Vertical pass through groups of columns: each group (16 to 64 bytes of
// every row) is copied into a stack block with two mirrored rows above and
// below and lifted row-wise with the column kernels, which gives every
// column exactly the result of its own work line.  Whole 64-byte groups
// matter for tall tiles whose step is a multiple of 4 KiB, where narrower
// groups evict each other's cache lines, and whole cache lines are read
// once; 72 KiB takes a tile of up to 1148 rows (1080-line video) in 64-byte
// groups.
inline constexpr int kBlockBytes = 72 * 1024;

inline bool fitsColumnBlock(int h) { return h >= 3 && (h + 4) * 16 <= kBlockBytes; }

template <class A, Path P, bool Inverse>
void columnGroups(typename A::T* img, int step, int w, int h, int p) {
    using T = typename A::T;
    alignas(16) T blk[kBlockBytes / sizeof(T)];
    int groupBytes = 64;
    while (groupBytes > 16 && (h + 4) * groupBytes > kBlockBytes) groupBytes /= 2;
    const int G = groupBytes / static_cast<int>(sizeof(T));
    const int nL = wt::lowCount(h, p), nH = wt::highCount(h, p);
    T* x0 = blk + 2 * G;
    auto row = [&](int t) { return x0 + t * G; };
    for (int c = 0; c < w; c += G) {
        const std::size_t bytes = sizeof(T) * static_cast<std::size_t>(std::min(G, w - c));
        for (int j = 0; j < h; ++j) {
            // the inverse interleaves low and high rows into coordinate order
            const int k = (j + p) / 2;
            const int from = !Inverse ? j : (((j + p) & 1) ? nL + k : k - p);
            copyShort(row(j), rowAt(img, step, from) + c, bytes);
        }
        for (int k = 1; k <= 2; ++k) {
            copyShort(row(-k), row(wt::reflectIndex(-k, h)), bytes);
            copyShort(row(h - 1 + k), row(wt::reflectIndex(h - 1 + k, h)), bytes);
        }
        const int cw = static_cast<int>(bytes / sizeof(T));
        if constexpr (!Inverse)
            fwdColumns<A, P>(x0, groupBytes, img + c, step, rowAt(img, step, nL) + c, step, cw, nL, nH, p);
        else
            invColumns<A, P>(row(p), 2 * groupBytes, row(1 - p), 2 * groupBytes, img + c, step, cw, nL, nH, p);
    }
}

template <class A, Path P>
void fwdTile(typename A::T* img, int step, int w, int h, int px, int py, unsigned char* buffer) {
    using T = typename A::T;
    T* line = reinterpret_cast<T*>(buffer);
    if (fitsColumnBlock(h))
        columnGroups<A, P, false>(img, step, w, h, py ? 1 : 0);
    else
        for (int c = 0; c < w; ++c) fwdTileLine<A, P>(img + c, step, h, py, line);
    for (int r = 0; r < h; ++r) fwdTileLine<A, P>(rowAt(img, step, r), sizeof(T), w, px, line);
}

template <class A, Path P>
void invTile(typename A::T* img, int step, int w, int h, int px, int py, unsigned char* buffer) {
    using T = typename A::T;
    T* line = reinterpret_cast<T*>(buffer);
    for (int r = 0; r < h; ++r) invTileLine<A, P>(rowAt(img, step, r), sizeof(T), w, px, line);
    if (fitsColumnBlock(h))
        columnGroups<A, P, true>(img, step, w, h, py ? 1 : 0);
    else
        for (int c = 0; c < w; ++c) invTileLine<A, P>(img + c, step, h, py, line);
}

}  // namespace zeb::wt53
