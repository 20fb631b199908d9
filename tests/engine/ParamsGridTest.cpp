#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "TestImages.h"
#include "engine/EngineParams.h"
#include "engine/TileGrid.h"

namespace vel {
namespace {

TEST(DecibelTest, ConstantIsReciprocalOfRoundedDecibelsPerNeper) {
    // One unit in the last place above ln(10)/20 rounded directly (0x3DEBC8E3).
    EXPECT_EQ(test::Bits(DecibelConstant()), 0x3DEBC8E4u);
    EXPECT_FLOAT_EQ(DecibelConstant(), 0.11512926f);
    EXPECT_EQ(DecibelToAmplitude(0), 1.0f);
    EXPECT_NEAR(DecibelToAmplitude(20), 10.0f, 1e-5f);
    EXPECT_NEAR(DecibelToAmplitude(-20), 0.1f, 1e-7f);
}

TEST(DecibelTest, StartupSettingsMapToEngineNumbers) {
    const EngineNumbers n = MapSettings(test::StartupSettings());
    EXPECT_EQ(n.lightGain, 1.0f);
    EXPECT_EQ(n.darkGain, 1.0f);
    EXPECT_NEAR(n.lumaThresholdFactor, 0.63546f, 1e-5f);
    EXPECT_NEAR(n.chromaThresholdFactor, 0.89761f, 1e-5f);
    EXPECT_NEAR(n.lumaFloor, 0.50119f, 1e-5f);
    EXPECT_NEAR(n.chromaFloor, 0.25119f, 1e-5f);
    EXPECT_EQ(n.kind, WaveletKind::Directional);
    EXPECT_EQ(n.levels, 4);
    EXPECT_EQ(n.curveExponent, 2.0f);
    EXPECT_EQ(n.filterIndex, 0u);
    // The factor multiplies the float32 amplitude in float32.
    EXPECT_EQ(n.lumaThresholdFactor, 0.8f * DecibelToAmplitude(-2));
}

TEST(DecibelTest, MappingSignsAndOutOfRangeFixedFields) {
    EngineSettings p = test::StartupSettings();
    p.lightCorrection = 6;
    p.darkCorrection = -6;
    p.highQuality = false;
    p.decompositionLevels = 9;
    p.curveExponent = std::nanf("");
    p.lumaSuppression = INT32_MIN;  // negation must not overflow
    const EngineNumbers n = MapSettings(p);
    EXPECT_NEAR(n.lightGain, 0.50119f, 1e-5f);  // positive correction: gain below 1
    EXPECT_NEAR(n.darkGain, 1.99526f, 1e-5f);
    EXPECT_EQ(n.kind, WaveletKind::Isotropic);
    EXPECT_EQ(n.levels, 4);
    EXPECT_EQ(n.curveExponent, 2.0f);
    EXPECT_EQ(n.filterIndex, 0u);
    EXPECT_TRUE(std::isinf(n.lumaFloor));
    p.decompositionLevels = -1;
    EXPECT_EQ(MapSettings(p).levels, 1);
}

struct AxisCase {
    int32_t size;
    int32_t count;
    int32_t last;
};

TEST(TileGridTest, ReductionAxes) {
    // 300: one tile; 1000: the rest of 8 stretches the last; 1100: rest 108 > 64 adds a tile.
    // Axes of 1..32 samples have no regular tile and become one tile of their own size.
    const AxisCase cases[] = {{300, 1, 300}, {512, 1, 512},  {1000, 2, 520}, {1100, 3, 140},
                              {33, 1, 33},   {32, 1, 32},    {1, 1, 1},      {992, 2, 512},
                              {1057, 3, 97}, {1056, 2, 576}, {3000, 7, 120}, {2000, 4, 560}};
    for (const AxisCase& c : cases) {
        const TileGrid g(c.size, 7, 512, 32);
        EXPECT_EQ(g.tilesX, c.count) << c.size;
        EXPECT_EQ(g.lastTileWidth, c.last) << c.size;
        EXPECT_EQ(g.tilesY, 1);
        EXPECT_EQ(g.lastTileHeight, 7);
        // The last tile ends exactly at the image edge.
        EXPECT_EQ(g.step * (g.tilesX - 1) + g.lastTileWidth, c.size) << c.size;
        const TileGrid t(7, c.size, 512, 32);
        EXPECT_EQ(t.tilesY, c.count);
        EXPECT_EQ(t.lastTileHeight, c.last);
    }
    const TileGrid g(1100, 1000, 512, 32);
    EXPECT_EQ(g.step, 480);
    EXPECT_EQ(g.overlap, 32);
    EXPECT_EQ(g.tileSize, 512);
    EXPECT_EQ(g.width, 1100);
    EXPECT_EQ(g.height, 1000);
    EXPECT_EQ(g.MaxTileWidth(), 512);
    EXPECT_EQ(g.MaxTileHeight(), 520);
}

TEST(TileGridTest, AnalysisAxesAndEmptyImages) {
    const AxisCase cases[] = {{16, 1, 16}, {17, 1, 17}, {1, 1, 1}, {1000, 2, 504}, {1100, 3, 108}};
    for (const AxisCase& c : cases) {
        const TileGrid g(c.size, c.size, 512, 16);
        EXPECT_EQ(g.tilesX, c.count) << c.size;
        EXPECT_EQ(g.lastTileWidth, c.last) << c.size;
    }
    for (const int32_t empty : {0, -5}) {
        const TileGrid g(empty, 100, 512, 32);
        EXPECT_EQ(g.tilesX, 0);
        EXPECT_EQ(g.tilesY, 0);
    }
}

// The window's halves add up to one. Every tile extracted and accumulated again rebuilds the
// image, and tiles of ones accumulate to the sum of the weights at each sample, which must be
// 1 in two-tile overlaps, four-tile corners and single-tile areas.
TEST(TileGridTest, WeightsSumToOneAndTilesRebuildThePlanes) {
    const TileGrid big(1000, 1000, 512, 32);
    ASSERT_EQ(big.window.size(), 64u);
    EXPECT_NEAR(big.window[0], 0.5 * (1.0 - std::cos(0.5 * 3.1415927 / 32.0)), 1e-7);
    for (size_t i = 0; i < 32; ++i) {
        EXPECT_NEAR(big.window[i] + big.window[32 + i], 1.0f, 1e-6f);
        if (i > 0) {
            EXPECT_GT(big.window[i], big.window[i - 1]);
        }
    }
    for (const auto& [w, h] :
         {std::pair{1100, 1000}, {300, 200}, {20, 9}, {1000, 600}, {1100, 530}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const test::Planes in = test::MakeNoisyImage(w, h, 7);
        const TileGrid g(w, h, 512, 32);
        const size_t area =
            static_cast<size_t>(g.MaxTileWidth()) * static_cast<size_t>(g.MaxTileHeight());
        std::vector<float> t0(area), t1(area), t2(area), ones(area, 1.0f);
        // Whatever the outputs hold before, the tiles in raster order replace it.
        const float nan = std::numeric_limits<float>::quiet_NaN();
        test::Planes out(w, h, nan), weights(w, h, nan);
        for (int32_t ty = 0; ty < g.tilesY; ++ty) {
            for (int32_t tx = 0; tx < g.tilesX; ++tx) {
                ExtractTile(g, in[0], in[1], in[2], ty, tx, t0.data(), t1.data(), t2.data());
                const int32_t tw = g.TileWidth(tx), th = g.TileHeight(ty);
                // The packed last sample is the tile's bottom-right corner in the plane.
                const size_t src = static_cast<size_t>(g.step * ty + th - 1) * w +
                                   static_cast<size_t>(g.step * tx + tw - 1);
                EXPECT_EQ(t2[static_cast<size_t>(tw * th - 1)], in.p[2][src]);
                AccumulateTile(g, t0.data(), t1.data(), t2.data(), ty, tx, out[0], out[1], out[2]);
                AccumulateTile(g, ones.data(), ones.data(), ones.data(), ty, tx, weights[0],
                               weights[1], weights[2]);
            }
        }
        ASSERT_TRUE(test::PlanesNear(out, in, 1e-4f));
        ASSERT_TRUE(test::PlanesNear(weights, test::Planes(w, h, 1.0f), 2e-6f));
        // Inside a single tile the weight is exactly 1; at a four-tile corner all products meet.
        if (g.tilesX > 1 && g.tilesY > 1) {
            EXPECT_EQ(weights.p[0][0], 1.0f);
            const size_t corner = static_cast<size_t>(g.step + 5) * static_cast<size_t>(w) +
                                  static_cast<size_t>(g.step + 20);
            EXPECT_NE(weights.p[0][corner], 0.0f);
        }
    }
}

}  // namespace
}  // namespace vel
