// Inputs that the fuzz targets of the tool's readers found to break them,
// rebuilt as small files: each must now decode or be refused cleanly (the
// sanitizer builds catch any access outside the buffers).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg_codec.h"
#include "tiff.h"

namespace {

// A flat grey baseline JPEG: 10 x 20, three components, luma sampled
// lumaH x lumaV, chroma 1 x 1; one-code tables (DC difference 0, EOB), so
// every block is zero and every sample decodes to 128.
std::vector<std::uint8_t> flatJpeg(int lumaH, int lumaV) {
    std::vector<std::uint8_t> f = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    f.insert(f.end(), 64, 0x01);  // quantisers 1
    const std::vector<std::uint8_t> sof = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 20, 0x00, 10, 0x03,
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
    // Two zero bits per block, at most 20 blocks: eight zero bytes are ample.
    f.insert(f.end(), 8, 0x00);
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
