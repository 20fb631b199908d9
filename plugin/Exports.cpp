// The exported C functions and the library's application object. Nothing here may let an
// exception reach the host: every export catches what the layers below can throw.

#include <cstdint>
#include <type_traits>

#include "plugin/HostCallbacks.h"
#include "plugin/PluginApp.h"
#include "plugin/Run.h"
#include "plugin/VELNoiseReduction.h"
#include "settings/SettingsFile.h"

// Windows exports come from the module definition file; elsewhere the version script keeps
// these the only visible names.
#ifdef _WIN32
#define VEL_EXPORT
#else
#define VEL_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// One per library, constructed when the host loads it.
class PluginApplication {
  public:
    // An exception here would abort the host while it loads the library.
    PluginApplication() noexcept {
        try {
            initialised_ = vel::InitPluginInstance();
        } catch (...) {
            initialised_ = false;
        }
    }
    bool Initialised() const { return initialised_; }

  private:
    bool initialised_ = false;
};

const PluginApplication g_application;

}  // namespace

extern "C" {

VEL_EXPORT const char* GetName(void) {
    return vel::kDisplayName;
}

// Every export but GetName works on process-wide state that a run in progress uses: a call
// made while a run waits (from a host callback or another thread) returns at once.

VEL_EXPORT void GetSettings(const char* settingsPath, int32_t slot) {
    const vel::ExportGuard guard;
    if (!guard.Acquired()) {
        return;
    }
    try {
        vel::StoreSettings(settingsPath, slot);
    } catch (...) {
        // Out of memory before the file was replaced: the host's file stays as it was.
    }
}

VEL_EXPORT void SetSettings(const char* settingsPath, int32_t slot) {
    const vel::ExportGuard guard;
    if (!guard.Acquired()) {
        return;
    }
    try {
        vel::LoadSettings(settingsPath, slot);
    } catch (...) {
        // Out of memory part-way: fields read so far are set, the rest keep their values.
    }
}

VEL_EXPORT void OpenPlugin(int32_t noInteraction, int32_t width, int32_t height, float* pixels,
                           int32_t /*reserved1*/, int32_t /*reserved2*/,
                           const char* imageProfilePath, const char* displayProfilePath) {
    const vel::ExportGuard guard;
    if (!guard.Acquired()) {
        return;
    }
    vel::OpenPluginImpl(noInteraction, width, height, pixels, imageProfilePath, displayProfilePath);
}

VEL_EXPORT void SetHostCallbacks(VelHostProgressFn progress, void* context,
                                 const volatile unsigned char* cancel) {
    const vel::ExportGuard guard;
    if (!guard.Acquired()) {
        return;
    }
    vel::SetHostCallbacksImpl(progress, context, cancel);
}

}  // extern "C"

// The pointer types hosts use must match the definitions.
static_assert(std::is_same_v<VelGetNameFn, decltype(&GetName)>);
static_assert(std::is_same_v<VelGetSettingsFn, decltype(&GetSettings)>);
static_assert(std::is_same_v<VelSetSettingsFn, decltype(&SetSettings)>);
static_assert(std::is_same_v<VelOpenPluginFn, decltype(&OpenPlugin)>);
static_assert(std::is_same_v<VelSetHostCallbacksFn, decltype(&SetHostCallbacks)>);
