#pragma once
// Sub-band noise suppression: every detail coefficient is scaled by a gain read from an
// S-shaped curve of its local activity relative to the band's noise level.

#include <cstdint>
#include <span>

#include <memory>
#include <vector>

#include "engine/EngineParams.h"
#include "engine/EngineTypes.h"
#include "wavelet/BandBlock.h"
#include "wavelet/Wavelet.h"

namespace vel {

inline constexpr int32_t kGainCurveSize = 1024;
// The window and parent tables cover this many levels.
inline constexpr int32_t kMaxLevels = 4;

// Orientation of the activity window: along the edges a detail band responds to.
enum class WindowShape : uint8_t {
    Square,  // xy-detail of Directional, the detail band of Isotropic
    Tall,    // x-detail of Directional
    Wide,    // y-detail of Directional
};

struct WindowHalfSizes {
    int32_t vertical;    // hv: the window is 2 * hv + 1 rows
    int32_t horizontal;  // hh: the window is 2 * hh + 1 columns
};

// Half-sizes for level 0..3 (other levels use the nearest table entry).
WindowHalfSizes WindowHalfSizesFor(int32_t level, WindowShape shape);
// Spacing s of the parent's plus-shaped neighbourhood for level 0..3: 1, 1, 2, 3.
int32_t ParentSpacing(int32_t level);
// The window shape of detail band b (1..S-1) of the given kind.
WindowShape ShapeOfBand(WaveletKind kind, int32_t band);

// Fills curve[0..1023]: entry i is the gain for an activity of i/100 times noiseLevel, never
// below floor, entry 1023 exactly 1. noiseLevel must be > 0.
void GainCurve(float noiseLevel, float exponent, float floor, float* curve);

// Floats of the row buffers ShrinkSubband's vector kernels use for bands of up to cols columns.
size_t ShrinkRowScratchFloats(int32_t cols);

// How one band is shrunk: its noise level, its wavelet level (0 finest), the gain curve's floor
// and exponent, and the window's shape. Named, because three adjacent floats are easily swapped.
struct BandShrink {
    float noiseLevel = 0.0f;
    int32_t level = 0;
    float floor = 0.0f;
    float exponent = 2.0f;
    WindowShape shape = WindowShape::Square;
    const KernelSet* kernels = nullptr;  // null: the plain code (the same bits)
};

// Scales the cols * rows coefficients (at least 1 x 1) of band in place. parent is the same band
// one level coarser, or null; work is a cols * rows scratch plane; rowScratch
// (ShrinkRowScratchFloats floats, or null: the call then makes its own) serves the vector kernels.
// A noise level that is not a finite positive number (an all-zero profile entry) leaves the band
// unchanged.
void ShrinkSubband(float* band, const float* parent, int32_t cols, int32_t rows,
                   const BandShrink& how, float* work, float* rowScratch = nullptr);

// DenoiseTile's buffers for tiles of up to maxCols x maxRows, made once and reused.
struct DenoiseScratch {
    DenoiseScratch(int32_t maxCols, int32_t maxRows, int32_t levels, WaveletKind kind);

    BandBlock bands;
    std::unique_ptr<float[]> work;
    std::unique_ptr<float[]> rows;
    std::vector<float> noise;
};

// Denoises the three packed tile planes (at least 1 x 1) in place (plane 0 luma, planes 1 and 2
// chroma) with the numbers' thresholds, floors, curve, kind and levels (1..4). profile (laid out
// as NoiseProfile for that kind and level count) may be empty: the noise is then measured on the
// tile. On a stop the channels not yet reconstructed are left as they came in. scratch, made for
// the numbers' kind and levels and at least the tile's size, may be null: the call then makes its
// own. sources, when given, are where the three channels are read from instead (views of the
// tile's size into the image, so that no copy is made first); the tile planes then receive the
// results, and on a stop the sources of the channels not reconstructed.
void DenoiseTile(ImagePlanes tile, const EngineNumbers& numbers, std::span<const float> profile,
                 const RunContext& context, DenoiseScratch* scratch = nullptr,
                 const ConstPlaneView* sources = nullptr);

}  // namespace vel
