/* libzebcore: owns the thread count that libzebjq5's whole-image functions
 * request for their parallel row loops. */
#include <unistd.h>

#include "zeb.h"

ZEBCORE_API int threads_omp_of_n_zeb = 1;

__attribute__((constructor)) static void zebcoreInitThreadCount(void) {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    threads_omp_of_n_zeb = n > 0 ? (int)n : 1;
}

ZEBCORE_API void zebcoreSetNumThreads(int numThreads) { threads_omp_of_n_zeb = numThreads < 1 ? 1 : numThreads; }

ZEBCORE_API int zebcoreGetNumThreads(void) { return threads_omp_of_n_zeb; }
