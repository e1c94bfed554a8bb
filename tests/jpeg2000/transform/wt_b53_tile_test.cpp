// Whole-tile 5/3: exact round trips for every size up to 70x70 and every
// origin parity, in place and out of place; agreement with the transform
// composed from the row, column and incremental column forms over
// symmetrically extended lines; the listed examples, buffer sizes and checks.
#include <algorithm>
#include <vector>

#include "common/harness.h"
#include "jpeg2000/transform/wt_common.h"
#include "wt_b53_reference.h"

namespace {

using zeb::wt::reflectIndex;
using zebtest::Rng;

constexpr int kSizeStride = zebtest::kSlowRun ? 3 : 1;  // qemu and the sanitizer are ~10x slower

template <class T>
struct Img {
    int w, h, pitch;
    std::vector<T> v;
    // one spare row, so that even an empty band has a non-null plane
    Img(int w_, int h_, int pad = 0) : w(w_), h(h_), pitch(w_ + pad), v(static_cast<std::size_t>(pitch) * (h_ + 1)) {}
    T* row(int r) { return v.data() + static_cast<std::size_t>(r) * pitch; }
    int step() const { return pitch * static_cast<int>(sizeof(T)); }
    bool same(Img& o, int x0 = 0, int y0 = 0) {  // this image against o's region at (x0, y0)
        for (int r = 0; r < h; ++r)
            if (!std::equal(row(r), row(r) + w, o.row(y0 + r) + x0)) return false;
        return true;
    }
};

// Exactly the bytes GetBufSize asks for, at an odd address (no alignment is
// required), with at least one byte so that the pointer exists.
struct WorkBuffer {
    std::vector<unsigned char> raw;
    explicit WorkBuffer(int bytes) : raw(static_cast<std::size_t>(bytes) + 1) {}
    unsigned char* data() { return raw.data() + 1; }
};

template <class T>
void roundTripAllSizes() {
    Rng rng(sizeof(T));
    for (int w = 1; w <= 70; w += (w < 12 ? 1 : kSizeStride)) {
        for (int h = 1; h <= 70; h += (h < 12 ? 1 : kSizeStride)) {
            for (int par = 0; par < 4; ++par) {
                const ZebRect rect{2 * 7 + (par & 1), -2 * 5 + (par >> 1), w, h};
                Img<T> src(w, h, 3);
                // Wrapping lifting inverts any input, but a doubled lone
                // odd-phase sample only while it fits.
                if ((w == 1 && (par & 1)) || (h == 1 && (par >> 1)))
                    zebtest::fillRandomIn(src.v.data(), src.v.size(), rng, -8192, 8191);
                else
                    zebtest::fillRandom(src.v.data(), src.v.size(), rng, 0.2);
                int ir = -1, r = -1;
                ASSERT_EQ(B53<T>::bufIR(&rect, &ir), zebOk);
                ASSERT_EQ(B53<T>::bufR(&rect, &r), zebOk);
                WorkBuffer bi(ir), bo(r);
                Img<T> t = src;
                ASSERT_EQ(B53<T>::fwdIR(t.v.data(), t.step(), &rect, bi.data()), zebOk);
                Img<T> coeffs = t;
                ASSERT_EQ(B53<T>::invIR(t.v.data(), t.step(), &rect, bi.data()), zebOk);
                ASSERT_TRUE(t.same(src)) << "in place " << w << "x" << h << " parity " << par;

                // out of place: the four bands are the in-place quadrants
                const int wl = (w + 1) / 2, hl = (h + 1) / 2;
                const int bx[4] = {0, 0, wl, wl}, by[4] = {0, hl, 0, hl};
                std::vector<Img<T>> bands;
                T* dst[4];
                int steps[4];
                for (int i = 0; i < 4; ++i) bands.emplace_back(bx[i] ? w - wl : wl, by[i] ? h - hl : hl, i + 1);
                for (int i = 0; i < 4; ++i) dst[i] = bands[i].v.data(), steps[i] = bands[i].step();
                ASSERT_EQ(B53<T>::fwdR(src.v.data(), src.step(), &rect, dst, steps, bo.data()), zebOk);
                for (int i = 0; i < 4; ++i)
                    ASSERT_TRUE(bands[i].same(coeffs, bx[i], by[i])) << "band " << i << " " << w << "x" << h << " " << par;
                const T* srcs[4] = {dst[0], dst[1], dst[2], dst[3]};
                Img<T> back(w, h, 5);
                ASSERT_EQ(B53<T>::invR(srcs, steps, back.v.data(), back.step(), &rect, bo.data()), zebOk);
                ASSERT_TRUE(back.same(src)) << "out of place " << w << "x" << h << " parity " << par;
            }
        }
    }
}

TEST(WtB53Tile, RoundTripEverySizeAndParity) {
    roundTripAllSizes<Zeb16s>();
    roundTripAllSizes<Zeb32s>();
}

// ---- the same transform composed from the line primitives --------------------------------------
enum class Vertical { ColumnForm, ColLift, ColStep };

// Every column through the column forms or the incremental forms, mirrored
// into a copy with 3 extra rows at each end.
template <class T>
void composeForward(Img<T>& im, int p, Vertical how) {
    const int h = im.h, w = im.w, nL = zeb::wt::lowCount(h, p), nb = (h + 1) / 2;
    Img<T> e(w, h + 6), low(w, nb + 2), high(w, nb + 3), junk(w, 1);
    for (int t = -3; t < h + 3; ++t) std::copy_n(im.row(reflectIndex(t, h)), w, e.row(t + 3));
    auto s = [&](int t) { return e.row(t - p + 3); };  // s(t) = x(t - p)
    if (how == Vertical::ColumnForm) {
        ASSERT_EQ(B53<T>::fwdCol(s(p), e.step(), low.row(0), low.step(), high.row(1), high.step(), {w, nb}, p), zebOk);
    } else {
        // one step per pair: Hs(m) into high row m + 1, Ls(m) into low row m - p
        const auto step = how == Vertical::ColLift ? B53<T>::fwdLift : B53<T>::fwdStep;
        ASSERT_EQ(step(s(-2), s(-1), s(0), junk.row(0), junk.row(0), high.row(0), w), zebOk);
        for (int m = 0; m < nb + p; ++m)
            ASSERT_EQ(step(s(2 * m), s(2 * m + 1), s(2 * m + 2), m >= p ? low.row(m - p) : junk.row(0),
                           high.row(m), high.row(m + 1), w),
                      zebOk);
    }
    for (int k = 0; k < h; ++k) std::copy_n(k < nL ? low.row(k) : high.row(k - nL + 1), w, im.row(k));
}

template <class T>
void composeInverse(Img<T>& im, int p, Vertical how) {
    const int h = im.h, w = im.w, nL = zeb::wt::lowCount(h, p), nb = (h + 1) / 2;
    Img<T> nat(w, h), out(w, 2 * nb + 4), junk(w, 1);
    for (int j = 0; j < h; ++j) std::copy_n(im.row((j + p) & 1 ? nL + (j + p) / 2 : (j + p) / 2 - p), w, nat.row(j));
    auto y = [&](int j) { return nat.row(reflectIndex(j, h)); };  // coefficient rows, mirrored
    if (how == Vertical::ColumnForm) {
        Img<T> low(w, nb + 4, 3), high(w, nb + 4, 1);
        for (int k = -2; k < nb + 2; ++k) {
            std::copy_n(y(2 * k + p), w, low.row(k + 2));
            std::copy_n(y(2 * k + 1 - p), w, high.row(k + 2));
        }
        ASSERT_EQ(B53<T>::invCol(low.row(2), low.step(), high.row(2), high.step(), {w, nb}, out.row(p), out.step(), p),
                  zebOk);
    } else {
        // Lb(m) = y(2m - p), Hb(m) = y(2m + 1 - p); E(m) lands in out row 2m, O(m) in row 2m + 1
        const auto step = how == Vertical::ColLift ? B53<T>::invLift : B53<T>::invStep;
        ASSERT_EQ(step(y(-p), y(-1 - p), y(1 - p), junk.row(0), junk.row(0), out.row(0), w), zebOk);
        for (int m = 0; m <= nb; ++m)
            ASSERT_EQ(step(y(2 * m + 2 - p), y(2 * m + 1 - p), y(2 * m + 3 - p), out.row(2 * m), out.row(2 * m + 1),
                           out.row(2 * m + 2), w),
                      zebOk);
    }
    for (int j = 0; j < h; ++j) std::copy_n(out.row(j + p), w, im.row(j));
}

// Every row through the row forms, mirrored into a line with 3 extra
// positions at each end.
template <class T>
void composeRows(Img<T>& im, int p, bool inverse) {
    const int n = im.w, nb = (n + 1) / 2, nL = zeb::wt::lowCount(n, p);
    std::vector<T> line(n + 6), low(nb + 4), high(nb + 4), out(2 * nb);
    for (int r = 0; r < im.h; ++r) {
        T* row = im.row(r);
        for (int j = 0; j < n; ++j) line[j + 3] = row[!inverse ? j : ((j + p) & 1 ? nL + (j + p) / 2 : (j + p) / 2 - p)];
        for (int k = 1; k <= 3; ++k) {
            line[3 - k] = line[3 + reflectIndex(-k, n)];
            line[n + 2 + k] = line[3 + reflectIndex(n - 1 + k, n)];
        }
        if (!inverse) {
            ASSERT_EQ(B53<T>::fwdRow(line.data() + 3, 1, low.data(), 1, high.data(), 1, {nb, 1}, p), zebOk);
            for (int j = 0; j < n; ++j) row[j] = j < nL ? low[j] : high[j - nL];
        } else {
            for (int k = -2; k < nb + 2; ++k) {
                low[k + 2] = line[3 + reflectIndex(2 * k + p, n)];
                high[k + 2] = line[3 + reflectIndex(2 * k + 1 - p, n)];
            }
            ASSERT_EQ(B53<T>::invRow(low.data() + 2, 1, high.data() + 2, 1, {nb, 1}, out.data(), 1, p), zebOk);
            std::copy_n(out.data(), n, row);
        }
    }
}

template <class T>
void composedEqualsTile(int w, int h) {
    Rng rng(sizeof(T) + 77 + w * 100 + h);
    for (int par = 0; par < 4; ++par) {
        const int px = par & 1, py = par >> 1;
        const ZebRect rect{px + 2, py, w, h};
        Img<T> src(w, h, 2);
        // sums stay inside 16 bits, where ColStep 16s agrees with the wrapping forms
        zebtest::fillRandomIn(src.v.data(), src.v.size(), rng, -4096, 4095);
        Img<T> tile = src;
        int bytes = 0;
        B53<T>::bufIR(&rect, &bytes);
        WorkBuffer buf(bytes);
        ASSERT_EQ(B53<T>::fwdIR(tile.v.data(), tile.step(), &rect, buf.data()), zebOk);
        for (Vertical how : {Vertical::ColumnForm, Vertical::ColLift, Vertical::ColStep}) {
            Img<T> c = src;
            composeForward(c, py, how);
            composeRows(c, px, false);
            ASSERT_TRUE(c.same(tile)) << w << "x" << h << " parity " << par << " via " << int(how);
            composeRows(c, px, true);
            composeInverse(c, py, how);
            ASSERT_TRUE(c.same(src)) << "inverse " << w << "x" << h << " parity " << par << " via " << int(how);
        }
        ASSERT_EQ(B53<T>::invIR(tile.v.data(), tile.step(), &rect, buf.data()), zebOk);
        ASSERT_TRUE(tile.same(src)) << w << "x" << h << " parity " << par;
    }
}

TEST(WtB53Tile, EqualsCompositionOfLinePrimitives) {
    const int sizes[] = {3, 4, 5, 6, 7, 8, 9, 10, 16, 17, 23, 40};
    for (int w : sizes)
        for (int h : sizes) composedEqualsTile<Zeb16s>(w, h), composedEqualsTile<Zeb32s>(w, h);
    // Tall tiles: narrower column groups, then one work line per column.
    for (int h : {1149, 4604, 4605}) composedEqualsTile<Zeb16s>(5, h), composedEqualsTile<Zeb32s>(3, h);
}

// ---- listed examples ----------------------------------------------------------------------------
TEST(WtB53Tile, SmallTileExamples) {
    unsigned char buf[1];
    const ZebRect odd{3, 5, 1, 1}, even{2, 4, 1, 1}, oddX{1, 0, 1, 1};
    for (int v : {7, -7, 1000}) {  // 1 x 1 at odd x and y: doubled by each pass, halved back
        Zeb16s s = static_cast<Zeb16s>(v);
        ASSERT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1IR(&s, 2, &odd, buf), zebOk);
        EXPECT_EQ(s, 4 * v);
        ASSERT_EQ(zebiWTInv_B53_JPEG2K_16s_C1IR(&s, 2, &odd, buf), zebOk);
        EXPECT_EQ(s, v);
        Zeb32s t = v;
        ASSERT_EQ(zebiWTFwd_B53_JPEG2K_32s_C1IR(&t, 4, &even, buf), zebOk);
        EXPECT_EQ(t, v);
    }
    Zeb32s lone = -7;  // the inverse of a lone odd-phase sample truncates toward zero
    ASSERT_EQ(zebiWTInv_B53_JPEG2K_32s_C1IR(&lone, 4, &oddX, buf), zebOk);
    EXPECT_EQ(lone, -3);

    // w = 2, h = 1: 4, 7 -> 6, 3 at even x; at odd x the even sample is the second
    Zeb16s r0[2] = {4, 7}, r1[2] = {7, 4};
    const ZebRect e21{0, 0, 2, 1}, o21{1, 0, 2, 1};
    ASSERT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1IR(r0, 4, &e21, buf), zebOk);
    ASSERT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1IR(r1, 4, &o21, buf), zebOk);
    EXPECT_TRUE(r0[0] == 6 && r0[1] == 3 && r1[0] == 6 && r1[1] == 3);

    // 2 x 2 a b / c d at even origin: columns (a + ((c - a + 1) >> 1), c - a), then rows alike
    const int a = 10, b = -3, c = 25, d = 4;
    auto lo = [](int e, int o) { return e + ((o - e + 1) >> 1); };
    Zeb32s q[4] = {a, b, c, d};
    const ZebRect r22{0, 0, 2, 2};
    ASSERT_EQ(zebiWTFwd_B53_JPEG2K_32s_C1IR(q, 8, &r22, buf), zebOk);
    EXPECT_EQ(q[0], lo(lo(a, c), lo(b, d)));
    EXPECT_EQ(q[1], lo(b, d) - lo(a, c));
    EXPECT_EQ(q[2], lo(c - a, d - b));
    EXPECT_EQ(q[3], (d - b) - (c - a));
}

TEST(WtB53Tile, BufferSizes) {
    auto get = [](auto fn, int w, int h) {
        const ZebRect r{1, 1, w, h};
        int s = -1;
        EXPECT_EQ(fn(&r, &s), zebOk);
        return s;
    };
    EXPECT_EQ(get(zebiWTGetBufSize_B53_JPEG2K_16s_C1IR, 2, 2), 0);
    EXPECT_EQ(get(zebiWTGetBufSize_B53_JPEG2K_16s_C1IR, 3, 1), 14);
    EXPECT_EQ(get(zebiWTGetBufSize_B53_JPEG2K_32s_C1IR, 5, 9), 52);
    EXPECT_EQ(get(zebiWTGetBufSize_B53_JPEG2K_16s_C1R, 17, 2), 170);
    EXPECT_EQ(get(zebiWTGetBufSize_B53_JPEG2K_16s_C1R, 2, 2), 64);
    EXPECT_EQ(get(zebiWTGetBufSize_B53_JPEG2K_32s_C1R, 9, 3), 64 * 3 + 52);
    const ZebRect r{0, 0, 4, 4};
    int s = 0;
    EXPECT_EQ(zebiWTGetBufSize_B53_JPEG2K_16s_C1R(nullptr, &s), zebErrNullPtr);
    EXPECT_EQ(zebiWTGetBufSize_B53_JPEG2K_32s_C1IR(&r, nullptr), zebErrNullPtr);
}

TEST(WtB53Tile, CheckOrders) {
    zebtest::GuardedBuffer<Zeb16s> img(64);
    img.fill(0x11);
    img.snapshot();
    Zeb16s* p = img.data();
    unsigned char buf[256];
    const ZebRect r{0, 0, 4, 4}, empty{0, 0, 0, 4}, r22{0, 0, 2, 2};
    // in place: pointer, step, then rectangle and buffer; the size is not checked
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1IR(nullptr, 0, &r, buf), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1IR(p, 0, nullptr, buf), zebErrStep);
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1IR(p, 8, &r22, nullptr), zebErrNullPtr);  // 0 bytes, still required
    EXPECT_EQ(zebiWTInv_B53_JPEG2K_16s_C1IR(p, 8, &empty, buf), zebOk);
    // out of place: pointers, single step, band pointers, band steps, size
    Zeb16s* dst[4] = {p, p, p, p};
    Zeb16s* dstNull[4] = {p, p, nullptr, p};
    const Zeb16s* src[4] = {p, p, p, p};
    const Zeb16s* srcNull[4] = {p, nullptr, p, p};
    int steps[4] = {8, 8, 8, 8}, stepsBad[4] = {8, 0, 8, 8};
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1R(p, 0, &r, dst, nullptr, buf), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1R(p, 8, &r, dst, steps, nullptr), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1R(p, 0, &r, dstNull, steps, buf), zebErrStep);
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1R(p, 8, &empty, dstNull, stepsBad, buf), zebErrNullPtr);
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1R(p, 8, &empty, dst, stepsBad, buf), zebErrStep);
    EXPECT_EQ(zebiWTFwd_B53_JPEG2K_16s_C1R(p, 8, &empty, dst, steps, buf), zebErrSize);
    EXPECT_EQ(zebiWTInv_B53_JPEG2K_16s_C1R(src, nullptr, p, 0, &r, buf), zebErrNullPtr);
    EXPECT_EQ(zebiWTInv_B53_JPEG2K_16s_C1R(srcNull, steps, p, 0, &r, buf), zebErrStep);
    EXPECT_EQ(zebiWTInv_B53_JPEG2K_16s_C1R(srcNull, stepsBad, p, 8, &empty, buf), zebErrNullPtr);
    EXPECT_EQ(zebiWTInv_B53_JPEG2K_16s_C1R(src, stepsBad, p, 8, &empty, buf), zebErrStep);
    EXPECT_EQ(zebiWTInv_B53_JPEG2K_16s_C1R(src, steps, p, 8, &empty, buf), zebErrSize);
    EXPECT_TRUE(img.unchanged());
}

}  // namespace
