#include "engine/Suppression.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "engine/Kernels.h"
#include "engine/NoiseAnalysis.h"
#include "wavelet/BandBlock.h"

namespace vel {
namespace {

// Base half-size r of the activity window, by level.
constexpr std::array<int32_t, kMaxLevels> kBaseHalfSize = {4, 5, 7, 9};
// Integer part of 2^(level/2) + 0.5, by level.
constexpr std::array<int32_t, kMaxLevels> kParentSpacing = {1, 1, 2, 3};
// Rows of magnitudes the kernel path keeps: a batch's window reaches the tallest half-size above
// its first row and below its last.
constexpr int32_t kMagnitudeRows =
    2 * (kBaseHalfSize.back() + kBaseHalfSize.back() / 2) + kKernelRows + 1;

inline size_t LevelSlot(int32_t level) {
    return static_cast<size_t>(std::clamp(level, 0, kMaxLevels - 1));
}

// x^p. The curve is always squared; x * x is the correctly rounded square on every platform,
// where pow libraries differ in their last bit.
inline float Power(float x, float p) {
    if (p == 2.0f) {
        return x * x;
    }
    return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(p)));
}

// Maps an activity scaled to curve steps to a curve entry. Values that do not fit (beyond the
// table, infinite or NaN) take the last entry, gain 1: an activity that cannot be measured is
// treated as signal and the coefficient passes unchanged.
inline int32_t CurveIndex(float position) {
    if (!(position < static_cast<float>(kGainCurveSize))) {
        return kGainCurveSize - 1;
    }
    if (position < 1.0f) {
        return 0;
    }
    return static_cast<int32_t>(position);
}

// The parent's plus of arm s around (x, y): the linear-index clamp of the taller bands, or each
// arm clamped to the band's edges. Summed in this order by every path, so their bits agree.
inline float ParentAround(const float* parent, bool linearParent, int32_t x, int32_t y, int32_t s,
                          int32_t cols, int32_t rows) {
    const ptrdiff_t width = cols;
    const ptrdiff_t rowStart = static_cast<ptrdiff_t>(y) * width;
    if (linearParent) {
        const ptrdiff_t vertical = static_cast<ptrdiff_t>(s) * width;
        const ptrdiff_t k =
            std::clamp(rowStart + x, vertical, static_cast<ptrdiff_t>(rows - s) * width - 1);
        return std::fabs(parent[k]) + std::fabs(parent[k - s]) + std::fabs(parent[k + s]) +
               std::fabs(parent[k - vertical]) + std::fabs(parent[k + vertical]);
    }
    const ptrdiff_t centre = rowStart + x;
    const ptrdiff_t up = static_cast<ptrdiff_t>(std::max(y - s, 0)) * width + x;
    const ptrdiff_t down = static_cast<ptrdiff_t>(std::min(y + s, rows - 1)) * width + x;
    const ptrdiff_t left = rowStart + std::max(x - s, 0);
    const ptrdiff_t right = rowStart + std::min(x + s, cols - 1);
    return std::fabs(parent[centre]) + std::fabs(parent[left]) + std::fabs(parent[right]) +
           std::fabs(parent[up]) + std::fabs(parent[down]);
}

// What ShrinkSubband has worked out before its loops, for the kernel path.
struct ShrinkPlan {
    float* band;
    const float* parent;
    int32_t cols, rows, hv, hh, s;
    float inverseDivisor, parentFactor, inverseStep;
    bool linearParent;
    const float* curve;
};

// The parent term and the gain of one row from its window means, sample by sample as the
// plain loop does: for the rows whose parent plus reaches past the band.
void ShrinkRowPlain(const ShrinkPlan& p, int32_t y, const float* means) {
    const ptrdiff_t width = p.cols;
    const ptrdiff_t rowStart = static_cast<ptrdiff_t>(y) * width;
    const float* parent = p.parent;
    const int32_t s = p.s;
    for (int32_t x = 0; x < p.cols; ++x) {
        float activity = means[x];
        if (parent) {
            activity +=
                p.parentFactor * ParentAround(parent, p.linearParent, x, y, s, p.cols, p.rows);
        }
        const int32_t index = CurveIndex(activity * p.inverseStep + 0.5f);
        p.band[rowStart + x] *= p.curve[static_cast<size_t>(index)];
    }
}

// ShrinkSubband with the kernel set: the column sums advance row by row exactly as in the
// plain loop, each batch of rows is turned so that the running row sums of kKernelRows rows
// run side by side, and interior rows take their parent term and gain across columns. The
// magnitudes are taken a few rows ahead of the batch into a ring, not into a plane: each band
// row is then read from memory once, and stays cached until it is scaled.
void ShrinkWithKernels(const KernelSet& kernels, const ShrinkPlan& p, float* scratch) {
    constexpr int32_t R = kKernelRows;
    const ptrdiff_t width = p.cols;
    const size_t batch = static_cast<size_t>(R) * static_cast<size_t>(p.cols);
    // One block: the running column sums, a batch of rows twice over, then the ring.
    std::unique_ptr<float[]> own;
    if (!scratch) {
        own = std::make_unique_for_overwrite<float[]>(ShrinkRowScratchFloats(p.cols));
        scratch = own.get();
    }
    const std::span<float> columnSums(scratch, static_cast<size_t>(p.cols));
    std::fill(columnSums.begin(), columnSums.end(), 0.0f);
    const std::span<float> interleaved(columnSums.data() + columnSums.size(), batch);
    const std::span<float> means(interleaved.data() + batch, batch);
    float* const ring = means.data() + batch;
    // Row y's magnitudes: each row is taken before it is scaled and kept until the window has
    // left it.
    const auto magnitudes = [&](int32_t y) { return ring + (y % kMagnitudeRows) * width; };
    int32_t taken = 0;
    const auto takeThrough = [&](int32_t last) {
        for (; taken <= last; ++taken) {
            kernels.magnitudes(p.band + taken * width, magnitudes(taken), width);
        }
    };
    takeThrough(std::min(p.hv, p.rows - 1));
    for (int32_t j = -p.hv; j <= p.hv; ++j) {
        const float* src = magnitudes(std::clamp(j, 0, p.rows - 1));
        for (int32_t x = 0; x < p.cols; ++x) {
            columnSums[static_cast<size_t>(x)] += src[x];
        }
    }
    for (int32_t y0 = 0; y0 < p.rows; y0 += R) {
        const int32_t count = std::min(R, p.rows - y0);
        takeThrough(std::min(y0 + R - 1 + p.hv, p.rows - 1));
        // Rows past the last one, and row 0, take the sums unchanged; the means of the rows
        // past the last are not used.
        std::array<const float*, R> entering{}, leaving{};
        for (int32_t r = 0; r < count; ++r) {
            const int32_t y = y0 + r;
            if (y > 0) {
                entering[static_cast<size_t>(r)] = magnitudes(std::min(y + p.hv, p.rows - 1));
                leaving[static_cast<size_t>(r)] = magnitudes(std::max(y - p.hv - 1, 0));
            }
        }
        kernels.advanceInterleaved(columnSums.data(), entering.data(), leaving.data(),
                                   interleaved.data(), p.cols);
        kernels.windowMeans(interleaved.data(), means.data(), width, p.cols, p.hh,
                            p.inverseDivisor);
        for (int32_t r = 0; r < count; ++r) {
            const float* rowMeans = means.data() + r * width;
            const int32_t y = y0 + r;
            const ptrdiff_t rowStart = static_cast<ptrdiff_t>(y) * width;
            const bool inside = p.linearParent && y >= p.s && y < p.rows - p.s;
            if (p.parent && !inside) {
                ShrinkRowPlain(p, y, rowMeans);
                continue;
            }
            kernels.shrinkRow({p.band + rowStart, rowMeans,
                               p.parent ? p.parent + rowStart : nullptr, p.s,
                               static_cast<ptrdiff_t>(p.s) * width, p.cols, p.parentFactor,
                               p.inverseStep, p.curve, kGainCurveSize});
        }
    }
}

}  // namespace

size_t ShrinkRowScratchFloats(int32_t cols) {
    const size_t n = static_cast<size_t>(std::max(cols, 0));
    return n + (2 * static_cast<size_t>(kKernelRows) + kMagnitudeRows) * n;
}

WindowHalfSizes WindowHalfSizesFor(int32_t level, WindowShape shape) {
    const int32_t r = kBaseHalfSize[LevelSlot(level)];
    switch (shape) {
        case WindowShape::Tall:
            return {r + r / 2, r - r / 3};
        case WindowShape::Wide:
            return {r - r / 3, r + r / 2};
        case WindowShape::Square:
            break;
    }
    return {r, r};
}

int32_t ParentSpacing(int32_t level) {
    return kParentSpacing[LevelSlot(level)];
}

WindowShape ShapeOfBand(WaveletKind kind, int32_t band) {
    if (kind == WaveletKind::Directional) {
        if (band == 1) {
            return WindowShape::Tall;
        }
        if (band == 2) {
            return WindowShape::Wide;
        }
    }
    return WindowShape::Square;
}

//  gain
//   1 |                    ___-----
//     |                _--
//     |              /            t = 1 - tau / activity
//   F |_____________/             below tau: floor F
//     +------------+------+------------ activity / tau
//     0            1      2       10.23
void GainCurve(float noiseLevel, float exponent, float floor, float* curve) {
    const float step = noiseLevel * 0.01f;
    for (int32_t i = 0; i < kGainCurveSize; ++i) {
        float t = 1.0f - noiseLevel / (static_cast<float>(i) * step + 1e-6f);
        if (t < 0.0f) {
            t = 0.0f;
        }
        if (t > 1.0f) {
            t = 1.0f;
        }
        float g;
        if (t <= 0.5f) {
            g = 0.5f * Power(2.0f * t, exponent);
        } else {
            g = 1.0f - 0.5f * Power(2.0f * (1.0f - t), exponent);
        }
        if (g < floor) {
            g = floor;
        }
        curve[i] = g;
    }
    curve[kGainCurveSize - 1] = 1.0f;
}

void ShrinkSubband(float* band, const float* parent, int32_t cols, int32_t rows,
                   const BandShrink& how, float* work, float* rowScratch) {
    const float noiseLevel = how.noiseLevel;
    const int32_t level = how.level;
    const float floor = how.floor;
    const float exponent = how.exponent;
    const WindowShape shape = how.shape;
    // A level of 0 gives a curve of 1 everywhere; it is handled here because the index scale
    // 1/(level * 0.01) would be a division by zero.
    assert(cols >= 1 && rows >= 1);
    const float step = noiseLevel * 0.01f;
    if (!(step > 0.0f) || !std::isfinite(noiseLevel)) {
        return;
    }
    const ptrdiff_t width = cols;

    const WindowHalfSizes half = WindowHalfSizesFor(level, shape);
    const int32_t hv = half.vertical;
    // A band narrower than the window gets the widest odd window that fits; its area below is
    // the area actually summed.
    const int32_t hh = std::min(half.horizontal, (cols - 1) / 2);
    const int32_t s = ParentSpacing(level);

    std::array<float, kGainCurveSize> curve;
    GainCurve(noiseLevel, exponent, floor, curve.data());

    const int32_t area = (2 * hv + 1) * (2 * hh + 1);
    const float inverseDivisor = 1.0f / static_cast<float>(area + 15);
    const float parentFactor = 4.0f / static_cast<float>(area + 15);
    const float inverseStep = 1.0f / step;
    // Bands of at least 2s + 1 rows clamp the plus's centre as a linear index, so its vertical
    // arms stay inside the band and its horizontal arms may run on into the neighbouring row.
    // Shorter bands have no such centre; they clamp each arm to the band by the edge rule.
    const bool linearParent = rows >= 2 * s + 1;

    if (const KernelSet* kernels = how.kernels) {
        ShrinkWithKernels(*kernels,
                          {band, parent, cols, rows, hv, hh, s, inverseDivisor, parentFactor,
                           inverseStep, linearParent, curve.data()},
                          rowScratch);
        return;
    }
    const ptrdiff_t count = width * rows;
    for (ptrdiff_t i = 0; i < count; ++i) {
        work[i] = std::fabs(band[i]);
    }
    // Column sums of the window rows, float32, rows outside the band repeating the edge row.
    std::vector<float> columnSums(static_cast<size_t>(cols), 0.0f);
    for (int32_t j = -hv; j <= hv; ++j) {
        const float* src = work + static_cast<ptrdiff_t>(std::clamp(j, 0, rows - 1)) * width;
        for (int32_t x = 0; x < cols; ++x) {
            columnSums[static_cast<size_t>(x)] += src[x];
        }
    }
    const float* sums = columnSums.data();
    const int32_t lastCentre = cols - 1 - hh;

    for (int32_t y = 0; y < rows; ++y) {
        if (y > 0) {
            const float* entering =
                work + static_cast<ptrdiff_t>(std::min(y + hv, rows - 1)) * width;
            const float* leaving = work + static_cast<ptrdiff_t>(std::max(y - hv - 1, 0)) * width;
            for (int32_t x = 0; x < cols; ++x) {
                float& sum = columnSums[static_cast<size_t>(x)];
                sum += entering[x];
                sum -= leaving[x];
            }
        }
        // The window never takes columns from outside the band: it stops moving at hh and at
        // cols - 1 - hh, and the coefficients beyond share those windows.
        double local = 0.0;
        for (int32_t c = 0; c <= 2 * hh; ++c) {
            local += static_cast<double>(sums[c]);
        }
        const ptrdiff_t rowStart = static_cast<ptrdiff_t>(y) * width;
        for (int32_t x = 0; x < cols; ++x) {
            if (x > hh && x <= lastCentre) {
                local += static_cast<double>(sums[x + hh]);
                local -= static_cast<double>(sums[x - hh - 1]);
            }
            float activity = static_cast<float>(local) * inverseDivisor;
            if (parent) {
                activity += parentFactor * ParentAround(parent, linearParent, x, y, s, cols, rows);
            }
            const int32_t index = CurveIndex(activity * inverseStep + 0.5f);
            band[rowStart + x] *= curve[static_cast<size_t>(index)];
        }
    }
}

DenoiseScratch::DenoiseScratch(int32_t maxCols, int32_t maxRows, int32_t levels, WaveletKind kind)
    : bands(maxCols, maxRows, levels, kind),
      work(std::make_unique_for_overwrite<float[]>(static_cast<size_t>(std::max(maxCols, 0)) *
                                                   static_cast<size_t>(std::max(maxRows, 0)))),
      rows(std::make_unique_for_overwrite<float[]>(ShrinkRowScratchFloats(maxCols))),
      noise(static_cast<size_t>(BandsPerLevel(kind) * std::max(levels, 0)), 0.0f) {}

void DenoiseTile(ImagePlanes tile, const EngineNumbers& numbers, std::span<const float> profile,
                 const RunContext& context, DenoiseScratch* scratch,
                 const ConstPlaneView* sources) {
    const int32_t cols = tile.width;
    const int32_t rows = tile.height;
    const int32_t levels = numbers.levels;
    const WaveletKind kind = numbers.kind;
    assert(cols >= 1 && rows >= 1 && levels >= 1 && levels <= kMaxLevels);
    const int32_t S = BandsPerLevel(kind);
    const int32_t bandsPerChannel = S * levels;
    std::optional<DenoiseScratch> own;
    if (!scratch) {
        scratch = &own.emplace(cols, rows, levels, kind);
    }
    const BandBlock& bands = scratch->bands;
    std::vector<float>& noise = scratch->noise;
    std::fill(noise.begin(), noise.end(), 0.0f);
    float* work = scratch->work.get();
    // What a stop before channel c leaves: the unfinished channels as they came in.
    const auto leaveFrom = [&](int32_t c) {
        for (; sources && c < 3; ++c) {
            for (int32_t y = 0; y < rows; ++y) {
                std::copy_n(sources[c].Row(y), cols,
                            tile.planes[c] + static_cast<ptrdiff_t>(y) * cols);
            }
        }
    };

    for (int32_t c = 0; c < 3; ++c) {
        const float factor = c == 0 ? numbers.lumaThresholdFactor : numbers.chromaThresholdFactor;
        const float floor = c == 0 ? numbers.lumaFloor : numbers.chromaFloor;
        const PlaneView plane = PackedPlane(tile.planes[c], cols, rows);
        if (context.StopRequested()) {
            leaveFrom(c);
            return;
        }
        WaveletDecompose(sources ? sources[c] : ConstPlaneView(plane), bands.table(), levels, kind,
                         WaveletKernelsOf(context.config.kernels), bands.scratch());
        if (context.StopRequested()) {
            leaveFrom(c);
            return;
        }
        if (!profile.empty()) {
            const auto entries = profile.subspan(static_cast<size_t>(c * bandsPerChannel),
                                                 static_cast<size_t>(bandsPerChannel));
            std::copy(entries.begin(), entries.end(), noise.begin());
        } else {
            MeasureTileNoise(bands.table(), cols, rows, levels, S, noise.data(),
                             context.config.kernels);
        }
        for (float& level : noise) {
            level *= factor;
        }
        if (context.StopRequested()) {
            leaveFrom(c);
            return;
        }
        // Finest level first, so each parent read still holds its unattenuated coefficients.
        for (int32_t level = 0; level < levels; ++level) {
            for (int32_t b = 1; b < S; ++b) {
                const float* parent = level + 1 < levels ? bands.band(level + 1, b) : nullptr;
                const BandShrink how{.noiseLevel = noise[static_cast<size_t>(level * S + b)],
                                     .level = level,
                                     .floor = floor,
                                     .exponent = numbers.curveExponent,
                                     .shape = ShapeOfBand(kind, b),
                                     .kernels = context.config.kernels};
                ShrinkSubband(bands.band(level, b), parent, cols, rows, how, work,
                              scratch->rows.get());
            }
        }
        if (context.StopRequested()) {
            leaveFrom(c);
            return;
        }
        WaveletReconstruct(plane, bands.table(), levels, kind,
                           WaveletKernelsOf(context.config.kernels));
    }
}

}  // namespace vel
