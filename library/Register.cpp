// Compiled into the plug-in library itself: loading the library registers the user
// interface's steps with the processing run. On Windows the dialogs are part of the library;
// elsewhere they live in a module of their own, loaded at the first window (library/UiModule.cpp).

#include <cstdio>

#include "platform/Product.h"
#include "plugin/Instance.h"
#include "plugin/InteractiveSteps.h"

#ifdef _WIN32
#include "ui/RunSteps.h"
#else
#include <mutex>
#include <string>

#include "platform/Module.h"
#include "platform/Platform.h"
#endif

namespace {

#ifdef _WIN32

const vel::InteractiveSteps& Steps() {
    return vel::ui::UiInteractiveSteps();
}

#else

using StepsFn = const vel::InteractiveSteps* (*)();
using PumpFn = bool (*)();

// The module next to this library; null (with one line on standard error) when it cannot be
// loaded, which leaves every window step without a window.
const vel::InteractiveSteps* LoadModule() {
    static std::once_flag once;
    static const vel::InteractiveSteps* steps = nullptr;
    std::call_once(once, [] {
        std::string path;
        std::string error;
        void* module = vel::platform::LoadModuleBeside(reinterpret_cast<const void*>(&LoadModule),
                                                       "libVELNoiseReductionUi.so", path, error);
        // POSIX guarantees that a data pointer from the symbol table converts to a function's.
        const auto getSteps =
            reinterpret_cast<StepsFn>(vel::platform::ModuleSymbol(module, "VelnrUiSteps"));
        const auto pump =
            reinterpret_cast<PumpFn>(vel::platform::ModuleSymbol(module, "VelnrUiPump"));
        if (!getSteps || !pump) {
            std::fprintf(stderr,
                         "%s: the dialogs' module %s cannot be loaded (%s); no dialog can be "
                         "shown.\n",
                         vel::kProductName, path.c_str(),
                         module ? "its entry points are missing" : error.c_str());
            return;
        }
        // The run's wait lives in this library: it must pump the module's window system.
        vel::platform::SetMessagePump(pump);
        steps = getSteps();
    });
    return steps;
}

std::unique_ptr<vel::ProgressWindow> CreateProgressWindow() {
    const vel::InteractiveSteps* module = LoadModule();
    return module && module->createProgressWindow ? module->createProgressWindow() : nullptr;
}

bool RunSettingsPhase(const vel::SettingsPhase& phase) {
    const vel::InteractiveSteps* module = LoadModule();
    return module && module->runSettingsPhase && module->runSettingsPhase(phase);
}

const vel::InteractiveSteps& Steps() {
    static const vel::InteractiveSteps steps{&RunSettingsPhase, &CreateProgressWindow};
    return steps;
}

#endif

struct Registration {
    Registration() { vel::LibraryInstance().steps.store(&Steps(), std::memory_order_release); }
    ~Registration() { vel::LibraryInstance().steps.store(nullptr, std::memory_order_release); }
};

const Registration registration;

}  // namespace
