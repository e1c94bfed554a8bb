// One-level 9/7 wavelet of a whole tile, in place: the vertical pass over
// every column, then the horizontal pass over every row (the inverse: rows,
// then columns).  Each line goes through a work line of n + 8 elements in
// the caller's buffer, extended symmetrically, and through the lifting steps
// of its family (TileS16: Q14 with 16-bit intermediates; TileS32:
// single-precision lifting on 32-bit integers).  Tile samples and the work
// line are accessed without assuming alignment.  The vector path does the
// vertical pass on groups of adjacent columns on the stack instead (same bits).
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

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

// ---- horizontal inverse pass of the 32-bit family (vector path) -------------------------------------------
// The row's E and O sequences are loaded straight from its two bands into
// the caller's work line (E first, then O, both extended symmetrically: the
// extension never exceeds the n + 8 elements of the work line), lifted there
// as whole sequences, and written back interleaved.  Each element goes
// through the operations of invLine (same loads, same steps, same stores),
// so the bits are those of the work-line definition.
inline void invRowS32(std::int32_t* row, int n, int pe, float* buf) {
    using F = TileS32;
    const int nL = wt::lowCount(n, pe), nH = n - nL;
    const Range outE{pe, nL - 1 + pe}, outO{0, nH - 1};
    const Plan pl = plan(false, outE, outO);
    float* const E = buf - pl.loadE.a;  // E[k] for k in pl.loadE
    float* const O = buf + (pl.loadE.b - pl.loadE.a + 1) - pl.loadO.a;
    // Sample j of the extended interleaved line.
    auto lineSample = [&](int j) {
        const int r = wt::reflectIndex(j, n);
        const int k = (r + pe) / 2;
        return row[((r + pe) & 1) ? nL + k : k - pe];
    };
    const __m128 kE = _mm_set1_ps(kK), kO = _mm_set1_ps(kKL);
    // E(k) = sample 2k - pe: band L element k - pe inside the line.
    for (int k = pl.loadE.a; k < outE.a; ++k) E[k] = F::invLoadE(lineSample(2 * k - pe));
    {
        int k = outE.a;
        for (; k + 4 <= outE.b + 1; k += 4) _mm_storeu_ps(E + k, _mm_mul_ps(_mm_cvtepi32_ps(loadu(row + k - pe)), kE));
        for (; k <= outE.b; ++k) E[k] = F::invLoadE(row[k - pe]);
    }
    for (int k = outE.b + 1; k <= pl.loadE.b; ++k) E[k] = F::invLoadE(lineSample(2 * k - pe));
    // O(k) = sample 2k + 1 - pe: band H element k inside the line.
    for (int k = pl.loadO.a; k < outO.a; ++k) O[k] = F::invLoadO(lineSample(2 * k + 1 - pe));
    {
        int k = outO.a;
        for (; k + 4 <= outO.b + 1; k += 4) _mm_storeu_ps(O + k, _mm_mul_ps(_mm_cvtepi32_ps(loadu(row + nL + k)), kO));
        for (; k <= outO.b; ++k) O[k] = F::invLoadO(row[nL + k]);
    }
    for (int k = outO.b + 1; k <= pl.loadO.b; ++k) O[k] = F::invLoadO(lineSample(2 * k + 1 - pe));
    // The four steps: even ones update E(k) from O(k - 1), O(k); odd ones O(k) from E(k), E(k + 1).
    const Range* r = pl.step;
    auto width = [](Range x) { return x.b - x.a + 1; };
    if (!r[0].empty()) span<F, I1, Path::Vector>(E + r[0].a, E + r[0].a, O + r[0].a - 1, O + r[0].a, width(r[0]));
    if (!r[1].empty()) span<F, I2, Path::Vector>(O + r[1].a, O + r[1].a, E + r[1].a, E + r[1].a + 1, width(r[1]));
    if (!r[2].empty()) span<F, I3, Path::Vector>(E + r[2].a, E + r[2].a, O + r[2].a - 1, O + r[2].a, width(r[2]));
    if (!r[3].empty()) span<F, I4, Path::Vector>(O + r[3].a, O + r[3].a, E + r[3].a, E + r[3].a + 1, width(r[3]));
    // Interleaved stores: sample 2k - pe from E(k), 2k + 1 - pe from O(k).
    // Truncation; at or above 2^31 the conversion's 0x80000000 turns into 0x7FFFFFFF.
    const __m128 lim = _mm_set1_ps(2147483648.0f);
    auto toInt = [&](__m128 v) { return _mm_xor_si128(_mm_cvttps_epi32(v), _mm_castps_si128(_mm_cmpge_ps(v, lim))); };
    // Pairs (first, second) at samples 2i, 2i + 1: (E(i), O(i)) for pe = 0, (O(i), E(i + 1)) for pe = 1.
    const float* first = pe ? O : E;
    const float* second = pe ? E + 1 : O;
    const int pairs = n / 2;
    int i = 0;
    for (; i + 4 <= pairs; i += 4) {
        const __m128i a = toInt(_mm_loadu_ps(first + i)), b = toInt(_mm_loadu_ps(second + i));
        storeu(row + 2 * i, _mm_unpacklo_epi32(a, b));
        storeu(row + 2 * i + 4, _mm_unpackhi_epi32(a, b));
    }
    for (; i < pairs; ++i) {
        row[2 * i] = F::store(first[i]);
        row[2 * i + 1] = F::store(second[i]);
    }
    if (n & 1) row[n - 1] = F::store(first[pairs]);
}

// ---- vertical pass through column groups (vector path) ----------------------------------------------------
// Groups of adjacent columns (16 to 64 bytes of every row) are lifted together
// in a stack block holding the E and O sequences of the group as whole rows,
// so the tile is read and written row-wise and every step runs with SIMD
// across the group.  Each element goes through exactly the operations of its
// own work line (the same loads from the symmetrically extended column, the
// same steps, the same stores), so the result is bit-identical to the
// column-by-column definition.  72 KiB takes the 1080 rows of a video frame
// (and its eight extension rows) in whole 64-byte groups.
inline constexpr int kColumnBlockBytes = 72 * 1024;

// Converts n samples of a tile row into a work row: Kind 0 forward load,
// 1 inverse even (low) load, 2 inverse odd (high) load.
template <class F, Path P, int Kind>
void loadColumnRow(typename F::W* d, const typename F::T* s, int n) {
    int i = 0;
    if constexpr (Kind == 0) {
        static_assert(sizeof(typename F::W) == sizeof(typename F::T));
        if constexpr (std::is_same_v<typename F::W, typename F::T>) {
            copyShort(d, s, sizeof(typename F::T) * static_cast<std::size_t>(n));
            return;
        }
    }
    if constexpr (P == Path::Vector && std::is_same_v<F, TileS32>) {
        const __m128 k = _mm_set1_ps(Kind == 1 ? kK : kKL);
        if constexpr (Kind == 0)
            for (; i + 4 <= n; i += 4) _mm_store_ps(d + i, _mm_castsi128_ps(loadu(s + i)));
        else
            for (; i + 4 <= n; i += 4) _mm_store_ps(d + i, _mm_mul_ps(_mm_cvtepi32_ps(loadu(s + i)), k));
    }
    if constexpr (P == Path::Vector && std::is_same_v<F, TileS16> && Kind != 0) {
        for (; i + 8 <= n; i += 8) {
            const __m128i v = loadu(s + i);
            storeu(d + i, TileS16::r14Pair(Kind == 1 ? kKQ14 : kKLQ14, v, v, false));
        }
    }
    for (; i < n; ++i) {
        const typename F::T v = wt::ld(s + i);
        d[i] = Kind == 0 ? F::fwdLoad(v) : Kind == 1 ? F::invLoadE(v) : F::invLoadO(v);
    }
}

template <class F, Path P>
void storeColumnRow(typename F::T* d, const typename F::W* s, int n) {
    if constexpr (std::is_same_v<typename F::W, typename F::T>) {
        copyShort(d, s, sizeof(typename F::T) * static_cast<std::size_t>(n));
    } else {
        int i = 0;
        if constexpr (P == Path::Vector && std::is_same_v<F, TileS32>) {
            // Truncation; at or above 2^31 the conversion's 0x80000000 turns into 0x7FFFFFFF.
            const __m128 lim = _mm_set1_ps(2147483648.0f);
            for (; i + 4 <= n; i += 4) {
                const __m128 v = _mm_load_ps(s + i);
                storeu(d + i, _mm_xor_si128(_mm_cvttps_epi32(v), _mm_castps_si128(_mm_cmpge_ps(v, lim))));
            }
        }
        for (; i < n; ++i) wt::st(d + i, F::store(s[i]));
    }
}

// Returns false (touching nothing) when a group of 16 bytes does not fit the block.
template <class F, bool Fwd, Path P>
bool columnGroups(typename F::T* img, int step, int w, int h, int phase) {
    using T = typename F::T;
    using W = typename F::W;
    static_assert(sizeof(W) == sizeof(T));
    const int pe = phase ? 1 : 0;
    const int nL = wt::lowCount(h, pe), nH = h - nL;
    const Range outE{pe, nL - 1 + pe}, outO{0, nH - 1};
    const Plan pl = plan(Fwd, outE, outO);
    const int eb = pl.loadE.a, ob = pl.loadO.a;
    const int rowsE = pl.loadE.b - eb + 1, rowsO = pl.loadO.b - ob + 1;
    int groupBytes = 64;
    while (groupBytes > 16 && (rowsE + rowsO) * groupBytes > kColumnBlockBytes) groupBytes /= 2;
    if ((rowsE + rowsO) * groupBytes > kColumnBlockBytes) return false;
    const int G = groupBytes / static_cast<int>(sizeof(W));
    alignas(16) W blk[kColumnBlockBytes / sizeof(W)];
    auto E = [&](int k) { return blk + (k - eb) * G; };
    auto O = [&](int k) { return blk + (rowsE + k - ob) * G; };
    // Tile row holding sample j of the (extended) column line.
    auto lineRow = [&](int j) -> T* {
        const int r = wt::reflectIndex(j, h);
        if constexpr (Fwd) return rowAt(img, step, r);
        const int k = (r + pe) / 2;
        return rowAt(img, step, ((r + pe) & 1) ? nL + k : k - pe);
    };
    const Range* r = pl.step;
    // A step over the rows k of a range: one span over all of them when the
    // group is full (its rows are consecutive in the block), else row by row.
    // The odd steps update O(k) from E(k), E(k + 1), the even ones E(k) from
    // O(k - 1), O(k).
    auto oddRows = [&]<Op Q>(Range x, int n) {
        if (x.empty()) return;
        if (n == G) span<F, Q, P>(O(x.a), O(x.a), E(x.a), E(x.a + 1), (x.b - x.a + 1) * G);
        else
            for (int k = x.a; k <= x.b; ++k) span<F, Q, P>(O(k), O(k), E(k), E(k + 1), n);
    };
    auto evenRows = [&]<Op Q>(Range x, int n) {
        if (x.empty()) return;
        if (n == G) span<F, Q, P>(E(x.a), E(x.a), O(x.a - 1), O(x.a), (x.b - x.a + 1) * G);
        else
            for (int k = x.a; k <= x.b; ++k) span<F, Q, P>(E(k), E(k), O(k - 1), O(k), n);
    };
    // The inverse runs its loads and four steps as one pass down the block:
    // at t, the loads of E(t + 6) and O(t + 6), then I1 on E(t + 6), I2 on
    // O(t + 4), I3 on E(t + 2), I4 on O(t).  Every step finds its inputs in
    // the state the step-by-step order gives them (each earlier step reached
    // them at an earlier t, no later step has yet), so the bits are the same;
    // the four steps of one t are independent of each other.
    constexpr int kLead[4] = {6, 4, 2, 0};  // the full-group loop below spells these out
    int tFirst = 0, tLast = -1;
    auto cover = [&](Range x, int lead) {
        if (x.empty()) return;
        if (tFirst > tLast) tFirst = x.a - lead, tLast = x.b - lead;
        tFirst = std::min(tFirst, x.a - lead);
        tLast = std::max(tLast, x.b - lead);
    };
    cover(pl.loadE, kLead[0]);
    cover(pl.loadO, kLead[0]);
    for (int i = 0; i < 4; ++i) cover(r[i], kLead[i]);
    auto inside = [](Range x, int k) { return k >= x.a && k <= x.b; };
    // The t whose loads and steps all fall inside their ranges.
    int midFirst = std::max(pl.loadE.a, pl.loadO.a) - kLead[0], midLast = std::min(pl.loadE.b, pl.loadO.b) - kLead[0];
    for (int i = 0; i < 4; ++i) {
        midFirst = std::max(midFirst, r[i].a - kLead[i]);
        midLast = std::min(midLast, r[i].b - kLead[i]);
    }
    if (pl.loadE.empty() || pl.loadO.empty() || r[0].empty() || r[1].empty() || r[2].empty() || r[3].empty())
        midFirst = tLast + 1, midLast = tLast;
    midLast = std::max(midLast, midFirst - 1);
    // Full groups of the widest kind have a compile-time width.
    constexpr int kFullGroup = 64 / static_cast<int>(sizeof(W));
    for (int c = 0; c < w; c += G) {
        const int n = std::min(G, w - c);
        if constexpr (Fwd) {
            for (int k = pl.loadE.a; k <= pl.loadE.b; ++k) loadColumnRow<F, P, 0>(E(k), lineRow(2 * k - pe) + c, n);
            for (int k = pl.loadO.a; k <= pl.loadO.b; ++k) loadColumnRow<F, P, 0>(O(k), lineRow(2 * k + 1 - pe) + c, n);
            oddRows.template operator()<F1>(r[0], n);
            evenRows.template operator()<F2>(r[1], n);
            oddRows.template operator()<F3>(r[2], n);
            evenRows.template operator()<F4>(r[3], n);
            if (!outO.empty()) {
                if (n == G) span<F, FH, P>(O(outO.a), O(outO.a), O(outO.a), O(outO.a), (outO.b - outO.a + 1) * G);
                else
                    for (int k = outO.a; k <= outO.b; ++k) span<F, FH, P>(O(k), O(k), O(k), O(k), n);
            }
            for (int k = outE.a; k <= outE.b; ++k) storeColumnRow<F, P>(rowAt(img, step, k - pe) + c, E(k), n);
            for (int k = outO.a; k <= outO.b; ++k) storeColumnRow<F, P>(rowAt(img, step, nL + k) + c, O(k), n);
        } else {
            // One t of the pass over m columns; Checked tests every load and
            // step against its range, the middle t (all inside) skip the tests.
            auto at = [&]<bool Checked>(int t, int m) {
                const int k = t + kLead[0];
                if (!Checked || inside(pl.loadE, k)) loadColumnRow<F, P, 1>(E(k), lineRow(2 * k - pe) + c, m);
                if (!Checked || inside(pl.loadO, k)) loadColumnRow<F, P, 2>(O(k), lineRow(2 * k + 1 - pe) + c, m);
                if (const int j = t + kLead[0]; !Checked || inside(r[0], j)) span<F, I1, P>(E(j), E(j), O(j - 1), O(j), m);
                if (const int j = t + kLead[1]; !Checked || inside(r[1], j)) span<F, I2, P>(O(j), O(j), E(j), E(j + 1), m);
                if (const int j = t + kLead[2]; !Checked || inside(r[2], j)) span<F, I3, P>(E(j), E(j), O(j - 1), O(j), m);
                if (const int j = t + kLead[3]; !Checked || inside(r[3], j)) span<F, I4, P>(O(j), O(j), E(j), E(j + 1), m);
            };
            int t = tFirst;
            for (; t < midFirst && t <= tLast; ++t) at.template operator()<true>(t, n);
            if (n == kFullGroup && t <= midLast) {
                // The same loads and steps written out for a compile-time width.
                auto full = [&]<Op Q>(W* out, const W* a, const W* b) {
                    if constexpr (P == Path::Vector)
                        for (int i = 0; i < kFullGroup; i += F::kLanes) F::template vec<Q>(out + i, out + i, a + i, b + i);
                    else
                        span<F, Q, P>(out, out, a, b, kFullGroup);
                };
                // n == G == g here: E(t + i) = e + i g, O(t + i) = o + i g.
                constexpr int g = kFullGroup;
                W* e = E(t);
                W* o = O(t);
                for (; t <= midLast; ++t, e += g, o += g) {
                    const int k = t + kLead[0], se = 2 * k - pe, so = se + 1;
                    const T* re = se >= 0 && se < h ? rowAt(img, step, k - pe) : lineRow(se);
                    const T* ro = so >= 0 && so < h ? rowAt(img, step, nL + k) : lineRow(so);
                    loadColumnRow<F, P, 1>(e + 6 * g, re + c, g);
                    loadColumnRow<F, P, 2>(o + 6 * g, ro + c, g);
                    full.template operator()<I1>(e + 6 * g, o + 5 * g, o + 6 * g);
                    full.template operator()<I2>(o + 4 * g, e + 4 * g, e + 5 * g);
                    full.template operator()<I3>(e + 2 * g, o + g, o + 2 * g);
                    full.template operator()<I4>(o, e, e + g);
                }
            } else {
                for (; t <= midLast; ++t) at.template operator()<false>(t, n);
            }
            for (; t <= tLast; ++t) at.template operator()<true>(t, n);
            for (int k = outE.a; k <= outE.b; ++k) storeColumnRow<F, P>(rowAt(img, step, 2 * k - pe) + c, E(k), n);
            for (int k = outO.a; k <= outO.b; ++k)
                storeColumnRow<F, P>(rowAt(img, step, 2 * k + 1 - pe) + c, O(k), n);
        }
    }
    return true;
}

// In-place tile transforms; buf holds the work line (n + 8 elements).  The
// scalar path keeps the column-by-column definition; the vector path lifts
// column groups whenever a group fits the stack block.
template <class F, Path P>
void fwdTile(typename F::T* img, int step, int w, int h, int px, int py, std::uint8_t* buf) {
    using T = typename F::T;
    T* line = reinterpret_cast<T*>(buf) + 4;
    if (P == Path::Scalar || h < 2 || !columnGroups<F, true, P>(img, step, w, h, py))
        for (int c = 0; c < w; ++c) fwdLine<F, P>(img + c, step, h, py, line);
    for (int r = 0; r < h; ++r) fwdLine<F, P>(rowAt(img, step, r), sizeof(T), w, px, line);
}

template <class F, Path P>
void invTile(typename F::T* img, int step, int w, int h, int px, int py, std::uint8_t* buf) {
    using T = typename F::T;
    T* line = reinterpret_cast<T*>(buf) + 4;
    if constexpr (P == Path::Vector && std::is_same_v<F, TileS32>) {
        // Needs 4-byte aligned samples and work line (the usual case); anything else goes through invLine.
        const std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(img) | reinterpret_cast<std::uintptr_t>(buf) |
                                    static_cast<std::uintptr_t>(static_cast<unsigned>(step));
        const bool aligned = (bits & 3u) == 0;
        if (w >= 16 && aligned) {
            for (int r = 0; r < h; ++r) invRowS32(rowAt(img, step, r), w, px ? 1 : 0, reinterpret_cast<float*>(buf));
        } else {
            for (int r = 0; r < h; ++r) invLine<F, P>(rowAt(img, step, r), sizeof(T), w, px, line);
        }
    } else {
        for (int r = 0; r < h; ++r) invLine<F, P>(rowAt(img, step, r), sizeof(T), w, px, line);
    }
    if (P == Path::Scalar || h < 2 || !columnGroups<F, false, P>(img, step, w, h, py))
        for (int c = 0; c < w; ++c) invLine<F, P>(img + c, step, h, py, line);
}

}  // namespace zeb::d97
