// Test-side restatement of the published conversion formulas, written
// directly from their products and offsets (no library tables), plus the
// double-precision BT.601 equations they approximate.
#pragma once

#include <omp.h>

#include <cstdint>

#include "common/harness.h"
#include "zeb.h"

namespace colortest {

inline int clamp8(long long v) { return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v)); }
inline int sat16(long long v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : static_cast<int>(v)); }

// Floor shift on any sign (independent of the compiler's >> on negatives).
inline long long floorShift(long long v, int s) {
    const long long d = 1LL << s;
    return v >= 0 ? v / d : -((-v + d - 1) / d);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Decoder, rounded Q16 tables.
inline Rgb tableDecode(int y, int cb, int cr) {
    const long long x = cb - 128, z = cr - 128;
    return {clamp8(y + floorShift(91881 * z + 32768, 16)),
            clamp8(y + floorShift((-22554 * x + 32768) + (-46802 * z), 16)),
            clamp8(y + floorShift(116130 * x + 32768, 16))};
}

// Decoder, Q14 constant sets.
inline Rgb setADecode(int y, int cb, int cr) {
    return {clamp8(y + floorShift(22970LL * cr - 2932015, 14)),
            clamp8(y - floorShift(5638LL * cb + 11700LL * cr - 2211182, 14)),
            clamp8(y + floorShift(29032LL * cb - 3708561, 14))};
}
inline Rgb setBDecode(int y, int cb, int cr) {
    return {clamp8(y + floorShift(22970LL * cr - 2932015, 14)),
            clamp8(y + floorShift(2227566LL - 5638LL * cb - 11700LL * cr, 14)),
            clamp8(y + floorShift(29032LL * cb - 3707961, 14))};
}

// Double-precision JFIF equations.
inline void exactEncode(int r, int g, int b, double& y, double& cb, double& cr) {
    y = 0.299 * r + 0.587 * g + 0.114 * b;
    cb = -0.168735892 * r - 0.331264108 * g + 0.5 * b + 128.0;
    cr = 0.5 * r - 0.418687589 * g - 0.081312411 * b + 128.0;
}

using zebtest::ThreadCount;

// Shrinks random-iteration counts under emulation and sanitizers.
inline constexpr int kSlowScale = zebtest::kSlowRun ? 8 : 1;

}  // namespace colortest
