#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "TestImages.h"
#include "engine/EngineParams.h"
#include "engine/Jobs.h"
#include "engine/NoiseAnalysis.h"
#include "engine/Suppression.h"
#include "engine/TiledReduction.h"

namespace vel {
namespace {

// Stop scripting through the plain callbacks: the poll callback counts its calls and, from call
// stopAt, either asks to stop or (viaFlag) raises the cancel flag and answers "go on", so the
// stop is then found by the next check's flag read, without another poll.
struct StopScript {
    int calls = 0;
    int stopAt = 0;
    bool viaFlag = false;
    CancelFlag cancel{false};
    std::vector<float> progress;
};
StopScript g_script;

void ResetScript(int stopAt, bool viaFlag) {
    g_script.calls = 0;
    g_script.stopAt = stopAt;
    g_script.viaFlag = viaFlag;
    g_script.cancel.store(false);
    g_script.progress.clear();
}

bool ScriptedPoll() {
    ++g_script.calls;
    // Once asked, a real caller keeps asking: the answer stays true.
    if (g_script.stopAt == 0 || g_script.calls < g_script.stopAt) {
        return false;
    }
    if (g_script.viaFlag) {
        g_script.cancel.store(true);
        return false;
    }
    return true;
}

void RecordProgress(float percent) {
    g_script.progress.push_back(percent);
}

void ExpectIncreasingTo100(const std::vector<float>& values, size_t count) {
    ASSERT_EQ(values.size(), count);
    for (size_t i = 1; i < values.size(); ++i) {
        EXPECT_GT(values[i], values[i - 1]);
    }
    EXPECT_GT(values.front(), 0.0f);
    EXPECT_EQ(values.back(), 100.0f);
}

// 100 x 90 with tiles of 64 overlapping by 8: 2 x 2 tiles, last column 44 wide, last row 34.
constexpr int32_t kW = 100, kH = 90, kTile = 64, kOverlap = 8;
constexpr int kChecksPerTile = 1 + 3 * 4;  // tile start, then four per channel

void Reduce(test::Planes& planes, const float* profile, PollCallback poll, const CancelFlag* cancel,
            ProgressCallback progress = nullptr) {
    ReduceNoise(planes[0], planes[1], planes[2], planes.width, planes.height, kTile, kOverlap, 0.7f,
                0.9f, 0, 0.4f, 0.2f, 2.0f, WaveletKind::Directional, 4, profile, progress, poll,
                cancel);
}

TEST(ReduceNoiseTest, ProgressAndStopAtEveryCheck) {
    const test::Planes input = test::MakeNoisyImage(kW, kH, 21);
    test::Planes full = input;
    ResetScript(0, false);
    Reduce(full, nullptr, ScriptedPoll, &g_script.cancel, RecordProgress);
    ExpectIncreasingTo100(g_script.progress, 4);
    EXPECT_EQ(g_script.progress[0], 25.0f);
    ASSERT_EQ(g_script.calls, 4 * kChecksPerTile);
    ASSERT_FALSE(full == input);

    // Only the last tile (origin 56, 56) covers x, y >= 64.
    const auto lastTileOnly = [](size_t i) { return i % kW >= 64 && i / kW >= 64; };
    const auto inLastTile = [](size_t i) { return i % kW >= 56 && i / kW >= 56; };
    for (const bool viaFlag : {false, true}) {
        for (int stopAt = 1; stopAt <= 4 * kChecksPerTile; ++stopAt) {
            SCOPED_TRACE(testing::Message() << "stop at check " << stopAt << " flag " << viaFlag);
            test::Planes planes = input;
            ResetScript(stopAt, viaFlag);
            Reduce(planes, nullptr, ScriptedPoll, &g_script.cancel);
            // The flag is read before the poll: once raised, the poll is not called again.
            if (viaFlag) {
                EXPECT_EQ(g_script.calls, stopAt);
            }
            // Check of the stop: the raised flag is found at the next check.
            const int found = viaFlag ? stopAt + 1 : stopAt;
            const int lastTileStart = 3 * kChecksPerTile + 1;
            if (found <= lastTileStart) {
                EXPECT_TRUE(planes == input);  // at a tile start or inside an earlier tile
                continue;
            }
            if (found > 4 * kChecksPerTile) {
                EXPECT_TRUE(planes == full);  // raised after the last check: runs to the end
                continue;
            }
            // Inside the last tile: channels before the stopped one are done, the others stay
            // as extracted, and the earlier tiles are all in.
            const int stoppedChannel = (found - lastTileStart - 1) / 4;
            for (int p = 0; p < 3; ++p) {
                for (size_t i = 0; i < planes.Size(); ++i) {
                    if (p < stoppedChannel || !inLastTile(i)) {
                        ASSERT_EQ(planes[p][i], full[p][i]) << p << " " << i;
                    } else if (lastTileOnly(i)) {
                        ASSERT_EQ(planes[p][i], input[p][i]) << p << " " << i;
                    }
                }
            }
        }
    }
}

TEST(AnalyzeNoiseTest, ProgressAndStopAtEveryCheck) {
    const test::Planes input = test::MakeNoisyImage(kW, kH, 22);
    const std::vector<float> sentinel(48, 3.25f);
    std::vector<float> full = sentinel;
    ResetScript(0, false);
    AnalyzeNoise(input[0], input[1], input[2], kW, kH, kTile, kOverlap, full.data(), 0,
                 WaveletKind::Directional, 4, RecordProgress, ScriptedPoll, &g_script.cancel);
    ExpectIncreasingTo100(g_script.progress, 12);
    const int checks = g_script.calls;
    ASSERT_EQ(checks, 4 * 4);  // per tile: the start, and one after each channel's decomposition
    ASSERT_NE(full, sentinel);
    for (const bool viaFlag : {false, true}) {
        for (int stopAt = 1; stopAt <= checks; ++stopAt) {
            std::vector<float> profile = sentinel;
            ResetScript(stopAt, viaFlag);
            AnalyzeNoise(input[0], input[1], input[2], kW, kH, kTile, kOverlap, profile.data(), 0,
                         WaveletKind::Directional, 4, nullptr, ScriptedPoll, &g_script.cancel);
            if (viaFlag) {
                EXPECT_EQ(g_script.calls, stopAt);
            }
            // A flag raised at the very last check is never read again: the analysis completes.
            const bool completes = viaFlag && stopAt == checks;
            EXPECT_EQ(profile, completes ? full : sentinel) << stopAt << " " << viaFlag;
        }
    }
}

NoiseReductionParams Params(bool highQuality, int light = 0, int dark = 0) {
    NoiseReductionParams p;
    p.highQuality = highQuality;
    p.lightCorrection = light;
    p.darkCorrection = dark;
    return p;
}

TEST(RunNoiseReductionTest, StopBeforeFirstTileRestoresTheInput) {
    NoiseProfile().clear();
    const test::Planes input = test::MakeNoisyImage(60, 40, 5);
    // No correction: bit-exact.
    test::Planes planes = input;
    ResetScript(1, false);
    RunNoiseReduction(planes[0], planes[1], planes[2], 60, 40, Params(false), nullptr, ScriptedPoll,
                      &g_script.cancel);
    EXPECT_TRUE(planes == input);
    // With corrections: the undo brings the tone-corrected planes back up to rounding.
    ResetScript(0, false);
    g_script.cancel.store(true);
    RunNoiseReduction(planes[0], planes[1], planes[2], 60, 40, Params(true, 6, -9), nullptr,
                      nullptr, &g_script.cancel);
    EXPECT_EQ(g_script.calls, 0);
    EXPECT_TRUE(test::PlanesNear(planes, input, 1e-5f, true));
    // Progress of a whole image of 1100 x 40: three tiles.
    test::Planes wide = test::MakeNoisyImage(1100, 40, 6);
    ResetScript(0, false);
    RunNoiseReduction(wide[0], wide[1], wide[2], 1100, 40, Params(false), RecordProgress, nullptr,
                      nullptr);
    ExpectIncreasingTo100(g_script.progress, 3);
}

TEST(RunNoiseAnalysisTest, SizesProfileAndKeepsItOnStop) {
    const test::Planes input = test::MakeNoisyImage(40, 30, 8);
    NoiseProfile().assign(5, 9.0f);
    ResetScript(1, false);
    RunNoiseAnalysis(input[0], input[1], input[2], 40, 30, Params(true), nullptr, ScriptedPoll,
                     &g_script.cancel);
    // Resized to 48 (existing entries kept, new ones 0) and otherwise untouched.
    ASSERT_EQ(NoiseProfile().size(), 48u);
    EXPECT_EQ(NoiseProfile()[4], 9.0f);
    EXPECT_EQ(NoiseProfile()[5], 0.0f);
    RunNoiseAnalysis(input[0], input[1], input[2], 40, 30, Params(false), nullptr, nullptr,
                     nullptr);
    ASSERT_EQ(NoiseProfile().size(), 48u);
    EXPECT_NE(NoiseProfile()[4], 9.0f);
    EXPECT_EQ(NoiseProfile()[30], 0.0f);  // Isotropic fills the first 24 only
    NoiseProfile().clear();
}

// Every size from 1 x 1 up, both kinds, with and without a profile and with corrections:
// no crash or undefined behaviour (sanitizers), finite output from finite input, and a
// constant image stays constant.
TEST(RunNoiseReductionTest, TinyAndThinImages) {
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1},   {2, 5000}, {33, 33}, {17, 17},
                                                 {1, 600}, {600, 1},  {32, 32}, {16, 40},
                                                 {5, 3},   {2, 2},    {64, 7},  {545, 9}};
    for (const auto& [w, h] : sizes) {
        test::Planes constant(w, h, 77.0f);
        constant.p[1].assign(constant.Size(), -12.5f);
        constant.p[2].assign(constant.Size(), 3.0f);
        for (const bool highQuality : {false, true}) {
            for (const bool withProfile : {false, true}) {
                SCOPED_TRACE(testing::Message() << w << "x" << h << " hq " << highQuality
                                                << " profile " << withProfile);
                NoiseProfile().clear();
                test::Planes noisy = test::MakeNoisyImage(w, h, 12);
                const auto params = Params(highQuality, 3, 5);
                if (withProfile) {
                    RunNoiseAnalysis(noisy[0], noisy[1], noisy[2], w, h, params, nullptr, nullptr,
                                     nullptr);
                    ASSERT_EQ(NoiseProfile().size(), 48u);
                }
                RunNoiseReduction(noisy[0], noisy[1], noisy[2], w, h, params, nullptr, nullptr,
                                  nullptr);
                // Only a finite sample is within 0 of itself.
                ASSERT_TRUE(test::PlanesNear(noisy, noisy, 0.0f));
                test::Planes flat = constant;
                RunNoiseReduction(flat[0], flat[1], flat[2], w, h, params, nullptr, nullptr,
                                  nullptr);
                ASSERT_TRUE(test::PlanesNear(flat, constant, 1e-4f));
            }
        }
    }
    NoiseProfile().clear();
}

TEST(RunNoiseReductionTest, NonFiniteInputDoesNotCrash) {
    for (const bool highQuality : {false, true}) {
        test::Planes planes = test::MakeNoisyImage(50, 40, 13);
        planes[0][100] = std::nanf("");
        planes[1][200] = INFINITY;
        planes[2][300] = -INFINITY;
        planes[0][1999] = 3e38f;
        NoiseProfile().clear();
        RunNoiseAnalysis(planes[0], planes[1], planes[2], 50, 40, Params(highQuality), nullptr,
                         nullptr, nullptr);
        for (float v : NoiseProfile()) {
            EXPECT_TRUE(std::isfinite(v));
        }
        RunNoiseReduction(planes[0], planes[1], planes[2], 50, 40, Params(highQuality, 4, 4),
                          nullptr, nullptr, nullptr);
        NoiseProfile().clear();
        RunNoiseReduction(planes[0], planes[1], planes[2], 50, 40, Params(highQuality), nullptr,
                          nullptr, nullptr);
    }
    // Empty images are left alone.
    NoiseProfile().assign(48, 1.0f);
    RunNoiseAnalysis(nullptr, nullptr, nullptr, 0, 10, Params(true), nullptr, nullptr, nullptr);
    RunNoiseReduction(nullptr, nullptr, nullptr, 10, 0, Params(true, 3, 3), nullptr, nullptr,
                      nullptr);
    EXPECT_EQ(NoiseProfile(), std::vector<float>(48, 1.0f));
    NoiseProfile().clear();
}

}  // namespace
}  // namespace vel
