#pragma once
// The engine's two jobs. Both work in place on three float planes (Y, U, V on the 0..255
// scale), report progress and stop early on request; an allocation failure propagates as
// std::bad_alloc with every buffer released.

#include <cstdint>
#include <vector>

#include "engine/EngineTypes.h"
#include "settings/NoiseReductionParams.h"

namespace vel {

// Process-wide noise levels of the last completed analysis; empty when none is to be used.
std::vector<float>& NoiseProfile();

// Sizes NoiseProfile to 48 entries and fills it from the whole image, only when not stopped.
void RunNoiseAnalysis(const float* plane0, const float* plane1, const float* plane2, int32_t width,
                      int32_t height, const NoiseReductionParams& params, ProgressCallback progress,
                      PollCallback poll, const CancelFlag* cancel);

// Tone correction, tiled suppression (with NoiseProfile when it holds entries, else measured
// per tile), undo of the tone correction. A stop before the last tile leaves the planes as
// they were, up to float rounding of the tone correction.
void RunNoiseReduction(float* plane0, float* plane1, float* plane2, int32_t width, int32_t height,
                       const NoiseReductionParams& params, ProgressCallback progress,
                       PollCallback poll, const CancelFlag* cancel);

}  // namespace vel
