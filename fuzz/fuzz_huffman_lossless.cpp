// Lossless difference decoding: zebiDecodeHuffmanRow_JPEG_1u16s_C1P4 over
// consecutive rows of up to six components (four coded), and
// zebiDecodeHuffmanOne_JPEG_1u16s_C1 value by value.
//
// Input: mode (bit 0 single values, bit 1 one table for all components),
// components (1..6), columns (1..512), rows (1..8), the tables (DHT form;
// one, or one per coded component), the entropy-coded bytes.
#include <memory>

#include "fuzz_common.h"

using namespace zebfuzz;

namespace {

struct Params {
    bool single, shared;
    int comps, cols, rows;
};

Params readParams(Input& in) {
    Params p;
    const int mode = in.u8();
    p.single = mode & 1;
    p.shared = mode & 2;
    p.comps = in.range(1, 6);
    p.cols = in.range(1, 512);
    p.rows = in.range(1, 8);
    return p;
}

void writeParams(Output& out, const Params& p) {
    out.u8((p.single ? 1 : 0) | (p.shared ? 2 : 0));
    out.u8(p.comps - 1);
    out.u16(p.cols - 1);
    out.u8(p.rows - 1);
}

int codedComps(const Params& p) { return p.comps < 4 ? p.comps : 4; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const Params p = readParams(in);
    const int coded = codedComps(p);
    std::unique_ptr<DecodeTable> tables[4];
    for (int c = 0; c < coded; ++c) {
        if (c == 0 || !p.shared) tables[c] = std::make_unique<DecodeTable>(readDht(in));
        if (!tables[p.shared ? 0 : c]->get()) return 0;
    }
    const std::vector<std::uint8_t> payload = in.rest();
    if (payload.empty()) return 0;
    Heap<std::uint8_t> src(payload.size());
    copyTo(src, payload);
    const int len = static_cast<int>(payload.size());

    Heap<std::uint8_t> stateMem([] { int n = 0; zebiDecodeHuffmanStateGetBufSize_JPEG_8u(&n); return n; }());
    auto* st = reinterpret_cast<ZebDecodeHuffmanState*>(stateMem.get());
    zebiDecodeHuffmanStateInit_JPEG_8u(st);
    int pos = 0, marker = 0;
    auto check = [&](ZebResult r) {
        ZEBFUZZ_REQUIRE(pos >= 0 && pos <= len);
        if (r != zebOk) ZEBFUZZ_REQUIRE(r == zebErrBufferEnd || r == zebErrCodeRange);
        return r == zebOk;
    };

    if (p.single) {
        Heap<Zeb16s> value(1);
        for (int i = 0; i < p.cols * p.rows; ++i)
            if (!check(zebiDecodeHuffmanOne_JPEG_1u16s_C1(src.get(), len, &pos, value.get(), &marker,
                                                           tables[0]->get(), st)))
                break;
        return 0;
    }
    // Rows and the pointer arrays exactly as long as the coded components need.
    std::unique_ptr<Heap<Zeb16s>> rows[4];
    Heap<Zeb16s*> rowPtrs(coded);
    Heap<const ZebDecodeHuffmanSpec*> tablePtrs(coded);
    for (int c = 0; c < coded; ++c) {
        rows[c] = std::make_unique<Heap<Zeb16s>>(p.cols);
        rowPtrs[c] = rows[c]->get();
        tablePtrs[c] = tables[p.shared ? 0 : c]->get();
    }
    for (int y = 0; y < p.rows; ++y)
        if (!check(zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(src.get(), len, &pos, rowPtrs.get(), p.cols, p.comps, &marker,
                                                         tablePtrs.get(), st)))
            break;
    return 0;
}

// Seeds: rows of differences coded by the row encoder with optimal tables
// (the single-value decoder reads the same stream as one component).
void zebfuzz::writeSeeds(Seeds& seeds) {
    Lcg rng{777};
    for (int variant = 0; variant < 16; ++variant) {
        Params p;
        p.single = variant % 4 == 3;
        p.shared = p.single || variant % 4 == 2;
        p.comps = p.single ? 1 : 1 + variant % 6;
        p.cols = 1 + (variant * 37) % 200;
        p.rows = 1 + variant % 8;
        const int coded = codedComps(p);
        const int spread = 1 << (variant % 16);
        std::vector<std::vector<Zeb16s>> diffs(static_cast<std::size_t>(p.rows) * coded, std::vector<Zeb16s>(p.cols));
        for (auto& row : diffs)
            for (auto& d : row) d = static_cast<Zeb16s>(rng.in(-spread, spread - 1));
        Zeb32s stats[4][256] = {};
        for (std::size_t r = 0; r < diffs.size(); ++r)
            for (Zeb16s d : diffs[r]) zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&d, stats[p.shared ? 0 : r % coded]);
        Dht dht[4];
        ZebEncodeHuffmanSpec* enc[4] = {};
        for (int c = 0; c < coded; ++c) {
            dht[c] = optimalDht(stats[p.shared ? 0 : c]);
            zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(dht[c].bits, dht[c].vals, &enc[c]);
        }
        ZebEncodeHuffmanState* st = nullptr;
        zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&st);
        std::vector<std::uint8_t> stream(static_cast<std::size_t>(p.rows) * coded * p.cols * 5 + 64);
        const int cap = static_cast<int>(stream.size());
        int pos = 0;
        const ZebEncodeHuffmanSpec* tablePtrs[4] = {};
        for (int c = 0; c < coded; ++c) tablePtrs[c] = enc[p.shared ? 0 : c];
        for (int y = 0; y < p.rows; ++y) {
            const Zeb16s* rowPtrs[4] = {};
            for (int c = 0; c < coded; ++c) rowPtrs[c] = diffs[static_cast<std::size_t>(y) * coded + c].data();
            zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(rowPtrs, p.cols, p.comps, stream.data(), cap, &pos, tablePtrs, st, 0);
        }
        zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, stream.data(), cap, &pos, nullptr, st, 1);
        stream.resize(static_cast<std::size_t>(pos));
        if (variant & 1) {
            stream.push_back(0xFF);
            stream.push_back(0xD1);
        }
        Output out;
        writeParams(out, p);
        for (int c = 0; c < (p.shared ? 1 : coded); ++c) writeDht(out, dht[c]);
        out.bytes(stream);
        seeds.add(out.b);
        zebiEncodeHuffmanStateFree_JPEG_8u(st);
        for (int c = 0; c < coded; ++c) zebiEncodeHuffmanSpecFree_JPEG_8u(enc[c]);
    }
}
