// The mask walk of the baseline statistics against their coefficient-by-
// coefficient definition: the same counters, predictor and status for every
// block shape, including blocks that stop at a category error part way
// (AC category 15, DC difference category 16) with counters already added.
#include <cstring>

#include "huffman_test_util.h"
#include "jpeg/huffman/huffman_baseline.h"

namespace {

using namespace hufftest;
using zeb::Path;

TEST(HuffmanStatisticsPaths, MaskWalkCountsAsTheDefinition) {
    zebtest::Rng rng(404);
    const int count = zebtest::kSlowRun ? 2000 : 20000;
    for (const auto& [maxDc, maxAc] : {std::pair{2047, 1023}, std::pair{32767, 32767}, std::pair{65535, 16383}}) {
        std::vector<Block> blocks = randomBlocks(rng, count, maxDc, maxAc);
        Zeb32s dc[2][256] = {}, ac[2][256] = {};
        Zeb16s last[2] = {0, 0};
        int errors = 0;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            Block& b = blocks[i];
            if (rng.chance(0.05)) b[zeb::kZigzagToNatural[rng.range(1, 63)]] = -32768;  // category 16
            const ZebResult s = zeb::huff::blockStatistics<Path::Scalar>(b.data(), dc[0], ac[0], &last[0]);
            const ZebResult v = zeb::huff::blockStatistics<Path::Vector>(b.data(), dc[1], ac[1], &last[1]);
            ASSERT_EQ(s, v) << i;
            ASSERT_EQ(last[0], last[1]) << i;
            ASSERT_EQ(0, std::memcmp(dc[0], dc[1], sizeof dc[0])) << i;
            ASSERT_EQ(0, std::memcmp(ac[0], ac[1], sizeof ac[0])) << i;
            errors += s != zebOk;
        }
        EXPECT_GT(errors, 0);  // the error exits were reached
    }
}

}  // namespace
