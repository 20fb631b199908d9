#pragma once
// Planes, band storage and per-sample reference transforms for the wavelet tests. The
// references clamp every neighbour on its own and follow the same evaluation order as the
// library, so they must agree bit for bit with its split border/interior loops.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "wavelet/BandBlock.h"
#include "wavelet/Wavelet.h"

namespace vel::test {

using Plane = std::vector<float>;

inline Plane RandomPlane(int32_t w, int32_t h, uint32_t seed, float lo = 0.0f, float hi = 255.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(lo, hi);
    Plane p(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (float& v : p) {
        v = dist(rng);
    }
    return p;
}

// Small integers: every band of up to a few levels is then a short dyadic fraction, so sums
// and differences are exact and results can be compared bit for bit.
inline Plane IntegerPlane(int32_t w, int32_t h, uint32_t seed, int maxValue = 15) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(0, maxValue);
    Plane p(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (float& v : p) {
        v = static_cast<float>(dist(rng));
    }
    return p;
}

inline Plane CopyBand(const float* band, int32_t w, int32_t h) {
    return Plane(band, band + static_cast<size_t>(w) * static_cast<size_t>(h));
}

inline std::vector<Plane> CopyTable(const BandBlock& block, int32_t w, int32_t h) {
    std::vector<Plane> copy;
    for (int32_t j = 0; j < block.levels(); ++j) {
        for (int32_t b = 0; b < block.bandsPerLevel(); ++b) {
            copy.push_back(CopyBand(block.band(j, b), w, h));
        }
    }
    return copy;
}

inline bool SameBits(const Plane& a, const Plane& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](float x, float y) {
               return (std::isnan(x) && std::isnan(y)) ||
                      (x == y && std::signbit(x) == std::signbit(y));
           });
}

// Bound on |reconstruction - input| for unchanged bands of `levels` levels of samples up to
// m in magnitude. The smoothed values cancel exactly in the sum; what remains are the
// roundings of the stored differences and of the additions, each at most half an ulp of a
// magnitude of at most 4m (2 * FLT_EPSILON * m). A directional level has three differences
// and three additions, an isotropic level one of each, and a level's error passes unchanged
// into the finer ones: 8 * FLT_EPSILON * m per level covers both kinds.
inline double ReconstructionTolerance(int32_t levels, float m) {
    return 8.0 * static_cast<double>(levels) * static_cast<double>(FLT_EPSILON) *
           static_cast<double>(std::max(m, FLT_MIN));
}

class Sampler {
  public:
    Sampler(const Plane& p, int32_t w, int32_t h) : p_(p), w_(w), h_(h) {}
    float operator()(int64_t x, int64_t y) const {
        x = std::clamp<int64_t>(x, 0, w_ - 1);
        y = std::clamp<int64_t>(y, 0, h_ - 1);
        return p_[static_cast<size_t>(y * w_ + x)];
    }

  private:
    const Plane& p_;
    int64_t w_;
    int64_t h_;
};

// One isotropic level with spacing d, sample by sample.
inline void ReferenceIsotropic(const Plane& p, int32_t w, int32_t h, int64_t d, Plane& a,
                               Plane& detail) {
    const Sampler s(p, w, h);
    a.assign(p.size(), 0.0f);
    detail.assign(p.size(), 0.0f);
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = 0; x < w; ++x) {
            const float edges = ((s(x - d, y) + s(x + d, y)) + s(x, y - d)) + s(x, y + d);
            const float corners =
                ((s(x - d, y - d) + s(x + d, y - d)) + s(x - d, y + d)) + s(x + d, y + d);
            const float v = (0.25f * s(x, y) + 0.125f * edges) + 0.0625f * corners;
            const size_t i = static_cast<size_t>(y * w + x);
            a[i] = v;
            detail[i] = p[i] - v;
        }
    }
}

// Smoothing along x (alongX) or y with spacing d, sample by sample.
inline Plane ReferenceSmooth(const Plane& p, int32_t w, int32_t h, int64_t d, bool alongX) {
    const Sampler s(p, w, h);
    Plane r(p.size());
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = 0; x < w; ++x) {
            const float before = alongX ? s(x - d, y) : s(x, y - d);
            const float after = alongX ? s(x + d, y) : s(x, y + d);
            r[static_cast<size_t>(y * w + x)] = (before + after) * 0.25f + 0.5f * s(x, y);
        }
    }
    return r;
}

inline Plane Minus(const Plane& a, const Plane& b) {
    Plane r(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        r[i] = a[i] - b[i];
    }
    return r;
}

// One directional level with spacing d: bands 0..3.
inline std::vector<Plane> ReferenceDirectional(const Plane& p, int32_t w, int32_t h, int64_t d) {
    const Plane lx = ReferenceSmooth(p, w, h, d, true);
    const Plane hx = Minus(p, lx);
    const Plane b0 = ReferenceSmooth(lx, w, h, d, false);
    const Plane b1 = ReferenceSmooth(hx, w, h, d, false);
    return {b0, b1, Minus(lx, b0), Minus(hx, b1)};
}

}  // namespace vel::test
