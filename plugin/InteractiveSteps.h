#pragma once
// Where the user interface plugs into a processing run. The user-interface layer registers
// its steps when it is built in; without them an interactive run ends as a cancelled dialog.

#include <memory>

#include "engine/EngineTypes.h"

namespace vel {

class PlaneImage;

// The run's progress window, as the run drives it from its own thread.
class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default;
    virtual void SetStatusText(const char* text) = 0;
    virtual void SetProgress(float percent) = 0;
    // The flag its Cancel button sets; cleared on hand-over.
    virtual void SetCancelFlag(CancelFlag* flag) = 0;
};

struct InteractiveSteps {
    // The settings dialog: true when the user confirmed; the current settings and the noise
    // profile then hold the dialog's values and its last pre-analysis.
    bool (*runSettingsPhase)(PlaneImage& image, const char* imageProfilePath,
                             const char* displayProfilePath) = nullptr;
    // Creates and shows the run's progress window with status "VEL Noise Reduction...".
    std::unique_ptr<ProgressWindow> (*createProgressWindow)() = nullptr;
};

// Registers the steps (null removes them). The pointed-to record must outlive its use.
void SetInteractiveSteps(const InteractiveSteps* steps);
const InteractiveSteps* GetInteractiveSteps();

}  // namespace vel
