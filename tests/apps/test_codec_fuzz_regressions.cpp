// Inputs that the fuzz targets of the tool's readers found to break them,
// rebuilt as small files: each must now decode or be refused cleanly (the
// sanitizer builds catch any access outside the buffers).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "jpeg_codec.h"
#include "tiff.h"

namespace {

// A flat grey baseline JPEG: width x height, three components, luma sampled
// lumaH x lumaV, chroma 1 x 1; one-code tables (DC difference 0, EOB), so
// every block is zero and every sample decodes to 128.
std::vector<std::uint8_t> flatJpeg(int lumaH, int lumaV, int width = 10, int height = 20) {
    std::vector<std::uint8_t> f = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    f.reserve(256);
    f.insert(f.end(), 64, 0x01);  // quantisers 1
    const auto hi = [](int v) { return static_cast<std::uint8_t>(v >> 8); };
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 255); };
    const std::vector<std::uint8_t> sof = {0xFF, 0xC0, 0x00, 0x11, 0x08, hi(height), lo(height), hi(width), lo(width), 0x03,
                                           0x01, static_cast<std::uint8_t>(lumaH << 4 | lumaV), 0x00,
                                           0x02, 0x11, 0x00, 0x03, 0x11, 0x00};
    f.insert(f.end(), sof.begin(), sof.end());
    for (std::uint8_t tableClass : {0x00, 0x10}) {  // one code of length 1, for symbol 0
        f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x14, tableClass, 0x01});
        f.insert(f.end(), 15, 0x00);
        f.push_back(0x00);
    }
    const std::vector<std::uint8_t> sos = {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02,
                                           0x00, 0x03, 0x00, 0x00, 0x3F, 0x00};
    f.insert(f.end(), sos.begin(), sos.end());
    // Two zero bits per block: a quarter byte per block is enough.
    const int blocks = 3 * lumaH * lumaV * ((width + 8 * lumaH - 1) / (8 * lumaH)) * ((height + 8 * lumaV - 1) / (8 * lumaV));
    f.insert(f.end(), blocks / 4 + 8, 0x00);
    f.insert(f.end(), {0xFF, 0xD9});
    return f;
}

// The per-MCU colour path serves 4:4:4, 4:2:2 and 4:2:0 only; luma factors
// such as 3 x 2 (found by fuzz_zebimg_jpeg: the MCU path wrote six luma
// blocks into room for four) go through the plane path.
TEST(JpegFuzzRegressions, McuPathOnlyForItsSamplings) {
    const int factors[][2] = {{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 1}, {4, 2}, {3, 3}, {4, 4}};
    for (const auto& hv : factors) {
        SCOPED_TRACE(std::to_string(hv[0]) + "x" + std::to_string(hv[1]));
        const std::vector<std::uint8_t> file = flatJpeg(hv[0], hv[1]);
        for (bool mcu : {false, true}) {
            zebimg::Image img;
            std::string error;
            zebimg::jpeg::DecodeOptions opt;
            opt.mcuUpsampling = mcu;
            ASSERT_TRUE(zebimg::jpeg::decode(file, img, error, opt)) << error;
            ASSERT_EQ(img.width, 10);
            ASSERT_EQ(img.height, 20);
            ASSERT_EQ(img.channels, 3);
            for (std::uint16_t s : img.samples) ASSERT_EQ(s, 128);
        }
    }
}

// A frame that declares far more samples than its scans can code (found by
// fuzz_zebimg_jpeg, whose harness had to skip such files: a few hundred bytes
// declared 65535 x 65535 and the decoder allocated the image) is refused; a
// large image whose data is complete decodes.
TEST(JpegFuzzRegressions, FrameLargerThanItsData) {
    std::string error;
    zebimg::Image img;
    std::vector<std::uint8_t> file = flatJpeg(1, 1);
    for (std::size_t i = 0; i + 8 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC0) std::fill(file.begin() + i + 5, file.begin() + i + 9, 0xFF);
    EXPECT_FALSE(zebimg::jpeg::decode(file, img, error, {}));
    EXPECT_EQ(error, "JPEG image larger than its coded data can hold");
    ASSERT_TRUE(zebimg::jpeg::decode(flatJpeg(2, 2, 2000, 1500), img, error, {})) << error;
    ASSERT_EQ(img.samples.size(), std::size_t(2000) * 1500 * 3);
    for (std::uint16_t s : img.samples) ASSERT_EQ(s, 128);
}

// A TIFF whose directory claims 65535 x 65535 RGB pixels for a few bytes of
// strips (found by fuzz_zebimg_tiff: the reader allocated the whole image
// first) is refused without the allocation.
TEST(CodecFuzzRegressions, TiffClaimingMoreSamplesThanItsData) {
    zebimg::Image img;
    img.width = 3, img.height = 2, img.channels = 3;
    img.samples.assign(18, 77);
    for (bool packBits : {false, true}) {
        zebimg::tiff::WriteOptions opt;
        opt.packBits = packBits;
        std::vector<std::uint8_t> f;
        std::string err;
        ASSERT_TRUE(zebimg::tiff::write(img, opt, f, err)) << err;
        const std::size_t ifd = f[4] | f[5] << 8 | f[6] << 16 | std::size_t(f[7]) << 24;
        const int entries = f[ifd] | f[ifd + 1] << 8;
        for (int i = 0; i < entries; ++i) {
            std::uint8_t* e = &f[ifd + 2 + 12 * i];
            const int tag = e[0] | e[1] << 8;
            if (tag == 256 || tag == 257 || tag == 278) e[8] = 0xFF, e[9] = 0xFF;  // width, length, rows per strip
        }
        zebimg::Image back;
        EXPECT_FALSE(zebimg::tiff::read(f, back, err)) << packBits;
        EXPECT_EQ(err, "TIFF image larger than its data");
    }
}

}  // namespace
