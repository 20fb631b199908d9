// AVX2: eight floats or four doubles per register. Built with -mavx2 for this file alone and
// used only after the run-time check; no -mfma, so no multiply-add can be formed.

#include "engine/Kernels.h"

#if defined(__AVX2__)

#include <immintrin.h>

#include "engine/KernelsScalar.h"

namespace vel {
namespace {

static_assert(kKernelRows == 16, "four double registers of four rows each");

// The running sums of sixteen rows: four independent chains of additions, so that the next
// column's can start before the last one's have finished.
struct Lanes {
    __m256d a[4];

    template <bool kAdd>
    void Apply(const float* p) {
        for (int i = 0; i < 4; ++i) {
            const __m256d v = _mm256_cvtps_pd(_mm_loadu_ps(p + 4 * i));
            a[i] = kAdd ? _mm256_add_pd(a[i], v) : _mm256_sub_pd(a[i], v);
        }
    }
    // Rows 8h .. 8h + 7 of the column's means.
    __m256 Means(int h, __m256 scale) const {
        const __m256 narrowed = _mm256_insertf128_ps(
            _mm256_castps128_ps256(_mm256_cvtpd_ps(a[2 * h])), _mm256_cvtpd_ps(a[2 * h + 1]), 1);
        return _mm256_mul_ps(narrowed, scale);
    }
};

// Rows in, columns out (an 8 x 8 block is its own inverse under this).
inline void Transpose8(__m256 (&r)[8]) {
    __m256 t[8];
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = _mm256_unpacklo_ps(r[2 * i], r[2 * i + 1]);
        t[2 * i + 1] = _mm256_unpackhi_ps(r[2 * i], r[2 * i + 1]);
    }
    __m256 s[8];
    for (int h = 0; h < 2; ++h) {
        __m256* o = s + 4 * h;
        const __m256* u = t + 4 * h;
        o[0] = _mm256_shuffle_ps(u[0], u[2], _MM_SHUFFLE(1, 0, 1, 0));
        o[1] = _mm256_shuffle_ps(u[0], u[2], _MM_SHUFFLE(3, 2, 3, 2));
        o[2] = _mm256_shuffle_ps(u[1], u[3], _MM_SHUFFLE(1, 0, 1, 0));
        o[3] = _mm256_shuffle_ps(u[1], u[3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = _mm256_permute2f128_ps(s[i], s[i + 4], 0x20);
        r[i + 4] = _mm256_permute2f128_ps(s[i], s[i + 4], 0x31);
    }
}

// Eight columns' means at a time are turned back to rows as two 8 x 8 blocks.
void WindowMeans(const float* sums, float* means, ptrdiff_t stride, int32_t cols, int32_t hh,
                 float inverseDivisor) {
    Lanes lanes{
        {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()}};
    kernels::StartWindow(lanes, sums, hh);
    const __m256 scale = _mm256_set1_ps(inverseDivisor);
    const int32_t lastCentre = cols - 1 - hh;
    int32_t x = 0;
    for (; x + 8 <= cols; x += 8) {
        __m256 block[2][8];
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j) {
            kernels::MoveWindow(lanes, sums, x + j, hh, lastCentre);
            block[0][j] = lanes.Means(0, scale);
            block[1][j] = lanes.Means(1, scale);
        }
        for (int h = 0; h < 2; ++h) {
            Transpose8(block[h]);
            for (int i = 0; i < 8; ++i) {
                _mm256_storeu_ps(means + (8 * h + i) * stride + x, block[h][i]);
            }
        }
    }
    alignas(32) float rest[8 * kKernelRows];
    for (int32_t c = 0; x + c < cols; ++c) {
        kernels::MoveWindow(lanes, sums, x + c, hh, lastCentre);
        _mm256_store_ps(rest + c * kKernelRows, lanes.Means(0, scale));
        _mm256_store_ps(rest + c * kKernelRows + 8, lanes.Means(1, scale));
    }
    kernels::MeansRest(rest, means, stride, x, cols);
}

inline __m256 Abs(__m256 v) {
    return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
}

// TableIndex of eight positions.
inline __m256i Indices(__m256 position, int32_t limit) {
    const __m256i inside = _mm256_castps_si256(
        _mm256_cmp_ps(position, _mm256_set1_ps(static_cast<float>(limit)), _CMP_LT_OQ));
    const __m256i small =
        _mm256_castps_si256(_mm256_cmp_ps(position, _mm256_set1_ps(1.0f), _CMP_LT_OQ));
    const __m256i truncated = _mm256_andnot_si256(small, _mm256_cvttps_epi32(position));
    return _mm256_or_si256(_mm256_and_si256(inside, truncated),
                           _mm256_andnot_si256(inside, _mm256_set1_epi32(limit - 1)));
}

void ShrinkRow(const ShrinkRowArgs& a) {
    // Locals, so that the stores to the band do not make the compiler reload the arguments.
    float* const band = a.band;
    const float* const means = a.means;
    const float* const parent = a.parent;
    const ptrdiff_t spacing = a.spacing;
    const ptrdiff_t vertical = a.vertical;
    const float* const curve = a.curve;
    const int32_t curveSize = a.curveSize;
    const int32_t cols = a.cols;
    const __m256 factor = _mm256_set1_ps(a.parentFactor);
    const __m256 inverseStep = _mm256_set1_ps(a.inverseStep);
    const __m256 half = _mm256_set1_ps(0.5f);
    int32_t x = 0;
    for (; x + 8 <= cols; x += 8) {
        __m256 activity = _mm256_loadu_ps(means + x);
        if (parent) {
            const float* p = parent + x;
            __m256 around = Abs(_mm256_loadu_ps(p));
            around = _mm256_add_ps(around, Abs(_mm256_loadu_ps(p - spacing)));
            around = _mm256_add_ps(around, Abs(_mm256_loadu_ps(p + spacing)));
            around = _mm256_add_ps(around, Abs(_mm256_loadu_ps(p - vertical)));
            around = _mm256_add_ps(around, Abs(_mm256_loadu_ps(p + vertical)));
            activity = _mm256_add_ps(activity, _mm256_mul_ps(factor, around));
        }
        const __m256i index =
            Indices(_mm256_add_ps(_mm256_mul_ps(activity, inverseStep), half), curveSize);
        // Gathered even where all eight lie on the floor: in photographs floor and detail mix
        // along a row, and a branch that guesses wrong costs more than the gathers it saves.
        const __m256 gain = _mm256_i32gather_ps(curve, index, 4);
        _mm256_storeu_ps(band + x, _mm256_mul_ps(_mm256_loadu_ps(band + x), gain));
    }
    for (; x < cols; ++x) {
        kernels::ShrinkSample(a, x);
    }
}

void Magnitudes(const float* in, float* out, ptrdiff_t n) {
    ptrdiff_t i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm256_storeu_ps(out + i, Abs(_mm256_loadu_ps(in + i)));
    }
    for (; i < n; ++i) {
        out[i] = std::fabs(in[i]);
    }
}

void AdvanceInterleaved(float* sums, const float* const* entering, const float* const* leaving,
                        float* interleaved, int32_t cols) {
    int32_t x = 0;
    for (; x + 8 <= cols; x += 8) {
        __m256 sum = _mm256_loadu_ps(sums + x);
        // Each half is turned and stored as soon as its rows are summed: fewer live registers.
        for (int h = 0; h < kKernelRows / 8; ++h) {
            __m256 r[8];
            for (int i = 0; i < 8; ++i) {
                const int row = 8 * h + i;
                if (entering[row]) {
                    sum = _mm256_sub_ps(_mm256_add_ps(sum, _mm256_loadu_ps(entering[row] + x)),
                                        _mm256_loadu_ps(leaving[row] + x));
                }
                r[i] = sum;
            }
            Transpose8(r);
            for (int j = 0; j < 8; ++j) {
                _mm256_storeu_ps(interleaved + (x + j) * kKernelRows + 8 * h, r[j]);
            }
        }
        _mm256_storeu_ps(sums + x, sum);
    }
    kernels::AdvanceInterleavedRest(sums, entering, leaving, interleaved, x, cols);
}

void HistogramBins(const float* values, int32_t n, float offset, float binsPerUnit, int32_t bins,
                   int32_t* out) {
    const __m256 off = _mm256_set1_ps(offset);
    const __m256 scale = _mm256_set1_ps(binsPerUnit);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 position =
            _mm256_mul_ps(_mm256_sub_ps(Abs(_mm256_loadu_ps(values + i)), off), scale);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Indices(position, bins));
    }
    for (; i < n; ++i) {
        out[i] = kernels::HistogramBin(values[i], offset, binsPerUnit, bins);
    }
}

// The plain ToneGain's compares as selects: min(127, v) keeps v unless 127 < v, as std::min
// does; a NaN mean takes the light side as the branch does, and the NaN gain becomes 1.
void ToneGains(const double* sums, float* gains, int64_t n, double scale, float lightSlope,
               float darkSlope) {
    const __m256d s = _mm256_set1_pd(scale);
    const __m256 middle = _mm256_set1_ps(128.0f), reach = _mm256_set1_ps(127.0f);
    const __m256 one = _mm256_set1_ps(1.0f), low = _mm256_set1_ps(kernels::kToneMinGain),
                 high = _mm256_set1_ps(kernels::kToneMaxGain);
    const __m256 light = _mm256_set1_ps(lightSlope), dark = _mm256_set1_ps(darkSlope);
    int64_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m128 lo = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_loadu_pd(sums + x), s));
        const __m128 hi = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_loadu_pd(sums + x + 4), s));
        const __m256 mean = _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
        const __m256 t = _mm256_blendv_ps(
            _mm256_mul_ps(_mm256_min_ps(reach, _mm256_sub_ps(mean, middle)), light),
            _mm256_mul_ps(_mm256_min_ps(reach, _mm256_sub_ps(middle, mean)), dark),
            _mm256_cmp_ps(mean, middle, _CMP_LT_OQ));
        __m256 g = _mm256_add_ps(one, t);
        g = _mm256_max_ps(low, g);   // g < low ? low : g
        g = _mm256_min_ps(high, g);  // g > high ? high : g
        _mm256_storeu_ps(gains + x, _mm256_blendv_ps(g, one, _mm256_cmp_ps(g, g, _CMP_UNORD_Q)));
    }
    for (; x < n; ++x) {
        gains[x] = kernels::ToneGain(static_cast<float>(sums[x] * scale), lightSlope, darkSlope);
    }
}

}  // namespace

const KernelSet* Avx2Kernels() {
    static const KernelSet set{"avx2",    WindowMeans,   Magnitudes, AdvanceInterleaved,
                               ShrinkRow, HistogramBins, ToneGains,  WaveletAvx2Kernels()};
    return &set;
}

}  // namespace vel

#else

namespace vel {
const KernelSet* Avx2Kernels() {
    return nullptr;
}
}  // namespace vel

#endif
