// JPEG encoder and decoder on the library's public functions.
//
// DCT modes: colour conversion and chroma down-sampling on whole planes, the
// fused forward DCT and quantisation per block, Huffman coding per block
// (baseline: one interleaved scan; progressive: the usual spectral-selection
// and successive-approximation script); the decoder mirrors it with the
// inverse DCT, triangle up-sampling and colour conversion.  Lossless mode:
// predictors and difference coding row by row.
#include "jpeg_codec.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "jpeg_syntax.h"
#include "zeb.h"

namespace zebimg::jpeg {

namespace {

using Block = std::array<Zeb16s, 64>;

// Vectors whose elements are not cleared on resize: planes and coefficient
// arrays that are written in full before they are read.
template <class T>
struct DefaultInit : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInit<U>;
    };
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
template <class T>
using RawVector = std::vector<T, DefaultInit<T>>;
using Plane = RawVector<Zeb8u>;

// ---- library records owned by RAII holders ---------------------------------------

// A library record owned for the lifetime of the holder: a Huffman table
// built by InitAlloc from a DHT table, or a bit-stream state.
template <class T, ZebResult (*Release)(T*)>
struct Record {
    T* p = nullptr;
    Record() = default;
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() {
        if (p) Release(p);
    }
};

template <class T, ZebResult (*Alloc)(const Zeb8u*, const Zeb8u*, T**), ZebResult (*Release)(T*)>
struct TableRecord : Record<T, Release> {
    bool build(const HuffmanTable& t) {
        std::vector<Zeb8u> vals(t.values);
        vals.resize(256);
        return Alloc(t.bits.data(), vals.data(), &this->p) == zebOk;
    }
};

using EncTable = TableRecord<ZebEncodeHuffmanSpec, zebiEncodeHuffmanSpecInitAlloc_JPEG_8u, zebiEncodeHuffmanSpecFree_JPEG_8u>;
using DecTable = TableRecord<ZebDecodeHuffmanSpec, zebiDecodeHuffmanSpecInitAlloc_JPEG_8u, zebiDecodeHuffmanSpecFree_JPEG_8u>;

struct EncState : Record<ZebEncodeHuffmanState, zebiEncodeHuffmanStateFree_JPEG_8u> {
    EncState() { zebiEncodeHuffmanStateInitAlloc_JPEG_8u(&p); }
};

struct DecState : Record<ZebDecodeHuffmanState, zebiDecodeHuffmanStateFree_JPEG_8u> {
    DecState() { zebiDecodeHuffmanStateInitAlloc_JPEG_8u(&p); }
    void reset() { zebiDecodeHuffmanStateInit_JPEG_8u(p); }
};

// Optimal table from statistics (T.81 Annex K.2 through the library).
bool optimalTable(const std::vector<Zeb32s>& stats, HuffmanTable& t) {
    t = HuffmanTable{};
    t.present = true;
    std::vector<Zeb8u> vals(256);
    if (zebiEncodeHuffmanRawTableInit_JPEG_8u(stats.data(), t.bits.data(), vals.data()) != zebOk) return false;
    int total = 0;
    for (int b : t.bits) total += b;
    if (total == 0) {  // no symbol at all: a one-code table keeps the DHT valid
        t.bits[0] = 1;
        total = 1;
        vals[0] = 0;
    }
    t.values.assign(vals.begin(), vals.begin() + total);
    return true;
}

// ---- geometry shared by encoder and decoder -----------------------------------------------

// Per component: the MCU-padded block grid and plane, and the block grid of a
// non-interleaved scan (T.81 A.2.2).
struct CompGeometry {
    int h = 1, v = 1;
    int planeW = 0, planeH = 0;      // padded plane: whole MCUs
    int blocksW = 0, blocksH = 0;    // padded block grid
    int ownBlocksW = 0, ownBlocksH = 0;
    RawVector<Block> coef;
    Block& block(int r, int c) { return coef[static_cast<std::size_t>(r) * blocksW + c]; }
};

struct Geometry {
    int width = 0, height = 0, hmax = 1, vmax = 1, mcuX = 0, mcuY = 0;
    std::vector<CompGeometry> comps;
};

Geometry makeGeometry(int width, int height, const std::vector<std::pair<int, int>>& samp, bool zeroCoefficients) {
    Geometry g;
    g.width = width;
    g.height = height;
    for (auto [h, v] : samp) {
        g.hmax = std::max(g.hmax, h);
        g.vmax = std::max(g.vmax, v);
    }
    g.mcuX = (width + 8 * g.hmax - 1) / (8 * g.hmax);
    g.mcuY = (height + 8 * g.vmax - 1) / (8 * g.vmax);
    for (auto [h, v] : samp) {
        CompGeometry c;
        c.h = h;
        c.v = v;
        c.blocksW = g.mcuX * h;
        c.blocksH = g.mcuY * v;
        c.planeW = 8 * c.blocksW;
        c.planeH = 8 * c.blocksH;
        c.ownBlocksW = ((width * h + g.hmax - 1) / g.hmax + 7) / 8;
        c.ownBlocksH = ((height * v + g.vmax - 1) / g.vmax + 7) / 8;
        c.coef.resize(static_cast<std::size_t>(c.blocksW) * c.blocksH);
        if (zeroCoefficients) std::fill(c.coef.begin(), c.coef.end(), Block{});
        g.comps.push_back(std::move(c));
    }
    return g;
}

// The blocks of a scan grouped by MCU: (component slot in the scan, block row, column).
struct BlockRef {
    int slot, comp, row, col;
};

std::vector<std::vector<BlockRef>> scanMcus(const Geometry& g, const std::vector<int>& comps) {
    std::vector<std::vector<BlockRef>> mcus;
    if (comps.size() == 1) {
        const CompGeometry& c = g.comps[comps[0]];
        for (int r = 0; r < c.ownBlocksH; ++r)
            for (int col = 0; col < c.ownBlocksW; ++col) mcus.push_back({{0, comps[0], r, col}});
        return mcus;
    }
    for (int y = 0; y < g.mcuY; ++y)
        for (int x = 0; x < g.mcuX; ++x) {
            std::vector<BlockRef> mcu;
            for (int s = 0; s < static_cast<int>(comps.size()); ++s) {
                const CompGeometry& c = g.comps[comps[s]];
                for (int v = 0; v < c.v; ++v)
                    for (int h = 0; h < c.h; ++h) mcu.push_back({s, comps[s], y * c.v + v, x * c.h + h});
            }
            mcus.push_back(std::move(mcu));
        }
    return mcus;
}

// ---- progressive scan script ------------------------------------------------------------------

struct ScanDef {
    std::vector<int> comps;
    int ss, se, ah, al;
};

std::vector<ScanDef> progressionScript(int ncomps) {
    if (ncomps == 1)
        return {{{0}, 0, 0, 0, 1}, {{0}, 1, 5, 0, 2}, {{0}, 6, 63, 0, 2},
                {{0}, 1, 63, 2, 1}, {{0}, 0, 0, 1, 0}, {{0}, 1, 63, 1, 0}};
    return {{{0, 1, 2}, 0, 0, 0, 1}, {{0}, 1, 5, 0, 2},  {{2}, 1, 63, 0, 1}, {{1}, 1, 63, 0, 1},
            {{0}, 6, 63, 0, 2},      {{0}, 1, 63, 2, 1}, {{0, 1, 2}, 0, 0, 1, 0}, {{2}, 1, 63, 1, 0},
            {{1}, 1, 63, 1, 0},      {{0}, 1, 63, 1, 0}};
}

enum class ScanKind { Sequential, DcFirst, DcRefine, AcFirst, AcRefine };

ScanKind kindOf(bool progressive, int ss, int ah) {
    if (!progressive) return ScanKind::Sequential;
    if (ss == 0) return ah == 0 ? ScanKind::DcFirst : ScanKind::DcRefine;
    return ah == 0 ? ScanKind::AcFirst : ScanKind::AcRefine;
}

// ---- entropy coding of one DCT scan ----------------------------------------------------------

// Runs one scan over the blocks, either gathering statistics (stats != null)
// or writing the entropy-coded bytes into `out`.
struct ScanCoder {
    Geometry& g;
    ScanKind kind;
    const std::vector<int>& comps;
    int ss, se, al, restart;
    std::vector<int> dcId, acId;  // table ids per scan slot

    bool statistics(std::vector<std::vector<Zeb32s>>& dcStats, std::vector<std::vector<Zeb32s>>& acStats) {
        EncState st;
        std::vector<Zeb16s> last(comps.size(), 0);
        const auto mcus = scanMcus(g, comps);
        for (std::size_t m = 0; m < mcus.size(); ++m) {
            if (restart && m > 0 && m % restart == 0) {
                if (!flushStats(st, acStats)) return false;
                std::fill(last.begin(), last.end(), 0);
            }
            for (const BlockRef& b : mcus[m]) {
                const Zeb16s* blk = g.comps[b.comp].block(b.row, b.col).data();
                ZebResult r = zebOk;
                switch (kind) {
                    case ScanKind::Sequential:
                        r = zebiGetHuffmanStatistics8x8_JPEG_16s_C1(blk, dcStats[dcId[b.slot]].data(),
                                                                    acStats[acId[b.slot]].data(), &last[b.slot]);
                        break;
                    case ScanKind::DcFirst:
                        r = zebiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(blk, dcStats[dcId[b.slot]].data(),
                                                                            &last[b.slot], al);
                        break;
                    case ScanKind::DcRefine:
                        break;
                    case ScanKind::AcFirst:
                        r = zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(blk, acStats[acId[b.slot]].data(), ss, se,
                                                                            al, st.p, 0);
                        break;
                    case ScanKind::AcRefine:
                        r = zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(blk, acStats[acId[b.slot]].data(), ss,
                                                                             se, al, st.p, 0);
                        break;
                }
                if (r != zebOk) return false;
            }
        }
        return flushStats(st, acStats);
    }

    bool flushStats(EncState& st, std::vector<std::vector<Zeb32s>>& acStats) {
        if (kind == ScanKind::AcFirst)
            return zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(nullptr, acStats[acId[0]].data(), 0, 0, 0, st.p, 1) ==
                   zebOk;
        if (kind == ScanKind::AcRefine)
            return zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(nullptr, acStats[acId[0]].data(), 0, 0, 0, st.p,
                                                                    1) == zebOk;
        return true;
    }

    // Codes the scan into an uncleared buffer with room for the worst case
    // (pages that are never written cost nothing), and again into a larger
    // one should the destination fill up.
    bool encode(const std::vector<std::unique_ptr<EncTable>>& dc, const std::vector<std::unique_ptr<EncTable>>& ac,
                Writer& w) {
        const auto mcus = scanMcus(g, comps);
        std::size_t nblocks = 0;
        for (const auto& m : mcus) nblocks += m.size();
        for (std::size_t perBlock = 520;; perBlock *= 2) {
            const std::size_t bytes = nblocks * perBlock + 4096;
            if (bytes > 0x7FFFFFFF) return false;
            std::unique_ptr<Zeb8u[]> buf(new Zeb8u[bytes]);  // not cleared: only written bytes are used
            int pos = 0;
            const ZebResult r = encodeInto(mcus, dc, ac, buf.get(), static_cast<int>(bytes), pos);
            if (r == zebOk) {
                w.raw(buf.get(), static_cast<std::size_t>(pos));
                return true;
            }
            if (r != zebErrBufferEnd || perBlock >= 2080) return false;
        }
    }

    ZebResult encodeInto(const std::vector<std::vector<BlockRef>>& mcus,
                         const std::vector<std::unique_ptr<EncTable>>& dc,
                         const std::vector<std::unique_ptr<EncTable>>& ac, Zeb8u* buf, int cap, int& pos) {
        int rst = 0;
        EncState st;
        std::vector<Zeb16s> last(comps.size(), 0);
        auto flush = [&]() -> ZebResult {
            switch (kind) {
                case ScanKind::Sequential:
                    return zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, buf, cap, &pos, nullptr, nullptr,
                                                              nullptr, st.p, 1);
                case ScanKind::DcFirst:
                case ScanKind::DcRefine:
                    return zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(nullptr, buf, cap, &pos, 0, st.p, 1);
                case ScanKind::AcFirst:
                    return zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(nullptr, buf, cap, &pos, 0, 0, 0,
                                                                      ac[acId[0]]->p, st.p, 1);
                default:
                    return zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(nullptr, buf, cap, &pos, 0, 0, 0,
                                                                       ac[acId[0]]->p, st.p, 1);
            }
        };
        for (std::size_t m = 0; m < mcus.size(); ++m) {
            if (restart && m > 0 && m % restart == 0) {
                if (const ZebResult r = flush(); r != zebOk) return r;
                if (pos + 2 > cap) return zebErrBufferEnd;
                buf[pos++] = 0xFF;
                buf[pos++] = static_cast<Zeb8u>(0xD0 + (rst++ & 7));
                std::fill(last.begin(), last.end(), 0);
            }
            for (const BlockRef& b : mcus[m]) {
                const Zeb16s* blk = g.comps[b.comp].block(b.row, b.col).data();
                ZebResult r = zebOk;
                switch (kind) {
                    case ScanKind::Sequential:
                        r = zebiEncodeHuffman8x8_JPEG_16s1u_C1(blk, buf, cap, &pos, &last[b.slot],
                                                               dc[dcId[b.slot]]->p, ac[acId[b.slot]]->p, st.p, 0);
                        break;
                    case ScanKind::DcFirst:
                        r = zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(blk, buf, cap, &pos, &last[b.slot], al,
                                                                       dc[dcId[b.slot]]->p, st.p, 0);
                        break;
                    case ScanKind::DcRefine:
                        r = zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(blk, buf, cap, &pos, al, st.p, 0);
                        break;
                    case ScanKind::AcFirst:
                        r = zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(blk, buf, cap, &pos, ss, se, al,
                                                                       ac[acId[b.slot]]->p, st.p, 0);
                        break;
                    case ScanKind::AcRefine:
                        r = zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(blk, buf, cap, &pos, ss, se, al,
                                                                        ac[acId[b.slot]]->p, st.p, 0);
                        break;
                }
                if (r != zebOk) return r;
            }
        }
        return flush();
    }
};

// ---- encoder: DCT modes -------------------------------------------------------------------------

// Copies the edge column and row of a w x h region into the rest of a
// pw x ph plane.
void replicateEdges(Plane& plane, int w, int h, int pw, int ph) {
    for (int y = 0; y < h; ++y)
        std::fill(plane.begin() + static_cast<long>(y) * pw + w, plane.begin() + static_cast<long>(y + 1) * pw,
                  plane[static_cast<std::size_t>(y) * pw + w - 1]);
    for (int y = h; y < ph; ++y)
        std::copy(plane.begin() + static_cast<long>(h - 1) * pw, plane.begin() + static_cast<long>(h) * pw,
                  plane.begin() + static_cast<long>(y) * pw);
}

bool encodeDct(const Image& img, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    if (img.maxval != 255) {
        error = "the DCT modes take 8-bit images (maximum value 255)";
        return false;
    }
    if (opt.quality < 1 || opt.quality > 100) {
        error = "quality must lie between 1 and 100";
        return false;
    }
    const bool colour = img.channels == 3;
    std::vector<std::pair<int, int>> samp = {{colour ? opt.hSamp : 1, colour ? opt.vSamp : 1}};
    if (colour) samp.insert(samp.end(), {{1, 1}, {1, 1}});
    Geometry g = makeGeometry(img.width, img.height, samp, false);  // every block is written
    const int pw = g.comps[0].planeW, ph = g.comps[0].planeH;

    // Full-resolution planes, padded to whole MCUs by edge replication.
    const int ncomps = colour ? 3 : 1;
    std::vector<Plane> full(ncomps, Plane(static_cast<std::size_t>(pw) * ph));
    std::vector<Zeb8u> px(img.samples.size());
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<Zeb8u>(img.samples[i]);
    const ZebSize roi{img.width, img.height};
    if (colour) {
        Zeb8u* planes[3] = {full[0].data(), full[1].data(), full[2].data()};
        if (zebiRGBToYCbCr_JPEG_8u_C3P3R(px.data(), 3 * img.width, planes, pw, roi) != zebOk) {
            error = "colour conversion failed";
            return false;
        }
    } else {
        for (int y = 0; y < img.height; ++y)
            std::copy(px.begin() + static_cast<long>(y) * img.width, px.begin() + static_cast<long>(y + 1) * img.width,
                      full[0].begin() + static_cast<long>(y) * pw);
    }
    for (auto& p : full) replicateEdges(p, img.width, img.height, pw, ph);

    // Quantisation tables: Annex K scaled by the quality factor.
    std::array<Zeb8u, 64> raw[2];
    std::copy(kLumaQuantK1.begin(), kLumaQuantK1.end(), raw[0].begin());
    std::copy(kChromaQuantK2.begin(), kChromaQuantK2.end(), raw[1].begin());
    alignas(16) Zeb16u fwd[2][64];
    QuantTable dqt[2];
    for (int t = 0; t < 2; ++t) {
        if (zebiQuantFwdRawTableInit_JPEG_8u(raw[t].data(), opt.quality) != zebOk ||
            zebiQuantFwdTableInit_JPEG_8u16u(raw[t].data(), fwd[t]) != zebOk ||
            zebiQuantInvTableInit_JPEG_8u16u(raw[t].data(), dqt[t].natural.data()) != zebOk) {
            error = "quantisation table preparation failed";
            return false;
        }
        dqt[t].present = true;
    }

    // Chroma down-sampling and the forward DCT of every block.
    for (int c = 0; c < ncomps; ++c) {
        CompGeometry& cg = g.comps[c];
        Plane plane;
        const Plane* src = &full[c];
        const int sx = g.hmax / cg.h, sy = g.vmax / cg.v;
        if (sx != 1 || sy != 1) {
            plane.resize(static_cast<std::size_t>(cg.planeW) * cg.planeH);
            const ZebSize s{pw, ph}, d{cg.planeW, cg.planeH};
            const ZebResult r = sy == 2 ? zebiSampleDownH2V2_JPEG_8u_C1R(full[c].data(), pw, s, plane.data(), cg.planeW, d)
                                        : zebiSampleDownH2V1_JPEG_8u_C1R(full[c].data(), pw, s, plane.data(), cg.planeW, d);
            if (r != zebOk) {
                error = "chroma down-sampling failed";
                return false;
            }
            src = &plane;
        }
        const int t = c == 0 ? 0 : 1;
        for (int by = 0; by < cg.blocksH; ++by)
            for (int bx = 0; bx < cg.blocksW; ++bx) {
                const Zeb8u* p = src->data() + static_cast<std::size_t>(8 * by) * cg.planeW + 8 * bx;
                zebiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(p, cg.planeW, cg.block(by, bx).data(), fwd[t]);
            }
    }

    // File header.
    Writer w;
    w.soi();
    w.jfif();
    w.dqt(0, dqt[0]);
    if (colour) w.dqt(1, dqt[1]);
    Frame f;
    const bool progressive = opt.mode == EncodeOptions::Mode::Progressive;
    f.sof = progressive ? SOF2 : SOF0;
    f.precision = 8;
    f.width = img.width;
    f.height = img.height;
    for (int c = 0; c < ncomps; ++c) f.components.push_back({c + 1, samp[c].first, samp[c].second, c == 0 ? 0 : 1});
    w.sof(f);
    if (opt.restartInterval > 0) w.dri(opt.restartInterval);

    std::vector<ScanDef> scans;
    if (progressive) {
        scans = progressionScript(ncomps);
    } else {
        ScanDef all{{}, 0, 63, 0, 0};
        for (int c = 0; c < ncomps; ++c) all.comps.push_back(c);
        scans.push_back(all);
    }
    for (const ScanDef& sd : scans) {
        const ScanKind kind = kindOf(progressive, sd.ss, sd.ah);
        ScanCoder coder{g, kind, sd.comps, sd.ss, sd.se, sd.al, opt.restartInterval, {}, {}};
        for (int c : sd.comps) {
            coder.dcId.push_back(c == 0 ? 0 : 1);
            coder.acId.push_back(c == 0 ? 0 : 1);
        }
        HuffmanTable tables[2][2];  // [class][id]
        const bool needDc = kind == ScanKind::Sequential || kind == ScanKind::DcFirst;
        const bool needAc = kind == ScanKind::Sequential || kind == ScanKind::AcFirst || kind == ScanKind::AcRefine;
        if (progressive || opt.optimize) {
            std::vector<std::vector<Zeb32s>> dcStats(2, std::vector<Zeb32s>(256)), acStats(2, std::vector<Zeb32s>(256));
            if (!coder.statistics(dcStats, acStats)) {
                error = "coefficient out of the coding range";
                return false;
            }
            for (int id = 0; id < 2; ++id) {
                if (!optimalTable(dcStats[id], tables[0][id]) || !optimalTable(acStats[id], tables[1][id])) {
                    error = "optimal Huffman table construction failed";
                    return false;
                }
            }
        } else {
            for (int id = 0; id < 2; ++id) {
                tables[0][id] = annexKTable(0, id);
                tables[1][id] = annexKTable(1, id);
            }
        }
        std::vector<std::unique_ptr<EncTable>> dc(2), ac(2);
        bool used[2][2] = {};
        for (std::size_t s = 0; s < sd.comps.size(); ++s) {
            used[0][coder.dcId[s]] |= needDc;
            used[1][coder.acId[s]] |= needAc;
        }
        for (int cls = 0; cls < 2; ++cls)
            for (int id = 0; id < 2; ++id) {
                if (!used[cls][id]) continue;
                auto& slot = cls == 0 ? dc[id] : ac[id];
                slot = std::make_unique<EncTable>();
                if (!slot->build(tables[cls][id])) {
                    error = "Huffman table rejected";
                    return false;
                }
                w.dht(cls, id, tables[cls][id]);
            }
        Scan sos;
        for (std::size_t s = 0; s < sd.comps.size(); ++s)
            sos.components.push_back({sd.comps[s], coder.dcId[s], coder.acId[s]});
        sos.ss = sd.ss;
        sos.se = progressive ? sd.se : 63;
        sos.ah = sd.ah;
        sos.al = sd.al;
        w.sos(f, sos);
        if (!coder.encode(dc, ac, w)) {
            error = "entropy coding failed";
            return false;
        }
    }
    w.eoi();
    out = std::move(w.bytes());
    return true;
}

// ---- encoder: lossless ----------------------------------------------------------------------------

bool encodeLossless(const Image& img, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    const int P = opt.precision ? opt.precision : std::max(2, img.bitDepth());
    const int Pt = opt.pointTransform;
    if (P < 2 || P > 16 || Pt < 0 || Pt >= P || opt.predictor < 1 || opt.predictor > 7 || img.bitDepth() > P) {
        error = "lossless mode needs a precision of 2 to 16 bits covering the image, Pt below it and a predictor 1 to 7";
        return false;
    }
    const int w = img.width, h = img.height, nc = img.channels;
    const int restartRows = opt.restartInterval;
    if (static_cast<long long>(restartRows) * w > 65535) {
        error = "restart interval too long for the row width";
        return false;
    }
    // Differences of every row of every component.
    std::vector<std::vector<Zeb16s>> diff(nc, std::vector<Zeb16s>(static_cast<std::size_t>(w) * h));
    std::vector<Zeb16s> cur(w), prev(w);
    std::vector<std::vector<Zeb32s>> stats(nc, std::vector<Zeb32s>(256));
    for (int c = 0; c < nc; ++c) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) cur[x] = static_cast<Zeb16s>(img.at(x, y, c) >> Pt);
            Zeb16s* d = diff[c].data() + static_cast<std::size_t>(y) * w;
            const bool firstRow = y == 0 || (restartRows > 0 && y % restartRows == 0);
            const ZebResult r = firstRow ? zebiDiffPredFirstRow_JPEG_16s_C1(cur.data(), d, w, P, Pt)
                                         : zebiDiffPredRow_JPEG_16s_C1(cur.data(), prev.data(), d, w, opt.predictor);
            if (r != zebOk) {
                error = "prediction failed";
                return false;
            }
            for (int x = 0; x < w; ++x)
                if (zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&d[x], stats[c].data()) != zebOk) return false;
            std::swap(cur, prev);
        }
    }
    Writer wr;
    wr.soi();
    Frame f;
    f.sof = SOF3;
    f.precision = P;
    f.width = w;
    f.height = h;
    for (int c = 0; c < nc; ++c) f.components.push_back({c + 1, 1, 1, 0});
    wr.sof(f);
    std::vector<std::unique_ptr<EncTable>> tables;
    for (int c = 0; c < nc; ++c) {
        HuffmanTable t;
        if (!optimalTable(stats[c], t)) {
            error = "optimal Huffman table construction failed";
            return false;
        }
        wr.dht(0, c, t);
        tables.push_back(std::make_unique<EncTable>());
        if (!tables.back()->build(t)) {
            error = "Huffman table rejected";
            return false;
        }
    }
    if (restartRows > 0) wr.dri(restartRows * w);
    Scan sos;
    for (int c = 0; c < nc; ++c) sos.components.push_back({c, c, 0});
    sos.ss = opt.predictor;
    sos.se = 0;
    sos.al = Pt;
    wr.sos(f, sos);
    std::vector<Zeb8u> buf(static_cast<std::size_t>(w) * h * nc * 6 + 4096);
    const int cap = static_cast<int>(buf.size());
    int pos = 0, rst = 0;
    EncState st;
    std::vector<const Zeb16s*> rows(nc);
    std::vector<const ZebEncodeHuffmanSpec*> tabs(nc);
    for (int c = 0; c < nc; ++c) tabs[c] = tables[c]->p;
    for (int y = 0; y < h; ++y) {
        if (restartRows > 0 && y > 0 && y % restartRows == 0) {
            if (zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, buf.data(), cap, &pos, nullptr, st.p, 1) != zebOk)
                return false;
            buf[pos++] = 0xFF;
            buf[pos++] = static_cast<Zeb8u>(0xD0 + (rst++ & 7));
        }
        for (int c = 0; c < nc; ++c) rows[c] = diff[c].data() + static_cast<std::size_t>(y) * w;
        if (zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(rows.data(), w, nc, buf.data(), cap, &pos, tabs.data(), st.p, 0) !=
            zebOk) {
            error = "entropy coding failed";
            return false;
        }
    }
    if (zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, buf.data(), cap, &pos, nullptr, st.p, 1) != zebOk)
        return false;
    wr.raw(buf.data(), static_cast<std::size_t>(pos));
    wr.eoi();
    out = std::move(wr.bytes());
    return true;
}

// ---- decoder helpers ---------------------------------------------------------------------------------

// Moves past the restart marker that ends an interval: the reader may have met
// it already while reading ahead, else it follows the padding bits.
bool passRestart(const std::vector<Zeb8u>& b, std::size_t end, int& pos, int& marker, int expected) {
    if (marker == 0) {
        std::size_t p = static_cast<std::size_t>(pos);
        while (p + 1 < end && !(b[p] == 0xFF && b[p + 1] >= RST0 && b[p + 1] <= RST0 + 7)) ++p;
        if (p + 1 >= end) return false;
        marker = b[p + 1];
        pos = static_cast<int>(p + 2);
    }
    const bool ok = marker == expected;
    marker = 0;
    return ok;
}

bool decodeDctScan(const File& file, const Scan& sc, Geometry& g, std::string& error) {
    const bool progressive = file.frame.progressive();
    const ScanKind kind = kindOf(progressive, sc.ss, sc.ah);
    if (progressive) {
        const bool dc = sc.ss == 0;
        if ((dc && sc.se != 0) || (!dc && (sc.se < sc.ss || sc.se > 63 || sc.components.size() != 1)) || sc.al > 13) {
            error = "invalid progressive scan parameters";
            return false;
        }
    }
    std::vector<int> comps;
    for (const ScanComponent& c : sc.components) comps.push_back(c.index);
    std::unique_ptr<DecTable> dc[4], ac[4];
    for (std::size_t s = 0; s < sc.components.size(); ++s) {
        const ScanComponent& c = sc.components[s];
        const bool needDc = kind == ScanKind::Sequential || kind == ScanKind::DcFirst;
        const bool needAc = kind == ScanKind::Sequential || kind == ScanKind::AcFirst || kind == ScanKind::AcRefine;
        if (needDc && !dc[c.td]) {
            if (!sc.dc[c.td].present) return error = "scan uses an undefined DC table", false;
            dc[c.td] = std::make_unique<DecTable>();
            if (!dc[c.td]->build(sc.dc[c.td])) return error = "invalid DC Huffman table", false;
        }
        if (needAc && !ac[c.ta]) {
            if (!sc.ac[c.ta].present) return error = "scan uses an undefined AC table", false;
            ac[c.ta] = std::make_unique<DecTable>();
            if (!ac[c.ta]->build(sc.ac[c.ta])) return error = "invalid AC Huffman table", false;
        }
    }
    const std::vector<Zeb8u>& b = file.bytes;
    const int len = static_cast<int>(sc.dataEnd);  // the reader never looks past the scan's data
    int pos = static_cast<int>(sc.dataBegin), marker = 0, rst = 0;
    DecState st;
    std::vector<Zeb16s> last(comps.size(), 0);
    const auto mcus = scanMcus(g, comps);
    for (std::size_t m = 0; m < mcus.size(); ++m) {
        if (sc.restartInterval && m > 0 && m % sc.restartInterval == 0) {
            if (!passRestart(b, sc.dataEnd, pos, marker, RST0 + (rst++ & 7)))
                return error = "restart marker missing or out of sequence", false;
            st.reset();
            std::fill(last.begin(), last.end(), 0);
        }
        for (const BlockRef& br : mcus[m]) {
            const ScanComponent& c = sc.components[br.slot];
            Zeb16s* blk = g.comps[br.comp].block(br.row, br.col).data();
            ZebResult r = zebOk;
            const int lenArg = std::max(len, 1);
            switch (kind) {
                case ScanKind::Sequential:
                    r = zebiDecodeHuffman8x8_JPEG_1u16s_C1(b.data(), len, &pos, blk, &last[br.slot], &marker,
                                                           dc[c.td]->p, ac[c.ta]->p, st.p);
                    break;
                case ScanKind::DcFirst:
                    r = zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &last[br.slot], &marker,
                                                                   sc.al, dc[c.td]->p, st.p);
                    break;
                case ScanKind::DcRefine:
                    r = zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &marker, sc.al, st.p);
                    break;
                case ScanKind::AcFirst:
                    r = zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &marker, sc.ss, sc.se,
                                                                   sc.al, ac[c.ta]->p, st.p);
                    break;
                case ScanKind::AcRefine:
                    r = zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(b.data(), lenArg, &pos, blk, &marker, sc.ss, sc.se,
                                                                    sc.al, ac[c.ta]->p, st.p);
                    break;
            }
            if (r != zebOk) return error = "corrupt entropy-coded data", false;
        }
    }
    return true;
}

// A plane with a one-sample border replicated around it (the context the
// plane up-samplers read).
Plane withBorder(const Plane& p, int w, int h) {
    const int bw = w + 2;
    Plane out(static_cast<std::size_t>(bw) * (h + 2));
    for (int y = -1; y <= h; ++y) {
        const int sy = std::clamp(y, 0, h - 1);
        for (int x = -1; x <= w; ++x)
            out[static_cast<std::size_t>(y + 1) * bw + (x + 1)] = p[static_cast<std::size_t>(sy) * w + std::clamp(x, 0, w - 1)];
    }
    return out;
}

// Up-samples a component plane to the full padded resolution.
bool upsample(const Plane& src, int w, int h, int sx, int sy, Plane& dst, int dw, int dh) {
    dst.assign(static_cast<std::size_t>(dw) * dh, 0);
    if ((sx == 2 && sy == 2) || (sx == 2 && sy == 1)) {
        const Plane b = withBorder(src, w, h);
        const Zeb8u* origin = b.data() + (w + 2) + 1;
        const ZebSize s{w, h}, d{dw, dh};
        const ZebResult r = sy == 2 ? zebiSampleUpH2V2_JPEG_8u_C1R(origin, w + 2, s, dst.data(), dw, d)
                                    : zebiSampleUpH2V1_JPEG_8u_C1R(origin, w + 2, s, dst.data(), dw, d);
        return r == zebOk;
    }
    if (sx == 1 && sy == 2) {  // vertical triangle filter, nearer row weighted 3
        for (int y = 0; y < dh; ++y) {
            const int n = std::min(y / 2, h - 1), f = std::clamp(y % 2 ? n + 1 : n - 1, 0, h - 1);
            const int bias = y % 2 ? 2 : 1;
            for (int x = 0; x < dw; ++x) {
                const int xs = std::min(x, w - 1);
                dst[static_cast<std::size_t>(y) * dw + x] = static_cast<Zeb8u>(
                    (3 * src[static_cast<std::size_t>(n) * w + xs] + src[static_cast<std::size_t>(f) * w + xs] + bias) >> 2);
            }
        }
        return true;
    }
    for (int y = 0; y < dh; ++y)  // other factors: sample replication
        for (int x = 0; x < dw; ++x)
            dst[static_cast<std::size_t>(y) * dw + x] = src[static_cast<std::size_t>(std::min(y / sy, h - 1)) * w + std::min(x / sx, w - 1)];
    return true;
}

// The fast colour path: per MCU, the inverse DCT without level shift into
// 16-bit blocks, then one fused call for up-sampling (sample replication),
// colour conversion and level shift into interleaved RGB.
bool mcuToRgb(Geometry& g, const std::vector<std::array<Zeb16u, 64>>& inv, Plane& rgb, int pw, int ph) {
    const CompGeometry& y = g.comps[0];
    using McuFn = ZebResult (*)(const Zeb16s* const[3], Zeb8u*, int);
    const McuFn fn = y.h == 1 ? zebiYCbCr444ToRGBLS_MCU_16s8u_P3C3R
                     : y.v == 1 ? zebiYCbCr422ToRGBLS_MCU_16s8u_P3C3R
                                : zebiYCbCr411ToRGBLS_MCU_16s8u_P3C3R;
    rgb.assign(static_cast<std::size_t>(pw) * ph * 3, 0);
    alignas(16) Zeb16s lum[4][64], cb[64], cr[64];
    const Zeb16s* const planes[3] = {lum[0], cb, cr};
    for (int my = 0; my < g.mcuY; ++my)
        for (int mx = 0; mx < g.mcuX; ++mx) {
            for (int v = 0; v < y.v; ++v)
                for (int h = 0; h < y.h; ++h)
                    zebiDCTQuantInv8x8_JPEG_16s_C1(g.comps[0].block(my * y.v + v, mx * y.h + h).data(), lum[v * y.h + h],
                                                   inv[0].data());
            zebiDCTQuantInv8x8_JPEG_16s_C1(g.comps[1].block(my, mx).data(), cb, inv[1].data());
            zebiDCTQuantInv8x8_JPEG_16s_C1(g.comps[2].block(my, mx).data(), cr, inv[2].data());
            Zeb8u* dst = rgb.data() + (static_cast<std::size_t>(my) * 8 * y.v * pw + static_cast<std::size_t>(mx) * 8 * y.h) * 3;
            if (fn(planes, dst, 3 * pw) != zebOk) return false;
        }
    return true;
}

bool decodeDct(const File& file, Image& img, std::string& error, const DecodeOptions& opt) {
    const Frame& f = file.frame;
    if (f.precision != 8) return error = "only 8-bit DCT images are supported", false;
    const int nc = static_cast<int>(f.components.size());
    if (nc != 1 && nc != 3) return error = "only greyscale and three-component images are supported", false;
    std::vector<std::pair<int, int>> samp;
    for (const Component& c : f.components) samp.push_back({c.h, c.v});
    Geometry g = makeGeometry(f.width, f.height, samp, true);  // scans add to zeroed blocks
    for (const CompGeometry& c : g.comps)
        if (g.hmax % c.h || g.vmax % c.v) return error = "unsupported sampling factors", false;
    for (const Scan& sc : file.scans)
        if (!decodeDctScan(file, sc, g, error)) return false;

    // De-quantisation tables from the DQT values.
    std::vector<std::array<Zeb16u, 64>> inv(nc);
    for (int c = 0; c < nc; ++c) {
        const QuantTable& q = file.quant[f.components[c].tq];
        if (!q.present) return error = "component uses an undefined quantisation table", false;
        std::array<Zeb8u, 64> raw;
        for (int k = 0; k < 64; ++k) {
            if (q.zigzag[k] > 255 || q.zigzag[k] == 0) return error = "unsupported quantisation table values", false;
            raw[k] = static_cast<Zeb8u>(q.zigzag[k]);
        }
        zebiQuantInvTableInit_JPEG_8u16u(raw.data(), inv[c].data());
    }
    const int pw = 8 * g.mcuX * g.hmax, ph = 8 * g.mcuY * g.vmax;
    img.width = f.width;
    img.height = f.height;
    img.channels = nc;
    img.maxval = 255;
    img.samples.assign(static_cast<std::size_t>(f.width) * f.height * nc, 0);
    const bool mcuPath = opt.mcuUpsampling && nc == 3 && g.comps[1].h == 1 && g.comps[1].v == 1 &&
                         g.comps[2].h == 1 && g.comps[2].v == 1 && g.comps[0].v <= g.comps[0].h;
    if (mcuPath) {
        Plane rgb;
        if (!mcuToRgb(g, inv, rgb, pw, ph)) return error = "MCU colour conversion failed", false;
        for (int y = 0; y < f.height; ++y)
            std::copy(rgb.begin() + static_cast<long>(y) * pw * 3, rgb.begin() + static_cast<long>(y) * pw * 3 + 3 * f.width,
                      img.samples.begin() + static_cast<long>(y) * f.width * 3);
        return true;
    }

    // Inverse DCT into planes, triangle up-sampling.
    std::vector<Plane> full(nc);
    for (int c = 0; c < nc; ++c) {
        CompGeometry& cg = g.comps[c];
        Plane plane(static_cast<std::size_t>(cg.planeW) * cg.planeH);
        for (int by = 0; by < cg.blocksH; ++by)
            for (int bx = 0; bx < cg.blocksW; ++bx)
                zebiDCTQuantInv8x8LS_JPEG_16s8u_C1R(cg.block(by, bx).data(),
                                                    plane.data() + static_cast<std::size_t>(8 * by) * cg.planeW + 8 * bx,
                                                    cg.planeW, inv[c].data());
        const int sx = g.hmax / cg.h, sy = g.vmax / cg.v;
        if (sx == 1 && sy == 1) {
            full[c] = std::move(plane);
        } else if (!upsample(plane, cg.planeW, cg.planeH, sx, sy, full[c], pw, ph)) {
            return error = "chroma up-sampling failed", false;
        }
    }
    if (nc == 3) {
        Plane rgb(static_cast<std::size_t>(f.width) * f.height * 3);
        const Zeb8u* planes[3] = {full[0].data(), full[1].data(), full[2].data()};
        if (zebiYCbCrToRGB_JPEG_8u_P3C3R(planes, pw, rgb.data(), 3 * f.width, ZebSize{f.width, f.height}) != zebOk)
            return error = "colour conversion failed", false;
        std::copy(rgb.begin(), rgb.end(), img.samples.begin());
    } else {
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) img.at(x, y, 0) = full[0][static_cast<std::size_t>(y) * pw + x];
    }
    return true;
}

bool decodeLossless(const File& file, Image& img, std::string& error) {
    const Frame& f = file.frame;
    const int nc = static_cast<int>(f.components.size());
    if (nc != 1 && nc != 3) return error = "only greyscale and three-component lossless images are supported", false;
    for (const Component& c : f.components)
        if (c.h != 1 || c.v != 1) return error = "sub-sampled lossless images are not supported", false;
    const int w = f.width, h = f.height, P = f.precision;
    img.width = w;
    img.height = h;
    img.channels = nc;
    img.maxval = (1 << P) - 1;
    img.samples.assign(static_cast<std::size_t>(w) * h * nc, 0);
    std::vector<bool> seen(nc, false);
    for (const Scan& sc : file.scans) {
        const int n = static_cast<int>(sc.components.size());
        const int predictor = sc.ss, Pt = sc.al;
        if (predictor < 1 || predictor > 7 || Pt >= P) return error = "invalid lossless scan parameters", false;
        if (sc.restartInterval % w != 0) return error = "restart intervals must cover whole rows", false;
        const int restartRows = sc.restartInterval / w;
        std::vector<std::unique_ptr<DecTable>> tables;
        std::vector<const ZebDecodeHuffmanSpec*> tabs;
        for (const ScanComponent& c : sc.components) {
            if (!sc.dc[c.td].present) return error = "scan uses an undefined Huffman table", false;
            tables.push_back(std::make_unique<DecTable>());
            if (!tables.back()->build(sc.dc[c.td])) return error = "invalid Huffman table", false;
            tabs.push_back(tables.back()->p);
            seen[c.index] = true;
        }
        std::vector<std::vector<Zeb16s>> diff(n, std::vector<Zeb16s>(w)), prev(n, std::vector<Zeb16s>(w)),
            cur(n, std::vector<Zeb16s>(w));
        std::vector<Zeb16s*> rows(n);
        for (int c = 0; c < n; ++c) rows[c] = diff[c].data();
        const std::vector<Zeb8u>& b = file.bytes;
        const int len = std::max(1, static_cast<int>(sc.dataEnd));
        int pos = static_cast<int>(sc.dataBegin), marker = 0, rst = 0;
        DecState st;
        for (int y = 0; y < h; ++y) {
            const bool restartHere = restartRows > 0 && y > 0 && y % restartRows == 0;
            if (restartHere) {
                if (!passRestart(b, sc.dataEnd, pos, marker, RST0 + (rst++ & 7)))
                    return error = "restart marker missing or out of sequence", false;
                st.reset();
            }
            if (zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(b.data(), len, &pos, rows.data(), w, n, &marker, tabs.data(),
                                                     st.p) != zebOk)
                return error = "corrupt entropy-coded data", false;
            for (int c = 0; c < n; ++c) {
                const ZebResult r = (y == 0 || restartHere)
                                        ? zebiReconstructPredFirstRow_JPEG_16s_C1(diff[c].data(), cur[c].data(), w, P, Pt)
                                        : zebiReconstructPredRow_JPEG_16s_C1(diff[c].data(), prev[c].data(),
                                                                             cur[c].data(), w, predictor);
                if (r != zebOk) return error = "reconstruction failed", false;
                const int ci = sc.components[c].index;
                const unsigned mask = static_cast<unsigned>(img.maxval);
                for (int x = 0; x < w; ++x)
                    img.at(x, y, ci) = static_cast<std::uint16_t>((static_cast<unsigned>(static_cast<Zeb16u>(cur[c][x])) << Pt) & mask);
                std::swap(cur[c], prev[c]);
            }
        }
    }
    for (bool s : seen)
        if (!s) return error = "a component is never coded", false;
    return true;
}

}  // namespace

bool encode(const Image& img, const EncodeOptions& opt, std::vector<std::uint8_t>& out, std::string& error) {
    if (img.channels != 1 && img.channels != 3) return error = "only greyscale and RGB images", false;
    if (opt.mode == EncodeOptions::Mode::Lossless) return encodeLossless(img, opt, out, error);
    const bool okSampling = (opt.hSamp == 1 && opt.vSamp == 1) || (opt.hSamp == 2 && (opt.vSamp == 1 || opt.vSamp == 2));
    if (!okSampling) return error = "sampling must be 4:4:4, 4:2:2 or 4:2:0", false;
    return encodeDct(img, opt, out, error);
}

bool decode(const std::vector<std::uint8_t>& bytes, Image& img, std::string& error, const DecodeOptions& opt) {
    File file;
    if (!parse(bytes, file, error)) return false;
    if (file.frame.lossless()) return decodeLossless(file, img, error);
    return decodeDct(file, img, error, opt);
}

}  // namespace zebimg::jpeg
