#pragma once
// Brightness-dependent gain: the suppression works on the samples times a gain and the result is
// divided by it again, so that light or dark areas lose more (gain < 1) or less (gain > 1)
// detail.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/EngineTypes.h"

namespace vel {

// Side of the square box whose mean measures local brightness: the fourth root of the sample
// count rounded to nearest, at least 3, made odd. The corrections, like this, take images of at
// least 1 x 1.
int32_t ToneBoxSize(int32_t width, int32_t height);

// Gains of exactly 1.0 and 1.0 correct nothing: no gain map is made.
inline bool ToneCorrectionActive(float lightGain, float darkGain) {
    return !(lightGain == 1.0f && darkGain == 1.0f);
}

// The gains row by row, top to bottom, keeping only the last rows made: the reduction takes
// them tile row by tile row, so that no whole-picture map is needed. Making row y reads plane0's
// row y + ToneBoxSize / 2 (clamped) once; rows above it may change afterwards. Each gain is
// taken from the clamped box mean of plane0.
class ToneGainStream {
  public:
    // Keeps keptRows (>= 1) rows of gains; throws std::bad_alloc when they do not fit.
    // kernels: the set to make the gains with, or null for the plain code (the same bits).
    ToneGainStream(const float* plane0, int32_t width, int32_t height, float lightGain,
                   float darkGain, int32_t keptRows, const KernelSet* kernels);

    // Makes the rows up to end (exclusive, at most the height).
    void Advance(int32_t end);
    // Row y, made and among the last keptRows made.
    const float* Row(int32_t y) const;

  private:
    float* Slot(std::unique_ptr<float[]>& ring, int32_t ringRows, int32_t y) const {
        return ring.get() + static_cast<ptrdiff_t>(y % ringRows) * width_;
    }
    void SumRow(int32_t y);

    const float* plane0_;
    const KernelSet* kernels_;
    int32_t width_;
    int32_t height_;
    int32_t half_;
    int32_t kept_;
    int32_t sumRows_;  // the box's rows and the one leaving it
    int32_t made_ = 0;
    int32_t summed_ = 0;  // plane0's rows whose horizontal sums are in the ring
    double inverseArea_;
    float lightSlope_;
    float darkSlope_;
    std::vector<double> columnSums_;
    std::unique_ptr<float[]> rowSums_;
    std::unique_ptr<float[]> gains_;
};

// The whole map at once: gainMap holds width * height floats.
void ComputeToneGains(const float* plane0, int32_t width, int32_t height, float lightGain,
                      float darkGain, float* gainMap, const KernelSet* kernels);

}  // namespace vel
