// The jobs and their drivers: progress, a stop at every stop check (one thread and two).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <vector>

#include "TestImages.h"
#include "engine/Jobs.h"
#include "engine/NoiseAnalysis.h"
#include "engine/TiledReduction.h"

namespace vel {
namespace {

// Stop scripting through the plain callbacks. The poll counts its calls and, from call stopAt
// on, asks to stop or (viaFlag) raises the cancel flag and answers "go on", so that the stop is
// found by the next check's flag read. Progress report number cancelAtReport raises the flag.
struct {
    int calls, stopAt, reports, cancelAtReport;
    bool viaFlag;
    std::vector<float> progress;
} g;
CancelFlag g_cancel{false};

void Arm(int stopAt, bool viaFlag = false, int cancelAtReport = 0) {
    g = {0, stopAt, 0, cancelAtReport, viaFlag, {}};
    g_cancel.store(false);
}

// Both callbacks check that the job hands them its context, from whichever thread calls them.
bool Poll(void* context) {
    EXPECT_EQ(context, &g);
    const bool stop = ++g.calls >= g.stopAt && g.stopAt > 0;  // once asked, a caller keeps asking
    if (stop && g.viaFlag) {
        g_cancel.store(true);
    }
    return stop && !g.viaFlag;
}

void Progress(void* context, float percent) {
    EXPECT_EQ(context, &g);
    g.progress.push_back(percent);
    if (++g.reports == g.cancelAtReport) {
        g_cancel.store(true);
    }
}

const RunContext kScripted{&g_cancel, Poll, Progress, nullptr, &g};

void ExpectIncreasingTo100(size_t count) {
    ASSERT_EQ(g.progress.size(), count);
    EXPECT_GT(g.progress.front(), 0.0f);
    EXPECT_EQ(std::adjacent_find(g.progress.begin(), g.progress.end(), std::greater_equal<>()),
              g.progress.end());
    EXPECT_EQ(g.progress.back(), 100.0f);
}

// 100 x 90 with tiles of 64 overlapping by 8: 2 x 2 tiles, last column 44 wide, last row 34.
constexpr int32_t kW = 100, kH = 90, kTile = 64, kOverlap = 8;
constexpr int kChecksPerTile = 1 + 3 * 4;  // tile start, then four per channel
constexpr EngineNumbers kNumbers{1.0f, 1.0f, 0.7f, 0.9f, 0.4f, 0.2f};

// One thread: the job's thread itself meets every stop check, in the order a plain loop does.
TEST(TiledJobsTest, ProgressAndStopAtEveryCheck) {
    const RunContext scripted = test::OnThreads(1, kScripted);
    const test::Planes input = test::MakeNoisyImage(kW, kH, 21);
    test::Planes full = input;
    Arm(0);
    ReduceNoise(full.View(), kTile, kOverlap, kNumbers, {}, scripted);
    ExpectIncreasingTo100(4);
    ASSERT_EQ(g.calls, 4 * kChecksPerTile);
    ASSERT_FALSE(full == input);
    const int lastTileStart = 3 * kChecksPerTile + 1;
    for (const bool viaFlag : {false, true}) {
        for (int stopAt = 1; stopAt <= 4 * kChecksPerTile; ++stopAt) {
            SCOPED_TRACE(testing::Message() << "stop at check " << stopAt << " flag " << viaFlag);
            test::Planes planes = input;
            Arm(stopAt, viaFlag);
            const bool done = ReduceNoise(planes.View(), kTile, kOverlap, kNumbers, {}, scripted);
            // The flag is read before the poll: once raised, the poll is not called again and
            // the stop is found at the next check. A stopped poll is asked at most once more. A
            // stop at a tile start or inside an earlier tile ends the job; inside the last tile,
            // part of it is in; after it, all is.
            EXPECT_TRUE(g.calls == stopAt || (!viaFlag && g.calls == stopAt + 1)) << g.calls;
            const int found = viaFlag ? stopAt + 1 : stopAt;
            EXPECT_EQ(done, found > lastTileStart);
            EXPECT_TRUE(found <= lastTileStart || (planes == full) == (found > 4 * kChecksPerTile));
        }
    }
    // The analysis: per tile the start, and one check after each channel's decomposition.
    Arm(0);
    const auto profile = AnalyzeNoise(input.View(), kTile, kOverlap, kNumbers, scripted);
    ExpectIncreasingTo100(12);
    ASSERT_TRUE(g.calls == 4 * 4 && profile.has_value());
    for (const bool viaFlag : {false, true}) {
        for (int stopAt = 1; stopAt <= 4 * 4; ++stopAt) {
            Arm(stopAt, viaFlag);
            const auto stopped = AnalyzeNoise(input.View(), kTile, kOverlap, kNumbers, scripted);
            EXPECT_EQ(g.calls, stopAt);
            // A flag raised at the very last check is never read again: the analysis completes.
            EXPECT_EQ(stopped, viaFlag && stopAt == 4 * 4 ? profile : std::nullopt) << stopAt;
        }
    }
}

int ThreadsOfProcess() {
#ifdef __linux__
    return static_cast<int>(
        std::ranges::distance(std::filesystem::directory_iterator("/proc/self/task")));
#else
    return 0;
#endif
}

// Two workers on 300 x 200 in tiles of 64 overlapping by 8 (5 x 4 tiles): the cancel flag is
// raised from each progress report in turn. Reports may merge steps, so the last percentage
// tells whether every tile was processed before the stop took hold.
TEST(TiledJobsTest, StopWithTwoThreadsLeavesNothingBehind) {
    const RunContext scripted = test::OnThreads(2, kScripted);
    const test::Planes input = test::MakeNoisyImage(300, 200, 41);
    const auto full =
        AnalyzeNoise(input.View(), kTile, kOverlap, kNumbers, test::OnThreads(2)).value();
    // Counted after a first threaded job: a sanitizer's runtime may start a thread of its own.
    const int before = ThreadsOfProcess();
    Arm(1);  // a poll that stops at once: nothing starts
    test::Planes planes = input;
    EXPECT_FALSE(ReduceNoise(planes.View(), kTile, kOverlap, kNumbers, {}, scripted));
    EXPECT_TRUE(planes == input);
    EXPECT_EQ(g.calls, 1);
    EXPECT_FALSE(AnalyzeNoise(input.View(), kTile, kOverlap, kNumbers, scripted));
    int stopped = 0;
    for (int k = 1; k <= 20; ++k) {
        SCOPED_TRACE(testing::Message() << "cancel at report " << k);
        Arm(0, false, k);
        planes = input;
        const bool completed =
            ReduceNoise(planes.View(), kTile, kOverlap, kNumbers, full.noise, scripted);
        const bool done = g.progress.back() == 100.0f;
        EXPECT_EQ(completed, done);
        stopped += done ? 0 : 1;
        Arm(0, false, 3 * k);
        const auto profile = AnalyzeNoise(input.View(), kTile, kOverlap, kNumbers, scripted);
        EXPECT_EQ(profile.has_value(), g.progress.back() == 100.0f);
        EXPECT_TRUE(!profile || *profile == full);
        EXPECT_EQ(ThreadsOfProcess(), before);
    }
    EXPECT_GT(stopped, 0);  // the stops did stop something
}

EngineSettings Settings(bool highQuality, int light = 0, int dark = 0) {
    return {-2, 1, 6, 12, light, dark, highQuality};
}

// A profile is read only by a reduction of the kind and level count it was measured for;
// any other, and one too short for its layout, gets the per-tile analysis, as without one.
TEST(RunJobsTest, AProfileOfAnotherKindOrLevelCountIsNeverRead) {
    const test::Planes input = test::MakeNoisyImage(600, 100, 8);
    for (const bool hq : {true, false}) {
        const auto reduced = [&](const NoiseProfile* profile) {
            test::Planes planes = input;
            RunNoiseReduction(planes.View(), Settings(hq, 3, -2), profile, {});
            return planes;
        };
        const NoiseProfile own = RunNoiseAnalysis(input.View(), Settings(hq), {}).value();
        NoiseProfile other = RunNoiseAnalysis(input.View(), Settings(!hq), {}).value(), fewer = own,
                     shorter = own;
        other.noise.resize(kNoiseProfileEntries, 1.0f);  // long enough for either layout
        fewer.levels = 3;
        shorter.noise.resize(3);
        EXPECT_FALSE(reduced(&own) == reduced(nullptr)) << hq;  // it matters on this image
        for (const NoiseProfile* unusable : {&other, &fewer, &shorter}) {
            EXPECT_TRUE(reduced(unusable) == reduced(nullptr)) << hq;
        }
    }
}

// (The profile's size per kind is in the golden analysis hashes; non-finite input in the
// histogram's and the suppression's tests and RunTest.OddSizesAndOutOfRangeValues.)
TEST(RunJobsTest, StopsAndEmptyImages) {
    const test::Planes input = test::MakeNoisyImage(60, 40, 5);
    test::Planes planes = input;
    Arm(1);  // no correction: bit-exact
    RunNoiseReduction(planes.View(), Settings(false), {}, kScripted);
    EXPECT_TRUE(planes == input);
    // With corrections too: nothing is written before the first tile.
    Arm(0);
    g_cancel.store(true);
    RunNoiseReduction(planes.View(), Settings(true, 6, -9), {}, kScripted);
    EXPECT_EQ(g.calls, 0);
    EXPECT_TRUE(planes == input);
    Arm(1);
    EXPECT_FALSE(RunNoiseAnalysis(input.View(), Settings(true), kScripted));
    EXPECT_FALSE(
        RunNoiseAnalysis(ConstImagePlanes(nullptr, nullptr, nullptr, 0, 10), Settings(true), {}));
    RunNoiseReduction(ImagePlanes{{nullptr, nullptr, nullptr}, 10, 0}, Settings(true, 3, 3), {},
                      {});  // an empty image is left alone
}

}  // namespace
}  // namespace vel
