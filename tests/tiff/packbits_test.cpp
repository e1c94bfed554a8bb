// PackBits row coding: packet choice, round trips, failure positions, checks.
#include <algorithm>
#include <cstring>

#include "packbits_test_util.h"
#include "tiff/packbits_kernels.h"

namespace {

using packtest::Bytes;
using packtest::pack;
using zebtest::GuardedBuffer;
using zebtest::Path;

Bytes seq(int n, int from = 0) {  // n bytes without equal neighbours
    Bytes b(n);
    for (int i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(from + i);
    return b;
}
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(PackBits, PacketChoice) {
    const std::pair<Bytes, Bytes> cases[] = {
        {{1, 2, 2}, {0x00, 1, 0xFF, 2}},                     // a closing pair is a run
        {{1, 2, 2, 3}, {0x03, 1, 2, 2, 3}},                  // an inner pair stays literal
        {{1, 2, 3, 3, 3, 4}, {0x01, 1, 2, 0xFE, 3, 0x00, 4}},  // three equal bytes are a run
        {{5}, {0x00, 5}},
        {{7, 7}, {0xFF, 7}},
        {{8, 8, 1, 2}, {0xFF, 8, 0x01, 1, 2}},
        {Bytes(130, 9), {0x81, 9, 0xFF, 9}},
        {Bytes(129, 9), {0x81, 9, 0x00, 9}},
        {seq(130), cat({{0x7F}, seq(128), {0x01, 128, 129}})},
        // A pair met with 126 listed bytes ends the packet; with 125 it joins
        // the list and the following byte becomes the 128th.
        {cat({seq(126), {200, 200, 201}}), cat({{125}, seq(126), {0xFF, 200, 0x00, 201}})},
        {cat({seq(125), {200, 200, 201, 202}}), cat({{127}, seq(125), {200, 200, 201, 0x00, 202}})},
    };
    for (const auto& [row, packed] : cases) {
        EXPECT_EQ(pack(row), packed) << "row of " << row.size();
        Bytes out(row.size());
        int pos = 0;
        EXPECT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(packed.data(), &pos, static_cast<int>(packed.size()), out.data(),
                                               static_cast<int>(out.size())),
                  zebOk);
        EXPECT_EQ(pos, static_cast<int>(packed.size()));
        EXPECT_EQ(out, row);
    }
    // Long runs and long literal stretches split at 128.
    for (int n = 1; n <= 400; ++n) {
        Bytes runs, lits;
        for (int i = 0; i < n; i += 128) {
            const int c = std::min(128, n - i);
            runs.insert(runs.end(), {static_cast<std::uint8_t>(c == 1 ? 0 : 1 - c), 0x42});
            lits.push_back(static_cast<std::uint8_t>(c - 1));
            for (int t = 0; t < c; ++t) lits.push_back(static_cast<std::uint8_t>(3 + i + t));
        }
        ASSERT_EQ(pack(Bytes(n, 0x42)), runs) << n;
        ASSERT_EQ(pack(seq(n, 3)), lits) << n;
    }
}

// The vector path picks the packets of the byte rules; both decoders restore
// the row; nothing reads past a row or packet data ending at an unmapped page.
TEST(PackBits, PathsAgreeAndRoundTrip) {
    zebtest::Rng rng(77);
    const int rows = zebtest::kSlowRun ? 300 : 1500;
    for (int iter = 0; iter < rows; ++iter) {
        const int width = iter < 300 ? iter + 1 : static_cast<int>(rng.range(1, iter % 10 ? 2000 : 20000));
        const Bytes row = packtest::runRichRow(rng, width);
        zebtest::PageGuardedBuffer src(width);
        std::memcpy(src.data(), row.data(), width);
        Bytes a(2 * width + 2), b(a.size());
        const auto ra = zeb::packbits::packRow<Path::Scalar>(src.data(), width, a.data(), static_cast<int>(a.size()));
        const auto rb = zeb::packbits::packRow<Path::Vector>(src.data(), width, b.data(), static_cast<int>(b.size()));
        ASSERT_TRUE(ra.fits && rb.fits && ra.written == rb.written) << width;
        ASSERT_EQ(0, std::memcmp(a.data(), b.data(), ra.written)) << width;
        zebtest::PageGuardedBuffer packed(ra.written);
        std::memcpy(packed.data(), a.data(), ra.written);
        for (Path p : {Path::Scalar, Path::Vector}) {
            GuardedBuffer<Zeb8u> out(width, iter % 7);
            const auto u = p == Path::Scalar
                               ? zeb::packbits::unpackRow<Path::Scalar>(packed.data(), 0, ra.written, out.data(), width)
                               : zeb::packbits::unpackRow<Path::Vector>(packed.data(), 0, ra.written, out.data(), width);
            ASSERT_TRUE(u.ok && u.pos == ra.written && out.intact());
            ASSERT_EQ(0, std::memcmp(out.data(), row.data(), width)) << width;
        }
    }
}

// Too little space: the call fails, the position ends after the last packet
// that fit, and nothing is written past the space given.
TEST(PackBits, SmallDestination) {
    zebtest::Rng rng(21);
    for (int iter = 0; iter < 40; ++iter) {
        const int width = static_cast<int>(rng.range(1, 400));
        const Bytes row = packtest::runRichRow(rng, width);
        const Bytes full = pack(row);
        const int total = static_cast<int>(full.size());
        for (int space = 1; space <= total; ++space) {
            GuardedBuffer<Zeb8u> dst(3 + space, 1);
            int pos = 3;
            const ZebResult r = zebiPackBitsRow_TIFF_8u_C1(row.data(), width, dst.data(), &pos, space);
            int fitting = 0;
            for (const auto& p : packtest::parsePackets(full))
                if (p.start + p.size <= space) fitting = p.start + p.size;
            ASSERT_EQ(r, space == total ? zebOk : zebErrPackBitsLength) << space;
            ASSERT_EQ(pos, 3 + fitting) << space;
            ASSERT_TRUE(dst.intact());
            ASSERT_EQ(0, std::memcmp(dst.data() + 3, full.data(), fitting));
        }
    }
}

// Decoder failures on random rows: a source cut inside a packet stops just
// after its header, a cut between packets at the end of the source; a row
// shorter than the data completes when a packet ends at its end and
// otherwise stops after the header of the packet that would pass it.  The
// row holds the bytes of the complete packets and nothing past it moves.
TEST(PackBits, DecoderFailurePositions) {
    zebtest::Rng rng(31);
    for (int iter = 0; iter < 40; ++iter) {
        const int width = static_cast<int>(rng.range(2, 400)), start = static_cast<int>(rng.range(0, 4));
        const Bytes row = packtest::runRichRow(rng, width), full = pack(row);
        const auto packets = packtest::parsePackets(full);
        Bytes src(start, 0x80);
        src.insert(src.end(), full.begin(), full.end());
        for (int cut = start ? 0 : 1; cut < static_cast<int>(full.size()); ++cut) {
            GuardedBuffer<Zeb8u> out(width);
            int pos = start, expectPos = start + cut, decoded = 0;
            ASSERT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(src.data(), &pos, start + cut, out.data(), width),
                      zebErrPackBitsLength);
            for (const auto& p : packets) {
                if (p.start + p.size > cut) {
                    if (p.start < cut) expectPos = start + p.start + 1;
                    break;
                }
                decoded += p.outBytes;
            }
            ASSERT_EQ(pos, expectPos) << "cut " << cut;
            ASSERT_TRUE(out.intact());
            ASSERT_EQ(0, std::memcmp(out.data(), row.data(), decoded));
        }
        for (int shortWidth = 1; shortWidth < width; ++shortWidth) {
            GuardedBuffer<Zeb8u> out(shortWidth, 3);
            int pos = 0, produced = 0;
            const ZebResult r = zebiUnpackBitsRow_TIFF_8u_C1(full.data(), &pos, static_cast<int>(full.size()),
                                                            out.data(), shortWidth);
            for (const auto& p : packets) {
                if (produced + p.outBytes >= shortWidth) {
                    const bool exact = produced + p.outBytes == shortWidth;
                    ASSERT_EQ(r, exact ? zebOk : zebErrPackBitsLength) << shortWidth;
                    ASSERT_EQ(pos, exact ? p.start + p.size : p.start + 1) << shortWidth;
                    if (exact) produced = shortWidth;
                    break;
                }
                produced += p.outBytes;
            }
            ASSERT_TRUE(out.intact());
            ASSERT_EQ(0, std::memcmp(out.data(), row.data(), produced));
        }
    }
}

TEST(PackBits, NoOpsAndShortPackets) {
    struct Case {
        Bytes src;
        int startPos, width;
        ZebResult result;
        int pos;
        Bytes row;
    };
    const Case cases[] = {
        {{0x80, 0x01, 10, 20}, 0, 2, zebOk, 4, {10, 20}},  // a leading no-op is skipped
        {{0xFE, 7}, 0, 2, zebErrPackBitsLength, 1, {}},     // a run of 3 in a row of 2
        {{0x00, 5, 0x80}, 0, 1, zebOk, 2, {5}},             // a trailing no-op is left unread
        {{0x00, 5, 0x80}, 2, 1, zebErrPackBitsLength, 3, {}},
        {{0xFD}, 0, 4, zebErrPackBitsLength, 1, {}},        // a run without its byte
        {{0x03, 1, 2, 3}, 0, 4, zebErrPackBitsLength, 1, {}},
        {{0x03, 1, 2, 3}, 4, 4, zebErrPackBitsLength, 4, {}},
    };
    for (const Case& c : cases) {
        Bytes out(c.width, 0xEE);
        int pos = c.startPos;
        EXPECT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(c.src.data(), &pos, static_cast<int>(c.src.size()), out.data(), c.width),
                  c.result);
        EXPECT_EQ(pos, c.pos);
        if (c.result == zebOk) {
            EXPECT_EQ(out, c.row);
        }
    }
}

TEST(PackBits, CheckOrder) {
    const Zeb8u row[4] = {1, 2, 3, 4}, src[2] = {0x00, 9};
    GuardedBuffer<Zeb8u> dst(16);
    dst.snapshot();
    int pos = 2;
    EXPECT_EQ(zebiPackBitsRow_TIFF_8u_C1(nullptr, 0, dst.data(), &pos, 0), zebErrNullPtr);
    EXPECT_EQ(zebiPackBitsRow_TIFF_8u_C1(row, 0, dst.data(), nullptr, 0), zebErrNullPtr);
    EXPECT_EQ(zebiPackBitsRow_TIFF_8u_C1(row, 0, nullptr, &pos, 0), zebErrNullPtr);
    EXPECT_EQ(zebiPackBitsRow_TIFF_8u_C1(row, 0, dst.data(), &pos, 16), zebErrSize);
    EXPECT_EQ(zebiPackBitsRow_TIFF_8u_C1(row, 4, dst.data(), &pos, 0), zebErrSize);
    EXPECT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(nullptr, &pos, 0, dst.data(), 0), zebErrNullPtr);
    EXPECT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(src, nullptr, 0, dst.data(), 0), zebErrNullPtr);
    EXPECT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(src, &pos, 0, nullptr, 0), zebErrNullPtr);
    EXPECT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(src, &pos, 0, dst.data(), 1), zebErrSize);
    EXPECT_EQ(zebiUnpackBitsRow_TIFF_8u_C1(src, &pos, 2, dst.data(), -1), zebErrSize);
    EXPECT_EQ(pos, 2);
    EXPECT_TRUE(dst.unchanged());
}

}  // namespace
