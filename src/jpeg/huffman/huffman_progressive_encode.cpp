// Progressive (T.81 Annex G) block encoding and statistics: DC first and
// refinement scans through the byte-wise writer, AC first (spectral
// selection with end-of-band runs spanning blocks) and AC refinement
// (successive approximation with buffered correction bits) through the
// AC-family writer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/check.h"
#include "jpeg/huffman/huffman_progressive.h"

namespace zeb::huff {
namespace {

// ---- end-of-band runs ------------------------------------------------------------------

// Class of an end-of-band run n > 0: floor(log2 n).
inline int eobClass(int n) { return bitLength(static_cast<std::uint32_t>(n)) - 1; }

// Writes the pending EOB run (EOBn symbol and its extra bits) and, for
// refinement scans, every buffered correction bit.
ZebResult emitEobRun(AcWriter& w, EncodeState& st, const EncodeSpec& ac, bool refine) {
    const int n = st.eobRun;
    if (n > 0) {
        const int c = eobClass(n);
        if (c > 14) return zebErrCodeRange;
        if (ZebResult r = w.putCode(ac.entry[c << 4]); r != zebOk) return r;
        if (ZebResult r = w.putBits(static_cast<std::uint32_t>(n), c); r != zebOk) return r;
        st.eobRun = 0;
    }
    if (refine) {
        for (int i = 0; i < st.correctionCount; ++i)
            if (ZebResult r = w.putBits(st.correctionBits[i], 1); r != zebOk) return r;
        st.correctionCount = 0;
    }
    return zebOk;
}

ZebResult putBitArray(AcWriter& w, const std::uint8_t* bits, int n) {
    for (int i = 0; i < n; ++i)
        if (ZebResult r = w.putBits(bits[i], 1); r != zebOk) return r;
    return zebOk;
}

// ---- AC first ------------------------------------------------------------------------------

ZebResult encodeAcFirst(const Zeb16s* src, int ss, int se, int al, const EncodeSpec& ac, EncodeState& st,
                        AcWriter& w) {
    int r = 0;
    for (int k = ss; k <= se; ++k) {
        const int c = src[kZigzagToNatural[k]];
        const int a = std::abs(c) >> al;
        if (a == 0) {
            ++r;
            continue;
        }
        if (ZebResult e = emitEobRun(w, st, ac, false); e != zebOk) return e;
        for (; r >= 16; r -= 16)
            if (ZebResult e = w.putCode(ac.entry[0xF0]); e != zebOk) return e;
        const int s = bitLength(static_cast<std::uint32_t>(a));
        if (s > 11) return zebErrCodeRange;
        if (ZebResult e = w.putCode(ac.entry[(r << 4) + s]); e != zebOk) return e;
        if (ZebResult e = w.putBits(static_cast<std::uint32_t>(c > 0 ? a : ~a), s); e != zebOk) return e;
        r = 0;
    }
    if (r > 0 && ++st.eobRun == kMaxEobRun) return emitEobRun(w, st, ac, false);
    return zebOk;
}

// ---- AC refinement ----------------------------------------------------------------------------

// Magnitudes after the point transform over the band, and the last position
// that becomes nonzero in this scan (0 when none does).
struct RefineBand {
    int a[64];
    int last = 0;
    RefineBand(const Zeb16s* src, int ss, int se, int al) {
        for (int k = ss; k <= se; ++k) {
            a[k] = std::abs(static_cast<int>(src[kZigzagToNatural[k]])) >> al;
            if (a[k] == 1) last = k;
        }
    }
};

ZebResult encodeAcRefine(const Zeb16s* src, int ss, int se, int al, const EncodeSpec& ac, EncodeState& st,
                         AcWriter& w) {
    const RefineBand band(src, ss, se, al);
    std::uint8_t bits[64];  // this block's correction bits not yet written
    int r = 0, b = 0;
    for (int k = ss; k <= se; ++k) {
        const int a = band.a[k];
        if (a == 0) {
            ++r;
            continue;
        }
        while (r > 15 && k <= band.last) {
            if (ZebResult e = emitEobRun(w, st, ac, true); e != zebOk) return e;
            if (ZebResult e = w.putCode(ac.entry[0xF0]); e != zebOk) return e;
            r -= 16;
            if (ZebResult e = putBitArray(w, bits, b); e != zebOk) return e;
            b = 0;
        }
        if (a > 1) {
            bits[b++] = static_cast<std::uint8_t>(a & 1);
            continue;
        }
        if (ZebResult e = emitEobRun(w, st, ac, true); e != zebOk) return e;
        if (ZebResult e = w.putCode(ac.entry[(r << 4) + 1]); e != zebOk) return e;
        if (ZebResult e = w.putBits(src[kZigzagToNatural[k]] > 0 ? 1u : 0u, 1); e != zebOk) return e;
        if (ZebResult e = putBitArray(w, bits, b); e != zebOk) return e;
        b = 0;
        r = 0;
    }
    if (r > 0 || b > 0) {
        ++st.eobRun;
        std::memcpy(st.correctionBits + st.correctionCount, bits, static_cast<std::size_t>(b));
        st.correctionCount += b;
        if (st.eobRun == kMaxEobRun || st.correctionCount > kMaxCorrectionBits) return emitEobRun(w, st, ac, true);
    }
    return zebOk;
}

// ---- AC flush -------------------------------------------------------------------------------

ZebResult flushAc(Zeb8u* dst, int dstLen, int* pPos, const EncodeSpec& ac, EncodeState& st) {
    AcWriter w(dst, dstLen, *pPos);
    w.load(st);
    // The run first (a failure keeps the run and skips the correction bits),
    // then the buffered correction bits, 1-bit padding and every pending byte.
    ZebResult first = emitEobRun(w, st, ac, false);
    if (first == zebOk) first = putBitArray(w, st.correctionBits, st.correctionCount);
    w.padToByte();
    const ZebResult drained = w.drain();
    if (first == zebOk) first = drained;
    *pPos = w.position();
    const std::int32_t run = st.eobRun;
    std::memset(&st, 0, sizeof st);
    st.eobRun = run;
    return first;
}

using AcBlockCoder = ZebResult (*)(const Zeb16s*, int, int, int, const EncodeSpec&, EncodeState&, AcWriter&);

ZebResult encodeAcCall(AcBlockCoder coder, const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes, int* pDstCurrPos,
                       int ss, int se, int al, const ZebEncodeHuffmanSpec* pAcTable,
                       ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    ZEB_CHECK(ptr(pDst), length(dstLenBytes), ptr(pDstCurrPos, pAcTable, pEncHuffState));
    EncodeState& st = *rec(pEncHuffState);
    if (bFlushState) return flushAc(pDst, dstLenBytes, pDstCurrPos, *rec(pAcTable), st);
    ZEB_CHECK(ptr(pSrc), when(badSpectralBand(ss, se, al), zebErrBadArg));
    AcWriter w(pDst, dstLenBytes, *pDstCurrPos);
    w.load(st);
    const ZebResult r = coder(pSrc, ss, se, al, *rec(pAcTable), st, w);
    w.store(st);
    *pDstCurrPos = w.position();
    return r;
}

// ---- statistics ------------------------------------------------------------------------------

// Counts the pending EOB run as the encoder would emit it, and clears it.
ZebResult tallyEobRun(Zeb32s* stats, EncodeState& st) {
    if (st.eobRun > 0) {
        const int c = eobClass(st.eobRun);
        if (c > 14) return zebErrCodeRange;
        stats[c << 4] += 1;
    }
    st.eobRun = 0;
    st.correctionCount = 0;
    return zebOk;
}

ZebResult statsAcFirst(const Zeb16s* src, Zeb32s* stats, int ss, int se, int al, EncodeState& st) {
    int r = 0;
    for (int k = ss; k <= se; ++k) {
        const int a = std::abs(static_cast<int>(src[kZigzagToNatural[k]])) >> al;
        if (a == 0) {
            ++r;
            continue;
        }
        if (ZebResult e = tallyEobRun(stats, st); e != zebOk) return e;
        stats[0xF0] += r / 16;
        r %= 16;
        const int s = bitLength(static_cast<std::uint32_t>(a));
        if (s > 10) return zebErrCodeRange;
        stats[(r << 4) + s] += 1;
        r = 0;
    }
    if (r > 0 && ++st.eobRun == kMaxEobRun) return tallyEobRun(stats, st);
    return zebOk;
}

ZebResult statsAcRefine(const Zeb16s* src, Zeb32s* stats, int ss, int se, int al, EncodeState& st) {
    const RefineBand band(src, ss, se, al);
    int r = 0, b = 0;
    for (int k = ss; k <= se; ++k) {
        const int a = band.a[k];
        if (a == 0) {
            ++r;
            continue;
        }
        while (r > 15 && k <= band.last) {
            if (ZebResult e = tallyEobRun(stats, st); e != zebOk) return e;
            stats[0xF0] += 1;
            r -= 16;
            b = 0;
        }
        if (a > 1) {
            ++b;
            continue;
        }
        if (ZebResult e = tallyEobRun(stats, st); e != zebOk) return e;
        stats[(r << 4) + 1] += 1;
        b = 0;
        r = 0;
    }
    if (r > 0 || b > 0) {
        ++st.eobRun;
        st.correctionCount += b;
        if (st.eobRun == kMaxEobRun || st.correctionCount > kMaxCorrectionBits) return tallyEobRun(stats, st);
    }
    return zebOk;
}

using AcStatsCoder = ZebResult (*)(const Zeb16s*, Zeb32s*, int, int, int, EncodeState&);

ZebResult statsAcCall(AcStatsCoder coder, const Zeb16s* pSrc, Zeb32s* pAcStatistics, int ss, int se, int al,
                      ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    ZEB_CHECK(ptr(pAcStatistics, pEncHuffState));
    EncodeState& st = *rec(pEncHuffState);
    if (bFlushState) {
        const ZebResult r = tallyEobRun(pAcStatistics, st);
        std::memset(&st, 0, sizeof st);
        return r;
    }
    ZEB_CHECK(ptr(pSrc), when(badSpectralBand(ss, se, al), zebErrBadArg));
    return coder(pSrc, pAcStatistics, ss, se, al, st);
}

// DC first: the point-transformed DC difference, category limited to 11.
inline ZebResult dcFirstDiff(const Zeb16s* src, Zeb16s* pLastDC, int al, int& diff, int& s) {
    const int v = src[0] >> al;
    diff = v - *pLastDC;
    *pLastDC = static_cast<Zeb16s>(v);
    s = category(diff);
    return s > 11 ? zebErrCodeRange : zebOk;
}

}  // namespace
}  // namespace zeb::huff

using namespace zeb::huff;

extern "C" {

ZEB_API ZebResult zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                            int* pDstCurrPos, Zeb16s* pLastDC, int Al,
                                                            const ZebEncodeHuffmanSpec* pDcTable,
                                                            ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    ZEB_CHECK(ptr(pDst), length(dstLenBytes), ptr(pDstCurrPos, pEncHuffState));
    EncodeState& st = *rec(pEncHuffState);
    if (bFlushState) return flushByteWise(pDst, dstLenBytes, pDstCurrPos, st);
    ZEB_CHECK(ptr(pSrc, pLastDC), when(badPointTransform(Al), zebErrBadArg), ptr(pDcTable));
    int diff, s;
    if (ZebResult r = dcFirstDiff(pSrc, pLastDC, Al, diff, s); r != zebOk) return r;
    ByteWriter w(pDst, dstLenBytes, *pDstCurrPos);
    w.load(st);
    const ZebResult r = w.putSymbol(rec(pDcTable)->entry[s], extraBits(diff, s), s);
    w.store(st);
    *pDstCurrPos = w.position();
    return r;
}

ZEB_API ZebResult zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                             int* pDstCurrPos, int Al,
                                                             ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    ZEB_CHECK(ptr(pDst), length(dstLenBytes), ptr(pDstCurrPos, pEncHuffState));
    EncodeState& st = *rec(pEncHuffState);
    if (bFlushState) return flushByteWise(pDst, dstLenBytes, pDstCurrPos, st);
    ZEB_CHECK(ptr(pSrc), when(badPointTransform(Al), zebErrBadArg));
    ByteWriter w(pDst, dstLenBytes, *pDstCurrPos);
    w.load(st);
    const ZebResult r = w.putBits(static_cast<std::uint32_t>(pSrc[0] >> Al) & 1u, 1);
    w.store(st);
    *pDstCurrPos = w.position();
    return r;
}

ZEB_API ZebResult zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                            int* pDstCurrPos, int Ss, int Se, int Al,
                                                            const ZebEncodeHuffmanSpec* pAcTable,
                                                            ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    return encodeAcCall(encodeAcFirst, pSrc, pDst, dstLenBytes, pDstCurrPos, Ss, Se, Al, pAcTable, pEncHuffState,
                        bFlushState);
}

ZEB_API ZebResult zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                             int* pDstCurrPos, int Ss, int Se, int Al,
                                                             const ZebEncodeHuffmanSpec* pAcTable,
                                                             ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    return encodeAcCall(encodeAcRefine, pSrc, pDst, dstLenBytes, pDstCurrPos, Ss, Se, Al, pAcTable, pEncHuffState,
                        bFlushState);
}

ZEB_API ZebResult zebiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pDcStatistics,
                                                                 Zeb16s* pLastDC, int Al) {
    ZEB_CHECK(ptr(pSrc, pDcStatistics, pLastDC), when(badPointTransform(Al), zebErrBadArg));
    int diff, s;
    if (ZebResult r = dcFirstDiff(pSrc, pLastDC, Al, diff, s); r != zebOk) return r;
    pDcStatistics[s] += 1;
    return zebOk;
}

ZEB_API ZebResult zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pAcStatistics, int Ss,
                                                                 int Se, int Al, ZebEncodeHuffmanState* pEncHuffState,
                                                                 int bFlushState) {
    return statsAcCall(statsAcFirst, pSrc, pAcStatistics, Ss, Se, Al, pEncHuffState, bFlushState);
}

ZEB_API ZebResult zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pAcStatistics, int Ss,
                                                                  int Se, int Al, ZebEncodeHuffmanState* pEncHuffState,
                                                                  int bFlushState) {
    return statsAcCall(statsAcRefine, pSrc, pAcStatistics, Ss, Se, Al, pEncHuffState, bFlushState);
}

}  // extern "C"
