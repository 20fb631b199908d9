// The fast engine (vector kernels, several threads) against the reference (plain code, one
// thread): the same bits; and a clean stop with two threads.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <vector>

#include "TestImages.h"
#include "engine/Jobs.h"
#include "engine/Kernels.h"
#include "engine/NoiseAnalysis.h"
#include "engine/Suppression.h"
#include "engine/TileScheduler.h"
#include "engine/TiledReduction.h"
#include "wavelet/Wavelet.h"

namespace vel {
namespace {

struct Case {
    int32_t width, height;
    bool highQuality, profile;
    int light, dark;
};

// Sizes from one sample to several tiles with a partial last row and column.
constexpr Case kCases[] = {
    {1, 1, true, true, 3, 5},      {1, 600, false, true, 3, 5},    {33, 17, true, false, -4, 6},
    {545, 9, false, false, 0, 0},  {545, 9, true, true, 6, 0},     {513, 31, true, false, 0, 0},
    {513, 31, false, true, 2, -3}, {1100, 1000, true, true, 3, 3}, {1100, 600, false, false, 0, 9},
};

struct Result {
    std::vector<float> profile;
    test::Planes planes;
};

// Selects a kernel set for one scope; false (and nothing selected) where it is missing.
class KernelScope {
  public:
    explicit KernelScope(KernelChoice choice) : selected_(SelectKernels(choice)) {}
    ~KernelScope() { ResetKernels(); }
    KernelScope(const KernelScope&) = delete;
    KernelScope& operator=(const KernelScope&) = delete;
    bool Selected() const { return selected_; }

  private:
    bool selected_;
};

Result RunJobs(const Case& c, int32_t threads) {
    const test::EngineThreadsScope scope(threads);
    EngineSettings params = test::StartupSettings();
    params.highQuality = c.highQuality;
    params.lightCorrection = c.light;
    params.darkCorrection = c.dark;
    Result r{{}, test::MakeNoisyImage(c.width, c.height, 40)};
    if (c.profile) {
        r.profile = RunNoiseAnalysis(r.planes.View(), params, {}).value();
    }
    RunNoiseReduction(r.planes.View(), params, r.profile, {});
    return r;
}

struct Engine {
    KernelChoice kernels;
    int32_t threads;
};

// Each instruction set on one thread and on several; every thread count on some set.
constexpr Engine kFastEngines[] = {
    {KernelChoice::Sse2, 1}, {KernelChoice::Sse2, 3},      {KernelChoice::Avx2, 2},
    {KernelChoice::Avx2, 8}, {KernelChoice::Reference, 2},
};

TEST(FastPathTest, SameBitsAsTheReference) {
    for (const Case& c : kCases) {
        const Result reference = [&] {
            const KernelScope plain(KernelChoice::Reference);
            return RunJobs(c, 1);
        }();
        for (const Engine& e : kFastEngines) {
            const KernelScope kernels(e.kernels);
            if (!kernels.Selected()) {
                continue;  // AVX2 where this processor lacks it
            }
            SCOPED_TRACE(testing::Message()
                         << c.width << "x" << c.height << " hq " << c.highQuality << " profile "
                         << c.profile << " kernels " << static_cast<int>(e.kernels) << " threads "
                         << e.threads);
            const Result fast = RunJobs(c, e.threads);
            EXPECT_EQ(test::HashPlanes(fast.planes), test::HashPlanes(reference.planes));
            EXPECT_EQ(fast.profile, reference.profile);
        }
    }
}

std::vector<uint32_t> BitsOf(const std::vector<float>& values) {
    std::vector<uint32_t> bits;
    for (const float v : values) {
        bits.push_back(test::Bits(v));
    }
    return bits;
}

// Bits, every NaN as one: where both operands of + or * are NaN, x86 returns the first one,
// and compilers swap those operands freely, so the plain code's NaN signs already differ
// between its -O1 and -O3 builds. Every other value keeps its exact bits.
std::vector<uint32_t> BitsNaNAsOne(const std::vector<float>& values) {
    std::vector<uint32_t> bits = BitsOf(values);
    for (size_t i = 0; i < values.size(); ++i) {
        if (std::isnan(values[i])) {
            bits[i] = 0x7fc00000u;
        }
    }
    return bits;
}

// Values at every edge of the bin and gain rules, non-finite ones included, through the
// histogram and the suppression of each kernel set: the plain code's counts and bits.
TEST(FastPathTest, KernelsMatchThePlainCodeAtTheEdges) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> values = {0.0f,     -0.0f,      1e-9f,   0.0122f, 0.01220703125f,
                                 0.02441f, 49.99f,     50.0f,   -50.0f,  3e38f,
                                 inf,      -inf,       nan,     -nan,    -3.5f,
                                 1.0f,     0.0061035f, 12.207f, 255.0f,  -1e-30f};
    test::SplitMix64 rng(7);
    while (values.size() < 1000) {
        values.push_back(60.0f * (rng.Uniform() - 0.5f));
    }
    const int32_t cols = 40, rows = 25;  // a band of the 1000 values
    const auto histogram = [&](KernelChoice k) {
        const KernelScope scope(k);
        NoiseHistogram h;
        h.Add(values.data(), static_cast<int64_t>(values.size()) - 3);  // a ragged end
        return h.counts;
    };
    const auto shrink = [&](KernelChoice k, const float* parent, int32_t level) {
        const KernelScope scope(k);
        std::vector<float> band(values.rbegin(), values.rend());
        std::vector<float> work(band.size());
        ShrinkSubband(band.data(), parent, cols, rows, 0.7f, level, work.data(), 0.25f, 2.0f,
                      WindowShape::Wide);
        return BitsOf(band);
    };
    // Every band of a four-level decomposition of the first width x rows values, then the
    // reconstruction from them.
    const auto decompose = [&](KernelChoice k, WaveletKind kind, int32_t width) {
        const KernelScope scope(k);
        constexpr int32_t kLevels = 4;
        const size_t area = static_cast<size_t>(width) * static_cast<size_t>(rows);
        const int32_t S = BandsPerLevel(kind);
        std::vector<float> storage(area * static_cast<size_t>(kLevels * S));
        std::vector<float*> table;
        for (int32_t i = 0; i < kLevels * S; ++i) {
            table.push_back(storage.data() + static_cast<size_t>(i) * area);
        }
        WaveletDecompose(PackedPlane(values.data(), width, rows), table.data(), kLevels, kind, 0,
                         ActiveWaveletKernels());
        std::vector<float> out(area);
        WaveletReconstruct(PackedPlane(out.data(), width, rows), table.data(), kLevels, kind, 0,
                           ActiveWaveletKernels());
        storage.insert(storage.end(), out.begin(), out.end());
        return BitsNaNAsOne(storage);
    };
    for (const KernelChoice choice : {KernelChoice::Sse2, KernelChoice::Avx2}) {
        if (!KernelsAvailable(choice)) {
            continue;
        }
        SCOPED_TRACE(static_cast<int>(choice));
        EXPECT_EQ(histogram(choice), histogram(KernelChoice::Reference));
        // Widths below one register, odd tails and interiors of many lengths at spacings 1..8.
        for (const int32_t width : {1, 2, 3, 5, 7, 8, 9, 11, 16, 17, 19, 24, 31, 40}) {
            for (const WaveletKind kind : {WaveletKind::Isotropic, WaveletKind::Directional}) {
                SCOPED_TRACE(testing::Message()
                             << "width " << width << " kind " << static_cast<int>(kind));
                EXPECT_EQ(decompose(choice, kind, width),
                          decompose(KernelChoice::Reference, kind, width));
            }
        }
        for (const int32_t level : {0, 2, 3}) {
            EXPECT_EQ(shrink(choice, values.data(), level),
                      shrink(KernelChoice::Reference, values.data(), level));
            EXPECT_EQ(shrink(choice, nullptr, level),
                      shrink(KernelChoice::Reference, nullptr, level));
        }
    }
}

int ThreadsOfProcess() {
#ifdef __linux__
    const std::filesystem::path tasks("/proc/self/task");
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(tasks),
                                          std::filesystem::directory_iterator()));
#else
    return 0;
#endif
}

// The cancel flag raised from the progress report k (on the job's own thread), or by a poll
// from its first call on. Reports may merge steps, so the last percentage seen tells whether
// every tile was processed before the stop took hold.
CancelFlag g_cancel{false};
int g_reports = 0;
int g_cancelAtReport = 0;
float g_lastPercent = 0.0f;
int g_pollCalls = 0;

void CancelAtReport(float percent) {
    g_lastPercent = percent;
    if (++g_reports == g_cancelAtReport) {
        g_cancel.store(true);
    }
}

void ArmCancel(int k) {
    g_cancel.store(false);
    g_reports = 0;
    g_cancelAtReport = k;
    g_lastPercent = 0.0f;
}

bool PollStops() {
    ++g_pollCalls;
    return true;
}

// 300 x 200 on tiles of 64 overlapping by 8: 5 x 4 tiles, so the two workers hold at most
// two of them when a stop arrives and most stops fall well before the last tile.
constexpr int32_t kW = 300, kH = 200, kTile = 64, kOverlap = 8, kTiles = 20;

EngineNumbers Numbers() {
    EngineNumbers n;
    n.lumaThresholdFactor = n.chromaThresholdFactor = 0.8f;
    n.lumaFloor = n.chromaFloor = 0.3f;
    return n;
}

TEST(FastPathTest, StopWithTwoThreadsLeavesNothingBehind) {
    const test::EngineThreadsScope two(2);
    const test::Planes input = test::MakeNoisyImage(kW, kH, 41);
    const auto full = AnalyzeNoise(input.View(), kTile, kOverlap, Numbers(), {});
    ASSERT_TRUE(full.has_value());
    // Counted after a first threaded job: a sanitizer's runtime may start a thread of its own.
    const int before = ThreadsOfProcess();

    // A poll that stops at once: nothing starts.
    g_pollCalls = 0;
    test::Planes planes = input;
    ReduceNoise(planes.View(), kTile, kOverlap, Numbers(), {}, {nullptr, PollStops, nullptr});
    EXPECT_TRUE(planes == input);
    EXPECT_EQ(g_pollCalls, 1);
    EXPECT_FALSE(AnalyzeNoise(input.View(), kTile, kOverlap, Numbers(), {nullptr, PollStops}));

    int stopped = 0;
    for (int k = 1; k <= kTiles; ++k) {
        SCOPED_TRACE(testing::Message() << "cancel at report " << k);
        ArmCancel(k);
        planes = input;
        ReduceNoise(planes.View(), kTile, kOverlap, Numbers(), *full,
                    {&g_cancel, nullptr, CancelAtReport});
        // Unchanged unless every tile was processed: then the result is written.
        EXPECT_EQ(planes == input, g_lastPercent < 100.0f);
        stopped += g_lastPercent < 100.0f ? 1 : 0;

        ArmCancel(3 * k);
        // A stopped analysis measures nothing; one that completes measures everything.
        const auto profile = AnalyzeNoise(input.View(), kTile, kOverlap, Numbers(),
                                          {&g_cancel, nullptr, CancelAtReport});
        EXPECT_EQ(profile.has_value(), g_lastPercent == 100.0f);
        EXPECT_TRUE(!profile || *profile == *full);
        EXPECT_EQ(ThreadsOfProcess(), before);
    }
    EXPECT_GT(stopped, 0);  // the stops did stop something
}

}  // namespace
}  // namespace vel
