#pragma once
// Everything the host interface forces to be process-wide, in one object: the exports own the
// library's instance, and everything below receives what it needs of it as arguments.

#include <atomic>
#include <cstdint>

#include "engine/NoiseAnalysis.h"
#include "plugin/VELNoiseReduction.h"
#include "settings/NoiseReductionParams.h"

namespace vel {

struct InteractiveSteps;

// The optional export's callbacks. Set and read on the host's thread only (the exports are not
// re-entrant); the cancel byte may be set from anywhere, a signal handler included.
struct HostCallbacks {
    VelHostProgressFn progress = nullptr;
    void* context = nullptr;
    const volatile unsigned char* cancel = nullptr;

    void Report(const char* status, float percent) const {
        if (progress) {
            progress(context, status, percent);
        }
    }
    bool CancelRequested() const {
        return cancel && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) != 0;
    }
};

struct PluginInstance {
    // What GetSettings stores, SetSettings loads and a silent run uses.
    NoiseReductionParams settings;
    // The levels of the latest analysis: no entries (none to use), or 48 floats indexed
    // channel * S * levels + level * S + band, of which the first 3 * S * levels were measured
    // for its kind and level count. Not locked: no analysis runs while a reduction does.
    NoiseProfile profile;
    HostCallbacks host;
    // The user interface's steps, registered when the library is loaded; null: no dialogs.
    std::atomic<const InteractiveSteps*> steps{nullptr};
    std::atomic<int32_t> lastRunResult{VEL_RUN_NONE};
    // Held while an export works on the instance (ExportGuard).
    std::atomic<bool> busy{false};
};

// The library's one instance (the exports' and the dialogs' registration; tests make their own).
PluginInstance& LibraryInstance();

}  // namespace vel
