// Code-block decoders against the test-side reference encoder: round trips
// of random blocks in every coding style, pass prefixes, segment-by-segment
// against one-shot decoding, damage detection, latching and concealment.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/harness.h"
#include "jpeg2000/tier1/cb_conceal.h"
#include "jpeg2000/tier1/cb_progressive_state.h"
#include "t1_dec_reference.h"

namespace {

using zebtest::GuardedBuffer;
using zebtest::PageGuardedBuffer;
using zebtest::Rng;

constexpr int kScale = zebtest::kSlowRun ? 4 : 1;  // qemu and sanitizers: fewer random blocks

std::vector<std::uint32_t> randomBlock(Rng& rng, int width, int height, int maxBits, double density) {
    std::vector<std::uint32_t> v(static_cast<std::size_t>(width) * height, 0);
    for (auto& c : v) {
        const bool neg = rng.chance(0.5);
        std::uint32_t mag = 0;
        if (rng.chance(density)) {
            const int bits = static_cast<int>(rng.range(1, maxBits));
            mag = static_cast<std::uint32_t>(rng.next() & ((1u << bits) - 1u)) | (1u << (bits - 1));
        }
        // Signs also on zero magnitudes: a coefficient that is never coded
        // must come back as +0.
        c = mag | (neg ? 0x80000000u : 0u);
    }
    return v;
}

// Destination rows with a gap after each row that must stay untouched.
struct Dest {
    int width, height, stepWords;
    GuardedBuffer<Zeb32s> buf;
    Dest(int w, int h, int gap = 3) : width(w), height(h), stepWords(w + gap), buf(static_cast<std::size_t>(w + gap) * h) {
        buf.fill(0x5C);
    }
    Zeb32s* data() { return buf.data(); }
    int step() const { return stepWords * 4; }
    std::uint32_t at(int i) const {
        return static_cast<std::uint32_t>(buf[static_cast<std::size_t>(i / width) * stepWords + i % width]);
    }
    bool gapsIntact() const {
        if (!buf.intact()) return false;
        for (int y = 0; y < height; ++y)
            for (int x = width; x < stepWords; ++x)
                if (static_cast<std::uint32_t>(buf[static_cast<std::size_t>(y) * stepWords + x]) != 0x5C5C5C5Cu)
                    return false;
        return true;
    }
    std::vector<std::uint32_t> values() const {
        std::vector<std::uint32_t> r(static_cast<std::size_t>(width) * height);
        for (int i = 0; i < width * height; ++i) r[i] = at(i);
        return r;
    }
};

int bufSize(int w, int h) {
    int size = 0;
    EXPECT_EQ(zebOk, zebiDecodeGetBufSize_JPEG2K({w, h}, &size));
    return size;
}

// One-shot decode with the data right before an unmapped page.
ZebResult decodeOneShot(const t1ref::Encoded& e, Dest& d, int band, int flags, int nPasses, int* errPlane = nullptr,
                        int nSegments = -1) {
    PageGuardedBuffer src(e.data.size());
    if (!e.data.empty()) std::memcpy(src.data(), e.data.data(), e.data.size());
    GuardedBuffer<Zeb8u> work(static_cast<std::size_t>(bufSize(d.width, d.height)));
    const int nSeg = nSegments < 0 ? static_cast<int>(e.segLens.size()) : nSegments;
    std::vector<int> lens = e.segLens;
    lens.push_back(0);  // never null, also without segments
    const ZebResult r = zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(src.data(), d.data(), d.step(), {d.width, d.height}, band,
                                                            e.sfBits, nPasses, lens.data(), nSeg, flags,
                                                            errPlane, work.data());
    EXPECT_TRUE(work.intact()) << "work buffer overrun";
    EXPECT_TRUE(d.gapsIntact()) << "destination overrun";
    return r;
}

// Plane below which the one-shot decoder clears bits after decoding
// passes 0..k: the plane of pass k; in terminate-every-pass mode a completed
// cleanup already moves on to the next plane.
int clearingPlane(const t1ref::Encoded& e, int k, int flags) {
    const int p = e.passPlane[k];
    return ((flags & ZEB_CB_TERM_ALL) && e.passKind[k] == 2) ? p - 1 : p;
}

std::uint32_t cleared(std::uint32_t v, int plane) { return plane >= 1 ? v & (~0u << plane) : v; }

TEST(T1DecCodeBlock, RoundTripsEveryStyleAndPrefix) {
    Rng rng(2024);
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {3, 5}, {4, 4}, {5, 9}, {8, 8}, {13, 6},
                            {16, 16}, {17, 3}, {32, 32}, {64, 64}, {32, 128}, {64, 4}, {6, 64}};
    int blocks = 0;
    for (int style = 0; style < 64; ++style) {
        const int flags = style & 31;  // causal, bypass, term-all, reset, segmark
        const bool predictable = style & 32;
        for (int rep = 0; rep < 40 / kScale; ++rep) {
            const auto& sz = sizes[rng.range(0, 15)];
            const int w = sz[0], h = sz[1];
            if (w * h > 1024 && rng.chance(0.7)) continue;  // keep the large ones occasional
            const int band = static_cast<int>(rng.range(0, 3));
            const int maxBits = static_cast<int>(rng.range(1, rng.chance(0.1) ? 30 : 14));
            const double density = rng.chance(0.5) ? 0.05 : rng.uniform();
            const int lowPlane = rng.chance(0.5) ? 0 : static_cast<int>(rng.range(0, maxBits));
            const auto v = randomBlock(rng, w, h, maxBits, density);
            const auto e = t1ref::encode(v, w, h, band, lowPlane, flags, predictable);
            ++blocks;
            const int checks = predictable ? ZEB_CB_CHECK_PTERM : 0;

            // All passes: every bit at and above lowPlane comes back.
            Dest all(w, h);
            ASSERT_EQ(zebOk, decodeOneShot(e, all, band, flags | checks, e.nPasses));
            for (int i = 0; i < w * h; ++i) {
                const std::uint32_t kept = v[i] & (~0u << lowPlane);
                const std::uint32_t want = (kept & 0x7FFFFFFFu) ? kept : 0u;
                ASSERT_EQ(want, all.at(i) & (~0u << lowPlane))
                    << "style " << style << " " << w << "x" << h << " band " << band << " coefficient " << i;
            }
            if (e.nPasses == 0) {
                for (int i = 0; i < w * h; ++i) ASSERT_EQ(0u, all.at(i));
                continue;
            }

            // Random prefixes: the mid-point reconstruction of the passes
            // decoded, then the clearing below the current plane.
            for (int t = 0; t < 3; ++t) {
                const int k = static_cast<int>(rng.range(0, e.nPasses - 1));
                Dest keep(w, h), clear(w, h);
                ASSERT_EQ(zebOk, decodeOneShot(e, keep, band, flags | checks | ZEB_CB_KEEP_LOW_BITS, k + 1));
                ASSERT_EQ(zebOk, decodeOneShot(e, clear, band, flags | checks, k + 1));
                const int cp = clearingPlane(e, k, flags);
                for (int i = 0; i < w * h; ++i) {
                    ASSERT_EQ(e.expected[k][i], keep.at(i))
                        << "style " << style << " prefix " << k + 1 << "/" << e.nPasses << " coefficient " << i;
                    ASSERT_EQ(cleared(e.expected[k][i], cp), clear.at(i)) << "style " << style << " prefix " << k + 1;
                }
            }

            // Segment by segment, each segment before an unmapped page,
            // equals the one-shot decoder.
            Dest one(w, h), prog(w, h);
            ASSERT_EQ(zebOk, decodeOneShot(e, one, band, flags | checks | ZEB_CB_KEEP_LOW_BITS, e.nPasses));
            std::vector<Zeb8u> mem(static_cast<std::size_t>(bufSize(w, h)) + 8);
            auto* st = reinterpret_cast<ZebCBProgrState*>(mem.data() + (8 - reinterpret_cast<std::uintptr_t>(mem.data()) % 8) % 8);
            ASSERT_EQ(zebOk, zebiDecodeCBProgrInit_JPEG2K(st));
            ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(prog.data(), prog.step(), {w, h}, st, band,
                                                                    e.sfBits, flags | checks));
            ASSERT_EQ(zebOk, zebiDecodeCBProgrSetPassCounter_JPEG2K(e.nPasses, st));
            std::size_t off = 0;
            for (int len : e.segLens) {
                PageGuardedBuffer seg(static_cast<std::size_t>(len));
                std::memcpy(seg.data(), e.data.data() + off, static_cast<std::size_t>(len));
                off += static_cast<std::size_t>(len);
                ASSERT_EQ(zebOk, zebiDecodeCBProgrStep_JPEG2K(seg.data(), len, st));
            }
            int left = -1;
            ASSERT_EQ(zebOk, zebiDecodeCBProgrGetPassCounter_JPEG2K(st, &left));
            EXPECT_EQ(0, left);
            ASSERT_EQ(one.values(), prog.values()) << "style " << style;
            ASSERT_EQ(e.expected.back(), prog.values()) << "style " << style;
        }
    }
    EXPECT_GE(blocks, 2000 / kScale);
}

TEST(T1DecCodeBlock, FirstPassOfAnEightPlaneBlock) {
    // Every non-zero coefficient has its top bit in plane 7.
    std::vector<std::uint32_t> v = {0x80u, 0x800000FFu, 0u, 0x80000000u, 0xC1u, 0x80000091u};
    const auto e = t1ref::encode(v, 3, 2, 0, 0, 0);
    ASSERT_EQ(8, e.sfBits);
    Dest keep(3, 2), clear(3, 2);
    ASSERT_EQ(zebOk, decodeOneShot(e, keep, 0, ZEB_CB_KEEP_LOW_BITS, 1));
    ASSERT_EQ(zebOk, decodeOneShot(e, clear, 0, 0, 1));
    const std::uint32_t wantKeep[] = {192, 0x800000C0u, 0, 0, 192, 0x800000C0u};
    const std::uint32_t wantClear[] = {128, 0x80000080u, 0, 0, 128, 0x80000080u};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(wantKeep[i], keep.at(i)) << i;
        EXPECT_EQ(wantClear[i], clear.at(i)) << i;
    }
    // One plane: magnitude 1 for every significant coefficient.
    const auto one = t1ref::encode({1u, 0x80000001u, 0u, 1u}, 2, 2, 3, 0, 0);
    ASSERT_EQ(1, one.sfBits);
    Dest d(2, 2);
    ASSERT_EQ(zebOk, decodeOneShot(one, d, 3, ZEB_CB_KEEP_LOW_BITS, 1));
    EXPECT_EQ((std::vector<std::uint32_t>{1u, 0x80000001u, 0u, 1u}), d.values());
}

TEST(T1DecCodeBlock, NoSegmentsOrNothingSignificant) {
    Dest d(5, 3);
    const int lens[1] = {0};
    const Zeb8u src = 0;
    std::vector<Zeb8u> work(static_cast<std::size_t>(bufSize(5, 3)));
    EXPECT_EQ(zebOk, zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(&src, d.data(), d.step(), {5, 3}, 0, 6, 16, lens, 0, 0,
                                                         nullptr, work.data()));
    for (int i = 0; i < 15; ++i) EXPECT_EQ(0u, d.at(i));
    EXPECT_TRUE(d.gapsIntact());
    // A block whose first cleanup finds nothing stays zero.
    const auto e = t1ref::encode(std::vector<std::uint32_t>(24, 0x80000000u), 4, 6, 1, 0, 0);
    Dest z(4, 6);
    t1ref::Encoded fake = e;
    fake.sfBits = 5;  // five planes announced, one empty cleanup coded
    t1ref::MqEncoder mq;
    mq.encode(0, 1);  // stripe 0: run decision 0 for each of 4 columns
    mq.encode(0, 1);
    mq.encode(0, 1);
    mq.encode(0, 1);
    for (int x = 0; x < 4; ++x)
        for (int r = 0; r < 2; ++r) mq.encode(0, 2);  // stripe 1 (2 rows): zero coding without neighbours
    mq.flush();
    fake.data = mq.out();
    fake.segLens = {static_cast<int>(fake.data.size())};
    EXPECT_EQ(zebOk, decodeOneShot(fake, z, 1, ZEB_CB_KEEP_LOW_BITS, 1));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(0u, z.at(i));
}

TEST(T1DecCodeBlock, EmptySegmentReadsAsFFBytes) {
    for (int flags : {0, ZEB_CB_BYPASS | ZEB_CB_TERM_ALL, ZEB_CB_SEGMARK}) {
        std::vector<Zeb8u> ff(64, 0xFF);
        Dest a(9, 7), b(9, 7);
        std::vector<Zeb8u> work(static_cast<std::size_t>(bufSize(9, 7)));
        const int zero[3] = {0, 0, 0};
        const int full[3] = {64, 0, 0};
        const Zeb8u none = 0;
        const ZebResult ra = zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(&none, a.data(), a.step(), {9, 7}, 2, 9, 3, zero, 1,
                                                                 flags | ZEB_CB_KEEP_LOW_BITS, nullptr, work.data());
        const ZebResult rb = zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(ff.data(), b.data(), b.step(), {9, 7}, 2, 9, 3, full, 1,
                                                                 flags | ZEB_CB_KEEP_LOW_BITS, nullptr, work.data());
        EXPECT_EQ(ra, rb);
        EXPECT_EQ(a.values(), b.values()) << flags;
    }
}

// ---- damage -------------------------------------------------------------------------

struct Damaged {
    ZebResult result;
    int errPlane;
    std::vector<std::uint32_t> out;
};

TEST(T1DecDamage, SegmentationSymbolCatchesGarbageAndConcealmentKeepsCompletePlanes) {
    Rng rng(31);
    const int flags = ZEB_CB_TERM_ALL | ZEB_CB_SEGMARK;
    int attempts = 0, detected = 0;
    for (int iter = 0; iter < 200 / kScale; ++iter) {
        const int w = static_cast<int>(rng.range(4, 24)), h = static_cast<int>(rng.range(4, 24));
        const auto v = randomBlock(rng, w, h, 10, 0.6);
        const int band = static_cast<int>(rng.range(0, 3));
        const auto e = t1ref::encode(v, w, h, band, 0, flags);
        if (e.nPasses < 4) continue;
        // Replace the segment of one cleanup pass below the top with garbage.
        int k;
        do k = static_cast<int>(rng.range(1, e.nPasses - 1));
        while (e.passKind[k] != 2);
        const int q = e.passPlane[k];
        std::vector<std::uint8_t> bad = e.data;
        int off = 0;
        for (int i = 0; i < k; ++i) off += e.segLens[i];
        for (int i = 0; i < e.segLens[k]; ++i) bad[off + i] = static_cast<std::uint8_t>(rng.next());
        if (e.segLens[k] == 0) continue;
        t1ref::Encoded be = e;
        be.data = bad;
        ++attempts;
        Dest plain(w, h), conc(w, h);
        int planePlain = -7, planeConc = -7;
        // Decode up to the damaged pass, so that it is the only one that can fail.
        const ZebResult r1 = decodeOneShot(be, plain, band, flags | ZEB_CB_KEEP_LOW_BITS, k + 1, &planePlain);
        if (r1 == zebOk) continue;
        ++detected;
        ASSERT_EQ(zebErrCorruptCodeBlock, r1);
        EXPECT_EQ(q, planePlain);
        ASSERT_EQ(zebErrCorruptCodeBlock, decodeOneShot(be, conc, band, flags | ZEB_CB_CONCEAL, k + 1, &planeConc));
        EXPECT_EQ(q, planeConc);
        // Before the damaged pass everything is intact; after it nothing
        // is decoded.  Concealment keeps planes q and above of what was
        // decoded, sets bit q in every coefficient with a magnitude there,
        // and turns everything else into +0.
        const auto& before = e.expected[k - 1];
        for (int i = 0; i < w * h; ++i) {
            const std::uint32_t got = conc.at(i);
            EXPECT_EQ(0u, got & ((1u << q) - 1u)) << i;
            if (before[i] & 0x7FFFFFFFu) {
                const std::uint32_t want = (v[i] & 0x80000000u) | (v[i] & 0x7FFFFFFFu & (~0u << (q + 1))) | (1u << q);
                EXPECT_EQ(want, got) << "iter " << iter << " coefficient " << i;
            } else {
                // Only the damaged cleanup could have touched it.
                EXPECT_TRUE(got == 0u || (got & 0x7FFFFFFFu) == (1u << q)) << std::hex << got;
                const std::uint32_t p = plain.at(i);
                EXPECT_EQ(p == 0 ? 0u : ((p & 0x80000000u) | (1u << q)), got);
            }
        }
    }
    ASSERT_GT(attempts, 50 / kScale);
    // A random cleanup pass ends in 1010 about one time in sixteen.
    EXPECT_GT(detected, attempts * 3 / 4);
}

TEST(T1DecDamage, RawPaddingAndPredictableTerminationChecks) {
    Rng rng(41);
    int rawFlips = 0, ptermCuts = 0, ptermDetected = 0;
    for (int iter = 0; iter < 300 / kScale; ++iter) {
        const int w = static_cast<int>(rng.range(3, 20)), h = static_cast<int>(rng.range(3, 20));
        const auto v = randomBlock(rng, w, h, 12, 0.7);
        const bool termAll = rng.chance(0.5);
        const int flags = ZEB_CB_BYPASS | (termAll ? ZEB_CB_TERM_ALL : 0);
        const auto e = t1ref::encode(v, w, h, 0, 0, flags, true);
        // A raw segment with a 1 in its first padding bit fails.
        for (std::size_t s = 0; s < e.segLens.size(); ++s) {
            if (!e.segRaw[s] || e.segPadTop[s] < 0) continue;
            int off = 0, firstPass = 0;
            for (std::size_t i = 0; i < s; ++i) off += e.segLens[i];
            while (e.passSegment[firstPass] != static_cast<int>(s)) ++firstPass;
            t1ref::Encoded be = e;
            be.data[off + e.segLens[s] - 1] ^= static_cast<std::uint8_t>(1u << e.segPadTop[s]);
            Dest d(w, h);
            int plane = -7;
            ASSERT_EQ(zebErrCorruptCodeBlock, decodeOneShot(be, d, 0, flags, e.nPasses, &plane)) << "segment " << s;
            EXPECT_EQ(e.passPlane[firstPass], plane);
            ++rawFlips;
            break;
        }
        // The last MQ segment cut by one byte: predictable termination sees
        // most cuts; intact data never fails the check (round trip test).
        // (In terminate-every-pass mode the cleanup that follows a raw pass
        // is decoded without the check, so it is not picked.)
        auto checked = [&](int seg) {
            return !e.segRaw[seg] && e.segLens[seg] >= 2 && !(termAll && seg > 0 && e.segRaw[seg - 1]);
        };
        int s = static_cast<int>(e.segLens.size()) - 1;
        while (s >= 0 && !checked(s)) --s;
        if (s < 0) continue;
        t1ref::Encoded be = e;
        be.segLens[s] -= 1;
        int off = 0;
        for (int i = 0; i <= s; ++i) off += e.segLens[i];
        be.data.erase(be.data.begin() + off - 1);
        Dest d(w, h);
        ++ptermCuts;
        const ZebResult r = decodeOneShot(be, d, 0, flags | ZEB_CB_CHECK_PTERM, e.nPasses);
        if (r != zebOk) {
            ASSERT_EQ(zebErrCorruptCodeBlock, r);
            ++ptermDetected;
        }
    }
    EXPECT_GT(rawFlips, 30 / kScale);
    EXPECT_GT(ptermCuts, 30 / kScale);
    EXPECT_GT(ptermDetected, ptermCuts * 3 / 4);
}

TEST(T1DecDamage, ErrorsLatchUntilTheNextAttach) {
    Rng rng(51);
    const int w = 16, h = 16;
    const auto v = randomBlock(rng, w, h, 9, 0.8);
    const int flags = ZEB_CB_TERM_ALL | ZEB_CB_CHECK_PTERM;
    const auto e = t1ref::encode(v, w, h, 0, 0, flags, true);
    ZebCBProgrState* st = nullptr;
    ASSERT_EQ(zebOk, zebiDecodeCBProgrInitAlloc_JPEG2K(&st, {w, h}));
    Dest d(w, h);
    PageGuardedBuffer nothing(0);
    // Step before any attach.
    EXPECT_EQ(zebErrNotAttached, zebiDecodeCBProgrStep_JPEG2K(nothing.data(), 16, st));

    // Find a significance-propagation pass whose garbage the check rejects.
    bool found = false;
    for (int attempt = 0; attempt < 40 && !found; ++attempt) {
        ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), d.step(), {w, h}, st, 0, e.sfBits, flags));
        ASSERT_EQ(zebOk, zebiDecodeCBProgrSetPassCounter_JPEG2K(e.nPasses, st));
        std::size_t off = 0;
        ZebResult r = zebOk;
        int k = 0;
        for (; k < e.nPasses; ++k) {
            std::vector<std::uint8_t> seg(e.data.begin() + off, e.data.begin() + off + e.segLens[k]);
            off += e.segLens[k];
            if (e.passKind[k] == 0 && !seg.empty())
                for (auto& b : seg) b = static_cast<std::uint8_t>(rng.next());
            r = zebiDecodeCBProgrStep_JPEG2K(seg.data(), static_cast<int>(seg.size()), st);
            if (r != zebOk) break;
        }
        if (r == zebOk) continue;
        found = true;
        ASSERT_EQ(zebErrCorruptCodeBlock, r);
        ASSERT_EQ(0, e.passKind[k]);
        // The failed propagation pass still counts and hands over to refinement.
        int left = -1, plane = -1;
        ASSERT_EQ(zebOk, zebiDecodeCBProgrGetPassCounter_JPEG2K(st, &left));
        EXPECT_EQ(e.nPasses - k - 1, left);
        EXPECT_EQ(zeb::t1::kPassRefineTerm, st->passType);
        ASSERT_EQ(zebOk, zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(st, &plane));
        EXPECT_EQ(e.passPlane[k], plane);
        // Latched: later steps fail without reading their source.
        const auto snapshot = d.values();
        EXPECT_EQ(zebErrCorruptCodeBlock, zebiDecodeCBProgrStep_JPEG2K(nothing.data(), 1000, st));
        EXPECT_EQ(snapshot, d.values());
    }
    ASSERT_TRUE(found);
    // A new attach clears the latch: the intact stream decodes.
    ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), d.step(), {w, h}, st, 0, e.sfBits, flags));
    ASSERT_EQ(zebOk, zebiDecodeCBProgrSetPassCounter_JPEG2K(e.nPasses, st));
    std::size_t off = 0;
    for (int len : e.segLens) {
        ASSERT_EQ(zebOk, zebiDecodeCBProgrStep_JPEG2K(e.data.data() + off, len, st));
        off += static_cast<std::size_t>(len);
    }
    EXPECT_EQ(e.expected.back(), d.values());
    EXPECT_EQ(zebOk, zebiDecodeCBProgrFree_JPEG2K(st));
}

// ---- pass sequencing ------------------------------------------------------------------

TEST(T1DecSequencing, BypassFirstSegmentCarriesTheFirstFourPlanes) {
    Rng rng(61);
    const auto v = randomBlock(rng, 12, 12, 10, 0.9);
    std::vector<std::uint32_t> vv = v;
    vv[0] = 0x3FFu;  // sfBits 10
    const auto e = t1ref::encode(vv, 12, 12, 0, 0, ZEB_CB_BYPASS);
    ASSERT_EQ(10, e.sfBits);
    ASSERT_EQ(10, std::count(e.passSegment.begin(), e.passSegment.end(), 0));
    for (int passes : {10, 11}) {
        ZebCBProgrState* st = nullptr;
        ASSERT_EQ(zebOk, zebiDecodeCBProgrInitAlloc_JPEG2K(&st, {12, 12}));
        Dest d(12, 12);
        ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), d.step(), {12, 12}, st, 0, 10, ZEB_CB_BYPASS));
        ASSERT_EQ(zebOk, zebiDecodeCBProgrSetPassCounter_JPEG2K(passes, st));
        ASSERT_EQ(zebOk, zebiDecodeCBProgrStep_JPEG2K(e.data.data(), e.segLens[0], st));
        int left = -1, plane = -1;
        zebiDecodeCBProgrGetPassCounter_JPEG2K(st, &left);
        zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(st, &plane);
        EXPECT_EQ(passes - 10, left);
        EXPECT_EQ(passes == 11 ? 5 : 6, plane);
        EXPECT_EQ(passes == 11 ? zeb::t1::kPassRaw : zeb::t1::kPassCleanup, st->passType);
        EXPECT_EQ(e.expected[9], d.values());
        // Nothing left to do: a further step reads nothing and succeeds.
        if (passes == 10) {
            PageGuardedBuffer nothing(0);
            EXPECT_EQ(zebOk, zebiDecodeCBProgrStep_JPEG2K(nothing.data(), 100, st));
        }
        zebiDecodeCBProgrFree_JPEG2K(st);
    }
    // Three planes with bypass: one MQ segment as without bypass.
    std::vector<std::uint32_t> small(16, 0);
    small[5] = 7;
    small[9] = 0x80000005u;
    const auto e3 = t1ref::encode(small, 4, 4, 0, 0, ZEB_CB_BYPASS);
    ASSERT_EQ(3, e3.sfBits);
    ASSERT_EQ(1u, e3.segLens.size());
    Dest d(4, 4);
    ASSERT_EQ(zebOk, decodeOneShot(e3, d, 0, ZEB_CB_BYPASS, e3.nPasses));
    EXPECT_EQ(small[5], d.at(5));
    EXPECT_EQ(small[9], d.at(9));
}

// ---- argument checks, sizes, records ----------------------------------------------------

TEST(T1DecApi, SizesAndCheckOrder) {
    int size = 0;
    ASSERT_EQ(zebOk, zebiDecodeGetBufSize_JPEG2K({64, 64}, &size));
    EXPECT_EQ(288 * 34 + 388, size);
    ASSERT_EQ(zebOk, zebiDecodeCBProgrGetStateSize_JPEG2K({1, 1}, &size));
    EXPECT_EQ(32 * 3 + 388, size);
    EXPECT_EQ(zebErrSize, zebiDecodeGetBufSize_JPEG2K({0, 4}, nullptr));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeGetBufSize_JPEG2K({4, 4}, nullptr));
    EXPECT_EQ(zebErrSize, zebiDecodeCBProgrGetStateSize_JPEG2K({4, -1}, nullptr));

    // One-shot: sources and buffer, size, lengths and destination, step.
    Dest d(4, 4);
    d.buf.snapshot();
    std::vector<Zeb8u> work(static_cast<std::size_t>(bufSize(4, 4)));
    const int lens[1] = {1};
    const Zeb8u src = 0;
    auto call = [&](const Zeb8u* s, Zeb32s* dst, int step, ZebSize sz, const int* l, Zeb8u* buf) {
        return zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(s, dst, step, sz, 0, 4, 1, l, 1, 0, nullptr, buf);
    };
    EXPECT_EQ(zebErrNullPtr, call(nullptr, nullptr, 0, {0, 0}, nullptr, work.data()));
    EXPECT_EQ(zebErrNullPtr, call(&src, nullptr, 0, {0, 0}, nullptr, nullptr));
    EXPECT_EQ(zebErrSize, call(&src, nullptr, 0, {4, 0}, nullptr, work.data()));
    EXPECT_EQ(zebErrNullPtr, call(&src, d.data(), 0, {4, 4}, nullptr, work.data()));
    EXPECT_EQ(zebErrNullPtr, call(&src, nullptr, 0, {4, 4}, lens, work.data()));
    EXPECT_EQ(zebErrStep, call(&src, d.data(), 0, {4, 4}, lens, work.data()));
    EXPECT_TRUE(d.buf.unchanged());

    // Progressive record: null, identifier, then the operation's own checks.
    std::vector<std::uint64_t> mem(static_cast<std::size_t>(bufSize(4, 4)) / 8 + 1, 0);
    auto* st = reinterpret_cast<ZebCBProgrState*>(mem.data());
    int n = 0;
    EXPECT_EQ(zebErrNullPtr, zebiDecodeCBProgrInit_JPEG2K(nullptr));
    EXPECT_EQ(zebErrContextMismatch, zebiDecodeCBProgrSetPassCounter_JPEG2K(3, st));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeCBProgrGetPassCounter_JPEG2K(st, nullptr));
    EXPECT_EQ(zebErrContextMismatch, zebiDecodeCBProgrGetPassCounter_JPEG2K(st, &n));
    EXPECT_EQ(zebErrContextMismatch, zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(st, nullptr));
    EXPECT_EQ(zebErrContextMismatch, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(nullptr, 0, {0, 0}, st, 0, 3, 0));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeCBProgrStep_JPEG2K(nullptr, 0, st));
    EXPECT_EQ(zebErrContextMismatch, zebiDecodeCBProgrStep_JPEG2K(&src, 0, st));
    EXPECT_EQ(zebErrContextMismatch, zebiDecodeCBProgrFree_JPEG2K(st));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeCBProgrFree_JPEG2K(nullptr));
    ASSERT_EQ(zebOk, zebiDecodeCBProgrInit_JPEG2K(st));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(st, nullptr));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(nullptr, 0, {0, 0}, st, 0, 3, 0));
    EXPECT_EQ(zebErrStep, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), 0, {0, 0}, st, 0, 3, 0));
    EXPECT_EQ(zebErrSize, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), 16, {4, 0}, st, 0, 3, 0));
    EXPECT_TRUE(d.buf.unchanged());
    EXPECT_EQ(zebErrNotAttached, zebiDecodeCBProgrStep_JPEG2K(&src, 1, st));
    ZebCBProgrState* none = reinterpret_cast<ZebCBProgrState*>(&n);
    EXPECT_EQ(zebErrNullPtr, zebiDecodeCBProgrInitAlloc_JPEG2K(nullptr, {0, 0}));
    EXPECT_EQ(zebErrSize, zebiDecodeCBProgrInitAlloc_JPEG2K(&none, {1, 0}));
    // A failed allocation leaves a null record behind.
    void* (*const savedMalloc)(size_t) = tov_malloc;
    tov_malloc = [](size_t) -> void* { return nullptr; };
    const ZebResult noMem = zebiDecodeCBProgrInitAlloc_JPEG2K(&none, {64, 64});
    tov_malloc = savedMalloc;
    EXPECT_EQ(zebErrNoMemory, noMem);
    EXPECT_EQ(nullptr, none);

    // The work area starts at the first 32-byte boundary after the record
    // and the state buffer fits in the reported size.
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(st);
    EXPECT_EQ(0u, (base + st->workAreaOffset) % 32);
    EXPECT_LE(st->workAreaOffset, 388u);
}

TEST(T1DecApi, AttachKeepsOrClearsTheBlockAndState) {
    Rng rng(71);
    const auto v = randomBlock(rng, 8, 8, 6, 0.5);
    const auto e = t1ref::encode(v, 8, 8, 0, 0, 0);
    ZebCBProgrState* st = nullptr;
    ASSERT_EQ(zebOk, zebiDecodeCBProgrInitAlloc_JPEG2K(&st, {8, 8}));
    Dest d(8, 8);
    d.buf.fill(0x77);
    for (int y = 0; y < 8; ++y)
        for (int x = 8; x < d.stepWords; ++x) d.buf[static_cast<std::size_t>(y) * d.stepWords + x] = 0x5C5C5C5C;
    ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), d.step(), {8, 8}, st, 0, e.sfBits, ZEB_CB_KEEP_BLOCK));
    EXPECT_EQ(0x77777777u, d.at(10));
    ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), d.step(), {8, 8}, st, 0, e.sfBits, 0));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(0u, d.at(i));
    EXPECT_TRUE(d.gapsIntact());
    // Decoding twice with the same record: attach restarts everything (a
    // dirty state buffer after the first block must not leak into the second).
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), d.step(), {8, 8}, st, 0, e.sfBits, 0));
        ASSERT_EQ(zebOk, zebiDecodeCBProgrSetPassCounter_JPEG2K(e.nPasses, st));
        ASSERT_EQ(zebOk, zebiDecodeCBProgrStep_JPEG2K(e.data.data(), e.segLens[0], st));
        EXPECT_EQ(e.expected.back(), d.values()) << round;
    }
    // With ZEB_CB_KEEP_STATE the caller vouches for a clean state buffer;
    // the dirty one left by the decode above is used as it is.
    ASSERT_EQ(zebOk, zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(d.data(), d.step(), {8, 8}, st, 0, e.sfBits,
                                                            ZEB_CB_KEEP_STATE));
    ASSERT_EQ(zebOk, zebiDecodeCBProgrSetPassCounter_JPEG2K(e.nPasses, st));
    ASSERT_EQ(zebOk, zebiDecodeCBProgrStep_JPEG2K(e.data.data(), e.segLens[0], st));
    EXPECT_NE(e.expected.back(), d.values());
    zebiDecodeCBProgrFree_JPEG2K(st);
}

// ---- concealment kernel -------------------------------------------------------------

TEST(T1DecConceal, KeepsCompletePlanesAndPathsAgree) {
    // Plane 4: bits below go, bit 4 is set where a magnitude bit at 4 or
    // above survives, everything else (negative zeros included) becomes +0.
    Zeb32s v[] = {0x35, static_cast<Zeb32s>(0x8000000Fu), static_cast<Zeb32s>(0x80000010u), 0x7FFFFFFF, 0x20,
                  static_cast<Zeb32s>(0x80000000u), 0};
    const std::uint32_t want[] = {0x30, 0, 0x80000010u, 0x7FFFFFF0u, 0x30, 0, 0};
    zeb::t1::concealRow<zeb::Path::Scalar>(v, 7, 4);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(want[i], static_cast<std::uint32_t>(v[i])) << i;
    for (int plane : {0, 1, 5, 17, 30}) {
        zebtest::expectPathsAgree<Zeb32s, Zeb32s>(
            4,
            [plane](zebtest::Path path, const Zeb32s* in, Zeb32s* out, int len) {
                std::memcpy(out, in, sizeof(Zeb32s) * static_cast<std::size_t>(len));
                if (path == zebtest::Path::Scalar)
                    zeb::t1::concealRow<zeb::Path::Scalar>(out, len, plane);
                else
                    zeb::t1::concealRow<zeb::Path::Vector>(out, len, plane);
            },
            static_cast<std::uint64_t>(plane) + 1);
    }
}

}  // namespace
