// T.81 lossless predictors: examples, an independent model, round trips over
// every predictor and precision, scalar against vector, argument checks.
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/harness.h"
#include "jpeg/lossless/lossless_predictor_kernels.h"

namespace {

using zebtest::GuardedBuffer;
using zebtest::Path;
using Row = std::vector<Zeb16s>;

// T.81 Table H.1 in 64-bit arithmetic with an explicit floor; the wrap to 16
// bits happens only when a difference is stored.
long long model(int pred, long long ra, long long rb, long long rc) {
    auto floorHalf = [](long long v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); };
    const long long px[8] = {0, ra, rb, rc, ra + rb - rc, ra + floorHalf(rb - rc), rb + floorHalf(ra - rc),
                             floorHalf(ra + rb)};
    return px[pred];
}

Zeb16s wrap16(long long v) { return static_cast<Zeb16s>(static_cast<std::uint16_t>(v & 0xFFFF)); }

TEST(LosslessPredictors, Examples) {
    Zeb16s d[3], r[3];
    const Zeb16s s[3] = {130, 131, 129};  // P = 8, Pt = 0: first prediction 128
    ASSERT_EQ(zebiDiffPredFirstRow_JPEG_16s_C1(s, d, 3, 8, 0), zebOk);
    EXPECT_TRUE(d[0] == 2 && d[1] == 1 && d[2] == -2);
    ASSERT_EQ(zebiReconstructPredFirstRow_JPEG_16s_C1(d, r, 3, 8, 0), zebOk);
    EXPECT_EQ(0, std::memcmp(r, s, sizeof s));
    ASSERT_EQ(zebiDiffPredFirstRow_JPEG_16s_C1(s, d, 1, 12, 2), zebOk);  // 2^9
    EXPECT_EQ(d[0], 130 - 512);
    // Predictor 7: (5 + 8) >> 1 = 6 and (-5 + 2) >> 1 = -2; predictor 4 wraps
    // 32767 + 1 - 0 to -32768; width 1 uses only the sample above.
    const Zeb16s prev[2] = {0, 8}, cur[2] = {5, 10}, prev2[2] = {0, 2}, cur2[2] = {-5, 0}, prev4[2] = {0, 1},
                 cur4[2] = {32767, 0};
    ASSERT_EQ(zebiDiffPredRow_JPEG_16s_C1(cur, prev, d, 2, 7), zebOk);
    EXPECT_TRUE(d[0] == 5 && d[1] == 4);
    ASSERT_EQ(zebiDiffPredRow_JPEG_16s_C1(cur2, prev2, d, 2, 7), zebOk);
    EXPECT_EQ(d[1], 2);
    ASSERT_EQ(zebiDiffPredRow_JPEG_16s_C1(cur4, prev4, d, 2, 4), zebOk);
    EXPECT_EQ(d[1], -32768);
    for (int p = 1; p <= 7; ++p) {
        d[1] = 99;
        ASSERT_EQ(zebiDiffPredRow_JPEG_16s_C1(cur4, prev4, d, 1, p), zebOk);
        EXPECT_TRUE(d[0] == 32767 && d[1] == 99);
    }
}

// Random 16-bit rows (all bits set often), every predictor, precision and
// point transform: differences match the model; reconstruction is exact.
TEST(LosslessPredictors, MatchModelAndRoundTrip) {
    zebtest::Rng rng(16);
    for (int precision = 2; precision <= 16; ++precision) {
        for (int pt : {0, 1, precision - 1, precision, precision + 3}) {
            const int w = static_cast<int>(rng.range(1, 70));
            Row prev(w), cur(w), diff(w), back(w);
            zebtest::fillRandom(prev.data(), w, rng, 0.3);
            ASSERT_EQ(zebiDiffPredFirstRow_JPEG_16s_C1(prev.data(), diff.data(), w, precision, pt), zebOk);
            const long long init = precision - pt - 1 >= 0 ? (1LL << (precision - pt - 1)) : 0;
            for (int i = 0; i < w; ++i) ASSERT_EQ(diff[i], wrap16(prev[i] - (i ? prev[i - 1] : init)));
            ASSERT_EQ(zebiReconstructPredFirstRow_JPEG_16s_C1(diff.data(), back.data(), w, precision, pt), zebOk);
            ASSERT_EQ(back, prev) << precision << "/" << pt;
            for (int pred = 1; pred <= 7; ++pred) {
                for (int row = 0; row < 4; ++row) {
                    zebtest::fillRandom(cur.data(), w, rng, 0.3);
                    if (row & 1)  // samples of this precision
                        for (auto& v : cur) v = static_cast<Zeb16s>(static_cast<std::uint16_t>(v) >> (16 - precision));
                    ASSERT_EQ(zebiDiffPredRow_JPEG_16s_C1(cur.data(), prev.data(), diff.data(), w, pred), zebOk);
                    for (int i = 0; i < w; ++i)
                        ASSERT_EQ(diff[i], wrap16(cur[i] - (i ? model(pred, cur[i - 1], prev[i], prev[i - 1]) : prev[0])))
                            << "predictor " << pred << " column " << i;
                    ASSERT_EQ(zebiReconstructPredRow_JPEG_16s_C1(diff.data(), prev.data(), back.data(), w, pred), zebOk);
                    ASSERT_EQ(back, cur) << "predictor " << pred;
                    prev = cur;
                }
            }
        }
    }
}

// Scalar against vector for every predictor, length and several
// misalignments; nothing written past the row; an output overlapping its
// input follows the left-to-right definition on both paths.
TEST(LosslessPredictors, PathsAgree) {
    zebtest::Rng rng(3);
    auto same = [](auto run, GuardedBuffer<Zeb16s>& a, GuardedBuffer<Zeb16s>& b, const char* what, int n) {
        run(Path::Scalar, a.data());
        run(Path::Vector, b.data());
        ASSERT_TRUE(a.intact() && b.intact() && !std::memcmp(a.data(), b.data(), a.bytes())) << what << " len " << n;
    };
    for (int n : zebtest::kernelLengths(8)) {
        for (int m : {0, 2, 6, 10, 14}) {
            GuardedBuffer<Zeb16s> src(n, m), prev(n, (m + 4) % 16), a(n, (m * 3 + 2) % 16), b(n, (m * 3 + 2) % 16);
            zebtest::fillRandom(src.data(), n, rng, 0.2);
            zebtest::fillRandom(prev.data(), n, rng, 0.2);
            const int p = static_cast<int>(rng.range(2, 16));
            using namespace zeb::lossless;
            same([&](Path q, Zeb16s* o) { q == Path::Scalar ? diffFirstRow<Path::Scalar>(src.data(), o, n, p, 0)
                                                             : diffFirstRow<Path::Vector>(src.data(), o, n, p, 0); },
                 a, b, "first row", n);
            for (int pred = 1; pred <= 7; ++pred) {
                same([&](Path q, Zeb16s* o) {
                    q == Path::Scalar ? diffRowAny<Path::Scalar>(pred, src.data(), prev.data(), o, n)
                                      : diffRowAny<Path::Vector>(pred, src.data(), prev.data(), o, n); }, a, b, "diff", n);
                same([&](Path q, Zeb16s* o) {
                    q == Path::Scalar ? reconstructRowAny<Path::Scalar>(pred, src.data(), prev.data(), o, n)
                                      : reconstructRowAny<Path::Vector>(pred, src.data(), prev.data(), o, n); }, a, b, "rebuild", n);
                // In place: the output is the sample row itself.
                std::memcpy(a.data(), src.data(), a.bytes());
                std::memcpy(b.data(), src.data(), b.bytes());
                same([&](Path q, Zeb16s* o) { q == Path::Scalar ? diffRowAny<Path::Scalar>(pred, o, prev.data(), o, n)
                                                                 : diffRowAny<Path::Vector>(pred, o, prev.data(), o, n); },
                     a, b, "in place", n);
            }
        }
    }
}

TEST(LosslessPredictors, ChecksInOrderWriteNothing) {
    Zeb16s s[8] = {}, p[8] = {};
    GuardedBuffer<Zeb16s> d(8);
    d.snapshot();
    Zeb16s* o = d.data();
    const ZebResult got[] = {
        zebiDiffPredFirstRow_JPEG_16s_C1(nullptr, o, 0, 1, -1), zebiDiffPredFirstRow_JPEG_16s_C1(s, o, 0, 1, -1),
        zebiDiffPredFirstRow_JPEG_16s_C1(s, o, 8, 1, 0),        zebiDiffPredFirstRow_JPEG_16s_C1(s, o, 8, 17, 0),
        zebiDiffPredFirstRow_JPEG_16s_C1(s, o, 8, 8, -1),       zebiReconstructPredFirstRow_JPEG_16s_C1(s, nullptr, 0, 1, 0),
        zebiReconstructPredFirstRow_JPEG_16s_C1(s, o, -4, 1, 0), zebiReconstructPredFirstRow_JPEG_16s_C1(s, o, 8, 16, -1),
        zebiDiffPredRow_JPEG_16s_C1(s, nullptr, o, 0, 0),       zebiDiffPredRow_JPEG_16s_C1(s, p, o, 0, 0),
        zebiDiffPredRow_JPEG_16s_C1(s, p, o, 8, 0),             zebiDiffPredRow_JPEG_16s_C1(s, p, o, 8, 8),
        zebiReconstructPredRow_JPEG_16s_C1(s, p, nullptr, 0, 0), zebiReconstructPredRow_JPEG_16s_C1(s, p, o, 0, 0),
        zebiReconstructPredRow_JPEG_16s_C1(s, p, o, 8, 0),      zebiReconstructPredRow_JPEG_16s_C1(s, p, o, 8, 8)};
    const ZebResult want[] = {zebErrNullPtr, zebErrSize, zebErrBadArg, zebErrBadArg, zebErrBadArg, zebErrNullPtr,
                              zebErrSize,    zebErrBadArg, zebErrNullPtr, zebErrSize, zebErrBadArg, zebErrBadArg,
                              zebErrNullPtr, zebErrSize, zebErrBadArg, zebErrBadArg};
    for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(got[i], want[i]) << "case " << i;
    EXPECT_TRUE(d.unchanged());
}

}  // namespace
