#pragma once
// The settings dialog of an interactive run: the six parameters as slider and edit box pairs,
// the link between luma and chroma, the three switches, presets, and the live preview panel it
// owns. Every change requests a new preview.

#include <array>
#include <string>
#include <vector>

#include "resources/ParamControls.h"
#include "settings/NoiseReductionParams.h"
#include "settings/ParamTable.h"
#include "settings/Presets.h"
#include "ui/PictureButton.h"
#include "ui/PreviewPanel.h"

namespace vel::ui {

class CSettingsDlg : public fw::CDialog {
  public:
    // The six parameters in the dialog's order: luma and chroma threshold, luma and chroma
    // suppression, light and dark areas correction.
    static constexpr int kParams = 6;
    static const std::array<int32_t NoiseReductionParams::*, kParams> kFields;
    // The parameter table's entry of parameter k: its ranges, slider offset and default.
    static const ParamInfo& Param(int k);
    // Its slider and edit box.
    static const res::ParamControl& Control(int k);

    CSettingsDlg();

    // The eight fields a run hands over and takes back: the six values and the high-quality
    // and re-analyze switches. The link box keeps its own state.
    void SetFromSettings(const NoiseReductionParams& settings);
    // What the run takes over after OK. A value typed outside its slider's range arrives
    // limited to that range, as the slider shows it.
    void CopyToSettings(NoiseReductionParams& settings) const;

    // The thumbnail and the preview, with their jobs; set up before the dialog opens.
    PreviewPanel& Preview() { return panel_; }
    const PreviewPanel& Preview() const { return panel_; }
    // What the preview and pre-analysis jobs copy when they start.
    const NoiseReductionParams& PreviewSettings() const { return preview_; }
    int32_t EditValue(int k) const { return edits_[k]; }
    int SliderPosition(int k) const { return sliders_[k]; }
    const std::vector<Preset>& PresetList() const { return presets_; }
    const std::string& PresetFilePath() const { return presetFile_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(fw::CDataExchange* dx) override;
    bool OnCommand(int id, int code) override;
    bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void OnHScroll(int id, int position) override;
    bool OnToolTipNeedText(int controlId, std::string& text) override;
    void OnPaint(fw::CDC& dc) override;
    void OnLButtonDown(fw::Point client) override;
    void OnMouseMove(fw::Point client) override;
    void OnLButtonUp(fw::Point client) override;
    bool OnSetCursor() override;

  private:
    // Reads (true) or writes the controls; change notifications are ignored meanwhile.
    bool Transfer(bool read);
    void TakeLinkSnapshot();
    void ApplyLink();
    void SyncSlidersFromEdits();
    void CopyToPreviewSettings();
    void OnPresetSelected();
    void LoadPresetFile();
    void SavePresetFile();
    void FillPresetBox();

    // Until the run hands its settings over: what a settings file without the keys gives.
    int presetIndex_ = 2;
    std::array<int, kParams> sliders_{};
    std::array<int32_t, kParams> edits_{};
    int highQuality_ = 0;
    int link_ = 0;
    int reanalyze_ = 0;
    NoiseReductionParams preview_;
    std::array<int32_t, 4> linkSnapshot_{};
    std::vector<Preset> presets_;
    std::string presetFile_;
    CPictureButton about_;
    bool transferring_ = false;
    // Last: its jobs end before anything else of the dialog goes.
    PreviewPanel panel_{*this};
};

// A value as it reaches the preview and the run: limited to the slider's range of its
// parameter (edit range -10..10 for thresholds and corrections, 0..20 for suppressions).
int32_t LimitToRange(int k, int32_t value);

}  // namespace vel::ui
