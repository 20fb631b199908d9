// AVX2: eight floats per register. Built with -mavx2 for this file alone and used only after
// the caller's run-time check; no -mfma, so no multiply-add can be formed.

#include "wavelet/WaveletKernels.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace vel {
namespace {

void StencilInterior(const float* n, const float* c, const float* s, float* a, int64_t begin,
                     int64_t end, int64_t d, float wc, float we, float wk) {
    const __m256 vc = _mm256_set1_ps(wc);
    const __m256 ve = _mm256_set1_ps(we);
    const __m256 vk = _mm256_set1_ps(wk);
    int64_t x = begin;
    for (; x + 8 <= end; x += 8) {
        __m256 edges = _mm256_add_ps(_mm256_loadu_ps(c + x - d), _mm256_loadu_ps(c + x + d));
        edges = _mm256_add_ps(edges, _mm256_loadu_ps(n + x));
        edges = _mm256_add_ps(edges, _mm256_loadu_ps(s + x));
        __m256 corners = _mm256_add_ps(_mm256_loadu_ps(n + x - d), _mm256_loadu_ps(n + x + d));
        corners = _mm256_add_ps(corners, _mm256_loadu_ps(s + x - d));
        corners = _mm256_add_ps(corners, _mm256_loadu_ps(s + x + d));
        const __m256 inner =
            _mm256_add_ps(_mm256_mul_ps(vc, _mm256_loadu_ps(c + x)), _mm256_mul_ps(ve, edges));
        _mm256_storeu_ps(a + x, _mm256_add_ps(inner, _mm256_mul_ps(vk, corners)));
    }
    for (; x < end; ++x) {
        const float edges = ((c[x - d] + c[x + d]) + n[x]) + s[x];
        const float corners = ((n[x - d] + n[x + d]) + s[x - d]) + s[x + d];
        a[x] = (wc * c[x] + we * edges) + wk * corners;
    }
}

void Difference(const float* a, const float* b, float* out, int64_t n) {
    int64_t x = 0;
    for (; x + 8 <= n; x += 8) {
        _mm256_storeu_ps(out + x, _mm256_sub_ps(_mm256_loadu_ps(a + x), _mm256_loadu_ps(b + x)));
    }
    for (; x < n; ++x) {
        out[x] = a[x] - b[x];
    }
}

constexpr WaveletKernels kAvx2{"avx2", StencilInterior, Difference};

}  // namespace

const WaveletKernels* WaveletAvx2Kernels() {
    return &kAvx2;
}

}  // namespace vel

#else

namespace vel {
const WaveletKernels* WaveletAvx2Kernels() {
    return nullptr;
}
}  // namespace vel

#endif
