#pragma once
// The one definition of every stored setting. The settings store, the preset files, the
// settings dialog (ranges, control ids, tooltips) and the command-line host read this table;
// nothing else spells a key, a range or a default.

#include <array>
#include <cstdint>
#include <string_view>

#include "settings/NoiseReductionParams.h"

namespace vel {

enum class ParamKind : uint8_t { Decibel, Switch };

struct ParamInfo {
    // Key in settings and preset files.
    const char* key;
    // Field name, also the command-line option ("luma-threshold" style is derived by callers).
    const char* name;
    ParamKind kind;
    // Exactly one of the two is set, by kind.
    int32_t NoiseReductionParams::*intField;
    bool NoiseReductionParams::*boolField;
    const char* unit;  // "dB" or ""
    // Dialog: slider positions run sliderMin..sliderMax; slider = edit + sliderOffset.
    int32_t sliderMin;
    int32_t sliderMax;
    int32_t sliderOffset;
    // Dialog edit range; validated only where editValidated (the two corrections).
    int32_t editMin;
    int32_t editMax;
    bool editValidated;
    int32_t initial;           // current settings when the library is loaded
    int32_t defaultIfMissing;  // what a settings file without the key gives
    // Control ids: slider (or check box) and edit box (0 for switches). The tooltip is the
    // string resource numbered like the slider or check box.
    int32_t sliderId;
    int32_t editId;
    const char* tooltip;

    int32_t Get(const NoiseReductionParams& p) const {
        return kind == ParamKind::Decibel ? p.*intField : static_cast<int32_t>(p.*boolField);
    }
    void Set(NoiseReductionParams& p, int32_t value) const {
        if (kind == ParamKind::Decibel) {
            p.*intField = value;
        } else {
            p.*boolField = value != 0;
        }
    }
};

// In the order the settings file is read and written.
inline constexpr std::array<ParamInfo, 9> kParamTable{{
    {"Luma Threshold", "lumaThreshold", ParamKind::Decibel, &NoiseReductionParams::lumaThreshold,
     nullptr, "dB", 0, 20, 10, -10, 10, false, -2, 0, 2001, 2002,
     "Controls noise/details detection for luminance"},
    {"Chroma Threshold", "chromaThreshold", ParamKind::Decibel,
     &NoiseReductionParams::chromaThreshold, nullptr, "dB", 0, 20, 10, -10, 10, false, 1, 1, 2003,
     2004, "Controls noise/details detection for chrominance"},
    {"Luma Suppression", "lumaSuppression", ParamKind::Decibel,
     &NoiseReductionParams::lumaSuppression, nullptr, "dB", 0, 20, 0, 0, 20, false, 6, 9, 2006,
     2007, "Maximal suppression of luminance noise, dB"},
    {"Chroma Suppression", "chromaSuppression", ParamKind::Decibel,
     &NoiseReductionParams::chromaSuppression, nullptr, "dB", 0, 20, 0, 0, 20, false, 12, 12, 2008,
     2009, "Maximal suppression of chrominance noise, dB"},
    {"Link Luma Chroma", "linkLumaChroma", ParamKind::Switch, nullptr,
     &NoiseReductionParams::linkLumaChroma, "", 0, 1, 0, 0, 1, false, 1, 1, 2015, 0,
     "Links user settings for luminance and chrominance"},
    {"High Quality", "highQuality", ParamKind::Switch, nullptr, &NoiseReductionParams::highQuality,
     "", 0, 1, 0, 0, 1, false, 1, 1, 2014, 0, "High-quality processing"},
    {"Reanalyze Whole", "reanalyzeWhole", ParamKind::Switch, nullptr,
     &NoiseReductionParams::reanalyzeWhole, "", 0, 1, 0, 0, 1, false, 0, 0, 2017, 0,
     "Enable this for more accurate noise estimation before final processing"},
    {"Light Correction", "lightCorrection", ParamKind::Decibel,
     &NoiseReductionParams::lightCorrection, nullptr, "dB", 0, 20, 10, -10, 10, true, 0, 0, 2011,
     2012, "Alters noise threshold for light areas"},
    {"Dark Correction", "darkCorrection", ParamKind::Decibel, &NoiseReductionParams::darkCorrection,
     nullptr, "dB", 0, 20, 10, -10, 10, true, 0, 0, 2013, 2016,
     "Alters noise threshold for dark areas"},
}};

// The entry with the given settings-file key (exact spelling), or null.
inline const ParamInfo* FindParam(std::string_view key) {
    for (const ParamInfo& param : kParamTable) {
        if (key == param.key) {
            return &param;
        }
    }
    return nullptr;
}

}  // namespace vel
