// The constant version record.
#include "zeb.h"

namespace {
constexpr ZebVersionRecord kVersion = {
    5, 2, 108, 390, {'q', '5', '\0', '\0'}, "libzebjq5.so.5.2", "5.2", "Jul 11 2007",
};
}  // namespace

extern "C" ZEB_API const ZebVersionRecord* zebjGetLibVersion(void) { return &kVersion; }
