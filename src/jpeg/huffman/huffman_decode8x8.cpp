// Baseline 8x8 block decoding (T.81 F.2.2) through a decoder state, and the
// stateless variant with caller-held read-ahead.
//
// The byte-wise path reads through BitReader and defines the result.  The
// fast path keeps up to 64 bits in a register, loads eight source bytes at
// once when none is 0xFF (byte by byte otherwise), and gives up on anything
// unusual (a marker or fill byte, fewer than 8 bytes left, an invalid code,
// a run past the block); the byte-wise path then decodes the block afresh.
#include <emmintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/check.h"
#include "core/zigzag.h"
#include "jpeg/huffman/bitstream.h"
#include "jpeg/huffman/huffman_baseline.h"

namespace zeb::huff {
namespace {

constexpr int kMaxRun = 71;

// Written out store by store: as a loop the compiler may turn it into a
// string instruction whose start-up costs more than the eight stores.
template <class Store>
inline void zeroEight(Zeb16s* dst, Store store) {
    const __m128i z = _mm_setzero_si128();
    __m128i* p = reinterpret_cast<__m128i*>(dst);
    store(p + 0, z);
    store(p + 1, z);
    store(p + 2, z);
    store(p + 3, z);
    store(p + 4, z);
    store(p + 5, z);
    store(p + 6, z);
    store(p + 7, z);
}

inline void zeroBlock(Zeb16s* dst) {
    if ((reinterpret_cast<std::uintptr_t>(dst) & 15) == 0)
        zeroEight(dst, [](__m128i* p, __m128i v) { _mm_store_si128(p, v); });
    else
        zeroEight(dst, [](__m128i* p, __m128i v) { _mm_storeu_si128(p, v); });
}

ZebResult decodeByteWise(const Zeb8u* src, int srcLen, int* pPos, Zeb16s* dst, Zeb16s* pLastDC, int* pMarker,
                         const DecodeSpec& dc, const DecodeSpec& ac, DecodeState& st) {
    std::memset(dst, 0, 64 * sizeof(Zeb16s));
    BitReader rd(src, srcLen, *pPos, *pMarker);
    rd.load(st);
    auto done = [&](ZebResult r) {
        *pPos = rd.position();
        *pMarker = rd.marker();
        rd.store(st);
        return r;
    };
    int sym;
    std::uint32_t bits;
    if (ZebResult r = rd.decodeSymbol(dc, sym); r != zebOk) return done(r);
    if (sym != 0) {
        const int s = sym & 15;
        if (ZebResult r = rd.takeBits(s, bits); r != zebOk) return done(r);
        *pLastDC = static_cast<Zeb16s>(*pLastDC + extend(bits, s));
    }
    dst[0] = *pLastDC;
    for (int k = 1; k <= 63;) {
        if (ZebResult r = rd.decodeSymbol(ac, sym); r != zebOk) return done(r);
        const int run = sym >> 4, s = sym & 15;
        if (s != 0) {
            k += run;
            if (ZebResult r = rd.takeBits(s, bits); r != zebOk) return done(r);
            if (k > kMaxRun) return done(zebErrBlockOverrun);
            dst[kZigzag72[k]] = static_cast<Zeb16s>(extend(bits, s));
            ++k;
        } else if (run == 15) {
            k += 16;
        } else {
            break;
        }
    }
    return done(zebOk);
}

// T.81 EXTEND of the top s (1 to 15) bits of a, as a 16-bit value: a clear
// first bit means a negative value, v - (2^s - 1).  With ZeroBits, s may
// also be 0 (no bits: 0), for one more shift.
template <bool ZeroBits = false>
inline Zeb16s extendTop(std::uint64_t a, int s) {
    const std::uint32_t v = static_cast<std::uint32_t>(ZeroBits ? (a >> 1) >> (63 - s) : a >> (64 - s));
    const std::uint32_t negative = static_cast<std::uint32_t>(~static_cast<std::int64_t>(a) >> 63);  // all ones or 0
    return static_cast<Zeb16s>(v + ((negative << s) - negative));
}

// Zigzag position -> natural index for the fast path, extended to every
// position a run can reach from position 63 (78); positions past 71 fail
// the block after the loop, so the store itself needs no test.
constexpr int kFastRunLimit = 63 + 15;
constexpr std::array<std::uint8_t, kFastRunLimit + 1> kZigzagFast = [] {
    std::array<std::uint8_t, kFastRunLimit + 1> t{};
    for (int k = 0; k <= kFastRunLimit; ++k) t[k] = k < 72 ? kZigzag72[k] : 63;
    return t;
}();

// Register-held reader of the fast path.  The n valid bits sit at the top of
// the accumulator, so a code is looked up from the top byte without first
// shifting by the bit count.  Below them the accumulator holds either zeros
// or the leading bits of the byte at pos (never of a 0xFF byte): a refill
// ORs that same byte in again, so both agree.
struct FastReader {
    const Zeb8u* src;
    int last;  // the last position an eight-byte load may start at
    int pos;
    std::uint64_t acc;
    int n;

    // Tops up to at least 56 valid bits, taking every whole byte that fits
    // without a test on the bit count; false at a marker or fill byte or
    // when fewer than 8 source bytes are left.
    bool refill() {
        if (__builtin_expect(pos > last, 0)) return false;
        std::uint64_t w;
        std::memcpy(&w, src + pos, 8);
        w = __builtin_bswap64(w);
        if (__builtin_expect(anyByteFF(w), 0)) return refillBytes();
        acc |= w >> n;
        pos += (63 - n) >> 3;
        n |= 56;
        return true;
    }

    // Byte by byte (un-stuffing 0xFF 0x00) up to at least 56 valid bits.
    bool refillBytes() {
        const int len = last + 8;
        while (n < 56) {
            if (pos >= len) return false;
            const std::uint32_t b = src[pos];
            if (b == 0xFF) {
                if (pos + 1 >= len || src[pos + 1] != 0) return false;
                pos += 2;
            } else {
                pos += 1;
            }
            acc |= std::uint64_t{b} << (56 - n);
            n += 8;
        }
        return true;
    }

    // A code longer than 8 bits (the look-ahead entry was 0) with at least
    // 16 valid bits: its symbol and length; false for an invalid code.
    // The eight lengths 9 to 16 are tried at once (the first that holds the
    // code wins, as in the canonical search), without a branch per length.
    static bool longCode(const DecodeSpec& t, std::uint64_t acc, int& sym, int& codeLen) {
        const std::uint32_t code16 = static_cast<std::uint32_t>(acc >> 48);
        const __m128i c = _mm_set1_epi16(static_cast<short>(code16));
        // Lane i: the first 9 + i bits, code16 >> (7 - i), as the high half of
        // code16 * 2^(9 + i); lane 7 is code16 itself.
        const __m128i codes = _mm_or_si128(
            _mm_mulhi_epu16(c, _mm_setr_epi16(512, 1024, 2048, 4096, 8192, 16384, -32768, 0)),
            _mm_and_si128(c, _mm_setr_epi16(0, 0, 0, 0, 0, 0, 0, -1)));
        __m128i maxCodes;
        std::memcpy(&maxCodes, &t.maxCode[9], sizeof maxCodes);
        // Lengths with codes (maxCode not kNoCode) whose maximum is not below the code.
        const __m128i hit = _mm_andnot_si128(_mm_cmpeq_epi16(maxCodes, _mm_set1_epi16(-1)),
                                             _mm_cmpeq_epi16(_mm_subs_epu16(codes, maxCodes), _mm_setzero_si128()));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask == 0) return false;
        const int l = 9 + (__builtin_ctz(mask) >> 1);
        const std::uint32_t code = code16 >> (16 - l);
        codeLen = l;
        sym = t.huffVal[(t.valPtr[l] + code - t.minCode[l]) & 0xFF];
        // The table init stores 8-bit symbols; anything wider would run past
        // the zigzag table below, so the byte-wise path takes it.
        return sym <= 0xFF;
    }

    // The next code (at least 16 valid bits): its symbol and length, one
    // look-up for codes of 8 bits or fewer; false for an invalid code.
    bool code(const DecodeSpec& t, int& sym, int& codeLen) const {
        const std::uint32_t e = t.lookahead[acc >> 56];
        codeLen = static_cast<int>(entryLength(e));
        sym = static_cast<int>(e & 0xFF);
        return __builtin_expect(codeLen != 0, 1) || longCode(t, acc, sym, codeLen);
    }
};

// The fast path (inlined into decodeBlock).
[[gnu::always_inline]] inline bool decodeFast(const Zeb8u* src, int srcLen, int* pPos, Zeb16s* dst, Zeb16s* pLastDC,
                                              int marker, const DecodeSpec& dc, const DecodeSpec& ac, DecodeState& st) {
    const int pos0 = *pPos;
    const int n0 = st.bitCount;
    if (marker != 0 || pos0 < 0 || srcLen - pos0 < 24 || static_cast<unsigned>(n0) > 32) return false;
    // The n0 valid bits are the low bits of the low word (n0 <= 32): moved
    // to the top, the bits above them fall off (n0 = 0 gives 0).
    FastReader rd{src, srcLen - 8, pos0, (std::uint64_t{st.accumulator.lo} << 32) << (32 - n0), n0};
    zeroBlock(dst);
    // Each step below takes at most 16 + 15 bits.
    if (!rd.refill()) return false;
    {
        // The new predictor goes to dst[0] at once (the block is ours to
        // write) and to pLastDC only when the block is complete.
        int sym, codeLen;
        if (!rd.code(dc, sym, codeLen)) return false;
        const int s = sym & 15;
        const std::uint64_t rest = rd.acc << codeLen;  // the extra bits on top
        dst[0] = static_cast<Zeb16s>(*pLastDC + extendTop<true>(rest, s));  // no branch for s = 0
        rd.acc = rest << s;
        rd.n -= codeLen + s;
    }
    std::ptrdiff_t k = 1;
    for (;;) {
        if (rd.n < 32 && !rd.refill()) return false;
        int sym, codeLen;
        if (!rd.code(ac, sym, codeLen)) return false;
        const int s = sym & 15;
        const std::uint64_t rest = rd.acc << codeLen;  // the extra bits on top
        if (__builtin_expect(s != 0, 1)) {
            k += sym >> 4;
            dst[kZigzagFast[k]] = extendTop(rest, s);
            rd.acc = rest << s;
            rd.n -= codeLen + s;
            if (++k > 63) break;
        } else {
            rd.acc = rest;
            rd.n -= codeLen;
            if (sym != 0xF0) break;  // end of block
            if ((k += 16) > 63) break;  // ZRL
        }
    }
    // A run past position 71 (its store went to index 63, which the
    // byte-wise path rewrites), or a ZRL from position 57 on: both rare,
    // the byte-wise path decides them.
    if (k > kMaxRun + 1) return false;
    // Keep at most 32 read-ahead bits (at least one is left here): give
    // whole bytes back to the source.  The bytes given back are tested for
    // 0xFF in place: the bits below the valid ones, a prefix of the byte at
    // pos that is not 0xFF, fall in the byte after them.
    if (rd.n > 32) {
        const int keep = 25 + ((rd.n - 25) & 7);  // 25 to 32
        if (!anyByteFF(rd.acc << keep)) {
            rd.pos -= (rd.n - keep) >> 3;
            rd.n = keep;
        } else {
            // A data byte 0xFF came from the two bytes 0xFF 0x00.
            std::uint64_t bytes = rd.acc >> (64 - rd.n);
            while (rd.n > 32) {
                rd.pos -= (bytes & 0xFF) == 0xFF ? 2 : 1;
                bytes >>= 8;
                rd.n -= 8;
            }
        }
    }
    *pLastDC = dst[0];
    *pPos = rd.pos;
    st.accumulator.set(rd.acc >> (64 - rd.n));  // right-aligned, as the state keeps them
    st.bitCount = rd.n;
    return true;
}

}  // namespace

bool decodeBlockFast(const Zeb8u* src, int srcLen, int* pPos, Zeb16s* dst, Zeb16s* pLastDC, int marker,
                     const DecodeSpec& dc, const DecodeSpec& ac, DecodeState& st) {
    return decodeFast(src, srcLen, pPos, dst, pLastDC, marker, dc, ac, st);
}

// Inlined into the per-block entry point too (a call per block costs its
// register saves and argument spills).
template <Path P>
[[gnu::always_inline]] inline ZebResult decodeBlock(const Zeb8u* src, int srcLen, int* pPos, Zeb16s* dst,
                                                    Zeb16s* pLastDC, int* pMarker, const DecodeSpec& dc,
                                                    const DecodeSpec& ac, DecodeState& st) {
    if (P == Path::Vector && decodeFast(src, srcLen, pPos, dst, pLastDC, *pMarker, dc, ac, st)) return zebOk;
    return decodeByteWise(src, srcLen, pPos, dst, pLastDC, pMarker, dc, ac, st);
}

template ZebResult decodeBlock<Path::Scalar>(const Zeb8u*, int, int*, Zeb16s*, Zeb16s*, int*, const DecodeSpec&,
                                             const DecodeSpec&, DecodeState&);
template ZebResult decodeBlock<Path::Vector>(const Zeb8u*, int, int*, Zeb16s*, Zeb16s*, int*, const DecodeSpec&,
                                             const DecodeSpec&, DecodeState&);

namespace {

// Reader of the stateless decoder: no length limit, read-ahead up to 32 bits
// held by the caller, reading stops for good at a marker.
struct DirectReader {
    const Zeb8u* src;
    int pos;
    int marker;
    std::uint64_t acc;
    int n;

    void fill() {
        while (n < 25 && marker == 0) {
            std::uint32_t b = src[pos++];
            if (b == 0xFF) {
                std::uint32_t c;
                do c = src[pos++];
                while (c == 0xFF);
                if (c != 0) {
                    marker = static_cast<int>(c);
                    return;
                }
            }
            acc = (acc << 8) | b;
            n += 8;
        }
    }
    bool ensure(int k) {
        if (n < k) fill();
        return n >= k;
    }
    std::uint32_t take(int k) {
        n -= k;
        return static_cast<std::uint32_t>(acc >> n) & ((1u << k) - 1);
    }
};

constexpr ZebResult kNoBits = 1;  // internal: the stream has ended at a marker

// A symbol from fewer than 8 bits is looked up with zero bits appended; a
// code longer than the bits that remain is reported as undecodable.
ZebResult decodeSymbolDirect(DirectReader& rd, const DecodeSpec& t, int& sym) {
    if (rd.n < 8) rd.fill();
    if (rd.n == 0) return kNoBits;
    if (rd.n < 8) {
        const std::uint32_t e = t.lookahead[static_cast<std::uint32_t>(rd.acc << (8 - rd.n)) & 0xFF];
        const int l = static_cast<int>(entryLength(e));
        if (l == 0 || l > rd.n) return zebErrCodeRange;
        rd.n -= l;
        sym = static_cast<int>(e & 0xFFFF);
        return zebOk;
    }
    const std::uint32_t e = t.lookahead[static_cast<std::uint32_t>(rd.acc >> (rd.n - 8)) & 0xFF];
    if (entryLength(e) != 0) {
        rd.n -= static_cast<int>(entryLength(e));
        sym = static_cast<int>(e & 0xFFFF);
        return zebOk;
    }
    if (!rd.ensure(9)) return zebErrCodeRange;
    std::uint32_t code = rd.take(9);
    for (int l = 9;; ++l) {
        if (t.maxCode[l] != kNoCode && code <= t.maxCode[l]) {
            sym = t.huffVal[(t.valPtr[l] + code - t.minCode[l]) & 0xFF];
            return zebOk;
        }
        if (l == 16 || !rd.ensure(1)) return zebErrCodeRange;
        code = 2 * code + rd.take(1);
    }
}

}  // namespace
}  // namespace zeb::huff

using namespace zeb::huff;

extern "C" {

ZEB_API ZebResult zebiDecodeHuffman8x8_JPEG_1u16s_C1(const Zeb8u* pSrc, int srcLenBytes, int* pSrcCurrPos,
                                                    Zeb16s* pDst, Zeb16s* pLastDC, int* pMarker,
                                                    const ZebDecodeHuffmanSpec* pDcTable,
                                                    const ZebDecodeHuffmanSpec* pAcTable,
                                                    ZebDecodeHuffmanState* pDecHuffState) {
    ZEB_CHECK(ptr(pSrc), when(srcLenBytes < 0, zebErrBadArg),
              ptr(pSrcCurrPos, pDst, pLastDC, pMarker, pDcTable, pAcTable, pDecHuffState));
    return decodeBlock<zeb::Path::Vector>(pSrc, srcLenBytes, pSrcCurrPos, pDst, pLastDC, pMarker, *rec(pDcTable),
                                          *rec(pAcTable), *rec(pDecHuffState));
}

ZEB_API ZebResult zebiDecodeHuffman8x8_Direct_JPEG_1u16s_C1(const Zeb8u* pSrc, int* pSrcBitsLen, Zeb16s* pDst,
                                                           Zeb16s* pLastDC, int* pMarker,
                                                           Zeb32u* pPrefetchedBits, int* pNumValidPrefetchedBits,
                                                           const ZebDecodeHuffmanSpec* pDcTable,
                                                           const ZebDecodeHuffmanSpec* pAcTable) {
    ZEB_CHECK(ptr(pSrc, pSrcBitsLen));
    ZEB_CHECK(when(*pSrcBitsLen < 0, zebErrBadArg),
              ptr(pDst, pLastDC, pMarker, pPrefetchedBits, pNumValidPrefetchedBits));
    ZEB_CHECK(when(*pNumValidPrefetchedBits < 0, zebErrBadArg), ptr(pDcTable, pAcTable));
    const DecodeSpec& dc = *rec(pDcTable);
    const DecodeSpec& ac = *rec(pAcTable);
    // More than 32 valid bits cannot be held in the caller's word.
    const int n0 = *pNumValidPrefetchedBits > 32 ? 32 : *pNumValidPrefetchedBits;
    DirectReader rd{pSrc, *pSrcBitsLen >> 3, *pMarker, *pPrefetchedBits, n0};
    auto done = [&](ZebResult r, bool updatePos) {
        if (updatePos) *pSrcBitsLen = 8 * rd.pos;
        *pPrefetchedBits = static_cast<Zeb32u>(rd.acc & lowMask64(rd.n));
        *pNumValidPrefetchedBits = rd.n;
        *pMarker = rd.marker;
        return r;
    };
    std::memset(pDst, 0, 64 * sizeof(Zeb16s));
    int sym = 0;
    ZebResult r = decodeSymbolDirect(rd, dc, sym);
    if (r == kNoBits) return done(zebOk, false);
    if (r != zebOk) return done(r, true);
    if (sym != 0) {
        const int s = sym & 15;
        if (!rd.ensure(s)) return done(zebErrBufferEnd, true);
        *pLastDC = static_cast<Zeb16s>(*pLastDC + extend(rd.take(s), s));
    }
    pDst[0] = *pLastDC;
    for (int k = 1; k <= 63;) {
        r = decodeSymbolDirect(rd, ac, sym);
        if (r == kNoBits) {
            rd.n = 0;
            return done(zebOk, true);
        }
        if (r != zebOk) return done(r, true);
        const int run = sym >> 4, s = sym & 15;
        if (s != 0) {
            k += run;
            if (!rd.ensure(s)) return done(zebErrBufferEnd, true);
            const std::uint32_t bits = rd.take(s);
            if (k > kMaxRun) return done(zebErrBlockOverrun, true);
            pDst[kZigzag72[k]] = static_cast<Zeb16s>(extend(bits, s));
            ++k;
        } else if (run == 15) {
            k += 16;
        } else {
            break;
        }
    }
    return done(zebOk, true);
}

}  // extern "C"
