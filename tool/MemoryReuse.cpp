#include "tool/MemoryReuse.h"

#include <cstdint>
#include <cstdlib>  // defines __GLIBC__ on glibc systems

#include "wavra/wavra.h"

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

#if defined(__GLIBC__)
// The heap's first part, set up for huge pages: two requests of this size
// grow it, and their pages are faulted in 2 MiB at a time when first used.
constexpr size_t kHugeRequest = size_t(30) << 20;
constexpr uintptr_t kHugePage = uintptr_t(2) << 20;

void preferHugePages() {
    // The heap grows on from a huge page's start: the pages a run touches
    // are then the same whatever address the heap was given. From wherever
    // it begins, the first huge page could start anywhere in the first
    // 2 MiB of use, and a small extraction's peak memory varied by 1.7 MiB
    // from run to run. The skipped addresses are never touched.
    // The new top chunk's 16-byte header goes just below that start: a huge
    // page's range that any write reaches before the madvise below keeps a
    // table of 4 KiB pages from then on. With the header at the start, the
    // first range, where a small run keeps all it allocates, was faulted
    // in 4 KiB at a time: 512 faults that took a third of a 512 x 512
    // extraction's time.
    constexpr uintptr_t kHeader = 16;
    char* start = static_cast<char*>(sbrk(0));
    if (start == reinterpret_cast<char*>(-1)) return;
    const uintptr_t gap =
        ((reinterpret_cast<uintptr_t>(start) + kHeader + kHugePage - 1) & ~(kHugePage - 1)) - kHeader -
        reinterpret_cast<uintptr_t>(start);
    if (gap > 0 && sbrk(intptr_t(gap)) != reinterpret_cast<void*>(-1)) start += gap;
    // Through volatile pointers: a compiler may drop a malloc whose memory
    // is never used.
    void* volatile first = malloc(kHugeRequest);
    void* volatile second = malloc(kHugeRequest);
    free(second);
    free(first);
    char* const end = static_cast<char*>(sbrk(0));
    if (end == reinterpret_cast<char*>(-1) || end <= start) return;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t to = reinterpret_cast<uintptr_t>(end) & ~(kHugePage - 1);
    // Refused where the kernel keeps no huge pages: then nothing changes.
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

// Holds the untouched rest of a worker heap's first huge page while its
// thread lives, so that nothing else is placed there.
struct HeldAddresses {
    void* block = nullptr;
    ~HeldAddresses() { free(block); }
};

// Run first on each worker thread. Its first allocation gives it an arena
// of its own, whose heap glibc maps at a multiple of 64 MiB with the
// heap's header at the start; the thread's later requests come from there
// and wait for no other thread's. The header's write leaves the first
// 2 MiB to 4 KiB faults, so that range is held empty; the heap then grows
// by one request of kHugeRequest, and from 2 MiB on it is marked for huge
// pages. Where the layout differs, this only advises the kernel about
// addresses the process never uses.
void preferHugePagesOnThisThread() {
    constexpr uintptr_t kHeapAlignment = uintptr_t(64) << 20;
    constexpr uintptr_t kProbe = 64;
    // Taken up before the probe: its first use may allocate.
    static thread_local HeldAddresses held;
    HeldAddresses& keep = held;
    void* const probe = malloc(kProbe);
    if (!probe) return;
    const uintptr_t at = reinterpret_cast<uintptr_t>(probe);
    const uintptr_t heap = at & ~(kHeapAlignment - 1);
    // A fresh heap hands out its first chunk a few KiB from its start;
    // anything else is an arena taken over from a thread that ended.
    if (at - heap < (uintptr_t(64) << 10)) {
        // Ends a little below the huge page, where the growth's header goes.
        keep.block = malloc(heap + kHugePage - at - 4 * kProbe);
        void* volatile growth = malloc(kHugeRequest);
        free(growth);
        madvise(reinterpret_cast<void*>(heap + kHugePage), kHeapAlignment - kHugePage, MADV_HUGEPAGE);
    }
    free(probe);
}
#endif

}  // namespace

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // Requests below 32 MiB (the largest threshold glibc accepts) come from
    // the heap, and the heap is trimmed only when 256 MiB lie free at its top.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    preferHugePages();
    // Each worker allocates from an arena of its own. Sharing the main one,
    // a 2-thread decode of a 4096 x 4096 window waited for its lock long
    // enough to take a fifth longer (76 ms against 64 ms, decoded in one
    // process again and again); its tree nodes, plane handles and block
    // iterators make some 80,000 requests.
    wavra::setThreadStart(preferHugePagesOnThisThread);
#endif
}
