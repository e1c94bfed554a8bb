// Reference 9/7 lifting for the tests, written on natural sample
// coordinates: a line is a window of positions j (relative to the first
// sample), each either known or not; a lifting step updates the positions of
// one coordinate parity from their two neighbours and leaves a position
// unknown when a neighbour is unknown.  Outputs that come out unknown mean the
// listed border is not enough; a kernel that reads beyond it is caught by the
// poison the tests put there.
//
// Step rules are written out directly from the arithmetic each family
// states: double precision (the accuracy reference), the Q16 line rules, the
// saturating 16-bit line rules, the Q14 tile rules and single-precision
// lifting on integers.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace d97ref {

using i64 = std::int64_t;

// ---- lines with known / unknown positions ------------------------------------------------------
template <class V>
struct Seq {
    int lo = 0;
    std::vector<V> v;
    std::vector<char> ok;
    Seq(int lo_, int hi_) : lo(lo_), v(hi_ - lo_ + 1), ok(hi_ - lo_ + 1, 0) {}
    bool has(int j) const { return j >= lo && j < lo + static_cast<int>(v.size()) && ok[j - lo]; }
    V& at(int j) { return v[j - lo]; }
    void set(int j, V x) {
        v[j - lo] = x;
        ok[j - lo] = 1;
    }
    int hi() const { return lo + static_cast<int>(v.size()) - 1; }
};

// Positions whose coordinate parity is odd get high coefficients.
inline bool isOdd(int j, int p) { return ((j + p) & 1) != 0; }

// f(j, self, left, right) on every position of the given parity.
template <class V, class F>
void step(Seq<V>& s, int p, bool odd, F f) {
    for (int j = s.lo; j <= s.hi(); ++j) {
        if (isOdd(j, p) != odd || !s.has(j)) continue;
        if (s.has(j - 1) && s.has(j + 1))
            s.at(j) = f(j, s.at(j), s.at(j - 1), s.at(j + 1));
        else
            s.ok[j - s.lo] = 0;
    }
}
template <class V, class F>
void scale(Seq<V>& s, int p, bool odd, F f) {
    for (int j = s.lo; j <= s.hi(); ++j)
        if (isOdd(j, p) == odd && s.has(j)) s.at(j) = f(j, s.at(j));
}

// Coefficients at positions 0..n-1 split into low (even coordinates) then
// high; nullopt when one of them is unknown.
template <class V>
std::optional<std::pair<std::vector<V>, std::vector<V>>> split(Seq<V>& s, int n, int p) {
    std::vector<V> lo, hi;
    for (int j = 0; j < n; ++j) {
        if (!s.has(j)) return std::nullopt;
        (isOdd(j, p) ? hi : lo).push_back(s.at(j));
    }
    return std::make_pair(lo, hi);
}
template <class V>
std::optional<std::vector<V>> samples(Seq<V>& s, int n) {
    std::vector<V> out;
    for (int j = 0; j < n; ++j) {
        if (!s.has(j)) return std::nullopt;
        out.push_back(s.at(j));
    }
    return out;
}

// Builds the coefficient line of the inverse from band getters: position j
// holds L((j - p) / 2) at even coordinates and H((j - 1 + p) / 2) at odd ones.
template <class V>
Seq<V> interleave(int lo, int hi, int p, const std::function<std::optional<V>(int)>& low,
                  const std::function<std::optional<V>(int)>& high) {
    Seq<V> s(lo, hi);
    for (int j = lo; j <= hi; ++j) {
        const auto v = isOdd(j, p) ? high((j - 1 + p) / 2) : low((j - p) / 2);
        if (v) s.set(j, *v);
    }
    return s;
}

// ---- double precision ------------------------------------------------------------------------------
namespace dbl {
inline constexpr double A = -1.5861343, B = -0.052980117, G = 0.8829111, D = 0.44350687, KL = 0.8128931,
                        K = 1.2301741;
inline void forward(Seq<double>& s, int p) {
    step(s, p, true, [](int, double x, double l, double r) { return x + A * (l + r); });
    step(s, p, false, [](int, double x, double l, double r) { return x + B * (l + r); });
    step(s, p, true, [](int, double x, double l, double r) { return x + G * (l + r); });
    step(s, p, false, [](int, double x, double l, double r) { return x + D * (l + r); });
    scale(s, p, false, [](int, double x) { return KL * x; });
    scale(s, p, true, [](int, double x) { return K * x; });
}
inline void inverse(Seq<double>& s, int p) {
    scale(s, p, false, [](int, double x) { return K * x; });
    scale(s, p, true, [](int, double x) { return KL * x; });
    step(s, p, false, [](int, double x, double l, double r) { return x - D * (l + r); });
    step(s, p, true, [](int, double x, double l, double r) { return x - G * (l + r); });
    step(s, p, false, [](int, double x, double l, double r) { return x - B * (l + r); });
    step(s, p, true, [](int, double x, double l, double r) { return x - A * (l + r); });
}
}  // namespace dbl

// ---- Q16 line rules (32s line forms) ------------------------------------------------------------------
inline i64 wrap32(i64 v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFFF)); }
inline i64 R16(i64 c, i64 v) { return (c * v + 32768) >> 16; }

namespace q16 {
inline void forward(Seq<i64>& s, int p) {
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap32(x + R16(-103949, wrap32(l + r))); });
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap32(x + R16(-3472, wrap32(l + r))); });
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap32(x + R16(57862, wrap32(l + r))); });
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap32((53274 * x + 23627 * wrap32(l + r) + 32768) >> 16); });
    scale(s, p, true, [](int, i64 x) { return wrap32(R16(80621, x)); });
}
inline void inverse(Seq<i64>& s, int p) {
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap32((80621 * x - 23627 * wrap32(l + r) + 32768) >> 16); });
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap32((53274 * x - 57862 * wrap32(l + r) + 32768) >> 16); });
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap32(x - R16(-3472, wrap32(l + r))); });
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap32(x - R16(-103949, wrap32(l + r))); });
}
}  // namespace q16

// ---- saturating 16-bit line rules -------------------------------------------------------------------------
namespace sat {
inline i64 S(i64 v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; }
// M(c, t) standing alone and added to v, from P = c t.
inline i64 M(i64 c, i64 t) {
    const i64 P = c * t;
    return S((P >> 16) + ((P >> 15) & 1));
}
inline i64 addM(i64 v, i64 c, i64 t) {
    const i64 P = c * t;
    return S(S(v + (P >> 16)) + ((P >> 15) & 1));
}
inline i64 x2(i64 v) { return S(v + v); }
inline i64 x4(i64 v) { return x2(x2(v)); }

// Edge positions (band index outside 1 .. w-2) use the Q16 equations with
// every step saturated; interior positions the saturating steps.
struct Edges {
    int w, p;
    bool operator()(int j) const {
        const int k = isOdd(j, p) ? (j - 1 + p) / 2 : (j - p) / 2;
        return k < 1 || k > w - 2;
    }
};

template <class E>
inline void forward(Seq<i64>& s, int p, E e) {
    step(s, p, true, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S(x + R16(-103949, l + r)) : addM(x, -25987, x4(S(l + r)));
    });
    step(s, p, false, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S(x + R16(-3472, l + r)) : addM(x, -3472, S(l + r));
    });
    step(s, p, true, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S(x + R16(57862, l + r)) : addM(x, 28931, x2(S(l + r)));
    });
    step(s, p, false, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S((53274 * x + 23627 * (l + r) + 32768) >> 16) : S(M(23627, S(l + r)) + M(26637, x2(x)));
    });
    scale(s, p, true, [&](int j, i64 x) { return e(j) ? S(R16(80621, x)) : M(20155, x4(x)); });
}
template <class E>
inline void inverse(Seq<i64>& s, int p, E e) {
    step(s, p, false, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S((80621 * x - 23627 * (l + r) + 32768) >> 16) : S(M(20155, x4(x)) - M(23627, S(l + r)));
    });
    step(s, p, true, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S((53274 * x - 57862 * (l + r) + 32768) >> 16) : S(M(26637, x2(x)) - M(28931, x2(S(l + r))));
    });
    step(s, p, false, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S(x - R16(-3472, l + r)) : addM(x, 3472, S(l + r));
    });
    step(s, p, true, [&](int j, i64 x, i64 l, i64 r) {
        return e(j) ? S(x - R16(-103949, l + r)) : addM(x, 25987, x4(S(l + r)));
    });
}
}  // namespace sat

// ---- whole-tile rules -------------------------------------------------------------------------------------
inline i64 wrap16(i64 v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF)); }
inline i64 R14(i64 c, i64 v) { return (c * v + 8192) >> 14; }

namespace q14 {
inline void forward(Seq<i64>& s, int p) {
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap16(x + R14(-25987, l + r)); });
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap16(x + R14(-868, l + r)); });
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap16(x + R14(14466, l + r)); });
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap16(x + R14(7266, l + r)); });
    scale(s, p, false, [](int, i64 x) { return wrap16(R14(13318, x)); });
    scale(s, p, true, [](int, i64 x) { return wrap16(R14(20155, x)); });
}
inline void inverse(Seq<i64>& s, int p) {
    scale(s, p, false, [](int, i64 x) { return wrap16(R14(20155, x)); });
    scale(s, p, true, [](int, i64 x) { return wrap16(R14(13318, x)); });
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap16(x - R14(7266, l + r)); });
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap16(x - R14(14466, l + r)); });
    step(s, p, false, [](int, i64 x, i64 l, i64 r) { return wrap16(x - R14(-868, l + r)); });
    step(s, p, true, [](int, i64 x, i64 l, i64 r) { return wrap16(x - R14(-25987, l + r)); });
}
}  // namespace q14

// Single-precision lifting on integers; values travel as doubles that hold
// either the integer or the float exactly.
namespace flt {
inline constexpr float A = -1.5861343f, B = -0.052980117f, G = 0.8829111f, D = 0.44350687f, KL = 0.8128931f,
                       K = 1.2301741f;
inline float f(double v) { return static_cast<float>(v); }
inline void forward(Seq<double>& s, int p) {
    step(s, p, true, [](int, double x, double l, double r) {
        return double(f(x) + f(double(wrap32(i64(l) + i64(r)))) * A);
    });
    step(s, p, false, [](int, double x, double l, double r) { return double(f(x) + (f(l) + f(r)) * B); });
    step(s, p, true, [](int, double x, double l, double r) { return double(f(x) + (f(l) + f(r)) * G); });
    step(s, p, false, [](int, double x, double l, double r) { return double(f(x) + (f(l) + f(r)) * D); });
    scale(s, p, false, [](int, double x) { return double(f(x) * KL); });
    scale(s, p, true, [](int, double x) { return double(f(x) * K); });
}
inline void inverse(Seq<double>& s, int p) {
    scale(s, p, false, [](int, double x) { return double(f(x) * K); });
    scale(s, p, true, [](int, double x) { return double(f(x) * KL); });
    step(s, p, false, [](int, double x, double l, double r) { return double(f(x) - (f(l) + f(r)) * D); });
    step(s, p, true, [](int, double x, double l, double r) { return double(f(x) - (f(l) + f(r)) * G); });
    step(s, p, false, [](int, double x, double l, double r) { return double(f(x) - (f(l) + f(r)) * B); });
    step(s, p, true, [](int, double x, double l, double r) { return double(f(x) - (f(l) + f(r)) * A); });
}
// Truncation toward zero, clamped to the 32-bit range.
inline i64 toInt(double v) {
    if (v > 2147483648.0) return 2147483647;
    if (v < -2147483648.0) return -2147483648LL;
    if (v == 2147483648.0) return 2147483647;
    return static_cast<i64>(std::trunc(v));
}
}  // namespace flt

// ---- symmetric extension ----------------------------------------------------------------------------------
// The sample position k mirrors onto in a line of n >= 2 samples, by walking
// the reflections one at a time.
inline int mirror(int k, int n) {
    while (k < 0 || k > n - 1) k = k < 0 ? -k : 2 * (n - 1) - k;
    return k;
}

}  // namespace d97ref
