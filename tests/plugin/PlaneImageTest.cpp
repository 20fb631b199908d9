// The working image: its planes, colour conversion and the host image import/export.

#include "plugin/PlaneImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include "plugin/HostImage.h"
#include "tests/support/FailingAllocator.h"

namespace vel {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void Fill(PlaneImage& image, float seed) {
    for (int k = 0; k < 3; ++k) {
        for (std::size_t i = 0; i < image.PlaneSize(); ++i) {
            image.Plane(k)[i] = seed + static_cast<float>(k) * 1000.0f + static_cast<float>(i);
        }
    }
}

// No storage, and the size as last requested.
void ExpectEmpty(const PlaneImage& image, int32_t width, int32_t height) {
    EXPECT_TRUE(image.Width() == width && image.Height() == height && image.Empty() &&
                image.PlaneSize() == 0u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(image.Plane(k) == nullptr && image.Rows(k) == nullptr);
    }
}

// Row tables point into disjoint planes; the same size keeps the contents, another shape of
// the same element count gets new tables.
TEST(PlaneImage, RowTablesResizeAndRelease) {
    for (auto [w, h] : {std::pair{1, 7}, {7, 1}, {64, 33}}) {
        PlaneImage image(w, h);
        Fill(image, 0.5f);
        const float last = static_cast<float>(image.PlaneSize() - 1);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(image.Rows(k)[h - 1],
                      image.Plane(k) + static_cast<std::ptrdiff_t>(h - 1) * w);
            EXPECT_EQ(image.Plane(k)[image.PlaneSize() - 1],
                      0.5f + static_cast<float>(k) * 1000.0f + last);
        }
    }
    PlaneImage image(4, 3);
    Fill(image, 1.0f);
    const float* before = image.Plane(0);
    image.Resize(4, 3);
    EXPECT_EQ(image.Plane(0), before);
    EXPECT_EQ(image.Plane(2)[11], 1.0f + 2000.0f + 11.0f);
    image.Resize(3, 4);
    EXPECT_EQ(image.Rows(1)[3], image.Plane(1) + 9);
    ExpectEmpty(PlaneImage(0, 5), 0, 5);  // a zero side: the size as requested
    image.Release();
    ExpectEmpty(image, 0, 0);
    image.Release();
}

// Refused sizes and a failed allocation of any block leave a freshly empty image.
TEST(PlaneImage, RefusedSizesAndFailedAllocationsLeaveAFreshEmptyImage) {
    const int32_t big = std::numeric_limits<int32_t>::max();
    for (auto [w, h] : {std::pair{-1, 4}, {4, -1}, {big, big}}) {
        PlaneImage image(2, 2);
        EXPECT_THROW(image.Resize(w, h), std::bad_alloc);
        ExpectEmpty(image, 0, 0);
        EXPECT_THROW(image.Resize(w, h), std::bad_alloc);  // not taken for the current size
    }
    // Any block failing (the three planes are requested first, then the row tables) leaves
    // the image empty, and the same request succeeds once memory is back.
    for (long n : {1L, 2L, 3L, 4L}) {
        PlaneImage image(3, 3);
        test::FailAllocationNumber(n);
        EXPECT_THROW(image.Resize(1, 1000), std::bad_alloc);
        EXPECT_EQ(test::FailAllocationNumber(-1), n);
        ExpectEmpty(image, 0, 0);
        image.Resize(1, 1000);
        EXPECT_FALSE(image.Empty());
    }
    test::FailLargeAllocations fail(1);
    EXPECT_THROW(PlaneImage(2, 2), std::bad_alloc);
}

// Every result is the float rounding of the double expression in the written grouping, with
// nothing clamped (NaN, infinities and huge values included). Single-precision arithmetic or
// another grouping gives other bits for many inputs, which the count checks.
TEST(ColourConversion, ResultsAreDoubleExpressionsRoundedOnce) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-20.0f, 300.0f);
    const float special[] = {kNaN, kInf, -kInf, 1e30f, -50.0f, 1000.0f, 255.0f, 0.0f};
    PlaneImage image(67, 61), rgb, yuv;
    for (int i = 0; i < 67 * 61 * 3; ++i) {
        image.Plane(i % 3)[i / 3] = i < 60 ? special[i % 8] : dist(rng);
    }
    rgb = image;
    image.RgbToYuv();
    yuv = image;
    image.YuvToRgb();
    auto d = [](float v) { return static_cast<double>(v); };
    auto same = [](float a, double b) {
        return (std::isnan(a) && std::isnan(b)) || a == static_cast<float>(b);
    };
    int floatDiffers = 0;
    for (int i = 0; i < 67 * 61; ++i) {
        const float r = rgb.Plane(0)[i], g = rgb.Plane(1)[i], b = rgb.Plane(2)[i];
        const float y =
            static_cast<float>((d(0.114f) * d(b) + d(0.587f) * d(g)) + d(0.299f) * d(r));
        const float u =
            static_cast<float>(d(0.436f) * d(b) - (d(0.289f) * d(g) + d(0.147f) * d(r)));
        const float v =
            static_cast<float>((d(0.615f) * d(r) - d(0.515f) * d(g)) - d(0.100f) * d(b));
        ASSERT_TRUE(same(yuv.Plane(0)[i], y) && same(yuv.Plane(1)[i], u) &&
                    same(yuv.Plane(2)[i], v))
            << i;
        floatDiffers += i >= 20 && (0.114f * b + 0.587f * g) + 0.299f * r != y;
        ASSERT_TRUE(same(image.Plane(0)[i], d(1.14f) * d(v) + d(y)) &&
                    same(image.Plane(1)[i], (d(y) - d(0.395f) * d(u)) - d(0.581f) * d(v)) &&
                    same(image.Plane(2)[i], d(2.032f) * d(u) + d(y)))
            << i;
    }
    EXPECT_GT(floatDiffers, 0);
}

// Import scales by 255 without clamping, in pixel order. Export multiplies by the float
// 0.003921569f, which is not 1/255 (dividing gives other bits for some values, 102 here), and
// clamps to 0..1 (infinities too); NaN passes.
TEST(HostImage, ImportScalesAndExportMultipliesByTheFloatReciprocalAndClamps) {
    const std::vector<float> in = {0.0f, 1.0f, 0.5f,  1.5f, -0.5f, 1.0000001f,  // first row
                                   kNaN, kInf, -kInf, 0.4f, 1e30f, -1e30f};
    const float expected[] = {0, 1, 127.5f * 0.003921569f, 1, 0, 1, kNaN,
                              1, 0, 102.0f * 0.003921569f, 1, 0};
    PlaneImage image;
    ImportHostImage(in.data(), 2, 2, image);
    ASSERT_TRUE(image.Width() == 2 && image.Height() == 2);
    std::vector<float> out(in.size(), 42.0f);
    ExportHostImage(image, out.data());
    for (size_t i = 0; i < in.size(); ++i) {
        const float v = image.Rows(static_cast<int>(i % 3))[i / 6][i / 3 % 2];
        EXPECT_TRUE(std::isnan(in[i]) ? std::isnan(v) : v == in[i] * 255.0f) << i;
        EXPECT_TRUE(std::isnan(expected[i]) ? std::isnan(out[i]) : out[i] == expected[i]) << i;
    }
    EXPECT_THROW(ImportHostImage(in.data(), -1, 1, image), std::bad_alloc);
    EXPECT_TRUE(image.Empty());
    float untouched[3] = {7.0f, 7.0f, 7.0f};
    ExportHostImage(image, untouched);  // an empty image exports nothing
    EXPECT_EQ(untouched[0], 7.0f);
}

// A picture big enough for the passes to split across threads (1031 rows, not a multiple of the
// pieces) gives each row what the same row gives alone, where one thread does it.
TEST(HostImage, BigPicturesSplitAcrossThreadsGiveEachRowsBits) {
    constexpr int32_t kWidth = 1024, kHeight = 1031;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-0.2f, 1.2f);
    std::vector<float> host(3 * static_cast<size_t>(kWidth) * kHeight);
    for (float& v : host) {
        v = value(random);
    }
    PlaneImage image, row;
    ImportHostImage(host.data(), kWidth, kHeight, image);
    image.RgbToYuv();
    std::vector<float> out(host.size(), 42.0f), rowOut(3 * kWidth);
    const size_t rowFloats = 3 * static_cast<size_t>(kWidth);
    for (int32_t y = 0; y < kHeight; ++y) {
        ImportHostImage(host.data() + y * rowFloats, kWidth, 1, row);
        row.RgbToYuv();
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(std::memcmp(image.Rows(k)[y], row.Plane(k), kWidth * sizeof(float)), 0) << y;
        }
    }
    image.YuvToRgb();
    ExportHostImage(image, out.data());
    for (int32_t y = 0; y < kHeight; ++y) {
        ImportHostImage(host.data() + y * rowFloats, kWidth, 1, row);
        row.RgbToYuv();
        row.YuvToRgb();
        ExportHostImage(row, rowOut.data());
        ASSERT_EQ(std::memcmp(out.data() + y * rowFloats, rowOut.data(), rowFloats * sizeof(float)),
                  0)
            << y;
    }
}

}  // namespace
}  // namespace vel
