#pragma once
// Undecimated (a trous) multi-level wavelet transforms with full-size sub-bands, reconstructed
// exactly by summation. Planes are row-major float32 with row pitch = width; every neighbour
// outside a plane is clamped to the nearest edge, each axis on its own.

#include <cstddef>
#include <cstdint>

namespace vel {

enum class WaveletKind : uint8_t {
    Isotropic = 0,    // band 0 approximation, band 1 detail
    Directional = 1,  // band 0 approximation, bands 1..3 x-, y- and xy-detail
};

// Bands per level: 2 for Isotropic, 4 for Directional.
constexpr int32_t BandsPerLevel(WaveletKind kind) {
    return kind == WaveletKind::Directional ? 4 : 2;
}

// A band table is a flat array of levels * S plane pointers; entry level * S + band.
using BandTable = float* const*;

// Decomposes each given plane (p1/t1 and p2/t2 may be null) into its table. Reads the planes
// only; writes bands 0..S-1 of every level. levels < 1 writes nothing.
void WaveletDecompose(const float* p0, const float* p1, const float* p2, BandTable t0,
                      BandTable t1, BandTable t2, int32_t width, int32_t height, int32_t levels,
                      WaveletKind kind, uint32_t filterIndex);

// The inverse: writes out0 (and out1, out2 when given) from the tables; the output may be the
// decomposed plane itself. Directional also overwrites band 0 of levels 0..levels-2.
void WaveletReconstruct(float* out0, float* out1, float* out2, BandTable t0, BandTable t1,
                        BandTable t2, int32_t width, int32_t height, int32_t levels,
                        WaveletKind kind, uint32_t filterIndex);

// One isotropic level j: bands[0] = 3x3 smoothing of source with holes 2^j, bands[1] = rest.
void DecomposeLevelIsotropic(const float* source, float* const* bands, int32_t width,
                             int32_t height, int32_t level, uint32_t filterIndex);
// One directional level j: fills bands[0..3] from source.
void DecomposeLevelDirectional(const float* source, float* const* bands, int32_t width,
                               int32_t height, int32_t level, uint32_t filterIndex);
// destination = bands[0] + bands[1] + bands[2] + bands[3]; destination may be bands[0].
void ReconstructLevelDirectional(float* destination, float* const* bands, int32_t width,
                                 int32_t height);

}  // namespace vel
