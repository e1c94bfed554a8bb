// Bit engines of the Huffman coders: magnitude categories, the byte-wise bit
// writer (T.81 0xFF/0x00 stuffing, 1-bit padding at the flush) and the bit
// reader (un-stuffing, fill bytes, marker detection, read-ahead up to a
// limit) with the table-driven symbol decoder.  Every coder of the
// subsystem (baseline, progressive, lossless) builds on these.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/zigzag.h"
#include "jpeg/huffman/huffman_records.h"

namespace zeb::huff {

// ---- magnitude categories (T.81 SSSS) -------------------------------------------------

// kBitLength[a]: number of significant bits of a, 0 for 0.
inline constexpr std::uint8_t kBitLength[256] = {
#define ZEB_BL4(n) n, n, n, n
#define ZEB_BL16(n) ZEB_BL4(n), ZEB_BL4(n), ZEB_BL4(n), ZEB_BL4(n)
    0, 1, 2, 2, ZEB_BL4(3), ZEB_BL4(4), ZEB_BL4(4), ZEB_BL16(5), ZEB_BL16(6), ZEB_BL16(6),
    ZEB_BL16(7), ZEB_BL16(7), ZEB_BL16(7), ZEB_BL16(7), ZEB_BL16(8), ZEB_BL16(8), ZEB_BL16(8),
    ZEB_BL16(8), ZEB_BL16(8), ZEB_BL16(8), ZEB_BL16(8), ZEB_BL16(8)
#undef ZEB_BL16
#undef ZEB_BL4
};
static_assert(kBitLength[0] == 0 && kBitLength[1] == 1 && kBitLength[127] == 7 && kBitLength[128] == 8 &&
              kBitLength[255] == 8);

// Category of v, |v| < 65536: 0 to 16.
inline int category(std::int32_t v) {
    const std::uint32_t a = static_cast<std::uint32_t>(v < 0 ? -v : v);
    return a < 256 ? kBitLength[a] : 8 + kBitLength[(a >> 8) & 0xFF];
}

// The s extra bits of v (one's complement for negative values), masked.
inline std::uint32_t extraBits(std::int32_t v, int s) {
    const std::uint32_t bits = static_cast<std::uint32_t>(v + (v >> 31));  // v - 1 when negative, without a branch
    return s >= 32 ? bits : bits & ((std::uint32_t{1} << s) - 1);
}

// T.81 EXTEND: s extra bits read as unsigned v back to a signed value.
inline std::int32_t extend(std::uint32_t v, int s) {
    if (s == 0) return 0;
    // Without a branch on the sign (unpredictable in coded data): subtract
    // 2^s - 1 when the top bit of the s bits is clear.
    const std::int32_t x = static_cast<std::int32_t>(v);
    const std::int32_t below = (x - (std::int32_t{1} << (s - 1))) >> 31;
    return x - (below & ((std::int32_t{1} << s) - 1));
}

inline std::uint64_t lowMask64(int n) { return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1; }

// Zigzag position -> natural index for the decoders, extended to the
// positions 64 to 71 that only a corrupt run reaches (all mapped to 63).
inline constexpr std::array<std::uint8_t, 72> kZigzag72 = [] {
    std::array<std::uint8_t, 72> t{};
    for (int k = 0; k < 72; ++k) t[k] = k < 64 ? kZigzagToNatural[k] : 63;
    return t;
}();
static_assert(kZigzag72[3] == 16 && kZigzag72[63] == 63 && kZigzag72[71] == 63);

// True when some byte of w is 0xFF (a byte that needs stuffing, or the start
// of a marker): the complement has a zero byte exactly there.
inline bool anyByteFF(std::uint64_t w) {
    const std::uint64_t y = ~w;
    return ((y - 0x0101010101010101ull) & ~y & 0x8080808080808080ull) != 0;
}

// ---- byte-wise bit writer -----------------------------------------------------------

// Pending bits live right-aligned in `bits` (0 to 7 of them between calls).
// Load from / store to the state record with load() and store(); the record
// layout keeps them left-aligned below bit 24.
class ByteWriter {
public:
    ByteWriter(Zeb8u* dst, int dstLen, int pos) : dst_(dst), len_(dstLen), pos_(pos) {}

    void load(const EncodeState& st) {
        count_ = st.bitCount;
        bits_ = count_ > 0 ? (st.accumulator.lo >> (24 - count_)) & ((1u << count_) - 1) : 0;
    }
    void store(EncodeState& st) const {
        st.accumulator.set(count_ > 0 ? static_cast<std::uint64_t>(bits_) << (24 - count_) : 0);
        st.bitCount = count_;
    }

    // Appends the low `length` (0 to 16) bits of `code`, then writes every
    // complete byte with stuffing.  Length 0 (symbol without a code) fails
    // with zebErrHuffTable.  When the destination fills up, the bytes written
    // stay written, the position stays past them and the pending bits stay
    // as they were before this call.
    ZebResult putBits(std::uint32_t code, int length) {
        if (length == 0) return zebErrHuffTable;
        std::uint32_t acc = (bits_ << length) | (code & ((1u << length) - 1));
        int n = count_ + length;
        while (n >= 8) {
            n -= 8;
            const std::uint8_t b = static_cast<std::uint8_t>(acc >> n);
            if (pos_ >= len_) return zebErrBufferEnd;
            dst_[pos_++] = b;
            if (b == 0xFF) {
                if (pos_ == len_) return zebErrBufferEnd;
                dst_[pos_++] = 0;
            }
        }
        bits_ = acc & ((1u << n) - 1);
        count_ = n;
        return zebOk;
    }

    // Code of `entry` (an encoder table entry) followed by s extra bits.
    ZebResult putSymbol(std::uint32_t entry, std::uint32_t extra, int s) {
        ZebResult r = putBits(entryCode(entry), static_cast<int>(entryLength(entry)));
        if (r == zebOk && s > 0) r = putBits(extra, s);
        return r;
    }

    int position() const { return pos_; }

private:
    Zeb8u* dst_;
    int len_;
    int pos_;
    std::uint32_t bits_ = 0;
    int count_ = 0;
};

// Flush of the byte-wise family: pad the pending bits with 1-bits, write the
// last byte, and reset the whole state to zero whatever the write returned.
inline ZebResult flushByteWise(Zeb8u* dst, int dstLen, int* pPos, EncodeState& st) {
    ByteWriter w(dst, dstLen, *pPos);
    w.load(st);
    const ZebResult r = w.putBits(0x7F, 7);
    *pPos = w.position();
    std::memset(&st, 0, sizeof st);
    return r;
}

// ---- bit reader -------------------------------------------------------------------------

// Reads bytes until at least kTop bits are valid (25 for the byte-wise
// decoders, which therefore hold at most 32), un-stuffing 0xFF 0x00, skipping
// 0xFF fill bytes and stopping at a marker.  Valid bits are the low `count`
// bits of `acc`, oldest first from the top.
class BitReader {
public:
    BitReader(const Zeb8u* src, int srcLen, int pos, int marker) : src_(src), len_(srcLen), pos_(pos), marker_(marker) {}

    void load(const DecodeState& st) {
        count_ = st.bitCount;
        acc_ = st.accumulator.get();
    }
    void store(DecodeState& st) const {
        st.accumulator.set(acc_ & lowMask64(count_));
        st.bitCount = count_;
    }

    template <int kTop = 25>
    ZebResult fill(int need) {
        if (marker_ != 0) return need > count_ ? zebErrCodeRange : zebOk;
        if constexpr (kTop > 32) {
            // Readers that may hold 64 bits take every whole byte that fits at
            // once, when at least eight source bytes remain and none of those
            // taken is 0xFF (no stuffing, fill byte or marker among them).
            // This only reads further ahead than the byte-wise loop below.
            if (count_ < kTop && len_ - pos_ >= 8) {
                std::uint64_t w;
                std::memcpy(&w, src_ + pos_, 8);
                w = __builtin_bswap64(w);
                const int k = (64 - count_) / 8;
                const std::uint64_t bytes = k == 8 ? w : w >> (64 - 8 * k);
                if (!anyByteFF(bytes)) {  // the bytes beyond the k taken are zero
                    acc_ = (k == 8 ? 0 : acc_ << (8 * k)) | bytes;
                    count_ += 8 * k;
                    pos_ += k;
                    return zebOk;
                }
            }
        }
        while (count_ < kTop) {
            if (pos_ >= len_) return need > count_ ? zebErrBufferEnd : zebOk;
            std::uint32_t b = src_[pos_++];
            if (b == 0xFF) {
                for (;;) {
                    if (pos_ >= len_) return zebErrBufferEnd;
                    const std::uint32_t c = src_[pos_++];
                    if (c == 0) break;
                    if (c == 0xFF) continue;
                    marker_ = static_cast<int>(c);
                    return need > count_ ? zebErrCodeRange : zebOk;
                }
            }
            acc_ = (acc_ << 8) | b;
            count_ += 8;
        }
        return zebOk;
    }

    // The next k (1 to 32) valid bits without consuming them; k <= count().
    std::uint32_t peek(int k) const {
        return static_cast<std::uint32_t>((acc_ >> (count_ - k)) & lowMask64(k));
    }
    void skip(int k) { count_ -= k; }
    std::uint32_t take(int k) {
        if (k == 0) return 0;
        const std::uint32_t v = peek(k);
        count_ -= k;
        return v;
    }
    // Takes k (0 to 16) bits, reading more first when needed.
    template <int kTop = 25>
    ZebResult takeBits(int k, std::uint32_t& v) {
        if (count_ < k) {
            const ZebResult r = fill<kTop>(k);
            if (r != zebOk) return r;
        }
        v = take(k);
        return zebOk;
    }

    // Reads one Huffman code: one look-up of the next 8 bits, else the
    // canonical search of T.81 F.2.2.3 up to 16 bits.  Returns symbol 0 with
    // zebErrCodeRange when no code matches.
    template <int kTop = 25>
    ZebResult decodeSymbol(const DecodeSpec& t, int& sym) {
        sym = 0;
        if (count_ < 8) {
            const ZebResult r = fill<kTop>(0);
            if (r != zebOk) return r;
        }
        int l = 1;
        if (count_ >= 8) {
            const std::uint32_t e = t.lookahead[peek(8)];
            if (entryLength(e) != 0) {
                count_ -= static_cast<int>(entryLength(e));
                sym = static_cast<int>(e & 0xFFFF);
                return zebOk;
            }
            l = 9;
        }
        std::uint32_t code;
        if (ZebResult r = takeBits<kTop>(l, code); r != zebOk) return r;
        for (;; ++l) {
            if (t.maxCode[l] != kNoCode && code <= t.maxCode[l]) {
                sym = t.huffVal[(t.valPtr[l] + code - t.minCode[l]) & 0xFF];
                return zebOk;
            }
            if (l == 16) return zebErrCodeRange;
            std::uint32_t bit;
            if (ZebResult r = takeBits<kTop>(1, bit); r != zebOk) return r;
            code = 2 * code + bit;
        }
    }

    int count() const { return count_; }
    int position() const { return pos_; }
    int marker() const { return marker_; }

private:

    const Zeb8u* src_;
    int len_;
    int pos_;
    int marker_;
    std::uint64_t acc_ = 0;
    int count_ = 0;
};

}  // namespace zeb::huff
