#include "tool/MemoryReuse.h"

#include <cstdlib>  // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // Requests below 32 MiB (the largest threshold glibc accepts) come from
    // the heap, and the heap is trimmed only when 256 MiB lie free at its top.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}
