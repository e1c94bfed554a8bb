// ThreadSanitizer check of the 19 whole-image functions that split their row
// loop over OpenMP threads: each runs on an image above the 8192-pixel
// threshold with libzebcore's thread count at 1, 2, 3, 4 and 7, from inside
// a parallel region of the caller (serial), and twice at once from two
// threads of the caller on separate destinations; every result must equal the
// one-thread result byte for byte.  Built by the `tsan` preset (clang,
// LLVM's OpenMP runtime); ThreadSanitizer itself reports any data race.
#include <omp.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "zeb.h"

namespace {

constexpr int W = 136, H = 72;                    // 9792 pixels: above the threshold
constexpr int kStep = 4 * (2 * W) + 40;           // room for 4 channels, 16-bit samples and 2x up-sampling
constexpr int kRows = 2 * H + 2;
constexpr ZebSize kRoi{W, H};

// Four source planes with one sample of context around the region.
struct Sources {
    std::vector<Zeb8u> mem[4];
    const Zeb8u* plane[4];
    Sources() {
        std::uint32_t s = 99;
        for (int c = 0; c < 4; ++c) {
            mem[c].resize(static_cast<std::size_t>(kStep) * kRows);
            for (Zeb8u& b : mem[c]) b = static_cast<Zeb8u>((s = s * 1664525u + 1013904223u) >> 24);
            plane[c] = mem[c].data() + kStep + 1;
        }
    }
};

struct Outputs {
    std::vector<Zeb8u> mem[4];
    Zeb8u* plane[4];
    Outputs() {
        for (int c = 0; c < 4; ++c) {
            mem[c].assign(static_cast<std::size_t>(kStep) * kRows, 0);
            plane[c] = mem[c].data();
        }
    }
    bool operator==(const Outputs& o) const {
        for (int c = 0; c < 4; ++c)
            if (mem[c] != o.mem[c]) return false;
        return true;
    }
};

using Call = std::function<ZebResult(const Sources&, Outputs&)>;

struct Case {
    const char* name;
    Call run;
};

const Zeb16s* s16(const Sources& s) { return reinterpret_cast<const Zeb16s*>(s.plane[0] + 1); }

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"YCbCrToRGB_P3R", [](const Sources& s, Outputs& o) { return zebiYCbCrToRGB_JPEG_8u_P3R(s.plane, kStep, o.plane, kStep, kRoi); }},
        {"YCbCrToRGB_P3C3R", [](const Sources& s, Outputs& o) { return zebiYCbCrToRGB_JPEG_8u_P3C3R(s.plane, kStep, o.plane[0], kStep, kRoi); }},
        {"YCbCrToBGR_P3C3R", [](const Sources& s, Outputs& o) { return zebiYCbCrToBGR_JPEG_8u_P3C3R(s.plane, kStep, o.plane[0], kStep, kRoi); }},
        {"YCCKToCMYK_P4R", [](const Sources& s, Outputs& o) { return zebiYCCKToCMYK_JPEG_8u_P4R(s.plane, kStep, o.plane, kStep, kRoi); }},
        {"YCCKToCMYK_P4C4R", [](const Sources& s, Outputs& o) { return zebiYCCKToCMYK_JPEG_8u_P4C4R(s.plane, kStep, o.plane[0], kStep, kRoi); }},
        {"YCbCr422ToRGB_C2C3R", [](const Sources& s, Outputs& o) { return zebiYCbCr422ToRGB_JPEG_8u_C2C3R(s.plane[0], kStep, o.plane[0], kStep, kRoi); }},
        {"RGBToY_P3C1R", [](const Sources& s, Outputs& o) { return zebiRGBToY_JPEG_8u_P3C1R(s.plane, kStep, o.plane[0], kStep, kRoi); }},
        {"RGBToY_C3C1R", [](const Sources& s, Outputs& o) { return zebiRGBToY_JPEG_8u_C3C1R(s.plane[0], kStep, o.plane[0], kStep, kRoi); }},
        {"BGRToY_C3C1R", [](const Sources& s, Outputs& o) { return zebiBGRToY_JPEG_8u_C3C1R(s.plane[0], kStep, o.plane[0], kStep, kRoi); }},
        {"RGBToYCbCr_P3R", [](const Sources& s, Outputs& o) { return zebiRGBToYCbCr_JPEG_8u_P3R(s.plane, kStep, o.plane, kStep, kRoi); }},
        {"RGBToYCbCr_C3P3R", [](const Sources& s, Outputs& o) { return zebiRGBToYCbCr_JPEG_8u_C3P3R(s.plane[0], kStep, o.plane, kStep, kRoi); }},
        {"BGRToYCbCr_C3P3R", [](const Sources& s, Outputs& o) { return zebiBGRToYCbCr_JPEG_8u_C3P3R(s.plane[0], kStep, o.plane, kStep, kRoi); }},
        {"CMYKToYCCK_P4R", [](const Sources& s, Outputs& o) { return zebiCMYKToYCCK_JPEG_8u_P4R(s.plane, kStep, o.plane, kStep, kRoi); }},
        {"CMYKToYCCK_C4P4R", [](const Sources& s, Outputs& o) { return zebiCMYKToYCCK_JPEG_8u_C4P4R(s.plane[0], kStep, o.plane, kStep, kRoi); }},
        {"SampleDownH2V1", [](const Sources& s, Outputs& o) {
             return zebiSampleDownH2V1_JPEG_8u_C1R(s.plane[0], kStep, ZebSize{2 * W, H}, o.plane[0], kStep, kRoi); }},
        {"SampleDownH2V2", [](const Sources& s, Outputs& o) {
             return zebiSampleDownH2V2_JPEG_8u_C1R(s.plane[0], kStep, ZebSize{2 * W, 2 * H}, o.plane[0], kStep, kRoi); }},
        {"SampleUpH2V2", [](const Sources& s, Outputs& o) {
             return zebiSampleUpH2V2_JPEG_8u_C1R(s.plane[0], kStep, ZebSize{W / 2, H / 2}, o.plane[0], kStep, ZebSize{W, H}); }},
        {"Add128", [](const Sources& s, Outputs& o) { return zebiAdd128_JPEG_16s8u_C1R(s16(s), kStep, o.plane[0], kStep, kRoi); }},
        {"Sub128", [](const Sources& s, Outputs& o) {
             return zebiSub128_JPEG_8u16s_C1R(s.plane[0], kStep, reinterpret_cast<Zeb16s*>(o.plane[0]), kStep, kRoi); }},
    };
    return all;
}

}  // namespace

int main() {
    omp_set_dynamic(0);
    const Sources src;
    int failures = 0;
    for (const Case& c : cases()) {
        zebcoreSetNumThreads(1);
        Outputs ref;
        if (c.run(src, ref) != zebOk) {
            std::printf("%s: failed\n", c.name);
            ++failures;
            continue;
        }
        for (int n : {2, 3, 4, 7}) {
            zebcoreSetNumThreads(n);
            Outputs out;
            if (c.run(src, out) != zebOk || !(out == ref)) {
                std::printf("%s: %d threads differ from 1 thread\n", c.name, n);
                ++failures;
            }
        }
        // From the caller's own parallel region (serial inside), two calls at
        // once on separate destinations.
        zebcoreSetNumThreads(3);
        Outputs pair[2];
        ZebResult r[2] = {zebOk, zebOk};
#pragma omp parallel num_threads(2)
        {
            const int t = omp_get_thread_num();
            r[t] = c.run(src, pair[t]);
        }
        for (int t = 0; t < 2; ++t)
            if (r[t] != zebOk || !(pair[t] == ref)) {
                std::printf("%s: concurrent call %d differs\n", c.name, t);
                ++failures;
            }
    }
    std::printf("%zu threaded functions checked, %d failures\n", cases().size(), failures);
    return failures == 0 ? 0 : 1;
}
