#pragma once
// Undecimated (a trous) multi-level wavelet transforms with full-size sub-bands, reconstructed
// exactly by summation. Planes are row-major float32 with row pitch = width; every neighbour
// outside a plane is clamped to the nearest edge, each axis on its own.

#include <cstddef>
#include <cstdint>

namespace vel {

struct WaveletKernels;

// A plane, or a rectangle inside one: row y starts at data + y * stride (stride >= width).
// Lets a transform read a sub-rectangle of a larger plane without copying it.
template <class T>
struct BasicPlaneView {
    T* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    ptrdiff_t stride = 0;

    T* Row(int64_t y) const { return data + static_cast<ptrdiff_t>(y) * stride; }
    operator BasicPlaneView<const T>() const { return {data, width, height, stride}; }
};
using PlaneView = BasicPlaneView<float>;
using ConstPlaneView = BasicPlaneView<const float>;

// A packed width x height plane (stride = width).
inline PlaneView PackedPlane(float* data, int32_t width, int32_t height) {
    return {data, width, height, width};
}
inline ConstPlaneView PackedPlane(const float* data, int32_t width, int32_t height) {
    return {data, width, height, width};
}

enum class WaveletKind : uint8_t {
    Isotropic = 0,    // band 0 approximation, band 1 detail
    Directional = 1,  // band 0 approximation, bands 1..3 x-, y- and xy-detail
};

// Bands per level: 2 for Isotropic, 4 for Directional. Every operation treats a value other
// than Directional as Isotropic, consistently with this count.
constexpr int32_t BandsPerLevel(WaveletKind kind) {
    return kind == WaveletKind::Directional ? 4 : 2;
}

// A band table is a flat array of levels * S plane pointers; entry level * S + band. Every band
// is a packed plane of the decomposed plane's width and height.
using BandTable = float* const*;

// A smoothing filter: taps t0, t1, t2 applied at offsets -d, 0 and +d.
struct SmoothingFilter {
    float taps[3];
};

// The filter, as written; every level step normalises its own copy.
inline constexpr SmoothingFilter kSmoothingFilter = {{0.5f, 1.0f, 0.5f}};

// Both kinds have one written form, for a symmetric filter (t0 == t2) with a positive sum.
static_assert(kSmoothingFilter.taps[0] == kSmoothingFilter.taps[2] &&
              (kSmoothingFilter.taps[0] + kSmoothingFilter.taps[1]) + kSmoothingFilter.taps[2] >
                  0.0f);

// The filter scaled so its taps sum to 1: sum = ((t0 + t1) + t2) in float, then each tap times
// the float reciprocal 1.0f / sum.
SmoothingFilter NormalisedSmoothingFilter();

// Tap spacing of a level, 2^level, for planes of the given size. level < 0 counts as 0. Any
// spacing of at least max(width, height) clamps every neighbour to an edge, so the result is
// capped there and never overflows.
int32_t LevelDilation(int32_t level, int32_t width, int32_t height);

// Decomposes one plane into its table. Reads the plane only; writes bands 0..S-1 of every
// level. levels < 1 or an empty plane writes nothing. kernels: a vector set giving the same
// bits, or null for the plain loops. scratch: DirectionalScratchFloats floats for the
// directional kernels, or null (they then make their own).
void WaveletDecompose(ConstPlaneView plane, BandTable table, int32_t levels, WaveletKind kind,
                      const WaveletKernels* kernels = nullptr, float* scratch = nullptr);

// Floats of the rows the directional kernels keep while decomposing a width x height plane into
// levels levels; 0 for an empty plane or no level.
size_t DirectionalScratchFloats(int32_t width, int32_t height, int32_t levels);

// The inverse: writes out (of the decomposed plane's size) from the table; out may be the
// decomposed plane itself. Directional also overwrites band 0 of levels 0..levels-2.
void WaveletReconstruct(PlaneView out, BandTable table, int32_t levels, WaveletKind kind,
                        const WaveletKernels* kernels = nullptr);

// The level steps, called by the drivers above for planes of at least 1 x 1.
// One isotropic level j: bands[0] = 3x3 smoothing of source with holes 2^j, bands[1] = rest.
void DecomposeLevelIsotropic(ConstPlaneView source, float* const* bands, int32_t level,
                             const WaveletKernels* kernels = nullptr);
// One directional level j: fills bands[0..3] from source. scratch: as for WaveletDecompose
// (at least DirectionalScratchFloats for level + 1 levels), or null.
void DecomposeLevelDirectional(ConstPlaneView source, float* const* bands, int32_t level,
                               const WaveletKernels* kernels = nullptr, float* scratch = nullptr);
// destination = (bands[0] + bands[2]) + (bands[1] + bands[3]) in float: the row-smoothed and
// the row-detail parts are restored first (often exactly, as bands 2 and 3 are differences
// from bands 0 and 1), then joined. destination may be bands[0].
void ReconstructLevelDirectional(PlaneView destination, float* const* bands,
                                 const WaveletKernels* kernels = nullptr);

// One row, n samples: low = row smoothed with the normalised taps t0, t1, t0 at spacing
// dilation (below 1 counts as 1), high = source - low. The source is only read; low and high
// must not overlap it.
void SplitRows(const float* source, float* low, float* high, int32_t n, float t0, float t1,
               int32_t dilation);

}  // namespace vel
