#include "plugin/PlaneImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <random>

#include "tests/support/FailingAllocator.h"

namespace vel {
namespace {

void Fill(PlaneImage& image, float seed) {
    for (int k = 0; k < 3; ++k) {
        for (std::size_t i = 0; i < image.PlaneSize(); ++i) {
            image.Plane(k)[i] = seed + static_cast<float>(k) * 1000.0f + static_cast<float>(i);
        }
    }
}

bool SameBits(const PlaneImage& a, const PlaneImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    for (int k = 0; k < 3; ++k) {
        if (std::memcmp(a.Plane(k), b.Plane(k), a.PlaneSize() * sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

void ExpectEmpty(const PlaneImage& image) {
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.PlaneSize(), 0u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(image.Plane(k), nullptr);
        EXPECT_EQ(image.Rows(k), nullptr);
    }
}

TEST(PlaneImage, RowTablesPointIntoDisjointPlanes) {
    for (auto [w, h] : {std::pair{1, 1}, {1, 7}, {7, 1}, {5, 3}, {64, 33}}) {
        PlaneImage image(w, h);
        ASSERT_FALSE(image.Empty());
        ASSERT_EQ(image.Width(), w);
        ASSERT_EQ(image.Height(), h);
        for (int k = 0; k < 3; ++k) {
            for (int y = 0; y < h; ++y) {
                EXPECT_EQ(image.Rows(k)[y], image.Plane(k) + static_cast<std::ptrdiff_t>(y) * w);
            }
        }
        // Planes must not overlap: writing each one leaves the others intact.
        Fill(image, 0.5f);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(
                image.Plane(k)[image.PlaneSize() - 1],
                0.5f + static_cast<float>(k) * 1000.0f + static_cast<float>(image.PlaneSize() - 1));
        }
    }
}

TEST(PlaneImage, ResizeToSameSizeKeepsContentsOtherSizeGivesFreshTables) {
    PlaneImage image(4, 3);
    Fill(image, 1.0f);
    const float* before = image.Plane(0);
    image.Resize(4, 3);
    EXPECT_EQ(image.Plane(0), before);
    EXPECT_EQ(image.Plane(2)[11], 1.0f + 2000.0f + 11.0f);

    image.Resize(3, 4);  // same element count, other shape: tables must follow the new width
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.Height(), 4);
    EXPECT_EQ(image.Rows(1)[3], image.Plane(1) + 9);
}

TEST(PlaneImage, ZeroSideHasNoStorageAndEmptiesTargetOnAssignment) {
    PlaneImage zero(0, 5);
    ExpectEmpty(zero);
    EXPECT_EQ(zero.Width(), 0);
    EXPECT_EQ(zero.Height(), 5);  // the size as last requested

    PlaneImage target(3, 3);
    Fill(target, 2.0f);
    target = zero;
    ExpectEmpty(target);
    EXPECT_EQ(target.Width(), 0);
    EXPECT_EQ(target.Height(), 5);

    PlaneImage fresh;
    PlaneImage other(2, 2);
    other = fresh;
    ExpectEmpty(other);
    EXPECT_EQ(other.Width(), 0);
    EXPECT_EQ(other.Height(), 0);
}

TEST(PlaneImage, ReleaseResetsSize) {
    PlaneImage image(6, 2);
    image.Release();
    ExpectEmpty(image);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    image.Release();  // releasing an empty image is harmless
    image.Resize(1, 1);
    EXPECT_FALSE(image.Empty());
}

TEST(PlaneImage, AssignmentCopiesAndSelfAssignmentKeeps) {
    PlaneImage source(5, 4);
    Fill(source, 3.0f);
    PlaneImage copy(1, 1);
    copy = source;
    EXPECT_TRUE(SameBits(copy, source));
    EXPECT_NE(copy.Plane(0), source.Plane(0));

    const PlaneImage& alias = source;
    source = alias;
    EXPECT_TRUE(SameBits(copy, source));
}

TEST(PlaneImage, MoveTakesStorageAndLeavesSourceFreshlyEmpty) {
    PlaneImage source(3, 2);
    Fill(source, 4.0f);
    const float* storage = source.Plane(1);
    PlaneImage moved(std::move(source));
    EXPECT_EQ(moved.Plane(1), storage);
    EXPECT_EQ(moved.Rows(1)[1], storage + 3);
    ExpectEmpty(source);  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_EQ(source.Width(), 0);
    PlaneImage target(9, 9);
    target = std::move(moved);
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.Plane(1), storage);
    ExpectEmpty(moved);
}

TEST(PlaneImage, CopyRegionWholeIsExactAndPartPicksTheRightElements) {
    PlaneImage source(7, 5);
    Fill(source, 0.25f);
    PlaneImage whole;
    whole.CopyRegion(source, 0, 0, 7, 5);
    EXPECT_TRUE(SameBits(whole, source));

    PlaneImage part;
    part.CopyRegion(source, 2, 1, 3, 4);
    ASSERT_EQ(part.Width(), 3);
    ASSERT_EQ(part.Height(), 4);
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < 4; ++j) {
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(part.Rows(k)[j][i], source.Rows(k)[1 + j][2 + i]);
            }
        }
    }

    PlaneImage self;
    self = source;
    self.CopyRegion(self, 4, 2, 3, 3);  // a crop of itself
    ASSERT_EQ(self.Width(), 3);
    EXPECT_EQ(self.Rows(2)[2][2], source.Rows(2)[4][6]);
    EXPECT_EQ(self.Rows(0)[0][0], source.Rows(0)[2][4]);

    PlaneImage empty;
    empty.CopyRegion(source, 3, 3, 0, 2);
    ExpectEmpty(empty);
}

TEST(PlaneImage, RefusedSizesLeaveAFreshEmptyImage) {
    const int32_t big = std::numeric_limits<int32_t>::max();
    for (auto [w, h] : {std::pair{-1, 4}, {4, -1}, {big, big}}) {
        PlaneImage image(2, 2);
        EXPECT_THROW(image.Resize(w, h), std::bad_alloc);
        ExpectEmpty(image);
        EXPECT_EQ(image.Width(), 0);
        EXPECT_EQ(image.Height(), 0);
        // A refused size must not be taken for the current one.
        EXPECT_THROW(image.Resize(w, h), std::bad_alloc);
    }
}

TEST(PlaneImage, AllocationFailureOfEitherBlockLeavesImageEmpty) {
    // 1 x 1000: the planes need 12000 bytes, the row tables 24000.
    for (std::size_t limit : {std::size_t{10000}, std::size_t{20000}}) {
        PlaneImage image(3, 3);
        {
            test::FailLargeAllocations fail(limit);
            EXPECT_THROW(image.Resize(1, 1000), std::bad_alloc);
            EXPECT_GE(fail.Refused(), 1u);
        }
        ExpectEmpty(image);
        EXPECT_EQ(image.Width(), 0);
        EXPECT_EQ(image.Height(), 0);
        image.Resize(1, 1000);  // memory back: the same request succeeds
        EXPECT_FALSE(image.Empty());
    }
    test::FailLargeAllocations fail(1);
    EXPECT_THROW(PlaneImage(2, 2), std::bad_alloc);
}

// --- colour conversion ---

PlaneImage Pixel(float a, float b, float c) {
    PlaneImage image(1, 1);
    image.Plane(0)[0] = a;
    image.Plane(1)[0] = b;
    image.Plane(2)[0] = c;
    return image;
}

TEST(ColourConversion, PrimariesConvertAndComeBack) {
    PlaneImage red = Pixel(255.0f, 0.0f, 0.0f);
    red.RgbToYuv();
    EXPECT_NEAR(red.Plane(0)[0], 76.245f, 1e-4f);
    EXPECT_NEAR(red.Plane(1)[0], -37.485f, 1e-4f);
    EXPECT_NEAR(red.Plane(2)[0], 156.825f, 1e-4f);
    red.YuvToRgb();
    EXPECT_NEAR(red.Plane(0)[0], 255.0255f, 1e-3f);
    EXPECT_NEAR(red.Plane(1)[0], -0.0637f, 1e-3f);
    EXPECT_NEAR(red.Plane(2)[0], 0.0755f, 1e-3f);

    PlaneImage blue = Pixel(0.0f, 0.0f, 255.0f);
    blue.RgbToYuv();
    EXPECT_NEAR(blue.Plane(0)[0], 29.07f, 1e-4f);
    EXPECT_NEAR(blue.Plane(1)[0], 111.18f, 1e-4f);
    EXPECT_NEAR(blue.Plane(2)[0], -25.5f, 1e-4f);
    blue.YuvToRgb();
    EXPECT_NEAR(blue.Plane(0)[0], 0.0f, 1e-3f);
    EXPECT_NEAR(blue.Plane(1)[0], -0.0306f, 1e-3f);
    EXPECT_NEAR(blue.Plane(2)[0], 254.9878f, 1e-3f);
}

TEST(ColourConversion, GreyRoundTrip) {
    PlaneImage grey = Pixel(128.0f, 128.0f, 128.0f);
    grey.RgbToYuv();
    EXPECT_NEAR(grey.Plane(0)[0], 128.0f, 1e-5f);
    EXPECT_NEAR(grey.Plane(1)[0], 0.0f, 1e-5f);
    EXPECT_NEAR(grey.Plane(2)[0], 0.0f, 1e-5f);
    grey.YuvToRgb();
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(grey.Plane(k)[0], 128.0f, 1e-5f);
    }
}

TEST(ColourConversion, NothingIsClampedAndNanStaysInItsElement) {
    PlaneImage image(2, 1);
    image.Plane(0)[0] = -50.0f;
    image.Plane(1)[0] = 400.0f;
    image.Plane(2)[0] = 1000.0f;
    image.Plane(0)[1] = std::numeric_limits<float>::quiet_NaN();
    image.Plane(1)[1] = 10.0f;
    image.Plane(2)[1] = 10.0f;
    image.RgbToYuv();
    EXPECT_GT(image.Plane(0)[0], 255.0f);
    EXPECT_TRUE(std::isnan(image.Plane(0)[1]));
    image.YuvToRgb();
    EXPECT_NEAR(image.Plane(0)[0], -50.0f, 1.0f);
    EXPECT_NEAR(image.Plane(2)[0], 1000.0f, 1.0f);
    EXPECT_TRUE(std::isnan(image.Plane(1)[1]));
}

// Every result is the float rounding of the double expression in the written grouping.
// Single-precision arithmetic or another grouping gives other bits for many inputs, which
// the second half checks so that this test can tell them apart.
TEST(ColourConversion, ResultsAreDoubleExpressionsRoundedOnce) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-20.0f, 300.0f);
    const int n = 4096;
    PlaneImage image(n, 1);
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < n; ++i) {
            image.Plane(k)[i] = dist(rng);
        }
    }
    PlaneImage rgb;
    rgb = image;
    image.RgbToYuv();
    PlaneImage yuv;
    yuv = image;
    image.YuvToRgb();
    auto d = [](float v) { return static_cast<double>(v); };
    int floatDiffers = 0;
    for (int i = 0; i < n; ++i) {
        const float r = rgb.Plane(0)[i], g = rgb.Plane(1)[i], b = rgb.Plane(2)[i];
        const float y =
            static_cast<float>((d(0.114f) * d(b) + d(0.587f) * d(g)) + d(0.299f) * d(r));
        const float u =
            static_cast<float>(d(0.436f) * d(b) - (d(0.289f) * d(g) + d(0.147f) * d(r)));
        const float v =
            static_cast<float>((d(0.615f) * d(r) - d(0.515f) * d(g)) - d(0.100f) * d(b));
        ASSERT_EQ(yuv.Plane(0)[i], y) << i;
        ASSERT_EQ(yuv.Plane(1)[i], u) << i;
        ASSERT_EQ(yuv.Plane(2)[i], v) << i;
        const float yf = (0.114f * b + 0.587f * g) + 0.299f * r;
        floatDiffers += yf != y;
        ASSERT_EQ(image.Plane(0)[i], static_cast<float>(d(1.14f) * d(v) + d(y)));
        ASSERT_EQ(image.Plane(1)[i],
                  static_cast<float>((d(y) - d(0.395f) * d(u)) - d(0.581f) * d(v)));
        ASSERT_EQ(image.Plane(2)[i], static_cast<float>(d(2.032f) * d(u) + d(y)));
    }
    EXPECT_GT(floatDiffers, 0);
}

// --- DisplayBitmap ---

TEST(DisplayBitmap, StrideIsThreeBytesPerPixelRoundedUpToFour) {
    const std::pair<int, int> cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {8, 24}};
    for (auto [width, stride] : cases) {
        DisplayBitmap bitmap;
        bitmap.Resize(width, 3);
        EXPECT_EQ(bitmap.Stride(), stride) << width;
        EXPECT_EQ(DisplayBitmap::StrideFor(width), stride);
    }
}

TEST(DisplayBitmap, RowsAreStoredBottomUp) {
    DisplayBitmap bitmap;
    bitmap.Resize(5, 4);
    ASSERT_FALSE(bitmap.Empty());
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(bitmap.Rows()[y], bitmap.Storage() + (3 - y) * 16);
    }
    // The last byte of the top picture row is the last byte of the storage's padding row.
    std::memset(bitmap.Storage(), 0, 16 * 4);
    bitmap.Rows()[0][14] = 0xAB;
    EXPECT_EQ(bitmap.Storage()[3 * 16 + 14], 0xAB);
}

TEST(DisplayBitmap, ZeroSideReleaseAndRefusedSizes) {
    DisplayBitmap bitmap;
    bitmap.Resize(0, 7);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Stride(), 0);
    EXPECT_EQ(bitmap.Rows(), nullptr);

    bitmap.Resize(3, 2);
    const uint8_t* storage = bitmap.Storage();
    bitmap.Resize(3, 2);
    EXPECT_EQ(bitmap.Storage(), storage);
    bitmap.Release();
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.Stride(), 0);

    EXPECT_THROW(bitmap.Resize(-3, 2), std::bad_alloc);
    EXPECT_THROW(bitmap.Resize(std::numeric_limits<int32_t>::max(), 2), std::bad_alloc);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Stride(), 0);
}

}  // namespace
}  // namespace vel
