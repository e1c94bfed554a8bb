// PackBits row coding kernels.
//
// Packets: a signed header h, then data.  0..127: h + 1 literal bytes follow;
// -1..-127: one byte follows, repeated 1 - h times; -128: no-op.
//
// The encoder's packet choice is defined byte by byte (literalEnd's rules);
// the vector path finds the same packet boundaries with SSE2 compares of
// sixteen adjacent byte pairs (literals) or sixteen bytes (runs) at once, and
// falls back to the byte rules near the end of the row and near the 128-byte
// packet limit.  Both paths choose identical packets for every input.  The
// decoder's vector path copies and fills with the library's byte copy and
// fill kernels (those of zebsCopy_8u and zebsSet_8u).
#pragma once

#include <cstdint>
#include <cstring>

#include "core/simd.h"
#include "core/vector_kernels.h"
#include "zeb.h"

namespace zeb::packbits {

constexpr int kMaxPacket = 128;  // data bytes of the longest literal or run

// Length of the run of bytes equal to s[i] from i on, at most 128.
template <Path P>
inline int runLength(const std::uint8_t* s, int i, int width) {
    const int limit = width - i < kMaxPacket ? width - i : kMaxPacket;
    const std::uint8_t b = s[i];
    int c = 1;
    if constexpr (P == Path::Vector) {
        const __m128i v = _mm_set1_epi8(static_cast<char>(b));
        while (c + 16 <= limit) {
            const unsigned diff =
                ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(loadu(s + i + c), v))) & 0xFFFFu;
            if (diff != 0) return c + __builtin_ctz(diff);
            c += 16;
        }
    }
    while (c < limit && s[i + c] == b) ++c;
    return c;
}

// End (exclusive) of the literal packet that starts at i, where s[i] != s[i+1]
// and i + 1 < width.  The byte rules, with k the next byte to list and len
// the bytes listed so far:
//   1. list s[k];
//   2. at 127 listed bytes, list s[k] as the 128th and end;
//   3. if k is the last byte, list it and end;
//   4. if s[k] != s[k+1], go to 1;
//   5. a pair s[k] == s[k+1] ends the packet before k when 126 bytes are
//      listed, when the pair closes the row, or when a third equal byte
//      follows; otherwise both bytes of the pair are listed (back to 1).
template <Path P>
inline int literalEnd(const std::uint8_t* s, int i, int width) {
    int k = i, len = 0;
    for (;;) {
        if constexpr (P == Path::Vector) {
            // Sixteen appends at once when none of the pairs (k+1, k+2) ...
            // (k+16, k+17) is equal: each of them would go 1 -> 2 -> 3 -> 4 -> 1
            // provided that the list stays below 127 and k stays below the
            // last byte.
            while (len + 16 < 127 && k + 18 <= width) {
                const __m128i a = loadu(s + k + 1), b = loadu(s + k + 2);
                if (_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)) != 0) break;
                k += 16;
                len += 16;
            }
        }
        ++k;  // 1
        ++len;
        if (len == 127) return k + 1;            // 2
        if (k == width - 1) return k + 1;        // 3
        if (s[k] != s[k + 1]) continue;          // 4
        if (len == 126 || k + 1 == width - 1 || s[k + 2] == s[k]) return k;  // 5
        ++k;
        ++len;
    }
}

struct PackResult {
    int written;  // bytes of complete packets
    bool fits;    // false when a packet did not fit the space
};

// Encodes one row into d, at most `space` bytes; writes only whole packets.
template <Path P>
PackResult packRow(const std::uint8_t* s, int width, std::uint8_t* d, int space) {
    int i = 0, out = 0;
    while (i < width) {
        if (i + 1 < width && s[i] == s[i + 1]) {
            const int count = runLength<P>(s, i, width);
            if (space - out < 2) return {out, false};
            d[out] = static_cast<std::uint8_t>(1 - count);
            d[out + 1] = s[i];
            out += 2;
            i += count;
            continue;
        }
        const int end = (i + 1 == width) ? width : literalEnd<P>(s, i, width);
        const int n = end - i;
        if (space - out < n + 1) return {out, false};
        d[out] = static_cast<std::uint8_t>(n - 1);
        if constexpr (P == Path::Vector)
            std::memcpy(d + out + 1, s + i, static_cast<std::size_t>(n));
        else
            for (int t = 0; t < n; ++t) d[out + 1 + t] = s[i + t];
        out += n + 1;
        i = end;
    }
    return {out, true};
}

struct UnpackResult {
    int pos;   // source position after the call
    bool ok;   // the row was completed
};

// Decodes packets from s[pos..srcLen) until dst holds `width` bytes.  On a
// failure pos is just after the failing packet's header (or srcLen when the
// source ended between packets).
template <Path P>
UnpackResult unpackRow(const std::uint8_t* s, int pos, int srcLen, std::uint8_t* d, int width) {
    long long p = pos;
    int out = 0;
    for (;;) {
        if (p >= srcLen) return {static_cast<int>(p), false};
        const int h = static_cast<std::int8_t>(s[p]);
        ++p;
        if (h >= 0) {
            const int n = h + 1;
            if (p + n > srcLen || out + n > width) return {static_cast<int>(p), false};
            if constexpr (P == Path::Vector)
                kern::copyBytes<Path::Vector>(s + p, d + out, static_cast<std::size_t>(n));
            else
                for (int t = 0; t < n; ++t) d[out + t] = s[p + t];
            p += n;
            out += n;
        } else if (h != -128) {
            const int n = 1 - h;
            if (p >= srcLen || out + n > width) return {static_cast<int>(p), false};
            if constexpr (P == Path::Vector)
                kern::setBytes<Path::Vector>(s[p], d + out, static_cast<std::size_t>(n));
            else
                for (int t = 0; t < n; ++t) d[out + t] = s[p];
            ++p;
            out += n;
        }
        if (out == width) return {static_cast<int>(p), true};
    }
}

}  // namespace zeb::packbits
