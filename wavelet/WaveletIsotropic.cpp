// Kind 0: one 3 x 3 pass with holes per level instead of a row pass and a column pass.

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "wavelet/EdgeRule.h"
#include "wavelet/Wavelet.h"
#include "wavelet/WaveletKernels.h"

namespace vel {
namespace {

// The separable product of the 3-tap filter, written as one stencil:
//
//     wk we wk        wc = t1^2 / S,  we = t0 t1 / S,  wk = t0^2 / S,
//     we wc we        S  = 4 t0 t1 + 4 t0^2 + t1^2 = (t0 + t1 + t2)^2
//     wk we wk             (1 for normalised taps; never 0 for the stored ones)
struct StencilWeights {
    float centre;
    float edge;
    float corner;
};

StencilWeights MakeWeights(const SmoothingFilter& f) {
    const float t0 = f.taps[0];
    const float t1 = f.taps[1];
    const float sum = 4.0f * t0 * t1 + 4.0f * (t0 * t0) + t1 * t1;
    return {t1 * t1 / sum, t0 * t1 / sum, t0 * t0 / sum};
}

// North, centre and south rows of one output row, their row indices already clamped.
struct RowTriple {
    const float* north;
    const float* centre;
    const float* south;
};

// A = wc C + we (((W + E) + N) + S) + wk (((NW + NE) + SW) + SE), left to right; xw and xe
// are the column indices x - d and x + d, clamped where needed.
inline float StencilSample(const RowTriple& r, int64_t xw, int64_t x, int64_t xe,
                           const StencilWeights& w) {
    const float edges = ((r.centre[xw] + r.centre[xe]) + r.north[x]) + r.south[x];
    const float corners = ((r.north[xw] + r.north[xe]) + r.south[xw]) + r.south[xe];
    return (w.centre * r.centre[x] + w.edge * edges) + w.corner * corners;
}

// Left and right borders clamp their columns; the interior d .. width - d - 1 needs no clamp.
// The detail D = C - A is taken from the stored A in a second sweep over the row, which keeps
// the stencil loop simple enough for the compiler to vectorise.
void StencilRow(const RowTriple& r, float* approximation, float* detail, int64_t width, int64_t d,
                const StencilWeights& w, const WaveletKernels* kernels) {
    const int64_t left = std::min(d, width);
    const int64_t right = std::max(left, width - d);
    for (int64_t x = 0; x < left; ++x) {
        approximation[x] =
            StencilSample(r, ClampToEdge(x - d, width), x, ClampToEdge(x + d, width), w);
    }
    if (kernels) {
        kernels->stencilInterior(r.north, r.centre, r.south, approximation, left, right, d,
                                 w.centre, w.edge, w.corner);
    } else {
        for (int64_t x = left; x < right; ++x) {
            approximation[x] = StencilSample(r, x - d, x, x + d, w);
        }
    }
    for (int64_t x = right; x < width; ++x) {
        approximation[x] =
            StencilSample(r, ClampToEdge(x - d, width), x, ClampToEdge(x + d, width), w);
    }
    if (kernels) {
        kernels->difference(r.centre, approximation, detail, width);
        return;
    }
    for (int64_t x = 0; x < width; ++x) {
        detail[x] = r.centre[x] - approximation[x];
    }
}

}  // namespace

void DecomposeLevelIsotropic(ConstPlaneView source, float* const* bands, int32_t level,
                             const WaveletKernels* kernels) {
    assert(source.width >= 1 && source.height >= 1);
    const StencilWeights w = MakeWeights(NormalisedSmoothingFilter());
    const int64_t d = LevelDilation(level, source.width, source.height);
    const int64_t cols = source.width;
    const int64_t rows = source.height;
    auto doRow = [&](int64_t y, int64_t north, int64_t south) {
        StencilRow({source.Row(north), source.Row(y), source.Row(south)}, bands[0] + y * cols,
                   bands[1] + y * cols, cols, d, w, kernels);
    };
    // The first and last d rows clamp their north and south rows; the rows between do not.
    const int64_t top = std::min(d, rows);
    const int64_t bottom = std::max(top, rows - d);
    for (int64_t y = 0; y < top; ++y) {
        doRow(y, ClampToEdge(y - d, rows), ClampToEdge(y + d, rows));
    }
    for (int64_t y = top; y < bottom; ++y) {
        doRow(y, y - d, y + d);
    }
    for (int64_t y = bottom; y < rows; ++y) {
        doRow(y, ClampToEdge(y - d, rows), ClampToEdge(y + d, rows));
    }
}

}  // namespace vel
