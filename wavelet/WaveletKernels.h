#pragma once
// Vector kernels of the transforms, one set per instruction set. The wavelet layer does not
// choose among them: its caller passes a set in (or null for the plain loops). Each kernel
// does the plain loop's float operations in the same order per sample, several samples at
// once, so both give the same bits.

#include <cstdint>

namespace vel {

struct WaveletKernels {
    const char* name;
    // The isotropic stencil's interior, columns begin .. end - 1 (begin >= d, end <= width - d):
    // approximation[x] = (wc C + we (((W + E) + N) + S)) + wk (((NW + NE) + SW) + SE).
    void (*stencilInterior)(const float* north, const float* centre, const float* south,
                            float* approximation, int64_t begin, int64_t end, int64_t d, float wc,
                            float we, float wk);
    // out[x] = a[x] - b[x] for n samples.
    void (*difference)(const float* a, const float* b, float* out, int64_t n);
    // out[x] = a[x] + b[x] for n samples; out may be a.
    void (*sum)(const float* a, const float* b, float* out, int64_t n);
    // out[x] = (b0[x] + b2[x]) + (b1[x] + b3[x]) for n samples; out may be b0.
    void (*sumFour)(const float* b0, const float* b1, const float* b2, const float* b3, float* out,
                    int64_t n);
    // The 3-tap smoothing of a row's interior, columns begin .. end - 1 (begin >= d,
    // end <= n - d): low[x] = (s[x - d] + s[x + d]) * t0 + t1 * s[x], high[x] = s[x] - low[x].
    void (*smoothRowInterior)(const float* source, float* low, float* high, int64_t begin,
                              int64_t end, int64_t d, float t0, float t1);
    // The same smoothing across three rows, n samples: low[x] = (north[x] + south[x]) * t0 +
    // t1 * centre[x], high[x] = centre[x] - low[x].
    void (*splitAcrossRows)(const float* north, const float* centre, const float* south, float* low,
                            float* high, int64_t n, float t0, float t1);
};

// Null where the build has no such set; AVX2 needs a run-time check of the CPU by the caller.
const WaveletKernels* WaveletSse2Kernels();
const WaveletKernels* WaveletAvx2Kernels();

}  // namespace vel
