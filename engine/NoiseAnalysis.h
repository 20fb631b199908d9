#pragma once
// Noise levels as medians of coefficient magnitudes, gathered in fixed-range histograms.

#include <array>
#include <cstdint>

#include "engine/EngineTypes.h"
#include "wavelet/Wavelet.h"

namespace vel {

// Magnitudes 0..50 in 4096 bins of 1/81.92; larger magnitudes, infinities and NaN are
// counted in the last bin, so every value added is counted somewhere.
struct NoiseHistogram {
    static constexpr int32_t kBins = 4096;

    float binWidth = 0.01220703125f;
    float binsPerUnit = 81.92f;
    float offset = 0.0f;
    std::array<uint32_t, kBins> counts{};
    uint32_t total = 0;

    void Add(const float* values, int64_t n);
    // Median interpolated within its bin; 0 when nothing was added.
    float Median() const;
};

// Median of the magnitudes of cols * rows values, through a histogram of its own.
void MedianAbs(const float* values, int32_t cols, int32_t rows, float* result);

// out[level * S + b] = MedianAbs of band b of level, for every detail band b = 1..S-1;
// out[level * S] is left as it was.
void MeasureTileNoise(BandTable bands, int32_t cols, int32_t rows, int32_t levels, int32_t S,
                      float* out);

// Writes 3 * S * levels noise levels (indexed channel * S * levels + level * S + band) to
// profile, and only when it runs to the end. levels must be 1..4.
void AnalyzeNoise(const float* plane0, const float* plane1, const float* plane2, int32_t width,
                  int32_t height, int32_t tileSize, int32_t overlap, float* profile,
                  uint32_t filterIndex, WaveletKind kind, int32_t levels, ProgressCallback progress,
                  PollCallback poll, const CancelFlag* cancel);

}  // namespace vel
