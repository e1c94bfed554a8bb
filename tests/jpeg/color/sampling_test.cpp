// Down- and up-sampling: region and row forms against their filters, the
// stated examples, scalar and vector paths, context reads, check order and
// the threading rule.
#include <cstring>
#include <vector>

#include "color_refs.h"
#include "common/harness.h"
#include "jpeg/color/sampling_kernels.h"

namespace {

using zebtest::GuardedBuffer;
using zebtest::Path;

// A plane of w x h samples with a one-sample (and one-row) ring of context
// around it, rows `step` bytes apart, in a guarded buffer.
struct Plane {
    int w, h, step;
    GuardedBuffer<Zeb8u> buf;
    Plane(int w_, int h_, int pad, zebtest::Rng& rng)
        : w(w_), h(h_), step(w_ + 2 + pad), buf(static_cast<std::size_t>(w_ + 2 + pad) * (h_ + 2), 3) {
        zebtest::fillRandom(buf.data(), buf.size(), rng, 0.2);
    }
    Zeb8u* origin() { return buf.data() + step + 1; }
    int at(int x, int y) { return origin()[y * step + x]; }  // x in -1..w, y in -1..h
};

// A destination region with padding after each row, filled with a marker.
struct Dest {
    int w, h, step;
    GuardedBuffer<Zeb8u> buf;
    Dest(int w_, int h_) : w(w_), h(h_), step(w_ + 7), buf(static_cast<std::size_t>(w_ + 7) * h_, 5) { buf.fill(0xB4); }
    int at(int x, int y) { return buf[static_cast<std::size_t>(y) * step + x]; }
    bool onlyRegionWritten() {
        for (int y = 0; y < h; ++y)
            for (int x = w; x < step; ++x)
                if (at(x, y) != 0xB4) return false;
        return buf.intact();
    }
};

TEST(SampleRegion, DownSamplingAveragesWithRoundingConstants) {
    zebtest::Rng rng(21);
    for (int w : {1, 2, 7, 15, 16, 17, 33, 64}) {
        for (int h : {1, 3}) {
            Plane s(2 * w, 2 * h, 3, rng);
            Dest d1(w, h), d2(w, h);
            ASSERT_EQ(zebiSampleDownH2V1_JPEG_8u_C1R(s.origin(), s.step, {2 * w, h}, d1.buf.data(), d1.step, {w, h}),
                      zebOk);
            ASSERT_EQ(zebiSampleDownH2V2_JPEG_8u_C1R(s.origin(), s.step, {2 * w, 2 * h}, d2.buf.data(), d2.step,
                                                     {w, h}),
                      zebOk);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    ASSERT_EQ(d1.at(x, y), (s.at(2 * x, y) + s.at(2 * x + 1, y) + 1) >> 1) << w << " " << x;
                    const int sum = s.at(2 * x, 2 * y) + s.at(2 * x + 1, 2 * y) + s.at(2 * x, 2 * y + 1) +
                                    s.at(2 * x + 1, 2 * y + 1);
                    ASSERT_EQ(d2.at(x, y), (sum + 3) >> 2) << w << " " << x;
                }
            ASSERT_TRUE(d1.onlyRegionWritten() && d2.onlyRegionWritten());
        }
    }
}

TEST(SampleRegion, UpSamplingUsesTheCallersContext) {
    zebtest::Rng rng(22);
    for (int w : {1, 2, 3, 15, 16, 17, 18, 31, 34, 65, 97}) {
        for (int h : {1, 4, 5, 38}) {  // 38 rows: two whole bands of 16 and a part
            const int sw = (w + 1) / 2, sh = (h + 1) / 2;
            Plane s(sw, sh, 2, rng);
            Dest d1(w, sh), d2(w, h);
            ASSERT_EQ(zebiSampleUpH2V1_JPEG_8u_C1R(s.origin(), s.step, {sw, sh}, d1.buf.data(), d1.step, {w, sh}),
                      zebOk);
            ASSERT_EQ(zebiSampleUpH2V2_JPEG_8u_C1R(s.origin(), s.step, {sw, sh}, d2.buf.data(), d2.step, {w, h}),
                      zebOk);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int i = x / 2, side = (x & 1) ? 1 : -1;
                    if (y < sh) {
                        const int ref = (3 * s.at(i, y) + s.at(i + side, y) + ((x & 1) ? 2 : 1)) >> 2;
                        ASSERT_EQ(d1.at(x, y), ref) << "H2V1 w " << w << " x " << x;
                    }
                    const int n = y / 2, f = (y & 1) ? n + 1 : n - 1;
                    auto c = [&](int k) { return 3 * s.at(k, n) + s.at(k, f); };
                    const int ref2 = (3 * c(i) + c(i + side) + ((x & 1) ? 7 : 8)) >> 4;
                    ASSERT_EQ(d2.at(x, y), ref2) << "H2V2 w " << w << " h " << h << " x " << x << " y " << y;
                }
            ASSERT_TRUE(d1.onlyRegionWritten() && d2.onlyRegionWritten()) << "w " << w << " h " << h;
        }
    }
}

// The row-range kernel from any first row (even or odd) against the row form.
TEST(SamplePaths, UpSamplingRowRangesMatchTheRowKernel) {
    namespace smp = zeb::sampling;
    zebtest::Rng rng(26);
    for (int w : {31, 32, 33, 64, 95}) {
        Plane s((w + 1) / 2, 6, 1, rng);
        for (int y0 = 0; y0 < 4; ++y0)
            for (int y1 = y0; y1 <= 10; ++y1) {
                Dest a(w, 10), b(w, 10);
                for (int y = y0; y < y1; ++y)
                    smp::upsampleRegionRowH2V2<Path::Scalar>(&s.origin()[(y / 2) * s.step],
                                                             &s.origin()[((y & 1) ? y / 2 + 1 : y / 2 - 1) * s.step],
                                                             &a.buf[static_cast<std::size_t>(y) * a.step], w);
                smp::upsampleRegionRowsH2V2<Path::Vector>(s.origin(), s.step, b.buf.data(), b.step, y0, y1, w);
                ASSERT_TRUE(b.onlyRegionWritten());
                ASSERT_EQ(0, std::memcmp(a.buf.data(), b.buf.data(), a.buf.size())) << w << " " << y0 << " " << y1;
            }
    }
}

TEST(SampleRow, FiltersMatchTheirDefinitionIncludingEdges) {
    zebtest::Rng rng(23);
    for (int w = 1; w <= 70; ++w) {
        GuardedBuffer<Zeb8u> a(w, 1), b(w, 2);
        zebtest::fillRandom(a.data(), w, rng, 0.2);
        zebtest::fillRandom(b.data(), w, rng, 0.2);
        GuardedBuffer<Zeb8u> up1(2 * w, 3), up2(2 * w, 5), up3(2 * w, 7);
        ASSERT_EQ(zebiSampleUpRowH2V1_Triangle_JPEG_8u_C1(a.data(), w, up1.data()), zebOk);
        ASSERT_EQ(zebiSampleUpRowH2V2_Triangle_JPEG_8u_C1(a.data(), b.data(), w, up2.data()), zebOk);
        ASSERT_EQ(zebiSampleUpRowH1V2_Triangle_JPEG_8u_C1(a.data(), b.data(), w, up3.data()), zebOk);
        ASSERT_TRUE(up1.intact() && up2.intact() && up3.intact()) << w;
        // Edge replication: s[-1] = s[0], s[w] = s[w-1].
        auto s = [&](int i) { return int(a[std::min(std::max(i, 0), w - 1)]); };
        auto c = [&](int i) {
            const int k = std::min(std::max(i, 0), w - 1);
            return 3 * a[k] + b[k];
        };
        for (int x = 0; x < 2 * w; ++x) {
            const int i = x / 2, side = (x & 1) ? 1 : -1;
            const int r1 = (3 * s(i) + s(i + side) + ((x & 1) ? 2 : 1)) >> 2;
            const int r2 = (3 * c(i) + c(i + side) + ((x & 1) ? 7 : 8)) >> 4;
            ASSERT_EQ(up1[x], r1) << "w " << w << " x " << x;
            ASSERT_EQ(up2[x], r2) << "w " << w << " x " << x;
            ASSERT_EQ(up3[x], r2) << "w " << w << " x " << x;
        }
        if (w >= 2) {
            // The outermost samples as written: d[0] = s[0], d[2w-1] = s[w-1].
            EXPECT_EQ(up1[0], a[0]);
            EXPECT_EQ(up1[2 * w - 1], a[w - 1]);
        }

        // Box rows: bias alternates with the destination index.
        const int n = w / 2;
        GuardedBuffer<Zeb8u> dn1(n > 0 ? n : 1, 1), dn2(n > 0 ? n : 1, 2);
        dn1.fill(0xC3);
        dn2.fill(0xC3);
        ASSERT_EQ(zebiSampleDownRowH2V1_Box_JPEG_8u_C1(a.data(), w, dn1.data()), zebOk);
        ASSERT_EQ(zebiSampleDownRowH2V2_Box_JPEG_8u_C1(a.data(), b.data(), w, dn2.data()), zebOk);
        for (int j = 0; j < n; ++j) {
            ASSERT_EQ(dn1[j], (a[2 * j] + a[2 * j + 1] + (j & 1)) >> 1) << w << " " << j;
            ASSERT_EQ(dn2[j], (a[2 * j] + a[2 * j + 1] + b[2 * j] + b[2 * j + 1] + 1 + (j & 1)) >> 2) << w << " " << j;
        }
        if (n == 0) {
            EXPECT_EQ(dn1[0], 0xC3);  // a single sample has no partner: nothing written
        }
        ASSERT_TRUE(dn1.intact() && dn2.intact());
    }
}

TEST(Sampling, StatedValues) {
    // 2x2 block 0, 0, 0, 1: the region form rounds with 3, the row form with 1 at index 0.
    const Zeb8u block[4] = {0, 0, 0, 1};
    Zeb8u d = 0xFF;
    ASSERT_EQ(zebiSampleDownH2V2_JPEG_8u_C1R(block, 2, {2, 2}, &d, 1, {1, 1}), zebOk);
    EXPECT_EQ(d, 1);
    ASSERT_EQ(zebiSampleDownRowH2V2_Box_JPEG_8u_C1(block, block + 2, 2, &d), zebOk);
    EXPECT_EQ(d, 0);

    const Zeb8u row[4] = {1, 2, 1, 2};
    Zeb8u two[2];
    ASSERT_EQ(zebiSampleDownRowH2V1_Box_JPEG_8u_C1(row, 4, two), zebOk);
    EXPECT_EQ(two[0], 1);
    EXPECT_EQ(two[1], 2);

    const Zeb8u ramp[2] = {0, 255};
    Zeb8u four[4];
    ASSERT_EQ(zebiSampleUpRowH2V1_Triangle_JPEG_8u_C1(ramp, 2, four), zebOk);
    EXPECT_EQ(std::vector<int>(four, four + 4), (std::vector<int>{0, 64, 191, 255}));

    for (int v : {0, 1, 127, 254, 255}) {
        std::vector<Zeb8u> field(40, Zeb8u(v)), out(80);
        ASSERT_EQ(zebiSampleUpRowH2V2_Triangle_JPEG_8u_C1(field.data(), field.data(), 40, out.data()), zebOk);
        for (Zeb8u o : out) ASSERT_EQ(o, v);
    }
}

// ---- scalar and vector paths ------------------------------------------------------------------

TEST(SamplePaths, ScalarAndVectorAgreeForEveryKernel) {
    namespace smp = zeb::sampling;
    zebtest::Rng rng(24);
    for (int n : zebtest::kernelLengths(16)) {
        for (int mis : zebtest::kMisalignments) {
            // Sources with one context sample on each side.
            GuardedBuffer<Zeb8u> s1(2 * n + 2, mis), s2(2 * n + 2, (mis * 5) % 16);
            zebtest::fillRandom(s1.data(), s1.size(), rng, 0.3);
            zebtest::fillRandom(s2.data(), s2.size(), rng, 0.3);
            const Zeb8u* a = s1.data() + 1;
            const Zeb8u* b = s2.data() + 1;
            auto both = [&](int outLen, auto&& run) {
                GuardedBuffer<Zeb8u> x(outLen, (mis * 3) % 16), y(outLen, (mis * 3) % 16);
                run(Path::Scalar, x.data());
                run(Path::Vector, y.data());
                ASSERT_TRUE(x.intact() && y.intact());
                ASSERT_EQ(0, std::memcmp(x.data(), y.data(), outLen)) << "n " << n << " mis " << mis;
            };
            // The biases of the region and row forms: H2V1 (1, 1), (0, 1); H2V2 (3, 3), (1, 2).
            for (auto [be, bo] : {std::pair{1, 1}, std::pair{0, 1}}) {
                both(n, [&](Path p, Zeb8u* d) {
                    p == Path::Scalar ? smp::downsampleBox<Path::Scalar, 1>(a, nullptr, d, n, be, bo)
                                      : smp::downsampleBox<Path::Vector, 1>(a, nullptr, d, n, be, bo);
                });
            }
            for (auto [be, bo] : {std::pair{3, 3}, std::pair{1, 2}}) {
                both(n, [&](Path p, Zeb8u* d) {
                    p == Path::Scalar ? smp::downsampleBox<Path::Scalar, 2>(a, b, d, n, be, bo)
                                      : smp::downsampleBox<Path::Vector, 2>(a, b, d, n, be, bo);
                });
            }
            both(n, [&](Path p, Zeb8u* d) {
                p == Path::Scalar ? smp::upsampleRegionRowH2V1<Path::Scalar>(a, d, n)
                                  : smp::upsampleRegionRowH2V1<Path::Vector>(a, d, n);
            });
            both(n, [&](Path p, Zeb8u* d) {
                p == Path::Scalar ? smp::upsampleRegionRowH2V2<Path::Scalar>(a, b, d, n)
                                  : smp::upsampleRegionRowH2V2<Path::Vector>(a, b, d, n);
            });
            both(2 * n, [&](Path p, Zeb8u* d) {
                p == Path::Scalar ? smp::upsampleRowH2V1<Path::Scalar>(a, d, n)
                                  : smp::upsampleRowH2V1<Path::Vector>(a, d, n);
            });
            both(2 * n, [&](Path p, Zeb8u* d) {
                p == Path::Scalar ? smp::upsampleRowH2V2<Path::Scalar>(a, b, d, n)
                                  : smp::upsampleRowH2V2<Path::Vector>(a, b, d, n);
            });
        }
    }
}

// ---- checks ----------------------------------------------------------------------------------------

TEST(SampleChecks, ByArgumentOrderAndNothingWritten) {
    Zeb8u src[64] = {};
    GuardedBuffer<Zeb8u> dst(64);
    dst.fill(0x42);
    dst.snapshot();
    using RegionFn = ZebResult (*)(const Zeb8u*, int, ZebSize, Zeb8u*, int, ZebSize);
    for (RegionFn f : {zebiSampleDownH2V1_JPEG_8u_C1R, zebiSampleDownH2V2_JPEG_8u_C1R, zebiSampleUpH2V1_JPEG_8u_C1R,
                       zebiSampleUpH2V2_JPEG_8u_C1R}) {
        Zeb8u* d = dst.data();
        EXPECT_EQ(f(nullptr, 0, {0, 0}, nullptr, 0, {0, 0}), zebErrNullPtr);
        EXPECT_EQ(f(src + 9, 0, {0, 0}, nullptr, 0, {0, 0}), zebErrStep);  // source step before destination pointer
        EXPECT_EQ(f(src + 9, 8, {0, 1}, nullptr, 0, {0, 0}), zebErrSize);
        EXPECT_EQ(f(src + 9, 8, {4, 0}, nullptr, 0, {0, 0}), zebErrSize);
        EXPECT_EQ(f(src + 9, 8, {4, 2}, nullptr, 0, {0, 0}), zebErrNullPtr);
        EXPECT_EQ(f(src + 9, 8, {4, 2}, d, 0, {0, 0}), zebErrStep);
        EXPECT_EQ(f(src + 9, 8, {4, 2}, d, 8, {0, 2}), zebErrSize);
        EXPECT_EQ(f(src + 9, 8, {4, 2}, d, 8, {2, -1}), zebErrSize);
    }
    using RowFn = ZebResult (*)(const Zeb8u*, int, Zeb8u*);
    for (RowFn f : {zebiSampleDownRowH2V1_Box_JPEG_8u_C1, zebiSampleUpRowH2V1_Triangle_JPEG_8u_C1}) {
        EXPECT_EQ(f(nullptr, 0, dst.data()), zebErrNullPtr);
        EXPECT_EQ(f(src, 4, nullptr), zebErrNullPtr);
        EXPECT_EQ(f(src, 0, dst.data()), zebErrSize);
    }
    using Row2Fn = ZebResult (*)(const Zeb8u*, const Zeb8u*, int, Zeb8u*);
    for (Row2Fn f : {zebiSampleDownRowH2V2_Box_JPEG_8u_C1, zebiSampleUpRowH2V2_Triangle_JPEG_8u_C1,
                     zebiSampleUpRowH1V2_Triangle_JPEG_8u_C1}) {
        EXPECT_EQ(f(src, nullptr, 0, dst.data()), zebErrNullPtr);
        EXPECT_EQ(f(nullptr, src, 4, dst.data()), zebErrNullPtr);
        EXPECT_EQ(f(src, src, 4, nullptr), zebErrNullPtr);
        EXPECT_EQ(f(src, src, -2, dst.data()), zebErrSize);
    }
    EXPECT_TRUE(dst.unchanged());
}

// ---- threading -----------------------------------------------------------------------------------

TEST(SampleThreads, SameOutputOnEveryPathAndThreadCount) {
    zebtest::Rng rng(25);
    using RegionFn = ZebResult (*)(const Zeb8u*, int, ZebSize, Zeb8u*, int, ZebSize);
    struct Case {
        RegionFn f;
        int sx, sy;  // source size = destination size * (sx, sy) / 2, rounded up
    };
    const Case cases[] = {{zebiSampleDownH2V1_JPEG_8u_C1R, 4, 2},
                          {zebiSampleDownH2V2_JPEG_8u_C1R, 4, 4},
                          {zebiSampleUpH2V2_JPEG_8u_C1R, 1, 1}};
    for (const Case& c : cases) {
        for (ZebSize dst : {ZebSize{64, 128}, ZebSize{8193, 1}, ZebSize{8193, 4}, ZebSize{301, 77}}) {
            const int sw = (dst.width * c.sx + 1) / 2, sh = (dst.height * c.sy + 1) / 2;
            Plane s(sw, sh, 1, rng);
            auto run = [&](int threads, bool nested) {
                colortest::ThreadCount count(threads);
                std::vector<Zeb8u> out(static_cast<std::size_t>(dst.width) * dst.height);
                ZebResult r = zebOk;
                if (nested) {
#pragma omp parallel num_threads(2)
                    {
#pragma omp single
                        r = c.f(s.origin(), s.step, {sw, sh}, out.data(), dst.width, dst);
                    }
                } else {
                    r = c.f(s.origin(), s.step, {sw, sh}, out.data(), dst.width, dst);
                }
                EXPECT_EQ(r, zebOk);
                return out;
            };
            const std::vector<Zeb8u> one = run(1, false);
            EXPECT_EQ(run(4, false), one);
            EXPECT_EQ(run(2, true), one);
        }
    }
}

}  // namespace
