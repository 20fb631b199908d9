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
};

// Null where the build has no such set; AVX2 needs a run-time check of the CPU by the caller.
const WaveletKernels* WaveletSse2Kernels();
const WaveletKernels* WaveletAvx2Kernels();

}  // namespace vel
