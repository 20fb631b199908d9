#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "settings/ParamTable.h"
#include "settings/Presets.h"

#include "tests/settings/TestFiles.h"
#include "tests/support/FailingAllocator.h"

namespace vel {
namespace {

using test::ReadAll;
using test::WriteAll;

class SettingsFileTest : public test::TempDirTest {};

// Every stored field off its initial value.
NoiseReductionParams Marked() {
    NoiseReductionParams p;
    for (const ParamInfo& param : kParamTable) {
        param.Set(p, param.kind == ParamKind::Switch ? !param.initial : 77);
    }
    return p;
}

TEST(ParamTable, KeysDefaultsAndFieldsInFileOrder) {
    const char* keys[] = {"Luma Threshold",     "Chroma Threshold", "Luma Suppression",
                          "Chroma Suppression", "Link Luma Chroma", "High Quality",
                          "Reanalyze Whole",    "Light Correction", "Dark Correction"};
    const int32_t defaults[] = {0, 1, 9, 12, 1, 1, 0, 0, 0};
    ASSERT_EQ(kParamTable.size(), std::size(keys));
    NoiseReductionParams marked;
    for (std::size_t i = 0; i < kParamTable.size(); ++i) {
        const ParamInfo& param = kParamTable[i];
        EXPECT_STREQ(param.key, keys[i]);
        EXPECT_EQ(param.defaultIfMissing, defaults[i]) << keys[i];
        EXPECT_EQ(FindParam(keys[i]), &param);
        param.Set(marked, param.kind == ParamKind::Switch ? 0 : 1000);
    }
    EXPECT_EQ(FindParam("luma threshold"), nullptr);
    // Each stored field was reached exactly once and the fixed ones not at all.
    NoiseReductionParams expected;
    expected.lumaThreshold = expected.chromaThreshold = expected.lumaSuppression = 1000;
    expected.chromaSuppression = expected.lightCorrection = expected.darkCorrection = 1000;
    expected.linkLumaChroma = expected.highQuality = expected.reanalyzeWhole = false;
    EXPECT_EQ(marked, expected);
}

// Keys the section lacks (or the whole file) give their defaults, not the initial values; any
// integer is taken unchecked; the fixed fields are not touched.
TEST_F(SettingsFileTest, MissingKeysGiveTheirDefaultsAndAnyIntegerIsTaken) {
    for (const char* text :
         {"", "[Other]\nLuma Threshold=5\n", static_cast<const char*>(nullptr)}) {
        const auto path = File(text ? "s.ini" : "absent.ini");
        if (text) {
            WriteAll(path, text);
        }
        NoiseReductionParams p = Marked();
        EXPECT_TRUE(LoadSettings(path.string().c_str(), 0, p));
        for (const ParamInfo& param : kParamTable) {
            EXPECT_EQ(param.Get(p), param.defaultIfMissing) << param.key;
        }
        EXPECT_EQ(std::filesystem::exists(path), text != nullptr);
    }
    const auto path = File("s.ini");
    WriteAll(path,
             "[VEL Noise Reduction 2]\r\nLuma Threshold=-2147483648\r\nChroma Threshold=99\r\n"
             "Light Correction=+3 dB\r\nHigh Quality=-1\r\nLink Luma Chroma=no\r\n");
    NoiseReductionParams p = Marked();
    p.decompositionLevels = 6;
    LoadSettings(path.string().c_str(), 2, p);
    EXPECT_EQ(p.lumaThreshold, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(p.chromaThreshold, 99);
    EXPECT_EQ(p.lightCorrection, 3);
    EXPECT_TRUE(p.highQuality);
    EXPECT_FALSE(p.linkLumaChroma);
    EXPECT_EQ(p.decompositionLevels, 6);
}

TEST_F(SettingsFileTest, StoreCreatesTheSectionOfTheSlotAndRoundTrips) {
    const auto path = File("host.ini");
    ASSERT_TRUE(StoreSettings(path.string().c_str(), 0, NoiseReductionParams{}));
    EXPECT_EQ(ReadAll(path), test::kInitialSection);

    EXPECT_EQ(SettingsSection(std::numeric_limits<int32_t>::max()),
              "VEL Noise Reduction 2147483647");
    EXPECT_EQ(SettingsSection(-12), "VEL Noise Reduction -12");
    NoiseReductionParams out = Marked();
    out.lumaThreshold = -10;
    out.darkCorrection = 2147483647;
    ASSERT_TRUE(StoreSettings(path.string().c_str(), 7, out));
    NoiseReductionParams in;
    LoadSettings(path.string().c_str(), 7, in);
    EXPECT_EQ(in, out);
    // Storing again changes nothing: every key keeps its line and place.
    const std::string once = ReadAll(path);
    ASSERT_TRUE(StoreSettings(path.string().c_str(), 7, out));
    EXPECT_EQ(ReadAll(path), once);
}

// A file that could be read only in part (for lack of memory) or not at all must never be
// replaced, by that part or anything else, nor its values half taken.
TEST_F(SettingsFileTest, AFileReadInPartOrNotAtAllIsNeverOverwritten) {
    const auto path = File("host.ini");
    const std::string original = std::string("[Host]\nhuge=") + std::string(300000, 'h') +
                                 "\n[Other]\nk=v\n[VEL Noise Reduction 0]\nLuma Threshold=4\n";
    WriteAll(path, original);
    NoiseReductionParams p = Marked();
    {
        test::FailLargeAllocations fail(150000);
        EXPECT_FALSE(StoreSettings(path.string().c_str(), 0, NoiseReductionParams{}));
        EXPECT_FALSE(LoadSettings(path.string().c_str(), 0, p));
        EXPECT_GE(fail.Refused(), 2u);
    }
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);  // no temporary
    // A folder in place of the file opens but cannot be read.
    EXPECT_FALSE(StoreSettings(dir_.string().c_str(), 0, NoiseReductionParams{}));
    EXPECT_FALSE(StoreSettings(nullptr, 0, NoiseReductionParams{}));
    EXPECT_FALSE(LoadSettings(dir_.string().c_str(), 0, p));
    EXPECT_EQ(p, Marked());
    EXPECT_TRUE(LoadSettings(path.string().c_str(), 0, p));
    EXPECT_EQ(p.lumaThreshold, 4);
#ifndef _WIN32             // Windows cannot take the read right away through permissions
    if (geteuid() != 0) {  // permissions do not bind the super-user
        const auto locked = File("locked.ini");
        WriteAll(locked, "[Host]\nk=1\n");
        std::filesystem::permissions(locked, std::filesystem::perms::owner_write);
        EXPECT_FALSE(StoreSettings(locked.string().c_str(), 0, NoiseReductionParams{}));
        std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
        EXPECT_EQ(ReadAll(locked), "[Host]\nk=1\n");
    }
#endif
}

// Preset files: numbered from 0 up to the first gap or bad "Luma Threshold", merged by name,
// "Unnamed" without one; only decibel values are applied; a save writes preset 0 in the
// documented key order and keeps the rest of the file.
TEST_F(SettingsFileTest, PresetsLoadMergeApplyAndSave) {
    const std::string head = "[VEL Noise Reduction Preset ", path = File("p.pst").string();
    WriteAll(path, head + "0]\r\nLuma Threshold=3\r\n" + head +
                       "1]\r\nPreset Name=Remove chroma noise\r\nLuma Threshold=-1\r\n" +
                       "High Quality=0\r\n" + head + "3]\r\nLuma Threshold=1\r\n");
    std::vector<Preset> list = BuiltInPresets();
    ASSERT_EQ(LoadUserPresets(path.c_str(), list), 2);
    constexpr int32_t N = kPresetNotSet;
    using Values = std::array<int32_t, kParamTable.size()>;  // in the table's order
    const std::vector<std::pair<std::string, Values>> expected = {
        {"Remove noise - gentle", {-4, -2, 6, 9, N, N, N, 0, 0}},
        {"Remove noise - strong", {0, 1, 12, 15, N, N, N, 0, 0}},
        {"Remove chroma noise", {-1, N, N, N, N, 0, N, N, N}},
        {"Unnamed", {3, N, N, N, N, N, N, N, N}}};
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].name, expected[i].first);
        EXPECT_EQ(list[i].values, expected[i].second) << list[i].name;
    }
    NoiseReductionParams applied = Marked(), want = Marked();
    ApplyPreset(list[2], applied);
    want.lumaThreshold = -1;  // High Quality=0 is not applied
    EXPECT_EQ(applied, want);
    WriteAll(path, head + "0]\r\nLuma Threshold=Error\r\n");
    EXPECT_EQ(LoadUserPresets(path.c_str(), list), 0);

    NoiseReductionParams values;
    values.darkCorrection = 4;
    values.highQuality = false;
    ASSERT_TRUE(SaveUserPreset(File("new.pst").string().c_str(), "Test", values));
    EXPECT_EQ(ReadAll(File("new.pst")),
              head + "0]\r\nPreset Name=Test\r\nLuma Threshold=-2\r\nChroma Threshold=1\r\n" +
                  "Luma Suppression=6\r\nChroma Suppression=12\r\nLight Correction=0\r\n" +
                  "Dark Correction=4\r\nHigh Quality=0\r\nReanalyze Whole=0\r\n");
    WriteAll(path, "; mine\r\n" + head + "0]\r\nPreset Name=Old\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(SaveUserPreset(path.c_str(), "New", values));
    const std::string text = ReadAll(path);
    EXPECT_EQ(text.rfind("; mine\r\n" + head + "0]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("Preset Name=New\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Other]\r\nx=1\r\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace vel
