// The rounding quantiser of the fused forward functions: the SSE2 form,
// which works on 16-bit halves of the product, equals the scalar definition
// for every 16-bit coefficient against reciprocals around every rounding and
// saturation boundary.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/harness.h"
#include "jpeg/dct/quant_kernels.h"

namespace {

using zebtest::Path;

TEST(QuantRound, VectorEqualsScalarForEveryCoefficient) {
    // Reciprocals of q = 1 (32768, the signed-product correction), the
    // largest ones, halves and quarters (exact ties), and a random sample.
    std::vector<Zeb16u> ts = {0, 1, 2, 3, 0x3FFF, 0x4000, 0x4001, 0x5555, 0x7FFF, 0x8000, 0x8001, 0xAAAA, 0xFFFE, 0xFFFF};
    for (int q = 1; q <= 255; q += zebtest::kSlowRun ? 37 : 3) ts.push_back(static_cast<Zeb16u>(32768 / q));
    zebtest::Rng rng(8);
    for (int i = 0; i < (zebtest::kSlowRun ? 4 : 40); ++i) ts.push_back(static_cast<Zeb16u>(rng.next()));
    for (const Zeb16u t : ts) {
        Zeb16u table[64];
        std::fill(table, table + 64, t);
        for (int c0 = -32768; c0 < 32768; c0 += 64) {
            Zeb16s s[64], v[64];
            for (int k = 0; k < 64; ++k) s[k] = v[k] = static_cast<Zeb16s>(c0 + k);
            zeb::dct::quantRound<Path::Scalar>(s, table);
            zeb::dct::quantRound<Path::Vector>(v, table);
            ASSERT_EQ(0, std::memcmp(s, v, sizeof s)) << "t " << t << " from c " << c0;
        }
    }
}

}  // namespace
