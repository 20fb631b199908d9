// The engine's numbers: the decibel mapping, the portable exp and cos against glibc, the tile
// grid and its blending window, the tone correction and the edges of the suppression.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TestImages.h"
#include "engine/EngineParams.h"
#include "engine/Kernels.h"
#include "engine/NoiseAnalysis.h"
#include "engine/Suppression.h"
#include "engine/TileGrid.h"
#include "engine/TileScheduler.h"
#include "engine/ToneCorrection.h"

namespace vel {
namespace {

// Fixed fields into range (levels 1..4, a bad exponent to 2); negating INT32_MIN dB is defined.
TEST(EngineParamsTest, MappingOfTheSettings) {
    EXPECT_EQ(std::bit_cast<uint32_t>(DecibelConstant()), 0x3DEBC8E4u);  // ln(10)/20 + 1 ulp
    const EngineNumbers m = MapSettings({0, 0, INT32_MIN, 0, 6, -6, false, 9, std::nanf("")});
    EXPECT_TRUE(m.lightGain == DecibelToAmplitude(-6) && m.darkGain == DecibelToAmplitude(6));
    EXPECT_TRUE(std::isinf(m.lumaFloor) && m.kind == WaveletKind::Isotropic);
    EXPECT_TRUE(m.levels == 4 && m.curveExponent == 2.0f);
    const EngineNumbers k = MapSettings({0, 0, 0, 0, 0, 0, true, -1, 3.5f});
    EXPECT_TRUE(k.levels == 1 && k.curveExponent == 3.5f && k.kind == WaveletKind::Directional);
}

#if !defined(_WIN32)

// VELNR_REFERENCE=1 is the engine as it was: plain code on one thread, so that a velnr run with
// it is the baseline of the fast one. An explicit thread count still wins.
TEST(EngineThreadsTest, EnvironmentChoosesTheCount) {
    const auto hardware = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    // A run of the suite under either variable keeps it for the tests after this one.
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"VELNR_THREADS", "VELNR_REFERENCE"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    struct Case {
        const char* threads;
        const char* reference;
        int32_t expected;
    };
    for (const Case& c :
         {Case{nullptr, nullptr, hardware}, Case{nullptr, "1", 1}, Case{nullptr, "0", hardware},
          Case{"3", "1", 3}, Case{"x", "1", 1}, Case{"2", nullptr, 2}}) {
        for (const auto& [name, value] :
             {std::pair{"VELNR_THREADS", c.threads}, std::pair{"VELNR_REFERENCE", c.reference}}) {
            value ? setenv(name, value, 1) : unsetenv(name);
        }
        const EngineConfig config = EngineConfigFromEnvironment();
        EXPECT_EQ(config.threads, c.expected)
            << (c.threads ? c.threads : "-") << " " << (c.reference ? c.reference : "-");
        EXPECT_EQ(config.kernels == nullptr, c.reference && c.reference[0] == '1');
    }
    for (const auto& [name, value] : saved) {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
}

#endif

#if defined(__GLIBC__)

// The engine stores these values as float32; with the portable functions they must keep the
// bits glibc's exp and cos gave them, for every value the settings and tile sizes reach.
TEST(PortableMathGlibcTest, DecibelAmplitudesAndWindowsKeepTheirBits) {
    const double k = static_cast<double>(DecibelConstant());
    const auto glibc = [k](int32_t dB) {
        return static_cast<float>(std::exp(static_cast<double>(dB) * k));
    };
    for (int32_t dB = -1000; dB <= 1000; ++dB) {
        ASSERT_EQ(DecibelToAmplitude(dB), glibc(dB)) << dB;
    }
    for (const int32_t dB : {INT32_MIN, -7000, -6500, 6000, 7000, INT32_MAX}) {
        EXPECT_EQ(DecibelToAmplitude(dB), glibc(dB)) << dB;
    }
    for (int32_t overlap = 1; overlap <= 256; ++overlap) {
        const TileGrid grid(64, 64, 2 * overlap + 8, overlap);
        ASSERT_EQ(grid.window.size(), static_cast<size_t>(2 * overlap));
        for (int32_t i = 0; i < 2 * overlap; ++i) {
            const double phase = (static_cast<double>(i) + 0.5) * static_cast<double>(3.1415927f) /
                                 static_cast<double>(overlap);
            ASSERT_EQ(grid.window[static_cast<size_t>(i)],
                      static_cast<float>(0.5 * (1.0 - std::cos(phase))))
                << overlap << " " << i;
        }
    }
}

#endif

TEST(TileGridTest, AxesOfTheReductionAndTheAnalysis) {
    // {overlap, size, tiles, last}. Reduction: 1000 stretches the last tile by the rest of 8;
    // 1100's rest of 108 > 64 adds a tile. Axes of 1..overlap samples have no regular tile and
    // become one tile of their own size; an empty axis has none.
    const int32_t cases[][4] = {{32, 300, 1, 300},  {32, 512, 1, 512},  {32, 1000, 2, 520},
                                {32, 1100, 3, 140}, {32, 33, 1, 33},    {32, 32, 1, 32},
                                {32, 1, 1, 1},      {32, 992, 2, 512},  {32, 1057, 3, 97},
                                {32, 1056, 2, 576}, {32, 3000, 7, 120}, {32, 2000, 4, 560},
                                {16, 16, 1, 16},    {16, 17, 1, 17},    {16, 1000, 2, 504},
                                {16, 1100, 3, 108}, {32, 0, 0, 0},      {32, -5, 0, 0}};
    for (const auto& [overlap, size, count, last] : cases) {
        const TileGrid g(size, 7, 512, overlap), t(7, size, 512, overlap);
        EXPECT_TRUE(g.tilesX == count && g.lastTileWidth == last && g.tilesY == (count > 0) &&
                    t.tilesY == count && t.lastTileHeight == last)
            << size;
    }
}

// Every tile extracted and blended again rebuilds the image, each sample written once the tiles
// over it are in (the outputs start as NaN), and tiles of ones blend to the sum of the weights,
// which must be 1 in two-tile overlaps, four-tile corners and single-tile areas.
TEST(TileGridTest, WeightsSumToOneAndTilesRebuildThePlanes) {
    for (const auto& [w, h] : {std::pair{1100, 1000}, {300, 200}, {20, 9}, {1100, 530}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const test::Planes in = test::MakeNoisyImage(w, h, 7);
        const TileGrid g(w, h, 512, 32);
        const size_t area =
            static_cast<size_t>(g.MaxTileWidth()) * static_cast<size_t>(g.MaxTileHeight());
        std::vector<float> t0(area), t1(area), t2(area), ones(area, 1.0f);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        test::Planes out(w, h, nan), weights(w, h, nan);
        TileBlender blendOut(g), blendWeights(g);
        for (int32_t ty = 0; ty < g.tilesY; ++ty) {
            for (int32_t tx = 0; tx < g.tilesX; ++tx) {
                ExtractTile(g, in.View(), ty, tx, {t0.data(), t1.data(), t2.data()});
                blendOut.WriteInterior({t0.data(), t1.data(), t2.data()}, ty, tx, out.View(),
                                       nullptr);
                blendOut.AddBorder({t0.data(), t1.data(), t2.data()}, ty, tx, out.View(), nullptr);
                blendWeights.AddBorder({ones.data(), ones.data(), ones.data()}, ty, tx,
                                       weights.View(), nullptr);
                blendWeights.WriteInterior({ones.data(), ones.data(), ones.data()}, ty, tx,
                                           weights.View(), nullptr);
            }
        }
        ASSERT_TRUE(test::PlanesNear(out, in, 4e-7f));
        ASSERT_TRUE(test::PlanesNear(weights, test::Planes(w, h, 1.0f), 1e-6f));
        EXPECT_EQ(weights.p[0][0], 1.0f);  // inside a single tile: exactly 1
    }
}

// The gain follows the clamped box mean of its definition, also for images narrower or shorter
// than the box, means beyond 1 and 255 and gains beyond 0.1 and 10.
TEST(ToneCorrectionTest, GainFollowsTheClampedBoxMean) {
    const int32_t boxes[][3] = {{100, 100, 11}, {640, 480, 25}, {3000, 2000, 49}, {1, 1, 3},
                                {2, 5000, 11},  {4, 4, 3},      {10, 10, 3},      {16, 16, 5}};
    for (const auto& [w, h, k] : boxes) {
        EXPECT_EQ(ToneBoxSize(w, h), k) << w << "x" << h;
    }
    for (const auto& [w, h] : {std::pair{30, 20}, {2, 300}, {300, 3}, {1, 1}, {5000, 1}}) {
        test::Planes before = test::MakeNoisyImage(w, h, 5);
        before[0][0] = 900.0f;
        before[0][before.Size() - 1] = -500.0f;
        for (const auto& [light, dark] : {std::pair{0.3f, 3.0f}, {0.01f, 20.0f}, {25.0f, 0.02f}}) {
            std::vector<float> gain(before.Size());
            ComputeToneGains(before[0], w, h, light, dark, gain.data(), nullptr);
            const int32_t k = ToneBoxSize(w, h), half = k / 2;
            for (int32_t i = 0; i < w * h; ++i) {
                const int32_t x = i % w, y = i / w;
                double sum = 0.0;
                for (int32_t j = 0; j < k * k; ++j) {
                    const int32_t cx = std::clamp(x + j % k - half, 0, w - 1);
                    const int32_t cy = std::clamp(y + j / k - half, 0, h - 1);
                    sum += static_cast<double>(before[0][cy * w + cx]);
                }
                const double m = sum / (k * k),
                             slope = static_cast<double>(m < 128.0 ? dark : light) - 1.0;
                const double t = std::min(std::fabs(m - 128.0), 127.0) * slope / 128.0;
                ASSERT_NEAR(gain[static_cast<size_t>(i)], std::clamp(1.0 + t, 0.1, 10.0), 1e-4)
                    << w << "x" << h << " at " << x << "," << y << " gains " << light;
            }
        }
    }
}

// NaN, infinities and magnitudes of 50 and more count in the last bin; -0 and 1e-30 in bin 0.
TEST(SuppressionTest, HistogramBinsOfEdgeValues) {
    NoiseHistogram h;
    const float values[] = {std::nanf(""), INFINITY, -INFINITY, 3e38f, 50.0f, -0.0f, 1e-30f};
    h.Add(values, 7, nullptr);
    EXPECT_TRUE(h.counts[4095] == 5 && h.counts[0] == 2 && h.total == 7);
}

// Five columns at level 3, tall window: the widest window that fits, 27 x 5, A = 135, divisor
// A + 15; every coefficient of a uniform band gets that curve entry.
TEST(SuppressionTest, NarrowBandsAndDegenerateLevels) {
    std::vector<float> band(200, 1.0f), work(200), curve(kGainCurveSize);
    GainCurve(0.5f, 2.0f, 0.2f, curve.data());
    ShrinkSubband(band.data(), nullptr, 5, 40,
                  {.noiseLevel = 0.5f, .level = 3, .floor = 0.2f, .shape = WindowShape::Tall},
                  work.data());
    const float gain = curve[static_cast<size_t>(135.0f * (1.0f / 150.0f) / (0.5f * 0.01f) + 0.5f)];
    EXPECT_TRUE(std::all_of(band.begin(), band.end(), [&](float v) { return v == gain; }));
    // A noise level that is zero (an all-zero profile entry), negative, not finite or too small
    // for the index scale leaves the band unchanged; a tiny usable one routes its overflowing
    // indices to gain 1; NaN and infinite coefficients pass without undefined behaviour.
    const test::Planes image = test::MakeNoisyImage(30, 20, 9);
    for (const float tau : {0.0f, -0.0f, -1.0f, std::nanf(""), INFINITY, 1e-45f, 1e-38f, 20.0f}) {
        band = image.p[1];
        work.resize(band.size());
        ShrinkSubband(band.data(), image[2], 30, 20, {.noiseLevel = tau, .level = 1, .floor = 0.1f},
                      work.data());
        EXPECT_EQ(band == image.p[1], tau != 20.0f) << tau;
        EXPECT_TRUE(
            std::all_of(band.begin(), band.end(), [](float v) { return std::isfinite(v); }));
    }
    band[5] = std::nanf("");
    band[300] = INFINITY;
    ShrinkSubband(band.data(), image[2], 30, 20, {.noiseLevel = 2.0f, .level = 1, .floor = 0.1f},
                  work.data());
    EXPECT_TRUE(std::isnan(band[5]) && std::isfinite(band[0]));
}

}  // namespace
}  // namespace vel
