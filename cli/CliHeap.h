#pragma once

// The heap of a command that builds large sets (a data set read, a schema imported).

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

/**
 * Building the sets of a model's data set touches tens of megabytes of fresh heap, and faulting it
 * in page by page costs more than parsing it. Let the heap grow in large steps and ask the kernel
 * for transparent huge pages there (honoured when THP is set to "madvise" or "always"; harmless
 * otherwise), and keep large buffers on that heap.
 */
inline void CliPrepareHeap()
{
#if defined(__GLIBC__) && defined(__linux__)
    constexpr size_t kPad = size_t(256) << 20;
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_TOP_PAD, static_cast<int>(kPad));
    void* probe = std::malloc(4 << 20); // makes the heap grow now, by the pad
    void* end = sbrk(0);
    if (probe && end != reinterpret_cast<void*>(-1)) {
        const uintptr_t page = 2u << 20;
        const uintptr_t from = (reinterpret_cast<uintptr_t>(probe) + page - 1) & ~(page - 1);
        const uintptr_t to = reinterpret_cast<uintptr_t>(end);
        if (to > from)
            madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    std::free(probe);
#endif
}
