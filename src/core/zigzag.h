// The T.81 zigzag sequence of an 8x8 block, generated from its definition:
// the anti-diagonals r + c = s are walked in turn, upward (row decreasing)
// when s is even and downward when s is odd.
#pragma once

#include <array>
#include <cstdint>

namespace zeb {

// kZigzagToNatural[k]: natural (row-major) index of zigzag position k.
inline constexpr std::array<std::uint8_t, 64> kZigzagToNatural = [] {
    std::array<std::uint8_t, 64> t{};
    int k = 0;
    for (int s = 0; s <= 14; ++s) {
        const int lo = s > 7 ? s - 7 : 0, hi = s < 7 ? s : 7;
        for (int i = lo; i <= hi; ++i) {
            const int r = (s & 1) ? i : s - i;
            t[k++] = static_cast<std::uint8_t>(8 * r + (s - r));
        }
    }
    return t;
}();

// kNaturalToZigzag[n]: zigzag position of natural index n.
inline constexpr std::array<std::uint8_t, 64> kNaturalToZigzag = [] {
    std::array<std::uint8_t, 64> t{};
    for (int k = 0; k < 64; ++k) t[kZigzagToNatural[k]] = static_cast<std::uint8_t>(k);
    return t;
}();

static_assert(kZigzagToNatural[1] == 1 && kZigzagToNatural[2] == 8 && kZigzagToNatural[3] == 16 &&
              kZigzagToNatural[5] == 2 && kZigzagToNatural[63] == 63);
static_assert(kNaturalToZigzag[2] == 5 && kNaturalToZigzag[8] == 2 && kNaturalToZigzag[7] == 28);

}  // namespace zeb
