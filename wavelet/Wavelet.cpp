// Filter table, level spacing and the multi-level drivers.
//
// Number rules of every transform: all arithmetic is float32, one operation at a time in the
// order each formula is written (left to right where it is a plain sum); nothing is carried
// wider before a sample is stored. With SSE arithmetic and -ffp-contract=off every compiler
// performs the same operations in the same order, so the bits are fixed, and a vectorised
// path can match them by keeping that order. Flat planes stay exact in this order: c + c + c
// + c and c/4 + c/2 + c/4 round back to 4c and c.

#include "wavelet/Wavelet.h"
#include "wavelet/WaveletKernels.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>

namespace vel {
namespace {

// Overflow to infinity and NaN propagation follow IEEE 754 on every target.
static_assert(std::numeric_limits<float>::is_iec559);

void DecomposeOne(ConstPlaneView plane, BandTable table, int32_t levels, WaveletKind kind,
                  const WaveletKernels* kernels, float* scratch) {
    const int32_t s = BandsPerLevel(kind);
    for (int32_t j = 0; j < levels; ++j) {
        const ConstPlaneView source =
            j == 0 ? plane
                   : PackedPlane(table[static_cast<size_t>(j - 1) * s], plane.width, plane.height);
        float* const* bands = table + static_cast<size_t>(j) * s;
        if (kind == WaveletKind::Directional) {
            DecomposeLevelDirectional(source, bands, j, kernels, scratch);
        } else {
            DecomposeLevelIsotropic(source, bands, j, kernels);
        }
    }
}

// out = A(L-1) + D(0) + D(1) + ... + D(L-1): the residual first, then finest to coarsest,
// accumulated one band at a time (the same additions in the same order as per sample).
void ReconstructIsotropic(PlaneView out, BandTable table, int32_t levels,
                          const WaveletKernels* kernels) {
    const size_t width = static_cast<size_t>(out.width);
    const float* residual = table[static_cast<size_t>(levels - 1) * 2];
    const float* finest = table[1];
    for (int32_t y = 0; y < out.height; ++y) {
        float* row = out.Row(y);
        const size_t base = static_cast<size_t>(y) * width;
        if (kernels) {
            kernels->sum(residual + base, finest + base, row, out.width);
            for (int32_t j = 1; j < levels; ++j) {
                kernels->sum(row, table[static_cast<size_t>(j) * 2 + 1] + base, row, out.width);
            }
            continue;
        }
        for (size_t x = 0; x < width; ++x) {
            row[x] = residual[base + x] + finest[base + x];
        }
        for (int32_t j = 1; j < levels; ++j) {
            const float* detail = table[static_cast<size_t>(j) * 2 + 1] + base;
            for (size_t x = 0; x < width; ++x) {
                row[x] += detail[x];
            }
        }
    }
}

// Coarsest first: each level's sum replaces the approximation it was decomposed from. Every
// sample needs only the same sample of the bands, so the kernels take all levels of one row
// before the next row, while the row's samples are still in the cache.
void ReconstructDirectional(PlaneView out, BandTable table, int32_t levels,
                            const WaveletKernels* kernels) {
    if (kernels) {
        const ptrdiff_t width = out.width;
        for (int32_t y = 0; y < out.height; ++y) {
            const ptrdiff_t row = static_cast<ptrdiff_t>(y) * width;
            for (int32_t j = levels - 1; j >= 0; --j) {
                float* const* b = table + static_cast<size_t>(j) * 4;
                float* destination =
                    j == 0 ? out.Row(y) : table[static_cast<size_t>(j - 1) * 4] + row;
                kernels->sumFour(b[0] + row, b[1] + row, b[2] + row, b[3] + row, destination,
                                 width);
            }
        }
        return;
    }
    for (int32_t j = levels - 1; j >= 0; --j) {
        const PlaneView destination =
            j == 0 ? out
                   : PackedPlane(table[static_cast<size_t>(j - 1) * 4], out.width, out.height);
        ReconstructLevelDirectional(destination, table + static_cast<size_t>(j) * 4, kernels);
    }
}

}  // namespace

SmoothingFilter NormalisedSmoothingFilter() {
    SmoothingFilter f = kSmoothingFilter;
    const float reciprocal = 1.0f / ((f.taps[0] + f.taps[1]) + f.taps[2]);
    for (float& tap : f.taps) {
        tap *= reciprocal;
    }
    return f;
}

int32_t LevelDilation(int32_t level, int32_t width, int32_t height) {
    const int32_t limit = std::max({width, height, int32_t{1}});
    const int32_t j = std::max(level, int32_t{0});
    // 2^30 is the largest power of two an int32 holds; larger spacings exceed every plane.
    if (j >= 30) {
        return limit;
    }
    return std::min(int32_t{1} << j, limit);
}

void WaveletDecompose(ConstPlaneView plane, BandTable table, int32_t levels, WaveletKind kind,
                      const WaveletKernels* kernels, float* scratch) {
    if (levels < 1 || plane.width < 1 || plane.height < 1 || !plane.data || !table) {
        return;
    }
    // The ring of the coarsest level serves them all; one is made here for all the levels.
    std::unique_ptr<float[]> own;
    if (!scratch && kernels && kind == WaveletKind::Directional) {
        own = std::make_unique_for_overwrite<float[]>(
            DirectionalScratchFloats(plane.width, plane.height, levels));
        scratch = own.get();
    }
    DecomposeOne(plane, table, levels, kind, kernels, scratch);
}

void WaveletReconstruct(PlaneView out, BandTable table, int32_t levels, WaveletKind kind,
                        const WaveletKernels* kernels) {
    // With no level there is nothing to sum: the output is left as it is.
    if (levels < 1 || out.width < 1 || out.height < 1 || !out.data || !table) {
        return;
    }
    if (kind == WaveletKind::Directional) {
        ReconstructDirectional(out, table, levels, kernels);
    } else {
        ReconstructIsotropic(out, table, levels, kernels);
    }
}

}  // namespace vel
