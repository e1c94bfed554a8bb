// Progressive decoding: DC first, DC refinement, AC first and AC refinement
// (zebiDecodeHuffman8x8_{DCFirst,DCRefine,ACFirst,ACRefine}_JPEG_1u16s_C1)
// over a row of blocks sharing one state, as one scan of a component.
//
// Input: mode (bits 0-1 scan kind, bits 2-5 block count - 1, bits 6-7 the
// magnitude class of the coefficients), Al (0..13), Ss (1..63), Se (Ss..63),
// a 32-bit seed of the coefficients, the scan's table (DHT form, not for DC
// refinement), the entropy-coded bytes.  Refinement scans start from the
// coefficients with the bits below Al + 1 cleared, as the earlier scans of
// the same coefficients would leave them; first scans start from zero.
#include "fuzz_common.h"

using namespace zebfuzz;

namespace {

enum Kind { DCFirst, DCRefine, ACFirst, ACRefine };

constexpr int kNaturalOfZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

struct Scan {
    Kind kind;
    int blocks, magnitude, Al, Ss, Se;
    std::uint32_t seed;
};

// The coefficients of the scan's blocks (natural order).
std::vector<Zeb16s> coefficients(const Scan& s) {
    Lcg rng{s.seed};
    const int spread = 1 << (2 + 3 * s.magnitude);
    std::vector<Zeb16s> c(static_cast<std::size_t>(s.blocks) * 64, 0);
    for (int b = 0; b < s.blocks; ++b)
        for (int z = 0; z < 64; ++z)
            if (z == 0 || rng.in(0, 80) < 64 - z)
                c[b * 64 + kNaturalOfZigzag[z]] = static_cast<Zeb16s>(rng.in(-spread, spread));
    return c;
}

// What the first scans leave: magnitudes without their bits below Al + 1.
Zeb16s approximated(Zeb16s v, int Al, bool dc) {
    if (dc) return static_cast<Zeb16s>((v >> (Al + 1)) * (1 << (Al + 1)));
    const int m = (v < 0 ? -v : v) >> (Al + 1) << (Al + 1);
    return static_cast<Zeb16s>(v < 0 ? -m : m);
}

Scan readScan(Input& in) {
    Scan s;
    const int mode = in.u8();
    s.kind = static_cast<Kind>(mode & 3);
    s.blocks = 1 + (mode >> 2 & 15);
    s.magnitude = mode >> 6;
    s.Al = in.range(0, 13);
    s.Ss = in.range(1, 63);
    s.Se = in.range(s.Ss, 63);
    s.seed = in.u32();
    return s;
}

void writeScan(Output& out, const Scan& s) {
    out.u8(s.kind | (s.blocks - 1) << 2 | s.magnitude << 6);
    out.u8(s.Al);
    out.u8(s.Ss - 1);
    out.u8(s.Se - s.Ss);
    out.u32(s.seed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const Scan s = readScan(in);
    Dht dht;
    if (s.kind != DCRefine) dht = readDht(in);
    DecodeTable table(dht);
    if (s.kind != DCRefine && !table.get()) return 0;
    const std::vector<std::uint8_t> payload = in.rest();
    if (payload.empty()) return 0;
    Heap<std::uint8_t> src(payload.size());
    copyTo(src, payload);
    const int len = static_cast<int>(payload.size());

    Heap<Zeb16s> image(static_cast<std::size_t>(s.blocks) * 64);
    image.fill(0);
    if (s.kind == DCRefine || s.kind == ACRefine) {
        const std::vector<Zeb16s> c = coefficients(s);
        for (std::size_t i = 0; i < c.size(); ++i) image[i] = approximated(c[i], s.Al, i % 64 == 0);
    }
    Heap<std::uint8_t> stateMem([] { int n = 0; zebiDecodeHuffmanStateGetBufSize_JPEG_8u(&n); return n; }());
    auto* st = reinterpret_cast<ZebDecodeHuffmanState*>(stateMem.get());
    zebiDecodeHuffmanStateInit_JPEG_8u(st);
    int pos = 0, marker = 0;
    Zeb16s lastDC = 0;
    for (int b = 0; b < s.blocks; ++b) {
        Zeb16s* block = image.get() + b * 64;
        ZebResult r = zebOk;
        switch (s.kind) {
            case DCFirst:
                r = zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(src.get(), len, &pos, block, &lastDC, &marker, s.Al,
                                                               table.get(), st);
                break;
            case DCRefine:
                r = zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(src.get(), len, &pos, block, &marker, s.Al, st);
                break;
            case ACFirst:
                r = zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(src.get(), len, &pos, block, &marker, s.Ss, s.Se,
                                                               s.Al, table.get(), st);
                break;
            case ACRefine:
                r = zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(src.get(), len, &pos, block, &marker, s.Ss, s.Se,
                                                                s.Al, table.get(), st);
                break;
        }
        ZEBFUZZ_REQUIRE(pos >= 0 && pos <= len);
        if (r != zebOk) {
            ZEBFUZZ_REQUIRE(r == zebErrBufferEnd || r == zebErrCodeRange || r == zebErrBlockOverrun);
            break;
        }
    }
    return 0;
}

// Seeds: every scan kind coded by the progressive encoders with optimal tables.
void zebfuzz::writeSeeds(Seeds& seeds) {
    int n = 0;
    for (int kind = 0; kind < 4; ++kind)
        for (int variant = 0; variant < 8; ++variant, ++n) {
            Scan s;
            s.kind = static_cast<Kind>(kind);
            s.blocks = 1 + (variant * 5) % 16;
            s.magnitude = variant % 4;
            s.Al = variant % 3;
            s.Ss = kind < 2 ? 1 : 1 + (variant * 7) % 20;
            s.Se = kind < 2 ? 1 : (variant & 1 ? 63 : s.Ss + (variant * 3) % (64 - s.Ss));
            s.seed = 1000u + static_cast<std::uint32_t>(n);
            const std::vector<Zeb16s> c = coefficients(s);

            ZebEncodeHuffmanState *st = nullptr, *statSt = nullptr;
            zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&st);
            zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&statSt);
            Zeb32s stats[256] = {};
            Zeb16s pred = 0;
            for (int b = 0; b < s.blocks; ++b) {
                const Zeb16s* blk = &c[b * 64];
                if (kind == DCFirst) zebiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(blk, stats, &pred, s.Al);
                if (kind == ACFirst)
                    zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(blk, stats, s.Ss, s.Se, s.Al, statSt, 0);
                if (kind == ACRefine)
                    zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(blk, stats, s.Ss, s.Se, s.Al, statSt, 0);
            }
            if (kind == ACFirst) zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(nullptr, stats, s.Ss, s.Se, s.Al, statSt, 1);
            if (kind == ACRefine)
                zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(nullptr, stats, s.Ss, s.Se, s.Al, statSt, 1);
            stats[0] += 1;  // never an empty table
            const Dht dht = optimalDht(stats);
            ZebEncodeHuffmanSpec* enc = nullptr;
            zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(dht.bits, dht.vals, &enc);

            std::vector<std::uint8_t> stream(static_cast<std::size_t>(s.blocks) * 300 + 64);
            const int cap = static_cast<int>(stream.size());
            int pos = 0;
            pred = 0;
            for (int b = 0; b < s.blocks; ++b) {
                const Zeb16s* blk = &c[b * 64];
                if (kind == DCFirst)
                    zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(blk, stream.data(), cap, &pos, &pred, s.Al, enc, st, 0);
                if (kind == DCRefine) zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(blk, stream.data(), cap, &pos, s.Al, st, 0);
                if (kind == ACFirst)
                    zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(blk, stream.data(), cap, &pos, s.Ss, s.Se, s.Al, enc, st, 0);
                if (kind == ACRefine)
                    zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(blk, stream.data(), cap, &pos, s.Ss, s.Se, s.Al, enc, st, 0);
            }
            if (kind == DCFirst)
                zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(nullptr, stream.data(), cap, &pos, nullptr, s.Al, nullptr, st, 1);
            if (kind == DCRefine) zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(nullptr, stream.data(), cap, &pos, s.Al, st, 1);
            if (kind == ACFirst)
                zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(nullptr, stream.data(), cap, &pos, s.Ss, s.Se, s.Al, enc, st, 1);
            if (kind == ACRefine)
                zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(nullptr, stream.data(), cap, &pos, s.Ss, s.Se, s.Al, enc, st, 1);
            stream.resize(static_cast<std::size_t>(pos));
            stream.push_back(0xFF);
            stream.push_back(0xD9);

            Output out;
            writeScan(out, s);
            if (kind != DCRefine) writeDht(out, dht);
            out.bytes(stream);
            seeds.add(out.b);
            zebiEncodeHuffmanSpecFree_JPEG_8u(enc);
            zebiEncodeHuffmanStateFree_JPEG_8u(st);
            zebiEncodeHuffmanStateFree_JPEG_8u(statSt);
        }
}
