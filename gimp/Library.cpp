#include "gimp/Library.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace velnr::gimp {

namespace {

constexpr const char* kLibraryName = "libVELNoiseReduction.so";

std::string ExecutableFolder() {
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        return {};
    }
    std::string dir(exe, static_cast<size_t>(n));
    return dir.erase(dir.find_last_of('/') + 1);
}

}  // namespace

bool LoadLibrary(Plugin& plugin, std::string& error) {
    const char* chosen = std::getenv("VELNR_PLUGIN");
    if (chosen != nullptr && *chosen != '\0') {
        if (plugin.Load(chosen, error)) {
            return true;
        }
        error = std::string(chosen) + " (VELNR_PLUGIN): " + error;
        return false;
    }
    std::vector<std::string> candidates;
    if (const std::string beside = ExecutableFolder(); !beside.empty()) {
        candidates.push_back(beside + kLibraryName);
    }
    candidates.push_back(std::string(VELNR_INSTALLED_LIBRARY_DIR "/") + kLibraryName);
    std::string looked;
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) == 0) {
            // The first one present is the one meant: a broken library is reported, not
            // skipped for another version.
            if (plugin.Load(path, error)) {
                return true;
            }
            error = path + ": " + error;
            return false;
        }
        looked += looked.empty() ? path : " or " + path;
    }
    error = std::string("the plug-in library was not found (looked for ") + looked +
            "; set VELNR_PLUGIN to its path)";
    return false;
}

}  // namespace velnr::gimp
