// Baseline 8x8 block encoding (T.81 F.1.2), its symbol statistics and the
// stateless bit-addressed variant.
//
// The byte-wise path writes every code word through ByteWriter and defines
// the output.  The fast path builds a zigzag-ordered mask of the nonzero
// coefficients (so the last nonzero coefficient is known first and zero runs
// and trailing zeros cost nothing), emits code and extra bits in one
// step into a 64-bit accumulator and stores eight bytes at once when none of
// them is 0xFF.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "core/check.h"
#include "core/simd.h"
#include "core/zigzag.h"
#include "jpeg/huffman/bitstream.h"
#include "jpeg/huffman/huffman_baseline.h"

namespace zeb::huff {
namespace {

inline int bitLength(std::uint32_t a) { return a == 0 ? 0 : 32 - __builtin_clz(a); }

// 64-bit accumulator writer: `n` pending bits right-aligned in `acc`.  With
// kBounded, every store stays below `len` and a store that would not fit
// makes the writer give up (returns false).
template <bool kBounded>
struct FastWriter {
    Zeb8u* dst;
    int len;
    int pos;
    std::uint64_t acc;
    int n;

    bool putByte(std::uint32_t b) {
        if (kBounded && pos >= len) return false;
        dst[pos++] = static_cast<Zeb8u>(b);
        if (b == 0xFF) {
            if (kBounded && pos >= len) return false;
            dst[pos++] = 0;
        }
        return true;
    }

    // Eight complete bytes, most significant first.
    bool put8(std::uint64_t word) {
        if (kBounded && len - pos < 8) return false;
        if (!anyByteFF(word)) {
            const std::uint64_t be = __builtin_bswap64(word);
            std::memcpy(dst + pos, &be, 8);
            pos += 8;
            return true;
        }
        for (int sh = 56; sh >= 0; sh -= 8)
            if (!putByte(static_cast<std::uint32_t>(word >> sh) & 0xFF)) return false;
        return true;
    }

    // Appends l (0 to 32) bits; v < 2^l.
    bool emit(std::uint64_t v, int l) {
        if (n + l <= 64) {
            acc = (acc << l) | v;
            n += l;
            return true;
        }
        const int room = 64 - n, rest = l - room;
        if (!put8((acc << room) | (v >> rest))) return false;
        acc = v & lowMask64(rest);
        n = rest;
        return true;
    }

    // Writes the complete bytes, leaving 0 to 7 pending bits.
    bool drainBytes() {
        if (!kBounded || len - pos >= 16) {  // room for 8 bytes, all stuffed
            while (n >= 8) {
                n -= 8;
                const std::uint32_t b = static_cast<std::uint32_t>(acc >> n) & 0xFF;
                dst[pos++] = static_cast<Zeb8u>(b);
                if (b == 0xFF) dst[pos++] = 0;
            }
        }
        while (n >= 8) {
            n -= 8;
            if (!putByte(static_cast<std::uint32_t>(acc >> n) & 0xFF)) return false;
        }
        acc &= lowMask64(n);
        return true;
    }
};

// Mask of the nonzero AC coefficients by zigzag position (bit k for zigzag
// position k, bit 0 clear): compared in natural order with SSE2, then only
// the set bits are moved to their zigzag positions.
inline std::uint64_t nonzeroZigzagMask(const Zeb16s* src) {
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t zeroMask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_cmpeq_epi16(loadu(src + 16 * i), zero);
        const __m128i b = _mm_cmpeq_epi16(loadu(src + 16 * i + 8), zero);
        zeroMask |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b)) & 0xFFFF) << (16 * i);
    }
    std::uint64_t natural = ~zeroMask & ~std::uint64_t{1}, zigzag = 0;
    for (; natural != 0; natural &= natural - 1)
        zigzag |= std::uint64_t{1} << kNaturalToZigzag[__builtin_ctzll(natural)];
    return zigzag;
}

// The symbols of one block through any writer with emit(bits, length);
// returns false at a missing code or an AC coefficient of category 16.
// With kLenient (the stateless variant, which has no way to report), a
// missing code writes nothing and category 16 is coded as it falls.
template <bool kLenient, class W>
inline bool emitBlock(W& w, std::int32_t diff, const Zeb16s* src, std::uint64_t mask, const EncodeSpec& dc,
                      const EncodeSpec& ac) {
    auto put = [&](std::uint32_t e, std::uint32_t extra, int s) {
        const int l = static_cast<int>(entryLength(e));
        if (!kLenient && l == 0) return false;
        return w.emit((static_cast<std::uint64_t>(entryCode(e)) << s) | extra, l + s);
    };
    int s = bitLength(static_cast<std::uint32_t>(diff < 0 ? -diff : diff));
    if (!put(dc.entry[s], extraBits(diff, s), s)) return false;
    int last = 0;
    while (mask != 0) {
        const int k = __builtin_ctzll(mask);
        mask &= mask - 1;
        int run = k - last - 1;
        last = k;
        for (; run >= 16; run -= 16)
            if (!put(ac.entry[0xF0], 0, 0)) return false;
        const std::int32_t v = src[kZigzagToNatural[k]];
        s = bitLength(static_cast<std::uint32_t>(v < 0 ? -v : v));
        if (!kLenient && s > 15) return false;
        if (!put(ac.entry[((run << 4) + s) & 0xFF], extraBits(v, s), s)) return false;
    }
    if (last < 63 && !put(ac.entry[0x00], 0, 0)) return false;
    return true;
}

ZebResult encodeByteWise(const Zeb16s* src, Zeb8u* dst, int dstLen, int* pPos, Zeb16s* pLastDC,
                         const EncodeSpec& dc, const EncodeSpec& ac, EncodeState& st) {
    const std::int32_t diff = static_cast<std::int32_t>(src[0]) - *pLastDC;
    *pLastDC = src[0];
    ByteWriter w(dst, dstLen, *pPos);
    w.load(st);
    auto done = [&](ZebResult r) {
        *pPos = w.position();
        w.store(st);
        return r;
    };
    int s = category(diff);
    if (ZebResult r = w.putSymbol(dc.entry[s], extraBits(diff, s), s); r != zebOk) return done(r);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const std::int32_t v = src[kZigzagToNatural[k]];
        if (v == 0) {
            ++run;
            continue;
        }
        for (; run >= 16; run -= 16)
            if (ZebResult r = w.putSymbol(ac.entry[0xF0], 0, 0); r != zebOk) return done(r);
        s = category(v);
        if (s > 15) return done(zebErrCodeRange);
        if (ZebResult r = w.putSymbol(ac.entry[(run << 4) + s], extraBits(v, s), s); r != zebOk) return done(r);
        run = 0;
    }
    if (run > 0) return done(w.putSymbol(ac.entry[0x00], 0, 0));
    return done(zebOk);
}

}  // namespace

bool encodeBlockFast(const Zeb16s* src, Zeb8u* dst, int dstLen, int* pPos, Zeb16s* pLastDC, const EncodeSpec& dc,
                     const EncodeSpec& ac, EncodeState& st) {
    const int pos = *pPos;
    if (pos < 0 || dstLen - pos < 24 || st.bitCount < 0 || st.bitCount > 7) return false;
    const std::uint64_t mask = nonzeroZigzagMask(src);
    const int n0 = st.bitCount;
    FastWriter<true> w{dst, dstLen, pos, n0 > 0 ? (st.accumulator.lo >> (24 - n0)) & ((1u << n0) - 1) : 0u, n0};
    const std::int32_t diff = static_cast<std::int32_t>(src[0]) - *pLastDC;
    if (!emitBlock<false>(w, diff, src, mask, dc, ac) || !w.drainBytes()) return false;
    *pLastDC = src[0];
    *pPos = w.pos;
    st.accumulator.set(w.n > 0 ? w.acc << (24 - w.n) : 0);
    st.bitCount = w.n;
    return true;
}

template <Path P>
ZebResult encodeBlock(const Zeb16s* src, Zeb8u* dst, int dstLen, int* pPos, Zeb16s* pLastDC, const EncodeSpec& dc,
                      const EncodeSpec& ac, EncodeState& st) {
    if (P == Path::Vector && encodeBlockFast(src, dst, dstLen, pPos, pLastDC, dc, ac, st)) return zebOk;
    return encodeByteWise(src, dst, dstLen, pPos, pLastDC, dc, ac, st);
}

template ZebResult encodeBlock<Path::Scalar>(const Zeb16s*, Zeb8u*, int, int*, Zeb16s*, const EncodeSpec&,
                                             const EncodeSpec&, EncodeState&);
template ZebResult encodeBlock<Path::Vector>(const Zeb16s*, Zeb8u*, int, int*, Zeb16s*, const EncodeSpec&,
                                             const EncodeSpec&, EncodeState&);

}  // namespace zeb::huff

using namespace zeb::huff;

extern "C" {

ZEB_API ZebResult zebiEncodeHuffman8x8_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int dstLenBytes,
                                                    int* pDstCurrPos, Zeb16s* pLastDC,
                                                    const ZebEncodeHuffmanSpec* pDcTable,
                                                    const ZebEncodeHuffmanSpec* pAcTable,
                                                    ZebEncodeHuffmanState* pEncHuffState, int bFlushState) {
    ZEB_CHECK(ptr(pDst), length(dstLenBytes), ptr(pDstCurrPos, pEncHuffState));
    if (bFlushState) return flushByteWise(pDst, dstLenBytes, pDstCurrPos, *rec(pEncHuffState));
    ZEB_CHECK(ptr(pSrc, pLastDC, pDcTable, pAcTable));
    return encodeBlock<zeb::Path::Vector>(pSrc, pDst, dstLenBytes, pDstCurrPos, pLastDC, *rec(pDcTable),
                                          *rec(pAcTable), *rec(pEncHuffState));
}

ZEB_API ZebResult zebiEncodeHuffman8x8_Direct_JPEG_16s1u_C1(const Zeb16s* pSrc, Zeb8u* pDst, int* pDstBitsLen,
                                                           Zeb16s* pLastDC, const ZebEncodeHuffmanSpec* pDcTable,
                                                           const ZebEncodeHuffmanSpec* pAcTable) {
    ZEB_CHECK(ptr(pSrc, pDst, pDstBitsLen, pLastDC, pDcTable, pAcTable));
    const int bitPos = *pDstBitsLen;
    const int n0 = bitPos & 7;
    const std::uint64_t mask = nonzeroZigzagMask(pSrc);
    FastWriter<false> w{pDst, 0, bitPos >> 3, n0 > 0 ? static_cast<std::uint32_t>(pDst[bitPos >> 3] >> (8 - n0)) : 0u,
                        n0};
    const std::int32_t diff = static_cast<std::int32_t>(pSrc[0]) - *pLastDC;
    *pLastDC = pSrc[0];
    emitBlock<true>(w, diff, pSrc, mask, *rec(pDcTable), *rec(pAcTable));
    w.drainBytes();
    pDst[w.pos] = static_cast<Zeb8u>(w.acc << (8 - w.n));
    *pDstBitsLen = 8 * w.pos + w.n;
    return zebOk;
}

ZEB_API ZebResult zebiGetHuffmanStatistics8x8_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pDcStatistics,
                                                         Zeb32s* pAcStatistics, Zeb16s* pLastDC) {
    ZEB_CHECK(ptr(pSrc, pDcStatistics, pAcStatistics, pLastDC));
    const std::int32_t diff = static_cast<std::int32_t>(pSrc[0]) - *pLastDC;
    *pLastDC = pSrc[0];
    int s = category(diff);
    if (s > 15) return zebErrCodeRange;
    ++pDcStatistics[s];
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const std::int32_t v = pSrc[zeb::kZigzagToNatural[k]];
        if (v == 0) {
            ++run;
            continue;
        }
        pAcStatistics[0xF0] += run / 16;
        run %= 16;
        s = category(v);
        if (s > 14) return zebErrCodeRange;
        ++pAcStatistics[(run << 4) + s];
        run = 0;
    }
    if (run > 0) ++pAcStatistics[0x00];
    return zebOk;
}

}  // extern "C"
