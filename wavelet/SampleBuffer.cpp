#include "wavelet/SampleBuffer.h"

#include "platform/Memory.h"

namespace vel {

std::unique_ptr<float[]> MakeSampleBuffer(size_t count) {
    auto buffer = std::make_unique_for_overwrite<float[]>(count);
    platform::AdviseHugePages(buffer.get(), count * sizeof(float));
    return buffer;
}

}  // namespace vel
