#pragma once
// The tiled reduction driver: cuts the planes into overlapping tiles, denoises each and
// blends the results back.

#include <cstdint>

#include "engine/EngineTypes.h"
#include "wavelet/Wavelet.h"

namespace vel {

// Denoises the three planes in place. noiseProfile (laid out as NoiseProfile, 3 * S * levels
// entries) may be null: each tile then measures its own noise. A stop found at a tile start
// leaves the planes untouched; levels must be 1..4 and 0 <= 2 * overlap < tileSize.
void ReduceNoise(float* plane0, float* plane1, float* plane2, int32_t width, int32_t height,
                 int32_t tileSize, int32_t overlap, float lumaThresholdFactor,
                 float chromaThresholdFactor, uint32_t filterIndex, float lumaFloor,
                 float chromaFloor, float curveExponent, WaveletKind kind, int32_t levels,
                 const float* noiseProfile, ProgressCallback progress, PollCallback poll,
                 const CancelFlag* cancel);

}  // namespace vel
