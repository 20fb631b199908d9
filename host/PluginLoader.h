#pragma once
// Loads the plug-in library at run time and looks up its exports, as any host does.

#include <string>

#include "plugin/VELNoiseReduction.h"

namespace velnr {

class Plugin {
  public:
    Plugin() = default;
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    ~Plugin();

    // Opens the library and checks the four required exports. False with a reason otherwise.
    bool Load(const std::string& path, std::string& error);

    const std::string& Path() const { return path_; }
    VelGetNameFn getName = nullptr;
    VelGetSettingsFn getSettings = nullptr;
    VelSetSettingsFn setSettings = nullptr;
    VelOpenPluginFn openPlugin = nullptr;
    VelSetHostCallbacksFn setHostCallbacks = nullptr;  // optional
    VelGetLastRunResultFn getLastRunResult = nullptr;  // optional
    VelGetNoiseProfileFn getNoiseProfile = nullptr;    // optional

  private:
    void* handle_ = nullptr;
    std::string path_;
};

// The library velnr uses without --plugin: beside the executable, then where it is installed,
// then where the build put it.
std::string DefaultPluginPath();

}  // namespace velnr
