#include "wavelet/SampleBuffer.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vel {
namespace {

// Below this a huge page would hardly be filled; the hint is not worth its system call.
constexpr size_t kHugeHintBytes = size_t{4} << 20;

void AdviseHugePages([[maybe_unused]] float* data, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < kHugeHintBytes) {
        return;
    }
    // The whole pages inside the buffer; a hint only, so a refusal changes nothing.
    constexpr uintptr_t kPage = 4096;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#endif
}

}  // namespace

std::unique_ptr<float[]> MakeSampleBuffer(size_t count) {
    auto buffer = std::make_unique_for_overwrite<float[]>(count);
    AdviseHugePages(buffer.get(), count * sizeof(float));
    return buffer;
}

}  // namespace vel
