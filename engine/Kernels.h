#pragma once
// The seam between the engine and its vector kernels. The plain code of each stage stays the
// reference; a kernel set only does the same float and double operations, in the same order
// per sample, several samples or rows at once, so both give the same bits.
//
// Hot loops and where they run:
// - suppression window means (running double sums along rows): WindowMeans, 8 rows side by
//   side, each lane one row, the batch turned to and from that layout by register transposes;
// - suppression magnitudes, running column sums, parent sums, gain look-up and scaling:
//   Magnitudes, AdvanceInterleaved (straight into the side-by-side layout) and ShrinkRow,
//   across columns;
// - histogram bins of the analysis and of per-tile noise: HistogramBins, across values;
// - both kinds of decomposition level and reconstruction: the wavelet layer's own set, across
//   columns (the directional level as a band of rows moving down the tile);
// - tone gains from the box sums: ToneGains, across columns; the box sums themselves run
//   several rows side by side in plain code (independent chains of double additions);
// - tile extraction and accumulation, the planes' tone scaling and the final copy: plain loops
//   of independent samples that the compiler vectorises itself with the same operations (no
//   fused multiply-add: -ffp-contract=off); the tone passes and the final copies run on the
//   job's threads (PartPool), by rows or by strips of columns.

#include <cstddef>
#include <cstdint>

#include "wavelet/WaveletKernels.h"

namespace vel {

// Rows that WindowMeans runs side by side.
inline constexpr int32_t kKernelRows = 16;

// One interior row of ShrinkSubband: every parent neighbour k, k +- spacing, k +- vertical
// lies inside the parent band.
struct ShrinkRowArgs {
    float* band;          // coefficients of the row, scaled in place
    const float* means;   // window means of the row
    const float* parent;  // the parent band at the row's first sample, or null
    ptrdiff_t spacing;    // s
    ptrdiff_t vertical;   // s * cols
    int32_t cols;
    float parentFactor;
    float inverseStep;
    const float* curve;
    int32_t curveSize;
};

struct KernelSet {
    const char* name;
    // sums holds cols x kKernelRows floats, column x of row r at x * kKernelRows + r. For each
    // row: a double running sum over the 2 * hh + 1 columns of a window that stops at hh and
    // at cols - 1 - hh; the mean of row r, column x, float(sum) * inverseDivisor, goes to
    // means[r * stride + x] (turned back to rows on the way out).
    void (*windowMeans)(const float* sums, float* means, ptrdiff_t stride, int32_t cols, int32_t hh,
                        float inverseDivisor);
    // out[i] = |in[i]| for n values.
    void (*magnitudes)(const float* in, float* out, ptrdiff_t n);
    // kKernelRows rows of the suppression's running column sums, in the layout above: for row r,
    // when entering[r] is not null, sums[x] += entering[r][x], then sums[x] -= leaving[r][x];
    // then interleaved[x * kKernelRows + r] = sums[x].
    void (*advanceInterleaved)(float* sums, const float* const* entering,
                               const float* const* leaving, float* interleaved, int32_t cols);
    // activity = means[x] (+ parentFactor * (|p[k]| + |p[k-s]| + |p[k+s]| + |p[k-v]| +
    // |p[k+v]|)); band[x] *= curve[index of activity * inverseStep + 0.5].
    void (*shrinkRow)(const ShrinkRowArgs& row);
    // bins[i] = histogram bin of values[i]: (|v| - offset) * binsPerUnit truncated, below 1 to
    // 0, not below bins (NaN included) to bins - 1.
    void (*histogramBins)(const float* values, int32_t n, float offset, float binsPerUnit,
                          int32_t bins, int32_t* out);
    // The tone correction's gains of n columns from their box sums: gains[x] = the gain of
    // float(sums[x] * scale), by the curve of ToneGain in KernelsScalar.h.
    void (*toneGains)(const double* sums, float* gains, int64_t n, double scale, float lightSlope,
                      float darkSlope);
    // The transforms' kernels of the same instruction set, passed to the wavelet layer.
    const WaveletKernels* wavelet;
};

// The wavelet kernels of a set, or null for the reference.
inline const WaveletKernels* WaveletKernelsOf(const KernelSet* set) {
    return set ? set->wavelet : nullptr;
}

enum class KernelChoice : uint8_t {
    Reference,  // the plain code: no kernel set
    Sse2,
    Avx2,
};

// The set of a choice, null for the reference and where this build or processor lacks it.
const KernelSet* KernelsFor(KernelChoice choice);
bool KernelsAvailable(KernelChoice choice);
// AVX2 where the processor and the system have it, else SSE2.
const KernelSet* BestKernels();

// The instruction-set files' sets; null where the build has none.
const KernelSet* Sse2Kernels();
const KernelSet* Avx2Kernels();

}  // namespace vel
