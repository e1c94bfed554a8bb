// MQ encoder and raw bit writer: the T.88 H.2 test sequence, the three
// termination modes decoded back by the Tier-1 MQ decoder, and the shortest
// termination's minimality.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/harness.h"
#include "jpeg2000/tier1/mq_decoder.h"
#include "jpeg2000/tier1/mq_encoder.h"

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
    const std::uint8_t input[32] = {0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0, 0x03, 0x52, 0x87,
                                    0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7,
                                    0x9E, 0xF6, 0xBF, 0x7F, 0xED, 0x90, 0x4F, 0x46, 0xA3, 0xBF};
    const std::vector<std::uint8_t> expected = {0x84, 0xC7, 0x3B, 0xFC, 0xE1, 0xA1, 0x43, 0x04, 0x02, 0x20,
                                                0x00, 0x00, 0x41, 0x0D, 0xBB, 0x86, 0xF4, 0x31, 0x7F, 0xFF,
                                                0x88, 0xFF, 0x37, 0x47, 0x1A, 0xDB, 0x6A, 0xDF};
    std::vector<Decision> ds;
    for (std::uint8_t byte : input)
        for (int b = 7; b >= 0; --b) ds.push_back({static_cast<std::uint32_t>((byte >> b) & 1), 0});
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
#if defined(__i386__) || defined(__SANITIZE_ADDRESS__)
    const int rounds = 300;
#else
    const int rounds = 2000;
#endif
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
