// MQ decoder and raw bit reader: the published T.88 test sequence, the byte
// chain at markers and segment ends, termination checks, and reads that
// never leave the segment.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/harness.h"
#include "jpeg2000/tier1/mq_decoder.h"
#include "t1_dec_reference.h"

namespace {

using namespace zeb::t1;

using t1ref::h2Bit;
using t1ref::kH2Codeword;
constexpr int kCx = 5;

MqDecoder startedDecoder(const std::uint8_t* data, int len) {
    MqDecoder d{};
    mqDecoderResetCtx(d);
    d.state[kCx] = 0;
    d.mps[kCx] = 0;
    mqDecoderInit(d, data, len);
    return d;
}

TEST(T1DecMq, DecodesThePublishedSequenceWithoutReadingPastTheCodeword) {
    // The codeword sits right before an unmapped page: the decoder must
    // supply 0xFF past the end instead of reading on.
    zebtest::PageGuardedBuffer buf(sizeof(kH2Codeword));
    std::memcpy(buf.data(), kH2Codeword, sizeof(kH2Codeword));
    MqDecoder d = startedDecoder(buf.data(), sizeof(kH2Codeword));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(h2Bit(i), mqDecoderDecode(d, kCx)) << "decision " << i;
    EXPECT_EQ(1u, d.markerSeen);
    EXPECT_LE(d.pos, 28);
}

TEST(T1DecMq, ReferenceEncoderReproducesThePublishedCodeword) {
    // The test-side encoder is the oracle of the code-block tests; pin it
    // to the published codeword first.
    t1ref::MqEncoder e;
    e.setContext(kCx, 0, 0);
    for (int i = 0; i < 256; ++i) e.encode(h2Bit(i), kCx);
    e.flush();
    ASSERT_GE(e.out().size(), sizeof(kH2Codeword));
    EXPECT_EQ(0, std::memcmp(e.out().data(), kH2Codeword, sizeof(kH2Codeword)));
}

TEST(T1DecMq, RandomDecisionsRoundTripInEveryTerminationAndContextMix) {
    zebtest::Rng rng(77);
    for (int iter = 0; iter < 300; ++iter) {
        const int n = static_cast<int>(rng.range(0, 2000));
        const double p1 = rng.uniform();
        std::vector<unsigned> bits(n);
        std::vector<int> ctx(n);
        t1ref::MqEncoder e;
        for (int i = 0; i < n; ++i) {
            bits[i] = rng.chance(p1) ? 1 : 0;
            ctx[i] = static_cast<int>(rng.range(0, 18));
            e.encode(bits[i], ctx[i]);
        }
        const bool predictable = iter & 1;
        if (predictable) {
            e.flushPredictable();
        } else {
            e.flush();
        }
        zebtest::PageGuardedBuffer buf(e.out().size());
        std::memcpy(buf.data(), e.out().data(), e.out().size());
        MqDecoder d{};
        mqDecoderResetCtx(d);
        mqDecoderInit(d, buf.data(), static_cast<int>(e.out().size()));
        for (int i = 0; i < n; ++i) ASSERT_EQ(bits[i], mqDecoderDecode(d, ctx[i])) << "iter " << iter << " i " << i;
        if (predictable) {
            EXPECT_EQ(0u, mqDecoderCheckErrPredTerm(d)) << "iter " << iter;
        }
    }
}

TEST(T1DecMq, PredictableTerminationCheckSeesDamageAndTruncation) {
    zebtest::Rng rng(5);
    int detected = 0, trials = 0;
    for (int iter = 0; iter < 200; ++iter) {
        const int n = static_cast<int>(rng.range(50, 400));
        std::vector<unsigned> bits(n);
        t1ref::MqEncoder e;
        for (int i = 0; i < n; ++i) e.encode(bits[i] = rng.chance(0.3), static_cast<int>(i % 7) + 2);
        e.flushPredictable();
        std::vector<std::uint8_t> data = e.out();
        if (data.size() < 2) continue;
        // Cut the last byte off: the decoder runs into 0xFF too early.
        ++trials;
        MqDecoder d{};
        mqDecoderResetCtx(d);
        mqDecoderInit(d, data.data(), static_cast<int>(data.size()) - 1);
        for (int i = 0; i < n; ++i) mqDecoderDecode(d, static_cast<int>(i % 7) + 2);
        detected += static_cast<int>(mqDecoderCheckErrPredTerm(d));
    }
    // Not every cut is visible: once the decoder has met the end, the check
    // only looks at the bits still in the register (none at all when one bit
    // is left), so about one cut in seven passes.  Most must be caught.
    EXPECT_GT(detected, trials * 3 / 4);
}

TEST(T1DecMq, ByteChainAtMarkersAndSegmentEnds) {
    {
        // Empty segment: marker seen at once, nothing ever consumed.
        MqDecoder d{};
        mqDecoderResetCtx(d);
        const std::uint8_t dummy = 0;
        mqDecoderInit(d, &dummy, 0);
        EXPECT_EQ(1u, d.markerSeen);
        for (int i = 0; i < 100; ++i) mqDecoderDecode(d, 2);
        EXPECT_EQ(0, d.pos);
        // Decoding zeros of the complemented register: same as all-0xFF data.
        const std::uint8_t ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        MqDecoder a{}, b{};
        mqDecoderResetCtx(a);
        mqDecoderResetCtx(b);
        mqDecoderInit(a, &dummy, 0);
        mqDecoderInit(b, ff, 4);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(mqDecoderDecode(a, i % 19), mqDecoderDecode(b, i % 19));
    }
    {
        // 0xFF 0x90 is a marker: neither byte is consumed.
        const std::uint8_t data[] = {0x12, 0xFF, 0x90, 0x00};
        MqDecoder d{};
        mqDecoderResetCtx(d);
        mqDecoderInit(d, data, 4);
        for (int i = 0; i < 60; ++i) mqDecoderDecode(d, 2);
        EXPECT_EQ(1u, d.markerSeen);
        EXPECT_EQ(1, d.pos);
    }
    {
        // 0xFF 0x8F is a stuffed pair: the 0x8F is consumed with 7 bits.
        const std::uint8_t data[] = {0xFF, 0x8F};
        MqDecoder d{};
        mqDecoderResetCtx(d);
        mqDecoderInit(d, data, 2);
        EXPECT_EQ(0u, d.markerSeen);
        EXPECT_EQ(1, d.pos);
        // ...then the virtual 0xFF after the end is the current byte, and
        // the pair it forms with the next virtual 0xFF is a marker.
        for (int i = 0; i < 40; ++i) mqDecoderDecode(d, 2);
        EXPECT_EQ(1u, d.markerSeen);
        EXPECT_EQ(2, d.pos);
    }
    {
        // A segment whose last byte is 0xFF ends with the marker flag set.
        const std::uint8_t data[] = {0x31, 0xFF};
        zebtest::PageGuardedBuffer buf(2);
        std::memcpy(buf.data(), data, 2);
        MqDecoder d{};
        mqDecoderResetCtx(d);
        mqDecoderInit(d, buf.data(), 2);
        for (int i = 0; i < 40; ++i) mqDecoderDecode(d, 2);
        EXPECT_EQ(1u, d.markerSeen);
        EXPECT_EQ(1, d.pos);
    }
}

// The passes decode through a register copy that reads bytes ahead; written
// back at any point it must equal the record decoded byte by byte (same
// decisions, registers, position, marker flag, contexts), and the record
// must go on decoding from there.  Arbitrary bytes with many 0xFF, stuffed
// pairs, markers, short and empty segments, at the end of a mapped page.
TEST(T1DecMq, RegisterCopyMatchesTheRecordAtEveryWriteBack) {
    zebtest::Rng rng(404);
    const std::uint8_t specials[] = {0xFF, 0xFF, 0x8F, 0x90, 0x7F, 0x80, 0x00, 0xFE};
    for (int iter = 0; iter < 400; ++iter) {
        SCOPED_TRACE(iter);
        const int len = static_cast<int>(rng.range(0, iter % 4 == 0 ? 6 : 300));
        const double pSpecial = iter % 3 == 0 ? 0.0 : (iter % 3 == 1 ? 0.1 : 0.5);
        zebtest::PageGuardedBuffer buf(static_cast<std::size_t>(len));
        for (int i = 0; i < len; ++i)
            buf.data()[i] = rng.chance(pSpecial) ? specials[rng.range(0, 7)] : static_cast<std::uint8_t>(rng.range(0, 255));
        const double skew = rng.uniform();
        MqDecoder rec{}, viaRegs{};
        for (MqDecoder* d : {&rec, &viaRegs}) {
            mqDecoderResetCtx(*d);
            mqDecoderInit(*d, buf.data(), len);
        }
        const int n = static_cast<int>(rng.range(0, 3000));
        int i = 0;
        while (i < n) {
            // One "pass" on the register copy, then compare the written-back record.
            const int passEnd = std::min(n, i + static_cast<int>(rng.range(0, 400)));
            MqRegisters regs = mqRegisters(viaRegs);
            for (; i < passEnd; ++i) {
                const std::uint32_t cx = rng.chance(skew) ? 1u : static_cast<std::uint32_t>(rng.range(0, 18));
                const bool skewed = cx == 1u && rng.chance(0.5);
                const std::uint32_t expected = mqDecoderDecode(rec, cx);
                ASSERT_EQ(expected, skewed ? mqDecoderDecodeSkewed(regs, cx) : mqDecoderDecode(regs, cx)) << i;
            }
            mqWriteBack(viaRegs, regs);
            ASSERT_EQ(rec.A, viaRegs.A) << i;
            ASSERT_EQ(rec.C, viaRegs.C) << i;
            ASSERT_EQ(rec.CT, viaRegs.CT) << i;
            ASSERT_EQ(rec.pos, viaRegs.pos) << i;
            ASSERT_EQ(rec.markerSeen, viaRegs.markerSeen) << i;
            for (int k = 0; k < kMqContexts; ++k)
                ASSERT_TRUE(rec.state[k] == viaRegs.state[k] && rec.mps[k] == viaRegs.mps[k]) << i;
            // Now and then the written-back record decodes a few decisions itself.
            if (rng.chance(0.3)) {
                for (int k = 0; k < 5 && i < n; ++k, ++i) ASSERT_EQ(mqDecoderDecode(rec, 3), mqDecoderDecode(viaRegs, 3));
            }
        }
        ASSERT_EQ(mqDecoderCheckErrPredTerm(rec), mqDecoderCheckErrPredTerm(viaRegs));
        EXPECT_TRUE(rec.A == viaRegs.A && rec.C == viaRegs.C && rec.CT == viaRegs.CT && rec.pos == viaRegs.pos);
    }
}

TEST(T1DecRaw, BitsStuffingAndPaddingCheck) {
    zebtest::Rng rng(3);
    for (int iter = 0; iter < 400; ++iter) {
        const int n = static_cast<int>(rng.range(1, 120));
        // Runs of ones produce 0xFF bytes and stuffing.
        const double p1 = iter % 3 == 0 ? 0.97 : 0.5;
        std::vector<unsigned> bits(n);
        t1ref::RawEncoder e;
        for (int i = 0; i < n; ++i) e.put(bits[i] = rng.chance(p1));
        e.finish();
        const std::vector<std::uint8_t> data = e.out();
        zebtest::PageGuardedBuffer buf(data.size());
        std::memcpy(buf.data(), data.data(), data.size());
        RawDecoder r{};
        rawDecoderInit(r, buf.data(), static_cast<int>(data.size()));
        for (int i = 0; i < n; ++i) ASSERT_EQ(bits[i], rawDecoderBit(r)) << "iter " << iter << " bit " << i;
        EXPECT_EQ(0u, rawDecoderCheckTerm(r)) << "iter " << iter;
        EXPECT_LE(r.pos, static_cast<int>(data.size()));
        // A 1 in the first padding bit is seen.
        if (r.bitPos >= 0) {
            std::vector<std::uint8_t> bad = data;
            bad.back() ^= static_cast<std::uint8_t>(1u << r.bitPos);
            RawDecoder q{};
            rawDecoderInit(q, bad.data(), static_cast<int>(bad.size()));
            for (int i = 0; i < n; ++i) rawDecoderBit(q);
            EXPECT_EQ(1u, rawDecoderCheckTerm(q)) << "iter " << iter;
        }
    }
    // Past the end the reader sees 0xFF bytes: 8 bits, then 7 (the stuffed
    // top bit after 0xFF is skipped), all ones; the position still advances.
    RawDecoder r{};
    const std::uint8_t none = 0;
    rawDecoderInit(r, &none, 0);
    unsigned ones = 0;
    for (int i = 0; i < 15; ++i) ones += rawDecoderBit(r);
    EXPECT_EQ(15u, ones);
    EXPECT_EQ(-1, r.bitPos);
    EXPECT_EQ(2, r.pos);
}

}  // namespace
