#pragma once
// Brightness-dependent gain: the suppression works on the samples times a gain and the result is
// divided by it again, so that light or dark areas lose more (gain < 1) or less (gain > 1)
// detail.

#include <cstddef>
#include <cstdint>

#include "engine/TileScheduler.h"

namespace vel {

// Side of the square box whose mean measures local brightness: the fourth root of the sample
// count rounded to nearest, at least 3, made odd. The corrections, like this, take images of at
// least 1 x 1.
int32_t ToneBoxSize(int32_t width, int32_t height);

// Gains of exactly 1.0 and 1.0 correct nothing: no gain map is made.
inline bool ToneCorrectionActive(float lightGain, float darkGain) {
    return !(lightGain == 1.0f && darkGain == 1.0f);
}

// Stores in gainMap (width * height floats) each sample's gain, taken from the clamped box mean
// of plane0. The reduction multiplies its tiles' input by it and divides it out of the result.
// scratch: width * height floats the call may overwrite, or null (it then makes its own). pool:
// the threads to share the passes with, or null for the calling thread alone.
void ComputeToneGains(const float* plane0, int32_t width, int32_t height, float lightGain,
                      float darkGain, float* gainMap, float* scratch = nullptr,
                      PartPool* pool = nullptr);

// The undo's arithmetic on n samples: to[c][i] = from[c][i] * (1 / gains[i]) for the three
// planes; from may be to. The reduction's final copy applies it on the way out.
void DivideOutGains(const float* const (&from)[3], float* const (&to)[3], const float* gains,
                    size_t n);

}  // namespace vel
