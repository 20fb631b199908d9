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

void Sum(const float* a, const float* b, float* out, int64_t n) {
    int64_t x = 0;
    for (; x + 4 <= n; x += 4) {
        _mm_storeu_ps(out + x, _mm_add_ps(_mm_loadu_ps(a + x), _mm_loadu_ps(b + x)));
    }
    for (; x < n; ++x) {
        out[x] = a[x] + b[x];
    }
}

void SumFour(const float* b0, const float* b1, const float* b2, const float* b3, float* out,
             int64_t n) {
    int64_t x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128 smoothed = _mm_add_ps(_mm_loadu_ps(b0 + x), _mm_loadu_ps(b2 + x));
        const __m128 detail = _mm_add_ps(_mm_loadu_ps(b1 + x), _mm_loadu_ps(b3 + x));
        _mm_storeu_ps(out + x, _mm_add_ps(smoothed, detail));
    }
    for (; x < n; ++x) {
        out[x] = (b0[x] + b2[x]) + (b1[x] + b3[x]);
    }
}

inline __m128 SmoothThree(__m128 before, __m128 centre, __m128 after, __m128 t0, __m128 t1) {
    return _mm_add_ps(_mm_mul_ps(_mm_add_ps(before, after), t0), _mm_mul_ps(t1, centre));
}

void SmoothRowInterior(const float* s, float* low, float* high, int64_t begin, int64_t end,
                       int64_t d, float t0, float t1) {
    const __m128 v0 = _mm_set1_ps(t0);
    const __m128 v1 = _mm_set1_ps(t1);
    int64_t x = begin;
    for (; x + 4 <= end; x += 4) {
        const __m128 centre = _mm_loadu_ps(s + x);
        const __m128 r =
            SmoothThree(_mm_loadu_ps(s + x - d), centre, _mm_loadu_ps(s + x + d), v0, v1);
        _mm_storeu_ps(low + x, r);
        _mm_storeu_ps(high + x, _mm_sub_ps(centre, r));
    }
    for (; x < end; ++x) {
        const float r = (s[x - d] + s[x + d]) * t0 + t1 * s[x];
        low[x] = r;
        high[x] = s[x] - r;
    }
}

void SplitAcrossRows(const float* north, const float* centre, const float* south, float* low,
                     float* high, int64_t n, float t0, float t1) {
    const __m128 v0 = _mm_set1_ps(t0);
    const __m128 v1 = _mm_set1_ps(t1);
    int64_t x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128 c = _mm_loadu_ps(centre + x);
        const __m128 r = SmoothThree(_mm_loadu_ps(north + x), c, _mm_loadu_ps(south + x), v0, v1);
        _mm_storeu_ps(low + x, r);
        _mm_storeu_ps(high + x, _mm_sub_ps(c, r));
    }
    for (; x < n; ++x) {
        const float r = (north[x] + south[x]) * t0 + t1 * centre[x];
        low[x] = r;
        high[x] = centre[x] - r;
    }
}

constexpr WaveletKernels kSse2{"sse2",  StencilInterior,   Difference,     Sum,
                               SumFour, SmoothRowInterior, SplitAcrossRows};

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
