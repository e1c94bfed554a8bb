// Input format shared by the two code-block decoder targets, and seeds made
// by the Tier-1 encoder.
//
// Header: width (1..64), height (1..64), subband (0..3), sfBits (-1..31),
// nPasses (-1..254), decoder flags (32 bits, only the defined flags kept),
// extra destination step in words (0..3), segment count (0..255); then per
// segment its length (16 bits, cut to the bytes that remain) and, for the
// progressive target, one operation byte; then the segment bytes.
#pragma once

#include "fuzz_common.h"

namespace zebfuzz {

constexpr int kDecoderFlags = ZEB_CB_CAUSAL | ZEB_CB_BYPASS | ZEB_CB_TERM_ALL | ZEB_CB_RESET_CTX | ZEB_CB_SEGMARK |
                              ZEB_CB_CONCEAL | ZEB_CB_KEEP_BLOCK | ZEB_CB_KEEP_LOW_BITS | ZEB_CB_KEEP_STATE |
                              ZEB_CB_CHECK_PTERM;

struct CodeBlockCase {
    int width = 1, height = 1, subband = 0, sfBits = 0, nPasses = 0, flags = 0, stepExtra = 0;
    std::vector<int> segLens;
    std::vector<std::uint8_t> ops;  // progressive target only
    std::vector<std::uint8_t> data;
    int step() const { return 4 * (width + stepExtra); }
};

inline CodeBlockCase readCodeBlockCase(Input& in, bool withOps) {
    CodeBlockCase c;
    c.width = in.range(1, 64);
    c.height = in.range(1, 64);
    c.subband = in.range(0, 3);
    c.sfBits = in.range(-1, 31);
    c.nPasses = in.range(-1, 254);
    c.flags = static_cast<int>(in.u32()) & kDecoderFlags;
    c.stepExtra = in.range(0, 3);
    const int nSeg = in.u8();
    std::vector<int> wanted;
    for (int i = 0; i < nSeg; ++i) {
        wanted.push_back(in.u16());
        if (withOps) c.ops.push_back(in.u8());
    }
    c.data = in.rest();
    std::size_t left = c.data.size();
    for (int w : wanted) {
        const int len = static_cast<std::size_t>(w) < left ? w : static_cast<int>(left);
        c.segLens.push_back(len);
        left -= static_cast<std::size_t>(len);
    }
    return c;
}

inline void writeCodeBlockCase(Output& out, const CodeBlockCase& c, bool withOps) {
    out.u8(c.width - 1);
    out.u8(c.height - 1);
    out.u8(c.subband);
    out.u8(c.sfBits + 1);
    out.u8(c.nPasses + 1);
    out.u32(static_cast<std::uint32_t>(c.flags));
    out.u8(c.stepExtra);
    out.u8(static_cast<unsigned>(c.segLens.size()));
    for (std::size_t i = 0; i < c.segLens.size(); ++i) {
        out.u16(static_cast<unsigned>(c.segLens[i]));
        if (withOps) out.u8(i < c.ops.size() ? c.ops[i] : 0);
    }
    out.bytes(c.data);
}

// Random code-blocks coded by the encoder with every style, termination and
// sub-band, the decoder flags matching (plus decoder-only flags).
inline std::vector<CodeBlockCase> encodedCodeBlocks() {
    std::vector<CodeBlockCase> cases;
    Lcg rng{2024};
    ZebEncodeState* enc = nullptr;
    zebiEncodeInitAlloc_JPEG2K(&enc, ZebSize{64, 64});
    const int sizes[][2] = {{64, 64}, {32, 32}, {1, 1}, {7, 3}, {64, 1}, {1, 64}, {16, 5}, {33, 17}};
    for (int variant = 0; variant < 40; ++variant) {
        const int w = sizes[variant % 8][0], h = sizes[variant % 8][1];
        const int maxBits = 1 + (variant * 5) % 20;
        std::vector<std::uint32_t> coefs(static_cast<std::size_t>(w) * h);
        for (auto& v : coefs) {
            const std::uint32_t mag = rng.in(0, 3) == 0 ? 0 : rng.next() & ((1u << maxBits) - 1);
            v = mag | (rng.in(0, 1) ? 0x80000000u : 0);
        }
        const int style = variant % 32;
        const int termMode = 1 + variant % 3;
        const int subband = variant % 4;
        int sfBits = 0, nPasses = 0, nSeg = 0;
        if (zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(reinterpret_cast<const Zeb32s*>(coefs.data()), 4 * w,
                                                   ZebSize{w, h}, enc, subband, 31, termMode, 0, style, &sfBits,
                                                   &nPasses, &nSeg) != zebOk)
            continue;
        CodeBlockCase c;
        c.width = w, c.height = h, c.subband = subband, c.sfBits = sfBits;
        c.nPasses = variant % 5 == 4 ? nPasses / 2 : nPasses;
        c.flags = style | (termMode == 2 ? ZEB_CB_CHECK_PTERM : 0) | (variant % 3 == 0 ? ZEB_CB_CONCEAL : 0) |
                  (variant % 7 == 0 ? ZEB_CB_KEEP_LOW_BITS : 0);
        c.stepExtra = variant % 4;
        for (int more = 1; more;) {
            std::vector<std::uint8_t> chunk(4096);
            int len = static_cast<int>(chunk.size());
            if (zebiEncodeStoreBits_JPEG2K_1u(chunk.data(), &len, enc, &more) != zebOk) break;
            c.data.insert(c.data.end(), chunk.begin(), chunk.begin() + len);
        }
        for (int s = 0; s < nSeg; ++s) {
            int len = 0;
            zebiEncodeGetTermPassLen_JPEG2K(enc, s, &len);
            c.segLens.push_back(len);
            c.ops.push_back(static_cast<std::uint8_t>(s == 0 ? 0x80 | (nPasses & 0x7F) : 0));
        }
        if (c.segLens.size() > 255) continue;
        cases.push_back(c);
    }
    zebiEncodeFree_JPEG2K(enc);
    return cases;
}

}  // namespace zebfuzz
