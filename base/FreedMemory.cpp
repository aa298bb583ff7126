#include "FreedMemory.h"

#include <cstdlib> // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
constexpr int kLargeBlock = 128 * 1024;
} // namespace

void keepLargeBlocksApart() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, kLargeBlock);
#endif
}

void returnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
