// Loads the built plug-in the way a host does and drives its exports (their list is checked
// by plugin.Exports); then the start-up and the per-user profile it names.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Profile.h"
#include "plugin/PluginApp.h"
#include "plugin/VELNoiseReduction.h"
#include "settings/NoiseReductionParams.h"
#include "tests/settings/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using vel::test::ReadAll;
using vel::test::WriteAll;

class Library {
  public:
    Library() : handle_(dlopen(VELNR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_) {
            dlclose(handle_);
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    void* handle() const { return handle_; }
    template <typename Fn>
    Fn Find(const char* name) const {
        return reinterpret_cast<Fn>(dlsym(handle_, name));
    }

  private:
    void* handle_;
};

class LibraryTest : public vel::test::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_NE(lib_.handle(), nullptr) << dlerror();
        getName_ = lib_.Find<VelGetNameFn>("GetName");
        getSettings_ = lib_.Find<VelGetSettingsFn>("GetSettings");
        setSettings_ = lib_.Find<VelSetSettingsFn>("SetSettings");
        ASSERT_NE(getName_, nullptr);
        ASSERT_NE(getSettings_, nullptr);
        ASSERT_NE(setSettings_, nullptr);
    }

    Library lib_;
    VelGetNameFn getName_ = nullptr;
    VelGetSettingsFn getSettings_ = nullptr;
    VelSetSettingsFn setSettings_ = nullptr;
};

TEST_F(LibraryTest, GetNameGivesTheSamePointerEveryCall) {
    const char* first = getName_();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "VEL Noise Reduction");
    EXPECT_EQ(getName_(), first);
    EXPECT_EQ(getName_(), first);
}

TEST_F(LibraryTest, FreshLibraryWritesInitialSettingsAsANewSection) {
    const fs::path file = dir_ / "new.ini";
    getSettings_(file.c_str(), 0);
    EXPECT_EQ(ReadAll(file), vel::test::kInitialSection);
}

// A host's file written by other programs: LF and CRLF lines, foreign sections, comments,
// blank lines, long lines. Settings go in from slot 3 and out to slot 1; nothing that is not
// ours may change except line ends becoming CR LF.
TEST_F(LibraryTest, SettingsMoveThroughAForeignFileWithoutLosingAByte) {
    const std::string longLine = "Path=" + std::string(5000, 'x') + ";" + std::string(300, 'c');
    // Everything up to our slot 1 header is foreign and comes back with CR LF ends only.
    const std::string foreign =
        "; host settings\n"
        "[Host]\r\n"
        "Window=10,20,300,400\n"
        "\n"
        "[VEL Noise Reduction 3]\n"
        "luma threshold=5 ; tuned\r\n"
        "Chroma Threshold = 9\n"
        "High Quality=0\n"
        "Reanalyze Whole=yes\n"
        "[Other Plugin]\n" +
        longLine +
        "\n"
        "weird line without equals\n"
        "[VEL Noise Reduction 1]\n";
    const fs::path file = dir_ / "host.ini";
    WriteAll(file, foreign + "Luma Suppression=3\nDark Correction=-4;x\n[Tail]\nk=v");

    setSettings_(file.c_str(), 3);
    getSettings_(file.c_str(), 1);

    // Slot 3 gave: luma 5, chroma 1 (its key has a blank before '='), suppressions 9 and 12,
    // link 1, quality 0, reanalyze 0 ("yes" reads 0), corrections 0 and 0.
    std::string expected;
    for (char c : foreign) {
        if (c == '\n' && expected.back() != '\r') {
            expected += '\r';
        }
        expected += c;
    }
    expected +=
        "Light Correction=0\r\n"
        "Reanalyze Whole=0\r\n"
        "High Quality=0\r\n"
        "Link Luma Chroma=1\r\n"
        "Chroma Suppression=12\r\n"
        "Chroma Threshold=1\r\n"
        "Luma Threshold=5\r\n"
        "Luma Suppression=9\r\n"
        "Dark Correction=0;x\r\n"
        "[Tail]\r\n"
        "k=v\r\n";
    EXPECT_EQ(ReadAll(file), expected);

    // And back: slot 1 now holds what slot 3 gave, so a round trip changes nothing.
    setSettings_(file.c_str(), 1);
    getSettings_(file.c_str(), 1);
    EXPECT_EQ(ReadAll(file), expected);
}

TEST_F(LibraryTest, NullOrUnusablePathsAreHarmless) {
    getSettings_(nullptr, 0);
    setSettings_(nullptr, 0);
    const fs::path missingFolder = dir_ / "no" / "such" / "settings.ini";
    getSettings_(missingFolder.c_str(), 0);
    EXPECT_FALSE(fs::exists(missingFolder));
    // A folder in place of the file is never replaced.
    getSettings_(dir_.c_str(), 0);
    EXPECT_TRUE(fs::is_directory(dir_));
}

}  // namespace

namespace vel {
namespace {

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
