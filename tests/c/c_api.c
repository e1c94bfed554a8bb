/* The public header as plain C99, and a few calls through the shared library. */
#include <stdio.h>
#include <string.h>

#include "zeb.h"

static int failures = 0;
#define EXPECT(cond)                                                   \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

int main(void) {
    const ZebVersionRecord* v = zebjGetLibVersion();
    EXPECT(v != NULL && v->versionMajor == 5 && v->versionMinor == 2);
    EXPECT(strcmp(v->libraryName, "libzebjq5.so.5.2") == 0);

    Zeb8u* block = zebsMalloc_8u(100);
    EXPECT(block != NULL && ((size_t)block % 32) == 0);
    EXPECT(zebsSet_8u(9, block, 100) == zebOk && block[99] == 9);
    zebsFree(block);

    Zeb16u q[3] = {1, 3, 255};
    EXPECT(zebsDivCRev_16u_I(32768, q, 3) == zebOk && q[1] == 10923);

    ZebSize roi = {2, 2};
    Zeb8u src[4] = {1, 2, 3, 255};
    Zeb16u dst[4];
    EXPECT(zebiConvert_8u16u_C1R(src, 2, dst, 4, roi) == zebOk && dst[3] == 255);
    EXPECT(zebiConvert_8u16u_C1R(src, 0, dst, 4, roi) == zebErrStep);
    EXPECT(zebcoreGetNumThreads() >= 1);

    printf("C API checks: %s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
