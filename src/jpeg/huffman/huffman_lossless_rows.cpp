// Lossless-mode (T.81 Annex H) Huffman coding of prediction differences: a
// category symbol 0 to 16 plus that many extra bits, category 16 standing for
// the difference 32768 with no extra bits (Table H.2).  Rows interleave up to
// four components column by column; single differences have their own calls.
#include <cstdint>

#include "core/check.h"
#include "jpeg/huffman/bitstream.h"

namespace zeb::huff {
namespace {

constexpr int kMaxRowComponents = 4;

inline ZebResult putDifference(ByteWriter& w, const EncodeSpec& t, Zeb16s d) {
    const int s = category(d);  // -32768 gives 16: the difference 32768
    return w.putSymbol(t.entry[s], extraBits(d, s), s <= 15 ? s : 0);
}

inline ZebResult getDifference(BitReader& r, const DecodeSpec& t, Zeb16s& d) {
    int s;
    if (ZebResult e = r.decodeSymbol(t, s); e != zebOk) return e;
    if (s == 0) {
        d = 0;
    } else if (s <= 15) {
        std::uint32_t v;
        if (ZebResult e = r.takeBits(s, v); e != zebOk) return e;
        d = static_cast<Zeb16s>(extend(v, s));
    } else {
        d = -32768;
    }
    return zebOk;
}

// Checks of the coded components: each row pointer, then its table.
template <class Row, class Table>
ZebResult checkComponents(Row* const* rows, Table* const* tables, int n) {
    for (int c = 0; c < n; ++c) {
        if (rows[c] == nullptr || tables[c] == nullptr) return zebErrNullPtr;
    }
    return zebOk;
}

}  // namespace
}  // namespace zeb::huff

using namespace zeb::huff;

extern "C" {

ZEB_API ZebResult zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(const Zeb16s* const* ppSrc, int nCols, int nComps, Zeb8u* pDst,
                                                      int dstLenBytes, int* pDstCurrPos,
                                                      const ZebEncodeHuffmanSpec* const* ppEncHuffTable,
                                                      ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    ZEB_CHECK(ptr(pDst), length(dstLenBytes), ptr(pDstCurrPos, pEncHuffState));
    EncodeState& st = *rec(pEncHuffState);
    if (bFlushState) return flushByteWise(pDst, dstLenBytes, pDstCurrPos, st);
    ZEB_CHECK(ptr(ppSrc), length(nCols, nComps), ptr(ppEncHuffTable));
    const int n = nComps < kMaxRowComponents ? nComps : kMaxRowComponents;
    if (ZebResult e = checkComponents(ppSrc, ppEncHuffTable, n); e != zebOk) return e;
    ByteWriter w(pDst, dstLenBytes, *pDstCurrPos);
    w.load(st);
    ZebResult r = zebOk;
    for (int i = 0; i < nCols && r == zebOk; ++i)
        for (int c = 0; c < n && r == zebOk; ++c) r = putDifference(w, *rec(ppEncHuffTable[c]), ppSrc[c][i]);
    w.store(st);
    *pDstCurrPos = w.position();
    return r;
}

ZEB_API ZebResult zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                      Zeb16s* const* ppDst, int nCols, int nComps, int* pMarker,
                                                      const ZebDecodeHuffmanSpec* const* ppDecHuffTable,
                                                      ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pSrc), length(srcLenBytes), ptr(pSrcCurrPos, ppDst), length(nCols, nComps),
              ptr(pMarker, ppDecHuffTable, pDecHuffState));
    const int n = nComps < kMaxRowComponents ? nComps : kMaxRowComponents;
    if (ZebResult e = checkComponents(ppDst, ppDecHuffTable, n); e != zebOk) return e;
    DecodeState& st = *rec(pDecHuffState);
    BitReader rd(pSrc, srcLenBytes, *pSrcCurrPos, *pMarker);
    rd.load(st);
    ZebResult r = zebOk;
    for (int i = 0; i < nCols && r == zebOk; ++i)
        for (int c = 0; c < n && r == zebOk; ++c) r = getDifference(rd, *rec(ppDecHuffTable[c]), ppDst[c][i]);
    rd.store(st);
    *pSrcCurrPos = rd.position();
    *pMarker = rd.marker();
    return r;
}

ZEB_API ZebResult zebiEncodeHuffmanOne_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                    int* pDstCurrPos, const ZebEncodeHuffmanSpec* pEncHuffTable,
                                                    ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    ZEB_CHECK(ptr(pDst), length(dstLenBytes), ptr(pDstCurrPos, pEncHuffState));
    EncodeState& st = *rec(pEncHuffState);
    if (bFlushState) return flushByteWise(pDst, dstLenBytes, pDstCurrPos, st);
    ZEB_CHECK(ptr(pSrc, pEncHuffTable));
    ByteWriter w(pDst, dstLenBytes, *pDstCurrPos);
    w.load(st);
    const ZebResult r = putDifference(w, *rec(pEncHuffTable), *pSrc);
    w.store(st);
    *pDstCurrPos = w.position();
    return r;
}

ZEB_API ZebResult zebiDecodeHuffmanOne_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                    Zeb16s* pDst, int* pMarker,
                                                    const ZebDecodeHuffmanSpec* pDecHuffTable,
                                                    ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pSrc), length(srcLenBytes), ptr(pSrcCurrPos, pDst, pMarker, pDecHuffTable, pDecHuffState));
    DecodeState& st = *rec(pDecHuffState);
    BitReader rd(pSrc, srcLenBytes, *pSrcCurrPos, *pMarker);
    rd.load(st);
    const ZebResult r = getDifference(rd, *rec(pDecHuffTable), *pDst);
    rd.store(st);
    *pSrcCurrPos = rd.position();
    *pMarker = rd.marker();
    return r;
}

ZEB_API ZebResult zebiGetHuffmanStatisticsOne_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pStatistics) {
    ZEB_CHECK(ptr(pSrc, pStatistics));
    pStatistics[category(*pSrc)] += 1;
    return zebOk;
}

}  // extern "C"
