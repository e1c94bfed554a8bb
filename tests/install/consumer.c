/* Links against the installed library and checks one call. */
#include <stdio.h>
#include <string.h>

#include <zeb.h>

int main(void) {
    const ZebVersionRecord* v = zebjGetLibVersion();
    Zeb16u q[2] = {3, 0};
    int ok = strcmp(v->versionText, "5.2") == 0 && zebsDivCRev_16u_I(32768, q, 2) == zebWrnDivByZero &&
             q[0] == 10923 && q[1] == 65535;
    printf("%s %s\n", v->libraryName, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
