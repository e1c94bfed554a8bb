// Seed mode shared by every fuzz target: `fuzz_NAME --write-seeds DIR` writes
// the target's seed inputs into DIR (which must exist) and exits; any other
// command line goes to libFuzzer.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    if (*argc >= 3 && std::strcmp((*argv)[1], "--write-seeds") == 0) {
        zebfuzz::Seeds seeds((*argv)[2]);
        zebfuzz::writeSeeds(seeds);
        std::printf("%d seeds written to %s\n", seeds.count(), (*argv)[2]);
        std::exit(0);
    }
    return 0;
}
