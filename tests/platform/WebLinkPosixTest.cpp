// Opening a web address on POSIX with stand-in xdg-open and xdg-mime programs on PATH that
// record how they were called.

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/WebLink.h"

namespace vel::platform {
namespace {

namespace fs = std::filesystem;

class WebLinkPosix : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("velnr_weblink_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "bin");
        fs::create_directories(dir_ / "data/applications");
        const char* path = getenv("PATH");
        savedPath_ = path ? path : "";
        const char* data = getenv("XDG_DATA_HOME");
        savedData_ = data ? std::optional<std::string>(data) : std::nullopt;
        setenv("PATH", ((dir_ / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        if (savedData_) {
            setenv("XDG_DATA_HOME", savedData_->c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
        fs::remove_all(dir_);
    }

    // A program on PATH that records its arguments, one a line, and exits with status.
    void Program(const std::string& name, int status, const std::string& extra = "") {
        const fs::path file = dir_ / "bin" / name;
        std::ofstream(file) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << Record(name).string()
                            << ".part'\nmv '" << Record(name).string() << ".part' '"
                            << Record(name).string() << "'\n"
                            << extra << "exit " << status << "\n";
        fs::permissions(file, fs::perms::owner_all);
    }
    fs::path Record(const std::string& name) const { return dir_ / (name + ".args"); }

    std::optional<std::string> Recorded(const std::string& name) const {
        for (int i = 0; i < 500; ++i) {
            std::ifstream file(Record(name));
            if (file) {
                std::ostringstream text;
                text << file.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

    fs::path dir_;
    std::string savedPath_;
    std::optional<std::string> savedData_;
};

const std::string kAddress = "https://example.org/vel";

TEST_F(WebLinkPosix, XdgOpenSucceeds) {
    Program("xdg-open", 0);
    EXPECT_TRUE(WebAddressOpened(OpenWebAddress(kAddress, kShowNormal)));
    EXPECT_EQ(Recorded("xdg-open"), kAddress + "\n");
}

TEST_F(WebLinkPosix, FallsBackToTheDefaultHtmlApplication) {
    Program("xdg-open", 3);
    Program("xdg-mime", 0, "echo velnr-browser.desktop\n");
    Program("velnr-browser", 0);
    std::ofstream(dir_ / "data/applications/velnr-browser.desktop")
        << "[Desktop Entry]\nName=Browser\nExec=velnr-browser --new-window %u\n"
           "[Desktop Action other]\nExec=wrong\n";
    EXPECT_TRUE(WebAddressOpened(OpenWebAddress(kAddress, kShowNormal)));
    EXPECT_EQ(Recorded("xdg-mime"), "query\ndefault\ntext/html\n");
    EXPECT_EQ(Recorded("velnr-browser"), "--new-window\n" + kAddress + "\n");
}

TEST_F(WebLinkPosix, ABrowserThatKeepsRunningCountsAsOpened) {
    Program("xdg-open", 0, "sleep 4\n");  // longer than the wait for a failure
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WebAddressOpened(OpenWebAddress(kAddress, kShowNormal)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST_F(WebLinkPosix, NothingToOpenWithReportsTheFailure) {
    Program("xdg-open", 3);  // no tool found
    Program("xdg-mime", 1);  // no default application
    const int32_t result = OpenWebAddress(kAddress, kShowNormal);
    EXPECT_EQ(result, 31);
    Program("xdg-open", 2);
    EXPECT_EQ(OpenWebAddress(kAddress, kShowNormal), 2);
}

TEST_F(WebLinkPosix, AFailingFallbackProgramIsReported) {
    Program("xdg-open", 4);
    Program("xdg-mime", 0, "echo velnr-browser.desktop\n");
    Program("velnr-browser", 1);
    std::ofstream(dir_ / "data/applications/velnr-browser.desktop")
        << "[Desktop Entry]\nExec=velnr-browser %U\n";
    EXPECT_FALSE(WebAddressOpened(OpenWebAddress(kAddress, kShowNormal)));
    EXPECT_EQ(Recorded("velnr-browser"), kAddress + "\n");
}

}  // namespace
}  // namespace vel::platform
