#include "host/PluginLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace velnr {

namespace {

template <typename Fn>
Fn Lookup(void* handle, const char* name) {
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    void* symbol = dlsym(handle, name);
    Fn fn = nullptr;
    static_assert(sizeof fn == sizeof symbol);
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

}  // namespace

Plugin::~Plugin() {
    if (handle_ != nullptr) {
        if (setHostCallbacks != nullptr) {
            setHostCallbacks(nullptr, nullptr, nullptr);
        }
        dlclose(handle_);
    }
}

bool Plugin::Load(const std::string& path, std::string& error) {
    if (!Exists(path)) {
        error = "plug-in library not found";
        return false;
    }
    // A name without a slash would make dlopen search the system paths instead.
    const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error = std::string("cannot load the plug-in library: ") + (why ? why : "unknown reason");
        return false;
    }
    path_ = path;
    getName = Lookup<VelGetNameFn>(handle_, "GetName");
    getSettings = Lookup<VelGetSettingsFn>(handle_, "GetSettings");
    setSettings = Lookup<VelSetSettingsFn>(handle_, "SetSettings");
    openPlugin = Lookup<VelOpenPluginFn>(handle_, "OpenPlugin");
    setHostCallbacks = Lookup<VelSetHostCallbacksFn>(handle_, "SetHostCallbacks");
    getLastRunResult = Lookup<VelGetLastRunResultFn>(handle_, "GetLastRunResult");
    getNoiseProfile = Lookup<VelGetNoiseProfileFn>(handle_, "GetNoiseProfile");
    std::string missing;
    for (const auto& [name, fn] : {std::pair<const char*, bool>{"GetName", getName != nullptr},
                                   {"GetSettings", getSettings != nullptr},
                                   {"SetSettings", setSettings != nullptr},
                                   {"OpenPlugin", openPlugin != nullptr}}) {
        if (!fn) {
            missing += missing.empty() ? name : std::string(", ") + name;
        }
    }
    if (!missing.empty()) {
        error = "not a VEL Noise Reduction plug-in (missing " + missing + ")";
        return false;
    }
    return true;
}

std::string DefaultPluginPath() {
    // Beside the executable, then the installed layout relative to it (the same for any
    // installation prefix), then the build tree's layout; then the configured installation
    // folder and the build tree itself, for a copy of velnr moved elsewhere.
    constexpr const char* kLibrary = "libVELNoiseReduction.so";
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        std::string dir(exe);
        dir.erase(dir.find_last_of('/') + 1);
        for (const char* folder : {"", VELNR_PLUGIN_DIR_FROM_BIN "/", "../plugin/"}) {
            const std::string candidate = dir + folder + kLibrary;
            if (Exists(candidate)) {
                return candidate;
            }
        }
    }
    if (const std::string installed = VELNR_PLUGIN_DIR "/" + std::string(kLibrary);
        Exists(installed)) {
        return installed;
    }
#ifdef VELNR_BUILT_PLUGIN
    return VELNR_BUILT_PLUGIN;
#else
    return kLibrary;
#endif
}

}  // namespace velnr
