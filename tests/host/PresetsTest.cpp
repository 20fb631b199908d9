// Preset files, without running the program.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/Presets.h"

namespace velnr {
namespace {

TEST(Presets, FilesLoadMergeStopAtTheFirstGapAndSaveInTheirLayout) {
    test::ScratchDir dir;
    const std::string file = dir / "mine.pst", head = "[VEL Noise Reduction Preset ";
    test::WriteText(file, head + "0]\r\nLuma Threshold=3\r\n" + head +
                              "1]\r\nPreset Name=Night\r\n" +
                              "Luma Threshold=-1\r\nChroma Suppression=20\r\nHigh Quality=0\r\n" +
                              head + "3]\r\nPreset Name=Lost\r\nLuma Threshold=1\r\n");
    std::vector<vel::Preset> list = vel::BuiltInPresets();
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), list), 2);
    ASSERT_EQ(list.size(), 5u);
    constexpr int32_t kNot = vel::kPresetNotSet;
    EXPECT_EQ(static_cast<uint32_t>(kNot), 0x96C5A7CFu);
    // Values in the parameter table's order; the link switch is never part of a preset.
    for (const auto& [p, name, values] :
         {std::tuple{list[3], "Unnamed",
                     std::vector<int32_t>{3, kNot, kNot, kNot, kNot, kNot, kNot, kNot, kNot}},
          {list[4], "Night", {-1, kNot, kNot, 20, kNot, 0, kNot, kNot, kNot}}}) {
        EXPECT_EQ(p.name, name);
        EXPECT_EQ(std::vector<int32_t>(p.values.begin(), p.values.end()), values);
    }
    // Named presets merge; an unnamed one adds another entry every time.
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), list), 2);
    EXPECT_EQ(vel::LoadUserPresets((dir / "missing.pst").c_str(), list), 0);
    EXPECT_EQ(list.size(), 6u);
    test::WriteText(file, head + "0]\r\nPreset Name=A\r\nLuma Threshold=Error\r\n");
    std::vector<vel::Preset> none;
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), none), 0);

    vel::NoiseReductionParams values;
    values.lumaThreshold = -3;
    values.darkCorrection = 4;
    values.highQuality = false;
    ASSERT_TRUE(vel::SaveUserPreset((dir / "new.pst").c_str(), "Test", values));
    EXPECT_EQ(test::ReadText(dir / "new.pst"),
              head + "0]\r\nPreset Name=Test\r\nLuma Threshold=-3\r\nChroma Threshold=1\r\n" +
                  "Luma Suppression=6\r\nChroma Suppression=12\r\nLight Correction=0\r\n" +
                  "Dark Correction=4\r\nHigh Quality=0\r\nReanalyze Whole=0\r\n");
    // Saving over a file replaces preset 0 and keeps the rest.
    test::WriteText(file, "; mine\r\n" + head +
                              "0]\r\nPreset Name=Old\r\nLuma Threshold=9\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(vel::SaveUserPreset(file.c_str(), "New", values));
    const std::string text = test::ReadText(file);
    EXPECT_EQ(text.rfind("; mine\r\n" + head + "0]\r\n", 0), 0u) << text;
    for (const char* part :
         {"Preset Name=New\r\n", "Luma Threshold=-3\r\n", "[Other]\r\nx=1\r\n"}) {
        EXPECT_NE(text.find(part), std::string::npos) << text;
    }
    EXPECT_EQ(text.find("Old"), std::string::npos) << text;
    EXPECT_FALSE(vel::SaveUserPreset((dir / "nope/x.pst").c_str(), "X", values));
}

}  // namespace
}  // namespace velnr
