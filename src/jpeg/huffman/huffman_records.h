// In-memory layout of the four Huffman records behind the opaque public
// types.  Every record keeps its size on i686 and x86_64: the 64-bit
// accumulators are stored as two 32-bit halves so that the records only need
// 4-byte alignment, and a zero-filled state is a freshly initialised one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zeb.h"

namespace zeb::huff {

// Encoder table: one entry per symbol, (code length << 16) | code, the code
// right-aligned.  Length 0 means "symbol has no code".
struct EncodeSpec {
    std::uint32_t entry[256];
};

constexpr unsigned entryLength(std::uint32_t e) { return e >> 16; }
constexpr std::uint32_t entryCode(std::uint32_t e) { return e & 0xFFFFu; }

// Decoder table: HUFFVAL, the 8-bit look-ahead table and the canonical
// per-length tables (MINCODE, MAXCODE, VALPTR) of T.81 Annex F.  Entry 0 of
// the per-length tables is unused; maxCode[17] = 0xFFFF ends every search.
struct DecodeSpec {
    std::uint16_t huffVal[256];
    std::uint32_t lookahead[256];  // (length << 16) | symbol, 0 = longer than 8 bits
    std::uint16_t minCode[18];
    std::uint16_t maxCode[18];
    std::uint16_t valPtr[18];
};

inline constexpr std::uint16_t kNoCode = 0xFFFF;

// 64-bit accumulator kept as little-endian halves (4-byte alignment on both
// platforms).
struct Acc64 {
    std::uint32_t lo, hi;
    std::uint64_t get() const { return lo | (std::uint64_t{hi} << 32); }
    void set(std::uint64_t v) {
        lo = static_cast<std::uint32_t>(v);
        hi = static_cast<std::uint32_t>(v >> 32);
    }
};

// Encoder state.  The byte-wise coders (baseline, DC progressive, lossless)
// keep at most 7 pending bits left-aligned below bit 24 (oldest bit at bit
// 23); the AC progressive coders keep up to 64 bits right-aligned.  Only a
// flush moves a state from one layout to the other.
struct EncodeState {
    Acc64 accumulator;
    std::int32_t bitCount;
    std::int32_t eobRun;
    std::int32_t correctionCount;
    std::uint8_t correctionBits[1024];
};

// Decoder state: the valid read-ahead bits are the low `bitCount` bits of the
// accumulator, oldest first from the top.  The last word is reserved (kept 0)
// and only pads the record to its published size.
struct DecodeState {
    Acc64 accumulator;
    std::int32_t bitCount;
    std::int32_t eobRun;
    std::int32_t reserved;
};

inline constexpr int kEncodeSpecBytes = 1024;
inline constexpr int kDecodeSpecBytes = 1644;
inline constexpr int kEncodeStateBytes = 1044;
inline constexpr int kDecodeStateBytes = 20;

static_assert(sizeof(EncodeSpec) == kEncodeSpecBytes);
static_assert(sizeof(DecodeSpec) == kDecodeSpecBytes);
static_assert(offsetof(DecodeSpec, lookahead) == 512 && offsetof(DecodeSpec, minCode) == 1536 &&
              offsetof(DecodeSpec, maxCode) == 1572 && offsetof(DecodeSpec, valPtr) == 1608);
static_assert(sizeof(EncodeState) == kEncodeStateBytes);
static_assert(offsetof(EncodeState, correctionBits) == 20);
static_assert(sizeof(DecodeState) == kDecodeStateBytes);

// Casts from the opaque public types.
inline EncodeSpec* rec(ZebEncodeHuffmanSpec* p) { return reinterpret_cast<EncodeSpec*>(p); }
inline const EncodeSpec* rec(const ZebEncodeHuffmanSpec* p) { return reinterpret_cast<const EncodeSpec*>(p); }
inline DecodeSpec* rec(ZebDecodeHuffmanSpec* p) { return reinterpret_cast<DecodeSpec*>(p); }
inline const DecodeSpec* rec(const ZebDecodeHuffmanSpec* p) { return reinterpret_cast<const DecodeSpec*>(p); }
inline EncodeState* rec(ZebEncodeHuffmanState* p) { return reinterpret_cast<EncodeState*>(p); }
inline DecodeState* rec(ZebDecodeHuffmanState* p) { return reinterpret_cast<DecodeState*>(p); }

}  // namespace zeb::huff
