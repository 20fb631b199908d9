#include <gtest/gtest.h>

#include "WaveletTestSupport.h"

namespace vel::test {
namespace {

struct LevelBands {
    Plane a;
    Plane d;
};

LevelBands DecomposeOneLevel(const Plane& p, int32_t w, int32_t h, int32_t level,
                             uint32_t filterIndex = 0) {
    LevelBands r{Plane(p.size(), -99.0f), Plane(p.size(), -99.0f)};
    float* bands[2] = {r.a.data(), r.d.data()};
    DecomposeLevelIsotropic(p.data(), bands, w, h, level, filterIndex);
    return r;
}

TEST(SmoothingFilter, NormalisesToQuarterHalfQuarterEveryTime) {
    for (int call = 0; call < 3; ++call) {
        const SmoothingFilter f = NormalisedSmoothingFilter(0);
        ASSERT_EQ(f.tapCount, 3);
        EXPECT_EQ(f.centre, 1);
        EXPECT_EQ(f.taps[0], 0.25f);
        EXPECT_EQ(f.taps[1], 0.5f);
        EXPECT_EQ(f.taps[2], 0.25f);
    }
    // The stored table itself stays as written.
    EXPECT_EQ(kSmoothingFilters[0].taps[1], 1.0f);
}

TEST(SmoothingFilter, IndexOutsideTableSelectsTheFirstFilter) {
    for (uint32_t index : {1u, 7u, 0xFFFFFFFFu}) {
        const SmoothingFilter f = NormalisedSmoothingFilter(index);
        EXPECT_EQ(f.taps[0], 0.25f);
        EXPECT_EQ(f.taps[1], 0.5f);
        EXPECT_EQ(f.taps[2], 0.25f);
    }
    const Plane p = RandomPlane(9, 7, 3);
    const LevelBands first = DecomposeOneLevel(p, 9, 7, 1, 0);
    const LevelBands other = DecomposeOneLevel(p, 9, 7, 1, 0xFFFFFFFFu);
    EXPECT_TRUE(SameBits(first.a, other.a));
    EXPECT_TRUE(SameBits(first.d, other.d));
}

TEST(LevelDilation, DoublesPerLevelAndIsCappedByThePlane) {
    EXPECT_EQ(LevelDilation(0, 100, 100), 1);
    EXPECT_EQ(LevelDilation(1, 100, 100), 2);
    EXPECT_EQ(LevelDilation(2, 100, 100), 4);
    EXPECT_EQ(LevelDilation(3, 100, 100), 8);
    EXPECT_EQ(LevelDilation(3, 5, 3), 5);
    EXPECT_EQ(LevelDilation(-4, 5, 3), 1);
    EXPECT_EQ(LevelDilation(31, 7, 2), 7);
    EXPECT_EQ(LevelDilation(1000, 1, 1), 1);
    EXPECT_EQ(LevelDilation(30, 0x7FFFFFFF, 1), 0x7FFFFFFF);
}

TEST(DecomposeLevelIsotropic, ImpulseAtTheCorner) {
    const int32_t w = 6;
    const int32_t h = 5;
    Plane p(w * h, 0.0f);
    p[0] = 1.0f;
    const LevelBands r = DecomposeOneLevel(p, w, h, 0);
    EXPECT_EQ(r.a[0], 0.5625f);
    EXPECT_EQ(r.d[0], 0.4375f);
    EXPECT_EQ(r.a[1], 0.1875f);
    EXPECT_EQ(r.a[w], 0.1875f);
    EXPECT_EQ(r.a[w + 1], 0.0625f);
    EXPECT_EQ(r.d[1], -0.1875f);
    EXPECT_EQ(r.d[w + 1], -0.0625f);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            if (x >= 2 || y >= 2) {
                EXPECT_EQ(r.a[y * w + x], 0.0f) << x << "," << y;
                EXPECT_EQ(r.d[y * w + x], 0.0f) << x << "," << y;
            }
        }
    }
}

// d = 8 on 16 columns: columns 0..7 take column 0 as left neighbour, 8..15 column 15 as right.
TEST(DecomposeLevelIsotropic, LevelThreeClampsWithinRowsOfSixteen) {
    const int32_t w = 16;
    const int32_t h = 20;
    const Plane p = RandomPlane(w, h, 11);
    const LevelBands r = DecomposeOneLevel(p, w, h, 3);
    auto at = [&](int x, int y) { return p[y * w + x]; };
    for (int y = 0; y < h; ++y) {
        const int n = y < 8 ? 0 : y - 8;
        const int s = y + 8 > 19 ? 19 : y + 8;
        for (int x = 0; x < w; ++x) {
            const int left = x <= 7 ? 0 : x - 8;
            const int right = x >= 8 ? 15 : x + 8;
            const float edges = ((at(left, y) + at(right, y)) + at(x, n)) + at(x, s);
            const float corners = ((at(left, n) + at(right, n)) + at(left, s)) + at(right, s);
            const float expected = (0.25f * at(x, y) + 0.125f * edges) + 0.0625f * corners;
            ASSERT_EQ(r.a[y * w + x], expected) << x << "," << y;
            ASSERT_EQ(r.d[y * w + x], p[y * w + x] - expected) << x << "," << y;
        }
    }
}

// Border and interior loops must agree with a plain clamp at every sample, for planes smaller
// and larger than the spacing.
TEST(DecomposeLevelIsotropic, MatchesPerSampleClampForEverySizeAndLevel) {
    for (int32_t h = 1; h <= 19; ++h) {
        for (int32_t w = 1; w <= 19; ++w) {
            const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w * 31 + h));
            for (int32_t level = 0; level <= 5; ++level) {
                const LevelBands r = DecomposeOneLevel(p, w, h, level);
                Plane a;
                Plane d;
                ReferenceIsotropic(p, w, h, int64_t{1} << level, a, d);
                ASSERT_TRUE(SameBits(r.a, a)) << w << "x" << h << " level " << level;
                ASSERT_TRUE(SameBits(r.d, d)) << w << "x" << h << " level " << level;
            }
        }
    }
}

TEST(DecomposeLevelIsotropic, BandsAddUpToTheSourceAndSourceIsOnlyRead) {
    const int32_t w = 33;
    const int32_t h = 21;
    const Plane ints = IntegerPlane(w, h, 5, 255);
    const Plane reals = RandomPlane(w, h, 6, -300.0f, 300.0f);
    for (int32_t level = 0; level < 5; ++level) {
        const Plane intsCopy = ints;
        const LevelBands exact = DecomposeOneLevel(ints, w, h, level);
        EXPECT_TRUE(SameBits(ints, intsCopy));
        for (size_t i = 0; i < ints.size(); ++i) {
            ASSERT_EQ(exact.a[i] + exact.d[i], ints[i]);
        }
        // D = P - A rounds once: within half an ulp of a magnitude of at most 2 * 300.
        const LevelBands r = DecomposeOneLevel(reals, w, h, level);
        for (size_t i = 0; i < reals.size(); ++i) {
            ASSERT_NEAR(static_cast<double>(r.a[i]) + static_cast<double>(r.d[i]),
                        static_cast<double>(reals[i]), 600.0 * static_cast<double>(FLT_EPSILON));
        }
    }
}

}  // namespace
}  // namespace vel::test
