// Opening a web address on POSIX with stand-in xdg-open, xdg-mime and browser programs on PATH
// that record how they were called.

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/WebLink.h"
#include "tests/settings/TestFiles.h"

namespace vel::platform {
namespace {

namespace fs = std::filesystem;
const std::string kAddress = "https://example.org/vel";

class WebLinkPosix : public test::TempDirTest {
  protected:
    void SetUp() override {
        fs::create_directories(dir_ / "data/applications");
        fs::create_directories(dir_ / "bin");
        setenv("PATH", ((dir_ / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        savedData_ ? setenv("XDG_DATA_HOME", savedData_->c_str(), 1) : unsetenv("XDG_DATA_HOME");
    }
    // A program on PATH that records its arguments, one a line, runs extra and exits with
    // status; a negative status removes it.
    void Program(const std::string& name, int status, const std::string& extra = "") {
        const fs::path file = dir_ / "bin" / name, record = dir_ / (name + ".args");
        const std::string part = record.string() + ".part";
        fs::remove(record);
        if (status < 0) {
            fs::remove(file);
            return;
        }
        std::ofstream(file) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << part << "'\nmv '" << part
                            << "' '" << record.string() << "'\n"
                            << extra << "exit " << status << "\n";
        fs::permissions(file, fs::perms::owner_all);
    }
    // Waits up to 5 s: a browser started in the background records when it gets to it.
    std::string Recorded(const std::string& name) const {
        const fs::path record = dir_ / (name + ".args");
        for (int i = 0; i < 500 && !fs::exists(record); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return fs::exists(record) ? test::ReadAll(record) : "(not run)";
    }

    std::string savedPath_ = getenv("PATH") ? getenv("PATH") : "";
    std::optional<std::string> savedData_ =
        getenv("XDG_DATA_HOME") ? std::optional<std::string>(getenv("XDG_DATA_HOME"))
                                : std::nullopt;
};

// xdg-open first; when it fails, the default HTML application's desktop entry; a browser that
// keeps running counts as opened without being waited for.
TEST_F(WebLinkPosix, OpensWithXdgOpenOrTheDefaultHtmlApplication) {
    const std::string mime = "echo velnr-browser.desktop\n";
    const struct {
        int xdgOpen;
        const char* xdgOpenExtra;
        int xdgMime, browser;
        const char* exec;
        int32_t result;  // 33: any success, 0: any failure
        const char *recordOf, *record;
    } cases[] = {
        {0, "", -1, -1, "", 33, "xdg-open", "https://example.org/vel\n"},
        {0, "sleep 4\n", -1, -1, "", 33, "xdg-open", "https://example.org/vel\n"},
        {3, "", 0, 0, "velnr-browser --new-window %u", 33, "velnr-browser",
         "--new-window\nhttps://example.org/vel\n"},
        {4, "", 0, 1, "velnr-browser %U", 0, "velnr-browser", "https://example.org/vel\n"},
        {3, "", 1, -1, "", 31, "xdg-mime", "query\ndefault\ntext/html\n"},  // nothing found
        {2, "", -1, -1, "", 2, "xdg-open", "https://example.org/vel\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exec);
        Program("xdg-open", c.xdgOpen, c.xdgOpenExtra);
        Program("xdg-mime", c.xdgMime, c.xdgMime == 0 ? mime : "");
        Program("velnr-browser", c.browser);
        std::ofstream(dir_ / "data/applications/velnr-browser.desktop")
            << "[Desktop Entry]\nName=Browser\nExec=" << c.exec
            << "\n[Desktop Action other]\nExec=wrong\n";
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = OpenWebAddress(kAddress, kShowNormal);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        EXPECT_EQ(c.result % 33 == 0 ? WebAddressOpened(result) : result == c.result, c.result != 0)
            << result;
        EXPECT_EQ(Recorded(c.recordOf), c.record);
    }
}

}  // namespace
}  // namespace vel::platform
