#include "plugin/HostImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace vel {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(HostImage, ImportScalesBy255WithoutClampingInPixelOrder) {
    const std::vector<float> pixels = {0.0f, 0.5f,  1.0f,   // pixel 0
                                       2.0f, -1.0f, 0.25f,  // pixel 1
                                       0.1f, 0.2f,  0.3f,   // pixel 2 (second row)
                                       kInf, kNaN,  -kInf};
    PlaneImage image;
    ImportHostImage(pixels.data(), 2, 2, image);
    ASSERT_EQ(image.Width(), 2);
    ASSERT_EQ(image.Height(), 2);
    EXPECT_EQ(image.Plane(0)[0], 0.0f);
    EXPECT_EQ(image.Plane(1)[0], 127.5f);
    EXPECT_EQ(image.Plane(2)[0], 255.0f);
    EXPECT_EQ(image.Plane(0)[1], 510.0f);
    EXPECT_EQ(image.Plane(1)[1], -255.0f);
    EXPECT_EQ(image.Rows(0)[1][0], 0.1f * 255.0f);
    EXPECT_EQ(image.Rows(2)[1][0], 0.3f * 255.0f);
    EXPECT_EQ(image.Plane(0)[3], kInf);
    EXPECT_TRUE(std::isnan(image.Plane(1)[3]));
    EXPECT_EQ(image.Plane(2)[3], -kInf);
}

TEST(HostImage, RoundTripKeepsZeroAndOneExactlyAndClampsTheRest) {
    const std::vector<float> in = {0.0f, 1.0f, 0.5f,  1.5f,  -0.5f, 1.0000001f,
                                   kNaN, kInf, -kInf, -0.0f, 1e30f, -1e30f};
    PlaneImage image;
    ImportHostImage(in.data(), 2, 2, image);
    std::vector<float> out(in.size(), 42.0f);
    ExportHostImage(image, out.data());
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_NEAR(out[2], 0.5f, 1e-7f);
    EXPECT_EQ(out[3], 1.0f);
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_EQ(out[5], 1.0f);
    EXPECT_TRUE(std::isnan(out[6]));
    EXPECT_EQ(out[7], 1.0f);
    EXPECT_EQ(out[8], 0.0f);
    EXPECT_EQ(out[9], 0.0f);
    EXPECT_EQ(out[10], 1.0f);
    EXPECT_EQ(out[11], 0.0f);
}

TEST(HostImage, ExportMultipliesByTheFloatReciprocal) {
    // 0.003921569f is not 1/255: dividing would give other bits for some values.
    PlaneImage image(1, 1);
    image.Plane(0)[0] = 100.0f;
    image.Plane(1)[0] = 254.0f;
    image.Plane(2)[0] = 3.0f;
    float out[3];
    ExportHostImage(image, out);
    EXPECT_EQ(out[0], 100.0f * 0.003921569f);
    EXPECT_EQ(out[1], 254.0f * 0.003921569f);
    EXPECT_EQ(out[2], 3.0f * 0.003921569f);
}

TEST(HostImage, ImportOfARefusedSizeLeavesImageEmpty) {
    PlaneImage image(2, 2);
    const float pixel[3] = {0.0f, 0.0f, 0.0f};
    EXPECT_THROW(ImportHostImage(pixel, -1, 1, image), std::bad_alloc);
    EXPECT_TRUE(image.Empty());
    ImportHostImage(pixel, 1, 1, image);
    EXPECT_EQ(image.Plane(2)[0], 0.0f);
    // An empty image exports nothing.
    PlaneImage empty;
    float untouched[3] = {7.0f, 7.0f, 7.0f};
    ExportHostImage(empty, untouched);
    EXPECT_EQ(untouched[0], 7.0f);
}

}  // namespace
}  // namespace vel
