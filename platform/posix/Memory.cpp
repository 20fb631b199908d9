#include "platform/Memory.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

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

std::optional<std::uint64_t> AddressSpaceAvailable() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    // The mapped size, in pages, is the first field of /proc's statm; without /proc the
    // usage, and so what is left, is unknown.
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) {
        return std::nullopt;
    }
    unsigned long long pages = 0;
    const bool read = std::fscanf(statm, "%llu", &pages) == 1;
    std::fclose(statm);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (!read || pageSize <= 0 || pages > UINT64_MAX / static_cast<std::uint64_t>(pageSize)) {
        return std::nullopt;
    }
    const std::uint64_t used = pages * static_cast<std::uint64_t>(pageSize);
    const auto cap = static_cast<std::uint64_t>(limit.rlim_cur);
    return cap > used ? cap - used : 0;
}

}  // namespace vel::platform
