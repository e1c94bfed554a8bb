// Row generators and packet helpers shared by the PackBits tests.
#pragma once

#include <cstdint>
#include <vector>

#include "common/harness.h"

namespace packtest {

using Bytes = std::vector<std::uint8_t>;

// A row made of random pieces: runs with lengths around 2, 3, 127, 128 and
// 129 (and their multiples), stretches of literals with no equal
// neighbours, literals with isolated pairs, and plain noise.
inline Bytes runRichRow(zebtest::Rng& rng, int width) {
    static const int kRunLengths[] = {1, 2, 3, 4, 125, 126, 127, 128, 129, 130, 255, 256, 257, 258, 383, 384, 385};
    Bytes row;
    row.reserve(width);
    std::uint8_t prev = static_cast<std::uint8_t>(rng.next());
    while (static_cast<int>(row.size()) < width) {
        const int kind = static_cast<int>(rng.range(0, 4));
        int n;
        if (kind == 0) n = kRunLengths[rng.range(0, 16)];
        else n = static_cast<int>(rng.range(1, rng.chance(0.3) ? 300 : 20));
        for (int t = 0; t < n && static_cast<int>(row.size()) < width; ++t) {
            std::uint8_t b;
            switch (kind) {
                case 0: b = prev; if (t == 0) b = static_cast<std::uint8_t>(prev + 1 + rng.range(0, 3)); break;
                case 1: b = static_cast<std::uint8_t>(prev + 1 + rng.range(0, 254)); break;  // no equal neighbours
                case 2: b = rng.chance(0.15) ? prev : static_cast<std::uint8_t>(prev + 1 + rng.range(0, 254)); break;
                case 3: b = static_cast<std::uint8_t>(rng.range(0, 3)); break;  // short runs by chance
                default: b = static_cast<std::uint8_t>(rng.next()); break;
            }
            row.push_back(b);
            prev = b;
        }
    }
    return row;
}

struct Packet {
    int start;     // offset of the header in the packed bytes
    int size;      // header plus data bytes
    int outBytes;  // row bytes the packet produces
};

// Splits a well-formed packed row into its packets.
inline std::vector<Packet> parsePackets(const Bytes& packed) {
    std::vector<Packet> out;
    std::size_t p = 0;
    while (p < packed.size()) {
        const int h = static_cast<std::int8_t>(packed[p]);
        if (h >= 0) out.push_back({static_cast<int>(p), h + 2, h + 1});
        else if (h == -128) out.push_back({static_cast<int>(p), 1, 0});
        else out.push_back({static_cast<int>(p), 2, 1 - h});
        p += out.back().size;
    }
    return out;
}

// Packs a row with ample space through the exported function.
inline Bytes pack(const Bytes& row) {
    Bytes out(row.size() * 2 + 2);
    int pos = 0;
    const ZebResult r = zebiPackBitsRow_TIFF_8u_C1(row.data(), static_cast<int>(row.size()), out.data(), &pos,
                                                   static_cast<int>(out.size()));
    EXPECT_EQ(r, zebOk);
    out.resize(pos);
    return out;
}

}  // namespace packtest
