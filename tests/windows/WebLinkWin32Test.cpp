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

// Reads, sets and restores default values under the classes root. The keys a test makes
// are removed again and a changed ".htm" value is put back.
class ClassesRoot {
  public:
    ~ClassesRoot() {
        for (const std::string& key : made_) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        }
        if (savedHtm_) {
            SetDefault(".htm", *savedHtm_);
        } else if (htmTouched_) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, ".htm");
        }
    }

    static std::optional<std::string> Default(const std::string& key) {
        char value[1024];
        LONG size = sizeof value;
        if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::string(value);
    }

    static bool SetDefault(const std::string& key, const std::string& value) {
        return RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                            static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
    }

    // A new key tree of this test, removed afterwards.
    bool Make(const std::string& top, const std::string& key, const std::string& value) {
        made_.push_back(top);
        return SetDefault(key, value);
    }

    bool PointHtmAt(const std::string& className) {
        if (!htmTouched_) {
            savedHtm_ = Default(".htm");
            htmTouched_ = true;
        }
        return SetDefault(".htm", className);
    }

  private:
    std::vector<std::string> made_;
    std::optional<std::string> savedHtm_;
    bool htmTouched_ = false;
};

// A fresh file path in the temporary folder.
std::string TempPath(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string path = std::string(folder) + name;
    DeleteFileA(path.c_str());
    return path;
}

// The text the probe recorded, waiting up to 20 s for it to appear.
std::optional<std::string> RecordedLine(const std::string& path) {
    for (int i = 0; i < 2000; ++i) {
        std::ifstream file(path, std::ios::binary);
        if (file) {
            std::ostringstream text;
            text << file.rdbuf();
            return text.str();
        }
        Sleep(10);
    }
    return std::nullopt;
}

std::string ProbeCommand(const std::string& record, const std::string& placeholder) {
    std::string command = "\"";
    command.append(ProbePath()).append("\" record \"").append(record).append("\"");
    return command.append(placeholder);
}

TEST(Win32WebLink, ShellOpensThroughTheAssociation) {
    ClassesRoot classes;
    const std::string record = TempPath("velnr_shell.txt");
    ASSERT_TRUE(classes.Make(".velnrprobe", ".velnrprobe", "VelnrProbe.File"));
    ASSERT_TRUE(classes.Make("VelnrProbe.File", "VelnrProbe.File\\shell\\open\\command",
                             ProbeCommand(record, " \"%1\"")));
    const std::string page = TempPath("page.velnrprobe");
    std::ofstream(page) << "x";

    const int32_t result = OpenWebAddress(page, kShowNormal);
    EXPECT_TRUE(WebAddressOpened(result)) << result;
    const std::optional<std::string> line = RecordedLine(record);
    ASSERT_TRUE(line);
    EXPECT_NE(line->find("page.velnrprobe"), std::string::npos) << *line;
    DeleteFileA(page.c_str());
    DeleteFileA(record.c_str());
}

TEST(Win32WebLink, FallsBackToTheHtmCommandWithTheAddressAppended) {
    ClassesRoot classes;
    const std::string record = TempPath("velnr_fallback.txt");
    ASSERT_TRUE(classes.Make("VelnrProbe.Html", "VelnrProbe.Html\\shell\\open\\command",
                             ProbeCommand(record, " \"%1\" -new-tab")));
    ASSERT_TRUE(classes.PointHtmAt("VelnrProbe.Html"));

    // No program is associated with this scheme, so the shell fails.
    const std::string address = "velnr-no-such-scheme://example.org/page";
    const int32_t result = OpenWebAddress(address, kShowNormal);
    EXPECT_TRUE(WebAddressOpened(result)) << result;
    const std::optional<std::string> line = RecordedLine(record);
    ASSERT_TRUE(line);
    // Cut before the quoted placeholder (its tail goes too), a blank, then the address.
    std::string expectedTail = "\"";
    expectedTail.append(record).append("\"  ").append(address);
    ASSERT_GE(line->size(), expectedTail.size()) << *line;
    EXPECT_EQ(line->substr(line->size() - expectedTail.size()), expectedTail) << *line;
    DeleteFileA(record.c_str());
}

TEST(Win32WebLink, WithoutAnHtmCommandTheShellResultStands) {
    ClassesRoot classes;
    // A class without any shell\open\command key.
    ASSERT_TRUE(classes.Make("VelnrProbe.Empty", "VelnrProbe.Empty", "nothing to run"));
    ASSERT_TRUE(classes.PointHtmAt("VelnrProbe.Empty"));
    const int32_t result = OpenWebAddress("velnr-no-such-scheme://example.org/", kShowNormal);
    EXPECT_FALSE(WebAddressOpened(result));
    EXPECT_LE(result, 32);
    EXPECT_GE(result, 0);
}

TEST(Win32WebLink, AnOverlongCommandCountsAsMissing) {
    ClassesRoot classes;
    const std::string record = TempPath("velnr_long.txt");
    // A working command, but longer than the 260 bytes the fallback reads: never cut short.
    const std::string command = ProbeCommand(record, " \"%1\" " + std::string(300, 'x'));
    ASSERT_TRUE(classes.Make("VelnrProbe.Long", "VelnrProbe.Long\\shell\\open\\command", command));
    ASSERT_TRUE(classes.PointHtmAt("VelnrProbe.Long"));
    const int32_t result = OpenWebAddress("velnr-no-such-scheme://example.org/", kShowNormal);
    EXPECT_FALSE(WebAddressOpened(result));
    Sleep(300);
    EXPECT_EQ(GetFileAttributesA(record.c_str()), INVALID_FILE_ATTRIBUTES);  // nothing started
}

}  // namespace
}  // namespace vel::platform
