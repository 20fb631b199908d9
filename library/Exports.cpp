// The exported C functions and the library's application object. Nothing here may let an
// exception reach the host: every export catches what the layers below can throw.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "platform/Product.h"
#include "plugin/Instance.h"
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

namespace vel {

PluginInstance& LibraryInstance() {
    // Constructed on first use: the dialogs' registration may run before this file's statics.
    static PluginInstance instance;
    return instance;
}

}  // namespace vel

extern "C" {

VEL_EXPORT const char* GetName(void) {
    return vel::kProductName;
}

// Every export but GetName works on the instance that a run in progress uses: a call made
// while a run waits (from a host callback or another thread) returns at once.

VEL_EXPORT void GetSettings(const char* settingsPath, int32_t slot) {
    vel::PluginInstance& instance = vel::LibraryInstance();
    const vel::ExportGuard guard(instance);
    if (!guard.Acquired()) {
        return;
    }
    try {
        vel::StoreSettings(settingsPath, slot, instance.settings);
    } catch (...) {
        // Out of memory before the file was replaced: the host's file stays as it was.
    }
}

VEL_EXPORT void SetSettings(const char* settingsPath, int32_t slot) {
    vel::PluginInstance& instance = vel::LibraryInstance();
    const vel::ExportGuard guard(instance);
    if (!guard.Acquired()) {
        return;
    }
    try {
        vel::LoadSettings(settingsPath, slot, instance.settings);
    } catch (...) {
        // Out of memory part-way: fields read so far are set, the rest keep their values.
    }
}

VEL_EXPORT void OpenPlugin(int32_t noInteraction, int32_t width, int32_t height, float* pixels,
                           int32_t /*reserved1*/, int32_t /*reserved2*/,
                           const char* imageProfilePath, const char* displayProfilePath) {
    vel::PluginInstance& instance = vel::LibraryInstance();
    const vel::ExportGuard guard(instance);
    if (!guard.Acquired()) {
        return;  // the running call's result stays the one to report
    }
    instance.lastRunResult.store(VEL_RUN_NONE, std::memory_order_relaxed);
    instance.lastRunResult.store(vel::OpenPluginImpl(instance, noInteraction, width, height, pixels,
                                                     imageProfilePath, displayProfilePath),
                                 std::memory_order_relaxed);
}

VEL_EXPORT void SetHostCallbacks(VelHostProgressFn progress, void* context,
                                 const volatile unsigned char* cancel) {
    vel::PluginInstance& instance = vel::LibraryInstance();
    const vel::ExportGuard guard(instance);
    if (!guard.Acquired()) {
        return;
    }
    instance.host = {progress, context, cancel};
}

VEL_EXPORT int32_t GetLastRunResult(void) {
    return vel::LibraryInstance().lastRunResult.load(std::memory_order_relaxed);
}

VEL_EXPORT int32_t GetNoiseProfile(float* levels, int32_t capacity) {
    vel::PluginInstance& instance = vel::LibraryInstance();
    const vel::ExportGuard guard(instance);
    if (!guard.Acquired()) {
        return 0;  // an analysis may be writing it
    }
    const std::vector<float>& profile = instance.profile.noise;
    if (levels && capacity > 0) {
        const size_t count = std::min(profile.size(), static_cast<size_t>(capacity));
        std::copy_n(profile.begin(), count, levels);
    }
    return static_cast<int32_t>(profile.size());
}

}  // extern "C"

// The pointer types hosts use must match the definitions.
static_assert(std::is_same_v<VelGetNameFn, decltype(&GetName)>);
static_assert(std::is_same_v<VelGetSettingsFn, decltype(&GetSettings)>);
static_assert(std::is_same_v<VelSetSettingsFn, decltype(&SetSettings)>);
static_assert(std::is_same_v<VelOpenPluginFn, decltype(&OpenPlugin)>);
static_assert(std::is_same_v<VelSetHostCallbacksFn, decltype(&SetHostCallbacks)>);
static_assert(std::is_same_v<VelGetLastRunResultFn, decltype(&GetLastRunResult)>);
static_assert(std::is_same_v<VelGetNoiseProfileFn, decltype(&GetNoiseProfile)>);
static_assert(VEL_RUN_COMPLETED == vel::kRunCompleted && VEL_RUN_CANCELLED == vel::kRunCancelled &&
              VEL_RUN_NOT_POSSIBLE == vel::kRunNotPossible);
