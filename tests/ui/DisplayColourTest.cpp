// The preview's display colour transform, with profiles that the colour library itself makes
// and saves here. No window is involved: the same file runs on Linux and under Wine.

#include <lcms2.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/PlaneImage.h"
#include "tests/settings/TestFiles.h"
#include "ui/DisplayColour.h"

namespace vel::ui {
namespace {

using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;
using Curve = std::unique_ptr<cmsToneCurve, decltype(&cmsFreeToneCurve)>;

class DisplayColourTest : public test::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const Curve gamma(cmsBuildGamma(nullptr, 1.8), &cmsFreeToneCurve);
        cmsToneCurve* curves[3] = {gamma.get(), gamma.get(), gamma.get()};
        // Primaries far outside sRGB's and another gamma: every colour moves.
        const cmsCIExyYTRIPLE wide = {
            {0.7347, 0.2653, 1.0}, {0.1152, 0.8264, 1.0}, {0.1566, 0.0177, 1.0}};
        Save(cmsCreate_sRGBProfile(), "srgb.icc");
        Save(cmsCreateRGBProfile(cmsD50_xyY(), &wide, curves), "wide.icc");
        Save(cmsCreateGrayProfile(cmsD50_xyY(), gamma.get()), "grey.icc");
        test::WriteAll(File("garbage.icc"), std::string(600, '\x7f'));
        // Width 5: 15 bytes of pixels and one of padding per row.
        bitmap_.Resize(5, 3);
        for (int32_t i = 0; i < bitmap_.Stride() * bitmap_.Height(); ++i) {
            bitmap_.Storage()[i] =
                i % bitmap_.Stride() < 15 ? static_cast<uint8_t>(i * 67 + 13) : 0xA5;
        }
    }
    void Save(cmsHPROFILE made, const char* name) {
        const Profile profile(made, &cmsCloseProfile);
        ASSERT_TRUE(profile && cmsSaveProfileToFile(made, Path(name).c_str()));
    }
    std::string Path(const char* name) const { return File(name).string(); }
    void Set(const char* input, const char* display) {
        transform_.SetProfiles(Path(input).c_str(), Path(display).c_str(),
                               [this](const std::string& text) { messages_.push_back(text); });
    }
    std::vector<uint8_t> Bytes() const {
        return {bitmap_.Storage(), bitmap_.Storage() + bitmap_.Stride() * bitmap_.Height()};
    }
    // What the library's own transform between the two files makes of the bitmap as it is.
    std::vector<uint8_t> Expected(const char* input, const char* display) const {
        const Profile in(cmsOpenProfileFromFile(Path(input).c_str(), "r"), &cmsCloseProfile);
        const Profile out(cmsOpenProfileFromFile(Path(display).c_str(), "r"), &cmsCloseProfile);
        const std::unique_ptr<void, decltype(&cmsDeleteTransform)> direct(
            cmsCreateTransform(in.get(), TYPE_BGR_8, out.get(), TYPE_BGR_8,
                               INTENT_RELATIVE_COLORIMETRIC, 0),
            &cmsDeleteTransform);
        std::vector<uint8_t> bytes = Bytes();
        for (int32_t y = 0; y < bitmap_.Height(); ++y) {
            uint8_t* row = bytes.data() + y * bitmap_.Stride();
            cmsDoTransform(direct.get(), row, row, static_cast<cmsUInt32Number>(bitmap_.Width()));
        }
        return bytes;
    }

    DisplayBitmap bitmap_;
    DisplayColourTransform transform_;
    std::vector<std::string> messages_;
};

TEST_F(DisplayColourTest, ConvertsAsTheLibraryDoesAndLeavesThePadding) {
    const std::vector<uint8_t> before = Bytes();
    const char* pairs[][2] = {{"srgb.icc", "srgb.icc"},
                              {"wide.icc", "wide.icc"},
                              {"srgb.icc", "wide.icc"},
                              {"wide.icc", "srgb.icc"}};
    // One object for every pair: each SetProfiles closes the set before it (LeakSanitizer).
    for (const auto& [input, display] : pairs) {
        std::copy(before.begin(), before.end(), bitmap_.Storage());
        Set(input, display);
        const std::vector<uint8_t> expected = Expected(input, display);
        transform_.Apply(bitmap_);
        EXPECT_EQ(Bytes(), expected) << input << " to " << display;  // padding bytes included
        if (std::string(input) != display) {
            EXPECT_NE(Bytes(), before) << input << " to " << display;
            continue;
        }
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_NEAR(bitmap_.Storage()[i], before[i], 1) << input << " byte " << i;
        }
    }
    transform_.Close();
    EXPECT_FALSE(transform_.HasTransform() || transform_.HasInputProfile() ||
                 transform_.HasDisplayProfile());
    EXPECT_TRUE(messages_.empty());
}

// The messages reach the dialog's sink, never the handler a host may have installed.
int hostMessages = 0;

TEST_F(DisplayColourTest, UnusableProfilesLeaveThePreviewUnconverted) {
    cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char*) { ++hostMessages; });
    const struct {
        const char* input;
        const char* display;
        bool inputOpens, displayOpens;
    } rows[] = {
        {"missing.icc", "srgb.icc", false, true}, {"srgb.icc", "missing.icc", true, false},
        {"garbage.icc", "srgb.icc", false, true}, {"srgb.icc", "garbage.icc", true, false},
        {"grey.icc", "srgb.icc", true, true},     {"srgb.icc", "grey.icc", true, true},
    };
    const std::vector<uint8_t> before = Bytes();
    for (const auto& row : rows) {
        messages_.clear();
        Set(row.input, row.display);
        EXPECT_FALSE(transform_.HasTransform()) << row.input << " " << row.display;
        EXPECT_EQ(transform_.HasInputProfile(), row.inputOpens) << row.input;
        EXPECT_EQ(transform_.HasDisplayProfile(), row.displayOpens) << row.display;
        EXPECT_FALSE(messages_.empty()) << row.input << " " << row.display;
        transform_.Apply(bitmap_);
        EXPECT_EQ(Bytes(), before);
    }
    EXPECT_EQ(hostMessages, 0);
    EXPECT_EQ(cmsOpenProfileFromFile(Path("missing.icc").c_str(), "r"), nullptr);
    EXPECT_EQ(hostMessages, 1);
    cmsSetLogErrorHandler(nullptr);
}

}  // namespace
}  // namespace vel::ui
