// Baseline block decoding: zebiDecodeHuffman8x8_JPEG_1u16s_C1 (stateful,
// bounded source) and zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1 (no length
// limit: the stream is given a terminating EOI marker, as a real scan ends in
// one).  Blocks are decoded one after the other until an error, as a decoder
// walks a scan.
//
// Input: mode (bit 0 Direct, bit 1 misaligned block, bits 2-7 block count - 1),
// last DC (16 bits), Direct only: read-ahead word (32 bits) and its valid bit
// count (0..32), DC table (DHT form), AC table (DHT form), the entropy-coded
// bytes.
#include "fuzz_common.h"

using namespace zebfuzz;

namespace {

void decodeStateful(Heap<std::uint8_t>& src, int len, Zeb16s* block, Zeb16s lastDC,
                    const ZebDecodeHuffmanSpec* dc, const ZebDecodeHuffmanSpec* ac, int blocks) {
    Heap<std::uint8_t> state([] { int n = 0; zebiDecodeHuffmanStateGetBufSize_JPEG_8u(&n); return n; }());
    auto* st = reinterpret_cast<ZebDecodeHuffmanState*>(state.get());
    zebiDecodeHuffmanStateInit_JPEG_8u(st);
    int pos = 0, marker = 0;
    for (int b = 0; b < blocks; ++b) {
        const ZebResult r = zebiDecodeHuffman8x8_JPEG_1u16s_C1(src.get(), len,
                                                               &pos, block, &lastDC, &marker, dc, ac, st);
        ZEBFUZZ_REQUIRE(pos >= 0 && pos <= len);
        ZEBFUZZ_REQUIRE(marker >= 0 && marker <= 0xFE);
        if (r != zebOk) {
            ZEBFUZZ_REQUIRE(r == zebErrBufferEnd || r == zebErrCodeRange || r == zebErrBlockOverrun);
            return;
        }
    }
}

void decodeDirect(const std::vector<std::uint8_t>& payload, Zeb16s* block, Zeb16s lastDC, Zeb32u prefetched,
                  int valid, const ZebDecodeHuffmanSpec* dc, const ZebDecodeHuffmanSpec* ac, int blocks) {
    // The entropy-coded bytes end at an EOI marker.
    Heap<std::uint8_t> src(payload.size() + 2);
    copyTo(src, payload);
    src[payload.size()] = 0xFF;
    src[payload.size() + 1] = 0xD9;
    int bitPos = 0, marker = 0;
    for (int b = 0; b < blocks; ++b) {
        const ZebResult r = zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(src.get(), &bitPos, block, &lastDC, &marker,
                                                                      &prefetched, &valid, dc, ac);
        ZEBFUZZ_REQUIRE(bitPos >= 0 && bitPos % 8 == 0 && static_cast<std::size_t>(bitPos / 8) <= src.size());
        ZEBFUZZ_REQUIRE(valid >= 0 && valid <= 32);
        if (r != zebOk) {
            ZEBFUZZ_REQUIRE(r == zebErrBufferEnd || r == zebErrCodeRange || r == zebErrBlockOverrun);
            return;
        }
        if (marker != 0 && valid == 0) return;  // the scan has ended
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const int mode = in.u8();
    const bool direct = mode & 1, misaligned = mode & 2;
    const int blocks = 1 + (mode >> 2);
    const Zeb16s lastDC = static_cast<Zeb16s>(in.u16());
    Zeb32u prefetched = 0;
    int valid = 0;
    if (direct) {
        prefetched = in.u32();
        valid = in.range(0, 32);
    }
    const Dht dcDht = readDht(in), acDht = readDht(in);
    DecodeTable dc(dcDht), ac(acDht);
    if (!dc.get() || !ac.get()) return 0;
    const std::vector<std::uint8_t> payload = in.rest();

    Heap<Zeb16s> blockMem(64 + (misaligned ? 1 : 0));
    Zeb16s* block = blockMem.get() + (misaligned ? 1 : 0);
    if (direct) {
        decodeDirect(payload, block, lastDC, prefetched, valid, dc.get(), ac.get(), blocks);
    } else {
        Heap<std::uint8_t> src(payload.size());
        copyTo(src, payload);
        decodeStateful(src, static_cast<int>(payload.size()), block, lastDC, dc.get(), ac.get(), blocks);
    }
    return 0;
}

// Seeds: blocks of random quantised coefficients coded by the baseline
// encoder with optimal tables, in both modes.
void zebfuzz::writeSeeds(Seeds& seeds) {
    Lcg rng{12345};
    for (int variant = 0; variant < 12; ++variant) {
        const int blocks = 1 + variant * 5;
        const int spread = 1 << (variant % 8);
        std::vector<Zeb16s> coefs(static_cast<std::size_t>(blocks) * 64, 0);
        for (int b = 0; b < blocks; ++b)
            for (int k = 0; k < 64; ++k)
                if (k == 0 || rng.in(0, 63) < 64 - k) coefs[b * 64 + k] = static_cast<Zeb16s>(rng.in(-spread, spread));
        Zeb32s dcStats[256] = {}, acStats[256] = {};
        Zeb16s pred = 0;
        for (int b = 0; b < blocks; ++b) zebiGetHuffmanStatistics8x8_JPEG_16s_C1(&coefs[b * 64], dcStats, acStats, &pred);
        const Dht dcDht = optimalDht(dcStats), acDht = optimalDht(acStats);
        ZebEncodeHuffmanSpec *dcEnc = nullptr, *acEnc = nullptr;
        zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(dcDht.bits, dcDht.vals, &dcEnc);
        zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(acDht.bits, acDht.vals, &acEnc);
        ZebEncodeHuffmanState* st = nullptr;
        zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&st);
        std::vector<std::uint8_t> stream(static_cast<std::size_t>(blocks) * 256 + 16);
        int pos = 0;
        pred = 0;
        for (int b = 0; b < blocks; ++b)
            zebiEncodeHuffman8x8_JPEG_16s1u_C1(&coefs[b * 64], stream.data(), static_cast<int>(stream.size()), &pos,
                                               &pred, dcEnc, acEnc, st, 0);
        zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, stream.data(), static_cast<int>(stream.size()), &pos, nullptr,
                                           nullptr, nullptr, st, 1);
        stream.resize(static_cast<std::size_t>(pos));
        if (variant % 3 == 0) {  // a restart marker after the scan
            stream.push_back(0xFF);
            stream.push_back(0xD0);
        }
        for (int direct = 0; direct < 2; ++direct) {
            Output out;
            out.u8(direct | (variant & 1) << 1 | (blocks - 1) << 2);
            out.u16(0);
            if (direct) {
                out.u32(0);
                out.u8(0);
            }
            writeDht(out, dcDht);
            writeDht(out, acDht);
            out.bytes(stream);
            seeds.add(out.b);
        }
        zebiEncodeHuffmanStateFree_JPEG_8u(st);
        zebiEncodeHuffmanSpecFree_JPEG_8u(dcEnc);
        zebiEncodeHuffmanSpecFree_JPEG_8u(acEnc);
    }
}
