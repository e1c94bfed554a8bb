// A test-side scan coder: the components, scans and tables of a baseline or
// progressive image, the blocks of each scan in MCU order, and a scan
// decoded or encoded through the exported block functions, restart
// intervals included.
#pragma once

#include <algorithm>
#include <map>

#include "huffman_test_util.h"

namespace scancoder {

using namespace hufftest;
using hufftest::Block;

struct Component {
    int id, h, v;
    int blocksWide, blocksHigh;  // the component's own blocks
    int cols, rows;              // padded to whole MCUs, as the peer stores them
    std::vector<Block> coef;
    Block& at(int r, int c) { return coef[static_cast<std::size_t>(r) * cols + c]; }
};

struct Scan {
    std::vector<int> comps, dcTable, acTable;
    int ss, se, ah, al, restart;
    std::map<int, TableSpec> tables;  // in force at this scan: class * 16 + id
    std::size_t start, end;           // entropy-coded bytes
};

struct File {
    bool progressive = false;
    int width = 0, height = 0, hmax = 1, vmax = 1;
    std::vector<Component> comps;
    std::vector<Scan> scans;
};

// Derives each component's block counts from the image size and sampling.
inline void layOut(File& p) {
    for (Component& c : p.comps) {
        p.hmax = std::max(p.hmax, c.h);
        p.vmax = std::max(p.vmax, c.v);
    }
    for (Component& c : p.comps) {
        c.blocksWide = ((p.width * c.h + p.hmax - 1) / p.hmax + 7) / 8;
        c.blocksHigh = ((p.height * c.v + p.vmax - 1) / p.vmax + 7) / 8;
        c.cols = (c.blocksWide + c.h - 1) / c.h * c.h;
        c.rows = (c.blocksHigh + c.v - 1) / c.v * c.v;
        c.coef.assign(static_cast<std::size_t>(c.cols) * c.rows, Block{});
    }
}

// Blocks of a scan by MCU: (component index in the file, block row, block column).
inline std::vector<std::vector<std::array<int, 3>>> mcus(const File& p, const Scan& sc) {
    std::vector<std::vector<std::array<int, 3>>> out;
    if (sc.comps.size() == 1) {
        const Component& c = p.comps[sc.comps[0]];
        for (int r = 0; r < c.blocksHigh; ++r)
            for (int col = 0; col < c.blocksWide; ++col) out.push_back({{sc.comps[0], r, col}});
        return out;
    }
    const int mx = (p.width + 8 * p.hmax - 1) / (8 * p.hmax), my = (p.height + 8 * p.vmax - 1) / (8 * p.vmax);
    for (int y = 0; y < my; ++y)
        for (int x = 0; x < mx; ++x) {
            std::vector<std::array<int, 3>> mcu;
            for (int ci : sc.comps)
                for (int v = 0; v < p.comps[ci].v; ++v)
                    for (int h = 0; h < p.comps[ci].h; ++h)
                        mcu.push_back({ci, y * p.comps[ci].v + v, x * p.comps[ci].h + h});
            out.push_back(mcu);
        }
    return out;
}

inline int slot(const Scan& sc, int fileComp) {
    for (std::size_t k = 0; k < sc.comps.size(); ++k)
        if (sc.comps[k] == fileComp) return static_cast<int>(k);
    return -1;
}

inline void decodeScan(const std::vector<Zeb8u>& f, File& p, const Scan& sc) {
    std::map<int, DecTable> dec;
    for (const auto& [key, spec] : sc.tables) dec[key] = makeDec(spec);
    DecState ds;
    int pos = static_cast<int>(sc.start), marker = 0, restarts = 0;
    const int len = static_cast<int>(f.size());
    std::vector<Zeb16s> lastDc(sc.comps.size(), 0);
    const auto order = mcus(p, sc);
    for (std::size_t m = 0; m < order.size(); ++m) {
        if (sc.restart && m > 0 && m % sc.restart == 0) {
            const int rst = 0xD0 + (restarts++ & 7);
            if (marker == 0) {  // the reader did not need to look past the interval
                ASSERT_TRUE(f[pos] == 0xFF && f[pos + 1] == rst) << "mcu " << m;
                pos += 2;
            }
            ASSERT_TRUE(marker == 0 || marker == rst);
            marker = 0;
            ASSERT_EQ(zebOk, zebiDecodeHuffmanStateInit_JPEG_8u(ds.get()));
            std::fill(lastDc.begin(), lastDc.end(), 0);
        }
        for (const auto& [ci, r, c] : order[m]) {
            const int k = slot(sc, ci);
            Zeb16s* b = p.comps[ci].at(r, c).data();
            const ZebDecodeHuffmanSpec* dct = sc.ss == 0 && sc.ah == 0 ? dec[sc.dcTable[k]].get() : nullptr;
            const ZebDecodeHuffmanSpec* act = sc.se != 0 ? dec[16 + sc.acTable[k]].get() : nullptr;
            ZebResult res;
            if (!p.progressive)
                res = zebiDecodeHuffman8x8_JPEG_1u16s_C1(f.data(), len, &pos, b, &lastDc[k], &marker, dct, act, ds.get());
            else if (sc.ss == 0 && sc.ah == 0)
                res = zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(f.data(), len, &pos, b, &lastDc[k], &marker, sc.al,
                                                                 dct, ds.get());
            else if (sc.ss == 0)
                res = zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(f.data(), len, &pos, b, &marker, sc.al, ds.get());
            else if (sc.ah == 0)
                res = zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(f.data(), len, &pos, b, &marker, sc.ss, sc.se, sc.al,
                                                                 act, ds.get());
            else
                res = zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(f.data(), len, &pos, b, &marker, sc.ss, sc.se, sc.al,
                                                                  act, ds.get());
            ASSERT_EQ(zebOk, res) << "mcu " << m;
        }
    }
    // Only padding is left: the reader met the next marker, or stands right before it.
    EXPECT_TRUE(marker != 0 || (f[pos] == 0xFF && f[pos + 1] != 0));
    EXPECT_LT(ds.s.bitCount, 8);
}

// Encodes one scan, writing the restart markers between intervals, with a
// destination that ends `chunk` bytes after each call's position; also
// gathers the scan's statistics (tables keyed as in Scan::tables).
inline std::vector<Zeb8u> encodeScan(File& p, const Scan& sc, std::map<int, std::vector<Zeb32s>>& stats,
                                     int chunk = 1 << 20) {
    std::map<int, EncTable> enc;
    for (const auto& [key, spec] : sc.tables) enc[key] = makeEnc(spec);
    std::vector<Zeb8u> out(1 << 20);
    int pos = 0, restarts = 0, cap = 0;
    EncState es, ss;
    std::vector<Zeb16s> lastDc(sc.comps.size(), 0), statDc(sc.comps.size(), 0);
    const bool dc = sc.ss == 0, first = sc.ah == 0;
    const int acKey = 16 + sc.acTable[0];
    for (const auto& [key, spec] : sc.tables) stats[key].resize(256);
    auto room = [&] { return cap = std::min(static_cast<int>(out.size()), pos + chunk); };
    auto flush = [&]() {
        room();
        if (!p.progressive) {
            EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), cap, &pos, nullptr, nullptr,
                                                                nullptr, es.get(), 1));
        } else if (dc) {
            EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(nullptr, out.data(), cap, &pos, 0, es.get(), 1));
        } else if (first) {
            EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(nullptr, out.data(), cap, &pos, 0, 0, 0,
                                                                        enc[acKey].get(), es.get(), 1));
            EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(nullptr, stats[acKey].data(), 0, 0, 0, ss.get(), 1));
        } else {
            EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(nullptr, out.data(), cap, &pos, 0, 0, 0,
                                                                         enc[acKey].get(), es.get(), 1));
            EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(nullptr, stats[acKey].data(), 0, 0, 0, ss.get(), 1));
        }
    };
    const auto order = mcus(p, sc);
    for (std::size_t m = 0; m < order.size(); ++m) {
        if (sc.restart && m > 0 && m % sc.restart == 0) {
            flush();
            out[pos++] = 0xFF;
            out[pos++] = static_cast<Zeb8u>(0xD0 + (restarts++ & 7));
            std::fill(lastDc.begin(), lastDc.end(), 0);
            std::fill(statDc.begin(), statDc.end(), 0);
        }
        for (const auto& [ci, r, c] : order[m]) {
            const int k = slot(sc, ci), dk = sc.dcTable[k], ak = 16 + sc.acTable[k];
            const Zeb16s* b = p.comps[ci].at(r, c).data();
            room();
            if (!p.progressive) {
                EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(b, out.data(), cap, &pos, &lastDc[k], enc[dk].get(),
                                                                    enc[ak].get(), es.get(), 0));
                EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(b, stats[dk].data(), stats[ak].data(), &statDc[k]));
            } else if (dc && first) {
                EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(b, out.data(), cap, &pos, &lastDc[k], sc.al,
                                                                            enc[dk].get(), es.get(), 0));
                EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(b, stats[dk].data(), &statDc[k], sc.al));
            } else if (dc) {
                EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(b, out.data(), cap, &pos, sc.al, es.get(), 0));
            } else if (first) {
                EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b, out.data(), cap, &pos, sc.ss, sc.se, sc.al,
                                                                            enc[acKey].get(), es.get(), 0));
                EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(b, stats[acKey].data(), sc.ss, sc.se,
                                                                                 sc.al, ss.get(), 0));
            } else {
                EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(b, out.data(), cap, &pos, sc.ss, sc.se, sc.al,
                                                                             enc[acKey].get(), es.get(), 0));
                EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(b, stats[acKey].data(), sc.ss, sc.se,
                                                                                  sc.al, ss.get(), 0));
            }
        }
    }
    flush();
    out.resize(pos);
    return out;
}

}  // namespace scancoder
