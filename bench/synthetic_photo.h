// The codec benchmarks' test picture: smooth gradients, a chirp and a little
// seeded noise, 8-bit RGB, so that coders see photograph-like statistics.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "pnm.h"

inline zebimg::Image syntheticPhoto(int w, int h) {
    zebimg::Image img;
    img.width = w;
    img.height = h;
    img.channels = 3;
    img.samples.resize(static_cast<std::size_t>(w) * h * 3);
    unsigned seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                seed = seed * 1103515245u + 12345u;
                double v = 128 + 70 * std::sin(0.013 * x + 0.9 * c) * std::cos(0.021 * y - 0.4 * c) +
                           30 * std::sin(0.2 * x * std::cos(0.01 * y)) + static_cast<double>((seed >> 16) % 9) - 4;
                img.at(x, y, c) = static_cast<std::uint16_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return img;
}
