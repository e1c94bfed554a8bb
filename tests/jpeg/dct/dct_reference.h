// Double-precision T.81 8x8 DCT pair from its defining sums (two separable
// passes over the cosine basis): the independent reference of the
// fixed-point and single-precision transforms.  Blocks are in natural order.
#pragma once

#include <cmath>

#include "common/harness.h"

namespace dcttest {

// Random-iteration counts are divided by this under qemu (i686) and ASan.
inline constexpr int kSlowdown = zebtest::kSlowRun ? 25 : 1;

// m[u][x] = C(u)/2 cos((2x+1) u pi/16), C(0) = 1/sqrt(2).
struct Basis {
    double m[8][8];
    Basis() {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                m[u][x] = (u ? 0.5 : 0.5 / std::sqrt(2.0)) * std::cos((2 * x + 1) * u * 3.14159265358979323846 / 16);
    }
};

// out[8a+b] = sum_{i,j} in[8i+j] * m[a][i] * m[b][j] (forward), or with the
// basis transposed (inverse).
inline void separable(const double* in, double* out, bool inverse) {
    static const Basis basis;
    auto w = [&](int freq, int pos) { return inverse ? basis.m[pos][freq] : basis.m[freq][pos]; };
    double t[64];
    for (int i = 0; i < 8; ++i)
        for (int b = 0; b < 8; ++b) {
            double s = 0;
            for (int j = 0; j < 8; ++j) s += in[8 * i + j] * w(b, j);
            t[8 * i + b] = s;
        }
    for (int a = 0; a < 8; ++a)
        for (int b = 0; b < 8; ++b) {
            double s = 0;
            for (int i = 0; i < 8; ++i) s += t[8 * i + b] * w(a, i);
            out[8 * a + b] = s;
        }
}

inline void referenceFdct(const double* f, double* F) { separable(f, F, false); }
inline void referenceIdct(const double* F, double* f) { separable(F, f, true); }

}  // namespace dcttest
