#include "common/harness.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace zebtest {

std::vector<int> kernelLengths(int width, int extraLong) {
    std::vector<int> lens;
    for (int n = 1; n <= 3 * width + 5; ++n) lens.push_back(n);
    for (int n : {4 * width + 1, 8 * width - 1, 16 * width + 3, 257, 1000})
        if (n > lens.back()) lens.push_back(n);
    if (extraLong > lens.back()) lens.push_back(extraLong);
    return lens;
}

PageGuardedBuffer::PageGuardedBuffer(std::size_t bytes, bool atStart) : bytes_(bytes) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t dataPages = (bytes + page - 1) / page + 1;
    mapBytes_ = (dataPages + 1) * page;
    void* m = mmap(nullptr, mapBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) std::abort();
    map_ = static_cast<std::uint8_t*>(m);
    if (atStart) {
        mprotect(map_, page, PROT_NONE);
        data_ = map_ + page;
    } else {
        mprotect(map_ + dataPages * page, page, PROT_NONE);
        data_ = map_ + dataPages * page - bytes;
    }
}

PageGuardedBuffer::~PageGuardedBuffer() { munmap(map_, mapBytes_); }

}  // namespace zebtest
