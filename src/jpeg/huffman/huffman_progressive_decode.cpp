// Progressive (T.81 Annex G.2) block decoding: each call adds what one scan
// carries to a block of the caller's coefficient image and leaves every other
// coefficient as it is.  End-of-band runs live in the decoder state.  The DC
// scans read through the byte-wise reader (at most 32 bits ahead); the AC
// scans read up to 64 bits ahead, so their state is never handed to the
// byte-wise decoders without re-initialisation.
#include <cstdint>

#include "core/check.h"
#include "jpeg/huffman/huffman_progressive.h"

namespace zeb::huff {
namespace {

constexpr int kByteWiseTop = 25;  // refill below 25 valid bits: at most 32 held
constexpr int kAcTop = 57;        // refill below 57 valid bits: at most 64 held

// Binds a reader to the caller's position, marker and state, and writes all
// three back when the call ends, whatever it returns.
template <int kTop>
class ScopedReader {
public:
    ScopedReader(const Zeb8u* src, int srcLen, int* pPos, int* pMarker, DecodeState& st)
        : r_(src, srcLen, *pPos, *pMarker), pPos_(pPos), pMarker_(pMarker), st_(st) {
        r_.load(st);
    }
    ~ScopedReader() {
        r_.store(st_);
        *pPos_ = r_.position();
        *pMarker_ = r_.marker();
    }
    ZebResult symbol(const DecodeSpec& t, int& sym) { return r_.template decodeSymbol<kTop>(t, sym); }
    ZebResult bits(int k, std::uint32_t& v) { return r_.template takeBits<kTop>(k, v); }

private:
    BitReader r_;
    int* pPos_;
    int* pMarker_;
    DecodeState& st_;
};

using AcReader = ScopedReader<kAcTop>;

// The EOBr run length: 2^r plus r further bits.
inline ZebResult eobRunLength(AcReader& rd, int r, std::int32_t& run) {
    std::uint32_t extra = 0;
    if (r > 0) {
        if (ZebResult e = rd.bits(r, extra); e != zebOk) return e;
    }
    run = static_cast<std::int32_t>((1u << r) + extra);
    return zebOk;
}

ZebResult decodeAcFirst(AcReader& rd, Zeb16s* dst, int ss, int se, int al, const DecodeSpec& ac, DecodeState& st) {
    if (st.eobRun > 0) {
        --st.eobRun;
        return zebOk;
    }
    for (int k = ss; k <= se;) {
        int rs;
        if (ZebResult e = rd.symbol(ac, rs); e != zebOk) return e;
        const int r = rs >> 4, s = rs & 15;
        if (s != 0) {
            k += r;
            std::uint32_t v;
            if (ZebResult e = rd.bits(s, v); e != zebOk) return e;
            if (k > 71) return zebErrBlockOverrun;
            dst[kZigzag72[k]] = static_cast<Zeb16s>(static_cast<std::uint32_t>(extend(v, s)) << al);
            ++k;
        } else if (r == 15) {
            k += 16;
        } else {
            std::int32_t run;
            if (ZebResult e = eobRunLength(rd, r, run); e != zebOk) return e;
            st.eobRun = run - 1;
            break;
        }
    }
    return zebOk;
}

// One correction bit for an already nonzero coefficient: when it is 1 and
// the bit of this scan is not yet set, the magnitude grows by 2^Al.
inline ZebResult refineCoefficient(AcReader& rd, Zeb16s& x, int p1) {
    std::uint32_t bit;
    if (ZebResult e = rd.bits(1, bit); e != zebOk) return e;
    if (bit && (x & p1) == 0) x = static_cast<Zeb16s>(x >= 0 ? x + p1 : x - p1);
    return zebOk;
}

ZebResult decodeAcRefine(AcReader& rd, Zeb16s* dst, int ss, int se, int al, const DecodeSpec& ac, DecodeState& st) {
    const int p1 = 1 << al;
    int k = ss;
    if (st.eobRun == 0) {
        while (k <= se) {
            int rs;
            if (ZebResult e = rd.symbol(ac, rs); e != zebOk) return e;
            int r = rs >> 4;
            const int s = rs & 15;
            int value = 0;
            if (s != 0) {  // only 1 is valid; any other size is read as 1
                std::uint32_t sign;
                if (ZebResult e = rd.bits(1, sign); e != zebOk) return e;
                value = sign ? p1 : -p1;
            } else if (r < 15) {
                std::int32_t run;
                if (ZebResult e = eobRunLength(rd, r, run); e != zebOk) return e;
                st.eobRun = run;
                break;
            }
            // Pass r zero-history coefficients, refining the nonzero ones on the way.
            for (; k <= se; ++k) {
                Zeb16s& x = dst[kZigzagToNatural[k]];
                if (x != 0) {
                    if (ZebResult e = refineCoefficient(rd, x, p1); e != zebOk) return e;
                } else if (r-- == 0) {
                    break;
                }
            }
            // The walk stopped at the target zero (for ZRL the 16th): the
            // new coefficient goes there and the band moves past it.
            if (value != 0) dst[kZigzag72[k]] = static_cast<Zeb16s>(value);
            ++k;
        }
    }
    if (st.eobRun > 0) {
        for (; k <= se; ++k) {
            Zeb16s& x = dst[kZigzagToNatural[k]];
            if (x != 0) {
                if (ZebResult e = refineCoefficient(rd, x, p1); e != zebOk) return e;
            }
        }
        --st.eobRun;
    }
    return zebOk;
}

using AcBlockDecoder = ZebResult (*)(AcReader&, Zeb16s*, int, int, int, const DecodeSpec&, DecodeState&);

ZebResult decodeAcCall(AcBlockDecoder decoder, const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos, Zeb16s* pDst,
                       int* pMarker, int ss, int se, int al, const ZebDecodeHuffmanSpec* pAcTable,
                       ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pSrc), length(srcLenBytes), ptr(pSrcCurrPos, pDst, pMarker),
              when(badSpectralBand(ss, se, al), zebErrBadArg), ptr(pAcTable, pDecHuffState));
    DecodeState& st = *rec(pDecHuffState);
    AcReader rd(pSrc, srcLenBytes, pSrcCurrPos, pMarker, st);
    return decoder(rd, pDst, ss, se, al, *rec(pAcTable), st);
}

}  // namespace
}  // namespace zeb::huff

using namespace zeb::huff;

extern "C" {

ZEB_API ZebResult zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                            Zeb16s* pDst, Zeb16s* pLastDC, int* pMarker, int Al,
                                                            const ZebDecodeHuffmanSpec* pDcTable,
                                                            ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pSrc), length(srcLenBytes), ptr(pSrcCurrPos, pDst, pLastDC, pMarker),
              when(badPointTransform(Al), zebErrBadArg), ptr(pDcTable, pDecHuffState));
    ScopedReader<kByteWiseTop> rd(pSrc, srcLenBytes, pSrcCurrPos, pMarker, *rec(pDecHuffState));
    int s;
    if (ZebResult e = rd.symbol(*rec(pDcTable), s); e != zebOk) return e;
    if (s != 0) {
        s &= 15;
        std::uint32_t v;
        if (ZebResult e = rd.bits(s, v); e != zebOk) return e;
        *pLastDC = static_cast<Zeb16s>(*pLastDC + extend(v, s));
    }
    pDst[0] = static_cast<Zeb16s>(static_cast<std::uint32_t>(*pLastDC) << Al);
    return zebOk;
}

ZEB_API ZebResult zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                             Zeb16s* pDst, int* pMarker, int Al,
                                                             ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pSrc), length(srcLenBytes), ptr(pSrcCurrPos, pDst, pMarker),
              when(badPointTransform(Al), zebErrBadArg), ptr(pDecHuffState));
    ScopedReader<kByteWiseTop> rd(pSrc, srcLenBytes, pSrcCurrPos, pMarker, *rec(pDecHuffState));
    std::uint32_t bit;
    if (ZebResult e = rd.bits(1, bit); e != zebOk) return e;
    if (bit) pDst[0] = static_cast<Zeb16s>(pDst[0] | (1 << Al));
    return zebOk;
}

ZEB_API ZebResult zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                            Zeb16s* pDst, int* pMarker, int Ss, int Se, int Al,
                                                            const ZebDecodeHuffmanSpec* pAcTable,
                                                            ZebDecodeHuffmanState* pDecHuffState) {
    return decodeAcCall(decodeAcFirst, pSrc, srcLenBytes, pSrcCurrPos, pDst, pMarker, Ss, Se, Al, pAcTable,
                        pDecHuffState);
}

ZEB_API ZebResult zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                             Zeb16s* pDst, int* pMarker, int Ss, int Se, int Al,
                                                             const ZebDecodeHuffmanSpec* pAcTable,
                                                             ZebDecodeHuffmanState* pDecHuffState) {
    return decodeAcCall(decodeAcRefine, pSrc, srcLenBytes, pSrcCurrPos, pDst, pMarker, Ss, Se, Al, pAcTable,
                        pDecHuffState);
}

}  // extern "C"
