#include "ui/SettingsDlg.h"

#include <algorithm>

#include "framework/App.h"
#include "framework/Controls.h"
#include "platform/Product.h"
#include "platform/Profile.h"
#include "resources/Resources.h"
#include "settings/ParamTable.h"
#include "ui/AboutDlg.h"

namespace vel::ui {

using P = NoiseReductionParams;
const std::array<int32_t P::*, CSettingsDlg::kParams> CSettingsDlg::kFields = [] {
    std::array<int32_t P::*, kParams> fields{};
    for (int k = 0; k < kParams; ++k) {
        fields[k] = res::kParamControls[k].intField;
    }
    return fields;
}();

namespace {

constexpr int kLumaThreshold = 0, kChromaThreshold = 1, kLumaSuppression = 2,
              kChromaSuppression = 3, kLight = 4, kDark = 5;
constexpr const char* kPresetFilter = "Preset files (*.pst)|*.pst|All files (*.*)|*.*||";

static_assert(res::kParamControls[CSettingsDlg::kParams - 1].boolField == nullptr &&
                  res::kParamControls[CSettingsDlg::kParams].intField == nullptr,
              "the dialog's six values come first");

const ParamInfo& Info(int k) {
    return res::kParamControls[static_cast<size_t>(k)].Param();
}

const res::ParamControl& Ids(int k) {
    return res::kParamControls[static_cast<size_t>(k)];
}

int DefaultSwitch(bool NoiseReductionParams::*field) {
    for (const ParamInfo& param : kParamTable) {
        if (param.boolField == field) {
            return param.defaultIfMissing != 0 ? 1 : 0;
        }
    }
    return 0;
}

// The slider position that shows an edit value: the nearest end for values outside the range.
int SliderFor(int k, int32_t value) {
    const int64_t position = int64_t{value} + Info(k).sliderOffset;
    return static_cast<int>(std::clamp<int64_t>(position, Info(k).sliderMin, Info(k).sliderMax));
}

// The file name without folder and extension.
std::string FileTitle(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        name.erase(dot);
    }
    return name;
}

int IndexOfEdit(int id) {
    for (int k = 0; k < CSettingsDlg::kParams; ++k) {
        if (Ids(k).editId == id) {
            return k;
        }
    }
    return -1;
}

}  // namespace

const ParamInfo& CSettingsDlg::Param(int k) {
    return Info(k);
}

const res::ParamControl& CSettingsDlg::Control(int k) {
    return Ids(k);
}

int32_t LimitToRange(int k, int32_t value) {
    return std::clamp(value, Info(k).editMin, Info(k).editMax);
}

CSettingsDlg::CSettingsDlg()
    : fw::CDialog(res::kSettingsTemplate),
      highQuality_(DefaultSwitch(&NoiseReductionParams::highQuality)),
      link_(DefaultSwitch(&NoiseReductionParams::linkLumaChroma)),
      reanalyze_(DefaultSwitch(&NoiseReductionParams::reanalyzeWhole)) {
    for (int k = 0; k < kParams; ++k) {
        edits_[k] = Info(k).defaultIfMissing;
        sliders_[k] = SliderFor(k, edits_[k]);
    }
}

void CSettingsDlg::SetFromSettings(const NoiseReductionParams& settings) {
    for (int k = 0; k < kParams; ++k) {
        edits_[k] = settings.*kFields[k];
    }
    highQuality_ = settings.highQuality ? 1 : 0;
    reanalyze_ = settings.reanalyzeWhole ? 1 : 0;
}

void CSettingsDlg::CopyToSettings(NoiseReductionParams& settings) const {
    for (int k = 0; k < kParams; ++k) {
        settings.*kFields[k] = LimitToRange(k, edits_[k]);
    }
    settings.highQuality = highQuality_ != 0;
    settings.reanalyzeWhole = reanalyze_ != 0;
}

void CSettingsDlg::DoDataExchange(fw::CDataExchange* dx) {
    // The controls in the dialog's tab order: a failed read stops at the first bad box.
    const auto edit = [&](int k) {
        fw::DDX_Text(dx, Ids(k).editId, edits_[k]);
        if (Info(k).editValidated) {
            fw::DDV_MinMaxInt(dx, edits_[k], Info(k).editMin, Info(k).editMax);
        }
    };
    fw::DDX_CBIndex(dx, res::kSettingsPreset, presetIndex_);
    for (int k = kLumaThreshold; k <= kChromaSuppression; ++k) {
        fw::DDX_Slider(dx, Ids(k).sliderId, sliders_[k]);
        edit(k);
    }
    fw::DDX_Check(dx, res::kSettingsHighQuality, highQuality_);
    fw::DDX_Check(dx, res::kSettingsLinkLumaChroma, link_);
    fw::DDX_Slider(dx, Ids(kLight).sliderId, sliders_[kLight]);
    fw::DDX_Slider(dx, Ids(kDark).sliderId, sliders_[kDark]);
    edit(kLight);
    edit(kDark);
    fw::DDX_Check(dx, res::kSettingsReanalyzeWhole, reanalyze_);
}

bool CSettingsDlg::Transfer(bool read) {
    const bool outer = !transferring_;
    transferring_ = true;
    const bool ok = UpdateData(read);
    if (outer) {
        transferring_ = false;
    }
    return ok;
}

void CSettingsDlg::TakeLinkSnapshot() {
    std::copy_n(edits_.begin(), linkSnapshot_.size(), linkSnapshot_.begin());
}

void CSettingsDlg::ApplyLink() {
    // The first of the four that changed carries its change over to its partner.
    static constexpr int kPartner[4] = {kChromaThreshold, kLumaThreshold, kChromaSuppression,
                                        kLumaSuppression};
    for (int k = 0; k < 4; ++k) {
        if (edits_[k] != linkSnapshot_[k]) {
            const int64_t moved = int64_t{edits_[kPartner[k]]} + edits_[k] - linkSnapshot_[k];
            edits_[kPartner[k]] =
                static_cast<int32_t>(std::clamp<int64_t>(moved, INT32_MIN, INT32_MAX));
            break;
        }
    }
    for (int k = kLumaThreshold; k <= kChromaSuppression; ++k) {
        edits_[k] = LimitToRange(k, edits_[k]);
    }
    Transfer(false);
    SyncSlidersFromEdits();
}

void CSettingsDlg::SyncSlidersFromEdits() {
    Transfer(true);
    for (int k = 0; k < kParams; ++k) {
        sliders_[k] = SliderFor(k, edits_[k]);
    }
    Transfer(false);
}

void CSettingsDlg::CopyToPreviewSettings() {
    for (int k = 0; k < kParams; ++k) {
        preview_.*kFields[k] = LimitToRange(k, edits_[k]);
    }
    preview_.highQuality = highQuality_ != 0;
    preview_.reanalyzeWhole = reanalyze_ != 0;
}

bool CSettingsDlg::OnInitDialog() {
    // The first pre-analysis starts inside the panel's initialisation: it reads the values the
    // run handed over, not the record's construction values.
    CopyToPreviewSettings();
    transferring_ = true;  // the base writes the controls first
    fw::CDialog::OnInitDialog();
    panel_.OnInitDialog();
    transferring_ = false;
    for (int k = 0; k < kParams; ++k) {
        if (fw::CWnd* slider = GetDlgItem(Ids(k).sliderId)) {
            fw::ctrl::SetSliderRange(*slider, Info(k).sliderMin, Info(k).sliderMax, false);
            fw::ctrl::SetTicFreq(*slider, 1);
        }
    }
    about_.Attach(res::kSettingsAbout, this, res::kAboutButtonBitmap, false);
    presets_ = BuiltInPresets();
    presetFile_ = platform::GetProfileString("Last Folders", "Preset File", "");
    if (!presetFile_.empty()) {
        LoadUserPresets(presetFile_.c_str(), presets_);
    }
    FillPresetBox();
    SyncSlidersFromEdits();
    CopyToPreviewSettings();
    panel_.RequestPreview();
    EnableToolTips(true);
    return true;
}

void CSettingsDlg::OnOK() {
    panel_.OnOK();
}

void CSettingsDlg::OnCancel() {
    panel_.OnCancel();
}

bool CSettingsDlg::OnCommand(int id, int code) {
    if (code == fw::kEnChange) {
        if (transferring_) {
            return true;
        }
        const int k = IndexOfEdit(id);
        if (k == kLumaThreshold) {
            Transfer(true);
            sliders_[k] = SliderFor(k, edits_[k]);
            Transfer(false);
            return true;
        }
        if (k >= 0) {
            const bool linked = k <= kChromaSuppression;
            if (linked) {
                TakeLinkSnapshot();
            }
            Transfer(true);
            sliders_[k] = SliderFor(k, edits_[k]);
            Transfer(false);
            if (linked && link_) {
                ApplyLink();
            }
            CopyToPreviewSettings();
            panel_.RequestPreview();
            return true;
        }
    }
    if (id == res::kSettingsHighQuality && code == fw::kBnClicked) {
        Transfer(true);
        CopyToPreviewSettings();
        panel_.StartPreAnalysis();
        panel_.RequestPreview();
        return true;
    }
    if (id == res::kSettingsAbout && code == fw::kBnClicked) {
        CAboutDlg about(this);
        about.DoModal();
        return true;
    }
    if (id == res::kSettingsPreset && code == fw::kCbnSelChange) {
        OnPresetSelected();
        return true;
    }
    return panel_.OnCommand(id, code) || fw::CDialog::OnCommand(id, code);
}

bool CSettingsDlg::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return panel_.OnMessage(message) || fw::CDialog::OnMessage(message, wParam, lParam);
}

void CSettingsDlg::OnPaint(fw::CDC& dc) {
    panel_.OnPaint(dc);
}

void CSettingsDlg::OnLButtonDown(fw::Point client) {
    panel_.OnLButtonDown(client);
}

void CSettingsDlg::OnMouseMove(fw::Point client) {
    panel_.OnMouseMove(client);
}

void CSettingsDlg::OnLButtonUp(fw::Point client) {
    panel_.OnLButtonUp(client);
}

bool CSettingsDlg::OnSetCursor() {
    return panel_.OnSetCursor();
}

void CSettingsDlg::OnHScroll(int /*id*/, int /*position*/) {
    TakeLinkSnapshot();
    Transfer(true);
    for (int k = 0; k < kParams; ++k) {
        edits_[k] = sliders_[k] - Info(k).sliderOffset;
    }
    Transfer(false);
    if (link_) {
        ApplyLink();
    }
    CopyToPreviewSettings();
    panel_.RequestPreview();
}

bool CSettingsDlg::OnToolTipNeedText(int controlId, std::string& text) {
    if (!res::HasString(controlId)) {
        return false;
    }
    text = res::LoadString(controlId);
    return true;
}

void CSettingsDlg::FillPresetBox() {
    fw::CWnd* box = GetDlgItem(res::kSettingsPreset);
    if (!box) {
        return;
    }
    for (int i = fw::ctrl::GetCount(*box) - 1; i >= 3; --i) {
        fw::ctrl::DeleteString(*box, i);
    }
    for (const Preset& preset : presets_) {
        fw::ctrl::AddString(*box, preset.name);
    }
}

void CSettingsDlg::OnPresetSelected() {
    Transfer(true);
    if (presetIndex_ == 0) {
        LoadPresetFile();
    } else if (presetIndex_ == 1) {
        SavePresetFile();
    } else if (presetIndex_ >= 3 && static_cast<size_t>(presetIndex_ - 3) < presets_.size()) {
        const Preset& preset = presets_[static_cast<size_t>(presetIndex_ - 3)];
        for (int k = 0; k < kParams; ++k) {
            if (preset.Applied(Info(k)) != kPresetNotSet) {
                edits_[k] = preset.Applied(Info(k));
            }
        }
        CopyToPreviewSettings();
        panel_.RequestPreview();
        Transfer(false);
        SyncSlidersFromEdits();
    }
}

void CSettingsDlg::LoadPresetFile() {
    fw::CFileDialog dialog(true, "pst", "", false, kPresetFilter, this);
    if (dialog.DoModal() != fw::kIdOk) {
        return;
    }
    presetFile_ = dialog.GetPathName();
    LoadUserPresets(presetFile_.c_str(), presets_);
    FillPresetBox();
}

void CSettingsDlg::SavePresetFile() {
    fw::CFileDialog dialog(false, "pst", "", true, kPresetFilter, this);
    dialog.SetTitle("Select the name of the preset");
    if (dialog.DoModal() != fw::kIdOk) {
        return;
    }
    const std::string path = dialog.GetPathName();
    NoiseReductionParams values;
    for (int k = 0; k < kParams; ++k) {
        values.*kFields[k] = edits_[k];
    }
    values.highQuality = highQuality_ != 0;
    values.reanalyzeWhole = reanalyze_ != 0;
    std::string reason;
    if (SaveUserPreset(path.c_str(), FileTitle(path), values, &reason)) {
        fw::AfxMessageBox("Preset file saved.\nUse \"Load preset\" option to load the preset.",
                          fw::kMbOk | fw::kMbIconInformation);
    } else {
        std::string text = "The preset could not be saved to ";
        text += path;
        text += ": ";
        text += reason;
        text += '.';
        fw::AfxMessageBox(text, fw::kMbOk | fw::kMbIconExclamation);
    }
}

}  // namespace vel::ui
