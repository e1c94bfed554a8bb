// PackBits rows: zebiUnpackBitsRow_TIFF_8u_C1 on any packets, row after row
// as a strip is read, and zebiPackBitsRow_TIFF_8u_C1 into a destination of
// any size, whose packets must unpack to the row again.
//
// Input: mode (bit 0: pack), row width (1..4096), then for unpacking the
// packets; for packing the destination size (1..width + width / 128 + 2) and
// the row bytes (repeated to the width).
#include "fuzz_common.h"

using namespace zebfuzz;

namespace {

void unpackRows(const std::vector<std::uint8_t>& packets, int width) {
    if (packets.empty()) return;
    Heap<std::uint8_t> src(packets.size());
    copyTo(src, packets);
    Heap<std::uint8_t> row(static_cast<std::size_t>(width));
    const int len = static_cast<int>(packets.size());
    int pos = 0;
    for (int y = 0; y < 256 && pos < len; ++y) {
        const int before = pos;
        const ZebResult r = zebiUnpackBitsRow_TIFF_8u_C1(src.get(), &pos, len, row.get(), width);
        ZEBFUZZ_REQUIRE(pos > before && pos <= len);
        if (r != zebOk) {
            ZEBFUZZ_REQUIRE(r == zebErrPackBitsLength);
            return;
        }
    }
}

void packRow(const std::vector<std::uint8_t>& bytes, int width, int dstLen) {
    Heap<std::uint8_t> row(static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i) row[i] = bytes.empty() ? 0 : bytes[i % bytes.size()];
    Heap<std::uint8_t> dst(static_cast<std::size_t>(dstLen));
    int pos = 0;
    const ZebResult r = zebiPackBitsRow_TIFF_8u_C1(row.get(), width, dst.get(), &pos, dstLen);
    ZEBFUZZ_REQUIRE(pos >= 0 && pos <= dstLen);
    if (r != zebOk) {
        ZEBFUZZ_REQUIRE(r == zebErrPackBitsLength);
        return;
    }
    // Round trip: the packets give the row back and are read to their end.
    Heap<std::uint8_t> back(static_cast<std::size_t>(width));
    int readPos = 0;
    ZEBFUZZ_REQUIRE(zebiUnpackBitsRow_TIFF_8u_C1(dst.get(), &readPos, pos, back.get(), width) == zebOk);
    ZEBFUZZ_REQUIRE(readPos == pos);
    ZEBFUZZ_REQUIRE(std::memcmp(back.get(), row.get(), static_cast<std::size_t>(width)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const bool pack = in.u8() & 1;
    const int width = in.range(1, 4096);
    if (pack) {
        const int dstLen = in.range(1, width + width / 128 + 2);
        packRow(in.rest(), width, dstLen);
    } else {
        unpackRows(in.rest(), width);
    }
    return 0;
}

// Seeds: rows of runs and literals packed by the row encoder (several rows
// per strip for unpacking), and the same rows for packing.
void zebfuzz::writeSeeds(Seeds& seeds) {
    Lcg rng{4242};
    for (int variant = 0; variant < 16; ++variant) {
        const int width = 1 + (variant * 97) % 700;
        std::vector<std::uint8_t> strip;
        std::vector<std::uint8_t> firstRow;
        for (int y = 0; y < 1 + variant % 5; ++y) {
            std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
            for (int i = 0; i < width;) {
                const int run = rng.in(1, variant % 2 ? 200 : 4);
                const std::uint8_t v = static_cast<std::uint8_t>(rng.in(0, 255));
                for (int k = 0; k < run && i < width; ++k, ++i) row[i] = run > 2 ? v : static_cast<std::uint8_t>(rng.in(0, 255));
            }
            std::vector<std::uint8_t> packed(static_cast<std::size_t>(width) * 2 + 8);
            int pos = 0;
            zebiPackBitsRow_TIFF_8u_C1(row.data(), width, packed.data(), &pos, static_cast<int>(packed.size()));
            strip.insert(strip.end(), packed.begin(), packed.begin() + pos);
            if (y == 0) firstRow = row;
        }
        Output unpack;
        unpack.u8(0);
        unpack.u16(width - 1);
        unpack.bytes(strip);
        seeds.add(unpack.b);
        Output pack;
        pack.u8(1);
        pack.u16(width - 1);
        const int maxLen = width + width / 128 + 2, dstLen = maxLen - 1;  // read as 1 + value % maxLen
        if (maxLen <= 256) pack.u8(dstLen - 1);
        else pack.u16(dstLen - 1);
        pack.bytes(firstRow);
        seeds.add(pack.b);
    }
}
