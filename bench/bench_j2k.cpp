// JPEG 2000 codec benchmark: the same image encoded and decoded with the
// sample codec (the library's functions) and with OpenJPEG's library, lossless
// (RCT + 5/3) and at 1 bit per pixel (ICT + 9/7, one layer), on one and two
// threads.  Prints Mpixels/s and the ratio ours / theirs (best of several
// runs; the '1 (cpu)' rows time one thread by its processor time, which a
// loaded machine disturbs far less).  Grok's command-line tools, when
// installed, are timed as a second peer (their figures include reading and
// writing the files).
//
// usage: bench_j2k [image.ppm] [runs]
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "j2k_codec.h"
#include "pnm.h"
#include "timing.h"
#include "synthetic_photo.h"
#include "zeb.h"
#ifdef ZEB_HAVE_OPENJP2
#include "openjpeg_memory.h"
#endif

namespace {

using zebimg::bestSeconds;

#ifdef ZEB_HAVE_OPENJP2
using zebtest::MemStream;
using zebtest::memStream;

std::vector<std::uint8_t> opjLastCodestream;

// OpenJPEG encode of an 8-bit RGB image: lossless, or 9/7 to bitsPerPixel.
std::size_t opjEncode(const zebimg::Image& img, double bitsPerPixel, int threads) {
    opj_image_cmptparm_t cp[3];
    std::memset(cp, 0, sizeof cp);
    for (auto& c : cp) {
        c.dx = c.dy = 1;
        c.w = static_cast<OPJ_UINT32>(img.width);
        c.h = static_cast<OPJ_UINT32>(img.height);
        c.prec = 8;
    }
    opj_image_t* image = opj_image_create(3, cp, OPJ_CLRSPC_SRGB);
    image->x1 = static_cast<OPJ_UINT32>(img.width);
    image->y1 = static_cast<OPJ_UINT32>(img.height);
    const std::size_t n = static_cast<std::size_t>(img.width) * img.height;
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < n; ++i) image->comps[c].data[i] = img.samples[i * 3 + c];
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.tcp_numlayers = 1;
    p.cp_disto_alloc = 1;
    p.tcp_rates[0] = bitsPerPixel > 0 ? static_cast<float>(24.0 / bitsPerPixel) : 0;
    p.irreversible = bitsPerPixel > 0 ? 1 : 0;
    p.tcp_mct = 1;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_codec_set_threads(codec, threads);
    opj_setup_encoder(codec, &p, image);
    MemStream m;
    opj_stream_t* s = memStream(m, false);
    opj_start_compress(codec, image, s);
    opj_encode(codec, s);
    opj_end_compress(codec, s);
    opj_stream_destroy(s);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    opjLastCodestream = m.data;
    return m.data.size();
}

// Decodes with OpenJPEG; with ref, returns the PSNR against it (0 on failure).
double opjDecode(const std::vector<std::uint8_t>& bytes, int threads, const zebimg::Image* ref = nullptr) {
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
    opj_dparameters_t p;
    opj_set_default_decoder_parameters(&p);
    opj_setup_decoder(codec, &p);
    opj_codec_set_threads(codec, threads);
    MemStream m;
    m.data = bytes;
    opj_stream_t* s = memStream(m, true);
    opj_image_t* image = nullptr;
    const bool ok = opj_read_header(s, codec, &image) && opj_decode(codec, s, image) && opj_end_decompress(codec, s);
    double q = ok ? 1 : 0;
    if (ok && ref) {
        double se = 0;
        const std::size_t n = static_cast<std::size_t>(ref->width) * ref->height;
        for (int c = 0; c < 3; ++c)
            for (std::size_t i = 0; i < n; ++i) {
                const double d = double(image->comps[c].data[i]) - ref->samples[i * 3 + c];
                se += d * d;
            }
        q = se == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * 3 * n / se);
    }
    if (image) opj_image_destroy(image);
    opj_stream_destroy(s);
    opj_destroy_codec(codec);
    return q;
}
#endif

// Seconds of a shell command (Grok's tools), best of runs, elapsed or
// processor time; 0 when it fails.
double commandSeconds(const std::string& cmd, int runs, bool cpu) {
    bool ok = true;
    const auto run = [&] { ok &= std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; };
    const double t = cpu ? zebimg::bestChildCpuSeconds(run, runs) : bestSeconds(run, runs);
    return ok ? t : 0;
}

}  // namespace

int main(int argc, char** argv) {
    zebimg::Image img;
    if (argc > 1 && argv[1][0] != '\0') {
        std::vector<std::uint8_t> bytes;
        std::string err;
        if (!zebimg::readFile(argv[1], bytes, err) || !zebimg::parsePnm(bytes, img, err) || img.channels != 3 ||
            img.maxval != 255) {
            std::fprintf(stderr, "bench_j2k: %s: need an 8-bit PPM (%s)\n", argv[1], err.c_str());
            return 1;
        }
    } else {
        img = syntheticPhoto(1920, 1080);
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const double mpix = img.width * static_cast<double>(img.height) / 1e6;
    const zebimg::j2k::Picture pic = zebimg::j2k::fromImage(img);
    const bool grok = access("/usr/bin/grk_compress", X_OK) == 0 && access("/usr/bin/grk_decompress", X_OK) == 0;
    std::string ppm;
    if (grok) {
        char dir[] = "/tmp/bench_j2k_XXXXXX";
        if (mkdtemp(dir)) {
            ppm = std::string(dir) + "/in.ppm";
            std::string err;
            zebimg::writeFile(ppm, zebimg::writePnm(img), err);
        }
    }
    std::printf("JPEG 2000, %dx%d RGB, best of %d runs; ratio = zeb speed / OpenJPEG speed\n", img.width, img.height,
                runs);
    std::printf("%-18s %-7s %10s %12s %8s %14s %8s\n", "step", "threads", "zeb Mpx/s", "OpenJPEG", "ratio",
                "Grok (CLI)", "ratio");
    for (const double bpp : {0.0, 1.0}) {
        zebimg::j2k::EncodeOptions eo;
        if (bpp > 0) {
            eo.reversible = false;
            eo.layerBitsPerPixel = {bpp};
        }
        // threads 0: one thread timed by its processor time (meaningful on a loaded machine)
        for (const int mode : {0, 1, 2}) {
            const int threads = std::max(mode, 1);
            const bool cpu = mode == 0;
            [[maybe_unused]] const auto best = [&](auto&& f) { return cpu ? zebimg::bestCpuSeconds(f, runs) : bestSeconds(f, runs); };
            zebcoreSetNumThreads(threads);
            std::vector<std::uint8_t> ours;
            std::string err;
            const auto encodeZ = [&] { zebimg::j2k::encode(pic, eo, ours, err); };
            zebimg::j2k::Picture back;
            zebimg::j2k::DecodeOptions dopt;
            const auto decodeZ = [&] { zebimg::j2k::decode(ours.data(), ours.size(), dopt, back, err); };
            double encZ = 0, decZ = 0, encO = 0, decO = 0;
#ifdef ZEB_HAVE_OPENJP2
            // In turns with the peer; both decoders read our codestream.
            std::tie(encZ, encO) = zebimg::bestInTurns(encodeZ, [&] { opjEncode(img, bpp, threads); }, runs, cpu);
            std::tie(decZ, decO) = zebimg::bestInTurns(decodeZ, [&] { opjDecode(ours, threads); }, runs, cpu);
#else
            encZ = best(encodeZ);
            decZ = best(decodeZ);
#endif
            double encG = 0, decG = 0;
            if (!ppm.empty()) {
                const std::string dir = ppm.substr(0, ppm.rfind('/'));
                const std::string j2k = dir + "/g.j2k", ours_j2k = dir + "/ours.j2k";
                zebimg::writeFile(ours_j2k, ours, err);
                const std::string t = " -H " + std::to_string(threads);
                encG = commandSeconds("grk_compress -i " + ppm + " -o " + j2k + (bpp > 0 ? " -I -r 24" : "") + t,
                                      runs, cpu);
                decG = commandSeconds("grk_decompress -i " + ours_j2k + " -o " + dir + "/out.ppm" + t, runs, cpu);
            }
            const auto row = [&](const char* step, double z, double o, double g) {
                char gs[32] = "-", gr[32] = "-";
                if (g > 0) {
                    std::snprintf(gs, sizeof gs, "%.1f", mpix / g);
                    std::snprintf(gr, sizeof gr, "%.2f", g / z);
                }
                std::printf("%-18s %-7s %10.1f %12.1f %8.2f %14s %8s\n", step, cpu ? "1 (cpu)" : std::to_string(threads).c_str(), mpix / z,
                            o > 0 ? mpix / o : 0.0, o > 0 ? o / z : 0.0, gs, gr);
            };
            char name[64];
            std::snprintf(name, sizeof name, "encode %s", bpp > 0 ? "1 bpp" : "lossless");
            row(name, encZ, encO, encG);
            std::snprintf(name, sizeof name, "decode %s", bpp > 0 ? "1 bpp" : "lossless");
            row(name, decZ, decO, decG);
            if (mode == 1) {
                const double area = img.width * double(img.height);
                std::printf("  zeb:      %zu bytes (%.3f bpp)", ours.size(), 8.0 * ours.size() / area);
#ifdef ZEB_HAVE_OPENJP2
                std::printf(", PSNR %.2f dB (OpenJPEG's decode)\n", opjDecode(ours, 1, &img));
                std::printf("  OpenJPEG: %zu bytes (%.3f bpp), PSNR %.2f dB\n", opjLastCodestream.size(),
                            8.0 * opjLastCodestream.size() / area, opjDecode(opjLastCodestream, 1, &img));
#else
                std::printf("\n");
#endif
            }
        }
    }
    if (!ppm.empty()) {
        const std::string dir = ppm.substr(0, ppm.rfind('/'));
        std::system(("rm -rf " + dir).c_str());
    }
    std::printf("('1 (cpu)': one thread, processor time of the process (of Grok's process) instead of elapsed time)\n");
    return 0;
}
