// Progressive interoperability with an independent codec (Debian's
// libjpeg-turbo through its C API, a test peer only): files it writes with
// its standard progression script, with and without restart intervals,
// decode with our progressive decoders to exactly the coefficients it
// reads; our encoders reproduce every scan's entropy-coded bytes from those
// coefficients and its tables; and our statistics rebuild the optimal tables
// it chose for every scan.
#ifdef ZEB_HAVE_LIBJPEG

#include <map>

#include "libjpeg_peer.h"

namespace {

using namespace hufftest;
using namespace jpegpeer;

struct Component {
    int id, h, v;
    int blocksWide, blocksHigh;  // the component's own blocks
    int cols, rows;              // padded to whole MCUs, as the peer stores them
    std::vector<Block> coef;
    Block& at(int r, int c) { return coef[static_cast<std::size_t>(r) * cols + c]; }
};

struct Scan {
    std::vector<int> comps;
    std::vector<int> dcTable, acTable;
    int ss, se, ah, al;
    int restart;
    std::map<int, TableSpec> tables;  // in force at this scan: class * 16 + id
    std::size_t start, end;           // entropy-coded bytes
};

struct File {
    int width = 0, height = 0, hmax = 1, vmax = 1;
    std::vector<Component> comps;
    std::vector<Scan> scans;
};

File parse(const std::vector<Zeb8u>& f) {
    File p;
    std::map<int, TableSpec> tables;
    int restart = 0;
    std::size_t i = 2;
    while (i + 4 <= f.size()) {
        const int m = f[i + 1];
        if (m == 0xD9) break;
        const std::size_t len = static_cast<std::size_t>(f[i + 2]) << 8 | f[i + 3];
        const Zeb8u* s = &f[i + 4];
        if (m == 0xC2) {
            p.height = s[1] << 8 | s[2];
            p.width = s[3] << 8 | s[4];
            for (int c = 0; c < s[5]; ++c) {
                Component comp{};
                comp.id = s[6 + 3 * c];
                comp.h = s[7 + 3 * c] >> 4;
                comp.v = s[7 + 3 * c] & 15;
                p.hmax = std::max(p.hmax, comp.h);
                p.vmax = std::max(p.vmax, comp.v);
                p.comps.push_back(comp);
            }
            for (Component& c : p.comps) {
                c.blocksWide = ((p.width * c.h + p.hmax - 1) / p.hmax + 7) / 8;
                c.blocksHigh = ((p.height * c.v + p.vmax - 1) / p.vmax + 7) / 8;
                c.cols = (c.blocksWide + c.h - 1) / c.h * c.h;
                c.rows = (c.blocksHigh + c.v - 1) / c.v * c.v;
                c.coef.assign(static_cast<std::size_t>(c.cols) * c.rows, Block{});
            }
        } else if (m == 0xC4) {
            for (std::size_t k = 0; k < len - 2;) {
                TableSpec t;
                int total = 0;
                for (int b = 0; b < 16; ++b) total += t.bits[b] = s[k + 1 + b];
                t.vals.assign(s + k + 17, s + k + 17 + total);
                tables[(s[k] >> 4) * 16 + (s[k] & 15)] = t;
                k += 17 + total;
            }
        } else if (m == 0xDD) {
            restart = s[0] << 8 | s[1];
        } else if (m == 0xDA) {
            Scan sc;
            for (int c = 0; c < s[0]; ++c) {
                int fi = 0;
                while (p.comps[fi].id != s[1 + 2 * c]) ++fi;
                sc.comps.push_back(fi);
                sc.dcTable.push_back(s[2 + 2 * c] >> 4);
                sc.acTable.push_back(s[2 + 2 * c] & 15);
            }
            const Zeb8u* t = s + 1 + 2 * s[0];
            sc.ss = t[0];
            sc.se = t[1];
            sc.ah = t[2] >> 4;
            sc.al = t[2] & 15;
            sc.restart = restart;
            sc.tables = tables;
            sc.start = i + 2 + len;
            std::size_t e = sc.start;
            while (!(f[e] == 0xFF && f[e + 1] != 0 && (f[e + 1] < 0xD0 || f[e + 1] > 0xD7))) ++e;
            sc.end = e;
            p.scans.push_back(sc);
            i = e;
            continue;
        }
        i += 2 + len;
    }
    return p;
}

// Blocks of a scan by MCU: (component index in the file, block row, block column).
std::vector<std::vector<std::array<int, 3>>> mcus(const File& p, const Scan& sc) {
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

int slot(const Scan& sc, int fileComp) {
    for (std::size_t k = 0; k < sc.comps.size(); ++k)
        if (sc.comps[k] == fileComp) return static_cast<int>(k);
    return -1;
}

void decodeScan(const std::vector<Zeb8u>& f, File& p, const Scan& sc) {
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
            if (marker == 0) {
                ASSERT_TRUE(f[pos] == 0xFF && f[pos + 1] == rst) << "mcu " << m;
                pos += 2;
            }
            ASSERT_TRUE(marker == 0 || marker == rst);
            marker = 0;
            ds = DecState{};
            std::fill(lastDc.begin(), lastDc.end(), 0);
        }
        for (const auto& [ci, r, c] : order[m]) {
            const int k = slot(sc, ci);
            Zeb16s* b = p.comps[ci].at(r, c).data();
            ZebResult res;
            if (sc.ss == 0 && sc.ah == 0)
                res = zebiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(f.data(), len, &pos, b, &lastDc[k], &marker, sc.al,
                                                                 dec[sc.dcTable[k]].get(), ds.get());
            else if (sc.ss == 0)
                res = zebiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(f.data(), len, &pos, b, &marker, sc.al, ds.get());
            else if (sc.ah == 0)
                res = zebiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(f.data(), len, &pos, b, &marker, sc.ss, sc.se, sc.al,
                                                                 dec[16 + sc.acTable[k]].get(), ds.get());
            else
                res = zebiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(f.data(), len, &pos, b, &marker, sc.ss, sc.se, sc.al,
                                                                  dec[16 + sc.acTable[k]].get(), ds.get());
            ASSERT_EQ(zebOk, res) << "mcu " << m;
        }
    }
}

// Re-encodes one scan from the final coefficients; also gathers the scan's
// statistics with a separate state.
std::vector<Zeb8u> encodeScan(File& p, const Scan& sc, std::map<int, std::vector<Zeb32s>>& stats) {
    std::map<int, EncTable> enc;
    for (const auto& [key, spec] : sc.tables) enc[key] = makeEnc(spec);
    std::vector<Zeb8u> out(1 << 20);
    const int cap = static_cast<int>(out.size());
    EncState es, ss;
    int pos = 0, restarts = 0;
    std::vector<Zeb16s> lastDc(sc.comps.size(), 0), statDc(sc.comps.size(), 0);
    const bool dc = sc.ss == 0, first = sc.ah == 0;
    const auto acKey = 16 + sc.acTable[0];
    auto flush = [&]() {
        if (dc) {
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
            const int k = slot(sc, ci);
            const Zeb16s* b = p.comps[ci].at(r, c).data();
            if (dc && first) {
                EXPECT_EQ(zebOk, zebiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(b, out.data(), cap, &pos, &lastDc[k], sc.al,
                                                                            enc[sc.dcTable[k]].get(), es.get(), 0));
                EXPECT_EQ(zebOk, zebiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(b, stats[sc.dcTable[k]].data(),
                                                                                 &statDc[k], sc.al));
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

void checkFile(int w, int h, bool grey, int quality, int restart, zebtest::Rng& rng) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << (grey ? " grey" : " colour") << " q" << quality << " restart "
                                    << restart);
    Options o{w, h, grey, quality, false, restart};
    o.progressive = true;
    const std::vector<Zeb8u> file = compress(o, rng);
    File p = parse(file);
    ASSERT_GE(p.scans.size(), grey ? 6u : 10u);
    for (const Scan& sc : p.scans) decodeScan(file, p, sc);
    const PeerCoefficients peer = readCoefficients(file);
    ASSERT_EQ(peer.comps.size(), p.comps.size());
    for (std::size_t ci = 0; ci < p.comps.size(); ++ci) {
        ASSERT_EQ(peer.comps[ci].blocks.size(), p.comps[ci].coef.size());
        for (std::size_t b = 0; b < peer.comps[ci].blocks.size(); ++b)
            ASSERT_EQ(peer.comps[ci].blocks[b], p.comps[ci].coef[b]) << "component " << ci << " block " << b;
    }

    for (std::size_t s = 0; s < p.scans.size(); ++s) {
        const Scan& sc = p.scans[s];
        std::map<int, std::vector<Zeb32s>> stats;
        for (const auto& [key, spec] : sc.tables) stats[key].assign(256, 0);
        const std::vector<Zeb8u> mine = encodeScan(p, sc, stats);
        const std::vector<Zeb8u> theirs(file.begin() + static_cast<long>(sc.start), file.begin() + static_cast<long>(sc.end));
        EXPECT_TRUE(mine == theirs) << "scan " << s << " (Ss " << sc.ss << " Se " << sc.se << " Ah " << sc.ah << " Al "
                                    << sc.al << "): " << mine.size() << " bytes vs " << theirs.size();
        // The optimal table of this scan from our statistics is the peer's.
        if (sc.ss == 0 && sc.ah != 0) continue;  // DC refinement has no table
        const int key = sc.ss == 0 ? sc.dcTable[0] : 16 + sc.acTable[0];
        if (sc.ss == 0 && sc.comps.size() > 1) continue;  // DC tables may be shared by several components
        TableSpec t;
        t.vals.resize(256);
        ASSERT_EQ(zebOk, zebiEncodeHuffmanRawTableInit_JPEG_8u(stats[key].data(), t.bits.data(), t.vals.data()));
        int total = 0;
        for (int b : t.bits) total += b;
        t.vals.resize(total);
        EXPECT_EQ(sc.tables.at(key).bits, t.bits) << "scan " << s;
        EXPECT_EQ(sc.tables.at(key).vals, t.vals) << "scan " << s;
    }
}

TEST(ProgressiveLibjpeg, PeerFilesDecodeAndReencodeExactly) {
    zebtest::Rng rng(1357);
    for (int restart : {0, 2, 7}) {
        checkFile(67, 45, false, 75, restart, rng);
        checkFile(40, 72, true, 90, restart, rng);
    }
    checkFile(128, 96, false, 30, 0, rng);
    checkFile(33, 17, false, 98, 1, rng);
}

}  // namespace

#endif  // ZEB_HAVE_LIBJPEG
