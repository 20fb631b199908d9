// The plug-in's start-up: initial settings and the per-user profile it names.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Profile.h"
#include "plugin/PluginApp.h"
#include "settings/NoiseReductionParams.h"

namespace vel {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (had_) {
            setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

TEST(Startup, GivesInitialSettingsAndNamesTheProfile) {
    CurrentSettings().lumaThreshold = 17;
    CurrentSettings().highQuality = false;
    ASSERT_TRUE(InitPluginInstance());
    EXPECT_EQ(CurrentSettings(), NoiseReductionParams{});
    EXPECT_EQ(CurrentSettings().lumaThreshold, -2);

    ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg/config");
    EXPECT_EQ(platform::ProfileFilePath(), "/xdg/config/Korvane/VELNoiseReduction.ini");
}

TEST(Profile, PathFollowsXdgThenHome) {
    platform::SetProfileLocation("Korvane", "VELNoiseReduction");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(platform::ProfileFilePath(),
                  "/home/someone/.config/Korvane/VELNoiseReduction.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "");  // empty and relative values are ignored
        ScopedEnv home("HOME", "/h");
        EXPECT_EQ(platform::ProfileFilePath(), "/h/.config/Korvane/VELNoiseReduction.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/dir");
        ScopedEnv home("HOME", "/h");
        EXPECT_EQ(platform::ProfileFilePath(), "/h/.config/Korvane/VELNoiseReduction.ini");
    }
}

TEST(Profile, ReadsEntriesInTheSettingsFormatWithDefaults) {
    const fs::path root = fs::temp_directory_path() / ("velnr-profile-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Korvane");
    ScopedEnv xdg("XDG_CONFIG_HOME", root.c_str());
    platform::SetProfileLocation("Korvane", "VELNoiseReduction");

    EXPECT_EQ(platform::GetProfileString("Last Folders", "Preset File", ""), "");  // no file yet
    std::ofstream(root / "Korvane" / "VELNoiseReduction.ini", std::ios::binary)
        << "[Other]\r\nPreset File=/wrong.pst\r\n[last folders]\r\npreset file=/home/u/a b.pst\r\n";
    EXPECT_EQ(platform::GetProfileString("Last Folders", "Preset File", ""), "/home/u/a b.pst");
    EXPECT_EQ(platform::GetProfileString("Last Folders", "Missing", "dflt"), "dflt");
    EXPECT_EQ(platform::GetProfileString("No Section", "Preset File", "dflt"), "dflt");

    platform::SetProfileLocation("", "");
    EXPECT_EQ(platform::ProfileFilePath(), "");
    EXPECT_EQ(platform::GetProfileString("Last Folders", "Preset File", "none"), "none");
    fs::remove_all(root);
}

}  // namespace
}  // namespace vel
