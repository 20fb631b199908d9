// The level steps against per-sample references that clamp every neighbour on its own in the
// library's order of operations (bit for bit), and the exact reconstruction.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "wavelet/BandBlock.h"
#include "wavelet/Wavelet.h"

namespace vel {
namespace {

using Plane = std::vector<float>;
constexpr WaveletKind kKinds[] = {WaveletKind::Isotropic, WaveletKind::Directional};

// Uniform in -1000..1000; integers (0..15) keep every band a short dyadic fraction, so their sums
// and differences are exact.
Plane RandomPlane(int32_t w, int32_t h, uint32_t seed, bool integers = false) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    Plane p(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (float& v : p) {
        v = integers ? static_cast<float>(rng() % 16) : dist(rng);
    }
    return p;
}

bool SameBits(const Plane& a, const Plane& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// One level with spacing d, sample by sample: bands 0..1 (isotropic) or 0..3 (directional).
std::vector<Plane> ReferenceLevel(WaveletKind kind, const Plane& p, int32_t w, int32_t h,
                                  int64_t d) {
    const auto at = [&](const Plane& q, int64_t x, int64_t y) {
        return q[static_cast<size_t>(std::clamp<int64_t>(y, 0, h - 1) * w +
                                     std::clamp<int64_t>(x, 0, w - 1))];
    };
    const auto map = [&](auto f) {
        Plane r(p.size());
        for (size_t i = 0; i < p.size(); ++i) {
            r[i] = f(static_cast<int64_t>(i) % w, static_cast<int64_t>(i) / w);
        }
        return r;
    };
    const auto minus = [&](const Plane& a, const Plane& b) {
        return map([&](int64_t x, int64_t y) { return at(a, x, y) - at(b, x, y); });
    };
    if (kind == WaveletKind::Isotropic) {
        const Plane a = map([&](int64_t x, int64_t y) {
            const float edges =
                ((at(p, x - d, y) + at(p, x + d, y)) + at(p, x, y - d)) + at(p, x, y + d);
            const float corners =
                ((at(p, x - d, y - d) + at(p, x + d, y - d)) + at(p, x - d, y + d)) +
                at(p, x + d, y + d);
            return (0.25f * at(p, x, y) + 0.125f * edges) + 0.0625f * corners;
        });
        return {a, minus(p, a)};
    }
    const auto smooth = [&](const Plane& q, bool alongX) {
        return map([&](int64_t x, int64_t y) {
            return alongX ? (at(q, x - d, y) + at(q, x + d, y)) * 0.25f + 0.5f * at(q, x, y)
                          : (at(q, x, y - d) + at(q, x, y + d)) * 0.25f + 0.5f * at(q, x, y);
        });
    };
    const Plane lx = smooth(p, true), hx = minus(p, lx);
    const Plane b0 = smooth(lx, false), b1 = smooth(hx, false);
    return {b0, b1, minus(lx, b0), minus(hx, b1)};
}

// The edge rule and the level steps of both kinds at every sample, for planes smaller and larger
// than the spacing; the source is only read.
TEST(WaveletTest, LevelsMatchTheClampedReference) {
    for (int32_t h = 1; h <= 19; ++h) {
        for (int32_t w = 1; w <= 19; ++w) {
            const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w * 31 + h)), copy = p;
            for (int32_t level = 0; level <= 5; ++level) {
                for (const WaveletKind kind : kKinds) {
                    std::vector<Plane> bands(static_cast<size_t>(BandsPerLevel(kind)),
                                             Plane(p.size(), -99.0f));
                    float* table[4] = {};
                    std::transform(bands.begin(), bands.end(), table,
                                   [](Plane& b) { return b.data(); });
                    if (kind == WaveletKind::Directional) {
                        DecomposeLevelDirectional(PackedPlane(p.data(), w, h), table, level);
                    } else {
                        DecomposeLevelIsotropic(PackedPlane(p.data(), w, h), table, level);
                    }
                    const auto expected = ReferenceLevel(kind, p, w, h, int64_t{1} << level);
                    for (size_t b = 0; b < bands.size(); ++b) {
                        ASSERT_TRUE(SameBits(bands[b], expected[b]))
                            << w << "x" << h << " level " << level << " band " << b;
                    }
                }
            }
            ASSERT_TRUE(SameBits(p, copy));
        }
    }
}

// Reconstructs into the decomposed plane itself, as the engine does; the worst error.
double RoundTripError(const Plane& p, int32_t w, int32_t h, int32_t levels, WaveletKind kind) {
    const BandBlock block(w, h, levels, kind);
    Plane out = p;
    WaveletDecompose(PackedPlane(out.data(), w, h), block.table(), levels, kind);
    WaveletReconstruct(PackedPlane(out.data(), w, h), block.table(), levels, kind);
    double worst = 0.0;
    for (size_t i = 0; i < p.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(out[i]) - static_cast<double>(p[i])));
    }
    return worst;
}

// Every size up to 40 x 40. Integer and constant planes (of any magnitude whose sixteenth is
// still normal and whose four-fold is finite) come back bit for bit. A kind from outside the
// enumeration is the isotropic one with its two bands (ASan catches a third).
TEST(WaveletTest, PerfectReconstruction) {
    for (const WaveletKind kind :
         {WaveletKind::Isotropic, WaveletKind::Directional, WaveletKind{7}}) {
        for (int32_t h = 1; h <= 40; ++h) {
            for (int32_t w = 1; w <= 40; ++w) {
                const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w * 41 + h));
                // Four levels' roundings of the stored differences and of the additions (three each
                // per directional level), each half an ulp (2^-23 relative) of at most 4 x 1000.
                ASSERT_LE(RoundTripError(p, w, h, 4, kind), 32000.0 * 0x1p-23) << w << "x" << h;
                ASSERT_EQ(RoundTripError(RandomPlane(w, h, 77, true), w, h, 4, kind), 0.0);
            }
        }
        for (const float c : {0.1f, -3.7f, 254.99f, 1e-30f, -3e37f, 0x1.fffffep-110f}) {
            ASSERT_EQ(RoundTripError(Plane(17 * 9, c), 17, 9, 4, kind), 0.0) << c;
        }
    }
}

}  // namespace
}  // namespace vel
