// zebimg: the sample codec tool.  For now: `zebimg demo` prints the version
// record and runs a short self-check of the library's functions.
#include <cstdio>
#include <cstring>

#include "zeb.h"

namespace {

int check(const char* what, bool ok) {
    std::printf("  %-44s %s\n", what, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

int demo() {
    const ZebVersionRecord* v = zebjGetLibVersion();
    std::printf("%s %s (%d.%d build %d.%d, target \"%.4s\", %s)\n", v->libraryName, v->versionText, v->versionMajor,
                v->versionMinor, v->buildMajor, v->buildNumber, v->targetCode, v->buildDate);
    std::printf("threads: %d\nself-check:\n", zebcoreGetNumThreads());
    int failed = 0;

    Zeb8u* block = zebsMalloc_8u(256);
    failed += check("zebsMalloc_8u: 32-byte aligned block", block && reinterpret_cast<size_t>(block) % 32 == 0);
    failed += check("zebsSet_8u / zebsCopy_8u", block && zebsSet_8u(0x5A, block, 128) == zebOk &&
                                                    zebsCopy_8u(block, block + 128, 128) == zebOk &&
                                                    block[255] == 0x5A);
    zebsFree(block);

    Zeb16u q[3] = {1, 3, 255};
    failed += check("zebsDivCRev_16u_I: 32768 / {1, 3, 255}",
                    zebsDivCRev_16u_I(32768, q, 3) == zebOk && q[0] == 32768 && q[1] == 10923 && q[2] == 129);

    Zeb16s nat[64], zz[64];
    for (int i = 0; i < 64; ++i) zz[i] = static_cast<Zeb16s>(i);
    failed += check("zebiZigzagInv8x8_16s_C1: T.81 order",
                    zebiZigzagInv8x8_16s_C1(zz, nat) == zebOk && nat[2] == 5 && nat[8] == 2 && nat[63] == 63);

    const Zeb8u px[4] = {0, 1, 128, 255};
    Zeb16u wide[4];
    failed += check("zebiConvert_8u16u_C1R", zebiConvert_8u16u_C1R(px, 2, wide, 4, ZebSize{2, 2}) == zebOk &&
                                                 wide[2] == 128 && wide[3] == 255);
    std::printf(failed ? "self-check FAILED\n" : "self-check passed\n");
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "demo") == 0) return demo();
    std::fprintf(stderr, "usage: zebimg demo\n");
    return 2;
}
