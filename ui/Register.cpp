// Compiled into the plug-in library itself, so that loading the library registers the user
// interface's steps with the processing run.

#include "ui/RunSteps.h"

namespace {

struct Registration {
    Registration() { vel::SetInteractiveSteps(&vel::ui::UiInteractiveSteps()); }
    ~Registration() { vel::SetInteractiveSteps(nullptr); }
};

const Registration registration;

}  // namespace
