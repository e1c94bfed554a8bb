// Machinery shared by the 5/3 and 9/7 wavelets: band sizes of a line, the
// whole-sample symmetric extension of a work line (ISO/IEC 15444-1 F.3.7,
// period 2(n-1)), and moving a row or a column of a tile into and out of a
// work line.
//
// Work lines live in caller-supplied buffers that carry no alignment
// guarantee, so every element access here goes through ld()/st(), which
// compile to plain moves on x86 but never assume alignment.  Strides are in
// bytes, as image steps are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zeb::wt {

// ---- unaligned element access ------------------------------------------------------
template <class T>
inline T ld(const T* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template <class T>
inline void st(T* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

template <class T>
inline T* at(T* base, std::ptrdiff_t strideBytes, int i) {
    return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(base) + strideBytes * i);
}

// ---- band sizes ------------------------------------------------------------------------
// A line of n samples whose first sample has coordinate parity `phase`
// (0: even, low first; anything else: odd, high first).
constexpr int lowCount(int n, int phase) { return phase ? n / 2 : (n + 1) / 2; }
constexpr int highCount(int n, int phase) { return phase ? (n + 1) / 2 : n / 2; }

static_assert(lowCount(5, 0) == 3 && highCount(5, 0) == 2);
static_assert(lowCount(5, 1) == 2 && highCount(5, 1) == 3);

// ---- symmetric extension -----------------------------------------------------------------
// Index of the sample that position k (any integer) mirrors onto in a line of
// n samples: x(-k) = x(k), x(n-1+k) = x(n-1-k), reflected again as often as
// needed.  A line of one sample mirrors everything onto it.
constexpr int reflectIndex(int k, int n) {
    if (n <= 1) return 0;
    const int period = 2 * (n - 1);
    int r = k % period;
    if (r < 0) r += period;
    return r < n ? r : period - r;
}

static_assert(reflectIndex(-1, 3) == 1 && reflectIndex(-2, 3) == 2 && reflectIndex(-3, 3) == 1 &&
              reflectIndex(-4, 3) == 0);
static_assert(reflectIndex(-3, 4) == 3 && reflectIndex(-4, 4) == 2 && reflectIndex(5, 4) == 1);
static_assert(reflectIndex(-3, 2) == 1 && reflectIndex(-4, 2) == 0 && reflectIndex(3, 2) == 1);

// Fills x[-before .. -1] and x[n .. n+after-1] from x[0 .. n-1].
template <class T>
inline void extendSymmetric(T* x, int n, int before, int after) {
    for (int k = 1; k <= before; ++k) st(x - k, ld(x + reflectIndex(-k, n)));
    for (int k = 0; k < after; ++k) st(x + n + k, ld(x + reflectIndex(n + k, n)));
}

// ---- moving lines --------------------------------------------------------------------------
// line[i] = src[i * stride] for i < n (a row when stride is sizeof(T), a
// column when it is the image step).
template <class T>
inline void gatherLine(T* line, const T* src, std::ptrdiff_t strideBytes, int n) {
    if (strideBytes == static_cast<std::ptrdiff_t>(sizeof(T))) {
        std::memcpy(line, src, sizeof(T) * static_cast<std::size_t>(n));
        return;
    }
    for (int i = 0; i < n; ++i) st(line + i, ld(at(src, strideBytes, i)));
}

// dst[i * stride] = line[i] for i < n.
template <class T>
inline void scatterLine(T* dst, std::ptrdiff_t strideBytes, const T* line, int n) {
    if (strideBytes == static_cast<std::ptrdiff_t>(sizeof(T))) {
        std::memcpy(dst, line, sizeof(T) * static_cast<std::size_t>(n));
        return;
    }
    for (int i = 0; i < n; ++i) st(at(dst, strideBytes, i), ld(line + i));
}

// Inverse-side interleave of a transformed line held as lowCount(n, phase)
// low coefficients followed by the high ones (both read with the same
// stride) into natural coordinate order: sample j takes a low coefficient
// when j + phase is even, a high one otherwise.
template <class T>
inline void interleaveLine(T* line, const T* bands, std::ptrdiff_t strideBytes, int n, int phase) {
    const int p = phase ? 1 : 0;
    const int nL = lowCount(n, p);
    for (int j = 0; j < n; ++j) {
        const int k = (j + p) / 2;
        const int src = ((j + p) & 1) ? nL + k : k - p;
        st(line + j, ld(at(bands, strideBytes, src)));
    }
}

}  // namespace zeb::wt
