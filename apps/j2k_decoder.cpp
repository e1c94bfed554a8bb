// JPEG 2000 Part 1 decoder: JP2 boxes or a raw codestream, main and tile-part
// headers (SIZ COD COC QCD QCC RGN POC PPM PPT; TLM PLM PLT CRG COM skipped),
// the five progression orders with POC, precincts, packet headers (tag trees,
// Lblock, pass counts, codeword segments), SOP/EPH, code-blocks through the
// library's one-shot decoder (concealment of damaged blocks), dequantisation,
// the whole-tile inverse wavelets and the inverse RCT/ICT.
//
// Every read is bounded by the bytes given; every loop is bounded by the
// geometry (which is checked against a sample budget) or by the bits left.
#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <tuple>

#include "j2k_codec.h"
#include "j2k_sample_rows.h"
#include "zeb.h"

namespace zebimg::j2k {
namespace {

constexpr std::int64_t kMaxSamples = std::int64_t(1) << 28;  // decoded samples, all components
constexpr std::int64_t kMaxBlocks = std::int64_t(1) << 21;   // code-blocks and precincts per tile

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }  // a >= 0, b >= 1
std::int64_t ceilShift(std::int64_t a, int s) { return (a + (std::int64_t(1) << s) - 1) >> s; }
int floorLog2(int v) {
    int r = 0;
    while (v > 1) v >>= 1, ++r;
    return r;
}

// Big-endian reads that never leave the bytes; reading past the end yields 0
// and clears `ok`.
struct Cursor {
    const std::uint8_t* p = nullptr;
    std::size_t n = 0, pos = 0;
    bool ok = true;
    std::size_t left() const { return pos < n ? n - pos : 0; }
    unsigned u8() {
        if (pos >= n) {
            ok = false;
            return 0;
        }
        return p[pos++];
    }
    unsigned u16() { return (u8() << 8) | u8(); }
    std::uint32_t u32() { return (std::uint32_t(u16()) << 16) | u16(); }
};

// ---------------------------------------------------------------------------
// Header parameters

struct CompInfo {
    int dx = 1, dy = 1, precision = 8;
    bool isSigned = false;
};

struct Siz {
    std::int64_t x1 = 0, y1 = 0, x0 = 0, y0 = 0, tw = 0, th = 0, tx0 = 0, ty0 = 0;
    int ntx = 0, nty = 0;
    std::vector<CompInfo> comps;
};

struct CompStyle {
    int levels = 5, cbw = 6, cbh = 6, cbStyle = 0;
    bool reversible = true;
    std::uint8_t pp[33];  // PPx in the low nibble, PPy in the high one, per resolution
    CompStyle() { std::memset(pp, 0xFF, sizeof pp); }
};

struct Cod {
    int order = 0, layers = 1, mct = 0;
    bool sop = false, eph = false;
    CompStyle cs;
};

struct Quant {
    int guard = 2, style = 0;
    std::vector<std::uint16_t> v;  // style 0: exponent; else exponent << 11 | mantissa
};

struct Poc {
    int rs, cs, lye, re, ce, order;
};

struct Params {
    bool hasCod = false, hasQcd = false;
    Cod cod;
    Quant qcd;
    std::vector<std::uint8_t> hasCoc, hasQcc, hasRgn;
    std::vector<CompStyle> coc;
    std::vector<Quant> qcc;
    std::vector<int> rgn;
    std::vector<Poc> pocs;
    void resize(int nc) {
        hasCoc.assign(nc, 0), hasQcc.assign(nc, 0), hasRgn.assign(nc, 0);
        coc.resize(nc), qcc.resize(nc), rgn.assign(nc, 0);
    }
};

bool readCompStyle(Cursor& c, bool precincts, CompStyle& cs, std::string& err) {
    cs.levels = c.u8();
    cs.cbw = c.u8() + 2;
    cs.cbh = c.u8() + 2;
    cs.cbStyle = c.u8();
    const unsigned t = c.u8();
    if (cs.levels > 32 || cs.cbw > 10 || cs.cbh > 10 || cs.cbw + cs.cbh > 12 || t > 1 || (cs.cbStyle & 0xC0)) {
        err = "invalid or unsupported coding style (levels, code-block size or style, wavelet)";
        return false;
    }
    cs.reversible = t == 1;
    for (int r = 0; r <= cs.levels; ++r) {
        cs.pp[r] = precincts ? std::uint8_t(c.u8()) : 0xFF;
        if (precincts && r > 0 && ((cs.pp[r] & 15) == 0 || (cs.pp[r] >> 4) == 0)) {
            err = "invalid precinct size";
            return false;
        }
    }
    if (!c.ok) err = "truncated coding style";
    return c.ok;
}

bool readQuant(Cursor& c, Quant& q, std::string& err) {
    const unsigned s = c.u8();
    q.guard = s >> 5;
    q.style = s & 31;
    if (q.style > 2) {
        err = "invalid quantisation style";
        return false;
    }
    q.v.clear();
    while (c.left() >= (q.style == 0 ? 1u : 2u)) {
        q.v.push_back(std::uint16_t(q.style == 0 ? c.u8() >> 3 : c.u16()));
        if (q.style == 1) break;
    }
    if (q.v.empty()) err = "quantisation marker without values";
    return !q.v.empty();
}

struct Streams {
    std::vector<std::pair<int, std::vector<std::uint8_t>>> ppm;  // (Zppm, data)
    std::vector<std::pair<int, std::vector<std::uint8_t>>>* ppt = nullptr;
};

// One marker segment (its bytes after the length field) of a main or tile-part header.
bool parseSegment(unsigned marker, Cursor c, const Siz& siz, Params& p, Streams& s, bool mainHeader,
                  std::string& err) {
    const int nc = int(siz.comps.size());
    auto compIndex = [&](Cursor& cc) { return int(nc < 257 ? cc.u8() : cc.u16()); };
    switch (marker) {
    case 0xFF52: {  // COD
        const unsigned scod = c.u8();
        Cod cod;
        cod.sop = scod & 2;
        cod.eph = scod & 4;
        cod.order = c.u8();
        cod.layers = c.u16();
        cod.mct = c.u8();
        if (cod.order > 4 || cod.layers < 1) {
            err = "invalid COD progression order or layer count";
            return false;
        }
        if (!readCompStyle(c, scod & 1, cod.cs, err)) return false;
        p.cod = cod;
        p.hasCod = true;
        return true;
    }
    case 0xFF53: {  // COC
        const int ci = compIndex(c);
        const unsigned scoc = c.u8();
        if (ci >= nc) {
            err = "COC for a missing component";
            return false;
        }
        if (!readCompStyle(c, scoc & 1, p.coc[ci], err)) return false;
        p.hasCoc[ci] = 1;
        return true;
    }
    case 0xFF5C:  // QCD
        p.hasQcd = true;
        return readQuant(c, p.qcd, err);
    case 0xFF5D: {  // QCC
        const int ci = compIndex(c);
        if (ci >= nc) {
            err = "QCC for a missing component";
            return false;
        }
        p.hasQcc[ci] = 1;
        return readQuant(c, p.qcc[ci], err);
    }
    case 0xFF5E: {  // RGN
        const int ci = compIndex(c);
        const unsigned style = c.u8(), shift = c.u8();
        if (ci >= nc || style != 0 || !c.ok) {
            err = "invalid RGN marker";
            return false;
        }
        p.rgn[ci] = int(shift);
        p.hasRgn[ci] = 1;
        return true;
    }
    case 0xFF5F: {  // POC
        const unsigned entry = nc < 257 ? 7 : 9;
        if (c.left() < entry) {
            err = "empty POC marker";
            return false;
        }
        while (c.left() >= entry) {
            Poc q;
            q.rs = c.u8();
            q.cs = compIndex(c);
            q.lye = c.u16();
            q.re = c.u8();
            q.ce = compIndex(c);
            if (q.ce == 0 && nc < 257) q.ce = 256;
            q.order = c.u8();
            if (q.order > 4) {
                err = "invalid POC progression order";
                return false;
            }
            p.pocs.push_back(q);
        }
        return true;
    }
    case 0xFF60:  // PPM
    case 0xFF61: {  // PPT
        if ((marker == 0xFF60) != mainHeader || c.left() < 1) {
            err = "misplaced or empty PPM/PPT marker";
            return false;
        }
        const int z = c.u8();
        auto& list = marker == 0xFF60 ? s.ppm : *s.ppt;
        list.emplace_back(z, std::vector<std::uint8_t>(c.p + c.pos, c.p + c.n));
        return true;
    }
    default:  // TLM PLM PLT CRG COM and anything unknown: skipped
        return true;
    }
}

// ---------------------------------------------------------------------------
// Packet headers

// Bits of a packet header: after a 0xFF byte only 7 bits of the next byte are used.
struct BitIn {
    const std::uint8_t* p;
    std::size_t n, pos;
    unsigned buf = 0;
    int ct = 0;
    bool over = false;
    void byteIn() {
        buf = (buf << 8) & 0xFFFF;
        ct = buf == 0xFF00 ? 7 : 8;
        if (pos < n) buf |= p[pos];
        else over = true;
        ++pos;
    }
    int bit() {
        if (ct == 0) byteIn();
        --ct;
        return (buf >> ct) & 1;
    }
    int bits(int k) {
        int v = 0;
        while (k-- > 0) v = (v << 1) | bit();
        return v;
    }
    void align() {
        if ((buf & 0xFF) == 0xFF) byteIn();
        ct = 0;
    }
};

struct TagTree {
    struct Node {
        int parent, value, low;
    };
    std::vector<Node> nodes;
    void init(int w, int h) {
        nodes.clear();
        if (w <= 0 || h <= 0) return;
        int start = 0;
        for (;;) {
            const int pw = (w + 1) / 2, ph = (h + 1) / 2;
            const bool root = w == 1 && h == 1;
            const int next = start + w * h;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) nodes.push_back({root ? -1 : next + (y / 2) * pw + x / 2, INT_MAX, 0});
            if (root) break;
            start = next;
            w = pw, h = ph;
        }
    }
    // True when the leaf's value is below the threshold.
    bool decode(BitIn& b, int leaf, int threshold) {
        int stack[64], sp = 0, node = leaf;
        while (nodes[node].parent >= 0 && sp < 64) stack[sp++] = node, node = nodes[node].parent;
        int low = 0;
        for (;;) {
            Node& nd = nodes[node];
            if (low > nd.low) nd.low = low;
            else low = nd.low;
            while (low < threshold && low < nd.value && !b.over) {
                if (b.bit()) nd.value = low;
                else ++low;
            }
            nd.low = low;
            if (sp == 0) break;
            node = stack[--sp];
        }
        return nodes[node].value < threshold;
    }
};

int numPasses(BitIn& b) {
    if (!b.bit()) return 1;
    if (!b.bit()) return 2;
    int n = b.bits(2);
    if (n != 3) return 3 + n;
    n = b.bits(5);
    if (n != 31) return 6 + n;
    return 37 + b.bits(7);
}

// Passes from pass `done` to the end of its codeword segment.
int passesLeftInSegment(int cbStyle, int done) {
    if (cbStyle & 4) return 1;  // terminate every pass
    if (cbStyle & 1) {          // bypass: 10 MQ passes, then raw (2) and MQ (1) segments
        if (done < 10) return 10 - done;
        const int k = (done - 10) % 3;
        return k < 2 ? 2 - k : 1;
    }
    return INT_MAX / 2;
}
bool startsSegment(int cbStyle, int done) {
    return done == 0 || passesLeftInSegment(cbStyle, done - 1) == 1;
}

// ---------------------------------------------------------------------------
// Tile structures

struct CodeBlock {
    int x0, y0, x1, y1;  // band coordinates
    int lblock = 3, zbp = 0, passes = 0, usePasses = 0;
    bool included = false;
    // The block's bytes: `length` bytes at `offset` in the tile body while
    // they came in one piece, else copied together into `data`.
    bool copied = false;
    std::size_t offset = 0, length = 0;
    std::vector<std::uint8_t> data;
    std::vector<int> segs;
};

struct PrecinctBand {
    int nw = 0, nh = 0;
    TagTree incl, zbp;
    std::vector<CodeBlock> blocks;
};

struct Band {
    std::int64_t x0, y0, x1, y1;
    int orient;  // library sub-band code: 0 LL, 1 LH, 2 HL, 3 HH
    int offX, offY;
    int mb;
    double delta;
};

struct Resolution {
    std::int64_t x0, y0, x1, y1;
    int ppx, ppy, pw = 0, ph = 0, nbands;
    std::int64_t px0, py0;  // first precinct index on the resolution grid
    Band bands[3];
    std::vector<PrecinctBand> prec;  // nbands per precinct
    std::vector<int> nextLayer;
};

struct TileComp {
    std::int64_t x0, y0, x1, y1;
    CompStyle cs;
    Quant q;
    int roi = 0, maxRes = 0;
    std::vector<Resolution> res;
    SampleVector buf;  // the tile-component at resolution maxRes
    int bw = 0, bh = 0;
};

struct TilePart {
    int index, order;  // TPsot; position among all tile-parts (the PPM chunk)
    std::size_t start, len;
};

struct Tile {
    bool present = false;
    Params params;
    std::vector<TilePart> parts;
    std::vector<std::pair<int, std::vector<std::uint8_t>>> ppt;  // (Zppt, data)
};

struct PacketEntry {
    int r, c, p;
    std::int64_t y, x;
};

// ---------------------------------------------------------------------------

class Decoder {
public:
    Decoder(const DecodeOptions& opt, std::string& err) : opt_(opt), err_(err) {}
    bool run(const std::uint8_t* data, std::size_t size, Picture& pic);

private:
    bool fail(const char* msg) {
        if (err_.empty()) err_ = msg;
        return false;
    }
    bool readHeaders(Cursor& c);
    bool decodeTile(int t, Picture& pic);
    bool buildTileComp(int t, int c, const std::int64_t tr[4], TileComp& tc);
    bool readPackets(const Tile& tile, std::vector<TileComp>& comps, const Cod& cod, const std::uint8_t* body,
                     std::size_t bodyLen, std::vector<std::uint8_t>& hdr, bool separateHeaders);
    void addBytes(CodeBlock& cb, std::size_t len);
    const std::uint8_t* blockBytes(const CodeBlock& cb) const {
        static const std::uint8_t none = 0;
        return cb.length == 0 ? &none : cb.copied ? cb.data.data() : body_ + cb.offset;
    }
    bool readPacket(TileComp& tc, int l, int r, int p);
    bool decodeBlocks(std::vector<TileComp>& comps);
    int decodeBlock(TileComp& tc, const Band& B, CodeBlock& cb, std::vector<std::uint64_t>& work);
    bool decodeRawPadded(const CodeBlock& cb, std::int32_t* dst, int stride, ZebSize size, int orient, int sf,
                         int passes, int flags, std::vector<std::uint64_t>& work);
    void transformAndStore(std::vector<TileComp>& comps, const Cod& cod, Picture& pic);

    const DecodeOptions& opt_;
    std::string& err_;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    Siz siz_;
    Params main_;
    Streams streams_;
    std::vector<Tile> tiles_;
    std::vector<std::vector<std::uint8_t>> ppmChunks_;
    // Packet reading state of the current tile.
    const std::uint8_t* body_ = nullptr;
    std::size_t bodyLen_ = 0, bodyPos_ = 0;
    const std::uint8_t* hdr_ = nullptr;
    std::size_t hdrLen_ = 0, hdrPos_ = 0;
    bool separate_ = false, sop_ = false, eph_ = false;
    struct Pending {
        CodeBlock* cb;
        int len, passes;
        bool newSeg;
    };
    std::vector<Pending> pending_;
    std::int64_t tileX0_ = 0, tileY0_ = 0;
    // Sample storage of the picture decoded into before, reused for the tile
    // buffers: decoding frame after frame into one picture then touches no
    // fresh memory.
    std::vector<SampleVector> spare_;
};

bool unwrapJp2(const std::uint8_t*& data, std::size_t& size, std::string& err) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0x4F) return true;
    Cursor c{data, size};
    bool signature = false;
    while (c.left() >= 8) {
        const std::size_t start = c.pos;
        std::uint64_t len = c.u32();
        const std::uint32_t type = c.u32();
        std::size_t hdr = 8;
        if (len == 1) {
            if (c.left() < 8) break;
            len = (std::uint64_t(c.u32()) << 32) | c.u32();
            hdr = 16;
        } else if (len == 0) {
            len = size - start;
        }
        if (len < hdr || len > size - start) {
            err = "damaged JP2 box";
            return false;
        }
        if (type == 0x6A502020) signature = true;  // 'jP  '
        if (type == 0x6A703263) {                  // 'jp2c'
            if (!signature) break;
            data += start + hdr;
            size = std::size_t(len - hdr);
            return true;
        }
        c.pos = start + std::size_t(len);
    }
    err = "not a JPEG 2000 codestream or JP2 file (no contiguous codestream box)";
    return false;
}

bool Decoder::readHeaders(Cursor& c) {
    if (c.u16() != 0xFF4F || c.u16() != 0xFF51) return fail("missing SOC/SIZ at the start of the codestream");
    // SIZ
    const unsigned lsiz = c.u16();
    if (lsiz < 41 || c.left() < lsiz - 2) return fail("truncated SIZ marker");
    c.u16();  // Rsiz
    siz_.x1 = c.u32(), siz_.y1 = c.u32(), siz_.x0 = c.u32(), siz_.y0 = c.u32();
    siz_.tw = c.u32(), siz_.th = c.u32(), siz_.tx0 = c.u32(), siz_.ty0 = c.u32();
    const int nc = int(c.u16());
    if (nc < 1 || nc > 16384 || lsiz != 38u + 3u * nc) return fail("invalid SIZ component count");
    if (siz_.x1 > INT_MAX || siz_.y1 > INT_MAX) return fail("image coordinates beyond 2^31 are not supported");
    if (siz_.x1 <= siz_.x0 || siz_.y1 <= siz_.y0 || siz_.tw < 1 || siz_.th < 1 || siz_.tx0 > siz_.x0 ||
        siz_.ty0 > siz_.y0 || siz_.tx0 + siz_.tw <= siz_.x0 || siz_.ty0 + siz_.th <= siz_.y0)
        return fail("invalid SIZ image or tile geometry");
    siz_.comps.resize(nc);
    std::int64_t samples = 0;
    for (CompInfo& ci : siz_.comps) {
        const unsigned s = c.u8();
        ci.precision = int(s & 0x7F) + 1;
        ci.isSigned = s & 0x80;
        ci.dx = int(c.u8());
        ci.dy = int(c.u8());
        if (ci.precision > 24 || ci.dx < 1 || ci.dy < 1) return fail("unsupported component precision or sampling");
        samples += (ceilDiv(siz_.x1, ci.dx) - ceilDiv(siz_.x0, ci.dx)) * (ceilDiv(siz_.y1, ci.dy) - ceilDiv(siz_.y0, ci.dy));
        if (samples > kMaxSamples) return fail("image too large");
    }
    const std::int64_t ntx = ceilDiv(siz_.x1 - siz_.tx0, siz_.tw), nty = ceilDiv(siz_.y1 - siz_.ty0, siz_.th);
    if (ntx * nty > 65535) return fail("too many tiles");
    siz_.ntx = int(ntx), siz_.nty = int(nty);
    main_.resize(nc);
    // Main header up to the first SOT.
    for (;;) {
        if (c.left() < 4) return fail("truncated main header");
        const unsigned m = c.u16();
        if (m == 0xFF90) break;
        if (m < 0xFF30) return fail("damaged main header (no marker)");
        if (m <= 0xFF3F) continue;  // reserved markers without a segment
        const unsigned len = c.u16();
        if (len < 2 || c.left() < len - 2) return fail("truncated main header marker segment");
        Cursor seg{c.p + c.pos, len - 2};
        if (!parseSegment(m, seg, siz_, main_, streams_, true, err_)) return false;
        c.pos += len - 2;
    }
    if (!main_.hasCod || !main_.hasQcd) return fail("main header without COD or QCD");
    c.pos -= 2;
    // Tile-parts.
    tiles_.assign(std::size_t(ntx * nty), Tile{});
    int order = 0;
    while (c.left() >= 2) {
        const std::size_t sot = c.pos;
        const unsigned m = c.u16();
        if (m == 0xFFD9) break;  // EOC
        if (m != 0xFF90 || c.left() < 10 || c.u16() != 10) break;  // damaged: decode what came so far
        const int isot = int(c.u16());
        std::uint64_t psot = c.u32();
        const int tpsot = int(c.u8());
        c.u8();  // TNsot
        if (isot >= int(tiles_.size())) break;
        if (psot == 0) psot = size_ - sot;
        const std::size_t end = std::size_t(std::min<std::uint64_t>(psot, size_ - sot)) + sot;
        Tile& tile = tiles_[isot];
        if (!tile.present) tile.params.resize(nc);
        tile.present = true;
        Streams ts;
        ts.ppt = &tile.ppt;
        bool sod = false;
        while (c.pos + 2 <= end) {
            const unsigned tm = c.u16();
            if (tm == 0xFF93) {
                sod = true;
                break;
            }
            if (tm < 0xFF30) break;
            if (tm <= 0xFF3F) continue;
            if (c.pos + 2 > end) break;
            const unsigned len = c.u16();
            if (len < 2 || c.pos + len - 2 > end) break;
            Cursor seg{c.p + c.pos, len - 2};
            if (!parseSegment(tm, seg, siz_, tile.params, ts, false, err_)) return false;
            c.pos += len - 2;
        }
        if (!sod) break;
        tile.parts.push_back({tpsot, order++, c.pos, end - c.pos});
        c.pos = end;
    }
    // PPM: the concatenated marker data is a series of (Nppm, packet headers of one tile-part).
    if (!streams_.ppm.empty()) {
        std::stable_sort(streams_.ppm.begin(), streams_.ppm.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::uint8_t> all;
        for (auto& s : streams_.ppm) all.insert(all.end(), s.second.begin(), s.second.end());
        Cursor pc{all.data(), all.size()};
        while (pc.left() >= 4) {
            const std::uint32_t nppm = pc.u32();
            const std::size_t take = std::min<std::size_t>(nppm, pc.left());
            ppmChunks_.emplace_back(all.begin() + pc.pos, all.begin() + pc.pos + take);
            pc.pos += take;
        }
    }
    return true;
}

// Samples of tiles that are missing from the codestream: mid-grey (zero
// before the level shift).
void fillMissing(Component& comp) {
    comp.samples.assign(std::size_t(comp.width) * comp.height, comp.isSigned ? 0 : 1 << (comp.precision - 1));
}

bool Decoder::run(const std::uint8_t* data, std::size_t size, Picture& pic) {
    if (!unwrapJp2(data, size, err_)) return false;
    data_ = data, size_ = size;
    Cursor c{data, size};
    if (!readHeaders(c)) return false;
    const int red = opt_.reduce;
    if (red < 0 || red > 32) return fail("invalid resolution reduction");
    for (Component& comp : pic.components)
        if (comp.samples.capacity() != 0) spare_.push_back(std::move(comp.samples));
    pic = Picture{};
    pic.x0 = int(ceilShift(siz_.x0, red));
    pic.y0 = int(ceilShift(siz_.y0, red));
    pic.width = int(ceilShift(siz_.x1, red) - pic.x0);
    pic.height = int(ceilShift(siz_.y1, red) - pic.y0);
    pic.components.resize(siz_.comps.size());
    for (std::size_t i = 0; i < siz_.comps.size(); ++i) {
        const CompInfo& ci = siz_.comps[i];
        Component& comp = pic.components[i];
        comp.dx = ci.dx, comp.dy = ci.dy, comp.precision = ci.precision, comp.isSigned = ci.isSigned;
        comp.width = int(ceilShift(ceilDiv(siz_.x1, ci.dx), red) - ceilShift(ceilDiv(siz_.x0, ci.dx), red));
        comp.height = int(ceilShift(ceilDiv(siz_.y1, ci.dy), red) - ceilShift(ceilDiv(siz_.y0, ci.dy), red));
    }
    bool any = false;
    for (int t = 0; t < int(tiles_.size()); ++t) {
        if (!tiles_[t].present) continue;
        any = true;
        if (!decodeTile(t, pic)) return false;
    }
    if (!any) return fail("codestream without tile data");
    for (Component& comp : pic.components)
        if (comp.samples.empty()) fillMissing(comp);
    return true;
}

// Geometry, coding style and quantisation of one tile-component.
bool Decoder::buildTileComp(int t, int c, const std::int64_t tr[4], TileComp& tc) {
    const Tile& tile = tiles_[t];
    const Params& tp = tile.params;
    const CompInfo& ci = siz_.comps[c];
    tc.cs = tp.hasCoc[c] ? tp.coc[c] : tp.hasCod ? tp.cod.cs : main_.hasCoc[c] ? main_.coc[c] : main_.cod.cs;
    tc.q = tp.hasQcc[c] ? tp.qcc[c] : tp.hasQcd ? tp.qcd : main_.hasQcc[c] ? main_.qcc[c] : main_.qcd;
    tc.roi = tp.hasRgn[c] ? tp.rgn[c] : main_.rgn[c];
    tc.x0 = ceilDiv(tr[0], ci.dx), tc.y0 = ceilDiv(tr[1], ci.dy);
    tc.x1 = ceilDiv(tr[2], ci.dx), tc.y1 = ceilDiv(tr[3], ci.dy);
    const int nl = tc.cs.levels;
    if (opt_.reduce > nl) return fail("resolution reduction exceeds the decomposition levels");
    tc.maxRes = nl - opt_.reduce;
    tc.res.resize(nl + 1);
    std::int64_t blocks = 0;
    for (int r = 0; r <= nl; ++r) {
        Resolution& R = tc.res[r];
        const int s = nl - r;
        R.x0 = ceilShift(tc.x0, s), R.y0 = ceilShift(tc.y0, s), R.x1 = ceilShift(tc.x1, s), R.y1 = ceilShift(tc.y1, s);
        R.ppx = tc.cs.pp[r] & 15, R.ppy = tc.cs.pp[r] >> 4;
        R.px0 = R.x0 >> R.ppx, R.py0 = R.y0 >> R.ppy;
        if (R.x1 > R.x0 && R.y1 > R.y0) {
            R.pw = int(ceilShift(R.x1, R.ppx) - R.px0);
            R.ph = int(ceilShift(R.y1, R.ppy) - R.py0);
        }
        R.nbands = r == 0 ? 1 : 3;
        const int nb = r == 0 ? nl : nl - r + 1;  // decomposition level of the resolution's bands
        for (int b = 0; b < R.nbands; ++b) {
            Band& B = R.bands[b];
            const int xob = r == 0 ? 0 : (b == 0 || b == 2), yob = r == 0 ? 0 : (b == 1 || b == 2);
            B.orient = r == 0 ? 0 : b == 0 ? 2 : b == 1 ? 1 : 3;
            if (nb == 0) {
                B.x0 = tc.x0, B.y0 = tc.y0, B.x1 = tc.x1, B.y1 = tc.y1;
            } else {
                const std::int64_t ox = std::int64_t(xob) << (nb - 1), oy = std::int64_t(yob) << (nb - 1);
                B.x0 = ceilShift(tc.x0 - ox, nb), B.y0 = ceilShift(tc.y0 - oy, nb);
                B.x1 = ceilShift(tc.x1 - ox, nb), B.y1 = ceilShift(tc.y1 - oy, nb);
            }
            B.offX = xob ? int(tc.res[r - 1].x1 - tc.res[r - 1].x0) : 0;
            B.offY = yob ? int(tc.res[r - 1].y1 - tc.res[r - 1].y0) : 0;
            // Quantisation: exponent and mantissa of this band.
            const int idx = r == 0 ? 0 : 1 + 3 * (r - 1) + b;
            int eps, mu = 0;
            if (tc.q.style == 1) {
                eps = (tc.q.v[0] >> 11) - (r == 0 ? 0 : r - 1);
                mu = tc.q.v[0] & 0x7FF;
            } else {
                if (idx >= int(tc.q.v.size())) return fail("quantisation values missing for a sub-band");
                eps = tc.q.style == 0 ? tc.q.v[idx] : tc.q.v[idx] >> 11;
                mu = tc.q.style == 0 ? 0 : tc.q.v[idx] & 0x7FF;
            }
            B.mb = tc.q.guard + eps - 1;
            const int gain = B.orient == 0 ? 0 : B.orient == 3 ? 2 : 1;
            B.delta = std::ldexp(1.0 + mu / 2048.0, ci.precision + gain - eps);
        }
    }
    // Code-blocks of every precinct (all resolutions: packets of discarded
    // resolutions are parsed too).
    for (int r = 0; r <= nl; ++r) {
        Resolution& R = tc.res[r];
        blocks += std::int64_t(R.pw) * R.ph;
        if (blocks > kMaxBlocks) return fail("too many precincts");
        R.prec.resize(std::size_t(R.pw) * R.ph * R.nbands);
        R.nextLayer.assign(std::size_t(R.pw) * R.ph, 0);
        const int cbw = std::min(tc.cs.cbw, r == 0 ? R.ppx : R.ppx - 1);
        const int cbh = std::min(tc.cs.cbh, r == 0 ? R.ppy : R.ppy - 1);
        for (int pj = 0; pj < R.ph; ++pj)
            for (int pi = 0; pi < R.pw; ++pi)
                for (int b = 0; b < R.nbands; ++b) {
                    const Band& B = R.bands[b];
                    PrecinctBand& pb = R.prec[(std::size_t(pj) * R.pw + pi) * R.nbands + b];
                    const int sh = r == 0 ? 0 : 1;
                    std::int64_t x0 = ((R.px0 + pi) << R.ppx) >> sh, y0 = ((R.py0 + pj) << R.ppy) >> sh;
                    std::int64_t x1 = x0 + (std::int64_t(1) << (R.ppx - sh)), y1 = y0 + (std::int64_t(1) << (R.ppy - sh));
                    x0 = std::max(x0, B.x0), y0 = std::max(y0, B.y0), x1 = std::min(x1, B.x1), y1 = std::min(y1, B.y1);
                    if (x1 <= x0 || y1 <= y0) continue;
                    const std::int64_t gx0 = x0 >> cbw, gy0 = y0 >> cbh;
                    pb.nw = int(ceilShift(x1, cbw) - gx0), pb.nh = int(ceilShift(y1, cbh) - gy0);
                    blocks += std::int64_t(pb.nw) * pb.nh;
                    if (blocks > kMaxBlocks) return fail("too many code-blocks");
                    pb.incl.init(pb.nw, pb.nh);
                    pb.zbp.init(pb.nw, pb.nh);
                    pb.blocks.resize(std::size_t(pb.nw) * pb.nh);
                    for (int j = 0; j < pb.nh; ++j)
                        for (int i = 0; i < pb.nw; ++i) {
                            CodeBlock& cb = pb.blocks[std::size_t(j) * pb.nw + i];
                            cb.x0 = int(std::max(x0, (gx0 + i) << cbw) - B.x0);
                            cb.y0 = int(std::max(y0, (gy0 + j) << cbh) - B.y0);
                            cb.x1 = int(std::min(x1, (gx0 + i + 1) << cbw) - B.x0);
                            cb.y1 = int(std::min(y1, (gy0 + j + 1) << cbh) - B.y0);
                        }
                }
    }
    return true;
}

bool Decoder::readPacket(TileComp& tc, int l, int r, int p) {
    Resolution& R = tc.res[r];
    pending_.clear();
    if (sop_ && bodyLen_ - bodyPos_ >= 6 && body_[bodyPos_] == 0xFF && body_[bodyPos_ + 1] == 0x91) bodyPos_ += 6;
    BitIn b{separate_ ? hdr_ : body_, separate_ ? hdrLen_ : bodyLen_, separate_ ? hdrPos_ : bodyPos_};
    if (b.pos >= b.n) return false;  // no data left for this packet
    if (b.bit()) {
        for (int bi = 0; bi < R.nbands; ++bi) {
            PrecinctBand& pb = R.prec[std::size_t(p) * R.nbands + bi];
            const int nblk = pb.nw * pb.nh;
            for (int k = 0; k < nblk && !b.over; ++k) {
                CodeBlock& cb = pb.blocks[k];
                const bool inc = cb.included ? b.bit() : pb.incl.decode(b, k, l + 1);
                if (!inc) continue;
                if (!cb.included) {
                    int i = 1;
                    while (!pb.zbp.decode(b, k, i) && i < 64 && !b.over) ++i;
                    cb.zbp = i - 1;
                    cb.included = true;
                }
                const int passes = numPasses(b);
                int more = 0;
                while (b.bit() && !b.over)
                    if (++more > 32) return fail("damaged packet header (Lblock)");
                cb.lblock += more;
                if (cb.passes + passes > 3 * 40) return fail("damaged packet header (too many passes)");
                int done = cb.passes, left = passes;
                while (left > 0) {
                    const int m = std::min(left, passesLeftInSegment(tc.cs.cbStyle, done));
                    const int nbits = cb.lblock + floorLog2(m);
                    if (nbits > 31) return fail("damaged packet header (segment length)");
                    pending_.push_back({&cb, b.bits(nbits), m, startsSegment(tc.cs.cbStyle, done)});
                    done += m, left -= m;
                }
                cb.passes += passes;
            }
        }
    }
    b.align();
    if (b.over) return false;
    std::size_t hp = b.pos;
    const std::uint8_t* h = separate_ ? hdr_ : body_;
    const std::size_t hn = separate_ ? hdrLen_ : bodyLen_;
    if (eph_ && hn - hp >= 2 && h[hp] == 0xFF && h[hp + 1] == 0x92) hp += 2;
    if (separate_) hdrPos_ = hp;
    else bodyPos_ = hp;
    const bool keep = (opt_.maxLayers <= 0 || l < opt_.maxLayers) && r <= tc.maxRes;
    for (const Pending& pd : pending_) {
        const std::size_t avail = bodyLen_ - bodyPos_;
        const std::size_t len = std::min<std::size_t>(std::size_t(pd.len), avail);
        if (keep) {
            CodeBlock& cb = *pd.cb;
            addBytes(cb, len);
            if (pd.newSeg || cb.segs.empty()) cb.segs.push_back(int(len));
            else cb.segs.back() += int(len);
            cb.usePasses += pd.passes;
        }
        bodyPos_ += len;
        if (len < std::size_t(pd.len)) return false;  // truncated: the rest of the tile is missing
    }
    return true;
}

// The next len bytes of the body join the block's bytes: by reference while
// they continue the block's single piece, by copy once there are two pieces.
void Decoder::addBytes(CodeBlock& cb, std::size_t len) {
    if (len == 0) return;
    if (cb.length == 0 && !cb.copied) {
        cb.offset = bodyPos_;
    } else if (!cb.copied && cb.offset + cb.length != bodyPos_) {
        cb.data.assign(body_ + cb.offset, body_ + cb.offset + cb.length);
        cb.copied = true;
    }
    if (cb.copied) cb.data.insert(cb.data.end(), body_ + bodyPos_, body_ + bodyPos_ + len);
    cb.length += len;
}

bool Decoder::readPackets(const Tile& tile, std::vector<TileComp>& comps, const Cod& cod, const std::uint8_t* body,
                          std::size_t bodyLen, std::vector<std::uint8_t>& hdr, bool separateHeaders) {
    body_ = body, bodyLen_ = bodyLen, bodyPos_ = 0;
    hdr_ = hdr.data(), hdrLen_ = hdr.size(), hdrPos_ = 0;
    separate_ = separateHeaders;
    sop_ = cod.sop, eph_ = cod.eph;
    std::vector<Poc> pocs = !tile.params.pocs.empty() ? tile.params.pocs : main_.pocs;
    const int nc = int(comps.size());
    int maxResAll = 0;
    for (const TileComp& tc : comps) maxResAll = std::max(maxResAll, tc.cs.levels + 1);
    if (pocs.empty()) pocs.push_back({0, 0, cod.layers, maxResAll, nc, cod.order});
    std::vector<PacketEntry> entries;
    // Every packet read takes at least one header bit; skipped (already read)
    // packets are bounded by this budget too.
    std::int64_t budget = 64 * std::int64_t(bodyLen_ + hdrLen_) + 100000;
    for (const Poc& poc : pocs) {
        entries.clear();
        const int lye = std::min(poc.lye, cod.layers);
        for (int c = poc.cs; c < std::min(poc.ce, nc); ++c) {
            const TileComp& tc = comps[c];
            const CompInfo& ci = siz_.comps[c];
            for (int r = poc.rs; r < std::min(poc.re, tc.cs.levels + 1); ++r) {
                const Resolution& R = tc.res[r];
                const int s = tc.cs.levels - r;
                for (int pj = 0; pj < R.ph; ++pj)
                    for (int pi = 0; pi < R.pw; ++pi) {
                        // Reference-grid position at which the precinct is first met.
                        const std::int64_t x = std::max(tileX0_, ((R.px0 + pi) << R.ppx << s) * ci.dx);
                        const std::int64_t y = std::max(tileY0_, ((R.py0 + pj) << R.ppy << s) * ci.dy);
                        entries.push_back({r, c, pj * R.pw + pi, y, x});
                    }
            }
        }
        const int order = poc.order;
        auto key = [&](const PacketEntry& e) {
            switch (order) {
            case 0: return std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>(0, e.r, e.c, e.p);
            case 1: return std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>(e.r, 0, e.c, e.p);
            case 2: return std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>(e.r, e.y, e.x, e.c);
            case 3: return std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>(e.y, e.x, e.c, e.r);
            default: return std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>(e.c, e.y, e.x, e.r);
            }
        };
        std::stable_sort(entries.begin(), entries.end(),
                         [&](const PacketEntry& a, const PacketEntry& b) { return key(a) < key(b); });
        // Groups of entries inside which the layer loop runs outermost.
        std::size_t g0 = 0;
        while (g0 < entries.size()) {
            std::size_t g1 = g0 + 1;
            if (order == 0) g1 = entries.size();
            else if (order == 1)
                while (g1 < entries.size() && entries[g1].r == entries[g0].r) ++g1;
            for (int l = 0; l < lye; ++l)
                for (std::size_t i = g0; i < g1; ++i) {
                    const PacketEntry& e = entries[i];
                    TileComp& tc = comps[e.c];
                    int& next = tc.res[e.r].nextLayer[e.p];
                    if (--budget < 0) return true;
                    if (l < next) continue;
                    next = l + 1;
                    if (!readPacket(tc, l, e.r, e.p)) return err_.empty();
                }
            g0 = g1;
        }
    }
    return true;
}

int blockFlags(int style, bool conceal) {
    int flags = ZEB_CB_KEEP_LOW_BITS | (conceal ? ZEB_CB_CONCEAL : 0);
    if (style & 0x01) flags |= ZEB_CB_BYPASS;
    if (style & 0x02) flags |= ZEB_CB_RESET_CTX;
    if (style & 0x04) flags |= ZEB_CB_TERM_ALL;
    if (style & 0x08) flags |= ZEB_CB_CAUSAL;
    if ((style & 0x14) == 0x14) flags |= ZEB_CB_CHECK_PTERM;
    if (style & 0x20) flags |= ZEB_CB_SEGMARK;
    return flags;
}

// Decodes one code-block into its place in the tile-component and turns the
// sign-magnitude words (one extra low bit: half steps) into coefficients:
// ROI de-scaling, then dequantisation.  Returns 0, or 1 for damaged data that
// may not be concealed.
int Decoder::decodeBlock(TileComp& tc, const Band& B, CodeBlock& cb, std::vector<std::uint64_t>& work) {
    const int w = cb.x1 - cb.x0, h = cb.y1 - cb.y0, stride = tc.bw;
    const int sf = B.mb + tc.roi - cb.zbp;
    if (sf < 1 || sf > 30) return opt_.conceal ? 0 : 1;
    const int passes = std::min(cb.usePasses, 3 * sf - 2);
    const int style = tc.cs.cbStyle, flags = blockFlags(style, opt_.conceal);
    std::int32_t* dst = tc.buf.data() + std::size_t(B.offY + cb.y0) * stride + B.offX + cb.x0;
    int need = 0;
    zebiDecodeGetBufSize_JPEG2K(ZebSize{w, h}, &need);
    if (work.size() * 8 < std::size_t(need)) work.resize(std::size_t(need) / 8 + 1);
    const std::uint8_t* bytes = blockBytes(cb);
    auto oneShot = [&](int extra) {
        return zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(bytes, dst, stride * 4,
                                                    ZebSize{w, h}, B.orient, sf + 1, passes, cb.segs.data(),
                                                    int(cb.segs.size()), flags | extra, nullptr,
                                                    reinterpret_cast<Zeb8u*>(work.data()));
    };
    // The tile-component starts zeroed, so the first decode need not clear the block.
    ZebResult st = oneShot(ZEB_CB_KEEP_BLOCK);
    // Raw segments need not end in the 0101 padding unless predictable
    // termination was chosen.
    if (st == zebErrCorruptCodeBlock && (style & 0x11) == 0x01) {
        if (decodeRawPadded(cb, dst, stride, ZebSize{w, h}, B.orient, sf + 1, passes, flags, work)) st = zebOk;
        else st = oneShot(0);
    }
    if (st < 0 && !opt_.conceal) return 1;
    const std::uint32_t roiThresh = tc.roi > 0 && tc.roi < 31 ? 1u << (tc.roi + 1) : 0xFFFFFFFFu;
    const double scale = B.delta * 0.5;
    const bool reversible = tc.cs.reversible;
    for (int y = 0; y < h; ++y) {
        std::int32_t* row = dst + std::size_t(y) * stride;
        const int done = roiThresh == 0xFFFFFFFFu ? rows::dequantiseRow(row, w, reversible, scale) : 0;
        for (int x = done; x < w; ++x) row[x] = rows::dequantise(row[x], reversible, scale, tc.roi, roiThresh);
    }
    return 0;
}

// Every code-block of the tile, spread over the threads of --threads.
bool Decoder::decodeBlocks(std::vector<TileComp>& comps) {
    struct Job {
        TileComp* tc;
        const Band* band;
        CodeBlock* cb;
    };
    std::vector<Job> jobs;
    std::int64_t coefficients = 0;
    for (TileComp& tc : comps)
        for (int r = 0; r <= tc.maxRes; ++r) {
            Resolution& R = tc.res[r];
            for (std::size_t pi = 0; pi < R.prec.size(); ++pi)
                for (CodeBlock& cb : R.prec[pi].blocks)
                    if (cb.usePasses > 0 && cb.x1 > cb.x0 && cb.y1 > cb.y0) {
                        jobs.push_back({&tc, &R.bands[pi % R.nbands], &cb});
                        coefficients += std::int64_t(cb.x1 - cb.x0) * (cb.y1 - cb.y0);
                    }
        }
    const int n = int(jobs.size());
    // Small tiles stay on the calling thread: a parallel region costs more than they do.
    const int threads = coefficients < (1 << 16) ? 1 : std::max(1, std::min(zebcoreGetNumThreads(), n / 4));
    int failures = 0;
#pragma omp parallel num_threads(threads) if (threads > 1) reduction(+ : failures)
    {
        std::vector<std::uint64_t> work;
#pragma omp for schedule(dynamic, 4)
        for (int i = 0; i < n; ++i) {
            failures += decodeBlock(*jobs[i].tc, *jobs[i].band, *jobs[i].cb, work);
            std::vector<std::uint8_t>().swap(jobs[i].cb->data);
        }
    }
    return failures == 0 || fail("damaged code-block data");
}

// Decodes a bypass-mode block segment by segment.  When a raw segment fails
// only its padding check, the unread low bits of its last byte are padding of
// another pattern: the decoder state and the block are restored from a copy
// taken before the segment, and the segment is decoded again with its last 1,
// 2, ... 8 bits replaced by the 0101 pattern (fewest first, so no data bit is
// changed) until it passes.
bool Decoder::decodeRawPadded(const CodeBlock& cb, std::int32_t* dst, int stride, ZebSize size, int orient, int sf,
                              int passes, int flags, std::vector<std::uint64_t>& work) {
    const std::uint8_t* bytes = blockBytes(cb);
    std::vector<std::uint8_t> data(bytes, bytes + cb.length);
    auto* state = reinterpret_cast<ZebCBProgrState*>(work.data());
    zebiDecodeCBProgrInit_JPEG2K(state);
    zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(dst, stride * 4, size, state, orient, sf, flags);
    zebiDecodeCBProgrSetPassCounter_JPEG2K(passes, state);
    std::vector<std::uint64_t> savedState;
    std::vector<std::int32_t> savedBlock(std::size_t(size.width) * size.height);
    auto copyBlock = [&](bool save) {
        for (int y = 0; y < size.height; ++y) {
            std::int32_t* row = dst + std::size_t(y) * stride;
            std::int32_t* keep = savedBlock.data() + std::size_t(y) * size.width;
            if (save) std::copy(row, row + size.width, keep);
            else std::copy(keep, keep + size.width, row);
        }
    };
    std::size_t off = 0;
    int first = 0;  // first pass of the segment
    const int segStyle = flags & ZEB_CB_TERM_ALL ? 4 : 1;
    for (std::size_t i = 0; i < cb.segs.size(); ++i) {
        static const std::uint8_t none = 0;
        const std::uint8_t* seg = cb.segs[i] ? data.data() + off : &none;
        const bool raw = first >= 10 && (first - 10) % 3 != 2 && cb.segs[i] > 0;
        if (raw) savedState = work, copyBlock(true);
        if (zebiDecodeCBProgrStep_JPEG2K(seg, cb.segs[i], state) != zebOk) {
            if (!raw) return false;
            std::uint8_t& last = data[off + cb.segs[i] - 1];
            const std::uint8_t original = last;
            bool repaired = false;
            for (int bits = 1; bits <= 8 && !repaired; ++bits) {
                std::copy(savedState.begin(), savedState.end(), work.begin());
                copyBlock(false);
                const unsigned mask = (1u << bits) - 1;
                last = std::uint8_t((original & ~mask) | ((0x55u >> (8 - bits)) & mask));
                repaired = zebiDecodeCBProgrStep_JPEG2K(seg, cb.segs[i], state) == zebOk;
            }
            if (!repaired) return false;
        }
        off += std::size_t(cb.segs[i]);
        first += passesLeftInSegment(segStyle, first);
    }
    return true;
}

// Fraction bits of the fixed-point coefficients of an irreversible component.
int fracBits(int precision) { return std::clamp(28 - precision, 0, 13); }

// Inverse wavelet and component transform, level shift and clamping, and the
// tile's samples into the picture.
void Decoder::transformAndStore(std::vector<TileComp>& comps, const Cod& cod, Picture& pic) {
    // Inverse wavelet, resolution by resolution, in place; components in parallel.
    const int ncomp = int(comps.size());
    const int threads = comps[0].buf.size() < (1u << 16) ? 1 : std::max(1, std::min(zebcoreGetNumThreads(), ncomp));
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (threads > 1)
    for (int c = 0; c < ncomp; ++c) {
        TileComp& tc = comps[c];
        std::vector<std::uint8_t> work;
        for (int r = 1; r <= tc.maxRes; ++r) {
            const Resolution& R = tc.res[r];
            ZebRect rect{int(R.x0 & 1), int(R.y0 & 1), int(R.x1 - R.x0), int(R.y1 - R.y0)};
            if (rect.width <= 0 || rect.height <= 0) continue;
            int need = 0;
            if (tc.cs.reversible) zebiWTGetBufSize_B53_JPEG2K_32s_C1IR(&rect, &need);
            else zebiWTGetBufSize_D97_JPEG2K_32s_C1IR(&rect, &need);
            if (work.size() < std::size_t(need) + 1) work.resize(std::size_t(need) + 1);
            if (tc.cs.reversible) zebiWTInv_B53_JPEG2K_32s_C1IR(tc.buf.data(), tc.bw * 4, &rect, work.data());
            else zebiWTInv_D97_JPEG2K_32s_C1IR(tc.buf.data(), tc.bw * 4, &rect, work.data());
        }
    }
    const int nc = int(comps.size());
    bool mct = cod.mct == 1 && nc >= 3;
    for (int c = 1; c < 3 && mct; ++c)
        mct = comps[c].bw == comps[0].bw && comps[c].bh == comps[0].bh &&
              comps[c].cs.reversible == comps[0].cs.reversible;
    mct = mct && comps[0].bw > 0 && comps[0].bh > 0;
    // Where the tile's samples go in each component.
    struct Out {
        int ox, oy;
        bool whole;  // the tile covers the component: its buffer is handed over
    };
    std::vector<Out> outs(nc);
    for (int c = 0; c < nc; ++c) {
        const TileComp& tc = comps[c];
        const CompInfo& ci = siz_.comps[c];
        Component& comp = pic.components[c];
        const int red = opt_.reduce;
        const std::int64_t cx0 = ceilShift(ceilDiv(siz_.x0, ci.dx), red), cy0 = ceilShift(ceilDiv(siz_.y0, ci.dy), red);
        const Resolution& R = tc.res[tc.maxRes];
        Out& o = outs[c];
        o.ox = int(R.x0 - cx0), o.oy = int(R.y0 - cy0);
        o.whole = comp.samples.empty() && o.ox == 0 && o.oy == 0 && tc.bw == comp.width && tc.bh == comp.height;
        if (comp.samples.empty() && !o.whole) fillMissing(comp);
    }
    // Rounding, level shift and clamping of rows [y0, y1) of component c into the picture.
    auto store = [&](int c, int y0, int y1) {
        TileComp& tc = comps[c];
        const CompInfo& ci = siz_.comps[c];
        Component& comp = pic.components[c];
        const Out& o = outs[c];
        const std::int64_t lo = ci.isSigned ? -(std::int64_t(1) << (ci.precision - 1)) : 0;
        const std::int64_t hi = ci.isSigned ? (std::int64_t(1) << (ci.precision - 1)) - 1
                                            : (std::int64_t(1) << ci.precision) - 1;
        const std::int64_t shift = ci.isSigned ? 0 : std::int64_t(1) << (ci.precision - 1);
        const double fs = std::ldexp(1.0, -fracBits(ci.precision));
        const bool useFloat = mct && c < 3 && !tc.cs.reversible;
        const rows::Kind kind = tc.cs.reversible ? rows::Kind::Integer
                                : useFloat       ? rows::Kind::Float
                                                 : rows::Kind::FixedPoint;
        for (int y = y0; y < y1; ++y) {
            std::int32_t* in = tc.buf.data() + std::size_t(y) * tc.bw;
            std::int32_t* out = o.whole ? in : comp.samples.data() + std::size_t(o.oy + y) * comp.width + o.ox;
            const int done =
                ci.precision <= 24 ? rows::storeRow(in, out, tc.bw, kind, ci.precision, fs, int(shift)) : 0;
            for (int x = done; x < tc.bw; ++x) out[x] = rows::store(in[x], kind, fs, lo, hi, shift);
        }
    };
    if (mct) {
        // The component transform and the stores run on strips of rows that
        // stay in the cache between the two.
        const int w = comps[0].bw, h = comps[0].bh;
        const int strip = std::max(1, 16384 / w);
        double s[3];
        for (int c = 0; c < 3; ++c) s[c] = std::ldexp(1.0, -fracBits(siz_.comps[c].precision));
        for (int y0 = 0; y0 < h; y0 += strip) {
            const int y1 = std::min(h, y0 + strip);
            const ZebSize sz{w, y1 - y0};
            const std::size_t first = std::size_t(y0) * w, n = std::size_t(y1 - y0) * w;
            if (comps[0].cs.reversible) {
                Zeb32s* planes[3] = {comps[0].buf.data() + first, comps[1].buf.data() + first,
                                     comps[2].buf.data() + first};
                zebiRCTInv_JPEG2K_32s_P3IR(planes, w * 4, sz);
            } else {
                // The ICT runs on floats held in the same words as the fixed-point coefficients.
                Zeb32f* planes[3];
                for (int c = 0; c < 3; ++c) {
                    std::int32_t* v = comps[c].buf.data() + first;
                    for (std::size_t i = std::size_t(rows::fixedToFloatRow(v, int(n), s[c])); i < n; ++i)
                        v[i] = rows::fixedToFloat(v[i], s[c]);
                    planes[c] = reinterpret_cast<Zeb32f*>(v);
                }
                zebiICTInv_JPEG2K_32f_P3IR(planes, w * 4, sz);
            }
            for (int c = 0; c < 3; ++c) store(c, y0, y1);
        }
    }
    for (int c = mct ? 3 : 0; c < nc; ++c) store(c, 0, comps[c].bh);
    for (int c = 0; c < nc; ++c)
        if (outs[c].whole) pic.components[c].samples.swap(comps[c].buf);
}

bool Decoder::decodeTile(int t, Picture& pic) {
    Tile& tile = tiles_[t];
    const int p = t % siz_.ntx, q = t / siz_.ntx;
    const std::int64_t tr[4] = {std::max(siz_.tx0 + p * siz_.tw, siz_.x0), std::max(siz_.ty0 + q * siz_.th, siz_.y0),
                                std::min(siz_.tx0 + (p + 1) * siz_.tw, siz_.x1),
                                std::min(siz_.ty0 + (q + 1) * siz_.th, siz_.y1)};
    const Cod& cod = tile.params.hasCod ? tile.params.cod : main_.cod;
    const int nc = int(siz_.comps.size());
    std::vector<TileComp> comps(nc);
    for (int c = 0; c < nc; ++c) {
        if (!buildTileComp(t, c, tr, comps[c])) return false;
        TileComp& tc = comps[c];
        const Resolution& R = tc.res[tc.maxRes];
        tc.bw = int(R.x1 - R.x0), tc.bh = int(R.y1 - R.y0);
        const std::size_t n = std::size_t(tc.bw) * tc.bh;
        for (SampleVector& v : spare_)
            if (v.capacity() >= n && v.capacity() <= 2 * n) {
                tc.buf.swap(v);
                break;
            }
        tc.buf.assign(n, 0);
        // Irreversible bands carry fixed-point coefficients.
        if (!tc.cs.reversible)
            for (Resolution& res : tc.res)
                for (Band& b : res.bands) b.delta = std::ldexp(b.delta, fracBits(siz_.comps[c].precision));
    }
    // Tile-part bodies in tile-part order; packet headers from PPM or PPT when present.
    std::stable_sort(tile.parts.begin(), tile.parts.end(),
                     [](const TilePart& a, const TilePart& b) { return a.index < b.index; });
    // One tile-part's body is read where it stands.
    std::vector<std::uint8_t> body, hdr;
    for (const TilePart& tp : tile.parts) {
        if (tile.parts.size() > 1) body.insert(body.end(), data_ + tp.start, data_ + tp.start + tp.len);
        if (tp.order < int(ppmChunks_.size()))
            hdr.insert(hdr.end(), ppmChunks_[tp.order].begin(), ppmChunks_[tp.order].end());
    }
    const std::uint8_t* bodyBytes = tile.parts.size() == 1 ? data_ + tile.parts[0].start : body.data();
    const std::size_t bodyLen = tile.parts.size() == 1 ? tile.parts[0].len : body.size();
    bool separate = !streams_.ppm.empty();
    if (!tile.ppt.empty()) {
        std::stable_sort(tile.ppt.begin(), tile.ppt.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        hdr.clear();
        for (auto& s : tile.ppt) hdr.insert(hdr.end(), s.second.begin(), s.second.end());
        separate = true;
    }
    tileX0_ = tr[0], tileY0_ = tr[1];
    if (!readPackets(tile, comps, cod, bodyBytes, bodyLen, hdr, separate)) return false;
    if (!decodeBlocks(comps)) return false;
    transformAndStore(comps, cod, pic);
    return true;
}

}  // namespace

bool decode(const std::uint8_t* data, std::size_t size, const DecodeOptions& opt, Picture& pic, std::string& error) {
    error.clear();
    if (data == nullptr || size < 2) {
        error = "no JPEG 2000 data";
        return false;
    }
    Decoder d(opt, error);
    return d.run(data, size, pic);
}

}  // namespace zebimg::j2k
