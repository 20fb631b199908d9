#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestImages.h"
#include "engine/EngineParams.h"
#include "engine/ToneCorrection.h"

namespace vel {
namespace {

TEST(ToneCorrectionTest, BoxSizes) {
    EXPECT_EQ(ToneBoxSize(100, 100), 11);
    EXPECT_EQ(ToneBoxSize(640, 480), 25);
    EXPECT_EQ(ToneBoxSize(3000, 2000), 49);
    EXPECT_EQ(ToneBoxSize(1, 1), 3);
    EXPECT_EQ(ToneBoxSize(2, 5000), 11);
    EXPECT_EQ(ToneBoxSize(4, 4), 3);    // 2.5 -> 2 -> raised to 3
    EXPECT_EQ(ToneBoxSize(10, 10), 3);  // 3.66 -> 3
    EXPECT_EQ(ToneBoxSize(16, 16), 5);  // 4.5 -> 4 -> odd 5
}

TEST(ToneCorrectionTest, ZeroDecibelsIsBitExactAndTouchesNothing) {
    test::Planes planes = test::MakeNoisyImage(37, 23, 1);
    const test::Planes before = planes;
    std::vector<float> gain(planes.Size(), 0.0f);
    ApplyToneCorrection(planes[0], planes[1], planes[2], 37, 23, 1.0f, 1.0f, gain.data());
    EXPECT_TRUE(planes == before);
    EXPECT_TRUE(std::all_of(gain.begin(), gain.end(), [](float g) { return g == 0.0f; }));
    UndoToneCorrection(planes[0], planes[1], planes[2], 37, 23, 1.0f, 1.0f, gain.data());
    EXPECT_TRUE(planes == before);
}

float UniformGain(float luma, float lightGain, float darkGain, int32_t w = 9, int32_t h = 7) {
    test::Planes planes(w, h, luma);
    std::vector<float> gain(planes.Size());
    ApplyToneCorrection(planes[0], planes[1], planes[2], w, h, lightGain, darkGain, gain.data());
    for (float g : gain) {
        EXPECT_EQ(g, gain[0]);
    }
    return gain[0];
}

TEST(ToneCorrectionTest, GainExamples) {
    const float dark6 = DecibelToAmplitude(-6);  // 0.50119
    const float light6 = DecibelToAmplitude(-6);
    // Mid-grey (the light branch with t = 0) is exactly 1 whatever the corrections.
    EXPECT_EQ(UniformGain(128.0f, light6, dark6), 1.0f);
    EXPECT_EQ(UniformGain(128.0f, 10.0f, 0.01f), 1.0f);
    // Black with 6 dB dark correction: 1 + 127 * (0.50119 - 1) / 128.
    EXPECT_NEAR(UniformGain(0.0f, 1.0f, dark6), 0.5051f, 1e-4f);
    // Beyond 1 and 255 the gain does not move further.
    EXPECT_EQ(UniformGain(-500.0f, 1.0f, dark6), UniformGain(1.0f, 1.0f, dark6));
    EXPECT_EQ(UniformGain(900.0f, light6, 1.0f), UniformGain(255.0f, light6, 1.0f));
    EXPECT_NEAR(UniformGain(255.0f, light6, 1.0f), 0.5051f, 1e-4f);
    // +30 dB dark correction would give 0.039: the floor 0.1 holds.
    EXPECT_EQ(UniformGain(0.0f, 1.0f, DecibelToAmplitude(-30)), 0.1f);
    // -30 dB light correction would give 31.4: the ceiling 10 holds.
    EXPECT_EQ(UniformGain(255.0f, DecibelToAmplitude(30), 1.0f), 10.0f);
    // A dark correction leaves light areas alone and vice versa.
    EXPECT_EQ(UniformGain(200.0f, 1.0f, dark6), 1.0f);
    EXPECT_EQ(UniformGain(20.0f, light6, 1.0f), 1.0f);
}

TEST(ToneCorrectionTest, AppliesLumaGainToAllPlanesAndUndoRestores) {
    for (const auto& [w, h] : {std::pair{64, 48}, {2, 5000}, {1, 1}, {5000, 1}, {3, 40}}) {
        test::Planes planes = test::MakeNoisyImage(w, h, 11);
        const test::Planes before = planes;
        std::vector<float> gain(planes.Size());
        const float light = DecibelToAmplitude(-9), dark = DecibelToAmplitude(12);
        ApplyToneCorrection(planes[0], planes[1], planes[2], w, h, light, dark, gain.data());
        for (size_t i = 0; i < planes.Size(); ++i) {
            ASSERT_GE(gain[i], 0.1f);
            ASSERT_LE(gain[i], 10.0f);
            for (int p = 0; p < 3; ++p) {
                ASSERT_EQ(planes[p][i], before[p][i] * gain[i]);
            }
        }
        UndoToneCorrection(planes[0], planes[1], planes[2], w, h, light, dark, gain.data());
        for (int p = 0; p < 3; ++p) {
            for (size_t i = 0; i < planes.Size(); ++i) {
                ASSERT_NEAR(planes[p][i], before[p][i], 1e-5f * (1.0f + std::abs(before[p][i])));
            }
        }
    }
}

// The running sums must give the clamped box mean of its definition, also for images
// narrower or shorter than the box.
TEST(ToneCorrectionTest, GainFollowsClampedBoxMean) {
    for (const auto& [w, h] : {std::pair{30, 20}, {2, 300}, {300, 3}}) {
        test::Planes planes = test::MakeNoisyImage(w, h, 5);
        const std::vector<float> luma = planes.p[0];
        std::vector<float> gain(planes.Size());
        const double light = 0.3, dark = 3.0;
        ApplyToneCorrection(planes[0], planes[1], planes[2], w, h, 0.3f, 3.0f, gain.data());
        const int32_t k = ToneBoxSize(w, h), half = k / 2;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                double sum = 0.0;
                for (int32_t j = -half; j <= half; ++j) {
                    for (int32_t i = -half; i <= half; ++i) {
                        const int32_t cx = std::clamp(x + i, 0, w - 1);
                        const int32_t cy = std::clamp(y + j, 0, h - 1);
                        sum += static_cast<double>(luma[static_cast<size_t>(cy * w + cx)]);
                    }
                }
                const double m = sum / (k * k);
                const double t = m < 128.0 ? std::min(128.0 - m, 127.0) * (dark - 1.0) / 128.0
                                           : std::min(m - 128.0, 127.0) * (light - 1.0) / 128.0;
                const double g = std::clamp(1.0 + t, 0.1, 10.0);
                ASSERT_NEAR(gain[static_cast<size_t>(y * w + x)], g, 1e-4)
                    << w << "x" << h << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace vel
