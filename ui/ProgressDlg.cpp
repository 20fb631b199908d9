#include "ui/ProgressDlg.h"

#include <cmath>
#include <cstdio>

#include "resources/Resources.h"

namespace vel::ui {

namespace {

// The window shows 0..100 %; anything else (a NaN from a broken job included) is limited
// before it is converted to an integer.
double Limited(float percent) {
    const double p = static_cast<double>(percent);
    if (std::isnan(p) || p < 0.0) {
        return 0.0;
    }
    return p > 100.0 ? 100.0 : p;
}

}  // namespace

int ProgressBarPosition(float percent) {
    return static_cast<int>(Limited(percent) * 10.0 + 0.5);
}

std::string ProgressPercentText(float percent) {
    char text[16];
    std::snprintf(text, sizeof text, "%d %%", static_cast<int>(Limited(percent) + 0.5));
    return text;
}

CProgressDlg::CProgressDlg() : fw::CDialog(res::kProgressTemplate, nullptr) {}

bool CProgressDlg::Create(const std::string& statusText, fw::CWnd* parent, bool cancelEnabled,
                          CancelFlag* cancelFlag, uint32_t notifyMessage) {
    if (!fw::CDialog::Create(parent)) {
        return false;
    }
    status_ = statusText;
    bar_.SetRange32(0, kRange);
    SetProgress(0.0f);
    cancel_.EnableWindow(cancelEnabled);
    SetCancelFlag(cancelFlag);
    notifyWindow_ = parent && parent->IsWindow() ? parent : nullptr;
    notifyMessage_ = notifyMessage;
    ShowWindow(fw::kSwShowNormal);
    Refresh();
    return true;
}

void CProgressDlg::Refresh() {
    UpdateData(false);
    UpdateWindow();
}

void CProgressDlg::SetStatusText(const std::string& text) {
    status_ = text;
    Refresh();
}

void CProgressDlg::SetProgress(float percent) {
    bar_.SetPos(ProgressBarPosition(percent));
    percent_ = ProgressPercentText(percent);
    Refresh();
}

void CProgressDlg::SetCancelFlag(CancelFlag* flag) {
    cancelFlag_ = flag;
    if (flag) {
        flag->store(false, std::memory_order_release);
    }
}

void CProgressDlg::DoDataExchange(fw::CDataExchange* dx) {
    fw::CDialog::DoDataExchange(dx);
    fw::DDX_Control(dx, kBar, bar_);
    fw::DDX_Text(dx, kStatus, status_);
    fw::DDX_Text(dx, kPercent, percent_);
    fw::DDX_Control(dx, fw::kIdCancel, cancel_);
}

void CProgressDlg::OnCancel() {
    SetStatusText("Cancelling...");
    if (cancelFlag_) {
        cancelFlag_->store(true, std::memory_order_release);
    }
    if (notifyWindow_ && notifyMessage_ != 0) {
        notifyWindow_->PostMessage(notifyMessage_, 0, 0);
    }
}

}  // namespace vel::ui
