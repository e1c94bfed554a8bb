// One-level 9/7 wavelet of a whole tile, in place: the vertical pass over
// every column, then the horizontal pass over every row (the inverse: rows,
// then columns).  Each line goes through a work line of n + 8 elements in
// the caller's buffer, extended symmetrically, and through the lifting steps
// of its family (TileS16: Q14 with 16-bit intermediates; TileS32:
// single-precision lifting on 32-bit integers).  Tile samples and the work
// line are accessed without assuming alignment.
#pragma once

#include <cstdint>

#include "jpeg2000/transform/wt_d97_kernels.h"

namespace zeb::d97 {

// Extension before and after a line of n samples with phase pe.
struct Extension {
    int before, after;
};
inline Extension fwdExtension(int n, int pe) {
    if (n < 5) return {4, 4};
    return {4 - pe, 3 + ((pe + n) & 1)};
}
inline Extension invExtension(int n, int pe) {
    if (n < 5) return {4, 4};
    return {pe + 3, 4 - ((pe + n) & 1)};
}

// Work line: element j of the line at line[j], j from -4 to n + 3.
template <class F, Path P>
void fwdLine(typename F::T* tile, std::ptrdiff_t stride, int n, int phase, typename F::T* line) {
    using T = typename F::T;
    using W = typename F::W;
    const int pe = phase ? 1 : 0;
    if (n == 1) {
        if (pe) wt::st(tile, static_cast<T>(static_cast<std::uint32_t>(wt::ld(tile)) * 2u));
        return;
    }
    wt::gatherLine(line, tile, stride, n);
    const Extension ex = fwdExtension(n, pe);
    wt::extendSymmetric(line, n, ex.before, ex.after);
    const int nL = wt::lowCount(n, pe), nH = n - nL;
    const T* base = line - pe;
    liftLine<F, true, P>(
        Range{pe, nL - 1 + pe}, Range{0, nH - 1}, Range{}, Range{},
        [&](W* d, int k0, int c) { for (int i = 0; i < c; ++i) d[i] = F::fwdLoad(wt::ld(base + 2 * (k0 + i))); },
        [&](W* d, int k0, int c) { for (int i = 0; i < c; ++i) d[i] = F::fwdLoad(wt::ld(base + 2 * (k0 + i) + 1)); },
        [&](const W* s, int k0, int c) {
            for (int i = 0; i < c; ++i) wt::st(wt::at(tile, stride, k0 - pe + i), F::store(s[i]));
        },
        [&](const W* s, int k0, int c) {
            for (int i = 0; i < c; ++i) wt::st(wt::at(tile, stride, nL + k0 + i), F::store(s[i]));
        });
}

template <class F, Path P>
void invLine(typename F::T* tile, std::ptrdiff_t stride, int n, int phase, typename F::T* line) {
    using T = typename F::T;
    using W = typename F::W;
    const int pe = phase ? 1 : 0;
    if (n == 1) {
        if (pe) wt::st(tile, static_cast<T>(wt::ld(tile) / 2));
        return;
    }
    wt::interleaveLine(line, tile, stride, n, pe);
    const Extension ex = invExtension(n, pe);
    wt::extendSymmetric(line, n, ex.before, ex.after);
    const int nL = wt::lowCount(n, pe), nH = n - nL;
    const T* base = line - pe;
    liftLine<F, false, P>(
        Range{pe, nL - 1 + pe}, Range{0, nH - 1}, Range{}, Range{},
        [&](W* d, int k0, int c) { for (int i = 0; i < c; ++i) d[i] = F::invLoadE(wt::ld(base + 2 * (k0 + i))); },
        [&](W* d, int k0, int c) { for (int i = 0; i < c; ++i) d[i] = F::invLoadO(wt::ld(base + 2 * (k0 + i) + 1)); },
        [&](const W* s, int k0, int c) {
            for (int i = 0; i < c; ++i) wt::st(wt::at(tile, stride, 2 * (k0 + i) - pe), F::store(s[i]));
        },
        [&](const W* s, int k0, int c) {
            for (int i = 0; i < c; ++i) wt::st(wt::at(tile, stride, 2 * (k0 + i) + 1 - pe), F::store(s[i]));
        });
}

// In-place tile transforms; buf holds the work line (n + 8 elements).
template <class F, Path P>
void fwdTile(typename F::T* img, int step, int w, int h, int px, int py, std::uint8_t* buf) {
    using T = typename F::T;
    T* line = reinterpret_cast<T*>(buf) + 4;
    for (int c = 0; c < w; ++c) fwdLine<F, P>(img + c, step, h, py, line);
    for (int r = 0; r < h; ++r) fwdLine<F, P>(rowAt(img, step, r), sizeof(T), w, px, line);
}

template <class F, Path P>
void invTile(typename F::T* img, int step, int w, int h, int px, int py, std::uint8_t* buf) {
    using T = typename F::T;
    T* line = reinterpret_cast<T*>(buf) + 4;
    for (int r = 0; r < h; ++r) invLine<F, P>(rowAt(img, step, r), sizeof(T), w, px, line);
    for (int c = 0; c < w; ++c) invLine<F, P>(img + c, step, h, py, line);
}

}  // namespace zeb::d97
