#pragma once
// The interactive steps that the user interface gives a processing run.

#include <memory>

#include "plugin/InteractiveSteps.h"

namespace vel::ui {

// Windows can be shown (see fw::EnsureGui), with the run's message-pumping wait serving them.
bool EnsureWindows();

// The run's progress window: created with "VEL Noise Reduction...", no parent, Cancel
// enabled, no flag, no message; destroyed with the returned object. Null when no window can
// be shown (the run then goes on without one).
std::unique_ptr<ProgressWindow> CreateRunProgressWindow();

// The steps the plug-in registers: the progress window. The settings phase stays empty until
// the settings dialog exists, so an interactive run keeps ending as a cancelled dialog.
const InteractiveSteps& UiInteractiveSteps();

}  // namespace vel::ui
