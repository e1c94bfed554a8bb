// 9/7 line primitives: row forms, column forms and the ColLift/ColStep
// forms, as templates on the arithmetic family and Path so that tests and
// benchmarks can run the scalar definition next to the vector path.
//
// Row and column forms read a caller-supplied border around the region:
//   forward source     phase 0: x(-4) .. x(2w+2)   phase 1: x(-3) .. x(2w+3)
//   inverse low band   phase 0: L(-1) .. L(w+1)    phase 1: L(-2) .. L(w)
//   inverse high band  H(-2) .. H(w+1) for both phases
// (w the band size; whole rows above and below for the column forms).  A band
// of one coefficient is computed by direct convolution with the normalised
// filters instead of lifting.
#pragma once

#include <cstdint>

#include "jpeg2000/transform/wt_d97_kernels.h"
#include "zeb.h"

namespace zeb::d97 {

// ---- direct convolution per family ----------------------------------------------------------------
template <class F>
struct Conv;

template <>
struct Conv<LineF32> {
    template <class Get>
    static float low(Get&& g, int c) { return static_cast<float>(analysisLow([&](int i) { return double(g(i)); }, c)); }
    template <class Get>
    static float high(Get&& g, int c) { return static_cast<float>(analysisHigh([&](int i) { return double(g(i)); }, c)); }
    template <class GL, class GH>
    static float inv(GL&& l, GH&& h, int c) {
        return static_cast<float>(
            synthesis<false, double>([&](int k) { return double(l(k)); }, [&](int k) { return double(h(k)); }, c));
    }
};

template <>
struct Conv<LineS32> {
    template <class Get>
    static std::int32_t low(Get&& g, int c) {
        return static_cast<std::int32_t>(analysisLowQ16([&](int i) { return std::int64_t(g(i)); }, c));
    }
    template <class Get>
    static std::int32_t high(Get&& g, int c) {
        return static_cast<std::int32_t>(analysisHighQ16([&](int i) { return std::int64_t(g(i)); }, c));
    }
    template <class GL, class GH>
    static std::int32_t inv(GL&& l, GH&& h, int c) {
        const std::int64_t acc = synthesis<true, std::int64_t>([&](int k) { return std::int64_t(l(k)); },
                                                               [&](int k) { return std::int64_t(h(k)); }, c);
        return static_cast<std::int32_t>((acc + 32768) >> 16);
    }
};

template <>
struct Conv<LineS16> {
    template <class Get>
    static std::int16_t low(Get&& g, int c) { return sat16(Conv<LineS32>::low(g, c)); }
    template <class Get>
    static std::int16_t high(Get&& g, int c) { return sat16(Conv<LineS32>::high(g, c)); }
    template <class GL, class GH>
    static std::int16_t inv(GL&& l, GH&& h, int c) {
        const std::int64_t acc = synthesis<true, std::int64_t>([&](int k) { return std::int64_t(l(k)); },
                                                               [&](int k) { return std::int64_t(h(k)); }, c);
        return sat16((acc + 32768) >> 16);
    }
};

// ---- row forms ------------------------------------------------------------------------------------------
template <class F, Path P>
void fwdRow(const typename F::T* x, typename F::T* lo, typename F::T* hi, int w, int phase) {
    using T = typename F::T;
    using W = typename F::W;
    const int pe = phase ? 1 : 0;
    if (w == 1) {
        auto g = [&](int i) { return x[i]; };
        lo[0] = Conv<F>::low(g, pe);
        hi[0] = Conv<F>::high(g, 1 - pe);
        return;
    }
    const T* base = x - pe;
    liftLine<F, true, P>(
        Range{pe, w - 1 + pe}, Range{0, w - 1}, Range{pe + 1, pe + w - 2}, Range{1, w - 2},
        [&](W* d, int k0, int n) { for (int i = 0; i < n; ++i) d[i] = F::fwdLoad(base[2 * (k0 + i)]); },
        [&](W* d, int k0, int n) { for (int i = 0; i < n; ++i) d[i] = F::fwdLoad(base[2 * (k0 + i) + 1]); },
        [&](const W* s, int k0, int n) { for (int i = 0; i < n; ++i) lo[k0 - pe + i] = F::store(s[i]); },
        [&](const W* s, int k0, int n) { for (int i = 0; i < n; ++i) hi[k0 + i] = F::store(s[i]); });
}

template <class F, Path P>
void invRow(const typename F::T* lo, const typename F::T* hi, typename F::T* x, int w, int phase) {
    using T = typename F::T;
    using W = typename F::W;
    const int pe = phase ? 1 : 0;
    if (w == 1) {
        auto l = [&](int k) { return lo[k - pe]; };
        auto h = [&](int k) { return hi[k]; };
        x[0] = Conv<F>::inv(l, h, pe);
        x[1] = Conv<F>::inv(l, h, pe + 1);
        return;
    }
    T* base = x - pe;
    liftLine<F, false, P>(
        Range{pe, w - 1 + pe}, Range{0, w - 1}, Range{pe + 1, pe + w - 2}, Range{1, w - 2},
        [&](W* d, int k0, int n) { for (int i = 0; i < n; ++i) d[i] = F::invLoadE(lo[k0 + i - pe]); },
        [&](W* d, int k0, int n) { for (int i = 0; i < n; ++i) d[i] = F::invLoadO(hi[k0 + i]); },
        [&](const W* s, int k0, int n) { for (int i = 0; i < n; ++i) base[2 * (k0 + i)] = F::store(s[i]); },
        [&](const W* s, int k0, int n) { for (int i = 0; i < n; ++i) base[2 * (k0 + i) + 1] = F::store(s[i]); });
}

// ---- column forms ---------------------------------------------------------------------------------------
// Columns are transformed in strips of kStrip samples; every step runs along
// whole strip rows.  E and O rows inside the output range live in the
// destination; those outside it (border intermediates) in stack rows.
inline constexpr int kStrip = 256;

template <class F, bool Fwd, Path P, class SrcE, class SrcO, class DstE, class DstO>
void liftColumns(int width, Range outE, Range outO, SrcE&& srcE, SrcO&& srcO, DstE&& dstE, DstO&& dstO) {
    using W = typename F::W;
    static_assert(sizeof(W) == sizeof(typename F::T), "column forms keep their intermediates in the planes");
    const Plan pl = plan(Fwd, outE, outO);
    alignas(16) W tmpE[8][kStrip];
    alignas(16) W tmpO[8][kStrip];
    for (int j0 = 0; j0 < width; j0 += kStrip) {
        const int n = std::min(kStrip, width - j0);
        auto stE = [&](int k) -> W* {
            if (k < outE.a) return tmpE[outE.a - k - 1];
            if (k > outE.b) return tmpE[4 + (k - outE.b - 1)];
            return dstE(k) + j0;
        };
        auto stO = [&](int k) -> W* {
            if (k < outO.a) return tmpO[outO.a - k - 1];
            if (k > outO.b) return tmpO[4 + (k - outO.b - 1)];
            return dstO(k) + j0;
        };
        auto inE = [&](int k) { return srcE(k) + j0; };
        auto inO = [&](int k) { return srcO(k) + j0; };
        const Range* r = pl.step;
        if constexpr (Fwd) {
            for (int k = r[0].a; k <= r[0].b; ++k) span<F, F1, P>(stO(k), inO(k), inE(k), inE(k + 1), n);
            for (int k = r[1].a; k <= r[1].b; ++k) span<F, F2, P>(stE(k), inE(k), stO(k - 1), stO(k), n);
            for (int k = r[2].a; k <= r[2].b; ++k) span<F, F3, P>(stO(k), stO(k), stE(k), stE(k + 1), n);
            for (int k = r[3].a; k <= r[3].b; ++k) span<F, F4, P>(stE(k), stE(k), stO(k - 1), stO(k), n);
            for (int k = outO.a; k <= outO.b; ++k) span<F, FH, P>(stO(k), stO(k), stO(k), stO(k), n);
        } else {
            for (int k = r[0].a; k <= r[0].b; ++k) span<F, I1, P>(stE(k), inE(k), inO(k - 1), inO(k), n);
            for (int k = r[1].a; k <= r[1].b; ++k) span<F, I2, P>(stO(k), inO(k), stE(k), stE(k + 1), n);
            for (int k = r[2].a; k <= r[2].b; ++k) span<F, I3, P>(stE(k), stE(k), stO(k - 1), stO(k), n);
            for (int k = r[3].a; k <= r[3].b; ++k) span<F, I4, P>(stO(k), stO(k), stE(k), stE(k + 1), n);
        }
    }
}

template <class F, Path P>
void fwdCols(const typename F::T* src, int srcStep, typename F::T* lo, int loStep, typename F::T* hi, int hiStep,
             ZebSize roi, int phase) {
    using T = typename F::T;
    const int pe = phase ? 1 : 0, w = roi.width, h = roi.height;
    if (h == 1) {
        for (int j = 0; j < w; ++j) {
            auto g = [&](int i) { return rowAt(src, srcStep, i)[j]; };
            lo[j] = Conv<F>::low(g, pe);
            hi[j] = Conv<F>::high(g, 1 - pe);
        }
        return;
    }
    liftColumns<F, true, P>(
        w, Range{pe, h - 1 + pe}, Range{0, h - 1}, [&](int k) { return rowAt(src, srcStep, 2 * k - pe); },
        [&](int k) { return rowAt(src, srcStep, 2 * k + 1 - pe); },
        [&](int k) -> T* { return rowAt(lo, loStep, k - pe); }, [&](int k) -> T* { return rowAt(hi, hiStep, k); });
}

template <class F, Path P>
void invCols(const typename F::T* lo, int loStep, const typename F::T* hi, int hiStep, ZebSize roi,
             typename F::T* dst, int dstStep, int phase) {
    using T = typename F::T;
    const int pe = phase ? 1 : 0, w = roi.width, h = roi.height;
    if (h == 1) {
        for (int j = 0; j < w; ++j) {
            auto l = [&](int k) { return rowAt(lo, loStep, k - pe)[j]; };
            auto g = [&](int k) { return rowAt(hi, hiStep, k)[j]; };
            dst[j] = Conv<F>::inv(l, g, pe);
            rowAt(dst, dstStep, 1)[j] = Conv<F>::inv(l, g, pe + 1);
        }
        return;
    }
    liftColumns<F, false, P>(
        w, Range{pe, h - 1 + pe}, Range{0, h - 1}, [&](int k) { return rowAt(lo, loStep, k - pe); },
        [&](int k) { return rowAt(hi, hiStep, k); }, [&](int k) -> T* { return rowAt(dst, dstStep, 2 * k - pe); },
        [&](int k) -> T* { return rowAt(dst, dstStep, 2 * k + 1 - pe); });
}

// ---- incremental column steps ----------------------------------------------------------------------------
template <class F, Path P>
void fwdColLift(const typename F::T* x0, const typename F::T* x1, const typename F::T* x2, typename F::T* lowState,
                typename F::T* lowStateNew, typename F::T* highState, typename F::T* highStatePrev,
                typename F::T* highStateNew, int width) {
    span<F, F1, P>(highStateNew, x1, x0, x2, width);
    span<F, F2, P>(lowStateNew, x0, highStatePrev, highStateNew, width);
    span<F, F3, P>(highStatePrev, highStatePrev, lowState, lowStateNew, width);
    span<F, F4, P>(lowState, lowState, highState, highStatePrev, width);
    span<F, FH, P>(highState, highState, highState, highState, width);
}

template <class F, Path P>
void invColLift(const typename F::T* low, const typename F::T* highPrev, const typename F::T* high,
                const typename F::T* evenPrev, typename F::T* oddState, typename F::T* evenState,
                typename F::T* oddStateNew, typename F::T* evenStateNew, int width) {
    span<F, I1, P>(evenStateNew, low, highPrev, high, width);
    span<F, I2, P>(oddStateNew, highPrev, evenState, evenStateNew, width);
    span<F, I3, P>(evenState, evenState, oddState, oddStateNew, width);
    span<F, I4, P>(oddState, oddState, evenPrev, evenState, width);
}

// ---- whole regions ----------------------------------------------------------------------------------------
template <class F, Path P>
void fwdRows(const typename F::T* src, int srcStep, typename F::T* lo, int loStep, typename F::T* hi, int hiStep,
             ZebSize roi, int phase) {
    for (int y = 0; y < roi.height; ++y)
        fwdRow<F, P>(rowAt(src, srcStep, y), rowAt(lo, loStep, y), rowAt(hi, hiStep, y), roi.width, phase);
}

template <class F, Path P>
void invRows(const typename F::T* lo, int loStep, const typename F::T* hi, int hiStep, ZebSize roi,
             typename F::T* dst, int dstStep, int phase) {
    for (int y = 0; y < roi.height; ++y)
        invRow<F, P>(rowAt(lo, loStep, y), rowAt(hi, hiStep, y), rowAt(dst, dstStep, y), roi.width, phase);
}

}  // namespace zeb::d97
