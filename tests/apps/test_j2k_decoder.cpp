// The codec tool's JPEG 2000 decoder: the conformance codestreams against
// their reference decodes, OpenJPEG's codestreams (every mode switch,
// progression order, precincts, tiles, layers, SOP/EPH, 1 to 4 components,
// 8 to 16 bits, signed) decoded exactly or within 0.1 dB of OpenJPEG's own
// decode, and damaged codestreams that must give an error or an image.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "common/harness.h"
#include "j2k_codec.h"
#include "j2k_sample_rows.h"

#if defined(ZEB_HAVE_OPENJP2)
#include "openjpeg_memory.h"
#endif

namespace {

using zebimg::j2k::DecodeOptions;
using zebimg::j2k::Picture;

// i686 runs under an emulator and the sanitizer build is slower: the largest
// conformance streams run natively only; the damage rounds stay full under
// the sanitizers, where they matter most.
#if defined(__i386__)
constexpr bool kEmulated = true;
#else
constexpr bool kEmulated = false;
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__i386__)
constexpr bool kSlow = true;
#else
constexpr bool kSlow = false;
#endif

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

bool decodeBytes(const std::vector<std::uint8_t>& b, Picture& pic, std::string& err, const DecodeOptions& o = {}) {
    return zebimg::j2k::decode(b.data(), b.size(), o, pic, err);
}

// PGX: "PG ML|LM +|-depth width height\n" then the samples.
struct Pgx {
    int width = 0, height = 0;
    std::vector<std::int32_t> v;
};
bool readPgx(const std::string& path, Pgx& out) {
    const std::vector<std::uint8_t> b = readAll(path);
    const auto nl = std::find(b.begin(), b.end(), '\n');
    if (nl == b.end()) return false;
    const std::string head(b.begin(), nl);
    char order[3] = {};
    int depth = 0, at = 0;
    if (std::sscanf(head.c_str(), "PG %2s %n", order, &at) != 1) return false;
    const char sign = head[at] == '-' || head[at] == '+' ? head[at++] : '+';
    if (std::sscanf(head.c_str() + at, "%d %d %d", &depth, &out.width, &out.height) != 3) return false;
    const int bytes = depth <= 8 ? 1 : depth <= 16 ? 2 : 4;
    const std::size_t n = std::size_t(out.width) * out.height;
    const std::uint8_t* p = b.data() + (nl - b.begin()) + 1;
    if (std::size_t(b.end() - nl - 1) < n * bytes) return false;
    out.v.resize(n);
    const bool msbFirst = order[0] == 'M';
    for (std::size_t i = 0; i < n; ++i, p += bytes) {
        std::uint32_t u = 0;
        for (int k = 0; k < bytes; ++k) u |= std::uint32_t(p[msbFirst ? bytes - 1 - k : k]) << (8 * k);
        std::int64_t s = u;
        if (sign == '-' && (u >> (bytes * 8 - 1))) s -= std::int64_t(1) << (bytes * 8);
        out.v[i] = std::int32_t(s);
    }
    return true;
}

// Class-1 limits of the conformance suite (its README).
struct Limit {
    const char* name;
    int comps, reduce;
    int peak[4];
    double mse[4];
};
const Limit kLimits[] = {
    {"p0_01", 1, 0, {0}, {0}},
    {"p0_02", 1, 0, {0}, {0}},
    {"p0_03", 1, 0, {0}, {0}},
    {"p0_04", 3, 0, {5, 4, 6}, {0.776, 0.626, 1.070}},
    {"p0_05", 4, 0, {2, 2, 2, 0}, {0.302, 0.307, 0.269, 0}},
    {"p0_06", 4, 0, {635, 403, 378, 0}, {11287, 6124, 3968, 0}},
    {"p0_08", 3, 1, {0, 0, 0}, {0, 0, 0}},
    {"p0_09", 1, 0, {0}, {0}},
    {"p0_10", 3, 0, {0, 0, 0}, {0, 0, 0}},
    {"p0_11", 1, 0, {0}, {0}},
    {"p0_12", 1, 0, {0}, {0}},
    {"p0_13", 4, 0, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"p0_14", 3, 0, {0, 0, 0}, {0, 0, 0}},
    {"p0_15", 1, 0, {0}, {0}},
    {"p0_16", 1, 0, {0}, {0}},
    {"p1_01", 1, 0, {0}, {0}},
    {"p1_02", 3, 0, {5, 4, 6}, {0.765, 0.616, 1.051}},
    {"p1_03", 4, 0, {2, 2, 1, 0}, {0.3, 0.210, 0.200, 0}},
    {"p1_04", 1, 0, {624}, {3080}},
    {"p1_05", 3, 0, {40, 40, 40}, {8.458, 9.816, 10.154}},
    {"p1_06", 3, 0, {2, 2, 2}, {0.6, 0.6, 0.6}},
    {"p1_07", 2, 0, {0, 0}, {0, 0}},
};

const std::string kConf = ZEB_SHARED_DIR "/conformance/jpeg2000";

TEST(J2kDecoderConformance, CodestreamsWithinClassOneLimits) {
    for (const Limit& lim : kLimits) {
        SCOPED_TRACE(lim.name);
        const std::vector<std::uint8_t> bytes = readAll(kConf + "/codestreams/" + lim.name + ".j2k");
        ASSERT_FALSE(bytes.empty());
        if (kSlow && bytes.size() > (1u << 20)) continue;  // the three largest run in the native release build
        Picture pic;
        std::string err;
        DecodeOptions o;
        o.reduce = lim.reduce;
        o.conceal = false;
        if (!decodeBytes(bytes, pic, err, o)) {
            ADD_FAILURE() << err;
            continue;
        }
        ASSERT_GE(int(pic.components.size()), lim.comps);
        for (int c = 0; c < lim.comps; ++c) {
            Pgx ref;
            const std::string name = std::string("c1") + lim.name + "_" + std::to_string(c) + ".pgx";
            ASSERT_TRUE(readPgx(kConf + "/reference/" + name, ref)) << name;
            const auto& comp = pic.components[c];
            ASSERT_EQ(comp.width, ref.width) << name;
            ASSERT_EQ(comp.height, ref.height) << name;
            std::int64_t peak = 0;
            double se = 0;
            for (std::size_t i = 0; i < ref.v.size(); ++i) {
                const std::int64_t d = std::int64_t(comp.samples[i]) - ref.v[i];
                peak = std::max<std::int64_t>(peak, d < 0 ? -d : d);
                se += double(d) * double(d);
            }
            EXPECT_LE(peak, lim.peak[c]) << name;
            EXPECT_LE(se / double(ref.v.size()), lim.mse[c]) << name;
        }
    }
}

// Truncations and byte flips never crash and never read outside the bytes
// given (each damaged stream ends at an unmapped page), and end in an error or
// an image.
TEST(J2kDecoderDamage, TruncatedAndFlippedStreamsGiveAnErrorOrAnImage) {
    zebtest::Rng rng(11);
    // Small streams that cover ROI, sub-sampling, tiles, PPM/PPT, POC, SOP/EPH and 257 components.
    const char* names[] = {"p0_01", "p0_02", "p0_06", "p0_09", "p0_12", "p0_13", "p0_14", "p1_01", "p1_06", "p1_07"};
    const int rounds = kEmulated ? 8 : 40;
    int images = 0, errors = 0;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> good = readAll(kConf + "/codestreams/" + name + ".j2k");
        ASSERT_FALSE(good.empty());
        for (int i = 0; i < rounds; ++i) {
            std::vector<std::uint8_t> bytes = good;
            if (i % 2 == 0) {
                bytes.resize(std::size_t(rng.range(0, good.size() - 1)));
            } else {
                for (int k = 0, flips = int(rng.range(1, 4)); k < flips; ++k)
                    bytes[rng.range(0, bytes.size() - 1)] ^= std::uint8_t(1u << rng.range(0, 7));
            }
            zebtest::PageGuardedBuffer guarded(bytes.size());
            std::copy(bytes.begin(), bytes.end(), guarded.data());
            DecodeOptions o;
            o.conceal = i % 4 < 2;
            Picture pic;
            std::string err;
            if (zebimg::j2k::decode(guarded.data(), guarded.size(), o, pic, err)) {
                ++images;
                ASSERT_FALSE(pic.components.empty());
                for (const auto& c : pic.components) ASSERT_EQ(c.samples.size(), std::size_t(c.width) * c.height);
            } else {
                ++errors;
                EXPECT_FALSE(err.empty());
            }
        }
    }
    EXPECT_GT(images, 0);
    EXPECT_GT(errors, 0);
    // Resolution reduction halves the size per level; fewer layers still decode.
    const std::vector<std::uint8_t> full = readAll(kConf + "/codestreams/p1_05.j2k");
    Picture a, b;
    std::string err;
    ASSERT_TRUE(decodeBytes(full, a, err)) << err;
    DecodeOptions o;
    o.reduce = 2;
    o.maxLayers = 1;
    ASSERT_TRUE(decodeBytes(full, b, err, o)) << err;
    EXPECT_EQ(b.components[0].width, (a.components[0].width + 3) / 4);
    EXPECT_EQ(b.components[0].height, (a.components[0].height + 3) / 4);
}

// Damaged code-block data in a stream with segmentation symbols and
// predictable termination is found by the code-block decoder: without
// concealment the decode fails, with it the picture stays close to the
// reference decode.
TEST(J2kDecoderDamage, DamagedCodeBlocksAreConcealed) {
    const std::vector<std::uint8_t> good = readAll(kConf + "/codestreams/p0_02.j2k");
    Pgx ref;
    ASSERT_TRUE(readPgx(kConf + "/reference/c1p0_02_0.pgx", ref));
    zebtest::Rng rng(3);
    int concealed = 0;
    double worst = 1e9;
    for (int i = 0; i < (kEmulated ? 12 : 40); ++i) {
        std::vector<std::uint8_t> bytes = good;
        bytes[rng.range(bytes.size() / 2, bytes.size() - 3)] ^= std::uint8_t(rng.range(1, 255));
        Picture pic;
        std::string err;
        DecodeOptions strict;
        strict.conceal = false;
        if (decodeBytes(bytes, pic, err, strict) || err != "damaged code-block data") continue;
        ASSERT_TRUE(decodeBytes(bytes, pic, err)) << err;
        ASSERT_EQ(pic.components[0].samples.size(), ref.v.size());
        double se = 0;
        for (std::size_t k = 0; k < ref.v.size(); ++k) {
            const double d = double(pic.components[0].samples[k]) - ref.v[k];
            se += d * d;
        }
        worst = std::min(worst, 10 * std::log10(255.0 * 255.0 * double(ref.v.size()) / std::max(se, 1e-9)));
        ++concealed;
    }
    EXPECT_GE(concealed, 3);
    EXPECT_GT(worst, 25.0);
    std::printf("%d damaged streams concealed, worst PSNR %.1f dB\n", concealed, worst);
}

#if defined(ZEB_HAVE_OPENJP2)

using zebtest::MemStream;
using zebtest::memStream;

// One OpenJPEG coding configuration.
struct OpjCase {
    const char* what;
    int comps = 1, precision = 8, width = 97, height = 71;
    bool isSigned = false, irreversible = false, smooth = false;
    int mode = 0;                     // code-block style switches
    OPJ_PROG_ORDER order = OPJ_LRCP;
    int precinctLog2 = 0;             // 0: maximal precincts
    int tile = 0, layers = 1, levels = 5;
    bool sopEph = false;
    float rate = 0;                   // lossy: compression ratio of the single layer
    bool jp2 = false;                 // JP2 file instead of a raw codestream
};

Picture sourcePicture(const OpjCase& k, zebtest::Rng& rng) {
    Picture pic;
    pic.width = k.width, pic.height = k.height;
    pic.components.resize(k.comps);
    const std::int64_t lo = k.isSigned ? -(std::int64_t(1) << (k.precision - 1)) : 0;
    const std::int64_t hi = lo + (std::int64_t(1) << k.precision) - 1;
    for (int c = 0; c < k.comps; ++c) {
        auto& comp = pic.components[c];
        comp.width = k.width, comp.height = k.height, comp.precision = k.precision, comp.isSigned = k.isSigned;
        comp.samples.resize(std::size_t(k.width) * k.height);
        for (int y = 0; y < k.height; ++y)
            for (int x = 0; x < k.width; ++x) {
                std::int64_t v;
                if (k.smooth) {
                    const double t = 0.5 + 0.45 * std::sin(0.07 * x + 0.3 * c) * std::cos(0.05 * y - 0.2 * c);
                    v = lo + std::int64_t(t * double(hi - lo)) + rng.range(-2, 2);
                } else {
                    v = rng.range(lo, hi);
                }
                comp.samples[std::size_t(y) * k.width + x] = std::int32_t(std::clamp(v, lo, hi));
            }
    }
    return pic;
}

std::vector<std::uint8_t> opjEncode(const OpjCase& k, const Picture& pic) {
    std::vector<opj_image_cmptparm_t> cp(k.comps);
    for (auto& p : cp) {
        std::memset(&p, 0, sizeof p);
        p.dx = p.dy = 1;
        p.w = k.width, p.h = k.height;
        p.prec = k.precision;
        p.sgnd = k.isSigned;
    }
    opj_image_t* img = opj_image_create(k.comps, cp.data(), k.comps >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
    img->x0 = img->y0 = 0;
    img->x1 = k.width, img->y1 = k.height;
    for (int c = 0; c < k.comps; ++c)
        std::copy(pic.components[c].samples.begin(), pic.components[c].samples.end(), img->comps[c].data);
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.tcp_numlayers = k.layers;
    for (int l = 0; l < k.layers; ++l) p.tcp_rates[l] = k.rate > 0 ? k.rate : l + 1 == k.layers ? 0 : 40.0f / (l + 1);
    p.cp_disto_alloc = 1;
    p.irreversible = k.irreversible;
    p.mode = k.mode;
    p.prog_order = k.order;
    p.numresolution = k.levels + 1;
    p.tcp_mct = k.comps >= 3 ? 1 : 0;
    if (k.precinctLog2) {
        p.csty |= 1;
        p.res_spec = 2;
        p.prcw_init[0] = p.prch_init[0] = 1 << k.precinctLog2;
        p.prcw_init[1] = p.prch_init[1] = 1 << (k.precinctLog2 - 1);
    }
    if (k.sopEph) p.csty |= 6;
    if (k.tile) {
        p.tile_size_on = OPJ_TRUE;
        p.cp_tdx = p.cp_tdy = k.tile;
    }
    MemStream m;
    opj_codec_t* codec = opj_create_compress(k.jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_stream_t* s = memStream(m, false);
    const bool ok = opj_setup_encoder(codec, &p, img) && opj_start_compress(codec, img, s) &&
                    opj_encode(codec, s) && opj_end_compress(codec, s);
    opj_stream_destroy(s);
    opj_destroy_codec(codec);
    opj_image_destroy(img);
    if (!ok) m.data.clear();
    return m.data;
}

bool opjDecode(const std::vector<std::uint8_t>& bytes, Picture& out, int reduce = 0, int layers = 0) {
    MemStream m;
    m.data = bytes;
    const bool jp2 = bytes.size() > 4 && bytes[0] == 0;
    opj_codec_t* codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_dparameters_t p;
    opj_set_default_decoder_parameters(&p);
    p.cp_reduce = reduce;
    p.cp_layer = layers;
    opj_stream_t* s = memStream(m, true);
    opj_image_t* img = nullptr;
    bool ok = opj_setup_decoder(codec, &p) && opj_read_header(s, codec, &img) && opj_decode(codec, s, img) &&
              opj_end_decompress(codec, s);
    if (ok) {
        out.components.resize(img->numcomps);
        for (OPJ_UINT32 c = 0; c < img->numcomps; ++c) {
            auto& comp = out.components[c];
            comp.width = int(img->comps[c].w), comp.height = int(img->comps[c].h);
            comp.samples.assign(img->comps[c].data, img->comps[c].data + std::size_t(comp.width) * comp.height);
        }
    }
    opj_image_destroy(img);
    opj_stream_destroy(s);
    opj_destroy_codec(codec);
    return ok;
}

double psnr(const Picture& a, const Picture& b, int precision) {
    double se = 0;
    std::size_t n = 0;
    for (std::size_t c = 0; c < a.components.size(); ++c)
        for (std::size_t i = 0; i < a.components[c].samples.size(); ++i, ++n) {
            const double d = double(a.components[c].samples[i]) - b.components[c].samples[i];
            se += d * d;
        }
    const double peak = double((std::int64_t(1) << precision) - 1);
    return 10.0 * std::log10(peak * peak / std::max(se / double(n), 1e-12));
}

std::vector<OpjCase> opjCases() {
    std::vector<OpjCase> v;
    auto add = [&](const char* what, auto tweak) {
        OpjCase k;
        k.what = what;
        tweak(k);
        v.push_back(k);
    };
    add("defaults", [](OpjCase&) {});
    const int modes[] = {1, 2, 4, 8, 16, 32, 1 | 4 | 16, 1 | 2 | 8 | 32, 63};
    for (int m : modes) add("code-block style", [m](OpjCase& k) { k.mode = m, k.smooth = m & 1; });
    const OPJ_PROG_ORDER orders[] = {OPJ_LRCP, OPJ_RLCP, OPJ_RPCL, OPJ_PCRL, OPJ_CPRL};
    for (OPJ_PROG_ORDER o : orders)
        add("progression with precincts, layers, 3 components", [o](OpjCase& k) {
            k.order = o, k.precinctLog2 = 5, k.layers = 3, k.comps = 3, k.smooth = true;
        });
    add("tiles", [](OpjCase& k) { k.tile = 32, k.levels = 3, k.comps = 3; });
    add("tiles with odd image size and PCRL", [](OpjCase& k) {
        k.tile = 40, k.width = 101, k.height = 67, k.levels = 2, k.order = OPJ_PCRL, k.precinctLog2 = 4;
    });
    add("SOP/EPH and layers", [](OpjCase& k) { k.sopEph = true, k.layers = 4, k.smooth = true; });
    add("two components", [](OpjCase& k) { k.comps = 2; });
    add("four components, 12 bits", [](OpjCase& k) { k.comps = 4, k.precision = 12; });
    add("16 bits", [](OpjCase& k) { k.precision = 16; });
    add("signed 12 bits", [](OpjCase& k) { k.precision = 12, k.isSigned = true, k.comps = 3; });
    add("no wavelet levels", [](OpjCase& k) { k.levels = 0; });
    add("JP2 file, odd size, one level", [](OpjCase& k) { k.jp2 = true, k.comps = 3, k.width = 33, k.height = 5, k.levels = 1; });
    return v;
}

TEST(J2kDecoderOpenJpeg, LosslessStreamsDecodeExactly) {
    zebtest::Rng rng(5);
    for (const OpjCase& k : opjCases()) {
        SCOPED_TRACE(std::string(k.what) + " mode " + std::to_string(k.mode) + " order " + std::to_string(k.order));
        const Picture src = sourcePicture(k, rng);
        const std::vector<std::uint8_t> bytes = opjEncode(k, src);
        ASSERT_FALSE(bytes.empty());
        Picture pic;
        std::string err;
        DecodeOptions o;
        o.conceal = false;
        ASSERT_TRUE(decodeBytes(bytes, pic, err, o)) << err;
        ASSERT_EQ(pic.components.size(), src.components.size());
        for (std::size_t c = 0; c < src.components.size(); ++c) {
            ASSERT_EQ(pic.components[c].width, k.width);
            ASSERT_EQ(pic.components[c].height, k.height);
            ASSERT_EQ(pic.components[c].samples, src.components[c].samples) << "component " << c;
        }
        // Discarding a resolution level and all but the first layer gives OpenJPEG's picture.
        if (k.layers > 1 || k.tile) {
            Picture ours, theirs;
            o.reduce = 1;
            o.maxLayers = 1;
            ASSERT_TRUE(decodeBytes(bytes, ours, err, o)) << err;
            ASSERT_TRUE(opjDecode(bytes, theirs, 1, 1));
            for (std::size_t c = 0; c < src.components.size(); ++c)
                EXPECT_EQ(ours.components[c].samples, theirs.components[c].samples) << "reduced, component " << c;
        }
    }
}

TEST(J2kDecoderOpenJpeg, LossyStreamsWithinATenthOfADecibel) {
    zebtest::Rng rng(6);
    double widest = 0;
    std::vector<OpjCase> cases = opjCases();
    for (OpjCase& k : cases) {
        k.irreversible = true;
        k.rate = 12;
        k.layers = 1;
        k.smooth = true;
        SCOPED_TRACE(std::string(k.what) + " mode " + std::to_string(k.mode) + " order " + std::to_string(k.order));
        const Picture src = sourcePicture(k, rng);
        const std::vector<std::uint8_t> bytes = opjEncode(k, src);
        ASSERT_FALSE(bytes.empty());
        Picture ours, theirs;
        std::string err;
        ASSERT_TRUE(decodeBytes(bytes, ours, err)) << err;
        ASSERT_TRUE(opjDecode(bytes, theirs));
        const double a = psnr(ours, src, k.precision), b = psnr(theirs, src, k.precision);
        EXPECT_NEAR(a, b, 0.1) << "ours " << a << " dB, OpenJPEG " << b << " dB";
        widest = std::max(widest, std::fabs(a - b));
    }
    std::printf("widest PSNR gap to OpenJPEG's decode: %.4f dB\n", widest);
}

#endif  // ZEB_HAVE_OPENJP2

// ---- sample rows: the SSE2 groups of four against the per-sample definitions ----------------------------------
namespace rows = zebimg::j2k::rows;

TEST(J2kDecoderSampleRows, VectorGroupsEqualPerSampleSteps) {
    zebtest::Rng rng(11);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    // Words with magnitudes of every length, and floats with ties, limits, infinities and NaN.
    auto word = [&] {
        const std::uint32_t mag = rng.next() >> rng.range(0, 31);
        return std::int32_t((rng.next() & 0x80000000u) | mag);
    };
    auto anyFloat = [&](int precision) {
        const float special[] = {inf, -inf, nan, 0.5f, -0.5f, 1.5f, 2.5f, -2.5f, 3e9f, -3e9f, 1e19f, -1e19f, 8388607.5f};
        if (rng.chance(0.2)) return special[rng.range(0, 12)];
        const double span = std::ldexp(1.25, precision - 1);
        return float((rng.uniform() * 2 - 1) * span);
    };
    for (int n = 1; n <= 37; ++n) {
        std::vector<std::int32_t> a(n), b(n), out(n);
        // Dequantisation, reversible and irreversible (scales up to ones that hit the 2^31 - 1 limit).
        for (const double scale : {0.0, 1.0 / 3, 0.5, 7.25, 1e6, 1e12, double(inf)}) {
            for (const bool reversible : {true, false}) {
                for (auto& v : a) v = word();
                b = a;
                for (int x = rows::dequantiseRow(b.data(), n, reversible, scale); x < n; ++x)
                    b[x] = rows::dequantise(b[x], reversible, scale, 0, 0xFFFFFFFFu);
                for (int x = 0; x < n; ++x)
                    ASSERT_EQ(b[x], rows::dequantise(a[x], reversible, scale, 0, 0xFFFFFFFFu))
                        << "word " << a[x] << " scale " << scale << " reversible " << reversible;
            }
        }
        // Fixed point to float.
        for (const double s : {1.0, std::ldexp(1.0, -13), 0.1}) {
            for (auto& v : a) v = std::int32_t(rng.next());
            b = a;
            for (int x = rows::fixedToFloatRow(b.data(), n, s); x < n; ++x) b[x] = rows::fixedToFloat(b[x], s);
            for (int x = 0; x < n; ++x) ASSERT_EQ(b[x], rows::fixedToFloat(a[x], s)) << a[x] << " * " << s;
        }
        // Into the picture: every kind, precisions 1 to 24, signed and unsigned.
        for (const int precision : {1, 2, 8, 12, 16, 24}) {
            for (const bool isSigned : {false, true}) {
                const std::int64_t lo = isSigned ? -(std::int64_t(1) << (precision - 1)) : 0;
                const std::int64_t hi = isSigned ? (std::int64_t(1) << (precision - 1)) - 1
                                                 : (std::int64_t(1) << precision) - 1;
                const std::int64_t shift = isSigned ? 0 : std::int64_t(1) << (precision - 1);
                const double fs = std::ldexp(1.0, -std::clamp(28 - precision, 0, 13));
                for (const rows::Kind kind : {rows::Kind::Integer, rows::Kind::Float, rows::Kind::FixedPoint}) {
                    for (auto& v : a) {
                        if (kind == rows::Kind::Float) v = std::bit_cast<std::int32_t>(anyFloat(precision));
                        else if (kind == rows::Kind::Integer && rng.chance(0.7))
                            v = std::int32_t(rng.range(-(1ll << precision), 1ll << precision));
                        else v = std::int32_t(rng.next());
                    }
                    const int done = rows::storeRow(a.data(), out.data(), n, kind, precision, fs, int(shift));
                    for (int x = done; x < n; ++x) out[x] = rows::store(a[x], kind, fs, lo, hi, shift);
                    for (int x = 0; x < n; ++x)
                        ASSERT_EQ(out[x], rows::store(a[x], kind, fs, lo, hi, shift))
                            << "sample " << a[x] << " kind " << int(kind) << " precision " << precision;
                }
            }
        }
    }
}

// A picture that already holds a decoded image lends its storage to the
// next decode (tile buffers that start zeroed): whatever it held, the result
// is that of a fresh picture.  Large planes and small ones, whole files and
// only their first layer, in one picture one after the other.
TEST(J2kDecoderReuse, APictureDecodedIntoAgainGivesAFreshResult) {
    const auto make = [](int w, int h, int comps, int seed) {
        Picture pic;
        pic.width = w, pic.height = h;
        pic.components.resize(comps);
        zebtest::Rng rng(seed);
        for (auto& comp : pic.components) {
            comp.width = w, comp.height = h;
            comp.samples.resize(std::size_t(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    comp.samples[std::size_t(y) * w + x] =
                        std::int32_t(std::clamp(128 + 100 * std::sin(0.05 * x) * std::cos(0.03 * y), 0.0, 255.0)) ^
                        std::int32_t(rng.range(0, 3));
        }
        return pic;
    };
    zebimg::j2k::EncodeOptions lossy;
    lossy.reversible = false;
    lossy.layerBitsPerPixel = {0.5, 2};
    std::vector<std::vector<std::uint8_t>> streams(3);
    std::string err;
    ASSERT_TRUE(zebimg::j2k::encode(make(1100, 600, 1, 1), lossy, streams[0], err)) << err;  // a 2.5 MiB plane
    ASSERT_TRUE(zebimg::j2k::encode(make(90, 70, 3, 2), zebimg::j2k::EncodeOptions{}, streams[1], err)) << err;
    ASSERT_TRUE(zebimg::j2k::encode(make(1000, 640, 3, 3), zebimg::j2k::EncodeOptions{}, streams[2], err)) << err;
    Picture reused;
    const int order[][2] = {{0, 0}, {1, 0}, {0, 1}, {2, 0}, {0, 0}, {2, 1}, {1, 0}};  // (stream, first layer only)
    for (const auto& step : order) {
        DecodeOptions o;
        if (step[1]) o.maxLayers = 1;
        Picture fresh;
        ASSERT_TRUE(decodeBytes(streams[step[0]], fresh, err, o)) << err;
        ASSERT_TRUE(decodeBytes(streams[step[0]], reused, err, o)) << err;
        ASSERT_EQ(reused.components.size(), fresh.components.size());
        for (std::size_t c = 0; c < fresh.components.size(); ++c)
            ASSERT_TRUE(reused.components[c].samples == fresh.components[c].samples)
                << "stream " << step[0] << " component " << c;
    }
}

// Planes of 2 MiB and more live in mappings of their own (kept for reuse once
// freed); as vectors they must behave like any other.
TEST(J2kSampleStorage, LargePlanesBehaveAsOrdinaryVectors) {
    using zebimg::j2k::SampleVector;
    const std::size_t n = zebimg::j2k::kLargeBytes / 4 * 3 + 5;  // beyond the threshold, not whole units
    for (int round = 0; round < 2; ++round) {  // the second round maps afresh what the first one freed
        SampleVector a(n);
        ASSERT_TRUE(std::all_of(a.begin(), a.end(), [](std::int32_t v) { return v == 0; })) << round;
        for (std::size_t i = 0; i < n; ++i) a[i] = std::int32_t(std::uint32_t(i) * 2654435761u);
        SampleVector b = a;
        EXPECT_TRUE(a == b);
        SampleVector small(10, 7);
        small.swap(b);
        ASSERT_EQ(small.size(), n);
        EXPECT_TRUE(small == a);
        EXPECT_TRUE(b == SampleVector(10, 7));
        a.push_back(-1);  // grows into a new block
        ASSERT_EQ(a.size(), n + 1);
        EXPECT_EQ(a[n], -1);
        EXPECT_TRUE(std::equal(small.begin(), small.end(), a.begin()));
    }
}

}  // namespace
