#include "plugin/Run.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <new>
#include <string>

#include "engine/Jobs.h"
#include "engine/TileScheduler.h"
#include "platform/Memory.h"
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

bool RunCannotFit(int32_t width, int32_t height, int32_t threads, uint64_t largestBlock,
                  std::optional<uint64_t> available) {
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    constexpr uint64_t kPlaneBytes = 3 * sizeof(float);
    if (pixels > largestBlock / kPlaneBytes) {
        return true;
    }
    if (!available) {
        return false;
    }
    // A lower bound of the scratch: every busy thread holds the band storage of one tile of
    // the lighter wavelet kind, 8 planes of at most 512 x 512 pixels (no more than the
    // picture), and no more threads are busy than there are tiles.
    constexpr uint64_t kTilePixels = 512 * 512;
    constexpr uint64_t kBandBytes = 8 * sizeof(float);
    const uint64_t busy = std::min(static_cast<uint64_t>(std::max(threads, int32_t{1})),
                                   (pixels + kTilePixels - 1) / kTilePixels);
    const uint64_t scratch = busy * std::min(pixels, kTilePixels) * kBandBytes;
    return pixels * kPlaneBytes > *available || scratch > *available - pixels * kPlaneBytes;
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
    // No object may be larger than PTRDIFF_MAX bytes: on 32-bit systems that, and the address
    // space that the host's own picture already shares, refuse big pictures before the
    // settings dialog or any allocation.
    if (RunCannotFit(width, height, DefaultEngineConfig().threads, static_cast<uint64_t>(PTRDIFF_MAX),
                     platform::AddressSpaceAvailable())) {
        return kRunNotPossible;
    }
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
