// MQ encoder and raw bit writer: the T.88 H.2 test sequence, the three
// termination modes decoded back by the Tier-1 MQ decoder, and the shortest
// termination's minimality.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/harness.h"
#include "jpeg2000/tier1/mq_decoder.h"
#include "jpeg2000/tier1/mq_encoder.h"
#include "t1_dec_reference.h"

namespace {

using namespace zeb::t1;

struct Decision {
    std::uint32_t bit, ctx;
};

// Codes the decisions as one segment terminated in `mode`; h2 starts
// context 0 at state 0 as T.88 H.2 does.
std::vector<std::uint8_t> encodeSegment(const std::vector<Decision>& ds, int mode, bool h2 = false) {
    MqEncoder e{};
    mqEncoderResetCtx(e);
    mqEncoderInit(e);
    e.state[0] = h2 ? 0 : e.state[0];
    std::vector<std::uint8_t> out;
    auto take = [&] {
        EXPECT_LE(e.stagedEnd - e.stagedNext, 5u);  // the queue never needs more room
        while (!mqStagedEmpty(e)) out.push_back(static_cast<std::uint8_t>(e.staged[e.stagedNext++]));
    };
    for (const Decision& d : ds) {
        mqEncode(e, d.bit, d.ctx);
        take();
    }
    mqEncoderTerminate(e, mode);
    take();
    return out;
}

// Decodes as many decisions as ds holds; the segment is the first `len` bytes.
std::vector<std::uint32_t> decodeSegment(const std::vector<std::uint8_t>& data, const std::vector<Decision>& ds,
                                         bool h2 = false, std::uint32_t* predTermError = nullptr) {
    MqDecoder d{};
    mqDecoderResetCtx(d);
    d.state[0] = h2 ? 0 : d.state[0];
    mqDecoderInit(d, data.data(), static_cast<std::int32_t>(data.size()));
    std::vector<std::uint32_t> bits;
    for (const Decision& x : ds) bits.push_back(mqDecoderDecode(d, x.ctx));
    if (predTermError) *predTermError = mqDecoderCheckErrPredTerm(d);
    return bits;
}

std::vector<std::uint32_t> bitsOf(const std::vector<Decision>& ds) {
    std::vector<std::uint32_t> b;
    for (const Decision& d : ds) b.push_back(d.bit);
    return b;
}

TEST(T1EncMq, T88TestSequenceGivesThePublishedCodeword) {
    const std::vector<std::uint8_t> expected(t1ref::kH2Codeword, t1ref::kH2Codeword + 28);
    std::vector<Decision> ds;
    for (int i = 0; i < 256; ++i) ds.push_back({t1ref::h2Bit(i), 0});
    const auto flush = encodeSegment(ds, 0, true);
    ASSERT_GE(flush.size(), expected.size());
    EXPECT_EQ(std::vector<std::uint8_t>(flush.begin(), flush.begin() + expected.size()), expected);
    for (int mode : {0, kTermShortest, kTermPredictable}) {
        const auto code = encodeSegment(ds, mode, true);
        // Only the final bytes depend on the termination.
        EXPECT_EQ(std::vector<std::uint8_t>(code.begin(), code.begin() + 26),
                  std::vector<std::uint8_t>(expected.begin(), expected.begin() + 26));
        EXPECT_EQ(decodeSegment(code, ds, true), bitsOf(ds)) << "mode " << mode;
    }
}

// Random streams (skewed and even, one to 19 contexts, empty to long): every
// termination decodes back, never contains a marker, predictable termination
// passes the decoder's check, and the shortest is the shortest and minimal.
TEST(T1EncMq, TerminationModesDecodeBack) {
    zebtest::Rng rng(91);
    const int rounds = zebtest::kSlowRun ? 300 : 2000;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        const int n = static_cast<int>(rng.range(0, round % 10 == 0 ? 3000 : 60));
        const double p1 = rng.chance(0.5) ? rng.uniform() : (rng.chance(0.5) ? 0.02 : 0.98);
        const int nCtx = static_cast<int>(rng.range(1, 19));
        std::vector<Decision> ds(n);
        for (Decision& d : ds) d = {rng.chance(p1) ? 1u : 0u, static_cast<std::uint32_t>(rng.range(0, nCtx - 1))};

        std::vector<std::uint8_t> code[3];
        for (int mode = 0; mode < 3; ++mode) {
            code[mode] = encodeSegment(ds, mode);
            std::uint32_t predErr = 0;
            ASSERT_EQ(decodeSegment(code[mode], ds, false, &predErr), bitsOf(ds)) << "mode " << mode;
            if (mode == kTermPredictable) {
                EXPECT_EQ(predErr, 0u);
            }
            for (std::size_t i = 0; i + 1 < code[mode].size(); ++i)
                EXPECT_FALSE(code[mode][i] == 0xFF && code[mode][i + 1] >= 0x90) << "marker at " << i;
        }
        const auto& shortest = code[kTermShortest];
        EXPECT_LE(shortest.size(), code[0].size());
        EXPECT_LE(shortest.size(), code[kTermPredictable].size());
        // Without its last byte the segment decodes differently, unless that
        // byte is all ones (0xFF, or 0x7F after 0xFF): released before the
        // termination, it equals what a decoder reads past the end anyway.
        const std::size_t len = shortest.size();
        const bool allOnes = len > 0 && (shortest[len - 1] == 0xFF ||
                                         (len > 1 && shortest[len - 2] == 0xFF && shortest[len - 1] == 0x7F));
        if (len > 0 && !allOnes) {
            const std::vector<std::uint8_t> cut(shortest.begin(), shortest.end() - 1);
            EXPECT_NE(decodeSegment(cut, ds), bitsOf(ds)) << "shortest termination not minimal";
        }
    }
    EXPECT_TRUE(encodeSegment({}, kTermPredictable).empty());  // the dummy byte never shows
}

// The coding loops' packed context words (2 * state + MPS through one
// transition table) code and decode exactly like the separate state and MPS
// arrays of the records: same bytes, same decisions, same final contexts.
TEST(T1EncMq, PackedContextsMatchTheRecordForm) {
    zebtest::Rng rng(17);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const double p1 = round % 3 == 0 ? rng.uniform() : (round % 3 == 1 ? 0.03 : 0.97);
        std::vector<Decision> ds(static_cast<std::size_t>(rng.range(1, 2500)));
        for (Decision& d : ds) d = {rng.chance(p1) ? 1u : 0u, static_cast<std::uint32_t>(rng.range(0, 18))};

        MqEncoder a{}, b{};
        for (MqEncoder* e : {&a, &b}) {
            mqEncoderResetCtx(*e);
            mqEncoderInit(*e);
        }
        std::uint32_t packed[kMqContexts];
        mqPackContexts(b, packed);
        std::vector<std::uint32_t> bytesA, bytesB;
        for (const Decision& d : ds) {
            mqEncode(a, d.bit, d.ctx);
            mqEncodePacked(b, packed, d.bit, d.ctx);
            while (!mqStagedEmpty(a)) bytesA.push_back(a.staged[a.stagedNext++]);
            while (!mqStagedEmpty(b)) bytesB.push_back(b.staged[b.stagedNext++]);
        }
        mqUnpackContexts(b, packed);
        ASSERT_EQ(bytesA, bytesB);
        EXPECT_TRUE(a.A == b.A && a.C == b.C && a.CT == b.CT && a.B == b.B);
        for (int i = 0; i < kMqContexts; ++i) EXPECT_TRUE(a.state[i] == b.state[i] && a.mps[i] == b.mps[i]);

        const auto code = encodeSegment(ds, kTermPredictable);
        MqDecoder rec{}, viaRegs{};
        for (MqDecoder* d : {&rec, &viaRegs}) {
            mqDecoderResetCtx(*d);
            mqDecoderInit(*d, code.data(), static_cast<std::int32_t>(code.size()));
        }
        MqRegisters regs = mqRegisters(viaRegs);
        for (const Decision& d : ds) ASSERT_EQ(mqDecoderDecode(rec, d.ctx), mqDecoderDecode(regs, d.ctx));
        mqWriteBack(viaRegs, regs);
        EXPECT_TRUE(rec.A == viaRegs.A && rec.C == viaRegs.C && rec.CT == viaRegs.CT && rec.pos == viaRegs.pos);
        for (int i = 0; i < kMqContexts; ++i)
            EXPECT_TRUE(rec.state[i] == viaRegs.state[i] && rec.mps[i] == viaRegs.mps[i]);
    }
}

TEST(T1EncMq, RawPaddingAlternatesFromZero) {
    RawEncoder w{};
    rawEncoderInit(w);
    std::uint8_t byte = 0;
    for (int i = 0; i < 3; ++i) rawPutBit(w, 1, &byte);
    ASSERT_TRUE(rawTerminate(w, &byte));
    EXPECT_EQ(byte, 0xEA);  // 111 then 0 1 0 1 0
    for (int i = 0; i < 8; ++i) rawPutBit(w, 1, &byte);
    EXPECT_EQ(byte, 0xFF);
    rawPutBit(w, 1, &byte);  // after 0xFF: a stuffed 0, then 1, then padding 0 1 0 1 0 1
    ASSERT_TRUE(rawTerminate(w, &byte));
    EXPECT_EQ(byte, 0x55);
    EXPECT_FALSE(rawTerminate(w, &byte));  // nothing pending: nothing added
}

}  // namespace
