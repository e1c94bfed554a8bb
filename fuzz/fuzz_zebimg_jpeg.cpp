// The codec tool's JPEG reader and decoder, zebimg::jpeg::decode, on whole
// files: markers, tables, frames and scans of every process it supports.
// The input is the file itself; the two low bits of its length pick the
// per-MCU up-sampling option and 8-bit output.  The library's thread count
// stays at its default (the processors), so machines with more than one run
// the threaded paths.
#include "fuzz_common.h"
#include "jpeg_codec.h"

using namespace zebfuzz;

namespace {

// The largest frame size that any SOF marker in the bytes declares (the
// reader tolerates fill bytes, stray markers and garbage between segments,
// so every FF Cn is taken).  Decoding time and memory grow with the declared
// size, not with the input, so, as usual for image fuzzers, frames above
// 2^22 pixels are left out (a 300-byte file may declare 2^32 pixels).
long long declaredPixels(const std::uint8_t* d, std::size_t n) {
    long long most = 0;
    for (std::size_t at = 0; at + 9 <= n; ++at) {
        const int m = d[at + 1];
        if (d[at] != 0xFF || m < 0xC0 || m > 0xCF || m == 0xC4 || m == 0xC8 || m == 0xCC) continue;
        const long long pixels = static_cast<long long>(d[at + 5] << 8 | d[at + 6]) * (d[at + 7] << 8 | d[at + 8]);
        most = pixels > most ? pixels : most;
    }
    return most;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (declaredPixels(data, size) > (1 << 22)) return 0;
    const std::vector<std::uint8_t> bytes(data, data + size);
    zebimg::Image img;
    std::string error;
    zebimg::jpeg::DecodeOptions opt;
    opt.mcuUpsampling = size & 1;
    opt.bytes = size & 2;
    if (zebimg::jpeg::decode(bytes, img, error, opt)) {
        ZEBFUZZ_REQUIRE(img.width >= 1 && img.height >= 1 && (img.channels == 1 || img.channels == 3));
        const std::size_t count = static_cast<std::size_t>(img.width) * img.height * img.channels;
        // 8-bit output where the decoder gives it (8-bit DCT images), else 16-bit samples.
        ZEBFUZZ_REQUIRE(img.samples.size() == count || (opt.bytes && img.bytes.size() == count));
    }
    return 0;
}

// Seeds: small images coded by the tool's encoder in every mode.
void zebfuzz::writeSeeds(Seeds& seeds) {
    using Mode = zebimg::jpeg::EncodeOptions::Mode;
    Lcg rng{31337};
    int n = 0;
    for (int channels : {1, 3})
        for (Mode mode : {Mode::Baseline, Mode::Progressive, Mode::Lossless})
            for (int variant = 0; variant < 4; ++variant, ++n) {
                zebimg::Image img;
                img.width = 1 + (n * 13) % 40;
                img.height = 1 + (n * 7) % 24;
                img.channels = channels;
                img.maxval = mode == Mode::Lossless && variant % 2 ? 4095 : 255;
                img.samples.resize(static_cast<std::size_t>(img.width) * img.height * channels);
                for (std::size_t i = 0; i < img.samples.size(); ++i)
                    img.samples[i] = static_cast<std::uint16_t>((i * 7 + rng.in(0, 40)) % (img.maxval + 1));
                zebimg::jpeg::EncodeOptions opt;
                opt.mode = mode;
                opt.quality = 10 + variant * 25;
                opt.hSamp = 1 + variant % 2;
                opt.vSamp = 1 + variant / 2 % 2;
                opt.optimize = variant & 1;
                opt.restartInterval = variant == 2 ? 2 : 0;
                opt.predictor = 1 + n % 7;
                std::vector<std::uint8_t> out;
                std::string error;
                if (zebimg::jpeg::encode(img, opt, out, error)) seeds.add(out);
            }
}
