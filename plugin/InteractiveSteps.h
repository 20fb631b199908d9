#pragma once
// Where the user interface plugs into a processing run. The user-interface layer registers
// its steps when it is built in; without them an interactive run ends as a cancelled dialog.

#include <memory>

#include "engine/EngineTypes.h"
#include "engine/NoiseAnalysis.h"
#include "plugin/WorkerJob.h"

namespace vel {

class PlaneImage;
struct NoiseReductionParams;

// The run's progress window, as the run drives it from its own thread.
class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default;
    virtual void SetStatusText(const char* text) = 0;
    virtual void SetProgress(float percent) = 0;
    // The flag its Cancel button sets; cleared on hand-over.
    virtual void SetCancelFlag(CancelFlag* flag) = 0;
};

// What the settings phase works with: the instance's settings and noise profile (which the
// dialog's pre-analysis fills), the work functions, and the per-user profile's location (on
// POSIX systems the dialogs' module has its own copy of the platform layer).
struct SettingsPhase {
    PlaneImage* image = nullptr;  // R, G, B on 0..255; only read
    const char* imageProfilePath = nullptr;
    const char* displayProfilePath = nullptr;
    NoiseReductionParams* currentSettings = nullptr;
    NoiseProfile* noiseProfile = nullptr;
    WorkFunction analysisWork = nullptr;
    WorkFunction previewWork = nullptr;
    const char* profileCompany = "";
    const char* profileApplication = "";
};

struct InteractiveSteps {
    // The settings dialog: true when the user confirmed; the current settings and the noise
    // profile then hold the dialog's values and its last pre-analysis.
    bool (*runSettingsPhase)(const SettingsPhase& phase) = nullptr;
    // Creates and shows the run's progress window with status "VEL Noise Reduction...".
    std::unique_ptr<ProgressWindow> (*createProgressWindow)() = nullptr;
};

}  // namespace vel
