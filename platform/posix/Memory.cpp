#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace vel::platform {

void AdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    // Below this a huge page would hardly be filled; the hint is not worth its system call.
    constexpr std::size_t kHintBytes = std::size_t{4} << 20;
    constexpr uintptr_t kPage = 4096;
    if (!data || bytes < kHintBytes) {
        return;
    }
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#endif
}

}  // namespace vel::platform
