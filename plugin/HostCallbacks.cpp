#include "plugin/HostCallbacks.h"

namespace vel {

namespace {

// Written and read on the host's thread only (the exports are not re-entrant).
VelHostProgressFn g_progress = nullptr;
void* g_context = nullptr;
const volatile unsigned char* g_cancel = nullptr;

}  // namespace

void SetHostCallbacksImpl(VelHostProgressFn progress, void* context,
                          const volatile unsigned char* cancel) {
    g_progress = progress;
    g_context = context;
    g_cancel = cancel;
}

void ReportHostProgress(const char* status, float percent) {
    if (g_progress) {
        g_progress(g_context, status, percent);
    }
}

bool HostCancelRequested() {
    // The host may set the byte from another thread or a signal handler.
    return g_cancel && __atomic_load_n(g_cancel, __ATOMIC_ACQUIRE) != 0;
}

}  // namespace vel
