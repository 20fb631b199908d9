#include "plugin/PluginApp.h"

#include "platform/Profile.h"

namespace vel {

// The engine's decibel constant needs no call here: it is constant-initialised, so it holds
// its value before the library's first instruction runs.
bool InitPluginInstance() {
    platform::SetProfileLocation(kProfileCompany, kProfileApplication);
    return true;
}

}  // namespace vel
