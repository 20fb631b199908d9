#include "ui/RunSteps.h"

#include <mutex>
#include <string>

#include "framework/App.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "platform/Profile.h"
#include "plugin/PlaneImage.h"
#include "settings/NoiseReductionParams.h"
#include "ui/ProgressDlg.h"
#include "ui/SettingsDlg.h"

namespace vel::ui {

namespace {

class RunProgressWindow : public ProgressWindow {
  public:
    ~RunProgressWindow() override { dialog_.DestroyWindow(); }
    bool Create() {
        std::string status = kProductName;
        status += "...";
        return dialog_.Create(status, nullptr, true, nullptr, 0);
    }
    void SetStatusText(const char* text) override { dialog_.SetStatusText(text ? text : ""); }
    void SetProgress(float percent) override { dialog_.SetProgress(percent); }
    void SetCancelFlag(CancelFlag* flag) override { dialog_.SetCancelFlag(flag); }

  private:
    CProgressDlg dialog_;
};

}  // namespace

bool EnsureWindows() {
    if (!fw::EnsureGui()) {
        return false;
    }
    static std::once_flag once;
    std::call_once(once, [] { platform::SetMessagePump(&fw::PumpMessages); });
    return true;
}

std::unique_ptr<ProgressWindow> CreateRunProgressWindow() {
    if (!EnsureWindows()) {
        return nullptr;
    }
    auto window = std::make_unique<RunProgressWindow>();
    if (!window->Create()) {
        return nullptr;
    }
    return window;
}

bool RunSettingsPhase(const SettingsPhase& phase) {
    if (!phase.image || !phase.currentSettings || !EnsureWindows()) {
        return false;
    }
    // This copy of the platform layer may be the dialogs' module's own: name the profile that
    // the library named, so that the remembered preset file is found.
    if (*phase.profileCompany != '\0') {
        platform::SetProfileLocation(phase.profileCompany, phase.profileApplication);
    }
    CSettingsDlg dialog;
    dialog.SetFromSettings(*phase.currentSettings);
    dialog.Preview().SetImage(phase.image);
    if (phase.imageProfilePath && phase.displayProfilePath) {
        dialog.Preview().SetProfiles(phase.imageProfilePath, phase.displayProfilePath);
    }
    dialog.Preview().SetRects({175, 222, 275, 287}, {285, 4, 603, 313});
    dialog.Preview().SetThreadProcs(phase.analysisWork, phase.previewWork,
                                    &dialog.PreviewSettings(), &dialog.PreviewSettings(),
                                    phase.noiseProfile);
    if (dialog.DoModal() != fw::kIdOk) {
        return false;
    }
    dialog.CopyToSettings(*phase.currentSettings);
    return true;
}

const InteractiveSteps& UiInteractiveSteps() {
    static const InteractiveSteps steps{&RunSettingsPhase, &CreateRunProgressWindow};
    return steps;
}

}  // namespace vel::ui
