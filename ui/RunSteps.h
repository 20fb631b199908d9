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

// The settings phase of an interactive run: shows the settings dialog for the image and, on
// OK, gives the current settings the dialog's eight values. False when cancelled or when no
// window can be shown; the current settings then stay as they were.
bool RunSettingsPhase(const SettingsPhase& phase);

// The steps the plug-in registers: the settings phase and the progress window.
const InteractiveSteps& UiInteractiveSteps();

}  // namespace vel::ui
