// The JPEG decoder's 8-bit output (DecodeOptions::bytes, what the PGM/PPM
// writer and the benchmark take): the same pixels as the 16-bit samples on
// every output path (plane strips, per-MCU, bands of MCU rows on two
// threads, grey, progressive, restart intervals), and the PNM writer's bytes
// are the same either way.
#include <gtest/gtest.h>

#include <algorithm>
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

// A smooth image with some texture, odd sizes so that MCUs are cut at the
// right and bottom edges.
Image testImage(int channels, int width = 77, int height = 45) {
    Image img;
    img.width = width;
    img.height = height;
    img.channels = channels;
    img.samples.resize(static_cast<std::size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const double v = 128 + 90 * std::sin(0.13 * x + 0.5 * c) * std::cos(0.09 * y) + ((x * 7 + y * 13 + c) % 23);
                img.at(x, y, c) = static_cast<std::uint16_t>(std::clamp(v, 0.0, 255.0));
            }
    return img;
}

struct Case {
    const char* name;
    int channels;
    Mode mode;
    int h, v, restart;
};

TEST(JpegDecodeBytes, SamePixelsAsWidenedSamples) {
    const Case cases[] = {
        {"420", 3, Mode::Baseline, 2, 2, 0},     {"422", 3, Mode::Baseline, 2, 1, 0},
        {"444", 3, Mode::Baseline, 1, 1, 0},     {"grey", 1, Mode::Baseline, 1, 1, 0},
        {"420 restart", 3, Mode::Baseline, 2, 2, 3}, {"progressive 420", 3, Mode::Progressive, 2, 2, 0},
        {"progressive grey", 1, Mode::Progressive, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image src = testImage(c.channels);
        zebimg::jpeg::EncodeOptions eo;
        eo.mode = c.mode;
        eo.hSamp = c.h;
        eo.vSamp = c.v;
        eo.restartInterval = c.restart;
        std::vector<std::uint8_t> file;
        std::string error;
        ASSERT_TRUE(zebimg::jpeg::encode(src, eo, file, error)) << error;
        std::vector<std::uint8_t> oneThread[2];  // [mcu]: the pixels of one thread
        for (int threads : {1, 2})
            for (bool mcu : {false, true}) {
                SCOPED_TRACE("threads " + std::to_string(threads) + (mcu ? " mcu" : ""));
                zebcoreSetNumThreads(threads);
                zebimg::jpeg::DecodeOptions opt;
                opt.mcuUpsampling = mcu;
                Image wide, narrow;
                ASSERT_TRUE(zebimg::jpeg::decode(file, wide, error, opt)) << error;
                opt.bytes = true;
                ASSERT_TRUE(zebimg::jpeg::decode(file, narrow, error, opt)) << error;
                ASSERT_TRUE(wide.bytes.empty());
                ASSERT_TRUE(narrow.samples.empty());
                ASSERT_EQ(narrow.bytes.size(), wide.samples.size());
                ASSERT_EQ(narrow.maxval, 255);
                for (std::size_t i = 0; i < wide.samples.size(); ++i) ASSERT_EQ(narrow.bytes[i], wide.samples[i]) << i;
                EXPECT_EQ(zebimg::writePnm(narrow), zebimg::writePnm(wide));
                // Bands and the two-thread pipeline give the same pixels.
                if (threads == 1) oneThread[mcu] = narrow.bytes;
                else ASSERT_EQ(narrow.bytes, oneThread[mcu]);
                // The decoded image is close to the source (the bytes are pixels, not garbage).
                double se = 0;
                for (std::size_t i = 0; i < src.samples.size(); ++i) {
                    const double d = double(src.samples[i]) - narrow.bytes[i];
                    se += d * d;
                }
                EXPECT_LT(se / src.samples.size(), 100.0);  // PSNR above 28 dB
            }
        zebcoreSetNumThreads(1);
    }
}

// One image record decoded again in the other form: the form not asked for
// is emptied.  Lossless files keep 16-bit samples whatever is asked.
TEST(JpegDecodeBytes, ReusedImageAndLossless) {
    const Image src = testImage(3, 20, 12);
    std::vector<std::uint8_t> dct, lossless;
    std::string error;
    zebimg::jpeg::EncodeOptions eo;
    ASSERT_TRUE(zebimg::jpeg::encode(src, eo, dct, error)) << error;
    eo.mode = Mode::Lossless;
    ASSERT_TRUE(zebimg::jpeg::encode(src, eo, lossless, error)) << error;
    zebimg::jpeg::DecodeOptions bytes;
    bytes.bytes = true;
    Image img;
    ASSERT_TRUE(zebimg::jpeg::decode(dct, img, error, bytes)) << error;
    ASSERT_EQ(img.bytes.size(), src.samples.size());
    ASSERT_TRUE(zebimg::jpeg::decode(lossless, img, error, bytes)) << error;
    EXPECT_TRUE(img.bytes.empty());
    EXPECT_EQ(img.samples, src.samples);
    ASSERT_TRUE(zebimg::jpeg::decode(dct, img, error, bytes)) << error;
    ASSERT_TRUE(zebimg::jpeg::decode(dct, img, error, {})) << error;
    EXPECT_TRUE(img.bytes.empty());
    EXPECT_EQ(img.samples.size(), src.samples.size());
}

}  // namespace
