// Per-user profile values from the registry: the current user's key
// Software\Korvane\VELNoiseReduction, section = subkey, entry = string value.

#include <string>

#include <gtest/gtest.h>

#include "platform/Profile.h"
#include "platform/win32/Win32Handles.h"
#include "plugin/PluginApp.h"

namespace vel::platform {
namespace {

const char* const kSectionKey = "Software\\Korvane\\VELNoiseReduction\\Last Folders";

// Writes values under the plug-in's "Last Folders" key and removes them afterwards.
class ProfileWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, nullptr, 0,
                                  KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_TRUE(InitPluginInstance());  // names the profile as the library's start-up does
    }
    void TearDown() override {
        for (const char* name : {"Preset File", "Number", "Bare", "Empty", "Long"}) {
            RegDeleteValueA(key_, name);
        }
        RegCloseKey(key_);
    }
    void SetBytes(const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    void SetString(const char* name, const std::string& value) {
        SetBytes(name, REG_SZ, std::string(value.c_str(), value.size() + 1));
    }
    HKEY key_ = nullptr;
};

TEST_F(ProfileWin32, ReadsTheRememberedPresetFile) {
    SetString("Preset File", "C:\\Users\\me\\Presets\\night.pst");
    EXPECT_EQ(GetProfileString("Last Folders", "Preset File", ""),
              "C:\\Users\\me\\Presets\\night.pst");
    EXPECT_EQ(ProfileFilePath(), "");  // nothing on disk: the profile is the registry
}

TEST_F(ProfileWin32, MissingValuesGiveTheDefault) {
    EXPECT_EQ(GetProfileString("Last Folders", "Preset File", "none"), "none");
    EXPECT_EQ(GetProfileString("No Such Section", "Preset File", "none"), "none");
    EXPECT_EQ(GetProfileString("", "Preset File", "none"), "none");
}

TEST_F(ProfileWin32, OnlyStringsCount) {
    const DWORD number = 7;
    SetBytes("Number", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
    EXPECT_EQ(GetProfileString("Last Folders", "Number", "dflt"), "dflt");
    SetString("Empty", "");
    EXPECT_EQ(GetProfileString("Last Folders", "Empty", "dflt"), "");  // present, empty
}

TEST_F(ProfileWin32, ValuesWithoutTerminatorOrLongAreReadWhole) {
    SetBytes("Bare", REG_SZ, "D:\\p.pst");  // stored without its terminating zero
    EXPECT_EQ(GetProfileString("Last Folders", "Bare", ""), "D:\\p.pst");
    std::string longPath = "C:\\";
    longPath.append(5000, 'd').append("\\x.pst");
    SetString("Long", longPath);
    EXPECT_EQ(GetProfileString("Last Folders", "Long", ""), longPath);
}

TEST_F(ProfileWin32, WithoutALocationThereIsNoProfile) {
    SetString("Preset File", "C:\\p.pst");
    SetProfileLocation("", "");
    EXPECT_EQ(GetProfileString("Last Folders", "Preset File", "dflt"), "dflt");
    SetProfileLocation("Korvane", "Other Application");
    EXPECT_EQ(GetProfileString("Last Folders", "Preset File", "dflt"), "dflt");
}

}  // namespace
}  // namespace vel::platform
