// The level steps against per-sample references that clamp every neighbour on its own in the
// library's order of operations (bit for bit), and the exact reconstruction.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include "wavelet/BandBlock.h"
#include "wavelet/Wavelet.h"

namespace vel {
namespace {

using Plane = std::vector<float>;
constexpr WaveletKind kKinds[] = {WaveletKind::Isotropic, WaveletKind::Directional};

// Uniform in lo..hi; integers (0..15) keep every band a short dyadic fraction, so their sums and
// differences are exact.
Plane RandomPlane(int32_t w, int32_t h, uint32_t seed, float lo = 0.0f, float hi = 255.0f,
                  bool integers = false) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(lo, hi);
    Plane p(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (float& v : p) {
        v = integers ? static_cast<float>(rng() % 16) : dist(rng);
    }
    return p;
}

std::vector<Plane> Bands(const BandBlock& block) {
    std::vector<Plane> copy;
    for (int32_t i = 0; i < block.levels() * block.bandsPerLevel(); ++i) {
        copy.emplace_back(block.table()[i], block.table()[i] + block.planeSize());
    }
    return copy;
}

bool SameBits(const Plane& a, const Plane& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Bound on |reconstruction - input| for samples up to m: the roundings of the stored differences
// and of the additions (three each per directional level), each half an ulp of at most 4m.
double Tolerance(int32_t levels, float m) {
    return 8.0 * levels * static_cast<double>(FLT_EPSILON) * static_cast<double>(m);
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

TEST(WaveletTest, BandBlockSizes) {
    EXPECT_EQ(BandBlock(0, 5, 4, WaveletKind::Directional).levels(), 0);
    EXPECT_EQ(BandBlock(5, 5, 0, WaveletKind::Directional).planeSize(), 0u);
    // Sizes whose byte count does not fit an address are refused before any allocation.
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    EXPECT_THROW(BandBlock(kMax, kMax, kMax, WaveletKind::Directional), std::bad_alloc);
    EXPECT_THROW(BandBlock(65536, 65536, kMax, WaveletKind::Isotropic), std::bad_alloc);
    EXPECT_THROW(BandBlock(kMax, 2, 1 << 29, WaveletKind::Directional), std::bad_alloc);
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
                        DecomposeLevelDirectional(PackedPlane(p.data(), w, h), table, level, 0);
                    } else {
                        DecomposeLevelIsotropic(PackedPlane(p.data(), w, h), table, level, 0);
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
    WaveletDecompose(PackedPlane(out.data(), w, h), block.table(), levels, kind, 0);
    WaveletReconstruct(PackedPlane(out.data(), w, h), block.table(), levels, kind, 0);
    double worst = 0.0;
    for (size_t i = 0; i < p.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(out[i]) - static_cast<double>(p[i])));
    }
    return worst;
}

// Every size up to 40 x 40, long thin planes and many levels. A kind from outside the
// enumeration is the isotropic one with its two bands (ASan catches a third).
TEST(WaveletTest, PerfectReconstruction) {
    for (const WaveletKind kind :
         {WaveletKind::Isotropic, WaveletKind::Directional, WaveletKind{7}}) {
        for (int32_t h = 1; h <= 40; ++h) {
            for (int32_t w = 1; w <= 40; ++w) {
                const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w * 41 + h));
                ASSERT_LE(RoundTripError(p, w, h, 4, kind), Tolerance(4, 255.0f)) << w << "x" << h;
                ASSERT_EQ(RoundTripError(RandomPlane(w, h, 77, 0, 0, true), w, h, 4, kind), 0.0);
            }
        }
        for (auto [w, h] : {std::pair{1, 300}, {300, 1}, {2, 300}, {3, 257}, {513, 5}, {64, 64}}) {
            const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w + 7 * h), -1000.0f, 1000.0f);
            for (const int32_t levels : {1, 2, 7, 12}) {
                ASSERT_LE(RoundTripError(p, w, h, levels, kind), Tolerance(levels, 1000.0f))
                    << w << "x" << h << " levels " << levels;
            }
        }
    }
}

// A constant plane is its own approximation with zero details at every level and comes back bit
// for bit: c + c + c + c and c/4 + c/2 + c/4 round back to 4c and c for any c whose sixteenth is
// still normal and whose four-fold is finite.
TEST(WaveletTest, ConstantPlanesAreExact) {
    std::mt19937 rng(20);
    std::vector<float> values = {0.0f, 1.0f, 0.1f, -3.7f, 254.99f, 1e-30f, 3e37f};
    for (int n = 0; n < 300; ++n) {
        const float unit = 1.0f + std::ldexp(static_cast<float>(rng() % (1u << 23)), -23);
        values.push_back(std::ldexp(unit, static_cast<int>(rng() % 248) - 122) *
                         (n % 2 ? -1.0f : 1.0f));
    }
    for (size_t n = 0; n < values.size(); ++n) {
        const int32_t w = n < 7 ? 17 : 5, h = n < 7 ? 9 : 4;
        for (const WaveletKind kind : kKinds) {
            const Plane p(static_cast<size_t>(w * h), values[n]);
            const BandBlock block(w, h, 6, kind);
            WaveletDecompose(PackedPlane(p.data(), w, h), block.table(), 6, kind, 0);
            const auto bands = Bands(block);
            for (size_t e = 0; e < bands.size(); ++e) {
                ASSERT_TRUE(
                    SameBits(bands[e], e % BandsPerLevel(kind) == 0 ? p : Plane(p.size(), 0.0f)))
                    << values[n];
            }
            Plane out(p.size(), -1.0f);
            WaveletReconstruct(PackedPlane(out.data(), w, h), block.table(), 6, kind, 0);
            ASSERT_TRUE(SameBits(out, p)) << values[n];
        }
    }
}

}  // namespace
}  // namespace vel
