// The JPEG encoder's 8-bit input (Image::bytes, what the benchmark hands
// it): the same file, byte for byte, as from the 16-bit samples of the same
// image, on every path of the encoder (MCU rows streamed into the scan,
// stored blocks for optimised tables and progressive scans, bands of MCU
// rows on two threads, grey, each sampling, restart intervals, lossless),
// for sizes that cut MCUs at the right and bottom edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "jpeg_codec.h"
#include "pnm.h"
#include "zeb.h"

namespace {

using zebimg::Image;
using Mode = zebimg::jpeg::EncodeOptions::Mode;

Image testImage(int channels, int width, int height) {
    Image img;
    img.width = width;
    img.height = height;
    img.channels = channels;
    img.samples.resize(static_cast<std::size_t>(width) * height * channels);
    unsigned seed = 7;
    for (auto& s : img.samples) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t i = static_cast<std::size_t>(&s - img.samples.data());
        const double v = 128 + 100 * std::sin(0.05 * static_cast<double>(i % (3 * width))) + (seed >> 16) % 40 - 20.0;
        s = static_cast<std::uint16_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return img;
}

TEST(JpegEncodeBytes, SameFileAsFromSixteenBitSamples) {
    int compared = 0;
    for (const auto& [w, h] : {std::pair{77, 45}, std::pair{16, 16}, std::pair{1, 1}, std::pair{300, 17}})
        for (int channels : {1, 3}) {
            const Image wide = testImage(channels, w, h);
            Image narrow = wide;
            narrow.bytes.assign(wide.samples.begin(), wide.samples.end());
            narrow.samples.clear();
            std::vector<std::vector<std::uint8_t>> oneThread;  // the files of one thread, in loop order
            for (int threads : {1, 2}) {
                zebcoreSetNumThreads(threads);
                std::size_t k = 0;
                for (Mode mode : {Mode::Baseline, Mode::Progressive, Mode::Lossless})
                    for (int s = 0; s < 3; ++s)
                        for (bool optimize : {false, true}) {
                            zebimg::jpeg::EncodeOptions opt;
                            opt.mode = mode;
                            opt.hSamp = s == 0 ? 1 : 2;
                            opt.vSamp = s == 2 ? 2 : 1;
                            opt.optimize = optimize;
                            opt.restartInterval = optimize ? 3 : 0;
                            opt.quality = 50 + 20 * s;
                            std::vector<std::uint8_t> a, b;
                            std::string ea, eb;
                            ASSERT_TRUE(zebimg::jpeg::encode(wide, opt, a, ea)) << ea;
                            ASSERT_TRUE(zebimg::jpeg::encode(narrow, opt, b, eb)) << eb;
                            ASSERT_EQ(a, b) << w << "x" << h << " channels " << channels << " threads " << threads
                                            << " mode " << static_cast<int>(mode) << " sampling " << s
                                            << " optimize " << optimize;
                            // Bands and the two-thread pipeline write the same file.
                            if (threads == 1) oneThread.push_back(a);
                            else ASSERT_EQ(a, oneThread[k++]) << w << "x" << h << " mode " << static_cast<int>(mode);
                            ++compared;
                        }
            }
        }
    zebcoreSetNumThreads(1);
    EXPECT_EQ(compared, 4 * 2 * 2 * 3 * 3 * 2);
}

}  // namespace
