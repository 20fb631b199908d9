#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "TestImages.h"
#include "engine/Suppression.h"

namespace vel {
namespace {

std::array<float, kGainCurveSize> Curve(float tau, float floor) {
    std::array<float, kGainCurveSize> curve{};
    GainCurve(tau, 2.0f, floor, curve.data());
    return curve;
}

TEST(GainCurveTest, LumaFloorTable) {
    const float floor = 0.50119f;
    const auto curve = Curve(1.0f, floor);
    for (int i = 0; i <= 200; ++i) {
        EXPECT_EQ(curve[static_cast<size_t>(i)], floor) << i;  // raw 0.2222 at 150, 0.5 at 200
    }
    EXPECT_NEAR(curve[250], 0.68f, 1e-5f);
    EXPECT_NEAR(curve[300], 0.7778f, 1e-4f);
    EXPECT_NEAR(curve[400], 0.875f, 1e-5f);
    EXPECT_NEAR(curve[500], 0.92f, 1e-5f);
    EXPECT_NEAR(curve[1000], 0.98f, 1e-5f);
    EXPECT_EQ(curve[1023], 1.0f);
    for (int i = 201; i < kGainCurveSize; ++i) {
        EXPECT_GE(curve[static_cast<size_t>(i)], curve[static_cast<size_t>(i - 1)]);
    }
}

TEST(GainCurveTest, ChromaFloorTableAndScaleInvariance) {
    const float floor = 0.25119f;
    const auto curve = Curve(3.7f, floor);
    EXPECT_NEAR(curve[200], 0.5f, 1e-5f);
    for (int i = 0; i <= 154; ++i) {
        EXPECT_EQ(curve[static_cast<size_t>(i)], floor) << i;
    }
    EXPECT_GT(curve[155], floor);
    EXPECT_EQ(curve[1023], 1.0f);
    // Entry i depends on i/100 only, whatever the noise level, up to float rounding.
    const auto other = Curve(0.02f, floor);
    for (int i = 0; i < kGainCurveSize; ++i) {
        EXPECT_NEAR(curve[static_cast<size_t>(i)], other[static_cast<size_t>(i)], 2e-4f) << i;
    }
}

TEST(WindowTest, ShapesAndSpacingByLevel) {
    const int32_t square[] = {4, 5, 7, 9};
    const std::pair<int32_t, int32_t> tall[] = {{6, 3}, {7, 4}, {10, 5}, {13, 6}};
    for (int32_t level = 0; level < 4; ++level) {
        const auto s = WindowHalfSizesFor(level, WindowShape::Square);
        EXPECT_EQ(s.vertical, square[level]);
        EXPECT_EQ(s.horizontal, square[level]);
        const auto t = WindowHalfSizesFor(level, WindowShape::Tall);
        EXPECT_EQ(t.vertical, tall[level].first);
        EXPECT_EQ(t.horizontal, tall[level].second);
        const auto w = WindowHalfSizesFor(level, WindowShape::Wide);
        EXPECT_EQ(w.vertical, tall[level].second);
        EXPECT_EQ(w.horizontal, tall[level].first);
    }
    EXPECT_EQ(ParentSpacing(0), 1);
    EXPECT_EQ(ParentSpacing(1), 1);
    EXPECT_EQ(ParentSpacing(2), 2);
    EXPECT_EQ(ParentSpacing(3), 3);
    EXPECT_EQ(ShapeOfBand(WaveletKind::Isotropic, 1), WindowShape::Square);
    EXPECT_EQ(ShapeOfBand(WaveletKind::Directional, 1), WindowShape::Tall);
    EXPECT_EQ(ShapeOfBand(WaveletKind::Directional, 2), WindowShape::Wide);
    EXPECT_EQ(ShapeOfBand(WaveletKind::Directional, 3), WindowShape::Square);
}

// Shrinks a band of constant magnitude |value| (signs alternating) and returns the gains,
// checking that every coefficient got the same one.
float UniformShrinkGain(int32_t cols, int32_t rows, float value, bool withParent, float tau,
                        int32_t level, float floor, WindowShape shape) {
    const size_t n = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    std::vector<float> band(n), parent(n, -1.0f), work(n);
    for (size_t i = 0; i < n; ++i) {
        band[i] = i % 3 == 0 ? -value : value;
    }
    ShrinkSubband(band.data(), withParent ? parent.data() : nullptr, cols, rows, tau, level,
                  work.data(), floor, 2.0f, shape);
    const float gain = band[0] / -value;
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(std::fabs(band[i]), std::fabs(value) * gain) << i;
    }
    return gain;
}

TEST(ShrinkSubbandTest, WorkedExampleAtLevelZero) {
    // m = 81/96 + 5 * 4/96 = 1.05208 -> index 210 -> 0.54649.
    EXPECT_NEAR(UniformShrinkGain(24, 20, 1.0f, true, 0.5f, 0, 0.25119f, WindowShape::Square),
                0.54649f, 1e-5f);
    // No parent: m = 0.84375 -> index 169 -> 0.33339 (the divisor stays A + 15).
    EXPECT_NEAR(UniformShrinkGain(24, 20, 1.0f, false, 0.5f, 0, 0.25119f, WindowShape::Square),
                0.33339f, 1e-5f);
}

TEST(ShrinkSubbandTest, LargeActivityPassesAndZeroBandStaysZero) {
    // Activity >= 10.225 tau maps to the last entry, gain exactly 1. Level 3, tall window:
    // A = 351, so a magnitude of 10.75 gives m = 10.31 and 10.5 gives m = 10.07 (entry 1007).
    EXPECT_EQ(UniformShrinkGain(40, 40, 10.75f, false, 1.0f, 3, 0.5f, WindowShape::Tall), 1.0f);
    // Neighbouring entries there differ by 4e-5; the tolerance only absorbs the division.
    EXPECT_NEAR(UniformShrinkGain(40, 40, 10.5f, false, 1.0f, 3, 0.5f, WindowShape::Tall),
                Curve(1.0f, 0.5f)[1007], 2e-6f);
    std::vector<float> band(100, 0.0f), work(100);
    ShrinkSubband(band.data(), nullptr, 10, 10, 0.7f, 1, work.data(), 0.3f, 2.0f,
                  WindowShape::Wide);
    for (float v : band) {
        EXPECT_EQ(v, 0.0f);
    }
}

// A zero level (an all-zero profile entry) leaves the band unchanged; so do levels that are
// negative, not finite, or so small that the index scale cannot be formed.
TEST(ShrinkSubbandTest, DegenerateNoiseLevelsLeaveTheBandUnchanged) {
    const float inf = std::numeric_limits<float>::infinity();
    for (const float tau : {0.0f, -0.0f, -1.0f, std::nanf(""), inf, 1e-45f}) {
        test::Planes image = test::MakeNoisyImage(30, 20, 9);
        const std::vector<float> before = image.p[1];
        std::vector<float> work(before.size());
        ShrinkSubband(image[1], image[2], 30, 20, tau, 0, work.data(), 0.1f, 2.0f,
                      WindowShape::Square);
        EXPECT_TRUE(image.p[1] == before) << tau;
    }
    // Tiny but usable: the index scale overflows to infinity, the indices are routed.
    test::Planes image = test::MakeNoisyImage(30, 20, 9);
    image[1][0] = 0.0f;
    std::vector<float> work(image.Size());
    ShrinkSubband(image[1], image[2], 30, 20, 1e-38f, 0, work.data(), 0.1f, 2.0f,
                  WindowShape::Square);
    for (size_t i = 0; i < image.Size(); ++i) {
        EXPECT_TRUE(std::isfinite(image.p[1][i]));
    }
}

// Bands narrower than their window use the widest odd window that fits (area from the window
// actually summed); bands shorter than 2s + 1 rows clamp each parent arm to the band.
TEST(ShrinkSubbandTest, BandsSmallerThanTheirWindow) {
    // 5 columns at level 3, tall window: 27 rows x 5 columns, A = 135, divisor 150.
    const float tau = 0.5f;
    const auto curve = Curve(tau, 0.2f);
    const float m = 135.0f * (1.0f / 150.0f);
    const auto index = static_cast<size_t>(m * (1.0f / (tau * 0.01f)) + 0.5f);
    EXPECT_EQ(UniformShrinkGain(5, 40, 1.0f, false, tau, 3, 0.2f, WindowShape::Tall), curve[index]);
    // Every size from 1 x 1 with a parent, each level and shape: in bounds (ASan), uniform.
    for (int32_t cols = 1; cols <= 30; cols += 3) {
        for (int32_t rows = 1; rows <= 8; ++rows) {
            for (int32_t level = 0; level < 4; ++level) {
                for (const WindowShape shape :
                     {WindowShape::Square, WindowShape::Tall, WindowShape::Wide}) {
                    const float g =
                        UniformShrinkGain(cols, rows, 0.25f, true, 0.25f, level, 0.1f, shape);
                    EXPECT_GE(g, 0.1f);
                    EXPECT_LE(g, 1.0f);
                }
            }
        }
    }
}

TEST(ShrinkSubbandTest, NonFiniteCoefficientsAreRoutedWithoutUndefinedBehaviour) {
    test::Planes image = test::MakeNoisyImage(40, 30, 2);
    image[1][5] = std::nanf("");
    image[1][700] = std::numeric_limits<float>::infinity();
    image[2][3] = -std::numeric_limits<float>::infinity();
    std::vector<float> work(image.Size());
    ShrinkSubband(image[1], image[2], 40, 30, 2.0f, 1, work.data(), 0.3f, 2.0f,
                  WindowShape::Square);
    // Far from the bad values the band is shrunk normally.
    EXPECT_TRUE(std::isfinite(image[1][0]));
    EXPECT_TRUE(std::isnan(image[1][5]));
}

// Thresholds 1, floors 0.1, exponent 2, four levels.
EngineNumbers TileNumbers(WaveletKind kind) {
    EngineNumbers n;
    n.lumaThresholdFactor = n.chromaThresholdFactor = 1.0f;
    n.lumaFloor = n.chromaFloor = 0.1f;
    n.kind = kind;
    return n;
}

TEST(DenoiseTileTest, ReducesNoiseOnAFlatField) {
    for (const WaveletKind kind : {WaveletKind::Isotropic, WaveletKind::Directional}) {
        test::Planes tile(64, 64);
        test::SplitMix64 rng(42);
        for (int p = 0; p < 3; ++p) {
            for (size_t i = 0; i < tile.Size(); ++i) {
                tile[p][i] = 100.0f + 5.0f * rng.Noise();
            }
        }
        const auto deviation = [&](int p) {
            double sum = 0.0;
            for (size_t i = 0; i < tile.Size(); ++i) {
                const double d = static_cast<double>(tile[p][i]) - 100.0;
                sum += d * d;
            }
            return std::sqrt(sum / static_cast<double>(tile.Size()));
        };
        const double before = deviation(0);
        DenoiseTile(tile.View(), TileNumbers(kind), {}, {});
        EXPECT_LT(deviation(0), 0.5 * before);
        EXPECT_LT(deviation(2), 0.5 * before);
    }
}

// An all-zero profile leaves the tile as it was (up to the round trip). The reduction reads
// channel * S * levels + level * S + band: a single non-zero entry changes only its own
// channel, and Isotropic never reads past entry 23.
TEST(DenoiseTileTest, ProfileIndexingForBothKinds) {
    const test::Planes input = test::MakeNoisyImage(40, 36, 14);
    for (const WaveletKind kind : {WaveletKind::Isotropic, WaveletKind::Directional}) {
        const int32_t S = BandsPerLevel(kind);
        const auto run = [&](const std::vector<float>& profile) {
            test::Planes tile = input;
            DenoiseTile(tile.View(), TileNumbers(kind), profile, {});
            return tile;
        };
        std::vector<float> profile(48, 0.0f);
        const test::Planes untouched = run(profile);
        EXPECT_TRUE(test::PlanesNear(untouched, input, 1e-4f));
        profile[static_cast<size_t>(1 * S * 4 + 1 * S + 1)] = 5.0f;  // chroma 1, level 1, band 1
        const test::Planes one = run(profile);
        EXPECT_TRUE(one.p[0] == untouched.p[0]);
        EXPECT_FALSE(one.p[1] == untouched.p[1]);
        EXPECT_TRUE(one.p[2] == untouched.p[2]);
        // Band 0 entries are never read.
        for (int32_t c = 0; c < 3; ++c) {
            for (int32_t level = 0; level < 4; ++level) {
                profile[static_cast<size_t>(c * S * 4 + level * S)] = 100.0f;
            }
        }
        if (kind == WaveletKind::Isotropic) {
            std::fill(profile.begin() + 24, profile.end(), 100.0f);
        }
        EXPECT_TRUE(run(profile) == one);
    }
}

}  // namespace
}  // namespace vel
