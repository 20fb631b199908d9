#include "plugin/Run.h"

#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "engine/Jobs.h"
#include "platform/Product.h"
#include "platform/Profile.h"
#include "plugin/HostImage.h"
#include "plugin/Instance.h"
#include "plugin/InteractiveSteps.h"
#include "plugin/PlaneImage.h"
#include "plugin/WorkerJob.h"
#include "settings/NoiseReductionParams.h"

namespace vel {

ExportGuard::ExportGuard(PluginInstance& instance)
    : instance_(instance), acquired_(!instance.busy.exchange(true, std::memory_order_acq_rel)) {}

ExportGuard::~ExportGuard() {
    if (acquired_) {
        instance_.busy.store(false, std::memory_order_release);
    }
}

int32_t RunPlugin(PluginInstance& instance, PlaneImage& image, bool showSettingsDialog,
                  bool showProgress, const char* imageProfilePath, const char* displayProfilePath) {
    const InteractiveSteps* steps = instance.steps.load(std::memory_order_acquire);
    if (showSettingsDialog) {
        if (!steps || !steps->runSettingsPhase) {
            std::fprintf(stderr,
                         "%s: no settings dialog is available here; the image was left "
                         "unchanged.\n",
                         kProductName);
            return kRunNotPossible;
        }
        const platform::ProfileLocation& profile = platform::CurrentProfileLocation();
        SettingsPhase phase;
        phase.image = &image;
        phase.imageProfilePath = imageProfilePath;
        phase.displayProfilePath = displayProfilePath;
        phase.currentSettings = &instance.settings;
        phase.noiseProfile = &instance.profile;
        phase.analysisWork = &AnalysisWorkWithConversion;
        phase.previewWork = &ReductionWorkWithConversions;
        phase.profileCompany = profile.company.c_str();
        phase.profileApplication = profile.application.c_str();
        if (!steps->runSettingsPhase(phase)) {
            return kRunCancelled;
        }
    } else {
        // A silent run never uses an analysis made for another image.
        instance.profile = {};
    }

    std::unique_ptr<ProgressWindow> window;
    if (showProgress && steps && steps->createProgressWindow) {
        window = steps->createProgressWindow();
    }

    const auto result = [](JobResult job) {
        return job == JobResult::Failed ? kRunNotPossible : kRunCancelled;
    };
    image.RgbToYuv();
    const NoiseReductionParams& settings = instance.settings;
    if (settings.reanalyzeWhole) {
        const JobResult analysis =
            RunWorkerJob(AnalysisWork, &image, "Image pre-analysis...", window.get(), settings,
                         &instance.profile, instance.host);
        if (analysis != JobResult::Completed) {
            return result(analysis);
        }
    }
    const JobResult reduction =
        RunWorkerJob(ReductionWork, &image, (std::string(kProductName) + "...").c_str(),
                     window.get(), settings, &instance.profile, instance.host);
    if (reduction != JobResult::Completed) {
        return result(reduction);
    }
    image.YuvToRgb();
    return kRunCompleted;
}

int32_t OpenPluginImpl(PluginInstance& instance, int32_t noInteraction, int32_t width,
                       int32_t height, float* pixels, const char* imageProfilePath,
                       const char* displayProfilePath) {
    if (!pixels || width <= 0 || height <= 0) {
        return kRunNotPossible;
    }
    // Only the low byte of the flag counts.
    const bool interactive = (static_cast<uint32_t>(noInteraction) & 0xFFu) == 0;
    // The profiles serve the dialog's colour-managed preview, and only as a pair.
    const bool profiles = interactive && imageProfilePath && displayProfilePath;
    try {
        PlaneImage image(width, height);
        ImportHostImage(pixels, width, height, image);
        const int32_t result = RunPlugin(instance, image, interactive, interactive,
                                         profiles ? imageProfilePath : nullptr,
                                         profiles ? displayProfilePath : nullptr);
        if (result == kRunCompleted) {
            ExportHostImage(image, pixels);
        }
        return result;
    } catch (...) {
        // Typically the working planes did not fit. Nothing may escape into the host, and
        // the host keeps its image as it was.
        return kRunNotPossible;
    }
}

}  // namespace vel
