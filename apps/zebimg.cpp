// zebimg: the sample codec tool, built on the library's public header.
//
//   zebimg encode|decode|convert [options] input output
//   zebimg demo
//
// Inputs are recognised by their contents (JPEG, JPEG 2000, TIFF, PGM/PPM),
// outputs by their extension (.jpg, .j2k/.j2c/.jp2, .tif, .pgm/.ppm).
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "j2k_codec.h"
#include "jpeg_codec.h"
#include "pnm.h"
#include "timing.h"
#include "tiff.h"
#include "zeb.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: zebimg encode|decode|convert [options] input output\n"
                 "       (input: JPEG, JPEG 2000, TIFF, PGM/PPM by contents;\n"
                 "        output by extension: .jpg .j2k .j2c .jp2 .tif .pgm .ppm)\n"
                 "         --baseline | --progressive | --lossless   coding process (default baseline)\n"
                 "         -q N           quality 1 to 100 (default 75)\n"
                 "         --sampling S   444, 422 or 420 (default 420)\n"
                 "         --optimize     optimal Huffman tables (always on for progressive)\n"
                 "         --restart N    restart interval in MCUs (lossless: in rows)\n"
                 "         --predictor N  lossless predictor 1 to 7 (default 1)\n"
                 "         --precision N  lossless sample precision 2 to 16 (default from the image)\n"
                 "         --pt N         lossless point transform (default 0)\n"
                 "         --mcu          JPEG input: per-MCU colour conversion (box up-sampling)\n"
                 "         --uncompressed TIFF output without PackBits\n"
                 "         JPEG 2000 output (.j2k .j2c codestream, .jp2 file), lossless 5/3 by default:\n"
                 "         --irreversible ICT + 9/7 wavelet (lossy)\n"
                 "         --rate B[,B..] quality layers at B bits per pixel each (0 last: every pass)\n"
                 "         --psnr DB      one layer chosen for a PSNR target\n"
                 "         --levels N     decomposition levels 0 to 8 (default 5)\n"
                 "         --tile WxH     tile grid (default one tile)\n"
                 "         --cblk WxH     code-block size, 4 to 64 each, W*H <= 4096 (default 64x64)\n"
                 "         --cb-style N   code-block style bits (1 bypass, 2 reset, 4 terminate all,\n"
                 "                        8 vertically causal, 16 predictable termination, 32 segment marks)\n"
                 "         --no-mct       no component transform\n"
                 "         --reduce N     JPEG 2000 input: discard N resolution levels\n"
                 "         --layers N     JPEG 2000 input: decode the first N quality layers only\n"
                 "       zebimg demo [image]   every format on the embedded photograph (or the image given)\n"
                 "       common: --threads N   threads of the whole-image functions\n");
    return 2;
}

// Every format's options, as the command line sets them.
struct Options {
    zebimg::jpeg::EncodeOptions jpegEncode;
    zebimg::jpeg::DecodeOptions jpegDecode;
    zebimg::tiff::WriteOptions tiffWrite;
    zebimg::j2k::EncodeOptions j2kEncode;
    zebimg::j2k::DecodeOptions j2kDecode;
};

bool readImage(const std::vector<std::uint8_t>& in, zebimg::Image& img, const Options& opt, std::string& err);
bool writeImage(const std::string& name, const zebimg::Image& img, const Options& opt, std::vector<std::uint8_t>& out,
                std::string& err);

// The demo image, embedded in the binary (see apps/data/README.md).
asm(".section .rodata\n"
    ".balign 16\n"
    ".global zebDemoImage\n"
    "zebDemoImage:\n"
    ".incbin \"" ZEB_DEMO_IMAGE "\"\n"
    ".global zebDemoImageEnd\n"
    "zebDemoImageEnd:\n"
    ".byte 0\n"
    ".previous\n");
extern "C" const unsigned char zebDemoImage[];
extern "C" const unsigned char zebDemoImageEnd[];

using zebimg::bestSeconds;

double psnr(const zebimg::Image& a, const zebimg::Image& b) {
    if (a.samples.size() != b.samples.size()) return -1;
    double se = 0;
    for (std::size_t i = 0; i < a.samples.size(); ++i) {
        const double d = double(a.samples[i]) - double(b.samples[i]);
        se += d * d;
    }
    if (se == 0) return INFINITY;
    const double peak = a.maxval;
    return 10 * std::log10(peak * peak * a.samples.size() / se);
}

// Runs the image through every format, writes the files to demo-out/ and
// prints one table; every decode is checked.
int demo(const std::string& path) {
    const ZebVersionRecord* v = zebjGetLibVersion();
    std::printf("%s %s (%d.%d build %d.%d, target \"%.4s\", %s), %d threads\n", v->libraryName, v->versionText,
                v->versionMajor, v->versionMinor, v->buildMajor, v->buildNumber, v->targetCode, v->buildDate,
                zebcoreGetNumThreads());
    std::vector<std::uint8_t> in;
    std::string err;
    if (path.empty()) {
        in.assign(zebDemoImage, zebDemoImageEnd);
    } else if (!zebimg::readFile(path, in, err)) {
        std::fprintf(stderr, "zebimg: %s\n", err.c_str());
        return 1;
    }
    zebimg::Image img;
    const Options defaults;
    if (!readImage(in, img, defaults, err)) {
        std::fprintf(stderr, "zebimg: %s: %s\n", path.empty() ? "demo image" : path.c_str(), err.c_str());
        return 1;
    }
    if (img.maxval != 255) {
        std::fprintf(stderr, "zebimg: the demo takes an 8-bit image\n");
        return 1;
    }
    std::printf("image: %s, %dx%d, %s\n\n", path.empty() ? "embedded photograph (chelsea, CC0)" : path.c_str(), img.width,
                img.height, img.channels == 3 ? "RGB" : "greyscale");
    mkdir("demo-out", 0755);
    using Mode = zebimg::jpeg::EncodeOptions::Mode;
    struct Row {
        const char* format;
        const char* file;
        Options opt;
        bool lossless;
    };
    Options base, prog, loss, j2kLossy;
    prog.jpegEncode.mode = Mode::Progressive;
    loss.jpegEncode.mode = Mode::Lossless;
    j2kLossy.j2kEncode.reversible = false;
    j2kLossy.j2kEncode.layerBitsPerPixel = {1.0};
    const Row rows[] = {{"JPEG baseline 4:2:0 q75", "baseline.jpg", base, false},
                        {"JPEG progressive 4:2:0 q75", "progressive.jpg", prog, false},
                        {"JPEG lossless (predictor 1)", "lossless.jpg", loss, true},
                        {"JPEG 2000 lossless (5/3)", "lossless.jp2", base, true},
                        {"JPEG 2000 1 bpp (9/7)", "1bpp.jp2", j2kLossy, false},
                        {"TIFF PackBits", "packbits.tif", base, true}};
    const double mpix = img.width * double(img.height) / 1e6;
    std::printf("%-30s %10s %8s %18s %10s %10s\n", "format", "bytes", "bpp", "quality", "enc Mpx/s", "dec Mpx/s");
    int failed = 0;
    for (const Row& r : rows) {
        std::vector<std::uint8_t> bytes;
        zebimg::Image back;
        bool ok = true;
        const std::string name = std::string("demo-out/") + r.file;
        const double enc = bestSeconds([&] { ok &= writeImage(name, img, r.opt, bytes, err); });
        const double decs = bestSeconds([&] { ok &= readImage(bytes, back, r.opt, err); });
        ok = ok && zebimg::writeFile(name, bytes, err);
        const double q = ok ? psnr(img, back) : -1;
        char quality[32];
        if (!ok) std::snprintf(quality, sizeof quality, "FAILED");
        else if (std::isinf(q)) std::snprintf(quality, sizeof quality, "lossless, exact");
        else std::snprintf(quality, sizeof quality, "PSNR %.2f dB", q);
        const bool good = ok && (r.lossless ? std::isinf(q) : q > 30);
        failed += !good;
        std::printf("%-30s %10zu %8.3f %18s %10.1f %10.1f%s\n", r.format, bytes.size(),
                    8.0 * bytes.size() / (img.width * double(img.height)), quality, mpix / enc, mpix / decs,
                    good ? "" : "  <- check failed");
        if (!ok) std::printf("    %s\n", err.c_str());
    }
    std::printf("\nfiles written to demo-out/; %s\n", failed ? "SOME DECODES FAILED" : "every decode checked");
    return failed ? 1 : 0;
}

bool endsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    return true;
}

// Any supported input, recognised by its first bytes.
bool readImage(const std::vector<std::uint8_t>& in, zebimg::Image& img, const Options& opt, std::string& err) {
    if (in.size() >= 2 && in[0] == 0xFF && in[1] == 0xD8) return zebimg::jpeg::decode(in, img, err, opt.jpegDecode);
    if (zebimg::tiff::isTiff(in)) return zebimg::tiff::read(in, img, err);
    if (zebimg::j2k::isJpeg2000(in)) {
        zebimg::j2k::Picture pic;
        return zebimg::j2k::decode(in.data(), in.size(), opt.j2kDecode, pic, err) && zebimg::j2k::toImage(pic, img, err);
    }
    return zebimg::parsePnm(in, img, err);
}

// JPEG 2000 encoding options in their command-line forms.
bool j2kOption(const std::string& a, int& i, int argc, char** argv, zebimg::j2k::EncodeOptions& j2kEncode) {
    if (a == "--irreversible") return j2kEncode.reversible = false, true;
    if (a == "--no-mct") return j2kEncode.multipleComponentTransform = false, true;
    if (i + 1 >= argc) return false;
    const char* v = argv[i + 1];
    char* end = nullptr;
    int w = 0, h = 0;
    if (a == "--levels") j2kEncode.levels = static_cast<int>(std::strtol(v, &end, 10));
    else if (a == "--cb-style") j2kEncode.codeBlockStyle = static_cast<int>(std::strtol(v, &end, 0));
    else if (a == "--psnr") j2kEncode.targetPsnr = std::strtod(v, &end);
    else if (a == "--tile" || a == "--cblk") {
        if (std::sscanf(v, "%dx%d", &w, &h) != 2) return false;
        if (a == "--tile") j2kEncode.tileWidth = w, j2kEncode.tileHeight = h;
        else {
            // sizes must be powers of two; anything else is left for the encoder to refuse
            j2kEncode.codeBlockWidthLog2 = (w & (w - 1)) || w < 1 ? 0 : __builtin_ctz(w);
            j2kEncode.codeBlockHeightLog2 = (h & (h - 1)) || h < 1 ? 0 : __builtin_ctz(h);
        }
    } else if (a == "--rate") {
        j2kEncode.layerBitsPerPixel.clear();
        for (const char* p = v;; ++p) {
            j2kEncode.layerBitsPerPixel.push_back(std::strtod(p, &end));
            if (end == p) return false;
            p = end;
            if (*p != ',') break;
        }
    } else return false;
    if (end && *end != '\0') return false;
    ++i;
    return true;
}

// The output format follows the file name's extension.
bool writeImage(const std::string& name, const zebimg::Image& img, const Options& opt, std::vector<std::uint8_t>& out,
                std::string& err) {
    if (endsWith(name, ".jpg") || endsWith(name, ".jpeg")) return zebimg::jpeg::encode(img, opt.jpegEncode, out, err);
    if (endsWith(name, ".tif") || endsWith(name, ".tiff")) return zebimg::tiff::write(img, opt.tiffWrite, out, err);
    if (endsWith(name, ".j2k") || endsWith(name, ".j2c") || endsWith(name, ".jp2")) {
        zebimg::j2k::EncodeOptions o = opt.j2kEncode;
        o.jp2 = endsWith(name, ".jp2");
        zebimg::j2k::Picture pic = zebimg::j2k::fromImage(img);
        for (zebimg::j2k::Component& c : pic.components) c.precision = std::max(c.precision, 8);  // maxval < 255
        return zebimg::j2k::encode(pic, o, out, err);
    }
    if (endsWith(name, ".pgm") || endsWith(name, ".ppm") || endsWith(name, ".pnm")) {
        out = zebimg::writePnm(img);
        return true;
    }
    err = "unknown output format (use .jpg, .tif, .j2k, .jp2, .pgm or .ppm)";
    return false;
}

bool intArg(int& i, int argc, char** argv, int& value) {
    if (i + 1 >= argc) return false;
    char* end;
    const long v = std::strtol(argv[++i], &end, 10);
    if (*end != '\0') return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    Options opt;
    zebimg::jpeg::EncodeOptions& enc = opt.jpegEncode;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        int n = 0;
        if (a == "--baseline") enc.mode = zebimg::jpeg::EncodeOptions::Mode::Baseline;
        else if (a == "--progressive") enc.mode = zebimg::jpeg::EncodeOptions::Mode::Progressive;
        else if (a == "--lossless") enc.mode = zebimg::jpeg::EncodeOptions::Mode::Lossless;
        else if (a == "--optimize") enc.optimize = true;
        else if (a == "--mcu") opt.jpegDecode.mcuUpsampling = true;
        else if (a == "--uncompressed") opt.tiffWrite.packBits = false;
        else if (j2kOption(a, i, argc, argv, opt.j2kEncode)) continue;
        else if (a == "-q" && intArg(i, argc, argv, n)) enc.quality = n;
        else if (a == "--restart" && intArg(i, argc, argv, n)) enc.restartInterval = n;
        else if (a == "--predictor" && intArg(i, argc, argv, n)) enc.predictor = n;
        else if (a == "--precision" && intArg(i, argc, argv, n)) enc.precision = n;
        else if (a == "--pt" && intArg(i, argc, argv, n)) enc.pointTransform = n;
        else if (a == "--threads" && intArg(i, argc, argv, n)) zebcoreSetNumThreads(n);
        else if (a == "--reduce" && intArg(i, argc, argv, n)) opt.j2kDecode.reduce = n;
        else if (a == "--layers" && intArg(i, argc, argv, n)) opt.j2kDecode.maxLayers = n;
        else if (a == "--sampling" && i + 1 < argc) {
            const std::string s = argv[++i];
            if (s == "444") enc.hSamp = 1, enc.vSamp = 1;
            else if (s == "422") enc.hSamp = 2, enc.vSamp = 1;
            else if (s == "420") enc.hSamp = 2, enc.vSamp = 2;
            else return usage();
        } else if (!a.empty() && a[0] == '-') return usage();
        else files.push_back(a);
    }
    if (cmd == "demo") return demo(files.empty() ? std::string() : files[0]);
    if ((cmd != "encode" && cmd != "decode" && cmd != "convert") || files.size() != 2) return usage();
    // PGM/PPM output takes 8-bit samples as they are: JPEG decodes skip the widening.
    opt.jpegDecode.bytes = endsWith(files[1], ".pgm") || endsWith(files[1], ".ppm") || endsWith(files[1], ".pnm");
    std::string err;
    std::vector<std::uint8_t> in, out;
    zebimg::Image img;
    if (!zebimg::readFile(files[0], in, err) || !readImage(in, img, opt, err)) {
        std::fprintf(stderr, "zebimg: %s: %s\n", files[0].c_str(), err.c_str());
        return 1;
    }
    if (!writeImage(files[1], img, opt, out, err) || !zebimg::writeFile(files[1], out, err)) {
        std::fprintf(stderr, "zebimg: %s: %s\n", files[1].c_str(), err.c_str());
        return 1;
    }
    return 0;
}
