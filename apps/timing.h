// Wall-clock timing for the demo and the codec benchmark: the best of a few
// runs, since the machines are noisy.
#pragma once

#include <algorithm>
#include <chrono>

namespace zebimg {

template <class F>
double bestSeconds(F&& f, int runs = 3) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace zebimg
