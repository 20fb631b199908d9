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

EngineNumbers Numbers() {
    EngineNumbers n;
    n.lumaThresholdFactor = 0.7f;
    n.chromaThresholdFactor = 0.9f;
    n.lumaFloor = 0.4f;
    n.chromaFloor = 0.2f;
    return n;
}

void Reduce(test::Planes& planes, PollCallback poll, const CancelFlag* cancel,
            ProgressCallback progress = nullptr) {
    ReduceNoise(planes.View(), kTile, kOverlap, Numbers(), {}, {cancel, poll, progress});
}

// One thread: the job's thread itself meets every stop check, in the order a plain loop does.
TEST(ReduceNoiseTest, ProgressAndStopAtEveryCheck) {
    const test::EngineThreadsScope oneThread(1);
    const test::Planes input = test::MakeNoisyImage(kW, kH, 21);
    test::Planes full = input;
    ResetScript(0, false);
    Reduce(full, ScriptedPoll, &g_script.cancel, RecordProgress);
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
            Reduce(planes, ScriptedPoll, &g_script.cancel);
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
    const test::EngineThreadsScope oneThread(1);
    const test::Planes input = test::MakeNoisyImage(kW, kH, 22);
    ResetScript(0, false);
    const auto full = AnalyzeNoise(input.View(), kTile, kOverlap, Numbers(),
                                   {&g_script.cancel, ScriptedPoll, RecordProgress});
    ExpectIncreasingTo100(g_script.progress, 12);
    const int checks = g_script.calls;
    ASSERT_EQ(checks, 4 * 4);  // per tile: the start, and one after each channel's decomposition
    ASSERT_TRUE(full.has_value());
    ASSERT_EQ(full->size(), 48u);
    for (const bool viaFlag : {false, true}) {
        for (int stopAt = 1; stopAt <= checks; ++stopAt) {
            ResetScript(stopAt, viaFlag);
            const auto profile = AnalyzeNoise(input.View(), kTile, kOverlap, Numbers(),
                                              {&g_script.cancel, ScriptedPoll, nullptr});
            if (viaFlag) {
                EXPECT_EQ(g_script.calls, stopAt);
            }
            // A flag raised at the very last check is never read again: the analysis completes.
            const bool completes = viaFlag && stopAt == checks;
            EXPECT_EQ(profile, completes ? full : std::nullopt) << stopAt << " " << viaFlag;
        }
    }
}

EngineSettings Params(bool highQuality, int light = 0, int dark = 0) {
    EngineSettings p = test::StartupSettings();
    p.highQuality = highQuality;
    p.lightCorrection = light;
    p.darkCorrection = dark;
    return p;
}

TEST(RunNoiseReductionTest, StopBeforeFirstTileRestoresTheInput) {
    const test::Planes input = test::MakeNoisyImage(60, 40, 5);
    // No correction: bit-exact.
    test::Planes planes = input;
    ResetScript(1, false);
    RunNoiseReduction(planes.View(), Params(false), {}, {&g_script.cancel, ScriptedPoll, nullptr});
    EXPECT_TRUE(planes == input);
    // With corrections: the undo brings the tone-corrected planes back up to rounding.
    ResetScript(0, false);
    g_script.cancel.store(true);
    RunNoiseReduction(planes.View(), Params(true, 6, -9), {}, {&g_script.cancel, nullptr, nullptr});
    EXPECT_EQ(g_script.calls, 0);
    EXPECT_TRUE(test::PlanesNear(planes, input, 1e-5f, true));
    // Progress of a whole image of 1100 x 40: three tiles.
    test::Planes wide = test::MakeNoisyImage(1100, 40, 6);
    ResetScript(0, false);
    RunNoiseReduction(wide.View(), Params(false), {}, {nullptr, nullptr, RecordProgress});
    ExpectIncreasingTo100(g_script.progress, 3);
}

TEST(RunNoiseAnalysisTest, ProfileSizeFollowsTheKindAndAStopGivesNone) {
    const test::Planes input = test::MakeNoisyImage(40, 30, 8);
    ResetScript(1, false);
    EXPECT_FALSE(
        RunNoiseAnalysis(input.View(), Params(true), {&g_script.cancel, ScriptedPoll, nullptr}));
    EXPECT_EQ(RunNoiseAnalysis(input.View(), Params(true), {}).value().size(), 48u);
    EXPECT_EQ(RunNoiseAnalysis(input.View(), Params(false), {}).value().size(), 24u);
    EXPECT_FALSE(
        RunNoiseAnalysis(ConstImagePlanes(nullptr, nullptr, nullptr, 0, 10), Params(true), {}));
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
                test::Planes noisy = test::MakeNoisyImage(w, h, 12);
                const auto params = Params(highQuality, 3, 5);
                std::vector<float> profile;
                if (withProfile) {
                    profile = RunNoiseAnalysis(noisy.View(), params, {}).value();
                }
                RunNoiseReduction(noisy.View(), params, profile, {});
                // Only a finite sample is within 0 of itself.
                ASSERT_TRUE(test::PlanesNear(noisy, noisy, 0.0f));
                test::Planes flat = constant;
                RunNoiseReduction(flat.View(), params, profile, {});
                ASSERT_TRUE(test::PlanesNear(flat, constant, 1e-4f));
            }
        }
    }
}

TEST(RunNoiseReductionTest, NonFiniteInputDoesNotCrash) {
    for (const bool highQuality : {false, true}) {
        test::Planes planes = test::MakeNoisyImage(50, 40, 13);
        planes[0][100] = std::nanf("");
        planes[1][200] = INFINITY;
        planes[2][300] = -INFINITY;
        planes[0][1999] = 3e38f;
        const std::vector<float> profile =
            RunNoiseAnalysis(planes.View(), Params(highQuality), {}).value();
        for (float v : profile) {
            EXPECT_TRUE(std::isfinite(v));
        }
        RunNoiseReduction(planes.View(), Params(highQuality, 4, 4), profile, {});
        RunNoiseReduction(planes.View(), Params(highQuality), {}, {});
    }
    // Empty images are left alone.
    RunNoiseReduction(ImagePlanes{{nullptr, nullptr, nullptr}, 10, 0}, Params(true, 3, 3), {}, {});
}

}  // namespace
}  // namespace vel
