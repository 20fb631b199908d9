#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <tuple>

#include "WaveletTestSupport.h"

namespace vel::test {
namespace {

constexpr WaveletKind kKinds[] = {WaveletKind::Isotropic, WaveletKind::Directional};

// One level of either kind into fresh planes (pre-filled so unwritten samples show).
std::vector<Plane> DecomposeOneLevel(WaveletKind kind, const Plane& p, int32_t w, int32_t h,
                                     int32_t level, uint32_t filterIndex = 0) {
    std::vector<Plane> bands(static_cast<size_t>(BandsPerLevel(kind)), Plane(p.size(), -99.0f));
    float* table[4] = {};
    for (size_t b = 0; b < bands.size(); ++b) {
        table[b] = bands[b].data();
    }
    if (kind == WaveletKind::Directional) {
        DecomposeLevelDirectional(PackedPlane(p.data(), w, h), table, level, filterIndex);
    } else {
        DecomposeLevelIsotropic(PackedPlane(p.data(), w, h), table, level, filterIndex);
    }
    return bands;
}

TEST(BandBlock, TableEntriesAreConsecutivePlanesOfOneBlock) {
    for (WaveletKind kind : kKinds) {
        const BandBlock block(7, 5, 4, kind);
        const int32_t s = BandsPerLevel(kind);
        EXPECT_EQ(block.bandsPerLevel(), s);
        EXPECT_EQ(block.levels(), 4);
        EXPECT_EQ(block.planeSize(), 35u);
        for (int32_t e = 0; e < 4 * s; ++e) {
            EXPECT_EQ(block.table()[e], block.table()[0] + e * 35);
            EXPECT_EQ(block.band(e / s, e % s), block.table()[e]);
        }
        // Every sample of the last plane is writable (ASan checks the extent).
        std::fill_n(block.band(3, s - 1), 35, 1.0f);
    }
    for (auto [w, h, levels] : {std::tuple{0, 5, 4}, std::tuple{5, -1, 4}, std::tuple{5, 5, 0}}) {
        const BandBlock empty(w, h, levels, WaveletKind::Directional);
        EXPECT_EQ(empty.levels(), 0);
        EXPECT_EQ(empty.planeSize(), 0u);
    }
}

// Sizes whose byte count does not even fit an address are refused before any allocation
// (a real failed allocation cannot be provoked under AddressSanitizer, which aborts instead).
TEST(BandBlock, SizesBeyondTheAddressSpaceThrowBadAlloc) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    EXPECT_THROW(BandBlock(kMax, kMax, kMax, WaveletKind::Directional), std::bad_alloc);
    EXPECT_THROW(BandBlock(65536, 65536, kMax, WaveletKind::Isotropic), std::bad_alloc);
    EXPECT_THROW(BandBlock(kMax, 2, 1 << 29, WaveletKind::Directional), std::bad_alloc);
}

// Every index, inside the table or not, gives the normalised first filter; the table stays.
TEST(SmoothingFilter, NormalisesToQuarterHalfQuarterAndOutsideIndicesSelectTheFirst) {
    for (uint32_t index : {0u, 0u, 1u, 7u, 0xFFFFFFFFu}) {
        const SmoothingFilter f = NormalisedSmoothingFilter(index);
        EXPECT_EQ(f.taps[0], 0.25f);
        EXPECT_EQ(f.taps[1], 0.5f);
        EXPECT_EQ(f.taps[2], 0.25f);
    }
    EXPECT_EQ(kSmoothingFilters[0].taps[1], 1.0f);
    const Plane p = RandomPlane(9, 7, 3);
    for (WaveletKind kind : kKinds) {
        const auto first = DecomposeOneLevel(kind, p, 9, 7, 1, 0);
        const auto other = DecomposeOneLevel(kind, p, 9, 7, 1, 0xFFFFFFFFu);
        for (size_t b = 0; b < first.size(); ++b) {
            EXPECT_TRUE(SameBits(first[b], other[b])) << b;
        }
    }
}

TEST(LevelDilation, DoublesPerLevelAndIsCappedByThePlane) {
    const int32_t cases[][4] = {
        {0, 100, 100, 1}, {1, 100, 100, 2}, {2, 100, 100, 4},
        {3, 100, 100, 8}, {3, 5, 3, 5},     {-4, 5, 3, 1},
        {31, 7, 2, 7},    {1000, 1, 1, 1},  {30, 0x7FFFFFFF, 1, 0x7FFFFFFF}};
    for (const auto& c : cases) {
        EXPECT_EQ(LevelDilation(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1] << "x" << c[2];
    }
}

TEST(DecomposeLevelIsotropic, ImpulseAtTheCorner) {
    const int32_t w = 6, h = 5;
    Plane p(w * h, 0.0f);
    p[0] = 1.0f;
    const auto r = DecomposeOneLevel(WaveletKind::Isotropic, p, w, h, 0);
    EXPECT_EQ(r[0][0], 0.5625f);
    EXPECT_EQ(r[1][0], 0.4375f);
    EXPECT_EQ(r[0][1], 0.1875f);
    EXPECT_EQ(r[0][w], 0.1875f);
    EXPECT_EQ(r[0][w + 1], 0.0625f);
    EXPECT_EQ(r[1][1], -0.1875f);
    EXPECT_EQ(r[1][w + 1], -0.0625f);
    for (int32_t i = 0; i < w * h; ++i) {
        if (i % w >= 2 || i / w >= 2) {
            EXPECT_EQ(r[0][i], 0.0f) << i;
            EXPECT_EQ(r[1][i], 0.0f) << i;
        }
    }
}

// d = 8 on 16 columns: columns 0..7 take column 0 as left neighbour, 8..15 column 15 as right
// (rows of 20 likewise), for the isotropic stencil and the directional row split.
TEST(DecomposeLevel, LevelThreeClampsWithinRowsOfSixteen) {
    const int32_t w = 16, h = 20;
    const Plane p = RandomPlane(w, h, 11);
    const auto r = DecomposeOneLevel(WaveletKind::Isotropic, p, w, h, 3);
    const auto at = [&](int x, int y) { return p[y * w + x]; };
    const auto lo = [](int v) { return v <= 7 ? 0 : v - 8; };
    const auto hi = [](int v, int last) { return v + 8 > last ? last : v + 8; };
    for (int y = 0; y < h; ++y) {
        const int n = lo(y), s = hi(y, h - 1);
        for (int x = 0; x < w; ++x) {
            const int left = lo(x), right = hi(x, w - 1);
            const float edges = ((at(left, y) + at(right, y)) + at(x, n)) + at(x, s);
            const float corners = ((at(left, n) + at(right, n)) + at(left, s)) + at(right, s);
            const float expected = (0.25f * at(x, y) + 0.125f * edges) + 0.0625f * corners;
            ASSERT_EQ(r[0][y * w + x], expected) << x << "," << y;
            ASSERT_EQ(r[1][y * w + x], p[y * w + x] - expected) << x << "," << y;
        }
    }
    Plane low(16), high(16);
    SplitRows(p.data(), low.data(), high.data(), 16, 0.25f, 0.5f, 8);
    for (int x = 0; x < 16; ++x) {
        const float expected = (p[lo(x)] + p[hi(x, 15)]) * 0.25f + 0.5f * p[x];
        EXPECT_EQ(low[x], expected) << x;
        EXPECT_EQ(high[x], p[x] - expected) << x;
    }
}

// Border and interior loops must agree with a plain clamp at every sample, for planes smaller
// and larger than the spacing; the source is only read.
TEST(DecomposeLevel, MatchesPerSampleClampForEverySizeAndLevel) {
    for (int32_t h = 1; h <= 19; ++h) {
        for (int32_t w = 1; w <= 19; ++w) {
            const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w * 31 + h));
            const Plane copy = p;
            for (int32_t level = 0; level <= 5; ++level) {
                const int64_t d = int64_t{1} << level;
                std::vector<Plane> isotropic(2);
                ReferenceIsotropic(p, w, h, d, isotropic[0], isotropic[1]);
                for (WaveletKind kind : kKinds) {
                    const std::vector<Plane> expected = kind == WaveletKind::Directional
                                                            ? ReferenceDirectional(p, w, h, d)
                                                            : isotropic;
                    const auto bands = DecomposeOneLevel(kind, p, w, h, level);
                    for (size_t b = 0; b < bands.size(); ++b) {
                        ASSERT_TRUE(SameBits(bands[b], expected[b]))
                            << w << "x" << h << " level " << level << " band " << b;
                    }
                }
            }
            ASSERT_TRUE(SameBits(p, copy));
        }
    }
}

// A spacing below 1 counts as 1 (ASan catches any index outside the row).
TEST(SplitRows, SpacingsBelowOneCountAsOne) {
    const Plane row = RandomPlane(9, 1, 22);
    Plane low(9), high(9), low1(9), high1(9);
    SplitRows(row.data(), low1.data(), high1.data(), 9, 0.25f, 0.5f, 1);
    for (int32_t d : {0, -5}) {
        SplitRows(row.data(), low.data(), high.data(), 9, 0.25f, 0.5f, d);
        EXPECT_TRUE(SameBits(low, low1)) << d;
        EXPECT_TRUE(SameBits(high, high1)) << d;
    }
}

// SplitColumns touches its own column only; the row-major plane walk is an optimisation of
// the column walk and must match it exactly.
TEST(SplitColumns, OneColumnAndThePlaneWalkMatchTheColumnWalk) {
    {
        const int32_t w = 5, h = 11, x = 3;
        const Plane p = RandomPlane(w, h, 23);
        const Plane smoothY = ReferenceSmooth(p, w, h, 2, false);
        Plane first = p, second(p.size(), -1.0f);
        SplitColumns(first.data() + x, second.data() + x, h, 0.25f, 0.5f, 2, w);
        for (size_t i = 0; i < p.size(); ++i) {
            const bool own = static_cast<int32_t>(i) % w == x;
            EXPECT_EQ(first[i], own ? smoothY[i] : p[i]) << i;
            EXPECT_EQ(second[i], own ? p[i] - smoothY[i] : -1.0f) << i;
        }
    }
    for (auto [w, h] : {std::pair{37, 23}, std::pair{1, 9}, std::pair{6, 1}}) {
        for (int32_t d : {1, 2, 4, 8, 64}) {
            const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w + h + d));
            Plane walkFirst = p, walkSecond(p.size(), 0.0f);
            for (int32_t x = 0; x < w; ++x) {
                SplitColumns(walkFirst.data() + x, walkSecond.data() + x, h, 0.25f, 0.5f, d, w);
            }
            Plane planeFirst = p, planeSecond(p.size(), 0.0f);
            SplitPlaneColumns(planeFirst.data(), planeSecond.data(), w, h, 0.25f, 0.5f, d);
            ASSERT_TRUE(SameBits(walkFirst, planeFirst)) << w << "x" << h << " d " << d;
            ASSERT_TRUE(SameBits(walkSecond, planeSecond)) << w << "x" << h << " d " << d;
        }
    }
}

// A plane that varies along one axis only has no detail across it: at every level the
// approximation is the smoothing along that axis, its detail band holds the rest and the other
// two detail bands vanish.
TEST(WaveletDecompose, StripesLeaveDetailAlongOneAxisOnly) {
    for (const bool alongX : {false, true}) {
        const int32_t w = alongX ? 40 : 23, h = alongX ? 23 : 40;
        Plane p(static_cast<size_t>(w * h));
        for (int32_t i = 0; i < w * h; ++i) {
            const int32_t y = i / w;
            p[i] = alongX ? (i % w < 17 ? 3.25f : 200.0f)
                          : ((y / 3) % 2 == 0 ? 10.0f + static_cast<float>(y) : -4.5f);
        }
        BandBlock block(w, h, 4, WaveletKind::Directional);
        WaveletDecompose(PackedPlane(p.data(), w, h), block.table(), 4, WaveletKind::Directional,
                         0);
        const int32_t detail = alongX ? 1 : 2;
        Plane source = p;
        for (int32_t j = 0; j < 4; ++j) {
            SCOPED_TRACE(testing::Message() << "along x " << alongX << " level " << j);
            const Plane smooth = ReferenceSmooth(source, w, h, int64_t{1} << j, alongX);
            EXPECT_TRUE(SameBits(CopyBand(block.band(j, 0), w, h), smooth));
            EXPECT_TRUE(SameBits(CopyBand(block.band(j, detail), w, h), Minus(source, smooth)));
            EXPECT_TRUE(SameBits(CopyBand(block.band(j, 3 - detail), w, h), Plane(p.size(), 0.0f)));
            EXPECT_TRUE(SameBits(CopyBand(block.band(j, 3), w, h), Plane(p.size(), 0.0f)));
            source = smooth;
        }
    }
}

TEST(DecomposeLevelDirectional, CheckerboardIsAllXYDetail) {
    const int32_t w = 12, h = 9;
    Plane p(w * h);
    for (int32_t i = 0; i < w * h; ++i) {
        p[i] = (i % w + i / w) % 2 == 0 ? 1.0f : 0.0f;
    }
    const auto b = DecomposeOneLevel(WaveletKind::Directional, p, w, h, 0);
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
    const int32_t w = 14, h = 10;
    for (auto [column, line] :
         {std::pair{true, 0}, {true, 6}, {true, 13}, {false, 0}, {false, 4}, {false, 9}}) {
        Plane p(w * h, 0.0f);
        for (int32_t i = 0; i < w * h; ++i) {
            if ((column ? i % w : i / w) == line) {
                p[i] = static_cast<float>((column ? i / w : i % w) + 1);
            }
        }
        const auto b = DecomposeOneLevel(WaveletKind::Directional, p, w, h, 0);
        for (int band = 0; band < 4; ++band) {
            for (int32_t i = 0; i < w * h; ++i) {
                if (std::abs((column ? i % w : i / w) - line) > 1) {
                    ASSERT_EQ(b[band][i], 0.0f) << column << " " << line << " " << band << " " << i;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vel::test
