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

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "plugin/VELNoiseReduction.h"
#include "settings/NoiseReductionParams.h"
#include "settings/SettingsFile.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

vel::NoiseReductionParams g_current;
VelHostProgressFn g_progress = nullptr;
void* g_context = nullptr;
const volatile unsigned char* g_cancel = nullptr;
int32_t g_lastResult = VEL_RUN_NONE;

void Log(std::string line, std::initializer_list<long> values) {
    for (long v : values) {
        line += ' ';
        line += std::to_string(v);
    }
    if (const char* path = std::getenv("VELNR_FAKE_LOG")) {
        std::ofstream(path, std::ios::app) << line << '\n';
    }
}

long FileSize(const char* path) {
    std::error_code error;
    const auto size = path != nullptr ? std::filesystem::file_size(path, error) : 0;
    return path == nullptr ? -1 : error ? -2 : static_cast<long>(size);
}

}  // namespace

FAKE_EXPORT const char* GetName() {
    return "VEL Noise Reduction";
}

FAKE_EXPORT void GetSettings(const char* path, int32_t slot) {
    vel::StoreSettings(path, slot, g_current);
}

FAKE_EXPORT void SetSettings(const char* path, int32_t slot) {
    vel::LoadSettings(path, slot, g_current);
    const vel::NoiseReductionParams& p = g_current;
    Log("set",
        {p.lumaThreshold, p.chromaThreshold, p.lumaSuppression, p.chromaSuppression,
         p.lightCorrection, p.darkCorrection, p.linkLumaChroma, p.highQuality, p.reanalyzeWhole});
}

#ifndef VELNR_FAKE_FOUR_EXPORTS
FAKE_EXPORT int32_t GetLastRunResult() {
    return g_lastResult;
}

FAKE_EXPORT int32_t GetNoiseProfile(float* levels, int32_t capacity) {
    for (int32_t i = 0; i < capacity && i < 48; ++i) {
        levels[i] = static_cast<float>(i) / 8.0f;
    }
    return 48;
}

FAKE_EXPORT void SetHostCallbacks(VelHostProgressFn progress, void* context,
                                  const volatile unsigned char* cancel) {
    std::tie(g_progress, g_context, g_cancel) = std::tie(progress, context, cancel);
}
#endif

FAKE_EXPORT void OpenPlugin(int32_t noInteraction, int32_t width, int32_t height, float* pixels,
                            int32_t, int32_t, const char* imageProfile,
                            const char* displayProfile) {
    Log("open",
        {noInteraction & 0xff, width, height, FileSize(imageProfile), displayProfile != nullptr});
    if (const char* result = std::getenv("VELNR_FAKE_RESULT")) {
        g_lastResult = std::string(result) == "cancel" ? VEL_RUN_CANCELLED : VEL_RUN_NOT_POSSIBLE;
        return;
    }
    g_lastResult = VEL_RUN_CANCELLED;  // until every step is done
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    std::vector<float> work(pixels, pixels + count);
    const char* raiseAt = std::getenv("VELNR_FAKE_RAISE_AT");
    for (size_t step = 0; step < 10; ++step) {
        if (raiseAt != nullptr && std::atoi(raiseAt) == static_cast<int>(step)) {
            ::raise(SIGINT);
        }
        if (g_cancel != nullptr && __atomic_load_n(g_cancel, __ATOMIC_ACQUIRE) != 0) {
            return;  // the host's pixels stay as they were
        }
        for (size_t i = count * step / 10; i < count * (step + 1) / 10; ++i) {
            work[i] = 1.0f - work[i];
        }
        if (g_progress != nullptr) {
            g_progress(g_context, "VEL Noise Reduction...", static_cast<float>(step + 1) * 10.0f);
        }
    }
    std::copy(work.begin(), work.end(), pixels);
    g_lastResult = VEL_RUN_COMPLETED;
}
