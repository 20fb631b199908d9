#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <tuple>

#include "wavelet/BandBlock.h"

namespace vel {
namespace {

TEST(BandBlock, TableEntriesAreConsecutivePlanesOfOneBlock) {
    for (WaveletKind kind : {WaveletKind::Isotropic, WaveletKind::Directional}) {
        const BandBlock block(7, 5, 4, kind);
        const int32_t s = BandsPerLevel(kind);
        EXPECT_EQ(block.bandsPerLevel(), s);
        EXPECT_EQ(block.levels(), 4);
        EXPECT_EQ(block.planeSize(), 35u);
        for (int32_t j = 0; j < 4; ++j) {
            for (int32_t b = 0; b < s; ++b) {
                const int32_t e = j * s + b;
                EXPECT_EQ(block.table()[e], block.table()[0] + e * 35);
                EXPECT_EQ(block.band(j, b), block.table()[e]);
            }
        }
        // Every sample of the last plane is writable (ASan checks the extent).
        std::fill_n(block.band(3, s - 1), 35, 1.0f);
    }
}

TEST(BandBlock, NothingToHoldGivesAnEmptyBlock) {
    for (auto [w, h, levels] : {std::tuple{0, 5, 4}, std::tuple{5, -1, 4}, std::tuple{5, 5, 0}}) {
        const BandBlock block(w, h, levels, WaveletKind::Directional);
        EXPECT_EQ(block.levels(), 0);
        EXPECT_EQ(block.planeSize(), 0u);
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

}  // namespace
}  // namespace vel
