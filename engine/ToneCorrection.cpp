#include "engine/ToneCorrection.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/Kernels.h"
#include "engine/KernelsScalar.h"
#include "wavelet/SampleBuffer.h"

namespace vel {
namespace {

constexpr float kSlopeScale = 0.0078125f;  // 1/128: the gain reaches its target 127 steps away
inline int32_t ClampIndex(int32_t i, int32_t size) {
    return std::clamp(i, 0, size - 1);
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

ToneGainStream::ToneGainStream(const float* plane0, int32_t width, int32_t height, float lightGain,
                               float darkGain, int32_t keptRows, const KernelSet* kernels)
    : plane0_(plane0),
      kernels_(kernels),
      width_(width),
      height_(height),
      half_(ToneBoxSize(width, height) / 2),
      kept_(keptRows),
      sumRows_(2 * half_ + 2),
      lightSlope_((lightGain - 1.0f) * kSlopeScale),
      darkSlope_((darkGain - 1.0f) * kSlopeScale),
      columnSums_(static_cast<size_t>(width), 0.0),
      rowSums_(MakeSampleBuffer(static_cast<size_t>(sumRows_) * static_cast<size_t>(width))),
      gains_(MakeSampleBuffer(static_cast<size_t>(keptRows) * static_cast<size_t>(width))) {
    assert(width >= 1 && height >= 1 && keptRows >= 1);
    const int32_t k = 2 * half_ + 1;
    inverseArea_ = static_cast<double>(1.0f / static_cast<float>(static_cast<int64_t>(k) * k));
}

// Horizontal k-sums of plane0's row y into its ring slot, with the clamped edge: a running sum
// in double (entering sample added, then leaving sample subtracted), each result stored as
// float.
void ToneGainStream::SumRow(int32_t y) {
    const float* row = plane0_ + static_cast<ptrdiff_t>(y) * width_;
    float* out = Slot(rowSums_, sumRows_, y);
    double sum = 0.0;
    for (int32_t i = -half_; i <= half_; ++i) {
        sum += static_cast<double>(row[ClampIndex(i, width_)]);
    }
    out[0] = static_cast<float>(sum);
    for (int32_t x = 1; x < width_; ++x) {
        sum += static_cast<double>(row[ClampIndex(x + half_, width_)]);
        sum -= static_cast<double>(row[ClampIndex(x - half_ - 1, width_)]);
        out[x] = static_cast<float>(sum);
    }
}

void ToneGainStream::Advance(int32_t end) {
    assert(end <= height_);
    const KernelSet* const set = kernels_;
    const auto n = static_cast<size_t>(width_);
    double* const sums = columnSums_.data();
    // Vertical k-sums of the row sums, one running double per column advanced row by row; each
    // finished row of means is turned into gains at once.
    for (; made_ < end; ++made_) {
        const int32_t y = made_;
        const int32_t entering = std::min(y + half_, height_ - 1);
        for (; summed_ <= entering; ++summed_) {
            SumRow(summed_);
        }
        if (y == 0) {
            for (int32_t j = -half_; j <= half_; ++j) {
                const float* src = Slot(rowSums_, sumRows_, ClampIndex(j, height_));
                for (size_t x = 0; x < n; ++x) {
                    sums[x] += static_cast<double>(src[x]);
                }
            }
        } else {
            const float* in = Slot(rowSums_, sumRows_, entering);
            const float* out = Slot(rowSums_, sumRows_, std::max(y - half_ - 1, 0));
            for (size_t x = 0; x < n; ++x) {
                double& sum = sums[x];
                sum += static_cast<double>(in[x]);
                sum -= static_cast<double>(out[x]);
            }
        }
        float* const gains = Slot(gains_, kept_, y);
        if (set) {
            set->toneGains(sums, gains, static_cast<int64_t>(n), inverseArea_, lightSlope_,
                           darkSlope_);
        } else {
            for (size_t x = 0; x < n; ++x) {
                const float mean = static_cast<float>(sums[x] * inverseArea_);
                gains[x] = kernels::ToneGain(mean, lightSlope_, darkSlope_);
            }
        }
    }
}

const float* ToneGainStream::Row(int32_t y) const {
    assert(y < made_ && y >= made_ - kept_);
    return gains_.get() + static_cast<ptrdiff_t>(y % kept_) * width_;
}

void ComputeToneGains(const float* plane0, int32_t width, int32_t height, float lightGain,
                      float darkGain, float* gainMap, const KernelSet* kernels) {
    ToneGainStream stream(plane0, width, height, lightGain, darkGain, 1, kernels);
    for (int32_t y = 0; y < height; ++y) {
        stream.Advance(y + 1);
        std::copy_n(stream.Row(y), width, gainMap + static_cast<ptrdiff_t>(y) * width);
    }
}

}  // namespace vel
