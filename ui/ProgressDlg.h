#pragma once
// The modeless progress window of a processing run: status line, bar, percentage, Cancel.
// Cancel only raises the running job's flag (and posts the optional notify message); the
// window never closes itself.

#include <string>

#include "engine/EngineTypes.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "resources/ControlIds.h"

namespace vel::ui {

class CProgressDlg : public fw::CDialog {
  public:
    static constexpr int kBar = res::kProgressBar;
    static constexpr int kStatus = res::kProgressStatus;
    static constexpr int kPercent = res::kProgressPercent;
    static constexpr int kRange = 1000;  // one unit is a tenth of a per cent

    CProgressDlg();

    // Creates and shows the window; false when no window can be shown.
    bool Create(const std::string& statusText, fw::CWnd* parent, bool cancelEnabled,
                CancelFlag* cancelFlag, uint32_t notifyMessage);
    void SetStatusText(const std::string& text);
    // percent 0..100; bar at trunc(percent * 10 + 0.5), text "%d %" of trunc(percent + 0.5).
    void SetProgress(float percent);
    // The flag the Cancel button sets from now on; cleared when given.
    void SetCancelFlag(CancelFlag* flag);

    const std::string& StatusText() const { return status_; }
    const std::string& PercentText() const { return percent_; }

  protected:
    void DoDataExchange(fw::CDataExchange* dx) override;
    void OnCancel() override;

  private:
    void Refresh();

    fw::CProgressCtrl bar_;
    fw::CButton cancel_;
    std::string status_;
    std::string percent_;
    CancelFlag* cancelFlag_ = nullptr;
    fw::CWnd* notifyWindow_ = nullptr;
    uint32_t notifyMessage_ = 0;
};

// Bar position and text for a percentage; values outside 0..100 (and NaN) are limited first.
int ProgressBarPosition(float percent);
std::string ProgressPercentText(float percent);

}  // namespace vel::ui
