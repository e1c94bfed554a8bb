// Interoperability with an independent codec (Debian's libjpeg-turbo, used
// through its C API as a test peer only; native builds): baseline files
// (4:2:0 colour and greyscale, Annex K or optimised tables) and progressive
// files (its standard progression script), with and without restart
// intervals.  Every scan decodes with our decoders to exactly the
// coefficients the peer reads, re-encodes with our encoders to exactly the
// same entropy-coded bytes, and our statistics and optimal-table builder
// reproduce the optimised tables the peer chose.
#ifdef ZEB_HAVE_LIBJPEG

#include "libjpeg_peer.h"
#include "scan_coder.h"

namespace {

using namespace scancoder;
using jpegpeer::compress;
using jpegpeer::Options;
using jpegpeer::PeerCoefficients;

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
        if (m == 0xC0 || m == 0xC2) {
            p.progressive = m == 0xC2;
            p.height = s[1] << 8 | s[2];
            p.width = s[3] << 8 | s[4];
            for (int c = 0; c < s[5]; ++c) {
                Component comp{};
                comp.id = s[6 + 3 * c], comp.h = s[7 + 3 * c] >> 4, comp.v = s[7 + 3 * c] & 15;
                p.comps.push_back(comp);
            }
            layOut(p);
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

void checkFile(const Options& o, zebtest::Rng& rng) {
    SCOPED_TRACE(testing::Message() << o.width << "x" << o.height << (o.grey ? " grey" : " colour") << " q"
                                    << o.quality << (o.optimize ? " optimised" : "")
                                    << (o.progressive ? " progressive" : "") << " restart " << o.restartMcus);
    const std::vector<Zeb8u> file = compress(o, rng);
    File p = parse(file);
    ASSERT_EQ(o.progressive, p.progressive);
    ASSERT_GE(p.scans.size(), o.progressive ? (o.grey ? 6u : 10u) : 1u);
    ASSERT_EQ(o.restartMcus, p.scans[0].restart);
    if (!o.grey) {
        ASSERT_TRUE(p.comps[0].h == 2 && p.comps[0].v == 2 && p.comps[1].h == 1 && p.comps[2].v == 1);  // 4:2:0
    }
    if (!o.progressive && !o.optimize) {  // the peer's default tables are the Annex K ones
        const auto& t = p.scans[0].tables;
        EXPECT_TRUE(t.at(0).bits == kDcLuma().bits && t.at(0).vals == kDcLuma().vals);
        EXPECT_TRUE(t.at(16).bits == kAcLuma().bits && t.at(16).vals == kAcLuma().vals);
        EXPECT_TRUE(o.grey || (t.at(1).bits == kDcChroma().bits && t.at(17).vals == kAcChroma().vals));
    }
    for (const Scan& sc : p.scans) decodeScan(file, p, sc);
    const PeerCoefficients peer = jpegpeer::readCoefficients(file);
    ASSERT_EQ(peer.comps.size(), p.comps.size());
    for (std::size_t ci = 0; ci < p.comps.size(); ++ci) {
        ASSERT_EQ(peer.comps[ci].blocks.size(), p.comps[ci].coef.size());
        for (std::size_t b = 0; b < peer.comps[ci].blocks.size(); ++b)
            ASSERT_EQ(peer.comps[ci].blocks[b], p.comps[ci].coef[b]) << "component " << ci << " block " << b;
    }

    for (std::size_t s = 0; s < p.scans.size(); ++s) {
        const Scan& sc = p.scans[s];
        std::map<int, std::vector<Zeb32s>> stats;
        const std::vector<Zeb8u> mine = encodeScan(p, sc, stats);
        const std::vector<Zeb8u> theirs(file.begin() + static_cast<long>(sc.start), file.begin() + static_cast<long>(sc.end));
        EXPECT_TRUE(mine == theirs) << "scan " << s << " (Ss " << sc.ss << " Se " << sc.se << " Ah " << sc.ah << " Al "
                                    << sc.al << "): " << mine.size() << " bytes vs " << theirs.size();
        // The optimal tables from our statistics are the peer's (progressive
        // files always use optimised tables; DC refinement has none, and
        // several components of a DC scan may share one).
        std::vector<int> keys;
        if (!p.progressive) {
            if (o.optimize)
                for (const auto& [key, spec] : sc.tables) keys.push_back(key);
        } else if (sc.ss != 0) {
            keys = {16 + sc.acTable[0]};
        } else if (sc.ah == 0 && sc.comps.size() == 1) {
            keys = {sc.dcTable[0]};
        }
        for (int key : keys) {
            TableSpec t;
            t.vals.resize(256);
            ASSERT_EQ(zebOk, zebiEncodeHuffmanRawTableInit_JPEG_8u(stats[key].data(), t.bits.data(), t.vals.data()));
            int total = 0;
            for (int b : t.bits) total += b;
            t.vals.resize(total);
            EXPECT_EQ(sc.tables.at(key).bits, t.bits) << "scan " << s << " table " << key;
            EXPECT_EQ(sc.tables.at(key).vals, t.vals) << "scan " << s << " table " << key;
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

TEST(HuffmanLibjpeg, ProgressiveFilesDecodeAndReencodeExactly) {
    zebtest::Rng rng(1357);
    for (int restart : {0, 2, 7}) {
        checkFile({67, 45, false, 75, false, restart, true}, rng);
        checkFile({40, 72, true, 90, false, restart, true}, rng);
    }
    checkFile({128, 96, false, 30, false, 0, true}, rng);
    checkFile({33, 17, false, 98, false, 1, true}, rng);
}

}  // namespace

#endif  // ZEB_HAVE_LIBJPEG
