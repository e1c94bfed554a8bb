// Shared pieces of the progressive (T.81 Annex G) coders: the zigzag map
// extended to the positions a corrupt run can reach, the AC-family bit
// writer, and the spectral-selection / point-transform argument checks.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/zigzag.h"
#include "jpeg/huffman/bitstream.h"

namespace zeb::huff {

inline constexpr int kMaxEobRun = 32767;         // longest end-of-band run one symbol carries
inline constexpr int kMaxCorrectionBits = 937;   // buffered correction bits before a forced emission

inline bool badPointTransform(int al) { return al < 0 || al > 13; }
inline bool badSpectralBand(int ss, int se, int al) {
    return ss < 1 || ss > 63 || se < ss || se > 63 || badPointTransform(al);
}

inline int bitLength(std::uint32_t a) { return a == 0 ? 0 : 32 - __builtin_clz(a); }

// AC-family writer: up to 64 pending bits right-aligned in the accumulator.
// Complete bytes are written only when the next code word would not fit, and
// at the flush; bytes go out with T.81 stuffing, the destination checked byte
// by byte, eight at a time when none of them is 0xFF and there is room.
class AcWriter {
public:
    AcWriter(Zeb8u* dst, int dstLen, int pos) : dst_(dst), len_(dstLen), pos_(pos) {}

    void load(const EncodeState& st) {
        acc_ = st.accumulator.get();
        n_ = st.bitCount;
    }
    void store(EncodeState& st) const {
        st.accumulator.set(acc_ & lowMask64(n_));
        st.bitCount = n_;
    }

    // Appends the low `length` (0 to 32) bits of `code`.
    ZebResult putBits(std::uint32_t code, int length) {
        if (length == 0) return zebOk;
        if (n_ + length > 64) {
            if (const ZebResult r = drain(); r != zebOk) return r;
        }
        acc_ = (acc_ << length) | (code & static_cast<std::uint32_t>(lowMask64(length)));
        n_ += length;
        return zebOk;
    }

    // The code of an encoder-table entry; a symbol without a code fails.
    ZebResult putCode(std::uint32_t entry) {
        if (entryLength(entry) == 0) return zebErrHuffTable;
        return putBits(entryCode(entry), static_cast<int>(entryLength(entry)));
    }

    // Writes every complete pending byte.
    ZebResult drain() {
        const int k = n_ / 8;
        if (k == 0) return zebOk;
        const std::uint64_t word = (acc_ >> (n_ - 8 * k)) << (64 - 8 * k);  // k bytes, left-aligned
        if (len_ - pos_ >= 8 && !anyByteFF(word)) {  // the bytes beyond the k are zero
            const std::uint64_t be = __builtin_bswap64(word);
            std::memcpy(dst_ + pos_, &be, static_cast<std::size_t>(k));
            pos_ += k;
            n_ -= 8 * k;
            return zebOk;
        }
        while (n_ >= 8) {
            const std::uint8_t b = static_cast<std::uint8_t>(acc_ >> (n_ - 8));
            if (pos_ >= len_) return zebErrBufferEnd;
            dst_[pos_++] = b;
            n_ -= 8;
            if (b == 0xFF) {
                if (pos_ >= len_) return zebErrBufferEnd;
                dst_[pos_++] = 0;
            }
        }
        return zebOk;
    }

    // Pads with 1-bits to a byte boundary (at most 63 bits are pending when
    // padding is needed, so the padded bits always fit).
    void padToByte() {
        const int pad = (8 - n_ % 8) % 8;
        if (pad) {
            acc_ = (acc_ << pad) | static_cast<std::uint32_t>(lowMask64(pad));
            n_ += pad;
        }
    }

    int position() const { return pos_; }
    int pending() const { return n_; }

private:
    Zeb8u* dst_;
    int len_;
    int pos_;
    std::uint64_t acc_ = 0;
    int n_ = 0;
};

}  // namespace zeb::huff
