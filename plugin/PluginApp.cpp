#include "plugin/PluginApp.h"

#include "platform/Profile.h"
#include "settings/NoiseReductionParams.h"

namespace vel {
namespace {

// The engine's decibel constant K = ln(10) / 20 (float) is computed here once the engine's
// parameter code provides it; until then the engine has nothing to prepare at load time.
void InitEngineConstants() {}

}  // namespace

bool InitPluginInstance() {
    platform::SetProfileLocation(kProfileCompany, kProfileApplication);
    InitEngineConstants();
    CurrentSettings() = NoiseReductionParams{};
    return true;
}

}  // namespace vel
