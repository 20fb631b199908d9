#include "ui/RunSteps.h"

#include <mutex>
#include <string>

#include "framework/App.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "ui/ProgressDlg.h"

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

const InteractiveSteps& UiInteractiveSteps() {
    static const InteractiveSteps steps{nullptr, &CreateRunProgressWindow};
    return steps;
}

}  // namespace vel::ui
