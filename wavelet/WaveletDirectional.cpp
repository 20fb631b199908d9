// Kind 1: a row split, then a column split of each half, giving four oriented bands.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "wavelet/EdgeRule.h"
#include "wavelet/Wavelet.h"
#include "wavelet/WaveletKernels.h"

namespace vel {
namespace {

// A spacing below 1 has no meaning; it counts as 1 so no index ever leaves 0 .. n - 1.
inline int64_t SafeDilation(int64_t d) {
    return std::max(d, int64_t{1});
}

// r = (before + after) * t0 + t1 * centre.
inline float SmoothThree(float before, float centre, float after, float t0, float t1) {
    return (before + after) * t0 + t1 * centre;
}

// Calls emit(i, r[i]) for the smoothing of n samples; the first and last d samples clamp, the
// interior does not.
template <class Emit>
void SmoothLine(const float* s, int64_t n, float t0, float t1, int64_t dilation, Emit emit) {
    const int64_t d = SafeDilation(dilation);
    auto clamped = [&](int64_t i) {
        emit(i, SmoothThree(s[ClampToEdge(i - d, n)], s[i], s[ClampToEdge(i + d, n)], t0, t1));
    };
    const int64_t first = std::min(d, n);
    const int64_t last = std::max(first, n - d);
    for (int64_t i = 0; i < first; ++i) {
        clamped(i);
    }
    for (int64_t i = first; i < last; ++i) {
        emit(i, SmoothThree(s[i - d], s[i], s[i + d], t0, t1));
    }
    for (int64_t i = last; i < n; ++i) {
        clamped(i);
    }
}

// Smoothed row y of a plane along its columns, written into out; rows north and south are
// already clamped.
void SmoothRowAcrossColumns(const float* plane, float* out, int64_t y, int64_t north, int64_t south,
                            int64_t width, float t0, float t1) {
    const float* n = plane + north * width;
    const float* c = plane + y * width;
    const float* s = plane + south * width;
    for (int64_t x = 0; x < width; ++x) {
        out[x] = SmoothThree(n[x], c[x], s[x], t0, t1);
    }
}

// second = smoothed column values; then column takes them and second the difference.
void FinishColumnSplit(float* column, float* second, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        const float old = column[i];
        const float smoothed = second[i];
        column[i] = smoothed;
        second[i] = old - smoothed;
    }
}

// SplitRows with the interior in the kernel.
void SplitRowWith(const WaveletKernels& k, const float* source, float* low, float* high, int64_t n,
                  float t0, float t1, int64_t d) {
    auto clamped = [&](int64_t i) {
        const float r = SmoothThree(source[ClampToEdge(i - d, n)], source[i],
                                    source[ClampToEdge(i + d, n)], t0, t1);
        low[i] = r;
        high[i] = source[i] - r;
    };
    const int64_t first = std::min(d, n);
    const int64_t last = std::max(first, n - d);
    for (int64_t i = 0; i < first; ++i) {
        clamped(i);
    }
    k.smoothRowInterior(source, low, high, first, last, d, t0, t1);
    for (int64_t i = last; i < n; ++i) {
        clamped(i);
    }
}

// Every column of a width x height plane: plane becomes its smoothing, second receives what
// the smoothing removed; walked row by row.
void SplitPlaneColumns(float* plane, float* second, int32_t width, int32_t height, float t0,
                       float t1, int32_t dilation) {
    const int64_t cols = width;
    const int64_t rows = height;
    const int64_t d = SafeDilation(dilation);
    const int64_t top = std::min(d, rows);
    const int64_t bottom = std::max(top, rows - d);
    for (int64_t y = 0; y < rows; ++y) {
        const bool border = y < top || y >= bottom;
        const int64_t north = border ? ClampToEdge(y - d, rows) : y - d;
        const int64_t south = border ? ClampToEdge(y + d, rows) : y + d;
        SmoothRowAcrossColumns(plane, second + y * cols, y, north, south, cols, t0, t1);
    }
    FinishColumnSplit(plane, second, cols * rows);
}

// Rows of the streamed level's ring: every row a column window reaches, 2d + 1, or all.
int64_t RingRows(int64_t d, int64_t rows) {
    return std::min(2 * d + 1, rows);
}

// The level with the kernels, as a band of rows moving down the plane so that no intermediate
// row leaves the cache: row y is split along the row into a ring of the last rows (low and high
// halves), then row y - d, whose column window ends at row y, is split along the columns from
// the ring straight into its four bands. Every sample gets the same operations on the same
// inputs as in the plane-at-a-time order.
void SplitLevelStreamed(const WaveletKernels& k, ConstPlaneView source, float* const* bands,
                        float t0, float t1, int64_t d, float* ring) {
    const int64_t cols = source.width;
    const int64_t rows = source.height;
    const int64_t depth = RingRows(d, rows);
    const auto slot = [&](int b, int64_t y) { return ring + (b * depth + y % depth) * cols; };
    const int64_t top = std::min(d, rows);
    const int64_t bottom = std::max(top, rows - d);
    auto columnRow = [&](int64_t y) {
        const bool border = y < top || y >= bottom;
        const int64_t north = border ? ClampToEdge(y - d, rows) : y - d;
        const int64_t south = border ? ClampToEdge(y + d, rows) : y + d;
        for (int b = 0; b < 2; ++b) {
            k.splitAcrossRows(slot(b, north), slot(b, y), slot(b, south), bands[b] + y * cols,
                              bands[b + 2] + y * cols, cols, t0, t1);
        }
    };
    for (int64_t y = 0; y < rows; ++y) {
        SplitRowWith(k, source.Row(y), slot(0, y), slot(1, y), cols, t0, t1, d);
        if (y >= d) {
            columnRow(y - d);
        }
    }
    for (int64_t y = std::max(rows - d, int64_t{0}); y < rows; ++y) {
        columnRow(y);
    }
}

}  // namespace

void SplitRows(const float* source, float* low, float* high, int32_t n, float t0, float t1,
               int32_t dilation) {
    SmoothLine(source, n, t0, t1, dilation, [&](int64_t i, float r) {
        low[i] = r;
        high[i] = source[i] - r;
    });
}

size_t DirectionalScratchFloats(int32_t width, int32_t height, int32_t levels) {
    if (width < 1 || height < 1 || levels < 1) {
        return 0;
    }
    const int64_t d = SafeDilation(LevelDilation(levels - 1, width, height));
    return static_cast<size_t>(2 * RingRows(d, height)) * static_cast<size_t>(width);
}

void DecomposeLevelDirectional(ConstPlaneView source, float* const* bands, int32_t level,
                               const WaveletKernels* kernels, float* scratch) {
    const int32_t width = source.width;
    const int32_t height = source.height;
    assert(width >= 1 && height >= 1);
    const SmoothingFilter f = NormalisedSmoothingFilter();
    const float t0 = f.taps[0];
    const float t1 = f.taps[1];
    const int32_t d = LevelDilation(level, width, height);
    const int64_t cols = width;
    if (kernels) {
        std::unique_ptr<float[]> own;
        if (!scratch) {
            own = std::make_unique_for_overwrite<float[]>(
                DirectionalScratchFloats(width, height, level + 1));
            scratch = own.get();
        }
        SplitLevelStreamed(*kernels, source, bands, t0, t1, SafeDilation(d), scratch);
        return;
    }
    for (int64_t y = 0; y < height; ++y) {
        SplitRows(source.Row(y), bands[0] + y * cols, bands[1] + y * cols, width, t0, t1, d);
    }
    SplitPlaneColumns(bands[0], bands[2], width, height, t0, t1, d);
    SplitPlaneColumns(bands[1], bands[3], width, height, t0, t1, d);
}

void ReconstructLevelDirectional(PlaneView destination, float* const* bands,
                                 const WaveletKernels* kernels) {
    const int64_t width = destination.width;
    assert(width >= 1 && destination.height >= 1);
    for (int64_t y = 0; y < destination.height; ++y) {
        const int64_t base = y * width;
        const float* b0 = bands[0] + base;
        const float* b1 = bands[1] + base;
        const float* b2 = bands[2] + base;
        const float* b3 = bands[3] + base;
        float* out = destination.Row(y);
        if (kernels) {
            kernels->sumFour(b0, b1, b2, b3, out, width);
            continue;
        }
        for (int64_t x = 0; x < width; ++x) {
            out[x] = (b0[x] + b2[x]) + (b1[x] + b3[x]);
        }
    }
}

}  // namespace vel
