// SSE2: four floats or two doubles per register; the baseline of every x86 target we build.

#include "engine/Kernels.h"

#if defined(__SSE2__)

#include <emmintrin.h>
#include <xmmintrin.h>

#include "engine/KernelsScalar.h"

namespace vel {
namespace {

static_assert(kKernelRows == 16, "eight double registers of two rows each");

struct Lanes {
    __m128d a[8];

    // Sixteen floats of one column, rows 0..15, widened to double and added (or subtracted).
    template <bool kAdd>
    void Apply(const float* p) {
        for (int q = 0; q < 4; ++q) {
            const __m128 f = _mm_loadu_ps(p + 4 * q);
            const __m128d v[2] = {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))};
            for (int i = 0; i < 2; ++i) {
                __m128d& lane = a[2 * q + i];
                lane = kAdd ? _mm_add_pd(lane, v[i]) : _mm_sub_pd(lane, v[i]);
            }
        }
    }
    // Rows 4q .. 4q + 3 of the column's means.
    __m128 Means(int q, __m128 scale) const {
        return _mm_mul_ps(_mm_movelh_ps(_mm_cvtpd_ps(a[2 * q]), _mm_cvtpd_ps(a[2 * q + 1])), scale);
    }
};

// Four columns' means at a time are turned back to rows as four 4 x 4 blocks.
void WindowMeans(const float* sums, float* means, ptrdiff_t stride, int32_t cols, int32_t hh,
                 float inverseDivisor) {
    Lanes lanes;
    for (__m128d& lane : lanes.a) {
        lane = _mm_setzero_pd();
    }
    kernels::StartWindow(lanes, sums, hh);
    const __m128 scale = _mm_set1_ps(inverseDivisor);
    const int32_t lastCentre = cols - 1 - hh;
    int32_t x = 0;
    for (; x + 4 <= cols; x += 4) {
        __m128 block[4][4];
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            kernels::MoveWindow(lanes, sums, x + j, hh, lastCentre);
            for (int q = 0; q < 4; ++q) {
                block[q][j] = lanes.Means(q, scale);
            }
        }
        for (int q = 0; q < 4; ++q) {
            __m128* b = block[q];
            _MM_TRANSPOSE4_PS(b[0], b[1], b[2], b[3]);
            for (int i = 0; i < 4; ++i) {
                _mm_storeu_ps(means + (4 * q + i) * stride + x, b[i]);
            }
        }
    }
    alignas(16) float rest[4 * kKernelRows];
    for (int32_t c = 0; x + c < cols; ++c) {
        kernels::MoveWindow(lanes, sums, x + c, hh, lastCentre);
        for (int q = 0; q < 4; ++q) {
            _mm_store_ps(rest + c * kKernelRows + 4 * q, lanes.Means(q, scale));
        }
    }
    kernels::MeansRest(rest, means, stride, x, cols);
}

inline __m128 Abs(__m128 v) {
    return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
}

// TableIndex of four positions.
inline __m128i Indices(__m128 position, int32_t limit) {
    const __m128i inside =
        _mm_castps_si128(_mm_cmplt_ps(position, _mm_set1_ps(static_cast<float>(limit))));
    const __m128i small = _mm_castps_si128(_mm_cmplt_ps(position, _mm_set1_ps(1.0f)));
    const __m128i truncated = _mm_andnot_si128(small, _mm_cvttps_epi32(position));
    return _mm_or_si128(_mm_and_si128(inside, truncated),
                        _mm_andnot_si128(inside, _mm_set1_epi32(limit - 1)));
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
    const __m128 factor = _mm_set1_ps(a.parentFactor);
    const __m128 inverseStep = _mm_set1_ps(a.inverseStep);
    const __m128 half = _mm_set1_ps(0.5f);
    int32_t x = 0;
    for (; x + 4 <= cols; x += 4) {
        __m128 activity = _mm_loadu_ps(means + x);
        if (parent) {
            const float* p = parent + x;
            __m128 around = Abs(_mm_loadu_ps(p));
            around = _mm_add_ps(around, Abs(_mm_loadu_ps(p - spacing)));
            around = _mm_add_ps(around, Abs(_mm_loadu_ps(p + spacing)));
            around = _mm_add_ps(around, Abs(_mm_loadu_ps(p - vertical)));
            around = _mm_add_ps(around, Abs(_mm_loadu_ps(p + vertical)));
            activity = _mm_add_ps(activity, _mm_mul_ps(factor, around));
        }
        const __m128i indices =
            Indices(_mm_add_ps(_mm_mul_ps(activity, inverseStep), half), curveSize);
        // Looked up even where all four lie on the floor: in photographs floor and detail mix
        // along a row, and a branch that guesses wrong costs more than the loads it saves.
        alignas(16) int32_t index[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(index), indices);
        const __m128 gain =
            _mm_setr_ps(curve[index[0]], curve[index[1]], curve[index[2]], curve[index[3]]);
        _mm_storeu_ps(band + x, _mm_mul_ps(_mm_loadu_ps(band + x), gain));
    }
    for (; x < cols; ++x) {
        kernels::ShrinkSample(a, x);
    }
}

void Magnitudes(const float* in, float* out, ptrdiff_t n) {
    ptrdiff_t i = 0;
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_ps(out + i, Abs(_mm_loadu_ps(in + i)));
    }
    for (; i < n; ++i) {
        out[i] = std::fabs(in[i]);
    }
}

// Rows turned as 4 x 4 blocks.
void AdvanceInterleaved(float* sums, const float* const* entering, const float* const* leaving,
                        float* interleaved, int32_t cols) {
    int32_t x = 0;
    for (; x + 4 <= cols; x += 4) {
        __m128 sum = _mm_loadu_ps(sums + x);
        __m128 r[kKernelRows];
        for (int i = 0; i < kKernelRows; ++i) {
            if (entering[i]) {
                sum = _mm_sub_ps(_mm_add_ps(sum, _mm_loadu_ps(entering[i] + x)),
                                 _mm_loadu_ps(leaving[i] + x));
            }
            r[i] = sum;
        }
        _mm_storeu_ps(sums + x, sum);
        for (int h = 0; h < kKernelRows / 4; ++h) {
            __m128* b = r + 4 * h;
            _MM_TRANSPOSE4_PS(b[0], b[1], b[2], b[3]);
            float* q = interleaved + x * kKernelRows + 4 * h;
            for (int j = 0; j < 4; ++j) {
                _mm_storeu_ps(q + j * kKernelRows, b[j]);
            }
        }
    }
    kernels::AdvanceInterleavedRest(sums, entering, leaving, interleaved, x, cols);
}

void HistogramBins(const float* values, int32_t n, float offset, float binsPerUnit, int32_t bins,
                   int32_t* out) {
    const __m128 off = _mm_set1_ps(offset);
    const __m128 scale = _mm_set1_ps(binsPerUnit);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 position = _mm_mul_ps(_mm_sub_ps(Abs(_mm_loadu_ps(values + i)), off), scale);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), Indices(position, bins));
    }
    for (; i < n; ++i) {
        out[i] = kernels::HistogramBin(values[i], offset, binsPerUnit, bins);
    }
}

inline __m128 Select(__m128 mask, __m128 yes, __m128 no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

// The plain ToneGain's compares as selects: min(127, v) keeps v unless 127 < v, as std::min
// does; a NaN mean takes the light side as the branch does, and the NaN gain becomes 1.

void ToneGains(const double* sums, float* gains, int64_t n, double scale, float lightSlope,
               float darkSlope) {
    const __m128d s = _mm_set1_pd(scale);
    const __m128 middle = _mm_set1_ps(128.0f), reach = _mm_set1_ps(127.0f);
    const __m128 one = _mm_set1_ps(1.0f), low = _mm_set1_ps(kernels::kToneMinGain),
                 high = _mm_set1_ps(kernels::kToneMaxGain);
    const __m128 light = _mm_set1_ps(lightSlope), dark = _mm_set1_ps(darkSlope);
    int64_t x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128 mean = _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(_mm_loadu_pd(sums + x), s)),
                                          _mm_cvtpd_ps(_mm_mul_pd(_mm_loadu_pd(sums + x + 2), s)));
        const __m128 t = Select(_mm_cmplt_ps(mean, middle),
                                _mm_mul_ps(_mm_min_ps(reach, _mm_sub_ps(middle, mean)), dark),
                                _mm_mul_ps(_mm_min_ps(reach, _mm_sub_ps(mean, middle)), light));
        __m128 g = _mm_add_ps(one, t);
        g = _mm_max_ps(low, g);   // g < low ? low : g
        g = _mm_min_ps(high, g);  // g > high ? high : g
        _mm_storeu_ps(gains + x, Select(_mm_cmpunord_ps(g, g), one, g));
    }
    for (; x < n; ++x) {
        gains[x] = kernels::ToneGain(static_cast<float>(sums[x] * scale), lightSlope, darkSlope);
    }
}

}  // namespace

const KernelSet* Sse2Kernels() {
    static const KernelSet set{"sse2",    WindowMeans,   Magnitudes, AdvanceInterleaved,
                               ShrinkRow, HistogramBins, ToneGains,  WaveletSse2Kernels()};
    return &set;
}

}  // namespace vel

#else

namespace vel {
const KernelSet* Sse2Kernels() {
    return nullptr;
}
}  // namespace vel

#endif
