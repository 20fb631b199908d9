// The dialogs' module of the plug-in on POSIX systems. The plug-in library loads it only when
// a window is to be shown, so that silent runs never load the window toolkit and the plug-in
// library itself stays free to be unloaded and loaded again (the toolkit cannot be unloaded,
// so this module, once loaded, stays).

#include "framework/App.h"
#include "ui/RunSteps.h"

extern "C" {

__attribute__((visibility("default"))) const vel::InteractiveSteps* VelnrUiSteps() {
    return &vel::ui::UiInteractiveSteps();
}

// The pump that the plug-in's message-pumping wait calls: runs the toolkit's waiting events.
__attribute__((visibility("default"))) bool VelnrUiPump() {
    return vel::fw::PumpMessages();
}
}
