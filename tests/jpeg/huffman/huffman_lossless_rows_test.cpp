// Lossless-mode difference coding: category 16, interleaving of up to four
// components, row and single-value forms against each other, restart-style
// flushes, and hostile input.
#include <array>
#include <string>
#include <vector>

#include "jpeg/huffman/huffman_test_util.h"

namespace {

using hufftest::codeOf;
using hufftest::stuffedBits;

// Seventeen categories of five bits each.
hufftest::TableSpec categoryTable() {
    hufftest::TableSpec t{};
    t.bits[4] = 17;
    for (int v = 0; v <= 16; ++v) t.vals.push_back(static_cast<Zeb8u>(v));
    return t;
}

std::vector<Zeb8u> encodeRow(const std::vector<std::vector<Zeb16s>>& rows, int nComps,
                             std::vector<hufftest::EncTable>& tables) {
    std::vector<const Zeb16s*> src;
    std::vector<const ZebEncodeHuffmanSpec*> tab;
    for (std::size_t c = 0; c < rows.size(); ++c) {
        src.push_back(rows[c].data());
        tab.push_back(tables[c].get());
    }
    std::vector<Zeb8u> out(16 + rows[0].size() * 8 * rows.size());
    int pos = 0;
    hufftest::EncState st;
    const int n = static_cast<int>(out.size());
    EXPECT_EQ(zebOk, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src.data(), static_cast<int>(rows[0].size()), nComps,
                                                          out.data(), n, &pos, tab.data(), st.get(), 0));
    EXPECT_EQ(zebOk, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, out.data(), n, &pos, nullptr, st.get(), 1));
    out.resize(pos);
    return out;
}

TEST(LosslessRows, CategoriesAndInterleaving) {
    const hufftest::TableSpec spec = categoryTable();
    std::vector<hufftest::EncTable> t;
    for (int c = 0; c < 6; ++c) t.push_back(hufftest::makeEnc(spec));
    // 3 -> category 2 with bits 11; -3 -> bits 00; -32768 -> category 16
    // without extra bits; 0 -> category 0.
    std::vector<std::vector<Zeb16s>> rows = {{3, -3, -32768, 0}};
    EXPECT_EQ(encodeRow(rows, 1, t), stuffedBits(codeOf(spec, 2) + "11" + codeOf(spec, 2) + "00" + codeOf(spec, 16) +
                                                 codeOf(spec, 0)));
    // Two components, two columns: c0[0], c1[0], c0[1], c1[1].
    rows = {{1, 2}, {-1, 5}};
    EXPECT_EQ(encodeRow(rows, 2, t), stuffedBits(codeOf(spec, 1) + "1" + codeOf(spec, 1) + "0" + codeOf(spec, 2) + "10" +
                                                 codeOf(spec, 3) + "101"));
    // Six components requested: the first four are coded, no error.
    rows = {{1}, {2}, {3}, {4}, {5}, {6}};
    EXPECT_EQ(encodeRow(rows, 6, t), stuffedBits(codeOf(spec, 1) + "1" + codeOf(spec, 2) + "10" + codeOf(spec, 2) + "11" +
                                                 codeOf(spec, 3) + "100"));
    // Statistics of single differences.
    Zeb32s stats[256] = {};
    const Zeb16s zero = 0, most = -32768, three = 3;
    EXPECT_EQ(zebOk, zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&zero, stats));
    EXPECT_EQ(zebOk, zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&most, stats));
    EXPECT_EQ(zebOk, zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&three, stats));
    EXPECT_TRUE(stats[0] == 1 && stats[16] == 1 && stats[2] == 1);
    EXPECT_EQ(zebErrNullPtr, zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&zero, nullptr));
}

TEST(LosslessRows, ArgumentChecks) {
    hufftest::EncTable et = hufftest::makeEnc(categoryTable());
    hufftest::DecTable dt = hufftest::makeDec(categoryTable());
    Zeb16s row[4] = {};
    const Zeb16s* src[4] = {row, row, nullptr, row};
    Zeb16s* dst[4] = {row, row, row, nullptr};
    const ZebEncodeHuffmanSpec* etab[4] = {et.get(), et.get(), et.get(), et.get()};
    const ZebDecodeHuffmanSpec* dtab[4] = {dt.get(), nullptr, dt.get(), dt.get()};
    Zeb8u buf[64];
    int pos = 0, marker = 0;
    hufftest::EncState es;
    hufftest::DecState ds;
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src, 0, 0, nullptr, 0, &pos, etab, es.get(), 0));
    EXPECT_EQ(zebErrSize, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src, 0, 0, buf, 0, nullptr, etab, es.get(), 0));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, buf, 64, &pos, etab, es.get(), 0));
    EXPECT_EQ(zebErrSize, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src, 0, 1, buf, 64, &pos, nullptr, es.get(), 0));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src, 4, 1, buf, 64, &pos, nullptr, es.get(), 0));
    EXPECT_EQ(zebOk, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src, 4, 2, buf, 64, &pos, etab, es.get(), 0));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src, 4, 3, buf, 64, &pos, etab, es.get(), 0));
    // A flush needs no source.
    EXPECT_EQ(zebOk, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, buf, 64, &pos, nullptr, es.get(), 1));
    EXPECT_EQ(zebErrSize, zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(buf, 0, nullptr, dst, 4, 1, &marker, dtab, ds.get()));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(buf, 8, &pos, nullptr, 4, 1, &marker, dtab, ds.get()));
    EXPECT_EQ(zebErrSize, zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(buf, 8, &pos, dst, 0, 1, nullptr, dtab, ds.get()));
    EXPECT_EQ(zebErrNullPtr, zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(buf, 8, &pos, dst, 4, 2, &marker, dtab, ds.get()));
    EXPECT_EQ(zebErrSize, zebiDecodeHuffmanOne_JPEG_1u16s_C1(buf, 0, &pos, row, &marker, dt.get(), ds.get()));
    EXPECT_EQ(zebErrNullPtr, zebiEncodeHuffmanOne_JPEG_16s1u_C1(row, buf, 64, &pos, nullptr, es.get(), 0));
}

// Random rows of 1 to 4 components with restart-style flushes every few rows;
// tables from the single-value statistics; encoded with the row form and
// decoded with both forms.
TEST(LosslessRows, RoundTripsWithRestartsAndBothForms) {
    zebtest::Rng rng(31);
    for (int comps = 1; comps <= 4; ++comps) {
        const int cols = static_cast<int>(rng.range(1, 300)), nrows = 12, restart = 5;
        std::vector<std::vector<std::vector<Zeb16s>>> img(nrows, std::vector<std::vector<Zeb16s>>(comps));
        Zeb32s stats[4][256] = {};
        for (auto& r : img)
            for (int c = 0; c < comps; ++c) {
                r[c].resize(cols);
                for (Zeb16s& d : r[c]) {
                    d = rng.chance(0.05) ? static_cast<Zeb16s>(-32768) : static_cast<Zeb16s>(rng.range(-300, 300));
                    if (rng.chance(0.05)) d = zebtest::randomValue<Zeb16s>(rng);
                    ASSERT_EQ(zebOk, zebiGetHuffmanStatisticsOne_JPEG_16s_C1(&d, stats[c]));
                }
            }
        std::vector<hufftest::EncTable> enc;
        std::vector<hufftest::DecTable> dec;
        for (int c = 0; c < comps; ++c) {
            hufftest::TableSpec spec{};
            spec.vals.resize(256);
            ASSERT_EQ(zebOk, zebiEncodeHuffmanRawTableInit_JPEG_8u(stats[c], spec.bits.data(), spec.vals.data()));
            enc.push_back(hufftest::makeEnc(spec));
            dec.push_back(hufftest::makeDec(spec));
        }
        // Encode, RST markers between intervals.
        std::vector<Zeb8u> out(nrows * cols * comps * 6 + 64);
        int pos = 0;
        hufftest::EncState st;
        std::vector<const ZebEncodeHuffmanSpec*> etab;
        for (auto& e : enc) etab.push_back(e.get());
        const int len = static_cast<int>(out.size());
        for (int y = 0; y < nrows; ++y) {
            std::vector<const Zeb16s*> src;
            for (int c = 0; c < comps; ++c) src.push_back(img[y][c].data());
            ASSERT_EQ(zebOk, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src.data(), cols, comps, out.data(), len, &pos,
                                                                  etab.data(), st.get(), 0));
            if ((y + 1) % restart == 0 || y + 1 == nrows) {
                ASSERT_EQ(zebOk, zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, out.data(), len, &pos, nullptr, st.get(), 1));
                out[pos++] = 0xFF;
                out[pos++] = static_cast<Zeb8u>(y + 1 == nrows ? 0xD9 : 0xD0 + (y / restart) % 8);
            }
        }
        out.resize(pos);
        // Decode: rows with the row form on even rows, column by column with
        // the single-value form on odd rows.
        int rpos = 0, marker = 0;
        hufftest::DecState ds;
        std::vector<const ZebDecodeHuffmanSpec*> dtab;
        for (auto& d : dec) dtab.push_back(d.get());
        for (int y = 0; y < nrows; ++y) {
            std::vector<std::vector<Zeb16s>> got(comps, std::vector<Zeb16s>(cols, 7));
            if (y % 2 == 0) {
                std::vector<Zeb16s*> dst;
                for (auto& g : got) dst.push_back(g.data());
                ASSERT_EQ(zebOk, zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(out.data(), pos, &rpos, dst.data(), cols, comps,
                                                                      &marker, dtab.data(), ds.get()));
            } else {
                for (int i = 0; i < cols; ++i)
                    for (int c = 0; c < comps; ++c)
                        ASSERT_EQ(zebOk, zebiDecodeHuffmanOne_JPEG_1u16s_C1(out.data(), pos, &rpos, &got[c][i], &marker,
                                                                            dtab[c], ds.get()));
            }
            for (int c = 0; c < comps; ++c) ASSERT_EQ(got[c], img[y][c]) << "row " << y << " component " << c;
            if ((y + 1) % restart == 0 && y + 1 != nrows) {
                if (marker == 0) {  // not yet met by the read-ahead
                    while (!(out[rpos] == 0xFF && out[rpos + 1] != 0)) ++rpos;
                    marker = out[rpos + 1];
                    rpos += 2;
                }
                ASSERT_EQ(marker, 0xD0 + (y / restart) % 8);
                marker = 0;
                ds = hufftest::DecState{};
            }
        }
    }
}

TEST(LosslessRows, SingleValuesMatchRowsAndDestinationLimits) {
    const hufftest::TableSpec spec = categoryTable();
    hufftest::EncTable t = hufftest::makeEnc(spec);
    zebtest::Rng rng(8);
    std::vector<Zeb16s> row(500);
    for (Zeb16s& d : row) d = zebtest::randomValue<Zeb16s>(rng, 0.2);
    std::vector<hufftest::EncTable> tables;
    tables.push_back(hufftest::makeEnc(spec));
    const std::vector<Zeb8u> viaRow = encodeRow({row}, 1, tables);
    std::vector<Zeb8u> out(viaRow.size() + 8);
    int pos = 0;
    hufftest::EncState st;
    for (const Zeb16s& d : row)
        ASSERT_EQ(zebOk, zebiEncodeHuffmanOne_JPEG_16s1u_C1(&d, out.data(), (int)out.size(), &pos, t.get(), st.get(), 0));
    ASSERT_EQ(zebOk, zebiEncodeHuffmanOne_JPEG_16s1u_C1(nullptr, out.data(), (int)out.size(), &pos, nullptr, st.get(), 1));
    out.resize(pos);
    EXPECT_EQ(out, viaRow);
    // Every shorter destination fails with zebErrBufferEnd without writing
    // past its end.
    for (int cut = 1; cut < static_cast<int>(viaRow.size()); cut += 7) {
        zebtest::GuardedBuffer<Zeb8u> small(cut);
        int p = 0;
        hufftest::EncState s2;
        const Zeb16s* src[1] = {row.data()};
        const ZebEncodeHuffmanSpec* tab[1] = {t.get()};
        ZebResult r = zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(src, 500, 1, small.data(), cut, &p, tab, s2.get(), 0);
        if (r == zebOk) r = zebiEncodeHuffmanRow_JPEG_16s1u_P4C1(nullptr, 0, 0, small.data(), cut, &p, nullptr, s2.get(), 1);
        EXPECT_EQ(zebErrBufferEnd, r) << cut;
        EXPECT_LE(p, cut);
        EXPECT_TRUE(small.intact());
    }
}

TEST(LosslessRows, HostileStreamsStayInsideTheirBytes) {
    zebtest::Rng rng(12);
    hufftest::DecTable t = hufftest::makeDec(categoryTable());
    const ZebDecodeHuffmanSpec* tab[4] = {t.get(), t.get(), t.get(), t.get()};
    for (int trial = 0; trial < 2000; ++trial) {
        const int len = static_cast<int>(rng.range(1, 40));
        zebtest::PageGuardedBuffer buf(len);
        for (int i = 0; i < len; ++i) buf.data()[i] = static_cast<Zeb8u>(rng.chance(0.1) ? 0xFF : rng.next());
        std::vector<Zeb16s> rows(4 * 64);
        Zeb16s* dst[4] = {rows.data(), rows.data() + 64, rows.data() + 128, rows.data() + 192};
        int pos = 0, marker = 0;
        hufftest::DecState st;
        const ZebResult r = zebiDecodeHuffmanRow_JPEG_1u16s_C1P4(buf.data(), len, &pos, dst, 64, 4, &marker, tab, st.get());
        ASSERT_TRUE(r == zebOk || r == zebErrBufferEnd || r == zebErrCodeRange) << r;
        ASSERT_LE(pos, len);
    }
}

}  // namespace
