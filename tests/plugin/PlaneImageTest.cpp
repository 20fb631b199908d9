// PlaneImage, its colour conversion, the display bitmap and the host image import/export.

#include "plugin/PlaneImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include "plugin/HostImage.h"
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

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// No storage, and the size as last requested.
void ExpectEmpty(const PlaneImage& image, int32_t width, int32_t height) {
    EXPECT_EQ(image.Width(), width);
    EXPECT_EQ(image.Height(), height);
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

TEST(PlaneImage, ZeroSideAssigningAnEmptyImageAndReleaseLeaveNoStorage) {
    PlaneImage zero(0, 5);
    ExpectEmpty(zero, 0, 5);  // the size as last requested
    PlaneImage target(3, 3);
    Fill(target, 2.0f);
    target = zero;
    ExpectEmpty(target, 0, 5);
    const PlaneImage fresh;
    PlaneImage other(2, 2);
    other = fresh;  // a copy of a never-sized image
    ExpectEmpty(other, 0, 0);

    PlaneImage image(6, 2);
    image.Release();
    ExpectEmpty(image, 0, 0);
    image.Release();  // releasing an empty image is harmless
    image.Resize(1, 1);
    EXPECT_FALSE(image.Empty());
}

TEST(PlaneImage, CopyMoveAndSelfAssignment) {
    PlaneImage source(3, 2);
    Fill(source, 3.0f);
    PlaneImage copy(1, 1);
    copy = source;
    EXPECT_TRUE(SameBits(copy, source));
    EXPECT_NE(copy.Plane(0), source.Plane(0));
    const PlaneImage& alias = source;
    source = alias;
    EXPECT_TRUE(SameBits(copy, source));

    // A move takes the storage and leaves the source freshly empty.
    const float* storage = source.Plane(1);
    PlaneImage moved(std::move(source));
    EXPECT_EQ(moved.Plane(1), storage);
    EXPECT_EQ(moved.Rows(1)[1], storage + 3);
    ExpectEmpty(source, 0, 0);  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    PlaneImage target(9, 9);
    target = std::move(moved);
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.Plane(1), storage);
    ExpectEmpty(moved, 0, 0);
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
    ExpectEmpty(empty, 0, 2);
}

// Refused sizes and a failed allocation of either block leave a freshly empty image.
TEST(PlaneImage, RefusedSizesAndFailedAllocationsLeaveAFreshEmptyImage) {
    const int32_t big = std::numeric_limits<int32_t>::max();
    for (auto [w, h] : {std::pair{-1, 4}, {4, -1}, {big, big}}) {
        PlaneImage image(2, 2);
        EXPECT_THROW(image.Resize(w, h), std::bad_alloc);
        ExpectEmpty(image, 0, 0);
        // A refused size must not be taken for the current one.
        EXPECT_THROW(image.Resize(w, h), std::bad_alloc);
    }
    // 1 x 1000: the planes need 12000 bytes, the row tables 24000.
    for (std::size_t limit : {std::size_t{10000}, std::size_t{20000}}) {
        PlaneImage image(3, 3);
        {
            test::FailLargeAllocations fail(limit);
            EXPECT_THROW(image.Resize(1, 1000), std::bad_alloc);
            EXPECT_GE(fail.Refused(), 1u);
        }
        ExpectEmpty(image, 0, 0);
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

// Red, blue and grey to Y, U, V and back, with the tolerance of each row.
TEST(ColourConversion, PrimariesAndGreyConvertAndComeBack) {
    struct Case {
        float rgb[3], yuv[3], back[3], yuvTolerance, backTolerance;
    };
    const Case cases[] = {
        {{255, 0, 0}, {76.245f, -37.485f, 156.825f}, {255.0255f, -0.0637f, 0.0755f}, 1e-4f, 1e-3f},
        {{0, 0, 255}, {29.07f, 111.18f, -25.5f}, {0.0f, -0.0306f, 254.9878f}, 1e-4f, 1e-3f},
        {{128, 128, 128}, {128, 0, 0}, {128, 128, 128}, 1e-5f, 1e-5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rgb[0] << "," << c.rgb[1] << "," << c.rgb[2]);
        PlaneImage image = Pixel(c.rgb[0], c.rgb[1], c.rgb[2]);
        image.RgbToYuv();
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(image.Plane(k)[0], c.yuv[k], c.yuvTolerance) << k;
        }
        image.YuvToRgb();
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(image.Plane(k)[0], c.back[k], c.backTolerance) << k;
        }
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

// --- host image ---

TEST(HostImage, ImportScalesBy255WithoutClampingInPixelOrder) {
    const std::vector<float> pixels = {0.0f, 0.5f, 1.0f, 2.0f, -1.0f, 0.25f,  // first row
                                       0.1f, 0.2f, 0.3f, kInf, kNaN,  -kInf};
    PlaneImage image;
    ImportHostImage(pixels.data(), 2, 2, image);
    ASSERT_EQ(image.Width(), 2);
    ASSERT_EQ(image.Height(), 2);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const float v = image.Rows(static_cast<int>(i % 3))[i / 6][i / 3 % 2];
        if (std::isnan(pixels[i])) {
            EXPECT_TRUE(std::isnan(v)) << i;
        } else {
            EXPECT_EQ(v, pixels[i] * 255.0f) << i;
        }
    }
    EXPECT_EQ(image.Plane(1)[0], 127.5f);
    EXPECT_EQ(image.Plane(0)[1], 510.0f);
}

// 0 and 1 come back exactly, NaN passes, everything else is clamped to 0..1 (infinities too).
TEST(HostImage, RoundTripKeepsZeroAndOneExactlyAndClampsTheRest) {
    const std::vector<float> in = {0.0f, 1.0f, 0.5f,  1.5f,  -0.5f, 1.0000001f,
                                   kNaN, kInf, -kInf, -0.0f, 1e30f, -1e30f};
    const float expected[] = {0, 1, 0.5f, 1, 0, 1, kNaN, 1, 0, 0, 1, 0};
    PlaneImage image;
    ImportHostImage(in.data(), 2, 2, image);
    std::vector<float> out(in.size(), 42.0f);
    ExportHostImage(image, out.data());
    for (size_t i = 0; i < in.size(); ++i) {
        if (std::isnan(expected[i])) {
            EXPECT_TRUE(std::isnan(out[i])) << i;
        } else if (i == 2) {
            EXPECT_NEAR(out[i], expected[i], 1e-7f);
        } else {
            EXPECT_EQ(out[i], expected[i]) << i;
        }
    }
}

TEST(HostImage, ExportMultipliesByTheFloatReciprocal) {
    // 0.003921569f is not 1/255: dividing would give other bits for some values.
    PlaneImage image = Pixel(100.0f, 254.0f, 3.0f);
    float out[3];
    ExportHostImage(image, out);
    EXPECT_EQ(out[0], 100.0f * 0.003921569f);
    EXPECT_EQ(out[1], 254.0f * 0.003921569f);
    EXPECT_EQ(out[2], 3.0f * 0.003921569f);
}

TEST(HostImage, ImportOfARefusedSizeLeavesImageEmptyAndEmptyExportsNothing) {
    PlaneImage image(2, 2);
    const float pixel[3] = {0.0f, 0.0f, 0.0f};
    EXPECT_THROW(ImportHostImage(pixel, -1, 1, image), std::bad_alloc);
    EXPECT_TRUE(image.Empty());
    ImportHostImage(pixel, 1, 1, image);
    EXPECT_EQ(image.Plane(2)[0], 0.0f);
    PlaneImage empty;
    float untouched[3] = {7.0f, 7.0f, 7.0f};
    ExportHostImage(empty, untouched);
    EXPECT_EQ(untouched[0], 7.0f);
}

}  // namespace
}  // namespace vel
