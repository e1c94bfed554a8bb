// Huffman table builders: zebiEncodeHuffmanSpecInit_JPEG_8u and
// zebiDecodeHuffmanSpecInit_JPEG_8u on any DHT form, and
// zebiEncodeHuffmanRawTableInit_JPEG_8u on any frequencies.
//
// Input: mode (0: a DHT form for both builds; 1: frequencies), then either
// the DHT form (16 counts, up to 256 symbols), or a frequency format byte
// (bit 0: raw 32-bit values; else 16-bit values shifted left by the byte's
// bits 1-4), a symbol count (1..256) and that many frequencies.
//
// Properties: a table that the encoder build accepts is accepted by the
// decoder build too, and every listed symbol gets a code of its length; a
// table made from nonnegative frequencies totalling at most 1000000000 (the
// bound of T.81 K.2 above which nodes are no longer merged) passes the
// encoder build and lists exactly the symbols with a nonzero frequency.
#include "fuzz_common.h"

using namespace zebfuzz;

namespace {

void buildBoth(const Dht& d) {
    Heap<std::uint8_t> encMem([] { int n = 0; zebiEncodeHuffmanSpecGetBufSize_JPEG_8u(&n); return n; }());
    auto* enc = reinterpret_cast<ZebEncodeHuffmanSpec*>(encMem.get());
    const ZebResult re = zebiEncodeHuffmanSpecInit_JPEG_8u(d.bits, d.vals, enc);
    DecodeTable dec(d);
    ZEBFUZZ_REQUIRE(re == zebOk || re == zebErrHuffTable);
    if (re != zebOk) return;
    ZEBFUZZ_REQUIRE(dec.get() != nullptr);
    // Each symbol's entry holds the length of its last listing.
    const auto* entries = reinterpret_cast<const std::uint32_t*>(encMem.get());
    int k = 0, lengthOf[256] = {};
    for (int len = 1; len <= 16; ++len)
        for (int i = 0; i < d.bits[len - 1]; ++i) lengthOf[d.vals[k++]] = len;
    for (int s = 0; s < 256; ++s) ZEBFUZZ_REQUIRE(static_cast<int>(entries[s] >> 16) == lengthOf[s]);
}

void fromFrequencies(Input& in) {
    const int format = in.u8();
    const int count = in.range(1, 256);
    Heap<Zeb32s> stats(256);
    stats.fill(0);
    bool nonnegative = true;
    long long sum = 1;  // the reserved symbol
    for (int s = 0; s < count; ++s) {
        stats[s] = format & 1 ? static_cast<Zeb32s>(in.u32()) : static_cast<Zeb32s>(in.u16()) << (format >> 1 & 15);
        nonnegative = nonnegative && stats[s] >= 0;
        sum += stats[s];
    }
    Heap<Zeb8u> bits(16), vals(256);
    const ZebResult r = zebiEncodeHuffmanRawTableInit_JPEG_8u(stats.get(), bits.get(), vals.get());
    ZEBFUZZ_REQUIRE(r == zebOk || r == zebErrHuffTable);
    // Above the bound the merging may leave several trees: no valid table.
    if (r != zebOk || !nonnegative || sum > 1000000000) return;
    Dht d;
    std::memcpy(d.bits, bits.get(), 16);
    std::memcpy(d.vals, vals.get(), 256);
    bool seen[256] = {};
    int nonzero = 0;
    for (int s = 0; s < 256; ++s) nonzero += stats[s] != 0;
    ZEBFUZZ_REQUIRE(d.total() == nonzero);
    for (int i = 0; i < d.total(); ++i) {
        const int s = d.vals[i];
        ZEBFUZZ_REQUIRE(!seen[s] && stats[s] > 0);
        seen[s] = true;
    }
    Heap<std::uint8_t> encMem([] { int n = 0; zebiEncodeHuffmanSpecGetBufSize_JPEG_8u(&n); return n; }());
    ZEBFUZZ_REQUIRE(zebiEncodeHuffmanSpecInit_JPEG_8u(d.bits, d.vals,
                                                      reinterpret_cast<ZebEncodeHuffmanSpec*>(encMem.get())) == zebOk);
    buildBoth(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    if (in.u8() & 1) {
        fromFrequencies(in);
    } else {
        // The counts and the symbols in blocks of exactly their size.
        Heap<Zeb8u> bits(16);
        for (int i = 0; i < 16; ++i) bits[i] = in.u8();
        int total = 0;
        for (int i = 0; i < 16; ++i) total += bits[i];
        Heap<Zeb8u> vals(total < 256 ? total : 256);
        for (std::size_t i = 0; i < vals.size(); ++i) vals[i] = in.u8();
        if (total > 256) {  // rejected before any symbol is read
            Heap<std::uint8_t> mem(1644);
            ZEBFUZZ_REQUIRE(zebiDecodeHuffmanSpecInit_JPEG_8u(bits.get(), vals.get(),
                                                              reinterpret_cast<ZebDecodeHuffmanSpec*>(mem.get())) ==
                            zebErrHuffTable);
            return 0;
        }
        Dht d;
        std::memcpy(d.bits, bits.get(), 16);
        if (total) std::memcpy(d.vals, vals.get(), vals.size());
        // The builds with the symbols in a block of exactly the listed size.
        Heap<std::uint8_t> encMem(1024), decMem(1644);
        zebiEncodeHuffmanSpecInit_JPEG_8u(bits.get(), vals.get(), reinterpret_cast<ZebEncodeHuffmanSpec*>(encMem.get()));
        zebiDecodeHuffmanSpecInit_JPEG_8u(bits.get(), vals.get(), reinterpret_cast<ZebDecodeHuffmanSpec*>(decMem.get()));
        buildBoth(d);
    }
    return 0;
}

// Seeds: optimal tables and the frequencies they came from.
void zebfuzz::writeSeeds(Seeds& seeds) {
    Lcg rng{99};
    for (int variant = 0; variant < 24; ++variant) {
        const int count = 1 + (variant * 23) % 256;
        std::vector<Zeb32s> stats(256, 0);
        const int shift = variant % 12;
        for (int s = 0; s < count; ++s) stats[s] = variant % 5 == 0 ? s + 1 : rng.in(0, 65535);
        if (variant == 7) {  // Fibonacci frequencies: lengths beyond 16 before the limit
            stats[0] = stats[1] = 1;
            for (int s = 2; s < count && s < 40; ++s) stats[s] = stats[s - 1] + stats[s - 2];
        }
        Output fr;
        fr.u8(1);
        fr.u8(variant == 7 ? 1 : shift << 1);
        fr.u8(count - 1);
        for (int s = 0; s < count; ++s) {
            if (variant == 7) fr.u32(static_cast<std::uint32_t>(stats[s]));
            else fr.u16(static_cast<unsigned>(stats[s]));
        }
        seeds.add(fr.b);
        for (int s = 0; s < count; ++s) stats[s] = variant == 7 ? stats[s] : stats[s] << shift;
        if (count == 1 && stats[0] == 0) continue;
        Output dht;
        dht.u8(0);
        writeDht(dht, optimalDht(stats.data()));
        seeds.add(dht.b);
    }
}
