#include "wavelet/BandBlock.h"

#include <limits>
#include <new>

#include "wavelet/SampleBuffer.h"

namespace vel {
namespace {

// Floats between neighbouring planes. Tile planes are a power of two apart in size, so the same
// sample of every band would fall into the same cache sets and the transforms, which walk several
// bands at once, would evict their own rows; an odd number of cache lines apart they spread out.
constexpr size_t kPlaneGap = 33 * 16;

}  // namespace

BandBlock::BandBlock(int32_t width, int32_t height, int32_t levels, WaveletKind kind)
    : bandsPerLevel_(BandsPerLevel(kind)) {
    if (width < 1 || height < 1 || levels < 1) {
        return;
    }
    // Checked in 64 bits so that no product wraps, on 32-bit targets included.
    constexpr uint64_t kMaxFloats =
        static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max()) / sizeof(float);
    const uint64_t planes64 = static_cast<uint64_t>(levels) * static_cast<uint64_t>(bandsPerLevel_);
    const uint64_t plane64 = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (plane64 + kPlaneGap > kMaxFloats / planes64) {
        throw std::bad_alloc();
    }
    const size_t planes = static_cast<size_t>(planes64);
    const size_t plane = static_cast<size_t>(plane64);
    storage_ = MakeSampleBuffer((plane + kPlaneGap) * planes);
    table_.resize(planes);
    for (size_t i = 0; i < planes; ++i) {
        table_[i] = storage_.get() + i * (plane + kPlaneGap);
    }
    if (kind == WaveletKind::Directional) {
        scratch_ = std::make_unique_for_overwrite<float[]>(
            DirectionalScratchFloats(width, height, levels));
    }
    planeSize_ = plane;
    levels_ = levels;
}

}  // namespace vel
