// Huffman tables: encoder and decoder records from the DHT form (BITS counts
// and HUFFVAL list), and the optimal BITS/HUFFVAL pair from symbol
// frequencies (T.81 Annex K.2 with the 16-bit limit and the reserved
// all-ones code).
#include <cstdint>
#include <cstring>

#include "core/check.h"
#include "jpeg/huffman/huffman_records.h"

namespace {

using zeb::huff::DecodeSpec;
using zeb::huff::EncodeSpec;
using zeb::huff::kNoCode;

// Code lengths and canonical codes in HUFFVAL order (T.81 Annex C).
struct CanonicalCodes {
    int total = 0;
    std::uint8_t length[257];
    std::uint32_t code[256];
};

// With rejectAllOnes, a length whose codes overflow it, or whose last code
// is all ones, fails (the encoder build); the decoder build accepts both.
ZebResult buildCodes(const Zeb8u* bits, CanonicalCodes& c, bool rejectAllOnes) {
    int t = 0;
    for (int l = 1; l <= 16; ++l) {
        const int n = bits[l - 1];
        if (t + n > 256) return zebErrHuffTable;
        for (int i = 0; i < n; ++i) c.length[t++] = static_cast<std::uint8_t>(l);
    }
    c.length[t] = 0;
    c.total = t;
    std::uint32_t code = 0;
    int k = 0;
    int l = c.length[0];
    while (c.length[k] != 0) {
        while (c.length[k] == l) c.code[k++] = code++;
        if (rejectAllOnes && code >= (std::uint32_t{1} << l)) return zebErrHuffTable;
        code <<= 1;
        ++l;
    }
    return zebOk;
}

ZebResult buildEncodeSpec(const Zeb8u* bits, const Zeb8u* huffVal, EncodeSpec& table) {
    std::memset(&table, 0, sizeof table);
    CanonicalCodes c;
    if (const ZebResult r = buildCodes(bits, c, true); r != zebOk) return r;
    for (int k = 0; k < c.total; ++k)
        table.entry[huffVal[k]] = (std::uint32_t{c.length[k]} << 16) | (c.code[k] & 0xFFFF);
    return zebOk;
}

ZebResult buildDecodeSpec(const Zeb8u* bits, const Zeb8u* huffVal, DecodeSpec& table) {
    std::memset(&table, 0, sizeof table);
    CanonicalCodes c;
    if (const ZebResult r = buildCodes(bits, c, false); r != zebOk) return r;
    int k = 0;
    for (int l = 1; l <= 16; ++l) {
        const int n = bits[l - 1];
        if (n == 0) {
            table.maxCode[l] = kNoCode;
            continue;
        }
        table.valPtr[l] = static_cast<std::uint16_t>(k);
        table.minCode[l] = static_cast<std::uint16_t>(c.code[k]);
        for (int i = 0; i < n; ++i, ++k) table.huffVal[k] = huffVal[k];
        table.maxCode[l] = static_cast<std::uint16_t>(c.code[k - 1]);
    }
    table.maxCode[17] = kNoCode;
    for (k = 0; k < c.total && c.length[k] <= 8; ++k) {
        const int l = c.length[k];
        const std::uint32_t first = c.code[k] << (8 - l);
        const std::uint32_t count = std::uint32_t{1} << (8 - l);
        if (first + count > 256) return zebErrHuffTable;
        const std::uint32_t e = (static_cast<std::uint32_t>(l) << 16) | huffVal[k];
        for (std::uint32_t i = 0; i < count; ++i) table.lookahead[first + i] = e;
    }
    return zebOk;
}

// The optimal code lengths of T.81 Figure K.1 over 256 symbols plus the
// reserved symbol 256, then the length limit of Figure K.3.
ZebResult buildRawTable(const Zeb32s* stats, Zeb8u* pBits, Zeb8u* pHuffVal) {
    constexpr int kSymbols = 257;
    constexpr long long kBound = 1000000000;
    long long freq[kSymbols];
    int codesize[kSymbols];
    int others[kSymbols];
    std::uint8_t bits[33] = {};
    for (int i = 0; i < 256; ++i) freq[i] = stats[i];
    freq[256] = 1;
    for (int i = 0; i < kSymbols; ++i) {
        codesize[i] = 0;
        others[i] = -1;
    }
    // Smallest nonzero frequency; ties go to the highest symbol.
    auto smallest = [&](int skip) {
        long long v = kBound;
        int pick = -1;
        for (int i = 0; i < kSymbols; ++i)
            if (i != skip && freq[i] != 0 && freq[i] <= v) {
                v = freq[i];
                pick = i;
            }
        return pick;
    };
    for (;;) {
        const int c1 = smallest(-1);
        const int c2 = c1 < 0 ? -1 : smallest(c1);
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        int i = c1;
        ++codesize[i];
        while (others[i] >= 0) {
            i = others[i];
            ++codesize[i];
        }
        others[i] = c2;
        i = c2;
        ++codesize[i];
        while (others[i] >= 0) {
            i = others[i];
            ++codesize[i];
        }
    }
    for (int i = 0; i < kSymbols; ++i) {
        if (codesize[i] == 0) continue;
        if (codesize[i] > 32) return zebErrHuffTable;
        ++bits[codesize[i]];
    }
    for (int i = 32; i > 16; --i) {
        while (bits[i] > 0) {
            if (bits[i] < 2) return zebErrHuffTable;  // not a full code tree
            int j = i - 2;
            while (j > 0 && bits[j] == 0) --j;
            if (j == 0) return zebErrHuffTable;  // not a full code tree
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    // Only the reserved symbol had a frequency: an empty table.
    int top = 16;
    while (top > 0 && bits[top] == 0) --top;
    if (top > 0) bits[top] -= 1;
    std::memcpy(pBits, bits + 1, 16);
    int n = 0;
    for (int l = 1; l <= 32; ++l)
        for (int s = 0; s < 256; ++s)
            if (codesize[s] == l) pHuffVal[n++] = static_cast<Zeb8u>(s);
    return zebOk;
}

template <class Spec, int kBytes, class Build>
ZebResult initAlloc(const Zeb8u* pBits, const Zeb8u* pHuffVal, Spec** ppSpec, Build build) {
    ZEB_CHECK(ptr(pBits, pHuffVal, ppSpec));
    Zeb8u* mem = zebsMalloc_8u(kBytes);
    if (mem == nullptr) return zebErrNullPtr;
    Spec* table = reinterpret_cast<Spec*>(mem);
    *ppSpec = table;
    return build(pBits, pHuffVal, *zeb::huff::rec(table));
}

}  // namespace

extern "C" {

ZEB_API ZebResult zebiEncodeHuffmanSpecGetBufSize_JPEG_8u(int* pSize) {
    ZEB_CHECK(ptr(pSize));
    *pSize = zeb::huff::kEncodeSpecBytes;
    return zebOk;
}

ZEB_API ZebResult zebiEncodeHuffmanSpecInit_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                   ZebEncodeHuffmanSpec* pSpec) {
    ZEB_CHECK(ptr(pBits, pHuffVal, pSpec));
    return buildEncodeSpec(pBits, pHuffVal, *zeb::huff::rec(pSpec));
}

ZEB_API ZebResult zebiEncodeHuffmanSpecInitAlloc_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                        ZebEncodeHuffmanSpec** ppSpec) {
    return initAlloc<ZebEncodeHuffmanSpec, zeb::huff::kEncodeSpecBytes>(pBits, pHuffVal, ppSpec, buildEncodeSpec);
}

ZEB_API ZebResult zebiEncodeHuffmanSpecFree_JPEG_8u(ZebEncodeHuffmanSpec* pSpec) {
    ZEB_CHECK(ptr(pSpec));
    zebsFree(pSpec);
    return zebOk;
}

ZEB_API ZebResult zebiDecodeHuffmanSpecGetBufSize_JPEG_8u(int* pSize) {
    ZEB_CHECK(ptr(pSize));
    *pSize = zeb::huff::kDecodeSpecBytes;
    return zebOk;
}

ZEB_API ZebResult zebiDecodeHuffmanSpecInit_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                   ZebDecodeHuffmanSpec* pSpec) {
    ZEB_CHECK(ptr(pBits, pHuffVal, pSpec));
    return buildDecodeSpec(pBits, pHuffVal, *zeb::huff::rec(pSpec));
}

ZEB_API ZebResult zebiDecodeHuffmanSpecInitAlloc_JPEG_8u(const Zeb8u* pBits, const Zeb8u* pHuffVal,
                                                        ZebDecodeHuffmanSpec** ppSpec) {
    return initAlloc<ZebDecodeHuffmanSpec, zeb::huff::kDecodeSpecBytes>(pBits, pHuffVal, ppSpec, buildDecodeSpec);
}

ZEB_API ZebResult zebiDecodeHuffmanSpecFree_JPEG_8u(ZebDecodeHuffmanSpec* pSpec) {
    ZEB_CHECK(ptr(pSpec));
    zebsFree(pSpec);
    return zebOk;
}

ZEB_API ZebResult zebiEncodeHuffmanRawTableInit_JPEG_8u(const Zeb32s* pStatistics, Zeb8u* pBits,
                                                       Zeb8u* pHuffVal) {
    ZEB_CHECK(ptr(pStatistics, pBits, pHuffVal));
    return buildRawTable(pStatistics, pBits, pHuffVal);
}

}  // extern "C"
