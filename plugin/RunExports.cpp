// The exports that run the filter on a host image.

#include <cstdint>

#include "plugin/HostCallbacks.h"
#include "plugin/Run.h"
#include "plugin/VELNoiseReduction.h"

#ifdef _WIN32
#define VEL_EXPORT
#else
#define VEL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

VEL_EXPORT void OpenPlugin(int32_t noInteraction, int32_t width, int32_t height, float* pixels,
                           int32_t /*reserved1*/, int32_t /*reserved2*/,
                           const char* imageProfilePath, const char* displayProfilePath) {
    const vel::ExportGuard guard;
    if (!guard.Acquired()) {
        return;  // a run is in progress: its state must not be touched
    }
    vel::OpenPluginImpl(noInteraction, width, height, pixels, imageProfilePath,
                        displayProfilePath);
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
