// Whole-codec benchmark: baseline JPEG encode and decode of the same image
// with the sample codec (the library's functions) and with libjpeg-turbo's
// TurboJPEG API, same quality and sampling, on one and two threads.  Prints
// Mpixels/s and the ratio ours / theirs; each figure is the best of several
// interleaved runs, since the machines are noisy.
//
// usage: bench_codec [image.ppm] [quality] [runs]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <ctime>
#include <algorithm>
#include <vector>

#include "jpeg_codec.h"
#include "pnm.h"
#include "timing.h"
#include "synthetic_photo.h"
#include "zeb.h"
#ifdef ZEB_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

using zebimg::bestCpuSeconds;
using zebimg::bestSeconds;

int main(int argc, char** argv) {
    zebimg::Image img;
    if (argc > 1 && argv[1][0] != '\0') {
        std::vector<std::uint8_t> bytes;
        std::string err;
        if (!zebimg::readFile(argv[1], bytes, err) || !zebimg::parsePnm(bytes, img, err) || img.channels != 3) {
            std::fprintf(stderr, "bench_codec: %s: need an 8-bit PPM (%s)\n", argv[1], err.c_str());
            return 1;
        }
    } else {
        img = syntheticPhoto(1920, 1080);
    }
    const int quality = argc > 2 ? std::atoi(argv[2]) : 75;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 7;
    const double mpix = img.width * static_cast<double>(img.height) / 1e6;
    std::vector<unsigned char> rgb(img.samples.begin(), img.samples.end());
    zebimg::Image img8 = img;  // 8-bit interleaved input, as the peer's
    img8.bytes = rgb;
    img8.samples.clear();

    zebimg::jpeg::EncodeOptions eo;
    eo.quality = quality;  // baseline 4:2:0
    std::vector<std::uint8_t> ours;
    std::string err;
    zebimg::Image back;
    std::printf("baseline JPEG 4:2:0, quality %d, %dx%d, best of %d runs\n", quality, img.width, img.height, runs);
    std::printf("%-8s %-7s %14s %14s %8s\n", "step", "threads", "zeb Mpix/s", "peer Mpix/s", "ratio");
    for (int threads : {0, 1, 2}) {  // 0: one thread, processor time
        zebcoreSetNumThreads(std::max(threads, 1));
        [[maybe_unused]] const auto best = [&](auto&& f) { return threads ? bestSeconds(f, runs) : bestCpuSeconds(f, runs); };
        const auto encodeZ = [&] { zebimg::jpeg::encode(img8, eo, ours, err); };
        zebimg::jpeg::DecodeOptions dopt;
        dopt.bytes = true;  // 8-bit interleaved results, as the peer's
        const auto decodeZ = [&] { zebimg::jpeg::decode(ours, back, err, dopt); };
        double encZ = 0, decZ = 0, encT = 0, decT = 0;
#ifdef ZEB_HAVE_TURBOJPEG
        // In turns with the peer.
        tjhandle c = tjInitCompress(), d = tjInitDecompress();
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        std::tie(encZ, encT) = zebimg::bestInTurns(encodeZ, [&] {
            tjCompress2(c, rgb.data(), img.width, 0, img.height, TJPF_RGB, &jpeg, &size, TJSAMP_420, quality,
                        TJFLAG_NOREALLOC * 0);
        }, runs, threads == 0);
        std::vector<unsigned char> out(rgb.size());
        std::tie(decZ, decT) = zebimg::bestInTurns(decodeZ, [&] {
            tjDecompress2(d, jpeg, size, out.data(), img.width, 0, img.height, TJPF_RGB, 0);
        }, runs, threads == 0);
        tjFree(jpeg);
        tjDestroy(c);
        tjDestroy(d);
#else
        encZ = best(encodeZ);
        decZ = best(decodeZ);
#endif
        const auto row = [&](const char* step, double ours_s, double theirs_s) {
            std::printf("%-8s %-7s %14.1f %14.1f %8.2f\n", step, threads ? std::to_string(threads).c_str() : "1 (cpu)",
                        mpix / ours_s,
                        theirs_s > 0 ? mpix / theirs_s : 0.0, theirs_s > 0 ? theirs_s / ours_s : 0.0);
        };
        row("encode", encZ, encT);
        row("decode", decZ, decT);
    }
    std::printf("(ratio = zeb speed / peer speed; the peer's TurboJPEG API runs on one thread;\n"
                " '1 (cpu)': the process's processor time instead of elapsed time)\n");
    return 0;
}
