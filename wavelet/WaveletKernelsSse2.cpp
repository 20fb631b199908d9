// SSE2: four floats per register; the baseline of every x86 target we build.

#include "wavelet/WaveletKernels.h"

#if defined(__SSE2__)

#include <emmintrin.h>

namespace vel {
namespace {

void StencilInterior(const float* n, const float* c, const float* s, float* a, int64_t begin,
                     int64_t end, int64_t d, float wc, float we, float wk) {
    const __m128 vc = _mm_set1_ps(wc);
    const __m128 ve = _mm_set1_ps(we);
    const __m128 vk = _mm_set1_ps(wk);
    int64_t x = begin;
    for (; x + 4 <= end; x += 4) {
        __m128 edges = _mm_add_ps(_mm_loadu_ps(c + x - d), _mm_loadu_ps(c + x + d));
        edges = _mm_add_ps(edges, _mm_loadu_ps(n + x));
        edges = _mm_add_ps(edges, _mm_loadu_ps(s + x));
        __m128 corners = _mm_add_ps(_mm_loadu_ps(n + x - d), _mm_loadu_ps(n + x + d));
        corners = _mm_add_ps(corners, _mm_loadu_ps(s + x - d));
        corners = _mm_add_ps(corners, _mm_loadu_ps(s + x + d));
        const __m128 inner = _mm_add_ps(_mm_mul_ps(vc, _mm_loadu_ps(c + x)), _mm_mul_ps(ve, edges));
        _mm_storeu_ps(a + x, _mm_add_ps(inner, _mm_mul_ps(vk, corners)));
    }
    for (; x < end; ++x) {
        const float edges = ((c[x - d] + c[x + d]) + n[x]) + s[x];
        const float corners = ((n[x - d] + n[x + d]) + s[x - d]) + s[x + d];
        a[x] = (wc * c[x] + we * edges) + wk * corners;
    }
}

void Difference(const float* a, const float* b, float* out, int64_t n) {
    int64_t x = 0;
    for (; x + 4 <= n; x += 4) {
        _mm_storeu_ps(out + x, _mm_sub_ps(_mm_loadu_ps(a + x), _mm_loadu_ps(b + x)));
    }
    for (; x < n; ++x) {
        out[x] = a[x] - b[x];
    }
}

constexpr WaveletKernels kSse2{"sse2", StencilInterior, Difference};

}  // namespace

const WaveletKernels* WaveletSse2Kernels() {
    return &kSse2;
}

}  // namespace vel

#else

namespace vel {
const WaveletKernels* WaveletSse2Kernels() {
    return nullptr;
}
}  // namespace vel

#endif
