// Test helpers of the Huffman coders: the T.81 Annex K example tables, table
// and state records backed by vectors, bit strings with stuffing for
// expected streams, and random coefficient blocks.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/harness.h"
#include "core/zigzag.h"
#include "jpeg/huffman/huffman_records.h"
#include "zeb.h"

namespace hufftest {

using Block = std::array<Zeb16s, 64>;  // natural order

// A block holding the given (zigzag position, value) pairs, zero elsewhere.
inline Block blockOf(std::initializer_list<std::pair<int, int>> zigzagValues) {
    Block b{};
    for (auto [k, v] : zigzagValues) b[zeb::kZigzagToNatural[k]] = static_cast<Zeb16s>(v);
    return b;
}

struct TableSpec {
    std::array<Zeb8u, 16> bits;
    std::vector<Zeb8u> vals;
};

// T.81 Table K.3 (luminance DC) and K.4 (chrominance DC).
inline TableSpec kDcLuma() {
    return {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
}
inline TableSpec kDcChroma() {
    return {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
}
// T.81 Table K.5 (luminance AC).
inline TableSpec kAcLuma() {
    return {{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
            {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
             0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0,
             0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28,
             0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
             0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
             0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
             0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7,
             0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5,
             0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
             0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
             0xf9, 0xfa}};
}
// T.81 Table K.6 (chrominance AC).
inline TableSpec kAcChroma() {
    return {{0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
            {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
             0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0,
             0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26,
             0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
             0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
             0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
             0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5,
             0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
             0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
             0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
             0xf9, 0xfa}};
}

// Records in plain vectors (4-byte aligned).
struct EncTable {
    std::vector<std::uint32_t> mem = std::vector<std::uint32_t>(256);
    ZebEncodeHuffmanSpec* get() { return reinterpret_cast<ZebEncodeHuffmanSpec*>(mem.data()); }
    const zeb::huff::EncodeSpec& rec() { return *reinterpret_cast<const zeb::huff::EncodeSpec*>(mem.data()); }
};
struct DecTable {
    std::vector<std::uint32_t> mem = std::vector<std::uint32_t>(1644 / 4);
    ZebDecodeHuffmanSpec* get() { return reinterpret_cast<ZebDecodeHuffmanSpec*>(mem.data()); }
    const zeb::huff::DecodeSpec& rec() { return *reinterpret_cast<const zeb::huff::DecodeSpec*>(mem.data()); }
};

inline EncTable makeEnc(const TableSpec& t) {
    EncTable e;
    EXPECT_EQ(zebOk, zebiEncodeHuffmanSpecInit_JPEG_8u(t.bits.data(), t.vals.data(), e.get()));
    return e;
}
inline DecTable makeDec(const TableSpec& t) {
    DecTable d;
    EXPECT_EQ(zebOk, zebiDecodeHuffmanSpecInit_JPEG_8u(t.bits.data(), t.vals.data(), d.get()));
    return d;
}

// Encoder and decoder states, zero-filled (initialised).
struct EncState {
    zeb::huff::EncodeState s{};
    ZebEncodeHuffmanState* get() { return reinterpret_cast<ZebEncodeHuffmanState*>(&s); }
};
struct DecState {
    zeb::huff::DecodeState s{};
    ZebDecodeHuffmanState* get() { return reinterpret_cast<ZebDecodeHuffmanState*>(&s); }
};

// Builds a bit string such as "100 110" (spaces ignored) into bytes with
// 0xFF/0x00 stuffing and the last partial byte padded with 1-bits.
inline std::vector<Zeb8u> stuffedBits(const std::string& bits) {
    std::vector<Zeb8u> out;
    unsigned acc = 0;
    int n = 0;
    auto push = [&](int b) {
        acc = (acc << 1) | static_cast<unsigned>(b);
        if (++n == 8) {
            out.push_back(static_cast<Zeb8u>(acc));
            if ((acc & 0xFF) == 0xFF) out.push_back(0);
            acc = 0;
            n = 0;
        }
    };
    for (char c : bits)
        if (c == '0' || c == '1') push(c - '0');
    while (n != 0) push(1);
    return out;
}

// The code of symbol `sym` in a DHT table as a bit string, derived here from
// the canonical-code rule independently of the library.
inline std::string codeOf(const TableSpec& t, int sym) {
    unsigned code = 0;
    std::size_t k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < t.bits[len - 1]; ++i, ++k, ++code) {
            if (t.vals[k] == sym) {
                std::string s;
                for (int b = len - 1; b >= 0; --b) s += ((code >> b) & 1) ? '1' : '0';
                return s;
            }
        }
        code <<= 1;
    }
    return "?";
}

// Random quantised blocks in natural order.  DC differences (to the previous
// block of the list) stay within maxDcDiff; AC magnitudes within maxAc.  The
// shape is chosen per block: all zero, sparse with long zero runs, photo-like
// decaying, dense, last position only, or extremes.
inline std::vector<Block> randomBlocks(zebtest::Rng& rng, int count, int maxDcDiff, int maxAc) {
    std::vector<Block> blocks(count);
    int lastDc = 0;
    for (auto& b : blocks) {
        b.fill(0);
        const int kind = static_cast<int>(rng.range(0, 9));
        auto ac = [&](int limit) {
            int v = static_cast<int>(rng.chance(0.15) ? limit : rng.range(1, limit));
            return static_cast<Zeb16s>(rng.chance(0.5) ? -v : v);
        };
        switch (kind) {
            case 0: break;                             // DC only
            case 1: b[63] = ac(maxAc); break;          // last position only
            case 2:                                    // a few coefficients after long runs
                for (int i = static_cast<int>(rng.range(1, 4)); i > 0; --i)
                    b[zeb::kZigzagToNatural[rng.range(1, 63)]] = ac(maxAc);
                break;
            case 3:                                    // dense
                for (int k = 1; k < 64; ++k)
                    if (rng.chance(0.9)) b[zeb::kZigzagToNatural[k]] = ac(maxAc);
                break;
            case 4:                                    // extremes everywhere
                for (int k = 1; k < 64; ++k) b[zeb::kZigzagToNatural[k]] = static_cast<Zeb16s>(rng.chance(0.5) ? maxAc : -maxAc);
                break;
            default: {                                 // photo-like: decaying magnitudes
                const int last = static_cast<int>(rng.range(1, 63));
                for (int k = 1; k <= last; ++k) {
                    if (!rng.chance(0.6 - 0.5 * k / 64.0)) continue;
                    const int lim = std::max(1, std::min(maxAc, static_cast<int>(200.0 / (k + 1))));
                    b[zeb::kZigzagToNatural[k]] = ac(lim);
                }
            }
        }
        int d = rng.chance(0.1) ? (rng.chance(0.5) ? maxDcDiff : -maxDcDiff)
                                : static_cast<int>(rng.range(-std::min(maxDcDiff, 300), std::min(maxDcDiff, 300)));
        int dc = lastDc + d;
        if (dc > 32767 || dc < -32768) dc = lastDc - d;
        b[0] = static_cast<Zeb16s>(dc);
        lastDc = dc;
    }
    return blocks;
}

}  // namespace hufftest
