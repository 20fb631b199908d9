// The fast engine (vector kernels, several threads) against the reference (plain code, one
// thread): the same bits, for whole jobs and for the kernels at the edges of their rules.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "TestImages.h"
#include "engine/Jobs.h"
#include "engine/Kernels.h"
#include "engine/Suppression.h"
#include "engine/ToneCorrection.h"

namespace vel {
namespace {

// {width, height, highQuality, profile, light, dark}: from one sample to several tiles with a
// partial last row and column, thin strips and sizes below one tile.
constexpr int32_t kCases[][6] = {
    {1, 1, 1, 1, 3, 5},      {1, 600, 0, 1, 3, 5},  {33, 17, 1, 0, -4, 6},
    {545, 9, 0, 0, 0, 0},    {545, 9, 1, 1, 6, 0},  {513, 31, 1, 0, 0, 0},
    {513, 31, 0, 1, 2, -3},  {2, 2, 1, 1, 3, 5},    {1100, 1000, 1, 1, 3, 3},
    {1100, 600, 0, 0, 0, 9}, {2, 3000, 1, 1, 3, 5}, {600, 1, 0, 1, 3, 5},
    {5, 3, 0, 1, 3, 5},      {64, 7, 1, 0, 3, 5},   {16, 40, 0, 0, 3, 5},
    {32, 32, 1, 1, 3, 5}};

// Each instruction set on one thread and on several; every thread count on some set.
constexpr KernelChoice kSets[] = {KernelChoice::Sse2, KernelChoice::Sse2, KernelChoice::Avx2,
                                  KernelChoice::Avx2, KernelChoice::Reference};
constexpr int32_t kThreads[] = {1, 3, 2, 8, 2};

std::pair<NoiseProfile, test::Planes> RunJobs(const int32_t (&c)[6], KernelChoice k,
                                              int32_t threads) {
    const RunContext context{.config = {threads, KernelsFor(k)}};
    const EngineSettings settings{-2, 1, 6, 12, c[4], c[5], c[2] != 0};
    std::pair<NoiseProfile, test::Planes> r{{}, test::MakeNoisyImage(c[0], c[1], 40)};
    if (c[3]) {
        r.first = RunNoiseAnalysis(r.second.View(), settings, context).value();
    }
    RunNoiseReduction(r.second.View(), settings, &r.first, context);
    return r;
}

TEST(FastPathTest, SameBitsAsTheReference) {
    for (const auto& c : kCases) {
        const auto reference = RunJobs(c, KernelChoice::Reference, 1);
        ASSERT_TRUE(test::PlanesNear(reference.second, reference.second, 0.0f));  // all finite
        for (size_t e = 0; e < std::size(kSets); ++e) {
            if (!KernelsAvailable(kSets[e])) {
                continue;
            }
            const auto fast = RunJobs(c, kSets[e], kThreads[e]);
            EXPECT_EQ(test::HashPlanes(fast.second), test::HashPlanes(reference.second))
                << c[0] << "x" << c[1] << " hq " << c[2] << " engine " << e;
            EXPECT_EQ(fast.first, reference.first);
        }
    }
}

// Values at every edge of the bin and gain rules, non-finite ones included, through the
// histogram and the suppression of each kernel set: the plain code's counts and bits. (The
// transforms' kernels meet every width below a register in SameBitsAsTheReference.)
TEST(FastPathTest, KernelsMatchThePlainCodeAtTheEdges) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    std::vector<float> values = {0.0f,     -0.0f,      1e-9f,   0.0122f, 0.01220703125f,
                                 0.02441f, 49.99f,     50.0f,   -50.0f,  3e38f,
                                 inf,      -inf,       nan,     -nan,    -3.5f,
                                 1.0f,     0.0061035f, 12.207f, 255.0f,  -1e-30f};
    test::SplitMix64 rng{7};
    while (values.size() < 1000) {
        values.push_back(60.0f * (rng.Uniform() - 0.5f));
    }
    const auto histogram = [&](KernelChoice k) {
        NoiseHistogram h;
        h.Add(values.data(), static_cast<int64_t>(values.size()) - 3, KernelsFor(k));  // ragged
        return h.counts;
    };
    const auto shrink = [&](KernelChoice k, const float* parent, int32_t level) {
        std::vector<float> band(values.rbegin(), values.rend()), work(band.size());
        ShrinkSubband(band.data(), parent, 40, 25,
                      {.noiseLevel = 0.7f,
                       .level = level,
                       .floor = 0.25f,
                       .shape = WindowShape::Wide,
                       .kernels = KernelsFor(k)},
                      work.data());
        return test::Fnv1a(band);
    };
    // Brightness means around 128, at the 127-step reach, beyond both gain clamps and not
    // finite, through the tone gains of 37 x 27 samples (ragged against every register).
    const auto tone = [&](KernelChoice k, float light, float dark) {
        std::vector<float> p0(999), gains(999);
        for (size_t i = 0; i < p0.size(); ++i) {
            p0[i] = 128.0f + values[i] * (i % 3 == 0 ? 0.01f : 5.0f);
        }
        ComputeToneGains(p0.data(), 37, 27, light, dark, gains.data(), KernelsFor(k));
        return test::Fnv1a(gains);
    };
    for (const KernelChoice choice : {KernelChoice::Sse2, KernelChoice::Avx2}) {
        if (!KernelsAvailable(choice)) {
            continue;
        }
        EXPECT_EQ(histogram(choice), histogram(KernelChoice::Reference));
        for (const int32_t level : {0, 2, 3}) {
            for (const float* parent : std::array<const float*, 2>{values.data(), nullptr}) {
                EXPECT_EQ(shrink(choice, parent, level),
                          shrink(KernelChoice::Reference, parent, level));
            }
        }
        for (const auto& [light, dark] : {std::pair{3.0f, 12.0f}, {0.01f, 0.5f}, {1.0f, 2.0f}}) {
            EXPECT_EQ(tone(choice, light, dark), tone(KernelChoice::Reference, light, dark));
        }
    }
}

}  // namespace
}  // namespace vel
