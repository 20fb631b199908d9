#include "platform/Profile.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/SettingsStore.h"

namespace vel::platform {
namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return {};
}

// $XDG_CONFIG_HOME when set to an absolute path (relative values are invalid and ignored),
// else ~/.config.
std::string ConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        return xdg;
    }
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

}  // namespace

std::string ProfileFilePath() {
    const ProfileLocation& location = CurrentProfileLocation();
    if (location.company.empty() || location.application.empty()) {
        return {};
    }
    const std::string folder = ConfigFolder();
    if (folder.empty()) {
        return {};
    }
    return folder + "/" + location.company + "/" + location.application + ".ini";
}

std::string GetProfileString(std::string_view section, std::string_view entry,
                             std::string_view defaultValue) {
    const std::string path = ProfileFilePath();
    if (path.empty()) {
        return std::string(defaultValue);
    }
    SettingsStore store;
    store.LoadFile(path.c_str());
    return store.GetString(section, entry, defaultValue);
}

}  // namespace vel::platform
