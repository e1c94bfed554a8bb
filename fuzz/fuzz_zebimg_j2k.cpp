// The codec tool's JPEG 2000 decoder, zebimg::j2k::decode, on whole J2K
// codestreams and JP2 files.  The input is the file itself; bits of its
// length pick concealment and the resolution reduction.
#include "fuzz_common.h"
#include "j2k_codec.h"

using namespace zebfuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bytes in a block of exactly their size (the decoder takes a pointer).
    Heap<std::uint8_t> bytes(size);
    if (size) std::memcpy(bytes.get(), data, size);
    zebimg::j2k::DecodeOptions opt;
    opt.conceal = size & 1;
    opt.reduce = static_cast<int>(size >> 1 & 1);
    zebimg::j2k::Picture pic;
    std::string error;
    if (zebimg::j2k::decode(bytes.get(), size, opt, pic, error)) {
        for (const zebimg::j2k::Component& c : pic.components)
            ZEBFUZZ_REQUIRE(c.samples.size() == static_cast<std::size_t>(c.width) * c.height);
    }
    return 0;
}

// Seeds: small pictures coded by the tool's encoder with several option sets.
void zebfuzz::writeSeeds(Seeds& seeds) {
    Lcg rng{8086};
    for (int variant = 0; variant < 12; ++variant) {
        zebimg::Image img;
        img.width = 1 + (variant * 11) % 48;
        img.height = 1 + (variant * 7) % 40;
        img.channels = variant % 2 ? 3 : 1;
        img.samples.resize(static_cast<std::size_t>(img.width) * img.height * img.channels);
        for (std::size_t i = 0; i < img.samples.size(); ++i)
            img.samples[i] = static_cast<std::uint16_t>((i * 5 + rng.in(0, 30)) % 256);
        zebimg::j2k::EncodeOptions opt;
        opt.reversible = variant % 3 != 2;
        opt.levels = variant % 4;
        opt.codeBlockWidthLog2 = opt.codeBlockHeightLog2 = 2 + variant % 3;
        opt.codeBlockStyle = (variant * 9) & 0x3F;
        opt.jp2 = variant % 4 == 1;
        if (variant % 5 == 3) opt.layerBitsPerPixel = {0.5, 2.0, 0};
        if (variant % 6 == 5) opt.tileWidth = opt.tileHeight = 16;
        std::vector<std::uint8_t> out;
        std::string error;
        if (zebimg::j2k::encode(zebimg::j2k::fromImage(img), opt, out, error)) seeds.add(out);
    }
}
