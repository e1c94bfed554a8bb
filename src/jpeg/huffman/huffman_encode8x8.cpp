// Baseline 8x8 block encoding (T.81 F.1.2), its symbol statistics and the
// stateless bit-addressed variant.
//
// The byte-wise path writes every code word through ByteWriter and defines
// the output.  The fast path builds a zigzag-ordered mask of the nonzero
// coefficients (so the last nonzero coefficient is known first and zero runs
// and trailing zeros cost nothing), emits code and extra bits in one
// step into a 64-bit accumulator and stores eight bytes at once when none of
// them is 0xFF.  The stateless variant, which may store scratch bytes past
// its end, flushes 64 bits at a time and ends a block with one store.
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

// kRowToZigzag[r][b]: the zigzag-position bits of the coefficients of block
// row r whose bits are set in b.
struct RowZigzagTable {
    std::uint64_t m[8][256];
};
inline constexpr RowZigzagTable kRowToZigzag = [] {
    RowZigzagTable t{};
    for (int r = 0; r < 8; ++r)
        for (int b = 0; b < 256; ++b)
            for (int c = 0; c < 8; ++c)
                if (b & (1 << c)) t.m[r][b] |= std::uint64_t{1} << kNaturalToZigzag[8 * r + c];
    return t;
}();
static_assert(kRowToZigzag.m[0][2] == 2 && kRowToZigzag.m[1][1] == 4 && kRowToZigzag.m[7][128] == std::uint64_t{1} << 63);

// Mask of the nonzero AC coefficients by zigzag position (bit k for zigzag
// position k, bit 0 clear): the coefficients are packed to bytes with signed
// saturation (which keeps zero and nonzero apart) and compared in natural
// order with SSE2, then each block row's bits go to their zigzag positions
// through a table.
inline std::uint64_t nonzeroZigzagMask(const Zeb16s* src) {
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t zeroMask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_packs_epi16(loadu(src + 16 * i), loadu(src + 16 * i + 8));
        zeroMask |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)) & 0xFFFF) << (16 * i);
    }
    const std::uint64_t natural = ~zeroMask & ~std::uint64_t{1};
    std::uint64_t zigzag = 0;
    for (int r = 0; r < 8; ++r) zigzag |= kRowToZigzag.m[r][(natural >> (8 * r)) & 0xFF];
    return zigzag;
}

// The symbols of one block through any writer with emit(bits, length);
// returns false at a missing code or an AC coefficient of category 16.
template <class W>
inline bool emitBlock(W& w, std::int32_t diff, const Zeb16s* src, std::uint64_t mask, const EncodeSpec& dc,
                      const EncodeSpec& ac) {
    auto put = [&](std::uint32_t e, std::uint32_t extra, int s) {
        const int l = static_cast<int>(entryLength(e));
        if (l == 0) return false;
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
        if (s > 15) return false;
        if (!put(ac.entry[((run << 4) + s) & 0xFF], extraBits(v, s), s)) return false;
    }
    if (last < 63 && !put(ac.entry[0x00], 0, 0)) return false;
    return true;
}

// Writer of the stateless variant, which may store scratch bytes up to 8
// past its final offset: 64 - `free` (0 to 63 between puts) pending bits
// right-aligned in `acc`, the bits above them stale.  Whenever 64 bits are
// complete they go out as one 8-byte store, unless one of their bytes is
// 0xFF (then byte by byte with stuffing), so the writer branches once per 64
// bits; the end of a block stores the remaining complete bytes and the
// partial byte with one 8-byte store too.
struct ScratchWriter {
    Zeb8u* p;  // the next byte to write
    std::uint64_t acc;
    int free;

    void putStuffed(std::uint64_t word, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t b = static_cast<std::uint32_t>(word >> (56 - 8 * i)) & 0xFF;
            *p++ = static_cast<Zeb8u>(b);
            if (b == 0xFF) *p++ = 0;
        }
    }

    // Appends l (0 to 32) bits; v < 2^l.
    void put(std::uint64_t v, int l) {
        if (l < free) {
            acc = (acc << l) | v;
            free -= l;
            return;
        }
        // free <= l <= 32: the first `free` bits of v complete 64 bits.
        const int rest = l - free;
        const std::uint64_t word = (acc << free) | (v >> rest);
        acc = v;
        free = 64 - rest;
        if (anyByteFF(word)) {
            putStuffed(word, 8);
            return;
        }
        const std::uint64_t be = __builtin_bswap64(word);
        std::memcpy(p, &be, 8);
        p += 8;
    }

    // Writes the complete bytes and the partial byte, left-aligned with zero
    // bits after it (a zero byte when nothing is pending); returns the bit
    // position after the pending bits, counted from dst.
    std::size_t finish(const Zeb8u* dst) {
        const int n = 64 - free;
        const std::uint64_t top = n > 0 ? acc << (64 - n) : 0;
        const std::uint64_t be = __builtin_bswap64(top);
        std::memcpy(p, &be, 8);
        // Bytes after the complete ones are zero or a partial byte, never 0xFF.
        if (anyByteFF(top)) {
            putStuffed(top, n >> 3);
            *p = static_cast<Zeb8u>(top >> (56 - 8 * (n >> 3)));
        } else {
            p += n >> 3;
        }
        return 8 * static_cast<std::size_t>(p - dst) + static_cast<std::size_t>(n & 7);
    }
};

// The stateless variant's block, which cannot report: a missing code
// contributes no code bits, and category 16 (only -32768) is coded as it
// falls, with the symbol index wrapping modulo 256.  The
// category comes from a bit scan, and code and extra bits are merged into
// one put without a mask: for v < 0 the s extra bits are 2^s + v - 1, so
// (code << s) + extra = ((code + 1) << s) + (v - 1) in every case with the
// sign word (0 or -1) doing the adjustments.
inline void emitBlockScratch(ScratchWriter& w, std::int32_t diff, const Zeb16s* src, std::uint64_t mask,
                             const EncodeSpec& dc, const EncodeSpec& ac) {
    {
        const std::int32_t sign = diff >> 31;
        const std::uint32_t a = static_cast<std::uint32_t>((diff ^ sign) - sign);
        const int s = 31 ^ __builtin_clz(2 * a + 1);  // bit length, 0 for 0
        const std::uint32_t e = dc.entry[s];
        const std::uint32_t word = ((entryCode(e) - static_cast<std::uint32_t>(sign)) << s) +
                                   static_cast<std::uint32_t>(diff + sign);
        w.put(word, static_cast<int>(entryLength(e)) + s);
    }
    // The lowest set bit is cleared each step (a short dependency chain from
    // one coefficient to the next); k1 is one past the last coded position.
    // The block ends with EOB unless position 63 is coded.
    const bool eob = (mask >> 63) == 0;
    std::uint64_t m = mask;
    int k1 = 1;
    while (m != 0) {
        const int k = __builtin_ctzll(m);
        m &= m - 1;
        int run = k - k1;
        k1 = k + 1;
        if (run >= 16) {
            const std::uint32_t zrl = ac.entry[0xF0];
            do {
                w.put(entryCode(zrl), static_cast<int>(entryLength(zrl)));
                run -= 16;
            } while (run >= 16);
        }
        // In 64 bits, so that the word needs no widening: v + sign is
        // at least -2^s, which the (code + 1) << s of a negative v covers.
        const std::int64_t v = src[kZigzagToNatural[k]];
        const std::int64_t sign = v >> 63;
        const std::uint64_t a = static_cast<std::uint64_t>((v ^ sign) - sign);
        const int s = (63 ^ __builtin_clzll(a)) + 1;  // v != 0: bit scan + 1
        const std::uint32_t e = ac.entry[((run << 4) + s) & 0xFF];
        const std::uint64_t word = ((entryCode(e) - static_cast<std::uint64_t>(sign)) << s) +
                                   static_cast<std::uint64_t>(v + sign);
        w.put(word, static_cast<int>(entryLength(e)) + s);
    }
    if (eob) w.put(entryCode(ac.entry[0x00]), static_cast<int>(entryLength(ac.entry[0x00])));
}

// The T.81 run-length walk of a block's AC coefficients in zigzag order,
// one coefficient at a time: zrl() for each run of 16 zeros before a
// coefficient, coefficient(run, v) for each non-zero one, eob() when zeros
// end the block; the first status other than zebOk ends the walk.
template <class Zrl, class Coefficient, class Eob>
inline ZebResult walkAc(const Zeb16s* src, Zrl zrl, Coefficient coefficient, Eob eob) {
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const std::int32_t v = src[kZigzagToNatural[k]];
        if (v == 0) {
            ++run;
            continue;
        }
        for (; run >= 16; run -= 16)
            if (ZebResult r = zrl(); r != zebOk) return r;
        if (ZebResult r = coefficient(run, v); r != zebOk) return r;
        run = 0;
    }
    return run > 0 ? eob() : zebOk;
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
    const int s = category(diff);
    if (ZebResult r = w.putSymbol(dc.entry[s], extraBits(diff, s), s); r != zebOk) return done(r);
    return done(walkAc(
        src, [&] { return w.putSymbol(ac.entry[0xF0], 0, 0); },
        [&](int run, std::int32_t v) {
            const int c = category(v);
            return c > 15 ? zebErrCodeRange : w.putSymbol(ac.entry[(run << 4) + c], extraBits(v, c), c);
        },
        [&] { return w.putSymbol(ac.entry[0x00], 0, 0); }));
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
    if (!emitBlock(w, diff, src, mask, dc, ac) || !w.drainBytes()) return false;
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

template <Path P>
ZebResult blockStatistics(const Zeb16s* src, Zeb32s* dcStats, Zeb32s* acStats, Zeb16s* pLastDC) {
    const std::int32_t diff = static_cast<std::int32_t>(src[0]) - *pLastDC;
    *pLastDC = src[0];
    int s = category(diff);
    if (s > 15) return zebErrCodeRange;
    ++dcStats[s];
    if constexpr (P == Path::Vector) {
        std::uint64_t mask = nonzeroZigzagMask(src);
        int last = 0;
        while (mask != 0) {
            const int k = __builtin_ctzll(mask);
            mask &= mask - 1;
            const int run = k - last - 1;
            last = k;
            acStats[0xF0] += run >> 4;
            s = category(src[kZigzagToNatural[k]]);
            if (s > 14) return zebErrCodeRange;
            ++acStats[((run & 15) << 4) + s];
        }
        if (last < 63) ++acStats[0x00];
        return zebOk;
    }
    // The walk of the byte-wise encoder, counting where it writes.
    return walkAc(
        src, [&] { return ++acStats[0xF0], zebOk; },
        [&](int run, std::int32_t v) {
            const int c = category(v);
            return c > 14 ? zebErrCodeRange : (++acStats[(run << 4) + c], zebOk);
        },
        [&] { return ++acStats[0x00], zebOk; });
}

template ZebResult blockStatistics<Path::Scalar>(const Zeb16s*, Zeb32s*, Zeb32s*, Zeb16s*);
template ZebResult blockStatistics<Path::Vector>(const Zeb16s*, Zeb32s*, Zeb32s*, Zeb16s*);

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
    ScratchWriter w{pDst + (bitPos >> 3), n0 > 0 ? static_cast<std::uint64_t>(pDst[bitPos >> 3] >> (8 - n0)) : 0u,
                    64 - n0};
    const std::int32_t diff = static_cast<std::int32_t>(pSrc[0]) - *pLastDC;
    *pLastDC = pSrc[0];
    emitBlockScratch(w, diff, pSrc, mask, *rec(pDcTable), *rec(pAcTable));
    *pDstBitsLen = static_cast<int>(w.finish(pDst));
    return zebOk;
}

ZEB_API ZebResult zebiGetHuffmanStatistics8x8_JPEG_16s_C1(const Zeb16s* pSrc, Zeb32s* pDcStatistics,
                                                         Zeb32s* pAcStatistics, Zeb16s* pLastDC) {
    ZEB_CHECK(ptr(pSrc, pDcStatistics, pAcStatistics, pLastDC));
    return blockStatistics<zeb::Path::Vector>(pSrc, pDcStatistics, pAcStatistics, pLastDC);
}

}  // extern "C"
