#pragma once
// The about box: picture, product name, version, notice, credits and a link to the product's
// web page.

#include "framework/Dialog.h"
#include "resources/ControlIds.h"
#include "ui/PictureButton.h"
#include "ui/WebLink.h"

namespace vel::ui {

inline constexpr const char* kProductPage = "https://korvane.example/velnr/";

class CAboutDlg : public fw::CDialog {
  public:
    static constexpr int kPicture = res::kAboutPicture;
    static constexpr int kLink = res::kAboutLink;

    explicit CAboutDlg(fw::CWnd* parent = nullptr);

    bool OnInitDialog() override;
    const CWebLink& Link() const { return link_; }
    const CPictureButton& Picture() const { return picture_; }

  protected:
    void DoDataExchange(fw::CDataExchange* dx) override;

  private:
    CPictureButton picture_;
    CWebLink link_;
};

}  // namespace vel::ui
