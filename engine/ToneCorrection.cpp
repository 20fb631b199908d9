#include "engine/ToneCorrection.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/Kernels.h"
#include "engine/KernelsScalar.h"
#include "engine/TileScheduler.h"
#include "wavelet/SampleBuffer.h"

namespace vel {
namespace {

constexpr float kSlopeScale = 0.0078125f;  // 1/128: the gain reaches its target 127 steps away
inline int32_t ClampIndex(int32_t i, int32_t size) {
    return std::clamp(i, 0, size - 1);
}

// Horizontal k-sums of n rows of src into dst, with the clamped edge: a running sum in double
// per row (entering sample added, then leaving sample subtracted), each result stored as float.
// The rows advance side by side: each one's chain of additions waits on its own last sum, so
// several independent chains keep the adders busy where one alone would wait on their latency.
template <int32_t N>
void BoxSumRows(const float* src, float* dst, int32_t width, int32_t half) {
    std::array<const float*, N> row;
    std::array<float*, N> out;
    std::array<double, N> sum{};
    for (int32_t r = 0; r < N; ++r) {
        row[static_cast<size_t>(r)] = src + static_cast<ptrdiff_t>(r) * width;
        out[static_cast<size_t>(r)] = dst + static_cast<ptrdiff_t>(r) * width;
    }
    for (int32_t i = -half; i <= half; ++i) {
        const int32_t c = ClampIndex(i, width);
        for (size_t r = 0; r < N; ++r) {
            sum[r] += static_cast<double>(row[r][c]);
        }
    }
    for (size_t r = 0; r < N; ++r) {
        out[r][0] = static_cast<float>(sum[r]);
    }
    for (int32_t x = 1; x < width; ++x) {
        const int32_t entering = ClampIndex(x + half, width);
        const int32_t leaving = ClampIndex(x - half - 1, width);
        for (size_t r = 0; r < N; ++r) {
            sum[r] += static_cast<double>(row[r][entering]);
            sum[r] -= static_cast<double>(row[r][leaving]);
            out[r][x] = static_cast<float>(sum[r]);
        }
    }
}

constexpr int32_t kBoxRows = 4;

void HorizontalBoxSums(const float* src, float* dst, int32_t width, int32_t height, int32_t half,
                       bool sideBySide) {
    int32_t y = 0;
    for (; sideBySide && y + kBoxRows <= height; y += kBoxRows) {
        const ptrdiff_t offset = static_cast<ptrdiff_t>(y) * width;
        BoxSumRows<kBoxRows>(src + offset, dst + offset, width, half);
    }
    for (; y < height; ++y) {
        const ptrdiff_t offset = static_cast<ptrdiff_t>(y) * width;
        BoxSumRows<1>(src + offset, dst + offset, width, half);
    }
}

}  // namespace

int32_t ToneBoxSize(int32_t width, int32_t height) {
    assert(width >= 1 && height >= 1);
    const double n = static_cast<double>(width) * static_cast<double>(height);
    const double root = std::sqrt(std::sqrt(n)) + 0.5;
    // The root of at most 2^62 samples is far inside int32.
    int32_t k = static_cast<int32_t>(root);
    if (k < 3) {
        k = 3;
    }
    return k | 1;
}

void ComputeToneGains(const float* plane0, int32_t width, int32_t height, float lightGain,
                      float darkGain, float* gainMap, float* scratch, PartPool* pool) {
    assert(width >= 1 && height >= 1);
    const int32_t k = ToneBoxSize(width, height);
    const int32_t half = k / 2;
    const float inverseArea = 1.0f / static_cast<float>(static_cast<int64_t>(k) * k);
    const float lightSlope = (lightGain - 1.0f) * kSlopeScale;
    const float darkSlope = (darkGain - 1.0f) * kSlopeScale;

    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::unique_ptr<float[]> own;
    if (!scratch) {
        own = MakeSampleBuffer(count);
        scratch = own.get();
    }
    float* const rowSums = scratch;
    std::vector<double> columnSums(static_cast<size_t>(width), 0.0);
    PartPool alone(1);
    PartPool& parts = pool ? *pool : alone;
    const KernelSet* const set = ActiveKernels();
    // The reference sums one row at a time.
    const bool sideBySide = set != nullptr;
    parts.RunRows(height, [&](int32_t begin, int32_t end) {
        HorizontalBoxSums(plane0 + static_cast<ptrdiff_t>(begin) * width,
                          rowSums + static_cast<ptrdiff_t>(begin) * width, width, end - begin, half,
                          sideBySide);
    });

    // Vertical k-sums of the row sums, one running double per column, advanced row by row;
    // each finished row of means is turned into gains at once, so no plane of means is kept.
    // The columns are independent, so strips of them run on the threads.
    const int32_t strips = std::max(int32_t{1}, std::min((width + 63) / 64, 4 * parts.Threads()));
    parts.Run(strips, [&](int64_t piece) {
        const auto x0 = static_cast<int32_t>(static_cast<int64_t>(width) * piece / strips);
        const auto x1 = static_cast<int32_t>(static_cast<int64_t>(width) * (piece + 1) / strips);
        const auto n = static_cast<size_t>(x1 - x0);
        double* const strip = columnSums.data() + x0;
        const float* sums = rowSums + x0;
        for (int32_t j = -half; j <= half; ++j) {
            const float* src = sums + static_cast<ptrdiff_t>(ClampIndex(j, height)) * width;
            for (size_t x = 0; x < n; ++x) {
                strip[x] += static_cast<double>(src[x]);
            }
        }
        for (int32_t y = 0; y < height; ++y) {
            if (y > 0) {
                const float* entering =
                    sums + static_cast<ptrdiff_t>(ClampIndex(y + half, height)) * width;
                const float* leaving =
                    sums + static_cast<ptrdiff_t>(ClampIndex(y - half - 1, height)) * width;
                for (size_t x = 0; x < n; ++x) {
                    double& sum = strip[x];
                    sum += static_cast<double>(entering[x]);
                    sum -= static_cast<double>(leaving[x]);
                }
            }
            const ptrdiff_t base = static_cast<ptrdiff_t>(y) * width + x0;
            float* const gains = gainMap + base;
            if (set) {
                set->toneGains(strip, gains, static_cast<int64_t>(n),
                               static_cast<double>(inverseArea), lightSlope, darkSlope);
            } else {
                for (size_t x = 0; x < n; ++x) {
                    const float mean =
                        static_cast<float>(strip[x] * static_cast<double>(inverseArea));
                    gains[x] = kernels::ToneGain(mean, lightSlope, darkSlope);
                }
            }
        }
    });
}

void DivideOutGains(const float* const (&from)[3], float* const (&to)[3], const float* gains,
                    size_t n) {
    // The reciprocals of a stretch of samples first, then each plane on its own: loops of two
    // or three arrays that the compiler runs across samples, where one loop over all seven
    // stays one sample at a time.
    constexpr size_t kStretch = 1024;
    std::array<float, kStretch> reciprocals;
    for (size_t i0 = 0; i0 < n; i0 += kStretch) {
        const size_t m = std::min(kStretch, n - i0);
        for (size_t i = 0; i < m; ++i) {
            reciprocals[i] = 1.0f / gains[i0 + i];
        }
        for (int c = 0; c < 3; ++c) {
            const float* source = from[c] + i0;
            float* target = to[c] + i0;
            for (size_t i = 0; i < m; ++i) {
                target[i] = source[i] * reciprocals[i];
            }
        }
    }
}

}  // namespace vel
