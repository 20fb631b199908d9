// Dialog templates and the string table.

#include <array>
#include <map>

#include "resources/Resources.h"
#include "settings/ParamTable.h"

namespace vel::res {

namespace {

using K = ControlKind;

constexpr const char* kPresetItems[] = {"Load user preset...", "Make new user preset...",
                                        "Last settings"};

// Settings dialog. The preview and the thumbnail are painted into the free area on the right.
const ControlTemplate kSettingsControls[] = {
    {kIdStatic, K::Label, "Preset", 6, 6, 22, 8, kAlignLeft, {}},
    {2000, K::ComboBox, "", 32, 4, 148, 126, kVScroll | kTabStop, kPresetItems},
    {kIdStatic, K::Label, "Luma threshold:", 6, 30, 52, 8, kAlignLeft, {}},
    {2001, K::Slider, "", 74, 26, 82, 15, kAutoTicks | kTabStop, {}},
    {2002, K::Edit, "", 160, 28, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Chroma threshold:", 6, 48, 60, 8, kAlignLeft, {}},
    {2003, K::Slider, "", 74, 44, 82, 15, kAutoTicks | kTabStop, {}},
    {2004, K::Edit, "", 160, 46, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Luma suppression:", 6, 66, 60, 8, kAlignLeft, {}},
    {2006, K::Slider, "", 74, 62, 82, 15, kAutoTicks | kTabStop, {}},
    {2007, K::Edit, "", 160, 64, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Chroma suppression:", 6, 84, 68, 8, kAlignLeft, {}},
    {2008, K::Slider, "", 74, 80, 82, 15, kAutoTicks | kTabStop, {}},
    {2009, K::Edit, "", 160, 82, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Light areas corr:", 6, 102, 54, 8, kAlignLeft, {}},
    {2011, K::Slider, "", 74, 98, 82, 15, kAutoTicks | kTabStop, {}},
    {2012, K::Edit, "", 160, 100, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {kIdStatic, K::Label, "Dark areas corr:", 6, 120, 53, 8, kAlignLeft, {}},
    {2013, K::Slider, "", 74, 116, 82, 15, kAutoTicks | kTabStop, {}},
    {2016, K::Edit, "", 160, 118, 20, 12, kAlignCenter | kBorder | kTabStop, {}},
    {2015, K::CheckBox, "Link luma && chroma settings", 12, 138, 104, 10, kTabStop, {}},
    {2014, K::CheckBox, "High quality processing", 12, 151, 89, 10, kTabStop, {}},
    {2017, K::CheckBox, "Re-analyze whole image", 12, 164, 93, 10, kTabStop, {}},
    {2005, K::OwnerDrawButton, "", 4, 178, 39, 24, kNoFrame | kTabStop, {}},
    {kIdOk, K::DefPushButton, "OK", 56, 186, 50, 14, kTabStop, {}},
    {kIdCancel, K::PushButton, "Cancel", 122, 186, 50, 14, kTabStop, {}},
    {2010, K::Label, "Making preview...", 208, 196, 112, 8, kAlignCenter, {}},
    {2022, K::Label, "Estimated processing time:", 208, 196, 182, 8, kAlignCenter, {}},
    {2020, K::Progress, "", 322, 196, 68, 8, kBorder, {}},
    {2021, K::OwnerDrawButton, "", 394, 194, 12, 11, kTabStop, {}},
};

const ControlTemplate kAboutControls[] = {
    {2006, K::OwnerDrawButton, "", 8, 2, 68, 54, kNoFrame, {}},
    {kIdStatic, K::Label, "VEL NOISE REDUCTION", 86, 10, 79, 8, kAlignCenter, {}},
    {kIdStatic, K::Label, "Plug-in filter", 96, 22, 59, 8, kAlignCenter, {}},
    {kIdStatic, K::Label, "Version 1.0 (beta 5)", 94, 34, 65, 8, kAlignCenter, {}},
    {kIdStatic, K::Label, "Copyright (C) 2025-2026 Korvane", 8, 60, 168, 8, kAlignLeft, {}},
    {kIdStatic, K::Label, "Thanks to all testers", 46, 72, 92, 8, kAlignLeft, {}},
    {2008, K::Label, "Web-page", 75, 83, 34, 8, kAlignLeft, {}},
    {kIdOk, K::DefPushButton, "OK", 68, 96, 50, 14, kTabStop, {}},
};

const ControlTemplate kProgressControls[] = {
    {2012, K::Label, "Static", 4, 4, 142, 8, kAlignLeft, {}},
    {2011, K::Progress, "", 8, 15, 134, 8, kBorder, {}},
    {2013, K::Label, "0 %", 144, 15, 22, 8, kAlignCenter, {}},
    {kIdCancel, K::PushButton, "Cancel", 63, 27, 42, 11, kTabStop, {}},
};

constexpr const char* kFont = "MS Shell Dlg";

const DialogTemplate kSettings{kSettingsDialog,
                               "VEL Noise Reduction 1.0",
                               406,
                               205,
                               kCaption | kSysMenu | kModalFrame | kCentered,
                               kFont,
                               8,
                               kSettingsControls};
const DialogTemplate kAbout{
    kAboutDialog, "About", 186, 117, kCaption | kSysMenu | kModalFrame, kFont, 8, kAboutControls};
const DialogTemplate kProgress{kProgressDialog,         "",    168, 41,
                               kModalFrame | kCentered, kFont, 8,   kProgressControls};

const DialogTemplate* const kAll[] = {&kSettings, &kAbout, &kProgress};

// The tooltips of the settings' controls come from the parameter table, their one source;
// the rest are the dialog's own.
const std::map<int, const char*>& StringTable() {
    static const std::map<int, const char*> table = [] {
        std::map<int, const char*> t = {
            {2000, "Selects preset settings"},
            {2005, "About VEL Noise Reduction..."},
            {2010, "Preview is being generated..."},
            {2021, "Zoom in"},
        };
        for (const vel::ParamInfo& param : vel::kParamTable) {
            t.emplace(param.sliderId, param.tooltip);
            if (param.editId != 0) {
                t.emplace(param.editId, param.tooltip);
            }
        }
        return t;
    }();
    return table;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate* t : kAll) {
        if (t->id == id) {
            return t;
        }
    }
    return nullptr;
}

const ControlTemplate* FindControl(const DialogTemplate& dialog, int controlId) {
    for (const ControlTemplate& c : dialog.controls) {
        if (c.id == controlId && controlId != kIdStatic) {
            return &c;
        }
    }
    return nullptr;
}

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
