#include "host/core/frame_buffer.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kivo::host {

void reserveFrameBuffer(std::vector<uint8_t> &buffer, size_t bytes) {
    if (buffer.capacity() >= bytes) return;
    buffer.reserve(bytes);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the buffer: the advice applies to every
    // page of the range it is given, and the memory around it is not ours.
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    const auto start = reinterpret_cast<uintptr_t>(buffer.data());
    const uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (start + buffer.capacity()) & ~(kHugePage - 1);
    // Advice only: where the system has no such pages, nothing changes.
    if (end > first) (void)::madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#endif
}

} // namespace kivo::host
