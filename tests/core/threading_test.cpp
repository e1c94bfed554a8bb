// The row loop of the whole-image functions: threshold, bands, nesting.
#include <omp.h>

#include <vector>

#include "common/harness.h"
#include "core/threading.h"

namespace {

using zebtest::ThreadCount;

// Runs the row loop over a w x h region and records which thread ran each row.
std::vector<int> rowOwners(int w, int h) {
    std::vector<int> owner(h, -1);
    zeb::forEachRow(w, h, [&](int y) { owner[y] = omp_get_thread_num() + 100 * omp_get_level(); });
    return owner;
}

TEST(Threading, ThreadCountLivesInZebcore) {
    EXPECT_GE(threads_omp_of_n_zeb, 1);
    ThreadCount tc(3);
    EXPECT_EQ(threads_omp_of_n_zeb, 3);
    zebcoreSetNumThreads(0);
    EXPECT_EQ(zebcoreGetNumThreads(), 1);
}

TEST(Threading, AtMost8192PixelsRunOnTheCallingThread) {
    ThreadCount tc(4);
    for (auto [w, h] : {std::pair{64, 128}, std::pair{8192, 1}, std::pair{1, 8192}}) {
        const std::vector<int> owner = rowOwners(w, h);
        for (int o : owner) ASSERT_EQ(o, 0);  // thread 0 at nesting level 0
    }
}

TEST(Threading, LargerRegionsSplitIntoContiguousBands) {
    ThreadCount tc(4);
    const std::vector<int> owner = rowOwners(8193, 37);
    int bands = 1;
    for (int y = 0; y < 37; ++y) {
        ASSERT_GE(owner[y], 100) << "row " << y << " ran outside a parallel region";
        if (y > 0 && owner[y] != owner[y - 1]) {
            ASSERT_GT(owner[y], owner[y - 1]);  // bands in thread order, top to bottom
            ++bands;
        }
    }
    EXPECT_LE(bands, 4);
    // One thread: still a parallel region, one band.
    zebcoreSetNumThreads(1);
    const std::vector<int> one = rowOwners(8193, 5);
    for (int o : one) EXPECT_EQ(o, 100);
}

TEST(Threading, InsideTheCallersParallelRegionRunsSerially) {
    ThreadCount tc(4);
    std::vector<std::vector<int>> seen(2);
#pragma omp parallel num_threads(2)
    {
        const int t = omp_get_thread_num();
        seen[t] = rowOwners(100000, 16);
    }
    for (int t = 0; t < 2; ++t) {
        if (seen[t].empty()) continue;  // the runtime may give fewer threads
        for (int o : seen[t]) EXPECT_EQ(o, t + 100);  // the caller's own thread, no nested team
    }
}

}  // namespace
