#include "ui/AboutDlg.h"

#include "resources/Resources.h"

namespace vel::ui {

CAboutDlg::CAboutDlg(fw::CWnd* parent) : fw::CDialog(res::kAboutTemplate, parent) {}

void CAboutDlg::DoDataExchange(fw::CDataExchange* dx) {
    fw::CDialog::DoDataExchange(dx);
    fw::DDX_Control(dx, kLink, link_);
}

bool CAboutDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    picture_.Attach(kPicture, this, res::kAboutPictureBitmap, false);
    link_.SetURL(kProductPage);
    return true;
}

}  // namespace vel::ui
