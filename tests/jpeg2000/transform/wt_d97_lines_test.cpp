// 9/7 line primitives: rows, columns and the incremental column steps.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "common/harness.h"
#include "jpeg2000/transform/wt_d97_lines.h"
#include "jpeg2000/transform/wt_d97_reference.h"

namespace {

using zebtest::Path;
using zebtest::Rng;
namespace d97 = zeb::d97;
using d97ref::i64;
using d97ref::Seq;

constexpr bool kSlow = zebtest::kSlowRun;

// ---- per-type access to the exported forms and the internal families ---------------------------------
template <class T>
struct Api;
#define ZEB_D97_API(T, S, FAMILY)                                                                          \
    template <>                                                                                           \
    struct Api<T> {                                                                                       \
        using F = d97::FAMILY;                                                                            \
        static constexpr auto fwdRow = &zebiWTFwdRow_D97_JPEG2K_##S##_C1R;                                 \
        static constexpr auto invRow = &zebiWTInvRow_D97_JPEG2K_##S##_C1R;                                 \
        static constexpr auto fwdLift = &zebiWTFwdColLift_D97_JPEG2K_##S##_C1;                             \
        static constexpr auto invLift = &zebiWTInvColLift_D97_JPEG2K_##S##_C1;                             \
        ZEB_D97_COLUMNS(S)                                                                                \
    };
#define ZEB_D97_COLUMNS(S)                                                                                 \
    static constexpr auto fwdCol = &zebiWTFwdCol_D97_JPEG2K_##S##_C1R;                                     \
    static constexpr auto invCol = &zebiWTInvCol_D97_JPEG2K_##S##_C1R;
ZEB_D97_API(float, 32f, LineF32)
ZEB_D97_API(Zeb32s, 32s, LineS32)
#undef ZEB_D97_COLUMNS
#define ZEB_D97_COLUMNS(S)  // the 16-bit family has no column forms
ZEB_D97_API(Zeb16s, 16s, LineS16)
#undef ZEB_D97_COLUMNS
#undef ZEB_D97_API

// Input values: "exact" runs use the whole range of the type (wrapping and
// saturation included) and compare with the family's own rules; "accuracy"
// runs keep the values moderate and compare with double precision.
enum class Mode { Exact, Accuracy };

template <class T>
T randomSample(Rng& rng, Mode mode) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>((rng.uniform() * 2 - 1) * 1000.0);
    } else {
        if (mode == Mode::Exact) return zebtest::randomValue<T>(rng, 0.2);
        const long long lim = sizeof(T) == 2 ? 1000 : 100000;
        return static_cast<T>(rng.range(-lim, lim));
    }
}

// Poison placed just outside the border a form may read.
template <class T>
T poison(int variant) {
    if constexpr (std::is_floating_point_v<T>) return std::numeric_limits<T>::quiet_NaN();
    else return variant ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
}

// Allowed distance from the double-precision reference, M the largest input
// magnitude.  32f: about a dozen single-precision roundings of values up to
// a few times M along each chain: 2e-6 M (about 16 ulps of M; the largest
// error measured over these tests is 6.1e-7 M).  Fixed point: each rounded
// step is off by at most half a unit, amplified along the chain, and the
// Q14/Q15/Q16 constants are off by up to 1e-5 relative: 3.5 + 6e-5 M units
// (measured: 2.9 units for 16s at M = 1000, 7.0 units for 32s at M = 1e5).
template <class T>
double tolerance(double maxAbs) {
    if constexpr (std::is_floating_point_v<T>) return 2e-6 * maxAbs + 1e-6;
    else return 3.5 + 6e-5 * maxAbs;
}

// The family's rules on a line: double precision for the accuracy runs and
// 32f, the Q16 rules for 32s, the saturating rules (with their edges) for 16s.
template <class T>
void reference(bool fwd, Seq<double>& sd, Seq<i64>& si, int p, int w, Mode mode) {
    if (std::is_floating_point_v<T> || mode == Mode::Accuracy) {
        fwd ? d97ref::dbl::forward(sd, p) : d97ref::dbl::inverse(sd, p);
    } else if constexpr (sizeof(T) == 4) {
        fwd ? d97ref::q16::forward(si, p) : d97ref::q16::inverse(si, p);
    } else {
        fwd ? d97ref::sat::forward(si, p, d97ref::sat::Edges{w, p}) : d97ref::sat::inverse(si, p, d97ref::sat::Edges{w, p});
    }
}

template <class T>
void expectClose(T got, double want, double tol, bool exact, const char* what, int i) {
    if (exact) {
        ASSERT_EQ(static_cast<double>(got), want) << what << " " << i;
    } else {
        ASSERT_NEAR(static_cast<double>(got), want, tol) << what << " " << i;
    }
}

// ---- rows --------------------------------------------------------------------------------------------------
// One w-pair row transformed forward and back (two rows with different
// steps); every output is compared with the reference, the scalar path
// must give the same bits, and the samples just outside the listed border
// carry poison (a second integer run with other poison must not differ).
template <class T>
void checkRowForward(int w, int p, Mode mode, Rng& rng) {
    using A = Api<T>;
    constexpr int kMargin = 8;
    const int len = 2 * w + 2 * kMargin + 1;
    const int srcStep = len * static_cast<int>(sizeof(T));
    const int first = -4 + p, last = 2 * w + 2 + p;  // the listed border
    std::vector<T> src(2 * len);
    for (int r = 0; r < 2; ++r)
        for (int j = -kMargin; j < 2 * w + kMargin + 1; ++j)
            src[r * len + kMargin + j] = (j >= first && j <= last) ? randomSample<T>(rng, mode) : poison<T>(0);
    const int loStep = (w + 3) * static_cast<int>(sizeof(T)), hiStep = (w + 1) * static_cast<int>(sizeof(T));
    std::vector<T> lo(2 * (w + 3)), hi(2 * (w + 1)), lo2(lo.size()), hi2(hi.size());
    ASSERT_EQ(A::fwdRow(src.data() + kMargin, srcStep, lo.data(), loStep, hi.data(), hiStep, {w, 2}, p), zebOk);
    d97::fwdRows<typename A::F, Path::Scalar>(src.data() + kMargin, srcStep, lo2.data(), loStep, hi2.data(), hiStep,
                                              {w, 2}, p);
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < w; ++i) {
            ASSERT_EQ(0, std::memcmp(&lo[r * (w + 3) + i], &lo2[r * (w + 3) + i], sizeof(T))) << "scalar low " << i;
            ASSERT_EQ(0, std::memcmp(&hi[r * (w + 1) + i], &hi2[r * (w + 1) + i], sizeof(T))) << "scalar high " << i;
        }
    if constexpr (!std::is_floating_point_v<T>) {
        std::vector<T> src3 = src;
        for (int r = 0; r < 2; ++r)
            for (int j = -kMargin; j < 2 * w + kMargin + 1; ++j)
                if (j < first || j > last) src3[r * len + kMargin + j] = poison<T>(1);
        ASSERT_EQ(A::fwdRow(src3.data() + kMargin, srcStep, lo2.data(), loStep, hi2.data(), hiStep, {w, 2}, p), zebOk);
        ASSERT_EQ(lo, lo2) << "low band depends on samples outside the border";
        ASSERT_EQ(hi, hi2) << "high band depends on samples outside the border";
    }
    const bool exact = !std::is_floating_point_v<T> && mode == Mode::Exact;
    for (int r = 0; r < 2; ++r) {
        Seq<double> sd(first, last);
        Seq<i64> si(first, last);
        double maxAbs = 0;
        for (int j = first; j <= last; ++j) {
            const T v = src[r * len + kMargin + j];
            sd.set(j, static_cast<double>(v));
            si.set(j, static_cast<i64>(v));
            maxAbs = std::max(maxAbs, std::fabs(static_cast<double>(v)));
        }
        reference<T>(true, sd, si, p, w, mode);
        std::vector<double> rl, rh;
        if (exact) {
            auto b = d97ref::split(si, 2 * w, p);
            ASSERT_TRUE(b.has_value()) << "border too short in the reference";
            rl.assign(b->first.begin(), b->first.end());
            rh.assign(b->second.begin(), b->second.end());
        } else {
            auto b = d97ref::split(sd, 2 * w, p);
            ASSERT_TRUE(b.has_value()) << "border too short in the reference";
            rl = b->first;
            rh = b->second;
        }
        const double tol = tolerance<T>(maxAbs);
        for (int i = 0; i < w; ++i) {
            expectClose(lo[r * (w + 3) + i], rl[i], tol, exact, "low", i);
            expectClose(hi[r * (w + 1) + i], rh[i], tol, exact, "high", i);
        }
    }
}

template <class T>
void checkRowInverse(int w, int p, Mode mode, Rng& rng) {
    using A = Api<T>;
    constexpr int kMargin = 6;
    const int len = w + 2 * kMargin;
    const int step = len * static_cast<int>(sizeof(T));
    const int lFirst = p ? -2 : -1, lLast = p ? w : w + 1, hFirst = -2, hLast = w + 1;
    std::vector<T> low(2 * len), high(2 * len);
    for (int r = 0; r < 2; ++r)
        for (int i = -kMargin; i < w + kMargin; ++i) {
            low[r * len + kMargin + i] = (i >= lFirst && i <= lLast) ? randomSample<T>(rng, mode) : poison<T>(0);
            high[r * len + kMargin + i] = (i >= hFirst && i <= hLast) ? randomSample<T>(rng, mode) : poison<T>(0);
        }
    const int dstStep = (2 * w + 3) * static_cast<int>(sizeof(T));
    std::vector<T> dst(2 * (2 * w + 3)), dst2(dst.size());
    ASSERT_EQ(A::invRow(low.data() + kMargin, step, high.data() + kMargin, step, {w, 2}, dst.data(), dstStep, p),
              zebOk);
    d97::invRows<typename A::F, Path::Scalar>(low.data() + kMargin, step, high.data() + kMargin, step, {w, 2},
                                              dst2.data(), dstStep, p);
    for (int r = 0; r < 2; ++r)
        for (int j = 0; j < 2 * w; ++j)
            ASSERT_EQ(0, std::memcmp(&dst[r * (2 * w + 3) + j], &dst2[r * (2 * w + 3) + j], sizeof(T))) << j;
    if constexpr (!std::is_floating_point_v<T>) {
        std::vector<T> l3 = low, h3 = high;
        for (int r = 0; r < 2; ++r)
            for (int i = -kMargin; i < w + kMargin; ++i) {
                if (i < lFirst || i > lLast) l3[r * len + kMargin + i] = poison<T>(1);
                if (i < hFirst || i > hLast) h3[r * len + kMargin + i] = poison<T>(1);
            }
        ASSERT_EQ(A::invRow(l3.data() + kMargin, step, h3.data() + kMargin, step, {w, 2}, dst2.data(), dstStep, p),
                  zebOk);
        ASSERT_EQ(dst, dst2) << "output depends on coefficients outside the border";
    }
    const bool exact = !std::is_floating_point_v<T> && mode == Mode::Exact;
    for (int r = 0; r < 2; ++r) {
        auto lowAt = [&](int i) -> std::optional<double> {
            if (i < lFirst || i > lLast) return std::nullopt;
            return static_cast<double>(low[r * len + kMargin + i]);
        };
        auto highAt = [&](int i) -> std::optional<double> {
            if (i < hFirst || i > hLast) return std::nullopt;
            return static_cast<double>(high[r * len + kMargin + i]);
        };
        Seq<double> sd = d97ref::interleave<double>(-6, 2 * w + 5, p, lowAt, highAt);
        Seq<i64> si(sd.lo, sd.hi());
        double maxAbs = 0;
        for (int j = sd.lo; j <= sd.hi(); ++j)
            if (sd.has(j)) {
                si.set(j, static_cast<i64>(sd.at(j)));
                maxAbs = std::max(maxAbs, std::fabs(sd.at(j)));
            }
        reference<T>(false, sd, si, p, w, mode);
        for (int j = 0; j < 2 * w; ++j) {
            const bool known = exact ? si.has(j) : sd.has(j);
            ASSERT_TRUE(known) << "border too short in the reference at " << j;
            expectClose(dst[r * (2 * w + 3) + j], exact ? static_cast<double>(si.at(j)) : sd.at(j),
                        tolerance<T>(maxAbs), exact, "sample", j);
        }
    }
}

std::vector<int> rowWidths() {
    std::vector<int> ws;
    for (int w = 1; w <= 24; ++w) ws.push_back(w);
    for (int w : {31, 64, 517, 1100}) ws.push_back(w);
    return ws;
}

template <class T>
void checkRows(Mode mode) {
    Rng rng(sizeof(T) * 7 + static_cast<int>(mode));
    for (int w : rowWidths())
        for (int p = 0; p < 2; ++p) {
            // Single-pair rows are convolutions, not lifting: checked for accuracy only.
            if (w == 1 && mode == Mode::Exact) continue;
            checkRowForward<T>(w, p, mode, rng);
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "forward w " << w << " phase " << p;
                return;
            }
            checkRowInverse<T>(w, p, mode, rng);
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "inverse w " << w << " phase " << p;
                return;
            }
        }
}

TEST(WtD97Rows, FloatWithinSinglePrecisionOfDoubleReference) { checkRows<float>(Mode::Accuracy); }
TEST(WtD97Rows, Q16RulesExactly) { checkRows<Zeb32s>(Mode::Exact); }
TEST(WtD97Rows, Q16WithinToleranceOfDoubleReference) { checkRows<Zeb32s>(Mode::Accuracy); }
TEST(WtD97Rows, SaturatingRulesExactly) { checkRows<Zeb16s>(Mode::Exact); }
TEST(WtD97Rows, SaturatingWithinToleranceOfDoubleReference) { checkRows<Zeb16s>(Mode::Accuracy); }

TEST(WtD97Rows, ConstantAndImpulseExamples) {
    // A constant row (border included) gives L = c and H = 0.
    for (int p = 0; p < 2; ++p)
        for (int w : {1, 2, 5, 9}) {
            std::vector<float> x(2 * w + 16, 37.5f), lo(w), hi(w);
            ASSERT_EQ(zebiWTFwdRow_D97_JPEG2K_32f_C1R(x.data() + 8, 400, lo.data(), 400, hi.data(), 400, {w, 1}, p),
                      zebOk);
            for (int i = 0; i < w; ++i) {
                EXPECT_NEAR(lo[i], 37.5f, 2e-5) << w << " " << p;
                EXPECT_NEAR(hi[i], 0.0f, 2e-5) << w << " " << p;
            }
        }
    // The only non-zero sample x(0) = 1, phase 0: the analysis impulse response.
    std::vector<float> x(32, 0.0f), lo(3), hi(3);
    x[8] = 1.0f;
    ASSERT_EQ(zebiWTFwdRow_D97_JPEG2K_32f_C1R(x.data() + 8, 128, lo.data(), 12, hi.data(), 12, {3, 1}, 0), zebOk);
    EXPECT_NEAR(lo[0], 0.602949, 1e-6);
    EXPECT_NEAR(lo[1], -0.078223266, 1e-6);
    EXPECT_NEAR(lo[2], 0.026748758, 1e-6);
    EXPECT_NEAR(hi[0], -0.59127176, 1e-6);
    EXPECT_NEAR(hi[1], 0.091271766, 1e-6);
    EXPECT_NEAR(hi[2], 0.0, 1e-6);
}

// ---- columns -----------------------------------------------------------------------------------------------
// A column form over a W-wide region equals the row form applied to every
// column laid out as a row (the same arithmetic per element), reads only the
// border rows (poison rows around them) and addresses the row above each
// band with that band's own step.
template <class T>
void checkColumns(int width, int h, int p, Rng& rng) {
    using A = Api<T>;
    constexpr int kPad = 6;  // rows of poison/border room on each side
    const int rows = 2 * h + 2 * kPad, fFirst = -4 + p, fLast = 2 * h + 2 + p;
    const int srcStride = width + 3;
    std::vector<T> src(static_cast<std::size_t>(rows) * srcStride);
    auto srcAt = [&](int r, int c) -> T& { return src[(r + kPad) * srcStride + c]; };
    for (int r = -kPad; r < 2 * h + kPad; ++r)
        for (int c = 0; c < width; ++c)
            srcAt(r, c) = (r >= fFirst && r <= fLast) ? randomSample<T>(rng, Mode::Exact) : poison<T>(0);
    const int loStride = width + 1, hiStride = width + 5;
    std::vector<T> lo(static_cast<std::size_t>(h + 2 * kPad) * loStride), hi(static_cast<std::size_t>(h + 2 * kPad) * hiStride);
    T* loBase = lo.data() + kPad * loStride;
    T* hiBase = hi.data() + kPad * hiStride;
    const int e = sizeof(T);
    ASSERT_EQ(A::fwdCol(&srcAt(0, 0), srcStride * e, loBase, loStride * e, hiBase, hiStride * e, {width, h}, p), zebOk);
    // Each column as a row.
    std::vector<T> line(2 * h + 16), rl(h), rh(h);
    for (int c = 0; c < width; ++c) {
        for (int r = fFirst; r <= fLast; ++r) line[8 + r] = srcAt(r, c);
        ASSERT_EQ(A::fwdRow(line.data() + 8, 4, rl.data(), 4, rh.data(), 4, {h, 1}, p), zebOk);
        for (int i = 0; i < h; ++i) {
            ASSERT_EQ(0, std::memcmp(&rl[i], &loBase[i * loStride + c], e)) << "low row " << i << " col " << c;
            ASSERT_EQ(0, std::memcmp(&rh[i], &hiBase[i * hiStride + c], e)) << "high row " << i << " col " << c;
        }
    }
    // Inverse: put borders around the bands just computed (random rows
    // above and below, poison beyond), then compare with the inverse rows.
    const int lFirst = p ? -2 : -1, lLast = p ? h : h + 1, hFirst = -2, hLast = h + 1;
    for (int r = -kPad; r < h + kPad; ++r)
        for (int c = 0; c < width; ++c) {
            if (r < 0 || r >= h) {
                loBase[r * loStride + c] = (r >= lFirst && r <= lLast) ? randomSample<T>(rng, Mode::Exact) : poison<T>(0);
                hiBase[r * hiStride + c] = (r >= hFirst && r <= hLast) ? randomSample<T>(rng, Mode::Exact) : poison<T>(0);
            }
        }
    const int dstStride = width + 2;
    std::vector<T> dst(static_cast<std::size_t>(2 * h) * dstStride);
    ASSERT_EQ(A::invCol(loBase, loStride * e, hiBase, hiStride * e, {width, h}, dst.data(), dstStride * e, p), zebOk);
    std::vector<T> lrow(h + 16), hrow(h + 16), out(2 * h);
    for (int c = 0; c < width; ++c) {
        for (int r = lFirst; r <= lLast; ++r) lrow[8 + r] = loBase[r * loStride + c];
        for (int r = hFirst; r <= hLast; ++r) hrow[8 + r] = hiBase[r * hiStride + c];
        ASSERT_EQ(A::invRow(lrow.data() + 8, 4, hrow.data() + 8, 4, {h, 1}, out.data(), 4, p), zebOk);
        for (int j = 0; j < 2 * h; ++j)
            ASSERT_EQ(0, std::memcmp(&out[j], &dst[j * dstStride + c], e)) << "row " << j << " col " << c;
    }
}

template <class T>
void checkColumnsAll() {
    Rng rng(77 + sizeof(T));
    const int maxH = kSlow ? 9 : 14;
    for (int width : {1, 3, 4, 9, 300})
        for (int h = 1; h <= maxH; ++h)
            for (int p = 0; p < 2; ++p) {
                checkColumns<T>(width, h, p, rng);
                if (::testing::Test::HasFatalFailure()) {
                    ADD_FAILURE() << "width " << width << " h " << h << " phase " << p;
                    return;
                }
            }
    checkColumns<T>(5, 600, 1, rng);
}

TEST(WtD97Cols, FloatEqualsRowsOfTransposeAndReadsOnlyBorderRows) { checkColumnsAll<float>(); }
TEST(WtD97Cols, Q16EqualsRowsOfTransposeAndReadsOnlyBorderRows) { checkColumnsAll<Zeb32s>(); }

// ---- incremental column steps --------------------------------------------------------------------------
// A whole column transform driven through ColLift: the forward starts two
// calls early (n = -2, -1 only fill the state rows) and the inverse one call
// early, exactly like a streaming coder warming up over extended rows.
template <class T, class FwdLift>
void runForwardLift(FwdLift fwd, const std::vector<std::vector<T>>& x, int h, int width, std::vector<std::vector<T>>& L,
                    std::vector<std::vector<T>>& H) {
    // x[r + 4] is row r, r from -4 to 2h + 4.
    auto X = [&](int r) { return x[r + 4].data(); };
    std::vector<std::vector<T>> st(5, std::vector<T>(width, T(0)));
    T* lowState = st[0].data();
    T* lowStateNew = st[1].data();
    T* highState = st[2].data();
    T* highStatePrev = st[3].data();
    T* highStateNew = st[4].data();
    L.assign(h, std::vector<T>(width));
    H.assign(h, std::vector<T>(width));
    for (int n = -2; n <= h + 1; ++n) {
        ASSERT_EQ(fwd(X(2 * n), X(2 * n + 1), X(2 * n + 2), lowState, lowStateNew, highState, highStatePrev,
                      highStateNew, width),
                  zebOk);
        if (n - 1 >= 0 && n - 1 < h) L[n - 1].assign(lowState, lowState + width);
        if (n - 2 >= 0 && n - 2 < h) H[n - 2].assign(highState, highState + width);
        T* oldLow = lowState;
        T* oldHigh = highState;
        lowState = lowStateNew;
        highState = highStatePrev;
        highStatePrev = highStateNew;
        lowStateNew = oldLow;
        highStateNew = oldHigh;
    }
}

template <class T, class InvLift>
void runInverseLift(InvLift inv, const std::vector<std::vector<T>>& lo, const std::vector<std::vector<T>>& hi, int h,
                    int width, std::vector<std::vector<T>>& x) {
    // lo[k + 1] is L(k) for k from -1 to h + 1; hi[k + 2] is H(k) for k from -2 to h + 1.
    std::vector<std::vector<T>> st(5, std::vector<T>(width, T(0)));
    T* evenPrev = st[0].data();
    T* oddState = st[1].data();
    T* evenState = st[2].data();
    T* oddStateNew = st[3].data();
    T* evenStateNew = st[4].data();
    x.assign(2 * h, std::vector<T>(width));
    for (int n = -1; n <= h + 1; ++n) {
        ASSERT_EQ(inv(lo[n + 1].data(), hi[n + 1].data(), hi[n + 2].data(), evenPrev, oddState, evenState, oddStateNew,
                      evenStateNew, width),
                  zebOk);
        if (2 * n - 2 >= 0 && 2 * n - 2 < 2 * h) x[2 * n - 2].assign(evenState, evenState + width);
        if (2 * n - 3 >= 0 && 2 * n - 3 < 2 * h) x[2 * n - 3].assign(oddState, oddState + width);
        // Rotate; the two rows freed become the next call's new-state rows.
        T* freeA = evenPrev;
        T* freeB = oddState;
        evenPrev = evenState;
        oddState = oddStateNew;
        evenState = evenStateNew;
        oddStateNew = freeA;
        evenStateNew = freeB;
    }
}

// The ColLift composition equals the column form (32f, 32s: identical
// arithmetic) or, for 16s, the saturating rules applied everywhere.
template <class T>
void checkLiftComposition(int width, int h, Rng& rng) {
    using A = Api<T>;
    const int e = sizeof(T);
    std::vector<std::vector<T>> x(2 * h + 9, std::vector<T>(width));
    for (auto& row : x)
        for (auto& v : row) v = randomSample<T>(rng, Mode::Exact);
    std::vector<std::vector<T>> L, H;
    runForwardLift<T>(A::fwdLift, x, h, width, L, H);
    if (::testing::Test::HasFatalFailure()) return;
    // Expected forward coefficients.
    std::vector<std::vector<T>> eL(h, std::vector<T>(width)), eH(h, std::vector<T>(width));
    if constexpr (sizeof(T) == 2) {
        for (int c = 0; c < width; ++c) {
            Seq<i64> s(-4, 2 * h + 4);
            for (int r = -4; r <= 2 * h + 4; ++r) s.set(r, x[r + 4][c]);
            d97ref::sat::forward(s, 0, [](int) { return false; });
            auto b = d97ref::split(s, 2 * h, 0);
            ASSERT_TRUE(b.has_value());
            for (int i = 0; i < h; ++i) {
                eL[i][c] = static_cast<T>(b->first[i]);
                eH[i][c] = static_cast<T>(b->second[i]);
            }
        }
    } else {
        std::vector<T> flat(static_cast<std::size_t>(2 * h + 9) * width), fl(h * width), fh(h * width);
        for (int r = 0; r < 2 * h + 9; ++r) std::memcpy(&flat[r * width], x[r].data(), width * e);
        ASSERT_EQ(A::fwdCol(&flat[4 * width], width * e, fl.data(), width * e, fh.data(), width * e, {width, h}, 0),
                  zebOk);
        for (int i = 0; i < h; ++i) {
            eL[i].assign(&fl[i * width], &fl[i * width] + width);
            eH[i].assign(&fh[i * width], &fh[i * width] + width);
        }
    }
    for (int i = 0; i < h; ++i) {
        ASSERT_EQ(0, std::memcmp(L[i].data(), eL[i].data(), width * e)) << "L row " << i;
        ASSERT_EQ(0, std::memcmp(H[i].data(), eH[i].data(), width * e)) << "H row " << i;
    }

    // Inverse over bands with random borders.
    std::vector<std::vector<T>> lo(h + 3, std::vector<T>(width)), hi(h + 4, std::vector<T>(width));
    for (auto& row : lo)
        for (auto& v : row) v = randomSample<T>(rng, Mode::Exact);
    for (auto& row : hi)
        for (auto& v : row) v = randomSample<T>(rng, Mode::Exact);
    std::vector<std::vector<T>> out;
    runInverseLift<T>(A::invLift, lo, hi, h, width, out);
    if (::testing::Test::HasFatalFailure()) return;
    std::vector<std::vector<T>> ex(2 * h, std::vector<T>(width));
    if constexpr (sizeof(T) == 2) {
        for (int c = 0; c < width; ++c) {
            auto lowAt = [&](int k) -> std::optional<i64> {
                if (k < -1 || k > h + 1) return std::nullopt;
                return lo[k + 1][c];
            };
            auto highAt = [&](int k) -> std::optional<i64> {
                if (k < -2 || k > h + 1) return std::nullopt;
                return hi[k + 2][c];
            };
            Seq<i64> s = d97ref::interleave<i64>(-6, 2 * h + 6, 0, lowAt, highAt);
            d97ref::sat::inverse(s, 0, [](int) { return false; });
            auto smp = d97ref::samples(s, 2 * h);
            ASSERT_TRUE(smp.has_value());
            for (int j = 0; j < 2 * h; ++j) ex[j][c] = static_cast<T>((*smp)[j]);
        }
    } else {
        std::vector<T> fl(static_cast<std::size_t>(h + 3) * width), fh(static_cast<std::size_t>(h + 4) * width),
            fo(static_cast<std::size_t>(2 * h) * width);
        for (int r = 0; r < h + 3; ++r) std::memcpy(&fl[r * width], lo[r].data(), width * e);
        for (int r = 0; r < h + 4; ++r) std::memcpy(&fh[r * width], hi[r].data(), width * e);
        ASSERT_EQ(A::invCol(&fl[width], width * e, &fh[2 * width], width * e, {width, h}, fo.data(), width * e, 0),
                  zebOk);
        for (int j = 0; j < 2 * h; ++j) ex[j].assign(&fo[j * width], &fo[j * width] + width);
    }
    for (int j = 0; j < 2 * h; ++j) ASSERT_EQ(0, std::memcmp(out[j].data(), ex[j].data(), width * e)) << "row " << j;
}

template <class T>
void checkLiftAll() {
    Rng rng(5 + sizeof(T));
    for (int width : {1, 7, 8, 9, 33})
        for (int h : {2, 3, 6, 11}) {
            checkLiftComposition<T>(width, h, rng);
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "width " << width << " h " << h;
                return;
            }
        }
}

TEST(WtD97ColLift, FloatCompositionEqualsColumnForm) { checkLiftAll<float>(); }
TEST(WtD97ColLift, Q16CompositionEqualsColumnForm) { checkLiftAll<Zeb32s>(); }
TEST(WtD97ColLift, SaturatingCompositionFollowsItsRules) { checkLiftAll<Zeb16s>(); }

// The 32f step forms compute exactly as the lifting forms.
TEST(WtD97ColLift, FloatColStepComputesAsColLift) {
    Rng rng(99);
    const int w = 37;
    std::vector<std::vector<float>> in(3, std::vector<float>(w)), a(5, std::vector<float>(w));
    for (auto* rows : {&in, &a})
        for (auto& r : *rows)
            for (auto& v : r) v = randomSample<float>(rng, Mode::Accuracy);
    auto same = [&](auto lift, auto step) {
        std::vector<std::vector<float>> b = a, c = a;
        ASSERT_EQ(lift(in[0].data(), in[1].data(), in[2].data(), b[0].data(), b[1].data(), b[2].data(), b[3].data(),
                       b[4].data(), w), zebOk);
        ASSERT_EQ(step(in[0].data(), in[1].data(), in[2].data(), c[0].data(), c[1].data(), c[2].data(), c[3].data(),
                       c[4].data(), w), zebOk);
        EXPECT_EQ(b, c);
    };
    same(zebiWTFwdColLift_D97_JPEG2K_32f_C1, zebiWTFwdColStep_D97_JPEG2K_32f_C1);
    same(zebiWTInvColLift_D97_JPEG2K_32f_C1, zebiWTInvColStep_D97_JPEG2K_32f_C1);
}

// Scalar and vector paths of the step forms over every length and alignment.
template <class T>
void liftPathsAgree() {
    using F = typename Api<T>::F;
    Rng rng(3);
    for (int len : zebtest::kernelLengths(16 / sizeof(T)))
        for (int mis : {0, 4, 8}) {
            const std::size_t m = (mis / sizeof(T)) * sizeof(T);
            std::vector<zebtest::GuardedBuffer<T>> rows;
            rows.reserve(8);
            for (int i = 0; i < 8; ++i) rows.emplace_back(len, m);
            for (auto& r : rows) zebtest::fillRandom(r.data(), len, rng, 0.2);
            std::vector<std::vector<T>> snap;
            for (auto& r : rows) snap.emplace_back(r.data(), r.data() + len);
            auto run = [&](auto path, std::vector<std::vector<T>>& st) {
                constexpr Path P = decltype(path)::value;
                d97::fwdColLift<F, P>(rows[0].data(), rows[1].data(), rows[2].data(), st[0].data(), st[1].data(),
                                      st[2].data(), st[3].data(), st[4].data(), len);
                d97::invColLift<F, P>(rows[3].data(), rows[4].data(), rows[5].data(), rows[6].data(), st[5].data(),
                                      st[6].data(), st[7].data(), st[8].data(), len);
            };
            std::vector<std::vector<T>> s1(9), s2;
            for (int i = 0; i < 9; ++i) s1[i] = snap[i % 8];
            s2 = s1;
            run(std::integral_constant<Path, Path::Scalar>{}, s1);
            run(std::integral_constant<Path, Path::Vector>{}, s2);
            for (int i = 0; i < 9; ++i)
                ASSERT_EQ(0, std::memcmp(s1[i].data(), s2[i].data(), len * sizeof(T))) << "len " << len << " row " << i;
            for (auto& r : rows) ASSERT_TRUE(r.intact());
        }
}

TEST(WtD97ColLift, ScalarAndVectorPathsAgree) {
    liftPathsAgree<float>();
    liftPathsAgree<Zeb32s>();
    liftPathsAgree<Zeb16s>();
}

// ---- argument checks -----------------------------------------------------------------------------------
TEST(WtD97Checks, LineFormsCheckPointersThenStepsThenSize) {
    float s[64] = {}, lo[8] = {}, hi[8] = {};
    const float keep = 5.0f;
    std::fill(lo, lo + 8, keep);
    EXPECT_EQ(zebiWTFwdRow_D97_JPEG2K_32f_C1R(s + 8, 0, lo, 0, nullptr, 0, {0, 0}, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwdRow_D97_JPEG2K_32f_C1R(s + 8, 0, lo, 32, hi, 32, {0, 1}, 0), zebErrStep);
    EXPECT_EQ(zebiWTFwdRow_D97_JPEG2K_32f_C1R(s + 8, 32, lo, 32, hi, 0, {2, 1}, 0), zebErrStep);
    EXPECT_EQ(zebiWTFwdRow_D97_JPEG2K_32f_C1R(s + 8, 32, lo, 32, hi, 32, {2, 0}, 0), zebErrSize);
    EXPECT_EQ(zebiWTFwdCol_D97_JPEG2K_32f_C1R(nullptr, 0, lo, 32, hi, 32, {2, 0}, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwdCol_D97_JPEG2K_32f_C1R(s + 8, 32, lo, 32, hi, 32, {0, 1}, 0), zebErrSize);
    EXPECT_EQ(zebiWTInvRow_D97_JPEG2K_32f_C1R(lo, 32, hi, 32, {1, 1}, nullptr, 0, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTInvRow_D97_JPEG2K_32f_C1R(lo, 32, hi, 0, {0, 1}, s + 8, 32, 0), zebErrStep);
    EXPECT_EQ(zebiWTInvCol_D97_JPEG2K_32f_C1R(lo, 32, hi, 32, {1, -1}, s + 8, 32, 1), zebErrSize);
    for (float v : lo) EXPECT_EQ(v, keep);
    Zeb32s is[64] = {}, il[8] = {}, ih[8] = {};
    EXPECT_EQ(zebiWTFwdRow_D97_JPEG2K_32s_C1R(is + 8, 32, il, 32, nullptr, 32, {1, 1}, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTInvCol_D97_JPEG2K_32s_C1R(il, 0, ih, 32, {1, 1}, is + 8, 32, 0), zebErrStep);
    Zeb16s ss[64] = {}, sl[8] = {}, sh[8] = {};
    EXPECT_EQ(zebiWTFwdRow_D97_JPEG2K_16s_C1R(ss + 8, 16, sl, 16, sh, 16, {1, 0}, 0), zebErrSize);
    EXPECT_EQ(zebiWTInvRow_D97_JPEG2K_16s_C1R(nullptr, 16, sh, 16, {1, 1}, ss, 0, 0), zebErrNullPtr);
}

TEST(WtD97Checks, StepFormsCheckEveryPointerThenWidth) {
    float r[9][4] = {};
    float* p[9];
    for (int i = 0; i < 9; ++i) p[i] = r[i];
    for (int i = 0; i < 8; ++i) {
        float* q[8];
        for (int j = 0; j < 8; ++j) q[j] = j == i ? nullptr : p[j];
        EXPECT_EQ(zebiWTFwdColLift_D97_JPEG2K_32f_C1(q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7], 0), zebErrNullPtr)
            << i;
        EXPECT_EQ(zebiWTInvColStep_D97_JPEG2K_32f_C1(q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7], 0), zebErrNullPtr)
            << i;
    }
    EXPECT_EQ(zebiWTFwdColStep_D97_JPEG2K_32f_C1(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], 0), zebErrSize);
    Zeb16s s[8][4] = {};
    EXPECT_EQ(zebiWTInvColLift_D97_JPEG2K_16s_C1(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], -3), zebErrSize);
    Zeb32s t[8][4] = {};
    EXPECT_EQ(zebiWTFwdColLift_D97_JPEG2K_32s_C1(t[0], t[1], t[2], t[3], t[4], t[5], t[6], nullptr, 0), zebErrNullPtr);
    for (auto& row : r)
        for (float v : row) EXPECT_EQ(v, 0.0f);
}

}  // namespace
