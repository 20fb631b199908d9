// Opening a web address on Windows: the shell's "open" verb through a real association. The
// opened program is velnr_probe, which records its command line.

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/WebLink.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel::platform {
namespace {

std::string Temp(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string path = std::string(folder) + name;
    DeleteFileA(path.c_str());
    return path;
}

bool SetClassesRootDefault(const std::string& key, const std::string& value) {
    return RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                        static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
}

TEST(Win32WebLink, ShellOpensThroughTheAssociation) {
    const std::string record = Temp("velnr_record.txt"), page = Temp("page.velnrprobe");
    std::string command = "\"";
    command.append(ModuleFolder())
        .append("velnr_probe.exe\" record \"")
        .append(record)
        .append("\" \"%1\"");
    ASSERT_TRUE(SetClassesRootDefault(".velnrprobe", "VelnrProbe.Class") &&
                SetClassesRootDefault("VelnrProbe.Class\\shell\\open\\command", command));
    std::ofstream(page) << "x";
    const int32_t result = OpenWebAddress(page, kShowNormal);
    EXPECT_TRUE(WebAddressOpened(result)) << result;
    std::string recorded = "(not run)";
    for (int i = 0; i < 2000 && recorded == "(not run)"; ++i) {  // up to 20 s
        if (std::ifstream file{record, std::ios::binary}) {
            std::ostringstream text;
            text << file.rdbuf();
            recorded = text.str();
        } else {
            Sleep(10);
        }
    }
    EXPECT_NE(recorded.find("page.velnrprobe"), std::string::npos) << recorded;
    for (const char* key : {".velnrprobe", "VelnrProbe.Class"}) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
    }
    DeleteFileA(page.c_str());
    DeleteFileA(record.c_str());
}

}  // namespace
}  // namespace vel::platform
