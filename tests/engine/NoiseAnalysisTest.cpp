#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "TestImages.h"
#include "engine/NoiseAnalysis.h"
#include "wavelet/BandBlock.h"

namespace vel {
namespace {

constexpr float kBin = 0.01220703125f;

float Median(const std::vector<float>& values) {
    float result = -1.0f;
    MedianAbs(values.data(), static_cast<int32_t>(values.size()), 1, &result);
    return result;
}

TEST(NoiseHistogramTest, MedianExamples) {
    // All zero: the middle of bin 0, not 0.
    EXPECT_NEAR(Median(std::vector<float>(1000, 0.0f)), 0.0061035f, 1e-7f);
    EXPECT_EQ(Median(std::vector<float>(7, 0.0f)), 0.5f * kBin);
    // All above 50: everything in the last bin.
    EXPECT_NEAR(Median(std::vector<float>(10, -75.0f)), 49.9939f, 1e-4f);
    EXPECT_EQ(Median({60.0f, 1e30f, -51.0f}), 4095.5f * kBin);
    // Bins 0, 1, 81, 163: the running count reaches 2 at bin 1.
    EXPECT_NEAR(Median({0.01f, -0.02f, 1.0f, 2.0f}), 0.0244141f, 1e-7f);
    EXPECT_EQ(Median({0.01f, -0.02f, 1.0f, 2.0f}), 2.0f * kBin);
    // 480 values in bins 0..5, 40 in bin 6, the rest above: (6 + 20/40) bins.
    std::vector<float> values;
    for (int i = 0; i < 480; ++i) {
        values.push_back(static_cast<float>(i % 6) * kBin + 0.5f * kBin);
    }
    values.insert(values.end(), 40, 6.5f * kBin);
    values.insert(values.end(), 480, 3.0f);
    EXPECT_NEAR(Median(values), 0.0793457f, 1e-7f);
    EXPECT_EQ(Median(values), 6.5f * kBin);
}

TEST(NoiseHistogramTest, NonFiniteAndBoundaryMagnitudesLandInDefinedBins) {
    NoiseHistogram h;
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {std::nanf(""), inf,
                            -inf,          4095.0f / 81.92f * 1.0001f,
                            50.0f,         1e-30f,
                            -0.0f,         std::numeric_limits<float>::max(),
                            kBin * 1.5f,   -kBin * 4095.5f};
    h.Add(values, 10);
    EXPECT_EQ(h.total, 10u);
    EXPECT_EQ(h.counts[4095], 7u);  // NaN, +-inf, max, 50 and the two just below/above 4095
    EXPECT_EQ(h.counts[0], 2u);
    EXPECT_EQ(h.counts[1], 1u);
    uint32_t sum = 0;
    for (uint32_t c : h.counts) {
        sum += c;
    }
    EXPECT_EQ(sum, h.total);
    EXPECT_EQ(NoiseHistogram{}.Median(), 0.0f);
}

TEST(NoiseHistogramTest, MeasureTileNoiseWritesDetailEntriesOnly) {
    const int32_t cols = 13, rows = 6, levels = 2, S = 4;
    BandBlock block(cols, rows, levels, WaveletKind::Directional);
    for (int32_t i = 0; i < S * levels; ++i) {
        for (int32_t j = 0; j < cols * rows; ++j) {
            block.table()[i][j] = static_cast<float>(i) * (j % 2 == 0 ? 1.0f : -1.0f);
        }
    }
    std::vector<float> out(static_cast<size_t>(S * levels), -7.0f);
    MeasureTileNoise(block.table(), cols, rows, levels, S, out.data());
    for (int32_t i = 0; i < S * levels; ++i) {
        if (i % S == 0) {
            EXPECT_EQ(out[static_cast<size_t>(i)], -7.0f);
        } else {
            float expected = 0.0f;
            MedianAbs(block.table()[i], cols, rows, &expected);
            EXPECT_EQ(out[static_cast<size_t>(i)], expected);
            EXPECT_NEAR(expected, static_cast<float>(i), kBin);
        }
    }
}

// A single tile: every profile entry is the median of that band of the whole image, at the
// index channel * S * levels + level * S + band, band 0 included.
TEST(AnalyzeNoiseTest, ProfileIndexingForBothKinds) {
    const int32_t w = 70, h = 50, levels = 4;
    const test::Planes in = test::MakeNoisyImage(w, h, 3);
    for (const WaveletKind kind : {WaveletKind::Isotropic, WaveletKind::Directional}) {
        const int32_t S = BandsPerLevel(kind);
        EngineNumbers numbers;
        numbers.kind = kind;
        numbers.levels = levels;
        const std::vector<float> profile = AnalyzeNoise(in.View(), 512, 16, numbers, {}).value();
        ASSERT_EQ(profile.size(), static_cast<size_t>(3 * S * levels));
        BandBlock block(w, h, levels, kind);
        for (int c = 0; c < 3; ++c) {
            WaveletDecompose(PackedPlane(in[c], w, h), block.table(), levels, kind, 0);
            for (int32_t i = 0; i < S * levels; ++i) {
                float expected = 0.0f;
                MedianAbs(block.table()[i], w, h, &expected);
                EXPECT_EQ(profile[static_cast<size_t>(c * S * levels + i)], expected)
                    << "kind " << S << " channel " << c << " entry " << i;
            }
        }
        // Isotropic writes the first 24 entries only.
        for (size_t j = static_cast<size_t>(3 * S * levels); j < profile.size(); ++j) {
            EXPECT_EQ(profile[j], -1.0f);
        }
        // Luma noise (sigma 6) is larger than chroma noise (sigma 4) in the finest detail.
        EXPECT_GT(profile[1], profile[static_cast<size_t>(2 * S * levels + 1)]);
    }
}

}  // namespace
}  // namespace vel
