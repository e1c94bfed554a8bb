// JPEG 2000 (T.800 core coding system) encoder on the library's public functions: DC level
// shift, RCT + 5/3 or ICT + 9/7 (whole-tile wavelets), scalar expounded
// quantisation, code-blocks through the library's code-block encoder, quality
// layers by post-compression rate-distortion optimisation, LRCP packets with
// maximal precincts, J2K codestream or JP2 file.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "j2k_codec.h"
#include "j2k_sample_rows.h"
#include "zeb.h"

namespace zebimg::j2k {
namespace {

int ceilDiv(int a, int b) { return static_cast<int>((static_cast<std::int64_t>(a) + b - 1) / b); }
int ceilShift(int a, int s) { return static_cast<int>((static_cast<std::int64_t>(a) + (std::int64_t(1) << s) - 1) >> s); }
int bitLength(std::uint64_t v) {
    int n = 0;
    while (v) ++n, v >>= 1;
    return n;
}

// Runs fn(i) for i in [0, n) on up to the library's thread count.
template <class F>
void parallelFor(int n, F&& fn) {
    const int threads = std::max(1, std::min(n, zebcoreGetNumThreads()));
    if (threads <= 1) {
        for (int i = 0; i < n; ++i) fn(i, 0);
        return;
    }
    std::atomic<int> next{0};
    auto worker = [&](int t) {
        for (int i; (i = next.fetch_add(1)) < n;) fn(i, t);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(worker, t);
    worker(0);
    for (std::thread& th : pool) th.join();
}

// ---------------------------------------------------------------------------
// Synthesis energy gains (squared norms of the synthesis basis functions)

std::vector<double> upsampleConvolve(const std::vector<double>& f, const std::vector<double>& g) {
    std::vector<double> out(2 * f.size() - 1 + g.size() - 1, 0.0);
    for (std::size_t i = 0; i < f.size(); ++i)
        for (std::size_t j = 0; j < g.size(); ++j) out[2 * i + j] += f[i] * g[j];
    return out;
}

// Squared norm of the 1-D synthesis basis of a band at level `level` (1 =
// finest), low- or high-pass at that level and low-pass above.
double synthesisGain1D(bool reversible, int level, bool high) {
    static const std::vector<double> g0_53{0.5, 1.0, 0.5};
    static const std::vector<double> g1_53{-0.125, -0.25, 0.75, -0.25, -0.125};
    static const std::vector<double> g0_97{-0.091271766, -0.057543527, 0.59127176, 1.115087,
                                           0.59127176,   -0.057543527, -0.091271766};
    static const std::vector<double> g1_97{0.026748758, 0.01686412,  -0.078223266, -0.26686412, 0.602949,
                                           -0.26686412, -0.078223266, 0.01686412,   0.026748758};
    const std::vector<double>& g0 = reversible ? g0_53 : g0_97;
    const std::vector<double>& g1 = reversible ? g1_53 : g1_97;
    if (level == 0) return 1.0;
    std::vector<double> f{1.0};
    for (int j = level; j >= 1; --j) f = upsampleConvolve(f, j == level && high ? g1 : g0);
    double s = 0;
    for (double v : f) s += v * v;
    return s;
}

// Tag tree encoder (T.800 B.10.2).
class TagTree {
public:
    void init(int w, int h) {
        levels_.clear();
        do {
            levels_.push_back({w, h, std::vector<Node>(std::size_t(w) * h)});
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        } while (levels_.back().w * levels_.back().h > 1);
    }
    void setLeaf(int x, int y, int v) { levels_[0].nodes[std::size_t(y) * levels_[0].w + x].value = v; }
    // After the leaves: every parent holds the minimum of its children.
    void finish() {
        for (std::size_t l = 1; l < levels_.size(); ++l)
            for (Node& n : levels_[l].nodes) n = Node{};
        for (std::size_t l = 0; l + 1 < levels_.size(); ++l) {
            Level& a = levels_[l];
            Level& b = levels_[l + 1];
            for (int y = 0; y < a.h; ++y)
                for (int x = 0; x < a.w; ++x) {
                    Node& p = b.nodes[std::size_t(y / 2) * b.w + x / 2];
                    p.value = std::min(p.value, a.nodes[std::size_t(y) * a.w + x].value);
                }
        }
        for (Level& l : levels_)
            for (Node& n : l.nodes) n.low = 0, n.known = false;
    }
    template <class Bits>
    void encode(Bits& out, int x, int y, int threshold) {
        Node* path[32];
        int depth = 0;
        for (std::size_t l = 0; l < levels_.size(); ++l, x /= 2, y /= 2)
            path[depth++] = &levels_[l].nodes[std::size_t(y) * levels_[l].w + x];
        int low = 0;
        for (int i = depth - 1; i >= 0; --i) {
            Node& n = *path[i];
            if (low > n.low) n.low = low;
            else low = n.low;
            while (low < threshold) {
                if (low >= n.value) {
                    if (!n.known) {
                        out.put(1);
                        n.known = true;
                    }
                    break;
                }
                out.put(0);
                ++low;
            }
            n.low = low;
        }
    }

private:
    struct Node {
        int value = 1 << 30;
        int low = 0;
        bool known = false;
    };
    struct Level {
        int w, h;
        std::vector<Node> nodes;
    };
    std::vector<Level> levels_;
};

// Packet-header bit writer with the 0xFF bit stuffing of T.800 B.10.1.
struct HeaderBits {
    std::vector<std::uint8_t>& out;
    unsigned acc = 0;
    int pending = 0;  // bits in acc
    int capacity = 8;  // 7 after a byte 0xFF
    void put(int bit) {
        acc = (acc << 1) | unsigned(bit & 1);
        if (++pending == capacity) emit();
    }
    void putBits(unsigned v, int n) {
        for (int i = n - 1; i >= 0; --i) put((v >> i) & 1);
    }
    void emit() {
        out.push_back(static_cast<std::uint8_t>(acc));
        capacity = acc == 0xFF ? 7 : 8;
        acc = 0;
        pending = 0;
    }
    // Pads the last byte with zeros; a header never ends with 0xFF.
    void flush() {
        if (pending) {
            acc <<= capacity - pending;
            emit();
        }
        if (!out.empty() && out.back() == 0xFF) out.push_back(0);
    }
};

// ---------------------------------------------------------------------------
// Coding structures

struct CodeBlock {
    int x0 = 0, y0 = 0, w = 0, h = 0;   // position in the tile-component buffer
    std::vector<std::uint8_t> data;     // all codeword segments
    int passes = 0, codedPlanes = 0;
    std::vector<int> passEnd;           // truncation length after each pass
    std::vector<std::uint8_t> segEnd;   // pass ends a codeword segment
    std::vector<int> segStop;           // exact end of the segment a pass belongs to
    std::vector<double> distCum;        // weighted distortion reduction after each pass
    double energy = 0;                  // weighted distortion with nothing coded
    std::vector<int> hull;              // truncation points (pass counts) on the convex hull
    std::vector<double> hullSlope;
    std::vector<int> layerPasses;       // cumulative passes per layer
    // packet state
    bool included = false;
    int lblock = 3;
};

struct Band {
    int orient = 0;               // 0 LL, 1 HL, 2 LH, 3 HH (T.800 band order)
    int level = 0;                // decomposition level nb (LL: the deepest)
    int bx0 = 0, by0 = 0, bw = 0, bh = 0;  // band coordinates
    int offX = 0, offY = 0;       // position in the tile-component buffer
    int ncbx = 0, ncby = 0;
    int exponent = 0, mantissa = 0;
    double step = 1;              // quantisation step in buffer units
    double weight = 1;            // distortion per squared step unit
    int maxBits = 0;              // bit length of the largest quantisation index
    std::vector<CodeBlock> blocks;
    TagTree inclusion, zeroPlanes;
};

struct Resolution {
    int rx0 = 0, ry0 = 0, rx1 = 0, ry1 = 0;
    std::vector<Band> bands;
};

struct TileComponent {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int fracBits = 0;             // irreversible: samples scaled by 2^fracBits before the wavelet
    SampleVector buf;
    std::vector<Resolution> res;
};

struct Tile {
    int index = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int levels = 0;
    std::vector<TileComponent> comps;
};

void putPassCount(HeaderBits& b, int n) {
    if (n == 1) b.put(0);
    else if (n == 2) b.putBits(2, 2);
    else if (n <= 5) b.putBits(0xC | (n - 3), 4);
    else if (n <= 36) b.putBits((0xF << 5) | (n - 6), 9);
    else b.putBits((0x1FFu << 7) | unsigned(n - 37), 16);
}

int floorLog2(int v) { return bitLength(static_cast<std::uint64_t>(v)) - 1; }

class Encoder {
public:
    Encoder(const Picture& pic, const EncodeOptions& opt) : pic_(pic), opt_(opt) {}
    bool run(std::vector<std::uint8_t>& out, std::string& error);

private:
    bool validate(std::string& error);
    void setupTiles();
    void prepareTile(Tile& t);
    void waveletTile(Tile& t, int c);
    void quantMarkers(std::vector<std::uint8_t>& out, const Tile& t);
    std::size_t jp2Overhead() const;
    void setupBands(Tile& t);
    void codeBlocks();
    void buildHulls();
    void allocateLayers();
    std::size_t assemble(int layersToWrite, std::vector<std::uint8_t>* out);
    void writePacket(Tile& t, int layer, int r, int c, std::vector<std::uint8_t>& out);
    void mainHeader(std::vector<std::uint8_t>& out);
    void codQcd(std::vector<std::uint8_t>& out, int levels);
    void setPasses(int layer, double lambda);
    void fillLayer(int layer, double target);
    double distortionAt(int layer) const;
    double targetDistortion() const;
    bool targetReachable() const;

    const Picture& pic_;
    const EncodeOptions& opt_;
    bool mct_ = false;
    int guardBits_ = 2;
    int numLayers_ = 1;
    int cbw_ = 64, cbh_ = 64;
    int style_ = 0;
    int stepLog2_ = 0;  // irreversible: steps 2^stepLog2_ times the finest (about 59 dB)
    std::vector<Tile> tiles_;
    std::vector<CodeBlock*> allBlocks_;
    std::vector<Band*> allBands_;
    std::vector<std::uint8_t> sizing_;  // the codestreams that rate control only measures
};

bool Encoder::validate(std::string& error) {
    const int nc = static_cast<int>(pic_.components.size());
    if (nc < 1 || nc > 4) return error = "the JPEG 2000 encoder takes 1 to 4 components", false;
    if (pic_.width <= 0 || pic_.height <= 0 || pic_.x0 < 0 || pic_.y0 < 0)
        return error = "the picture has no samples", false;
    for (const Component& c : pic_.components) {
        if (c.precision < 8 || c.precision > 16) return error = "component precision must be 8 to 16 bits", false;
        if (c.dx < 1 || c.dx > 255 || c.dy < 1 || c.dy > 255) return error = "invalid component sub-sampling", false;
        const int w = ceilDiv(pic_.x0 + pic_.width, c.dx) - ceilDiv(pic_.x0, c.dx);
        const int h = ceilDiv(pic_.y0 + pic_.height, c.dy) - ceilDiv(pic_.y0, c.dy);
        if (c.width != w || c.height != h || c.samples.size() != std::size_t(w) * h)
            return error = "component size does not match the image area", false;
    }
    if (opt_.levels < 0 || opt_.levels > 8) return error = "decomposition levels must be 0 to 8", false;
    const int n = opt_.codeBlockWidthLog2, m = opt_.codeBlockHeightLog2;
    if (n < 2 || n > 6 || m < 2 || m > 6 || n + m > 12) return error = "invalid code-block size", false;
    if (opt_.codeBlockStyle < 0 || opt_.codeBlockStyle > 0x3F) return error = "invalid code-block style", false;
    if (opt_.tileWidth < 0 || opt_.tileHeight < 0) return error = "invalid tile size", false;
    if (opt_.guardBits < 0 || opt_.guardBits > 7) return error = "guard bits must be 0 to 7", false;
    for (double b : opt_.layerBitsPerPixel)
        if (!(b >= 0)) return error = "invalid layer rate", false;
    if (opt_.layerBitsPerPixel.size() > 64) return error = "too many quality layers", false;
    mct_ = opt_.multipleComponentTransform && nc >= 3;
    for (int c = 1; mct_ && c < 3; ++c) {
        const Component& a = pic_.components[0];
        const Component& b = pic_.components[c];
        if (a.dx != b.dx || a.dy != b.dy || a.precision != b.precision || a.isSigned != b.isSigned) mct_ = false;
    }
    cbw_ = 1 << n;
    cbh_ = 1 << m;
    // COD style bits to the code-block encoder's flags.
    const int s = opt_.codeBlockStyle;
    style_ = ((s & 0x01) ? ZEB_CB_BYPASS : 0) | ((s & 0x02) ? ZEB_CB_RESET_CTX : 0) |
             ((s & 0x04) ? ZEB_CB_TERM_ALL : 0) | ((s & 0x08) ? ZEB_CB_CAUSAL : 0) |
             ((s & 0x20) ? ZEB_CB_SEGMARK : 0);
    // Low targets need no fine steps: each doubling of the step saves a
    // bit-plane of coding and costs about 6 dB of a ceiling far above the target.
    if (!opt_.reversible && opt_.targetPsnr > 0) {
        stepLog2_ = std::clamp(static_cast<int>(std::floor((59 - 12 - opt_.targetPsnr) / 6)), 0, 3);
    } else if (!opt_.reversible && !opt_.layerBitsPerPixel.empty()) {
        double maxBpp = 0;
        for (double b : opt_.layerBitsPerPixel) maxBpp = b > 0 ? std::max(maxBpp, b) : INFINITY;
        const double perSample = maxBpp / nc;
        stepLog2_ = perSample <= 0.5 ? 2 : perSample <= 1.5 ? 1 : 0;
    }
    if (opt_.targetPsnr > 0) numLayers_ = 1;
    else numLayers_ = std::max<int>(1, static_cast<int>(opt_.layerBitsPerPixel.size()));
    return true;
}

void Encoder::setupTiles() {
    const int X0 = pic_.x0, Y0 = pic_.y0, X1 = X0 + pic_.width, Y1 = Y0 + pic_.height;
    const int tw = opt_.tileWidth ? opt_.tileWidth : pic_.width, th = opt_.tileHeight ? opt_.tileHeight : pic_.height;
    const int ntx = ceilDiv(pic_.width, tw), nty = ceilDiv(pic_.height, th);
    tiles_.resize(std::size_t(ntx) * nty);
    for (int q = 0; q < nty; ++q)
        for (int p = 0; p < ntx; ++p) {
            Tile& t = tiles_[std::size_t(q) * ntx + p];
            t.index = q * ntx + p;
            t.x0 = X0 + p * tw;
            t.y0 = Y0 + q * th;
            t.x1 = std::min(X1, t.x0 + tw);
            t.y1 = std::min(Y1, t.y0 + th);
            t.comps.resize(pic_.components.size());
            int minDim = 1 << 30;
            for (std::size_t c = 0; c < t.comps.size(); ++c) {
                const Component& comp = pic_.components[c];
                TileComponent& tc = t.comps[c];
                tc.x0 = ceilDiv(t.x0, comp.dx);
                tc.y0 = ceilDiv(t.y0, comp.dy);
                tc.x1 = ceilDiv(t.x1, comp.dx);
                tc.y1 = ceilDiv(t.y1, comp.dy);
                minDim = std::min({minDim, tc.x1 - tc.x0, tc.y1 - tc.y0});
            }
            // Fewer levels where the tile is too small for every band to be non-empty.
            t.levels = opt_.levels;
            while (t.levels > 0 && (minDim >> t.levels) == 0) --t.levels;
        }
}

// Level shift and component transform of one tile.
void Encoder::prepareTile(Tile& t) {
    const int nc = static_cast<int>(t.comps.size());
    for (int c = 0; c < nc; ++c) {
        const Component& comp = pic_.components[c];
        TileComponent& tc = t.comps[c];
        const int w = tc.x1 - tc.x0, h = tc.y1 - tc.y0;
        tc.buf.resize(std::size_t(w) * h);
        const int cx0 = ceilDiv(pic_.x0, comp.dx), cy0 = ceilDiv(pic_.y0, comp.dy);
        const std::int32_t shift = comp.isSigned ? 0 : (1 << (comp.precision - 1));
        for (int y = 0; y < h; ++y) {
            const std::int32_t* src = &comp.samples[std::size_t(tc.y0 + y - cy0) * comp.width + (tc.x0 - cx0)];
            std::int32_t* dst = &tc.buf[std::size_t(y) * w];
            for (int x = 0; x < w; ++x) dst[x] = src[x] - shift;
        }
        tc.fracBits = opt_.reversible ? 0 : 22 - comp.precision;
    }
    const int w0 = t.comps[0].x1 - t.comps[0].x0, h0 = t.comps[0].y1 - t.comps[0].y0;
    const ZebSize size0{w0, h0};
    if (mct_ && opt_.reversible) {
        Zeb32s* planes[3] = {t.comps[0].buf.data(), t.comps[1].buf.data(), t.comps[2].buf.data()};
        zebiRCTFwd_JPEG2K_32s_P3IR(planes, w0 * 4, size0);
    } else if (mct_) {
        std::vector<float, LargeAllocator<float>> f(std::size_t(w0) * h0 * 3);
        const std::size_t n = std::size_t(w0) * h0;
        for (int c = 0; c < 3; ++c)
            for (std::size_t i = 0; i < n; ++i) f[c * n + i] = static_cast<float>(t.comps[c].buf[i]);
        Zeb32f* planes[3] = {f.data(), f.data() + n, f.data() + 2 * n};
        zebiICTFwd_JPEG2K_32f_P3IR(planes, w0 * 4, size0);
        for (int c = 0; c < 3; ++c) {
            const float scale = std::ldexp(1.0f, t.comps[c].fracBits);
            for (std::size_t i = 0; i < n; ++i)
                t.comps[c].buf[i] = static_cast<std::int32_t>(std::lrint(f[c * n + i] * scale));
        }
    }
    for (int c = 0; c < nc; ++c) {
        TileComponent& tc = t.comps[c];
        if (!opt_.reversible && !(mct_ && c < 3))
            for (std::int32_t& v : tc.buf) v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << tc.fracBits);
    }
}

// The wavelet decomposition of one tile-component, in place.
void Encoder::waveletTile(Tile& t, int c) {
    {
        TileComponent& tc = t.comps[c];
        const int step = (tc.x1 - tc.x0) * 4;
        std::vector<unsigned char> work;
        for (int lev = 0; lev < t.levels; ++lev) {
            const int x0 = ceilShift(tc.x0, lev), y0 = ceilShift(tc.y0, lev);
            const ZebRect rect{x0, y0, ceilShift(tc.x1, lev) - x0, ceilShift(tc.y1, lev) - y0};
            int bytes = 0;
            if (opt_.reversible) zebiWTGetBufSize_B53_JPEG2K_32s_C1IR(&rect, &bytes);
            else zebiWTGetBufSize_D97_JPEG2K_32s_C1IR(&rect, &bytes);
            work.resize(std::max(1, bytes));
            if (opt_.reversible) zebiWTFwd_B53_JPEG2K_32s_C1IR(tc.buf.data(), step, &rect, work.data());
            else zebiWTFwd_D97_JPEG2K_32s_C1IR(tc.buf.data(), step, &rect, work.data());
        }
    }
}

// Band geometry, quantisation steps and the code-block partition of a tile.
void Encoder::setupBands(Tile& t) {
    const int L = t.levels;
    for (std::size_t c = 0; c < t.comps.size(); ++c) {
        TileComponent& tc = t.comps[c];
        const Component& comp = pic_.components[c];
        double compWeight = 1;
        if (mct_ && c < 3) {
            static const double ict[3] = {3.0, 0.34413 * 0.34413 + 1.772 * 1.772, 1.402 * 1.402 + 0.71414 * 0.71414};
            static const double rct[3] = {3.0, 11.0 / 16, 11.0 / 16};
            compWeight = opt_.reversible ? rct[c] : ict[c];
        }
        tc.res.assign(L + 1, Resolution{});
        for (int r = 0; r <= L; ++r) {
            Resolution& res = tc.res[r];
            const int nbRes = L - r;  // levels below this resolution
            res.rx0 = ceilShift(tc.x0, nbRes);
            res.ry0 = ceilShift(tc.y0, nbRes);
            res.rx1 = ceilShift(tc.x1, nbRes);
            res.ry1 = ceilShift(tc.y1, nbRes);
            const int firstOrient = r == 0 ? 0 : 1, lastOrient = r == 0 ? 0 : 3;
            for (int o = firstOrient; o <= lastOrient; ++o) {
                Band b;
                b.orient = o;
                b.level = r == 0 ? L : L - r + 1;
                const int xo = (o == 1 || o == 3) ? 1 : 0, yo = (o == 2 || o == 3) ? 1 : 0;
                if (b.level == 0) {
                    b.bx0 = tc.x0, b.by0 = tc.y0;
                    b.bw = tc.x1 - tc.x0, b.bh = tc.y1 - tc.y0;
                } else {
                    const std::int64_t half = std::int64_t(1) << (b.level - 1);
                    const int sh = b.level;
                    b.bx0 = ceilShift(static_cast<int>(tc.x0 - half * xo), sh);
                    b.by0 = ceilShift(static_cast<int>(tc.y0 - half * yo), sh);
                    b.bw = ceilShift(static_cast<int>(tc.x1 - half * xo), sh) - b.bx0;
                    b.bh = ceilShift(static_cast<int>(tc.y1 - half * yo), sh) - b.by0;
                    // position in the in-place buffer: after the low part of the level
                    b.offX = xo ? ceilShift(tc.x1, b.level) - ceilShift(tc.x0, b.level) : 0;
                    b.offY = yo ? ceilShift(tc.y1, b.level) - ceilShift(tc.y0, b.level) : 0;
                }
                const int gain = xo + yo;
                const double gx = synthesisGain1D(opt_.reversible, b.level, xo);
                const double gy = synthesisGain1D(opt_.reversible, b.level, yo);
                if (opt_.reversible) {
                    b.exponent = comp.precision + gain;
                    b.mantissa = 0;
                    b.step = 1;
                    b.weight = gx * gy * compWeight;
                } else {
                    // Step relative to the nominal range 2^(precision + gain): 1/256 of
                    // it (times 2^stepLog2_) divided by the band's synthesis norm, so that
                    // every band adds the same squared error per step.
                    const double rel = std::ldexp(1.0, stepLog2_ - 8 - gain) / std::sqrt(gx * gy);
                    int e = 0;
                    const double m = std::frexp(rel, &e);  // rel = m * 2^e, m in [0.5, 1)
                    int eps = 1 - e;                       // rel = (2m) * 2^(e - 1)
                    int mu = static_cast<int>(std::lround((2 * m - 1) * 2048));
                    if (mu >= 2048) mu = 0, --eps;
                    eps = std::clamp(eps, 0, 31);
                    b.exponent = eps;
                    b.mantissa = mu;
                    const double delta = std::ldexp(1.0 + mu / 2048.0, comp.precision + gain - eps);
                    b.step = delta * std::ldexp(1.0, tc.fracBits);
                    b.weight = delta * delta * gx * gy * compWeight;
                }
                const int x1 = b.bx0 + b.bw, y1 = b.by0 + b.bh;
                if (b.bw > 0 && b.bh > 0) {
                    const int cx0 = b.bx0 / cbw_, cy0 = b.by0 / cbh_;
                    b.ncbx = ceilDiv(x1, cbw_) - cx0;
                    b.ncby = ceilDiv(y1, cbh_) - cy0;
                    b.blocks.resize(std::size_t(b.ncbx) * b.ncby);
                    for (int j = 0; j < b.ncby; ++j)
                        for (int i = 0; i < b.ncbx; ++i) {
                            CodeBlock& cb = b.blocks[std::size_t(j) * b.ncbx + i];
                            const int gx0 = std::max(b.bx0, (cx0 + i) * cbw_), gx1 = std::min(x1, (cx0 + i + 1) * cbw_);
                            const int gy0 = std::max(b.by0, (cy0 + j) * cbh_), gy1 = std::min(y1, (cy0 + j + 1) * cbh_);
                            cb.x0 = b.offX + gx0 - b.bx0;
                            cb.y0 = b.offY + gy0 - b.by0;
                            cb.w = gx1 - gx0;
                            cb.h = gy1 - gy0;
                        }
                }
                res.bands.push_back(std::move(b));
            }
        }
    }
}

struct BlockJob {
    CodeBlock* cb;
    Band* band;
    TileComponent* tc;
};

void Encoder::codeBlocks() {
    std::vector<BlockJob> jobs;
    for (Tile& t : tiles_)
        for (TileComponent& tc : t.comps)
            for (Resolution& r : tc.res)
                for (Band& b : r.bands) {
                    allBands_.push_back(&b);
                    for (CodeBlock& cb : b.blocks) {
                        jobs.push_back({&cb, &b, &tc});
                        allBlocks_.push_back(&cb);
                    }
                }
    const int threads = std::max(1, zebcoreGetNumThreads());
    std::vector<ZebEncodeState*> states(threads, nullptr);
    std::vector<std::vector<std::int32_t>> scratch(threads);
    std::vector<std::vector<std::uint8_t>> chunks(threads);
    std::vector<int> maxBits(jobs.size(), 0);
    const int termMode = (opt_.codeBlockStyle & 0x10) ? 2 : 1;
    parallelFor(static_cast<int>(jobs.size()), [&](int i, int th) {
        BlockJob& job = jobs[i];
        CodeBlock& cb = *job.cb;
        const Band& b = *job.band;
        if (!states[th]) zebiEncodeInitAlloc_JPEG2K(&states[th], ZebSize{cbw_, cbh_});
        std::vector<std::int32_t>& v = scratch[th];
        v.resize(std::size_t(cb.w) * cb.h);
        const int stride = job.tc->x1 - job.tc->x0;
        const std::int32_t* src = job.tc->buf.data() + std::size_t(cb.y0) * stride + cb.x0;
        int lowPlane = 0;
        double energy = 0;
        const double invStep = 1.0 / b.step;
        if (opt_.reversible) {
            std::uint32_t anyBits = 0;  // the OR of the magnitudes has the bit length of the largest
            const int w = cb.w, h = cb.h;
            for (int y = 0; y < h; ++y) {
                const std::int32_t* row = src + std::size_t(y) * stride;
                std::int32_t* dst = v.data() + std::size_t(y) * w;
                for (int x = rows::signMagnitudeRow(row, dst, w, anyBits); x < w; ++x) {
                    const std::int32_t c = row[x];
                    const std::uint32_t m = c < 0 ? 0u - static_cast<std::uint32_t>(c) : static_cast<std::uint32_t>(c);
                    anyBits |= m;
                    dst[x] = static_cast<std::int32_t>(m | (c < 0 ? 0x80000000u : 0));
                }
            }
            maxBits[i] = bitLength(anyBits);
        } else {
            std::int64_t maxAbs = 0;
            for (int y = 0; y < cb.h; ++y)
                for (int x = 0; x < cb.w; ++x)
                    maxAbs = std::max<std::int64_t>(maxAbs, std::llabs(src[std::size_t(y) * stride + x]));
            const int nbits = bitLength(static_cast<std::uint64_t>(std::floor(double(maxAbs) * invStep)));
            maxBits[i] = nbits;
            lowPlane = std::min(13, 31 - nbits);
            const double planeScale = std::ldexp(1.0, lowPlane);
            for (int y = 0; y < cb.h; ++y) {
                const std::int32_t* row = src + std::size_t(y) * stride;
                std::int32_t* dst = v.data() + std::size_t(y) * cb.w;
                for (int x = 0; x < cb.w; ++x) {
                    const std::int32_t c = row[x];
                    const double u = std::fabs(double(c)) * invStep;  // below 2^nbits
                    const std::uint32_t m = static_cast<std::uint32_t>(u * planeScale);
                    dst[x] = static_cast<std::int32_t>(m | (c < 0 ? 0x80000000u : 0));
                    // squared error left once every plane is coded (mid-point reconstruction)
                    const std::uint32_t q = m >> lowPlane;
                    const double r = q ? u - q - 0.5 : u;
                    energy += r * r;
                }
            }
        }
        cb.energy = energy * b.weight;  // the passes' reductions are added below
        static const int libSubband[4] = {0, 2, 1, 3};  // LL, HL, LH, HH to the coder's numbering
        int sfBits = 0, passes = 0, segs = 0;
        zebiEncodeLoadCodeBlock_JPEG2K_32s_C1R(v.data(), cb.w * 4, ZebSize{cb.w, cb.h}, states[th],
                                               libSubband[b.orient], 31 - lowPlane, termMode, 0,
                                               style_ | (opt_.reversible ? ZEB_CB_LOSSLESS : 0), &sfBits, &passes,
                                               &segs);
        cb.passes = passes;
        cb.codedPlanes = passes ? sfBits - lowPlane : 0;
        cb.data.clear();
        if (!passes) return;
        std::vector<std::uint8_t>& chunk = chunks[th];
        chunk.resize(1 << 16);
        for (int notFinished = 1; notFinished;) {
            int len = static_cast<int>(chunk.size());
            zebiEncodeStoreBits_JPEG2K_1u(chunk.data(), &len, states[th], &notFinished);
            cb.data.insert(cb.data.end(), chunk.begin(), chunk.begin() + len);
        }
        // Segment boundaries: exact, from the segment lengths.
        cb.segEnd.assign(passes, 0);
        cb.segStop.assign(passes, 0);
        cb.passEnd.assign(passes, 0);
        cb.distCum.assign(passes, 0);
        std::vector<int> segStartOf(passes);
        {
            const bool termAll = (style_ & ZEB_CB_TERM_ALL) != 0, bypass = (style_ & ZEB_CB_BYPASS) != 0;
            // bypass: the first two passes of every plane below the fourth significant one are raw
            auto isRaw = [&](int k) { return bypass && k >= 10 && (k % 3) != 0; };
            int seg = 0, start = 0, segLen = 0;
            zebiEncodeGetTermPassLen_JPEG2K(states[th], 0, &segLen);
            for (int k = 0; k < passes; ++k) {
                const bool ends = k == passes - 1 || termAll || isRaw(k) != isRaw(k + 1);
                segStartOf[k] = start;
                cb.segStop[k] = start + segLen;
                if (ends) {
                    cb.segEnd[k] = 1;
                    start += segLen;
                    if (++seg < segs) zebiEncodeGetTermPassLen_JPEG2K(states[th], seg, &segLen);
                }
            }
        }
        double dist = 0;
        for (int k = 0; k < passes; ++k) {
            int rate = 0;
            zebiEncodeGetRate_JPEG2K(states[th], k, &rate);
            int e = std::clamp(rate, segStartOf[k], cb.segStop[k]);
            if (k > 0 && !cb.segEnd[k - 1]) e = std::max(e, cb.passEnd[k - 1]);
            cb.passEnd[k] = e;
            zebiEncodeGetDist_JPEG2K(states[th], k, &dist);
            cb.distCum[k] = dist * b.weight;
        }
        cb.energy += cb.distCum[passes - 1];
    });
    for (ZebEncodeState* s : states)
        if (s) zebiEncodeFree_JPEG2K(s);
    for (std::size_t i = 0; i < jobs.size(); ++i) jobs[i].band->maxBits = std::max(jobs[i].band->maxBits, maxBits[i]);
    // Guard bits: enough for every quantisation index (Mb = G + exponent - 1).
    guardBits_ = opt_.guardBits;
    for (Band* b : allBands_) guardBits_ = std::max(guardBits_, b->maxBits - b->exponent + 1);
}

// Convex hull of each block's (rate, distortion) points.
void Encoder::buildHulls() {
    for (CodeBlock* cb : allBlocks_) {
        cb->hull.assign(1, 0);
        cb->hullSlope.assign(1, INFINITY);
        for (int n = 1; n <= cb->passes; ++n) {
            const double d = cb->distCum[n - 1];
            const int r = cb->passEnd[n - 1];
            for (;;) {
                const int h = cb->hull.back();
                const double dh = h ? cb->distCum[h - 1] : 0;
                const int rh = h ? cb->passEnd[h - 1] : 0;
                double slope;
                if (d <= dh) {
                    slope = -1;  // no gain: not a hull point
                } else if (r <= rh) {
                    slope = INFINITY;
                } else {
                    slope = (d - dh) / (r - rh);
                }
                if (slope < 0) break;
                if (h != 0 && slope >= cb->hullSlope.back()) {
                    cb->hull.pop_back();
                    cb->hullSlope.pop_back();
                    continue;
                }
                cb->hull.push_back(n);
                cb->hullSlope.push_back(slope);
                break;
            }
        }
    }
}

void Encoder::setPasses(int layer, double lambda) {
    for (CodeBlock* cb : allBlocks_) {
        int n = 0;
        if (lambda <= 0) n = cb->passes;
        else
            for (std::size_t i = 1; i < cb->hull.size() && cb->hullSlope[i] >= lambda; ++i) n = cb->hull[i];
        if (layer > 0) n = std::max(n, cb->layerPasses[layer - 1]);
        cb->layerPasses[layer] = n;
    }
}

double Encoder::distortionAt(int layer) const {
    double d = 0;
    for (const CodeBlock* cb : allBlocks_) {
        const int n = cb->layerPasses[layer];
        d += cb->energy - (n ? cb->distCum[n - 1] : 0);
    }
    return std::max(d, 0.0);
}

// Squared error of the PSNR target (each component's error over its peak squared).
double Encoder::targetDistortion() const {
    double peak2 = 0;
    for (const Component& c : pic_.components) {
        const double p = std::ldexp(1.0, c.precision) - 1;
        peak2 += 1.0 / (p * p);
    }
    peak2 /= double(pic_.components.size());
    const double area = double(pic_.width) * pic_.height;
    return area * pic_.components.size() * std::pow(10.0, -opt_.targetPsnr / 10) / peak2;
}

// With every pass kept, the data reach the last layer's size or the PSNR target.
bool Encoder::targetReachable() const {
    if (opt_.targetPsnr > 0) {
        double d = 0;
        for (const CodeBlock* cb : allBlocks_) d += cb->energy - (cb->passes ? cb->distCum[cb->passes - 1] : 0);
        return d <= targetDistortion();
    }
    double bytes = 0;
    for (const CodeBlock* cb : allBlocks_) bytes += double(cb->data.size());
    return bytes >= opt_.layerBitsPerPixel.back() * double(pic_.width) * pic_.height / 8;
}

void Encoder::allocateLayers() {
    for (CodeBlock* cb : allBlocks_) cb->layerPasses.assign(numLayers_, 0);
    double maxSlope = 0, minSlope = INFINITY;
    for (CodeBlock* cb : allBlocks_)
        for (std::size_t i = 1; i < cb->hull.size(); ++i)
            if (std::isfinite(cb->hullSlope[i]))
                maxSlope = std::max(maxSlope, cb->hullSlope[i]), minSlope = std::min(minSlope, cb->hullSlope[i]);
    if (!(minSlope <= maxSlope)) minSlope = maxSlope = 1;
    const double area = double(pic_.width) * pic_.height;
    if (opt_.targetPsnr > 0) {
        const double target = targetDistortion();
        double lo = std::log(minSlope) - 1, hi = std::log(maxSlope) + 1;
        setPasses(0, std::exp(hi));
        if (distortionAt(0) <= target) return;
        setPasses(0, 0);
        if (distortionAt(0) > target) return;  // best possible
        for (int it = 0; it < 50; ++it) {
            const double mid = 0.5 * (lo + hi);
            setPasses(0, std::exp(mid));
            if (distortionAt(0) <= target) lo = mid;
            else hi = mid;
        }
        setPasses(0, std::exp(lo));
        return;
    }
    double prevLog = std::log(maxSlope) + 1;
    for (int l = 0; l < numLayers_; ++l) {
        const double bpp = l < static_cast<int>(opt_.layerBitsPerPixel.size()) ? opt_.layerBitsPerPixel[l] : 0;
        if (bpp <= 0) {
            setPasses(l, 0);
            continue;
        }
        const double target = bpp * area / 8;
        double lo = std::log(minSlope) - 1, hi = prevLog;  // size(hi) smallest
        setPasses(l, std::exp(hi));
        if (assemble(l + 1, nullptr) > target) {
            prevLog = hi;
            continue;
        }
        setPasses(l, std::exp(lo));
        if (assemble(l + 1, nullptr) <= target) {
            prevLog = lo;
            continue;
        }
        for (int it = 0; it < 25; ++it) {
            const double mid = 0.5 * (lo + hi);
            setPasses(l, std::exp(mid));
            const std::size_t sz = assemble(l + 1, nullptr);
            if (sz <= target) hi = mid;
            else lo = mid;
        }
        setPasses(l, std::exp(hi));
        prevLog = hi;
        fillLayer(l, target);
    }
}

// Spends what the slope threshold left of a layer's byte budget on single
// further passes, best distortion reduction per byte first; every change is
// checked against the real size.
void Encoder::fillLayer(int l, double target) {
    for (int round = 0; round < 3; ++round) {
        double budget = target - double(assemble(l + 1, nullptr));
        if (budget < 1) return;
        struct Step {
            double slope;
            CodeBlock* cb;
            int cost;
        };
        std::vector<Step> steps;
        for (CodeBlock* cb : allBlocks_) {
            const int n = cb->layerPasses[l];
            if (n >= cb->passes) continue;
            const int r0 = n ? cb->passEnd[n - 1] : 0;
            const double d0 = n ? cb->distCum[n - 1] : 0;
            const int dr = cb->passEnd[n] - r0;
            const bool fresh = n == 0;  // first inclusion: tag tree bits, a longer header
            const int cost = dr + (fresh ? 4 : 2);
            if (cost > budget) continue;
            steps.push_back({(cb->distCum[n] - d0) / std::max(dr, 1), cb, cost});
        }
        if (steps.empty()) return;
        std::sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.slope > b.slope; });
        std::vector<CodeBlock*> added;
        for (const Step& st : steps)
            if (st.cost <= budget) {
                budget -= st.cost;
                ++st.cb->layerPasses[l];
                added.push_back(st.cb);
            }
        while (!added.empty() && double(assemble(l + 1, nullptr)) > target) {
            --added.back()->layerPasses[l];
            added.pop_back();
        }
        if (added.empty()) return;
    }
}

void Encoder::writePacket(Tile& t, int layer, int r, int c, std::vector<std::uint8_t>& out) {
    Resolution& res = t.comps[c].res[r];
    std::vector<std::uint8_t> header;
    HeaderBits bits{header};
    bool any = false;
    for (Band& b : res.bands)
        for (CodeBlock& cb : b.blocks) any |= cb.layerPasses[layer] > (layer ? cb.layerPasses[layer - 1] : 0);
    struct Piece {
        const CodeBlock* cb;
        int begin, end;
    };
    std::vector<Piece> body;
    if (!any) {
        bits.put(0);
    } else {
        bits.put(1);
        for (Band& b : res.bands) {
            const int Mb = guardBits_ + b.exponent - 1;
            for (int j = 0; j < b.ncby; ++j)
                for (int i = 0; i < b.ncbx; ++i) {
                    CodeBlock& cb = b.blocks[std::size_t(j) * b.ncbx + i];
                    const int prev = layer ? cb.layerPasses[layer - 1] : 0;
                    const int now = cb.layerPasses[layer];
                    const int added = now - prev;
                    // inclusion: the tag trees live in the band (rebuilt per assembly)
                    TagTree& incl = b.inclusion;
                    TagTree& zbp = b.zeroPlanes;
                    if (!cb.included) incl.encode(bits, i, j, layer + 1);
                    else bits.put(added > 0);
                    if (added == 0) continue;
                    if (!cb.included) {
                        zbp.encode(bits, i, j, Mb - cb.codedPlanes + 1);
                        cb.included = true;
                    }
                    putPassCount(bits, added);
                    // codeword pieces: split at segment ends
                    struct Len {
                        int len, passes;
                    };
                    Len lens[164];
                    int nl = 0;
                    int begin = prev ? cb.passEnd[prev - 1] : 0;
                    int startPass = prev;
                    for (int k = prev; k < now; ++k) {
                        if (cb.segEnd[k] || k == now - 1) {
                            const int end = cb.passEnd[k];
                            lens[nl++] = {end - begin, k + 1 - startPass};
                            body.push_back({&cb, begin, end});
                            // the next segment starts at the exact end of this one
                            begin = cb.segEnd[k] ? cb.segStop[k] : end;
                            startPass = k + 1;
                        }
                    }
                    int need = cb.lblock;
                    for (int q = 0; q < nl; ++q)
                        need = std::max(need, bitLength(static_cast<std::uint64_t>(lens[q].len)) - floorLog2(lens[q].passes));
                    for (int q = cb.lblock; q < need; ++q) bits.put(1);
                    bits.put(0);
                    cb.lblock = need;
                    for (int q = 0; q < nl; ++q)
                        bits.putBits(static_cast<unsigned>(lens[q].len), cb.lblock + floorLog2(lens[q].passes));
                }
        }
    }
    bits.flush();
    out.insert(out.end(), header.begin(), header.end());
    for (const Piece& p : body) out.insert(out.end(), p.cb->data.begin() + p.begin, p.cb->data.begin() + p.end);
}

void put16(std::vector<std::uint8_t>& o, unsigned v) {
    o.push_back(static_cast<std::uint8_t>(v >> 8));
    o.push_back(static_cast<std::uint8_t>(v));
}
void put32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    put16(o, v >> 16);
    put16(o, v & 0xFFFF);
}
void putTag(std::vector<std::uint8_t>& o, const char* t) { o.insert(o.end(), t, t + 4); }

// COD with the given number of decomposition levels.
void Encoder::codQcd(std::vector<std::uint8_t>& o, int levels) {
    put16(o, 0xFF52);
    put16(o, 12);
    o.push_back(0);                                   // Scod: maximal precincts, no SOP/EPH
    o.push_back(0);                                   // LRCP
    put16(o, static_cast<unsigned>(numLayers_));
    o.push_back(mct_ ? 1 : 0);
    o.push_back(static_cast<std::uint8_t>(levels));
    o.push_back(static_cast<std::uint8_t>(opt_.codeBlockWidthLog2 - 2));
    o.push_back(static_cast<std::uint8_t>(opt_.codeBlockHeightLog2 - 2));
    o.push_back(static_cast<std::uint8_t>(opt_.codeBlockStyle));
    o.push_back(opt_.reversible ? 1 : 0);
}

// QCD from component 0's bands and a QCC for every component that differs.
void Encoder::quantMarkers(std::vector<std::uint8_t>& o, const Tile& t) {
    std::vector<std::vector<std::uint8_t>> params(t.comps.size());
    for (std::size_t c = 0; c < t.comps.size(); ++c) {
        std::vector<std::uint8_t>& q = params[c];
        q.push_back(static_cast<std::uint8_t>((guardBits_ << 5) | (opt_.reversible ? 0 : 2)));
        for (const Resolution& r : t.comps[c].res)
            for (const Band& b : r.bands) {
                if (opt_.reversible) q.push_back(static_cast<std::uint8_t>(b.exponent << 3));
                else put16(q, static_cast<unsigned>((b.exponent << 11) | b.mantissa));
            }
    }
    put16(o, 0xFF5C);
    put16(o, static_cast<unsigned>(2 + params[0].size()));
    o.insert(o.end(), params[0].begin(), params[0].end());
    for (std::size_t c = 1; c < params.size(); ++c) {
        if (params[c] == params[0]) continue;
        put16(o, 0xFF5D);
        put16(o, static_cast<unsigned>(3 + params[c].size()));
        o.push_back(static_cast<std::uint8_t>(c));
        o.insert(o.end(), params[c].begin(), params[c].end());
    }
}

void Encoder::mainHeader(std::vector<std::uint8_t>& o) {
    put16(o, 0xFF4F);
    const int nc = static_cast<int>(pic_.components.size());
    put16(o, 0xFF51);
    put16(o, static_cast<unsigned>(38 + 3 * nc));
    put16(o, 0);  // Rsiz: no profile restriction
    put32(o, static_cast<std::uint32_t>(pic_.x0 + pic_.width));
    put32(o, static_cast<std::uint32_t>(pic_.y0 + pic_.height));
    put32(o, static_cast<std::uint32_t>(pic_.x0));
    put32(o, static_cast<std::uint32_t>(pic_.y0));
    put32(o, static_cast<std::uint32_t>(opt_.tileWidth ? opt_.tileWidth : pic_.width));
    put32(o, static_cast<std::uint32_t>(opt_.tileHeight ? opt_.tileHeight : pic_.height));
    put32(o, static_cast<std::uint32_t>(pic_.x0));
    put32(o, static_cast<std::uint32_t>(pic_.y0));
    put16(o, static_cast<unsigned>(nc));
    for (const Component& c : pic_.components) {
        o.push_back(static_cast<std::uint8_t>((c.isSigned ? 0x80 : 0) | (c.precision - 1)));
        o.push_back(static_cast<std::uint8_t>(c.dx));
        o.push_back(static_cast<std::uint8_t>(c.dy));
    }
    codQcd(o, tiles_[0].levels);
    quantMarkers(o, tiles_[0]);
    static const char comment[] = "zebimg JPEG 2000 encoder";
    put16(o, 0xFF64);
    put16(o, static_cast<unsigned>(4 + sizeof comment - 1));
    put16(o, 1);  // Latin text
    o.insert(o.end(), comment, comment + sizeof comment - 1);
}

// The codestream with the first layersToWrite layers; only its size when out is null.
std::size_t Encoder::assemble(int layersToWrite, std::vector<std::uint8_t>* out) {
    std::vector<std::uint8_t>& o = out ? *out : sizing_;
    o.clear();
    mainHeader(o);
    for (Band* b : allBands_) {
        if (b->blocks.empty()) continue;
        const int Mb = guardBits_ + b->exponent - 1;
        b->inclusion.init(b->ncbx, b->ncby);
        b->zeroPlanes.init(b->ncbx, b->ncby);
        for (int j = 0; j < b->ncby; ++j)
            for (int i = 0; i < b->ncbx; ++i) {
                CodeBlock& cb = b->blocks[std::size_t(j) * b->ncbx + i];
                int first = 1 << 20;
                for (int l = 0; l < layersToWrite; ++l)
                    if (cb.layerPasses[l] > 0) {
                        first = l;
                        break;
                    }
                b->inclusion.setLeaf(i, j, first);
                b->zeroPlanes.setLeaf(i, j, std::max(0, Mb - cb.codedPlanes));
                cb.included = false;
                cb.lblock = 3;
            }
        b->inclusion.finish();
        b->zeroPlanes.finish();
    }
    for (Tile& t : tiles_) {
        const std::size_t sot = o.size();
        put16(o, 0xFF90);
        put16(o, 10);
        put16(o, static_cast<unsigned>(t.index));
        put32(o, 0);  // Psot, patched below
        o.push_back(0);
        o.push_back(1);
        if (t.levels != tiles_[0].levels) {
            codQcd(o, t.levels);
            quantMarkers(o, t);
        }
        put16(o, 0xFF93);
        for (int l = 0; l < layersToWrite; ++l)
            for (int r = 0; r <= t.levels; ++r)
                for (std::size_t c = 0; c < t.comps.size(); ++c) {
                    const Resolution& res = t.comps[c].res[r];
                    if (res.rx1 <= res.rx0 || res.ry1 <= res.ry0) continue;  // no precinct
                    writePacket(t, l, r, static_cast<int>(c), o);
                }
        const std::uint32_t psot = static_cast<std::uint32_t>(o.size() - sot);
        for (int i = 0; i < 4; ++i) o[sot + 6 + i] = static_cast<std::uint8_t>(psot >> (24 - 8 * i));
    }
    put16(o, 0xFFD9);
    return o.size() + (opt_.jp2 ? jp2Overhead() : 0);
}

bool depthsDiffer(const Picture& pic) {
    for (const Component& c : pic.components)
        if (c.precision != pic.components[0].precision || c.isSigned != pic.components[0].isSigned) return true;
    return false;
}

std::size_t Encoder::jp2Overhead() const {
    const std::size_t nc = pic_.components.size();
    return 12 + 20 + 8 + 22 + 15 + (depthsDiffer(pic_) ? 8 + nc : 0) + 8;
}

void wrapJp2(const Picture& pic, const std::vector<std::uint8_t>& cs, std::vector<std::uint8_t>& o) {
    static const std::uint8_t signature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    o.assign(signature, signature + 12);
    put32(o, 20);
    putTag(o, "ftyp");
    putTag(o, "jp2 ");
    put32(o, 0);
    putTag(o, "jp2 ");
    const std::size_t nc = pic.components.size();
    const bool differ = depthsDiffer(pic);
    put32(o, static_cast<std::uint32_t>(8 + 22 + 15 + (differ ? 8 + nc : 0)));
    putTag(o, "jp2h");
    put32(o, 22);
    putTag(o, "ihdr");
    put32(o, static_cast<std::uint32_t>(pic.height));
    put32(o, static_cast<std::uint32_t>(pic.width));
    put16(o, static_cast<unsigned>(nc));
    const Component& c0 = pic.components[0];
    o.push_back(differ ? 0xFF : static_cast<std::uint8_t>((c0.isSigned ? 0x80 : 0) | (c0.precision - 1)));
    o.push_back(7);  // compression type: JPEG 2000
    o.push_back(0);  // colour space known
    o.push_back(0);  // no intellectual property box
    if (differ) {
        put32(o, static_cast<std::uint32_t>(8 + nc));
        putTag(o, "bpcc");
        for (const Component& c : pic.components)
            o.push_back(static_cast<std::uint8_t>((c.isSigned ? 0x80 : 0) | (c.precision - 1)));
    }
    put32(o, 15);
    putTag(o, "colr");
    o.push_back(1);  // enumerated colour space
    o.push_back(0);
    o.push_back(0);
    put32(o, nc >= 3 ? 16 : 17);  // sRGB or greyscale
    put32(o, static_cast<std::uint32_t>(8 + cs.size()));
    putTag(o, "jp2c");
    o.insert(o.end(), cs.begin(), cs.end());
}

bool Encoder::run(std::vector<std::uint8_t>& out, std::string& error) {
    if (!validate(error)) return false;
    setupTiles();
    // One precinct per resolution: no tile-component may cross a multiple of 2^15.
    for (const Tile& t : tiles_)
        for (const TileComponent& tc : t.comps)
            if ((tc.x0 >> 15) != ((tc.x1 - 1) >> 15) || (tc.y0 >> 15) != ((tc.y1 - 1) >> 15))
                return error = "tiles must not cross a multiple of 32768 samples (use --tile)", false;
    for (Tile& t : tiles_) prepareTile(t);
    const int nc = static_cast<int>(pic_.components.size());
    parallelFor(static_cast<int>(tiles_.size()) * nc,
                [&](int i, int) { waveletTile(tiles_[i / nc], i % nc); });
    for (;;) {
        allBands_.clear();
        allBlocks_.clear();
        for (Tile& t : tiles_) setupBands(t);
        codeBlocks();
        if (stepLog2_ == 0 || targetReachable()) break;
        --stepLog2_;  // the coarse steps cannot reach the target: code again, finer
    }
    if (guardBits_ > 7) return error = "the coefficients need more than 7 guard bits", false;
    for (Tile& t : tiles_)
        for (TileComponent& tc : t.comps) SampleVector().swap(tc.buf);
    buildHulls();
    allocateLayers();
    // Every pass kept: the codestream is the code-block data and some headers.
    if (opt_.layerBitsPerPixel.empty() || opt_.layerBitsPerPixel.back() <= 0) {
        std::size_t bytes = 4096;
        for (const CodeBlock* cb : allBlocks_) bytes += cb->data.size() + 16;
        out.reserve(bytes + (opt_.jp2 ? jp2Overhead() : 0));
    }
    if (!opt_.jp2) {
        assemble(numLayers_, &out);
        return true;
    }
    std::vector<std::uint8_t> cs;
    assemble(numLayers_, &cs);
    wrapJp2(pic_, cs, out);
    return true;
}

}  // namespace

bool encode(const Picture& pic, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    Encoder enc(pic, opt);
    out.clear();
    return enc.run(out, error);
}

}  // namespace zebimg::j2k
