#pragma once
// The programs' allocator setting: freed buffers are kept for the next
// request instead of going back to the system at once.

// The decoder and encoder allocate and free buffers of a few megabytes for
// every strip of a region, every block row and every subband. Given back to
// the system each time (glibc maps sizes from 128 KiB on afresh), every page of every
// buffer is faulted in and zeroed by the kernel again, which took more time
// than the decoding itself. Kept in the heap, they are reused; the peak
// memory stays what the largest strip needs. The heap's first 60 MiB are
// also marked for huge pages: first use then faults in 2 MiB at a time
// instead of 4 KiB, which on a virtual machine cost more than a small
// extraction's coding (a 1024 x 1024 extraction: 6,000 faults and 0.12 s
// down to 700 and 0.06 s; its peak resident memory grows by about 2 MiB).
// Each worker thread's own heap gets the same from its second 2 MiB on.
// Each program calls it first; a library host keeps its own allocator
// settings.
void keepFreedMemoryForReuse();
