// 5/3 line primitives: row and column forms against the reference lifting
// with everything outside their documented border poisoned, the arithmetic
// of the incremental column forms, scalar versus vector line kernels, and
// the argument checks.
#include <vector>

#include "common/harness.h"
#include "jpeg2000/transform/wt_b53_kernels.h"
#include "wt_b53_reference.h"

namespace {

using b53ref::Arith;
using b53ref::i64;
using zebtest::Rng;

constexpr int kMargin = 4;  // positions stored beyond each end of a line

// `lanes` lines of n positions (plus margins) running along rows (row forms)
// or down columns (column forms), with padding at the end of every row.
template <class T>
struct Plane {
    bool cols;
    int n, lanes, pitch;
    std::vector<T> v;
    Plane(bool c, int n_, int lanes_, int pad, Rng& rng)
        : cols(c), n(n_), lanes(lanes_), pitch((c ? lanes_ : n_ + 2 * kMargin) + pad),
          v(static_cast<std::size_t>(pitch) * (c ? n_ + 2 * kMargin : lanes_)) {
        zebtest::fillRandom(v.data(), v.size(), rng, 0.2);
    }
    T& at(int j, int c) { return cols ? v[(j + kMargin) * pitch + c] : v[c * pitch + j + kMargin]; }
    T* origin() { return &at(0, 0); }
    int step() const { return pitch * static_cast<int>(sizeof(T)); }
    void poisonOutside(int lo, int hi, Rng& rng) {
        for (int j = -kMargin; j < n + kMargin; ++j)
            for (int c = 0; c < lanes && (j < lo || j > hi); ++c) at(j, c) = zebtest::randomValue<T>(rng, 0.0);
    }
    bool sameInside(Plane& o) {
        for (int j = 0; j < n; ++j)
            for (int c = 0; c < lanes; ++c)
                if (at(j, c) != o.at(j, c)) return false;
        return true;
    }
};

template <class T>
void formsMatchReference(bool cols) {
    Rng rng(cols * 10 + sizeof(T));
    const auto fwd = cols ? B53<T>::fwdCol : B53<T>::fwdRow;
    const auto inv = cols ? B53<T>::invCol : B53<T>::invRow;
    for (int p : {0, 1}) {
        for (int w : {1, 2, 3, 4, 7, 8, 9, 16, 17, 40}) {
            for (int lanes : cols ? std::vector<int>{1, 9, 520} : std::vector<int>{2}) {
                const ZebSize roi = cols ? ZebSize{lanes, w} : ZebSize{w, lanes};
                const int phase = p ? 5 : 0;  // any non-zero phase is odd
                // forward reads x(p - 2) .. x(2w + p); run twice over different poison
                Plane<T> x(cols, 2 * w, lanes, 3, rng), l(cols, w, lanes, 1, rng), h(cols, w, lanes, 6, rng);
                Plane<T> l2 = l, h2 = h;
                x.poisonOutside(p - 2, 2 * w + p, rng);
                ASSERT_EQ(fwd(x.origin(), x.step(), l.origin(), l.step(), h.origin(), h.step(), roi, phase), zebOk);
                x.poisonOutside(p - 2, 2 * w + p, rng);
                ASSERT_EQ(fwd(x.origin(), x.step(), l2.origin(), l2.step(), h2.origin(), h2.step(), roi, phase), zebOk);
                ASSERT_TRUE(l.sameInside(l2) && h.sameInside(h2)) << "forward read outside its border, w " << w;
                // inverse reads L(-p) .. L(w - p) and H(-1) .. H(w)
                Plane<T> d(cols, 2 * w, lanes, 2, rng), d2 = d;
                l.poisonOutside(-p, w - p, rng);
                h.poisonOutside(-1, w, rng);
                ASSERT_EQ(inv(l.origin(), l.step(), h.origin(), h.step(), roi, d.origin(), d.step(), phase), zebOk);
                l.poisonOutside(-p, w - p, rng);
                h.poisonOutside(-1, w, rng);
                ASSERT_EQ(inv(l.origin(), l.step(), h.origin(), h.step(), roi, d2.origin(), d2.step(), phase), zebOk);
                ASSERT_TRUE(d.sameInside(d2)) << "inverse read outside its border, w " << w;

                for (int c = 0; c < lanes; c += 1 + c / 8) {
                    const auto ref = b53ref::forward([&](int j) { return i64{x.at(j, c)}; }, 2 * w, p, B53<T>::kArith);
                    auto y = [&](int j) {  // coefficient at coordinate j: low at parity 0, high at 1
                        const int q = j + p;
                        return i64{q & 1 ? h.at((q - 1) >> 1, c) : l.at((q >> 1) - p, c)};
                    };
                    const auto back = b53ref::inverse(y, 2 * w, p, B53<T>::kArith);
                    for (int k = 0; k < w; ++k) {
                        ASSERT_EQ(l2.at(k, c), ref.low[k]) << "w " << w << " phase " << p << " lane " << c;
                        ASSERT_EQ(h2.at(k, c), ref.high[k]) << "w " << w << " phase " << p << " lane " << c;
                    }
                    for (int j = 0; j < 2 * w; ++j) ASSERT_EQ(d.at(j, c), back[j]) << "w " << w << " phase " << p;
                }
            }
        }
    }
}

TEST(WtB53Lines, RowFormsReadOnlyTheirBorder) {
    formsMatchReference<Zeb16s>(false);
    formsMatchReference<Zeb32s>(false);
}

// Each band with its own step: the row above a band is addressed with it.
TEST(WtB53Lines, ColumnFormsReadOnlyTheirBorder) {
    formsMatchReference<Zeb16s>(true);
    formsMatchReference<Zeb32s>(true);
}

// ColLift 16s wraps every sum at 16 bits, ColStep 16s sums exactly; both 32s
// forms wrap at 32 bits.  Full-range inputs separate the three.
template <class T, class Fwd, class Inv>
void stepForm(Fwd fwd, Inv inv, Arith ar) {
    Rng rng(static_cast<int>(ar) * 31 + sizeof(T));
    const int bits = b53ref::resultBits(ar);
    for (int width : zebtest::kernelLengths(16 / sizeof(T))) {
        std::vector<T> a(width), b(width), c(width), d(width), o1(width), o2(width);
        for (auto* v : {&a, &b, &c, &d}) zebtest::fillRandom(v->data(), width, rng, 0.3);
        ASSERT_EQ(fwd(a.data(), b.data(), c.data(), o1.data(), d.data(), o2.data(), width), zebOk);
        for (int i = 0; i < width; ++i) {
            const i64 h = b53ref::wrap(b[i] - b53ref::half(a[i], c[i], ar), bits);
            ASSERT_EQ(o2[i], h) << width << " " << i;
            ASSERT_EQ(o1[i], b53ref::wrap(a[i] + b53ref::quarter(d[i], h, ar), bits)) << width << " " << i;
        }
        ASSERT_EQ(inv(a.data(), b.data(), c.data(), d.data(), o1.data(), o2.data(), width), zebOk);
        for (int i = 0; i < width; ++i) {
            const i64 e = b53ref::wrap(a[i] - b53ref::quarter(b[i], c[i], ar), bits);
            ASSERT_EQ(o2[i], e) << width << " " << i;
            ASSERT_EQ(o1[i], b53ref::wrap(b[i] + b53ref::half(d[i], e, ar), bits)) << width << " " << i;
        }
    }
}

TEST(WtB53Lines, IncrementalFormsArithmetic) {
    stepForm<Zeb16s>(B53<Zeb16s>::fwdLift, B53<Zeb16s>::invLift, Arith::Wrap16);
    stepForm<Zeb16s>(B53<Zeb16s>::fwdStep, B53<Zeb16s>::invStep, Arith::Exact16);
    stepForm<Zeb32s>(B53<Zeb32s>::fwdLift, B53<Zeb32s>::invLift, Arith::Wrap32);
    stepForm<Zeb32s>(B53<Zeb32s>::fwdStep, B53<Zeb32s>::invStep, Arith::Wrap32);
}

// Interior kernels of the whole-tile lines (odd lengths, interleaved
// inverse input) against their scalar definitions, in exactly sized
// buffers so that a vector over-read shows under the address sanitizer.
template <class A>
void linePathsAgree() {
    using T = typename A::T;
    Rng rng(sizeof(T));
    for (int n = 3; n <= 75; ++n) {
        for (int p : {0, 1}) {
            const int nL = zeb::wt::lowCount(n, p), nH = zeb::wt::highCount(n, p);
            std::vector<T> fx(2 - p + n + 1 + ((p + n) & 1)), iy(p + 1 + n + 2 - ((p + n) & 1)), a(n), b(n);
            zebtest::fillRandom(fx.data(), fx.size(), rng, 0.2);
            zebtest::fillRandom(iy.data(), iy.size(), rng, 0.2);
            const T* s = fx.data() + 2 - 2 * p;
            zeb::wt53::fwdLine<A, zeb::Path::Scalar>(s, p, nL, nH, a.data(), sizeof(T), a.data() + nL, sizeof(T));
            zeb::wt53::fwdLine<A, zeb::Path::Vector>(s, p, nL, nH, b.data(), sizeof(T), b.data() + nL, sizeof(T));
            ASSERT_EQ(a, b) << "forward n " << n << " phase " << p;
            const zeb::wt53::InterleavedBands<T> in{iy.data() + 1};
            zeb::wt53::invLine<A, zeb::Path::Scalar>(in, p, nL, nH, a.data(), sizeof(T));
            zeb::wt53::invLine<A, zeb::Path::Vector>(in, p, nL, nH, b.data(), sizeof(T));
            ASSERT_EQ(a, b) << "inverse n " << n << " phase " << p;
        }
    }
}

TEST(WtB53Lines, InteriorPathsAgree) {
    linePathsAgree<zeb::wt53::Wrap16>();
    linePathsAgree<zeb::wt53::Wrap32>();
}

TEST(WtB53Lines, ChecksPointersThenStepsThenSize) {
    Zeb16s buf[64] = {};
    Zeb16s* b = buf + 8;
    zebtest::GuardedBuffer<Zeb16s> out(16);
    out.fill(0x5a);
    out.snapshot();
    Zeb16s* o = out.data();
    Zeb32s i32[4] = {};
    EXPECT_EQ(zebiWTFwdRow_B53_JPEG2K_16s_C1R(b, 0, o, 0, nullptr, 4, {0, 0}, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwdRow_B53_JPEG2K_16s_C1R(b, 0, o, 4, o, 4, {0, 1}, 0), zebErrStep);
    EXPECT_EQ(zebiWTFwdRow_B53_JPEG2K_16s_C1R(b, 4, o, 4, o, 4, {1, 0}, 0), zebErrSize);
    EXPECT_EQ(zebiWTInvRow_B53_JPEG2K_16s_C1R(b, 4, b, 4, {1, 1}, nullptr, 0, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTInvRow_B53_JPEG2K_16s_C1R(b, 4, b, 4, {0, 1}, o, -2, 0), zebErrStep);
    EXPECT_EQ(zebiWTFwdCol_B53_JPEG2K_16s_C1R(b, 4, o, 0, o, 4, {1, 1}, 0), zebErrStep);
    EXPECT_EQ(zebiWTInvCol_B53_JPEG2K_16s_C1R(nullptr, 4, b, 4, {1, 1}, o, 4, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTInvCol_B53_JPEG2K_32s_C1R(i32, 4, i32, 0, {1, 0}, i32, 4, 0), zebErrStep);
    EXPECT_EQ(zebiWTFwdCol_B53_JPEG2K_32s_C1R(i32, 4, i32, 4, i32, 4, {1, -1}, 1), zebErrSize);
    // incremental forms: every pointer (the last one too) before the width
    EXPECT_EQ(zebiWTFwdColLift_B53_JPEG2K_16s_C1(b, b, b, o, b, nullptr, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwdColStep_B53_JPEG2K_16s_C1(b, b, b, o, b, o, 0), zebErrSize);
    EXPECT_EQ(zebiWTInvColLift_B53_JPEG2K_32s_C1(i32, i32, i32, nullptr, i32, i32, 0), zebErrNullPtr);
    EXPECT_EQ(zebiWTInvColStep_B53_JPEG2K_16s_C1(b, b, b, b, o, nullptr, 4), zebErrNullPtr);
    EXPECT_EQ(zebiWTInvColStep_B53_JPEG2K_32s_C1(i32, i32, i32, i32, i32, i32, -5), zebErrSize);
    EXPECT_TRUE(out.unchanged());
}

}  // namespace
