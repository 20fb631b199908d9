// Renders every dialog of the plug-in to a PNG file, in the window backend it is built with:
//   velnr_render_dialogs <output folder>
// Writes settings.png, about.png and progress.png. On Linux run it with
// QT_QPA_PLATFORM=offscreen when there is no display.

#include <cstdio>
#include <filesystem>
#include <string>

#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "platform/Product.h"
#include "resources/Resources.h"
#include "ui/AboutDlg.h"
#include "ui/PictureButton.h"
#include "ui/ProgressDlg.h"

namespace {

using namespace vel;

// The settings template with the values a fresh settings dialog shows, and the frames of the
// thumbnail and preview areas that the preview paints into.
class SettingsPicture : public fw::CDialog {
  public:
    SettingsPicture() : fw::CDialog(res::kSettingsTemplate) {}
    bool OnInitDialog() override {
        fw::CDialog::OnInitDialog();
        about_.Attach(res::kSettingsAbout, this, res::kAboutButtonBitmap, false);
        zoom_.Attach(res::kSettingsZoom, this, res::kZoomBitmap, true);
        const int sliders[] = {
            res::kSettingsLumaThresholdSlider,   res::kSettingsChromaThresholdSlider,
            res::kSettingsLumaSuppressionSlider, res::kSettingsChromaSuppressionSlider,
            res::kSettingsLightCorrectionSlider, res::kSettingsDarkCorrectionSlider};
        const int positions[] = {10, 11, 9, 12, 10, 10};
        const int edits[] = {res::kSettingsLumaThresholdEdit,   res::kSettingsChromaThresholdEdit,
                             res::kSettingsLumaSuppressionEdit, res::kSettingsChromaSuppressionEdit,
                             res::kSettingsLightCorrectionEdit, res::kSettingsDarkCorrectionEdit};
        const int values[] = {0, 1, 9, 12, 0, 0};
        for (int i = 0; i < 6; ++i) {
            fw::CWnd& slider = *GetDlgItem(sliders[i]);
            fw::ctrl::SetSliderRange(slider, 0, 20, false);
            fw::ctrl::SetTicFreq(slider, 1);
            fw::ctrl::SetSliderPos(slider, positions[i]);
            GetDlgItem(edits[i])->SetWindowText(std::to_string(values[i]));
        }
        fw::ctrl::SetCurSel(*GetDlgItem(res::kSettingsPreset), 2);
        fw::ctrl::SetCheck(*GetDlgItem(res::kSettingsLinkLumaChroma), 1);
        fw::ctrl::SetCheck(*GetDlgItem(res::kSettingsHighQuality), 1);
        fw::ctrl::SetProgressRange(*GetDlgItem(res::kSettingsEstimateBar), 0, 1000);
        fw::ctrl::SetProgressPos(*GetDlgItem(res::kSettingsEstimateBar), 400);
        GetDlgItem(res::kSettingsEstimateLabel)->ShowWindow(fw::kSwHide);
        return true;
    }
    void OnPaint(fw::CDC& dc) override {
        const fw::Colour shadow = fw::GetSysColor(fw::SysColour::ButtonShadow);
        const fw::Colour light = fw::Rgb(255, 255, 255);
        for (const fw::Rect& r : {fw::Rect{175, 222, 275, 287}, fw::Rect{285, 4, 603, 313}}) {
            dc.Draw3dRect({r.left - 1, r.top - 1, r.right + 1, r.bottom + 1}, shadow, light);
        }
    }

  private:
    ui::CPictureButton about_;
    ui::CPictureButton zoom_;
};

bool Save(fw::CDialog& dialog, const std::filesystem::path& file) {
    dialog.ShowWindow(fw::kSwShow);
    dialog.UpdateWindow();
    fw::PumpMessages();
    const bool ok = fw::SaveWindowPng(dialog, file.string());
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.string().c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    if (!fw::EnsureGui()) {
        return 1;
    }
    const std::filesystem::path out(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(out, ec);

    bool ok = true;
    SettingsPicture settings;
    ok = settings.Create(nullptr) && Save(settings, out / "settings.png") && ok;

    ui::CAboutDlg about;
    ok = about.Create(nullptr) && Save(about, out / "about.png") && ok;

    ui::CProgressDlg progress;
    std::string status = kProductName;
    status += "...";
    ok = progress.Create(status, nullptr, true, nullptr, 0) && ok;
    progress.SetProgress(37.46f);
    ok = Save(progress, out / "progress.png") && ok;
    return ok ? 0 : 1;
}
