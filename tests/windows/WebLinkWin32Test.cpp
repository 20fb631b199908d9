// Opening a web address on Windows: the shell's "open" verb through a real association, and
// the ".htm" association's command when the shell fails. The opened program is velnr_probe,
// which records its command line.

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/WebLink.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel::platform {
namespace {

// Sets default values under the classes root; the keys a test makes are removed again and
// the ".htm" value is put back.
class Win32WebLink : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const char* key : {".velnrprobe", "VelnrProbe.Class"}) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
        }
        if (savedHtm_) {
            Set(".htm", *savedHtm_);
        } else {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, ".htm");
        }
        DeleteFileA(record_.c_str());
    }
    static bool Set(const std::string& key, const std::string& value) {
        return RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                            static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
    }
    static std::optional<std::string> Default(const char* key) {
        char value[1024];
        LONG size = sizeof value;
        return RegQueryValueA(HKEY_CLASSES_ROOT, key, value, &size) == ERROR_SUCCESS
                   ? std::optional<std::string>(value)
                   : std::nullopt;
    }
    // VelnrProbe.Class opens with the probe, recording into record_, followed by tail.
    bool ProbeClass(const std::string& tail) {
        std::string command = "\"";
        command.append(ProbePath()).append("\" record \"").append(record_).append("\"");
        return Set("VelnrProbe.Class\\shell\\open\\command", command.append(tail));
    }
    // The text the probe recorded, waiting up to 20 s for it to appear.
    std::string Recorded() const {
        for (int i = 0; i < 2000; ++i) {
            if (std::ifstream file{record_, std::ios::binary}) {
                std::ostringstream text;
                text << file.rdbuf();
                return text.str();
            }
            Sleep(10);
        }
        return "(not run)";
    }
    static std::string Temp(const char* name) {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        std::string path = std::string(folder) + name;
        DeleteFileA(path.c_str());
        return path;
    }

    std::optional<std::string> savedHtm_ = Default(".htm");
    std::string record_ = Temp("velnr_record.txt");
};

TEST_F(Win32WebLink, ShellOpensThroughTheAssociation) {
    ASSERT_TRUE(Set(".velnrprobe", "VelnrProbe.Class") && ProbeClass(" \"%1\""));
    const std::string page = Temp("page.velnrprobe");
    std::ofstream(page) << "x";
    const int32_t result = OpenWebAddress(page, kShowNormal);
    EXPECT_TRUE(WebAddressOpened(result)) << result;
    EXPECT_NE(Recorded().find("page.velnrprobe"), std::string::npos) << Recorded();
    DeleteFileA(page.c_str());
}

// No program is associated with this scheme, so the shell fails and the ".htm" command runs:
// cut before the quoted placeholder (its tail goes too), a blank, then the address.
TEST_F(Win32WebLink, FallsBackToTheHtmCommandWithTheAddressAppended) {
    ASSERT_TRUE(ProbeClass(" \"%1\" -new-tab") && Set(".htm", "VelnrProbe.Class"));
    const std::string address = "velnr-no-such-scheme://example.org/page";
    const int32_t result = OpenWebAddress(address, kShowNormal);
    EXPECT_TRUE(WebAddressOpened(result)) << result;
    std::string tail = "\"";
    tail.append(record_).append("\"  ").append(address);
    const std::string line = Recorded();
    ASSERT_GE(line.size(), tail.size()) << line;
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
}

// Without a command, or with one longer than the 260 bytes the fallback reads (never cut
// short), the shell's failure stands and nothing is started.
TEST_F(Win32WebLink, WithoutAUsableHtmCommandTheShellResultStands) {
    for (const bool overlong : {false, true}) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "VelnrProbe.Class");
        ASSERT_TRUE(overlong ? ProbeClass(std::string(" \"%1\" ") + std::string(300, 'x'))
                             : Set("VelnrProbe.Class", "nothing to run"));
        ASSERT_TRUE(Set(".htm", "VelnrProbe.Class"));
        const int32_t result = OpenWebAddress("velnr-no-such-scheme://example.org/", kShowNormal);
        EXPECT_FALSE(WebAddressOpened(result));
        EXPECT_GE(result, 0);
        Sleep(300);
        EXPECT_EQ(GetFileAttributesA(record_.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

}  // namespace
}  // namespace vel::platform
