// Interoperability with an independent codec (Debian's libjpeg-turbo, used
// through its C API as a test peer only): small baseline files with and
// without restart intervals and optimised tables, 4:2:0 colour and
// greyscale.  Every scan decodes with our decoder to exactly the
// coefficients the peer reads, re-encodes with our encoder to exactly the
// same entropy-coded bytes, and for optimised files our statistics and
// optimal-table builder reproduce the peer's tables.  The peer library is
// only available to the native build.
#ifdef ZEB_HAVE_LIBJPEG

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <jpeglib.h>

#include "libjpeg_peer.h"

namespace {

using namespace hufftest;

using namespace jpegpeer;

// Just enough of the file syntax: frame, tables, restart interval, one scan.
struct ParsedFile {
    struct Comp {
        int id, h, v;
    };
    std::vector<Comp> frame;
    std::map<int, TableSpec> dht;  // key: class * 16 + id
    int restart = 0;
    struct ScanComp {
        int frameIndex, dcTable, acTable;
    };
    std::vector<ScanComp> scan;
    int width = 0, height = 0;
    std::size_t ecsStart = 0, ecsEnd = 0;
};

ParsedFile parse(const std::vector<Zeb8u>& f) {
    ParsedFile p;
    std::size_t i = 2;
    EXPECT_TRUE(f[0] == 0xFF && f[1] == 0xD8);
    while (i + 4 <= f.size()) {
        EXPECT_EQ(0xFF, f[i]);
        const int m = f[i + 1];
        const std::size_t len = static_cast<std::size_t>(f[i + 2]) << 8 | f[i + 3];
        const Zeb8u* s = &f[i + 4];
        if (m == 0xC0) {
            p.height = s[1] << 8 | s[2];
            p.width = s[3] << 8 | s[4];
            for (int c = 0; c < s[5]; ++c) p.frame.push_back({s[6 + 3 * c], s[7 + 3 * c] >> 4, s[7 + 3 * c] & 15});
        } else if (m == 0xC4) {
            std::size_t k = 0;
            while (k < len - 2) {
                TableSpec t;
                const int key = s[k];
                int total = 0;
                for (int b = 0; b < 16; ++b) total += t.bits[b] = s[k + 1 + b];
                t.vals.assign(s + k + 17, s + k + 17 + total);
                p.dht[(key >> 4) * 16 + (key & 15)] = t;
                k += 17 + total;
            }
        } else if (m == 0xDD) {
            p.restart = s[0] << 8 | s[1];
        } else if (m == 0xDA) {
            for (int c = 0; c < s[0]; ++c) {
                int fi = 0;
                while (p.frame[fi].id != s[1 + 2 * c]) ++fi;
                p.scan.push_back({fi, s[2 + 2 * c] >> 4, s[2 + 2 * c] & 15});
            }
            p.ecsStart = i + 2 + len;
            std::size_t e = p.ecsStart;
            while (!(f[e] == 0xFF && f[e + 1] != 0 && (f[e + 1] < 0xD0 || f[e + 1] > 0xD7))) ++e;
            p.ecsEnd = e;
            break;
        } else {
            EXPECT_TRUE(m == 0xE0 || m == 0xDB || m == 0xFE) << std::hex << m;  // JFIF, tables, comments
        }
        i += 2 + len;
    }
    return p;
}

// The blocks of one baseline scan in coding order, with their component.
struct ScanBlock {
    int scanComp, row, col;
};

std::vector<std::vector<ScanBlock>> mcuOrder(const ParsedFile& p) {
    std::vector<std::vector<ScanBlock>> mcus;
    int hmax = 1, vmax = 1;
    for (const auto& c : p.frame) {
        hmax = std::max(hmax, c.h);
        vmax = std::max(vmax, c.v);
    }
    if (p.scan.size() == 1) {
        const auto& c = p.frame[p.scan[0].frameIndex];
        const int cols = ((p.width * c.h + hmax - 1) / hmax + 7) / 8;
        const int rows = ((p.height * c.v + vmax - 1) / vmax + 7) / 8;
        for (int r = 0; r < rows; ++r)
            for (int col = 0; col < cols; ++col) mcus.push_back({{0, r, col}});
        return mcus;
    }
    const int mx = (p.width + 8 * hmax - 1) / (8 * hmax), my = (p.height + 8 * vmax - 1) / (8 * vmax);
    for (int y = 0; y < my; ++y)
        for (int x = 0; x < mx; ++x) {
            std::vector<ScanBlock> mcu;
            for (int sc = 0; sc < static_cast<int>(p.scan.size()); ++sc) {
                const auto& c = p.frame[p.scan[sc].frameIndex];
                for (int v = 0; v < c.v; ++v)
                    for (int h = 0; h < c.h; ++h) mcu.push_back({sc, y * c.v + v, x * c.h + h});
            }
            mcus.push_back(mcu);
        }
    return mcus;
}

void checkFile(const Options& o, zebtest::Rng& rng) {
    SCOPED_TRACE(testing::Message() << o.width << "x" << o.height << (o.grey ? " grey" : " 4:2:0") << " q" << o.quality
                                    << (o.optimize ? " optimised" : "") << " restart " << o.restartMcus);
    const std::vector<Zeb8u> file = compress(o, rng);
    const PeerCoefficients peer = readCoefficients(file);
    const ParsedFile p = parse(file);
    ASSERT_EQ(o.grey ? 1u : 3u, p.scan.size());
    ASSERT_EQ(o.restartMcus, p.restart);
    if (!o.grey) {
        ASSERT_TRUE(p.frame[0].h == 2 && p.frame[0].v == 2 && p.frame[1].h == 1 && p.frame[2].v == 1);  // 4:2:0
    }

    // The peer's default tables are the Annex K ones.
    if (!o.optimize) {
        EXPECT_EQ(kDcLuma().vals, p.dht.at(0).vals);
        EXPECT_EQ(kDcLuma().bits, p.dht.at(0).bits);
        EXPECT_EQ(kAcLuma().vals, p.dht.at(16).vals);
        EXPECT_EQ(kAcLuma().bits, p.dht.at(16).bits);
        if (!o.grey) {
            EXPECT_EQ(kDcChroma().bits, p.dht.at(1).bits);
            EXPECT_EQ(kAcChroma().vals, p.dht.at(17).vals);
            EXPECT_EQ(kAcChroma().bits, p.dht.at(17).bits);
        }
    }
    std::map<int, EncTable> enc;
    std::map<int, DecTable> dec;
    for (const auto& [key, table] : p.dht) {
        enc[key] = makeEnc(table);
        dec[key] = makeDec(table);
    }

    const auto mcus = mcuOrder(p);
    const int len = static_cast<int>(file.size());
    // Decode.
    DecState ds;
    int pos = static_cast<int>(p.ecsStart), marker = 0, restarts = 0;
    std::vector<Zeb16s> lastDc(p.scan.size(), 0);
    std::vector<std::vector<Block>> decoded(mcus.size());
    for (std::size_t m = 0; m < mcus.size(); ++m) {
        if (p.restart && m > 0 && m % p.restart == 0) {
            const int rst = 0xD0 + (restarts++ & 7);
            if (marker == 0) {  // the reader did not need to look past the interval
                ASSERT_TRUE(file[pos] == 0xFF && file[pos + 1] == rst) << m;
                pos += 2;
            }
            ASSERT_TRUE(marker == 0 || marker == rst) << m;
            marker = 0;
            ASSERT_EQ(zebOk, zebiDecodeHuffmanStateInit_JPEG_8u(ds.get()));
            std::fill(lastDc.begin(), lastDc.end(), 0);
        }
        for (const ScanBlock& sb : mcus[m]) {
            const auto& sc = p.scan[sb.scanComp];
            Block b;
            ASSERT_EQ(zebOk, zebiDecodeHuffman8x8_JPEG_1u16s_C1(file.data(), len, &pos, b.data(), &lastDc[sb.scanComp],
                                                                &marker, dec[sc.dcTable].get(),
                                                                dec[16 + sc.acTable].get(), ds.get()))
                << "mcu " << m;
            ASSERT_EQ(peer.comps[sc.frameIndex].at(sb.row, sb.col), b) << "mcu " << m;
            decoded[m].push_back(b);
        }
    }
    // Only padding is left: the reader met the end marker, or stands right before it.
    EXPECT_TRUE(marker == 0xD9 || (file[pos] == 0xFF && file[pos + 1] == 0xD9));
    EXPECT_LT(ds.s.bitCount, 8);

    // Re-encode, writing the restart markers ourselves between intervals.
    std::vector<Zeb8u> out(file.size() + 64);
    const int cap = static_cast<int>(out.size());
    EncState es;
    int wpos = 0;
    restarts = 0;
    std::fill(lastDc.begin(), lastDc.end(), 0);
    std::map<int, std::vector<Zeb32s>> stats;
    for (const auto& [key, table] : p.dht) stats[key].assign(256, 0);
    std::vector<Zeb16s> statDc(p.scan.size(), 0);
    for (std::size_t m = 0; m < mcus.size(); ++m) {
        if (p.restart && m > 0 && m % p.restart == 0) {
            ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), cap, &wpos, nullptr, nullptr,
                                                                nullptr, es.get(), 1));
            out[wpos++] = 0xFF;
            out[wpos++] = static_cast<Zeb8u>(0xD0 + (restarts++ & 7));
            std::fill(lastDc.begin(), lastDc.end(), 0);
            std::fill(statDc.begin(), statDc.end(), 0);
        }
        for (std::size_t i = 0; i < mcus[m].size(); ++i) {
            const int scIdx = mcus[m][i].scanComp;
            const auto& sc = p.scan[scIdx];
            ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(decoded[m][i].data(), out.data(), cap, &wpos,
                                                                &lastDc[scIdx], enc[sc.dcTable].get(),
                                                                enc[16 + sc.acTable].get(), es.get(), 0));
            ASSERT_EQ(zebOk, zebiGetHuffmanStatistics8x8_JPEG_16s_C1(decoded[m][i].data(), stats[sc.dcTable].data(),
                                                                     stats[16 + sc.acTable].data(), &statDc[scIdx]));
        }
    }
    ASSERT_EQ(zebOk, zebiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), cap, &wpos, nullptr, nullptr, nullptr,
                                                        es.get(), 1));
    out.resize(wpos);
    const std::vector<Zeb8u> ecs(file.begin() + static_cast<long>(p.ecsStart), file.begin() + static_cast<long>(p.ecsEnd));
    EXPECT_EQ(ecs.size(), out.size());
    EXPECT_TRUE(ecs == out) << "entropy-coded bytes differ";

    // Optimised files: our statistics give the peer's tables.
    if (o.optimize) {
        for (const auto& [key, table] : p.dht) {
            TableSpec mine;
            mine.vals.resize(256);
            ASSERT_EQ(zebOk, zebiEncodeHuffmanRawTableInit_JPEG_8u(stats[key].data(), mine.bits.data(), mine.vals.data()));
            int total = 0;
            for (int b : mine.bits) total += b;
            mine.vals.resize(total);
            EXPECT_EQ(table.bits, mine.bits) << "table " << key;
            EXPECT_EQ(table.vals, mine.vals) << "table " << key;
        }
    }
}

TEST(HuffmanLibjpeg, BaselineFilesDecodeAndReencodeExactly) {
    zebtest::Rng rng(4242);
    for (bool grey : {false, true})
        for (int quality : {50, 90})
            for (bool optimize : {false, true})
                for (int restart : {0, 3}) {
                    checkFile({grey ? 64 : 77, grey ? 40 : 53, grey, quality, optimize, restart}, rng);
                    checkFile({grey ? 35 : 48, grey ? 61 : 32, grey, quality, optimize, restart ? 1 : 0}, rng);
                }
}

}  // namespace

#endif  // ZEB_HAVE_LIBJPEG
