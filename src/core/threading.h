// The row loop of the whole-image functions.
//
// Regions of at most 8192 pixels run on the calling thread.  Larger ones run
// an OpenMP parallel loop over rows with a static schedule (one contiguous band
// of rows per thread) and as many threads as libzebcore's thread count holds at
// the moment of the call, unless a parallel region may not be started here
// (the caller is already inside one and nesting is not enabled), in which case
// they run serially too.  Every row goes through the same row kernel either
// way, so the output never depends on the path or the thread count.
#pragma once

#include <omp.h>

#include "zeb.h"

namespace zeb {

inline constexpr long long kSerialPixelLimit = 8192;

inline bool parallelRegionAllowed() { return omp_get_active_level() < omp_get_max_active_levels(); }

inline int requestedThreads() {
    const int n = threads_omp_of_n_zeb;
    return n < 1 ? 1 : n;
}

// Calls row(y) for y = 0 .. height-1, possibly in parallel bands.
template <class RowFn>
void forEachRow(int width, int height, RowFn&& row) {
    if (static_cast<long long>(width) * height <= kSerialPixelLimit || !parallelRegionAllowed()) {
        for (int y = 0; y < height; ++y) row(y);
        return;
    }
#pragma omp parallel for schedule(static) num_threads(requestedThreads())
    for (int y = 0; y < height; ++y) row(y);
}

}  // namespace zeb
