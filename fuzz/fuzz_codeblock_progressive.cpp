// Progressive code-block decoder: a record of exactly its size, attached to
// a block no larger than it was made for, fed one codeword segment per Step
// with the pass counter set between steps, then attached again to decode the
// same segments into a second block.  Format: fuzz_codeblock_format.h; the
// operation byte of a segment: bit 7 set: SetPassCounter(bits 0-6) before
// the step; bit 6 set: the step is given the segment's bytes from a copy of
// exactly their length.  A header byte before the format gives the extra
// width and height (0..15 each) that the record is made for.
//
// Properties: every step returns zebOk or zebErrCorruptCodeBlock (latched:
// each later step too); the pass counter never grows during a step.
#include "fuzz_codeblock_format.h"

using namespace zebfuzz;

namespace {

void decodeOnce(const CodeBlockCase& c, Heap<std::uint8_t>& src, Heap<std::uint8_t>& record, Heap<Zeb32s>& dst) {
    auto* st = reinterpret_cast<ZebCBProgrState*>(record.get());
    ZEBFUZZ_REQUIRE(zebiDecodeCBProgrAttach_JPEG2K_32s_C1R(dst.get(), c.step(), ZebSize{c.width, c.height}, st,
                                                           c.subband, c.sfBits, c.flags) == zebOk);
    ZEBFUZZ_REQUIRE(zebiDecodeCBProgrSetPassCounter_JPEG2K(c.nPasses, st) == zebOk);
    std::size_t offset = 0;
    bool latched = false;
    for (std::size_t i = 0; i < c.segLens.size(); ++i) {
        const int len = c.segLens[i];
        if (c.ops[i] & 0x80) zebiDecodeCBProgrSetPassCounter_JPEG2K(c.ops[i] & 0x7F, st);
        int before = 0, after = 0, plane = 0;
        zebiDecodeCBProgrGetPassCounter_JPEG2K(st, &before);
        ZebResult r;
        if (c.ops[i] & 0x40) {
            Heap<std::uint8_t> seg(static_cast<std::size_t>(len));
            if (len) std::memcpy(seg.get(), src.get() + offset, static_cast<std::size_t>(len));
            r = zebiDecodeCBProgrStep_JPEG2K(seg.get(), len, st);
        } else {
            r = zebiDecodeCBProgrStep_JPEG2K(src.get() + offset, len, st);
        }
        offset += static_cast<std::size_t>(len);
        ZEBFUZZ_REQUIRE(r == zebOk || r == zebErrCorruptCodeBlock);
        ZEBFUZZ_REQUIRE(!latched || r == zebErrCorruptCodeBlock);
        latched = r == zebErrCorruptCodeBlock;
        ZEBFUZZ_REQUIRE(zebiDecodeCBProgrGetPassCounter_JPEG2K(st, &after) == zebOk);
        ZEBFUZZ_REQUIRE(zebiDecodeCBProgrGetCurBitPlaneNum_JPEG2K(st, &plane) == zebOk);
        ZEBFUZZ_REQUIRE(after <= before);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const int extra = in.u8();
    CodeBlockCase c = readCodeBlockCase(in, true);
    const ZebSize maxSize{c.width + (extra & 15), c.height + (extra >> 4)};
    int recordSize = 0;
    ZEBFUZZ_REQUIRE(zebiDecodeCBProgrGetStateSize_JPEG2K(maxSize, &recordSize) == zebOk);
    Heap<std::uint8_t> record(static_cast<std::size_t>(recordSize));
    record.fill(c.flags & ZEB_CB_KEEP_STATE ? 0 : 0x5A);  // the caller keeps a kept state buffer zero
    ZEBFUZZ_REQUIRE(zebiDecodeCBProgrInit_JPEG2K(reinterpret_cast<ZebCBProgrState*>(record.get())) == zebOk);
    Heap<std::uint8_t> src(c.data.size());
    copyTo(src, c.data);
    Heap<Zeb32s> dst(static_cast<std::size_t>(c.height - 1) * (c.step() / 4) + c.width);
    dst.fill(0);
    decodeOnce(c, src, record, dst);
    // The same record serves the next block (a kept state buffer is no longer zero).
    c.flags &= ~ZEB_CB_KEEP_STATE;
    decodeOnce(c, src, record, dst);
    return 0;
}

void zebfuzz::writeSeeds(Seeds& seeds) {
    int n = 0;
    for (CodeBlockCase& c : encodedCodeBlocks()) {
        Output out;
        out.u8(static_cast<unsigned>(n++ * 37) & 0xFF);
        for (std::size_t i = 0; i < c.ops.size(); ++i) c.ops[i] |= static_cast<std::uint8_t>(i % 2 ? 0x40 : 0);
        writeCodeBlockCase(out, c, true);
        seeds.add(out.b);
    }
}
