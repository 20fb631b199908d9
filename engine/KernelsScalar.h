#pragma once
// The per-sample formulas the vector kernels apply, written once for their leftover samples;
// each file includes it under its own instruction-set flags.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/Kernels.h"

namespace vel::kernels {
// Internal to each file: the copies built for different instruction sets must not be merged.
namespace {

// !(position < limit) (NaN included) gives limit - 1, below 1 gives 0, else the integer part.
inline int32_t TableIndex(float position, int32_t limit) {
    if (!(position < static_cast<float>(limit))) {
        return limit - 1;
    }
    if (position < 1.0f) {
        return 0;
    }
    return static_cast<int32_t>(position);
}

inline void ShrinkSample(const ShrinkRowArgs& a, int32_t x) {
    float activity = a.means[x];
    if (a.parent) {
        const float* p = a.parent + x;
        const float around = std::fabs(p[0]) + std::fabs(p[-a.spacing]) + std::fabs(p[a.spacing]) +
                             std::fabs(p[-a.vertical]) + std::fabs(p[a.vertical]);
        activity += a.parentFactor * around;
    }
    a.band[x] *= a.curve[TableIndex(activity * a.inverseStep + 0.5f, a.curveSize)];
}

// The running row sums of WindowMeans in a file's registers (Lanes: Apply<true> adds and
// Apply<false> subtracts one interleaved column of kKernelRows sums). Start: the window's first
// 2 * hh + 1 columns; Move to column x: past hh and up to lastCentre, the entering column is
// added and then the leaving one subtracted; elsewhere the window stands still.
template <class Lanes>
inline void StartWindow(Lanes& lanes, const float* sums, int32_t hh) {
    for (int32_t c = 0; c <= 2 * hh; ++c) {
        lanes.template Apply<true>(sums + c * kKernelRows);
    }
}
template <class Lanes>
inline void MoveWindow(Lanes& lanes, const float* sums, int32_t x, int32_t hh, int32_t lastCentre) {
    if (x > hh && x <= lastCentre) {
        lanes.template Apply<true>(sums + (x + hh) * kKernelRows);
        lanes.template Apply<false>(sums + (x - hh - 1) * kKernelRows);
    }
}

// Means of the columns from x on, block[c * kKernelRows + r] for column x + c, to their rows.
inline void MeansRest(const float* block, float* means, ptrdiff_t stride, int32_t x, int32_t cols) {
    for (int32_t c = 0; x + c < cols; ++c) {
        for (int32_t r = 0; r < kKernelRows; ++r) {
            means[r * stride + x + c] = block[c * kKernelRows + r];
        }
    }
}

inline void AdvanceInterleavedRest(float* sums, const float* const* entering,
                                   const float* const* leaving, float* interleaved, int32_t x,
                                   int32_t cols) {
    for (; x < cols; ++x) {
        float sum = sums[x];
        for (int32_t r = 0; r < kKernelRows; ++r) {
            if (entering[r]) {
                sum += entering[r][x];
                sum -= leaving[r][x];
            }
            interleaved[x * kKernelRows + r] = sum;
        }
        sums[x] = sum;
    }
}

inline constexpr float kToneMinGain = 0.1f;
inline constexpr float kToneMaxGain = 10.0f;

// The tone correction's gain of a brightness mean:
//
//  gain
//  darkGain .
//             ' .
//   1 ----------- + -----------
//                   ' .
//                        . lightGain
//          0 .. 1    128    255 .. mean
inline float ToneGain(float mean, float lightSlope, float darkSlope) {
    float t;
    if (mean < 128.0f) {
        t = std::min(128.0f - mean, 127.0f) * darkSlope;
    } else {
        t = std::min(mean - 128.0f, 127.0f) * lightSlope;
    }
    float g = 1.0f + t;
    if (g < kToneMinGain) {
        g = kToneMinGain;
    }
    if (g > kToneMaxGain) {
        g = kToneMaxGain;
    }
    // A non-finite brightness (NaN or infinity in the luma plane) has no meaningful gain;
    // such samples are left at their scale.
    if (std::isnan(g)) {
        g = 1.0f;
    }
    return g;
}

inline int32_t HistogramBin(float v, float offset, float binsPerUnit, int32_t bins) {
    return TableIndex((std::fabs(v) - offset) * binsPerUnit, bins);
}

}  // namespace
}  // namespace vel::kernels
