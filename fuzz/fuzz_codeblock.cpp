// One-shot code-block decoder zebiDecodeCodeBlock_JPEG2K_1u32s_C1R over every
// style flag, concealment on and off, into a destination and a work buffer
// of exactly their sizes.  Format: fuzz_codeblock_format.h.
//
// Properties: the result is zebOk or zebErrCorruptCodeBlock; the columns
// between the block's rows (step padding) are never written; a concealed
// block holds no coefficient with a set bit below the error plane.
#include "fuzz_codeblock_format.h"

using namespace zebfuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const CodeBlockCase c = readCodeBlockCase(in, false);
    Heap<std::uint8_t> src(c.data.size());
    copyTo(src, c.data);
    Heap<int> lens(c.segLens.size());
    for (std::size_t i = 0; i < c.segLens.size(); ++i) lens[i] = c.segLens[i];
    const int stepWords = c.step() / 4;
    Heap<Zeb32s> dst(static_cast<std::size_t>(c.height - 1) * stepWords + c.width);
    dst.fill(0xA5);
    int bufSize = 0;
    ZEBFUZZ_REQUIRE(zebiDecodeGetBufSize_JPEG2K(ZebSize{c.width, c.height}, &bufSize) == zebOk);
    Heap<std::uint8_t> work(static_cast<std::size_t>(bufSize));
    work.fill(c.flags & ZEB_CB_KEEP_STATE ? 0 : 0x5A);  // the caller keeps a kept state buffer zero
    int errorPlane = -1000;
    const bool reportPlane = c.nPasses & 1;
    // A null pTermPassLen is refused; a block without segments still needs a pointer.
    int none = 0;
    const ZebResult r = zebiDecodeCodeBlock_JPEG2K_1u32s_C1R(
        src.get(), dst.get(), c.step(), ZebSize{c.width, c.height}, c.subband, c.sfBits, c.nPasses,
        c.segLens.empty() ? &none : lens.get(), static_cast<int>(c.segLens.size()), c.flags,
        reportPlane ? &errorPlane : nullptr, work.get());
    ZEBFUZZ_REQUIRE(r == zebOk || r == zebErrCorruptCodeBlock);
    for (int y = 0; y + 1 < c.height; ++y)
        for (int x = c.width; x < stepWords; ++x)
            ZEBFUZZ_REQUIRE(static_cast<std::uint32_t>(dst[static_cast<std::size_t>(y) * stepWords + x]) == 0xA5A5A5A5u);
    if (r == zebErrCorruptCodeBlock && reportPlane) {
        ZEBFUZZ_REQUIRE(errorPlane >= -1 && errorPlane <= 30);
        if ((c.flags & ZEB_CB_CONCEAL) && errorPlane >= 1)
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x) {
                    const auto v = static_cast<std::uint32_t>(dst[static_cast<std::size_t>(y) * stepWords + x]);
                    ZEBFUZZ_REQUIRE((v & ((1u << errorPlane) - 1)) == 0);
                }
    }
    return 0;
}

void zebfuzz::writeSeeds(Seeds& seeds) {
    for (const CodeBlockCase& c : encodedCodeBlocks()) {
        Output out;
        writeCodeBlockCase(out, c, false);
        seeds.add(out.b);
    }
}
