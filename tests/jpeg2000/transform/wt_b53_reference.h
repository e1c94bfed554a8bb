// Reference 5/3 lifting for the tests, written on natural sample coordinates
// (parity 1 gives a high coefficient, parity 0 a low one) in 64-bit
// arithmetic with explicit wrapping.  It reads only the samples the
// equations name, so comparing a kernel with it over a poisoned border also
// proves which border samples the kernel reads.  Also: the exported 5/3
// functions of each element type, for typed tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "zeb.h"

namespace b53ref {

using i64 = std::int64_t;

// Wrap16: every sum wraps at 16 bits; Exact16: exact sums, 16-bit results;
// Wrap32: everything wraps at 32 bits.
enum class Arith { Wrap16, Exact16, Wrap32 };

inline i64 wrap(i64 v, int bits) {
    const i64 m = i64{1} << bits;
    v &= m - 1;
    return v >= m / 2 ? v - m : v;
}
inline int resultBits(Arith a) { return a == Arith::Wrap32 ? 32 : 16; }
inline i64 sumOf(i64 s, Arith ar) { return ar == Arith::Exact16 ? s : wrap(s, resultBits(ar)); }
inline i64 half(i64 a, i64 b, Arith ar) { return sumOf(a + b, ar) >> 1; }
inline i64 quarter(i64 a, i64 b, Arith ar) { return sumOf(sumOf(a + b, ar) + 2, ar) >> 2; }

using Line = std::function<i64(int)>;  // sample or coefficient at a coordinate
struct Bands {
    std::vector<i64> low, high;
};

// Forward transform of x(0) .. x(n-1) at phase p.
inline Bands forward(const Line& x, int n, int p, Arith ar) {
    const int bits = resultBits(ar);
    auto hi = [&](int j) { return wrap(x(j) - half(x(j - 1), x(j + 1), ar), bits); };
    Bands b;
    for (int j = 0; j < n; ++j)
        ((j + p) & 1 ? b.high : b.low).push_back((j + p) & 1 ? hi(j) : wrap(x(j) + quarter(hi(j - 1), hi(j + 1), ar), bits));
    return b;
}

// Inverse of interleaved coefficients y(j) (low at parity 0, high at 1).
inline std::vector<i64> inverse(const Line& y, int n, int p, Arith ar) {
    const int bits = resultBits(ar);
    auto even = [&](int j) { return wrap(y(j) - quarter(y(j - 1), y(j + 1), ar), bits); };
    std::vector<i64> x;
    for (int j = 0; j < n; ++j) x.push_back((j + p) & 1 ? wrap(y(j) + half(even(j - 1), even(j + 1), ar), bits) : even(j));
    return x;
}

}  // namespace b53ref

template <class T>
struct B53;

#define ZEB_B53_API(T, S, AR)                                                                              \
    template <>                                                                                           \
    struct B53<T> {                                                                                       \
        static constexpr b53ref::Arith kArith = b53ref::Arith::AR;                                         \
        static constexpr auto bufIR = zebiWTGetBufSize_B53_JPEG2K_##S##_C1IR;                              \
        static constexpr auto bufR = zebiWTGetBufSize_B53_JPEG2K_##S##_C1R;                                \
        static constexpr auto fwdIR = zebiWTFwd_B53_JPEG2K_##S##_C1IR;                                     \
        static constexpr auto invIR = zebiWTInv_B53_JPEG2K_##S##_C1IR;                                     \
        static constexpr auto fwdR = zebiWTFwd_B53_JPEG2K_##S##_C1R;                                       \
        static constexpr auto invR = zebiWTInv_B53_JPEG2K_##S##_C1R;                                       \
        static constexpr auto fwdRow = zebiWTFwdRow_B53_JPEG2K_##S##_C1R;                                  \
        static constexpr auto invRow = zebiWTInvRow_B53_JPEG2K_##S##_C1R;                                  \
        static constexpr auto fwdCol = zebiWTFwdCol_B53_JPEG2K_##S##_C1R;                                  \
        static constexpr auto invCol = zebiWTInvCol_B53_JPEG2K_##S##_C1R;                                  \
        static constexpr auto fwdLift = zebiWTFwdColLift_B53_JPEG2K_##S##_C1;                              \
        static constexpr auto invLift = zebiWTInvColLift_B53_JPEG2K_##S##_C1;                              \
        static constexpr auto fwdStep = zebiWTFwdColStep_B53_JPEG2K_##S##_C1;                              \
        static constexpr auto invStep = zebiWTInvColStep_B53_JPEG2K_##S##_C1;                              \
    };
ZEB_B53_API(Zeb16s, 16s, Wrap16)
ZEB_B53_API(Zeb32s, 32s, Wrap32)
#undef ZEB_B53_API
