// The GS compiler on its own: the arguments are the compiler's, and the
// exit code is its number of errors. The parent sees only the low 8 bits of
// an exit code, so a count of 256 would read as success: counts from 255 up
// all end with 255.
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "gs/compiler/CompilerMain.h"

namespace {

constexpr int kMostErrorsShown = 255;

int ExitCode(int errors) { return errors == 0 ? 0 : errors > 0 && errors < kMostErrorsShown ? errors : kMostErrorsShown; }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GSC_OWN_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define GSC_OWN_ALLOCATOR 0
#endif
#endif
#ifndef GSC_OWN_ALLOCATOR
#define GSC_OWN_ALLOCATOR 1
#endif

// A compile fills tens of megabytes of heap (the syntax tree is most of
// it), reads it a few times and exits. Taken 4 KiB at a time, the first
// touch of each page costs more than the checker: a fifth of the run went
// to page faults. So the heap grows in one step, kept whole (nothing is
// handed back before exit, large buffers included), and is offered to the
// kernel for 2 MiB pages, which it gives where transparent huge pages are
// enabled or on request ("madvise"). Elsewhere the call fails and the
// compile runs as before. Address space only: what is never touched costs
// nothing.
void UseLargeHeapPages()
{
#if GSC_OWN_ALLOCATOR && defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    constexpr int kHeapStep = 256 << 20;
    constexpr int kLargestFromHeap = 32 << 20;  // the most the allocator takes
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    constexpr size_t kProbe = 1 << 20;
    if (mallopt(M_TOP_PAD, kHeapStep) == 0 || mallopt(M_TRIM_THRESHOLD, kHeapStep) == 0)
        return;
    mallopt(M_MMAP_THRESHOLD, kLargestFromHeap);
    // The heap may have begun already (for the library's own set-up): a
    // block larger than what is left of it makes it grow by the step now.
    void* probe = std::malloc(kProbe);
    void* top = ::sbrk(0);
    if (!probe || top == reinterpret_cast<void*>(-1)) {
        std::free(probe);
        return;
    }
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(probe) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(top) & ~(kHugePage - 1);
    // The probe lies in the heap below its top, unless the allocator took
    // it from a mapping of its own.
    if (begin < end && end - begin <= uintptr_t(kHeapStep) + kHugePage)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    std::free(probe);
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    UseLargeHeapPages();
    return ExitCode(CompilerMain(argc, argv, true));
}
