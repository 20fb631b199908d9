// Dialog templates and the string table.

#include <array>
#include <map>
#include <string_view>

#include "platform/Product.h"
#include "resources/ParamControls.h"
#include "resources/Resources.h"

namespace vel::res {

using fw::ControlTemplate;
using fw::DialogTemplate;
using namespace fw;  // the style bits

namespace {

using K = ControlKind;

// prefix + the product name + suffix, as a terminated string built at compile time.
template <size_t N>
constexpr std::array<char, N + 1> WithProductName(std::string_view prefix,
                                                  std::string_view suffix) {
    const std::string_view name = kProductName;
    std::array<char, N + 1> out{};
    size_t n = 0;
    for (std::string_view part : {prefix, name, suffix}) {
        for (char c : part) {
            out[n++] = c;
        }
    }
    return out;
}
constexpr size_t kNameLength = std::string_view(kProductName).size();
constexpr auto kCaptionText = WithProductName<kNameLength + 4>("", " 1.0");
constexpr auto kAboutProductText = WithProductName<kNameLength + 9>("About ", "...");

constexpr const char* kPresetItems[] = {"Load user preset...", "Make new user preset...",
                                        "Last settings"};

// Settings dialog. The preview and the thumbnail are painted into the free area on the right.
// clang-format off
const ControlTemplate kSettingsControls[] = {
    {kIdStatic, K::Label, "Preset", 6, 6, 22, 8, kAlignLeft, {}},
    {kSettingsPreset, K::ComboBox, "", 32, 4, 148, 126, kVScroll | kTabStop, kPresetItems},
    {kIdStatic, K::Label, "Luma threshold:", 6, 30, 52, 8, kAlignLeft, {}},
    {kSettingsLumaThresholdSlider, K::Slider, "", 74, 26, 82, 15, kAutoTicks | kTabStop, {}},
    {kSettingsLumaThresholdEdit, K::Edit, "", 160, 28, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Chroma threshold:", 6, 48, 60, 8, kAlignLeft, {}},
    {kSettingsChromaThresholdSlider, K::Slider, "", 74, 44, 82, 15, kAutoTicks | kTabStop, {}},
    {kSettingsChromaThresholdEdit, K::Edit, "", 160, 46, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Luma suppression:", 6, 66, 60, 8, kAlignLeft, {}},
    {kSettingsLumaSuppressionSlider, K::Slider, "", 74, 62, 82, 15, kAutoTicks | kTabStop, {}},
    {kSettingsLumaSuppressionEdit, K::Edit, "", 160, 64, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Chroma suppression:", 6, 84, 68, 8, kAlignLeft, {}},
    {kSettingsChromaSuppressionSlider, K::Slider, "", 74, 80, 82, 15, kAutoTicks | kTabStop, {}},
    {kSettingsChromaSuppressionEdit, K::Edit, "", 160, 82, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Light areas corr:", 6, 102, 54, 8, kAlignLeft, {}},
    {kSettingsLightCorrectionSlider, K::Slider, "", 74, 98, 82, 15, kAutoTicks | kTabStop, {}},
    {kSettingsLightCorrectionEdit, K::Edit, "", 160, 100, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Dark areas corr:", 6, 120, 53, 8, kAlignLeft, {}},
    {kSettingsDarkCorrectionSlider, K::Slider, "", 74, 116, 82, 15, kAutoTicks | kTabStop, {}},
    {kSettingsDarkCorrectionEdit, K::Edit, "", 160, 118, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kSettingsLinkLumaChroma, K::CheckBox, "Link luma && chroma settings", 12, 138, 104, 10, kTabStop, {}},
    {kSettingsHighQuality, K::CheckBox, "High quality processing", 12, 151, 89, 10, kTabStop, {}},
    {kSettingsReanalyzeWhole, K::CheckBox, "Re-analyze whole image", 12, 164, 93, 10, kTabStop, {}},
    {kSettingsAbout, K::OwnerDrawButton, "", 4, 178, 39, 24, kNoFrame | kTabStop, {}},
    {kIdOk, K::DefPushButton, "OK", 56, 186, 50, 14, kTabStop, {}},
    {kIdCancel, K::PushButton, "Cancel", 122, 186, 50, 14, kTabStop, {}},
    {kSettingsPreviewStatus, K::Label, "Making preview...", 208, 196, 112, 8, kAlignCenter, {}},
    {kSettingsEstimateLabel, K::Label, "Estimated processing time:", 208, 196, 182, 8, kAlignCenter, {}},
    {kSettingsEstimateBar, K::Progress, "", 322, 196, 68, 8, kBorder, {}},
    {kSettingsZoom, K::OwnerDrawButton, "", 394, 194, 12, 11, kTabStop, {}},
};

const ControlTemplate kAboutControls[] = {
    {kAboutPicture, K::OwnerDrawButton, "", 8, 2, 68, 54, kNoFrame, {}},
    {kIdStatic, K::Label, "VEL NOISE REDUCTION", 86, 10, 79, 8, kAlignCenter, {}},
    {kIdStatic, K::Label, "Plug-in filter", 96, 22, 59, 8, kAlignCenter, {}},
    {kIdStatic, K::Label, "Version 1.0 (beta 5)", 94, 34, 65, 8, kAlignCenter, {}},
    {kIdStatic, K::Label, "Copyright (C) 2025-2026 Korvane", 8, 60, 168, 8, kAlignLeft, {}},
    {kIdStatic, K::Label, "Thanks to all testers", 46, 72, 92, 8, kAlignLeft, {}},
    {kAboutLink, K::Label, "Web-page", 75, 83, 34, 8, kAlignLeft, {}},
    {kIdOk, K::DefPushButton, "OK", 68, 96, 50, 14, kTabStop, {}},
};

const ControlTemplate kProgressControls[] = {
    {kProgressStatus, K::Label, "Static", 4, 4, 142, 8, kAlignLeft, {}},
    {kProgressBar, K::Progress, "", 8, 15, 134, 8, kBorder, {}},
    {kProgressPercent, K::Label, "0 %", 144, 15, 22, 8, kAlignCenter, {}},
    {kIdCancel, K::PushButton, "Cancel", 63, 27, 42, 11, kTabStop, {}},
};
// clang-format on

constexpr const char* kFont = "MS Shell Dlg";

}  // namespace

const DialogTemplate kSettingsTemplate{kSettingsDialog,
                                       kCaptionText.data(),
                                       406,
                                       205,
                                       kCaption | kSysMenu | kModalFrame | kCentered,
                                       kFont,
                                       8,
                                       kSettingsControls};
const DialogTemplate kAboutTemplate{
    kAboutDialog, "About", 186, 117, kCaption | kSysMenu | kModalFrame, kFont, 8, kAboutControls};
const DialogTemplate kProgressTemplate{kProgressDialog,         "",    168, 41,
                                       kModalFrame | kCentered, kFont, 8,   kProgressControls};

namespace {

const DialogTemplate* const kAll[] = {&kSettingsTemplate, &kAboutTemplate, &kProgressTemplate};

// The tooltips of the settings' controls come from the parameter table, their one source;
// the rest are the dialog's own.
const std::map<int, const char*>& StringTable() {
    static const std::map<int, const char*> table = [] {
        std::map<int, const char*> t = {
            {kSettingsPreset, "Selects preset settings"},
            {kSettingsAbout, kAboutProductText.data()},
            {kSettingsPreviewStatus, "Preview is being generated..."},
            {kSettingsZoom, "Zoom in"},
        };
        for (const ParamControl& control : kParamControls) {
            t.emplace(control.sliderId, control.Param().tooltip);
            if (control.editId != 0) {
                t.emplace(control.editId, control.Param().tooltip);
            }
        }
        return t;
    }();
    return table;
}

}  // namespace

std::string LoadString(int id) {
    const auto it = StringTable().find(id);
    return it == StringTable().end() ? std::string() : std::string(it->second);
}

bool HasString(int id) {
    return StringTable().count(id) != 0;
}

std::span<const DialogTemplate* const> AllDialogTemplates() {
    return kAll;
}

}  // namespace vel::res
