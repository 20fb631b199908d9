// A stand-in plug-in for the host's tests: the same exports as the real library, with a
// transform that is trivial to check (every colour value v becomes 1 - v), progress in ten
// steps, the cancel byte read at every step, and a log of what the host asked for.
//
// Environment: VELNR_FAKE_LOG names a file to append lines to ("set <nine values>",
// "open <noInteraction> <width> <height> <image profile bytes> <display profile given>");
// VELNR_FAKE_RAISE_AT=N raises SIGINT at step N, as a Ctrl-C in the middle of a run;
// VELNR_FAKE_RESULT=cancel or =impossible ends every run so, the pixels untouched. Its noise
// profile is entry i = i / 8. Built with VELNR_FAKE_FOUR_EXPORTS it has only the four
// exports.

#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/VELNoiseReduction.h"
#include "settings/NoiseReductionParams.h"
#include "settings/SettingsFile.h"

namespace {

vel::NoiseReductionParams g_current;
VelHostProgressFn g_progress = nullptr;
void* g_context = nullptr;
const volatile unsigned char* g_cancel = nullptr;
int32_t g_lastResult = VEL_RUN_NONE;

void Log(const char* line) {
    const char* path = std::getenv("VELNR_FAKE_LOG");
    if (path == nullptr) {
        return;
    }
    if (std::FILE* file = std::fopen(path, "a")) {
        std::fputs(line, file);
        std::fclose(file);
    }
}

long FileSize(const char* path) {
    std::error_code error;
    const auto size = path != nullptr ? std::filesystem::file_size(path, error) : 0;
    return path == nullptr ? -1 : error ? -2 : static_cast<long>(size);
}

bool CancelRequested() {
    return g_cancel != nullptr && __atomic_load_n(g_cancel, __ATOMIC_ACQUIRE) != 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* GetName() {
    return "VEL Noise Reduction";
}

__attribute__((visibility("default"))) void GetSettings(const char* path, int32_t slot) {
    vel::StoreSettings(path, slot, g_current);
}

__attribute__((visibility("default"))) void SetSettings(const char* path, int32_t slot) {
    vel::LoadSettings(path, slot, g_current);
    const vel::NoiseReductionParams& p = g_current;
    char line[200];
    std::snprintf(line, sizeof line, "set %d %d %d %d %d %d %d %d %d\n", p.lumaThreshold,
                  p.chromaThreshold, p.lumaSuppression, p.chromaSuppression, p.lightCorrection,
                  p.darkCorrection, p.linkLumaChroma ? 1 : 0, p.highQuality ? 1 : 0,
                  p.reanalyzeWhole ? 1 : 0);
    Log(line);
}

#ifndef VELNR_FAKE_FOUR_EXPORTS
__attribute__((visibility("default"))) int32_t GetLastRunResult() {
    return g_lastResult;
}

__attribute__((visibility("default"))) int32_t GetNoiseProfile(float* levels, int32_t capacity) {
    for (int32_t i = 0; i < capacity && i < 48; ++i) {
        levels[i] = static_cast<float>(i) / 8.0f;
    }
    return 48;
}

__attribute__((visibility("default"))) void SetHostCallbacks(VelHostProgressFn progress,
                                                             void* context,
                                                             const volatile unsigned char* cancel) {
    g_progress = progress;
    g_context = context;
    g_cancel = cancel;
}
#endif

__attribute__((visibility("default"))) void OpenPlugin(int32_t noInteraction, int32_t width,
                                                       int32_t height, float* pixels, int32_t,
                                                       int32_t, const char* imageProfile,
                                                       const char* displayProfile) {
    char line[200];
    std::snprintf(line, sizeof line, "open %d %d %d %ld %d\n", noInteraction & 0xff, width, height,
                  FileSize(imageProfile), displayProfile != nullptr ? 1 : 0);
    Log(line);
    const char* result = std::getenv("VELNR_FAKE_RESULT");
    if (result != nullptr) {
        g_lastResult = std::string(result) == "cancel" ? VEL_RUN_CANCELLED : VEL_RUN_NOT_POSSIBLE;
        return;
    }
    g_lastResult = VEL_RUN_CANCELLED;  // until every step is done
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    std::vector<float> work(pixels, pixels + count);
    const char* raiseAt = std::getenv("VELNR_FAKE_RAISE_AT");
    for (int step = 0; step < 10; ++step) {
        if (raiseAt != nullptr && std::atoi(raiseAt) == step) {
            ::raise(SIGINT);
        }
        if (CancelRequested()) {
            return;  // the host's pixels stay as they were
        }
        const size_t begin = count * static_cast<size_t>(step) / 10;
        const size_t end = count * static_cast<size_t>(step + 1) / 10;
        for (size_t i = begin; i < end; ++i) {
            work[i] = 1.0f - work[i];
        }
        if (g_progress != nullptr) {
            g_progress(g_context, "VEL Noise Reduction...", static_cast<float>(step + 1) * 10.0f);
        }
    }
    for (size_t i = 0; i < count; ++i) {
        pixels[i] = work[i];
    }
    g_lastResult = VEL_RUN_COMPLETED;
}

}  // extern "C"
