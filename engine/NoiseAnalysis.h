#pragma once
// Noise levels as medians of coefficient magnitudes, gathered in fixed-range histograms.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/EngineParams.h"
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

    // kernels: the set to bin with, or null for the plain code (the same counts).
    void Add(const float* values, int64_t n, const KernelSet* kernels);
    // Adds the counts of a histogram of the same layout: exact, in any order.
    void Merge(const NoiseHistogram& other);
    // Median interpolated within its bin; 0 when nothing was added.
    float Median() const;
};

// Median of the magnitudes of cols * rows values, through a histogram of its own.
void MedianAbs(const float* values, int32_t cols, int32_t rows, float* result,
               const KernelSet* kernels);

// out[level * S + b] = MedianAbs of band b of level, for every detail band b = 1..S-1;
// out[level * S] is left as it was.
void MeasureTileNoise(BandTable bands, int32_t cols, int32_t rows, int32_t levels, int32_t S,
                      float* out, const KernelSet* kernels);

// Noise levels of one analysis, with the kind and level count they were measured for: noise
// holds 3 * S * levels entries, channel * S * levels + level * S + band.
struct NoiseProfile {
    WaveletKind kind = WaveletKind::Directional;
    int32_t levels = 0;
    std::vector<float> noise;

    // What a reduction of this kind and level count may read: the entries when they were
    // measured for both, else none (another kind's entries have another layout).
    std::span<const float> For(WaveletKind wanted, int32_t wantedLevels) const;
    bool operator==(const NoiseProfile&) const = default;
};

// The noise levels of the whole image, measured on tiles of tileSize overlapping by overlap,
// with the kind, level count (1..4) and filter of numbers. Nothing when stopped or when the
// image has no tile.
std::optional<NoiseProfile> AnalyzeNoise(ConstImagePlanes image, int32_t tileSize, int32_t overlap,
                                         const EngineNumbers& numbers, const RunContext& context);

}  // namespace vel
