// The codec tool's TIFF reader, zebimg::tiff::read, on whole files: both
// byte orders, IFD entries, strips, uncompressed and PackBits data.
#include "fuzz_common.h"
#include "tiff.h"

using namespace zebfuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    zebimg::Image img;
    std::string error;
    if (zebimg::tiff::read(bytes, img, error)) {
        ZEBFUZZ_REQUIRE(img.width >= 1 && img.height >= 1 && (img.channels == 1 || img.channels == 3));
        ZEBFUZZ_REQUIRE(img.samples.size() == static_cast<std::size_t>(img.width) * img.height * img.channels);
    }
    return 0;
}

// Seeds: small images written by the tool, PackBits and uncompressed, in
// one strip and in several.
void zebfuzz::writeSeeds(Seeds& seeds) {
    Lcg rng{5150};
    for (int variant = 0; variant < 8; ++variant) {
        zebimg::Image img;
        img.width = 1 + variant * 9;
        img.height = 1 + variant * 5;
        img.channels = variant % 2 ? 3 : 1;
        img.samples.resize(static_cast<std::size_t>(img.width) * img.height * img.channels);
        for (std::size_t i = 0; i < img.samples.size(); ++i)
            img.samples[i] = static_cast<std::uint16_t>(variant % 3 ? rng.in(0, 255) : (i / 17) % 256);
        zebimg::tiff::WriteOptions opt;
        opt.packBits = variant % 4 != 3;
        opt.stripBytes = variant % 2 ? 64 : 8192;
        std::vector<std::uint8_t> out;
        std::string error;
        if (zebimg::tiff::write(img, opt, out, error)) seeds.add(out);
    }
}
