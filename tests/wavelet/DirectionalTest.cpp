#include <gtest/gtest.h>

#include "WaveletTestSupport.h"

namespace vel::test {
namespace {

std::vector<Plane> DecomposeOneLevel(const Plane& p, int32_t w, int32_t h, int32_t level) {
    std::vector<Plane> bands(4, Plane(p.size(), -99.0f));
    float* table[4] = {bands[0].data(), bands[1].data(), bands[2].data(), bands[3].data()};
    DecomposeLevelDirectional(p.data(), table, w, h, level, 0);
    return bands;
}

constexpr float kTaps[3] = {0.25f, 0.5f, 0.25f};

TEST(SplitRows, LevelThreeClampsWithinARowOfSixteen) {
    const Plane row = RandomPlane(16, 1, 21);
    Plane low(16);
    Plane high(16);
    SplitRows(row.data(), low.data(), high.data(), 16, kTaps, 3, 1, 8);
    for (int x = 0; x < 16; ++x) {
        const int left = x <= 7 ? 0 : x - 8;
        const int right = x >= 8 ? 15 : x + 8;
        const float expected = (row[left] + row[right]) * 0.25f + 0.5f * row[x];
        EXPECT_EQ(low[x], expected) << x;
        EXPECT_EQ(high[x], row[x] - expected) << x;
    }
}

TEST(SplitRows, OtherFilterShapesAndSpacingsStayInside) {
    const Plane row = RandomPlane(9, 1, 22);
    Plane low(9);
    Plane high(9);
    const float identity[1] = {1.0f};
    SplitRows(row.data(), low.data(), high.data(), 9, identity, 1, 0, 4);
    EXPECT_TRUE(SameBits(low, row));
    EXPECT_TRUE(SameBits(high, Plane(9, 0.0f)));

    // A spacing below 1 counts as 1 (ASan catches any index outside the row).
    Plane low1(9);
    Plane high1(9);
    SplitRows(row.data(), low1.data(), high1.data(), 9, kTaps, 3, 1, 1);
    for (int32_t d : {0, -5}) {
        SplitRows(row.data(), low.data(), high.data(), 9, kTaps, 3, 1, d);
        EXPECT_TRUE(SameBits(low, low1)) << d;
        EXPECT_TRUE(SameBits(high, high1)) << d;
    }

    // Asymmetric taps are summed tap by tap, first tap first.
    const float skew[3] = {0.125f, 0.5f, 0.375f};
    SplitRows(row.data(), low.data(), high.data(), 9, skew, 3, 1, 2);
    for (int i = 0; i < 9; ++i) {
        const float expected =
            (0.125f * row[std::max(i - 2, 0)] + 0.5f * row[i]) + 0.375f * row[std::min(i + 2, 8)];
        EXPECT_EQ(low[i], expected) << i;
    }
}

TEST(SplitColumns, SecondColumnTakesWhatTheSmoothingRemoved) {
    const int32_t w = 5;
    const int32_t h = 11;
    const Plane p = RandomPlane(w, h, 23);
    const Plane smoothY = ReferenceSmooth(p, w, h, 2, false);
    Plane first = p;
    Plane second(p.size(), -1.0f);
    const int x = 3;
    SplitColumns(first.data() + x, second.data() + x, h, kTaps, 3, 1, 2, w);
    for (int y = 0; y < h; ++y) {
        for (int c = 0; c < w; ++c) {
            const size_t i = static_cast<size_t>(y * w + c);
            if (c == x) {
                EXPECT_EQ(first[i], smoothY[i]);
                EXPECT_EQ(second[i], p[i] - smoothY[i]);
            } else {
                EXPECT_EQ(first[i], p[i]);
                EXPECT_EQ(second[i], -1.0f);
            }
        }
    }
}

// The row-major plane walk is an optimisation of the column walk and must match it exactly.
TEST(SplitPlaneColumns, MatchesTheColumnAtATimeWalk) {
    const float skew[3] = {0.125f, 0.5f, 0.375f};
    const float identity[1] = {1.0f};
    struct Filter {
        const float* taps;
        int32_t count;
        int32_t centre;
    };
    for (const Filter& f : {Filter{kTaps, 3, 1}, Filter{skew, 3, 1}, Filter{identity, 1, 0}}) {
        for (auto [w, h] : {std::pair{37, 23}, std::pair{1, 9}, std::pair{6, 1}}) {
            for (int32_t d : {1, 2, 4, 8, 64}) {
                const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w + h + d));
                Plane walkFirst = p;
                Plane walkSecond(p.size(), 0.0f);
                for (int32_t x = 0; x < w; ++x) {
                    SplitColumns(walkFirst.data() + x, walkSecond.data() + x, h, f.taps, f.count,
                                 f.centre, d, w);
                }
                Plane planeFirst = p;
                Plane planeSecond(p.size(), 0.0f);
                SplitPlaneColumns(planeFirst.data(), planeSecond.data(), w, h, f.taps, f.count,
                                  f.centre, d);
                ASSERT_TRUE(SameBits(walkFirst, planeFirst)) << w << "x" << h << " d " << d;
                ASSERT_TRUE(SameBits(walkSecond, planeSecond)) << w << "x" << h << " d " << d;
            }
        }
    }
}

TEST(DecomposeLevelDirectional, MatchesPerSampleClampForEverySizeAndLevel) {
    for (int32_t h = 1; h <= 19; ++h) {
        for (int32_t w = 1; w <= 19; ++w) {
            const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w * 37 + h));
            const Plane copy = p;
            for (int32_t level = 0; level <= 5; ++level) {
                const std::vector<Plane> bands = DecomposeOneLevel(p, w, h, level);
                const std::vector<Plane> expected =
                    ReferenceDirectional(p, w, h, int64_t{1} << level);
                for (int b = 0; b < 4; ++b) {
                    ASSERT_TRUE(SameBits(bands[b], expected[b]))
                        << w << "x" << h << " level " << level << " band " << b;
                }
            }
            ASSERT_TRUE(SameBits(p, copy));
        }
    }
}

TEST(DecomposeLevelDirectional, BandIdentities) {
    const int32_t w = 29;
    const int32_t h = 17;
    const Plane p = RandomPlane(w, h, 24, -100.0f, 100.0f);
    for (int32_t level = 0; level < 4; ++level) {
        const std::vector<Plane> b = DecomposeOneLevel(p, w, h, level);
        const Plane lx = ReferenceSmooth(p, w, h, int64_t{1} << level, true);
        // Each band rounds once; magnitudes stay below 4 * 100.
        const double tol = 3.0 * 400.0 * static_cast<double>(FLT_EPSILON);
        for (size_t i = 0; i < p.size(); ++i) {
            const double b0 = static_cast<double>(b[0][i]);
            const double b1 = static_cast<double>(b[1][i]);
            const double b2 = static_cast<double>(b[2][i]);
            const double b3 = static_cast<double>(b[3][i]);
            ASSERT_NEAR(b0 + b2, static_cast<double>(lx[i]), tol);
            ASSERT_NEAR(b1 + b3, static_cast<double>(p[i] - lx[i]), tol);
            ASSERT_NEAR(b0 + b1 + b2 + b3, static_cast<double>(p[i]), tol);
        }
    }
}

// A plane that varies along y only has no x-detail: bands 1 and 3 vanish at every level.
TEST(WaveletDecompose, HorizontalStripesLeaveOnlyYDetail) {
    const int32_t w = 23;
    const int32_t h = 40;
    Plane p(w * h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            p[y * w + x] = (y / 3) % 2 == 0 ? 10.0f + static_cast<float>(y) : -4.5f;
        }
    }
    BandBlock block(w, h, 4, WaveletKind::Directional);
    WaveletDecompose(p.data(), nullptr, nullptr, block.table(), nullptr, nullptr, w, h, 4,
                     WaveletKind::Directional, 0);
    Plane source = p;
    for (int32_t j = 0; j < 4; ++j) {
        const Plane smooth = ReferenceSmooth(source, w, h, int64_t{1} << j, false);
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 0), w, h), smooth)) << j;
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 2), w, h), Minus(source, smooth))) << j;
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 1), w, h), Plane(p.size(), 0.0f))) << j;
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 3), w, h), Plane(p.size(), 0.0f))) << j;
        source = smooth;
    }
}

TEST(WaveletDecompose, VerticalStripesLeaveOnlyXDetail) {
    const int32_t w = 40;
    const int32_t h = 23;
    Plane p(w * h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            p[y * w + x] = x < 17 ? 3.25f : 200.0f;
        }
    }
    BandBlock block(w, h, 4, WaveletKind::Directional);
    WaveletDecompose(p.data(), nullptr, nullptr, block.table(), nullptr, nullptr, w, h, 4,
                     WaveletKind::Directional, 0);
    Plane source = p;
    for (int32_t j = 0; j < 4; ++j) {
        const Plane smooth = ReferenceSmooth(source, w, h, int64_t{1} << j, true);
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 0), w, h), smooth)) << j;
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 1), w, h), Minus(source, smooth))) << j;
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 2), w, h), Plane(p.size(), 0.0f))) << j;
        EXPECT_TRUE(SameBits(CopyBand(block.band(j, 3), w, h), Plane(p.size(), 0.0f))) << j;
        source = smooth;
    }
}

TEST(DecomposeLevelDirectional, CheckerboardIsAllXYDetail) {
    const int32_t w = 12;
    const int32_t h = 9;
    Plane p(w * h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            p[y * w + x] = (x + y) % 2 == 0 ? 1.0f : 0.0f;
        }
    }
    const std::vector<Plane> b = DecomposeOneLevel(p, w, h, 0);
    for (int32_t y = 1; y < h - 1; ++y) {
        for (int32_t x = 1; x < w - 1; ++x) {
            const size_t i = static_cast<size_t>(y * w + x);
            EXPECT_EQ(b[0][i], 0.5f);
            EXPECT_EQ(b[1][i], 0.0f);
            EXPECT_EQ(b[2][i], 0.0f);
            EXPECT_EQ(b[3][i], p[i] == 1.0f ? 0.5f : -0.5f);
        }
    }
}

// Rows and columns are never mixed: a single column (or row) reaches one neighbour at level 0.
TEST(DecomposeLevelDirectional, SingleColumnOrRowStaysLocal) {
    const int32_t w = 14;
    const int32_t h = 10;
    for (int32_t line : {0, 6, 13}) {
        Plane column(w * h, 0.0f);
        for (int32_t y = 0; y < h; ++y) {
            column[y * w + line] = static_cast<float>(y + 1);
        }
        const std::vector<Plane> b = DecomposeOneLevel(column, w, h, 0);
        for (int band = 0; band < 4; ++band) {
            for (int32_t y = 0; y < h; ++y) {
                for (int32_t x = 0; x < w; ++x) {
                    if (std::abs(x - line) > 1) {
                        ASSERT_EQ(b[band][y * w + x], 0.0f) << band << " " << x << "," << y;
                    }
                }
            }
        }
    }
    for (int32_t line : {0, 4, 9}) {
        Plane row(w * h, 0.0f);
        for (int32_t x = 0; x < w; ++x) {
            row[line * w + x] = static_cast<float>(x + 1);
        }
        const std::vector<Plane> b = DecomposeOneLevel(row, w, h, 0);
        for (int band = 0; band < 4; ++band) {
            for (int32_t y = 0; y < h; ++y) {
                for (int32_t x = 0; x < w; ++x) {
                    if (std::abs(y - line) > 1) {
                        ASSERT_EQ(b[band][y * w + x], 0.0f) << band << " " << x << "," << y;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace vel::test
