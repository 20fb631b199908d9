#pragma once
// The one definition of every stored setting. The settings store, the preset files, the
// settings dialog (ranges, defaults, validation, tooltips) and the command-line host read this
// table; nothing else spells a key, a range or a default. Which controls show a setting is the
// dialog's side (resources/ParamControls.h).

#include <array>
#include <cstddef>
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
    int32_t NoiseReductionParams::*intField = nullptr;
    bool NoiseReductionParams::*boolField = nullptr;
    const char* unit;  // "dB" or ""
    // Dialog: slider positions run sliderMin..sliderMax; slider = edit + sliderOffset.
    int32_t sliderMin = 0;
    int32_t sliderMax;
    int32_t sliderOffset;
    // Dialog edit range; validated only where editValidated (the two corrections).
    int32_t editMin;
    int32_t editMax;
    bool editValidated = false;
    int32_t initial;           // a new settings record's value (the library's at load time)
    int32_t defaultIfMissing;  // what a settings file without the key gives
    // Position of the key in a preset section, after "Preset Name"; -1: not part of presets.
    int8_t presetOrder;
    // Shown for the setting's controls and in the command-line help.
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
    {.key = "Luma Threshold",
     .name = "lumaThreshold",
     .kind = ParamKind::Decibel,
     .intField = &NoiseReductionParams::lumaThreshold,
     .unit = "dB",
     .sliderMax = 20,
     .sliderOffset = 10,
     .editMin = -10,
     .editMax = 10,
     .initial = -2,
     .defaultIfMissing = 0,
     .presetOrder = 0,
     .tooltip = "Controls noise/details detection for luminance"},
    {.key = "Chroma Threshold",
     .name = "chromaThreshold",
     .kind = ParamKind::Decibel,
     .intField = &NoiseReductionParams::chromaThreshold,
     .unit = "dB",
     .sliderMax = 20,
     .sliderOffset = 10,
     .editMin = -10,
     .editMax = 10,
     .initial = 1,
     .defaultIfMissing = 1,
     .presetOrder = 1,
     .tooltip = "Controls noise/details detection for chrominance"},
    {.key = "Luma Suppression",
     .name = "lumaSuppression",
     .kind = ParamKind::Decibel,
     .intField = &NoiseReductionParams::lumaSuppression,
     .unit = "dB",
     .sliderMax = 20,
     .sliderOffset = 0,
     .editMin = 0,
     .editMax = 20,
     .initial = 6,
     .defaultIfMissing = 9,
     .presetOrder = 2,
     .tooltip = "Maximal suppression of luminance noise, dB"},
    {.key = "Chroma Suppression",
     .name = "chromaSuppression",
     .kind = ParamKind::Decibel,
     .intField = &NoiseReductionParams::chromaSuppression,
     .unit = "dB",
     .sliderMax = 20,
     .sliderOffset = 0,
     .editMin = 0,
     .editMax = 20,
     .initial = 12,
     .defaultIfMissing = 12,
     .presetOrder = 3,
     .tooltip = "Maximal suppression of chrominance noise, dB"},
    {.key = "Link Luma Chroma",
     .name = "linkLumaChroma",
     .kind = ParamKind::Switch,
     .boolField = &NoiseReductionParams::linkLumaChroma,
     .unit = "",
     .sliderMax = 1,
     .sliderOffset = 0,
     .editMin = 0,
     .editMax = 1,
     .initial = 1,
     .defaultIfMissing = 1,
     .presetOrder = -1,
     .tooltip = "Links user settings for luminance and chrominance"},
    {.key = "High Quality",
     .name = "highQuality",
     .kind = ParamKind::Switch,
     .boolField = &NoiseReductionParams::highQuality,
     .unit = "",
     .sliderMax = 1,
     .sliderOffset = 0,
     .editMin = 0,
     .editMax = 1,
     .initial = 1,
     .defaultIfMissing = 1,
     .presetOrder = 6,
     .tooltip = "High-quality processing"},
    {.key = "Reanalyze Whole",
     .name = "reanalyzeWhole",
     .kind = ParamKind::Switch,
     .boolField = &NoiseReductionParams::reanalyzeWhole,
     .unit = "",
     .sliderMax = 1,
     .sliderOffset = 0,
     .editMin = 0,
     .editMax = 1,
     .initial = 0,
     .defaultIfMissing = 0,
     .presetOrder = 7,
     .tooltip = "Enable this for more accurate noise estimation before final processing"},
    {.key = "Light Correction",
     .name = "lightCorrection",
     .kind = ParamKind::Decibel,
     .intField = &NoiseReductionParams::lightCorrection,
     .unit = "dB",
     .sliderMax = 20,
     .sliderOffset = 10,
     .editMin = -10,
     .editMax = 10,
     .editValidated = true,
     .initial = 0,
     .defaultIfMissing = 0,
     .presetOrder = 4,
     .tooltip = "Alters noise threshold for light areas"},
    {.key = "Dark Correction",
     .name = "darkCorrection",
     .kind = ParamKind::Decibel,
     .intField = &NoiseReductionParams::darkCorrection,
     .unit = "dB",
     .sliderMax = 20,
     .sliderOffset = 10,
     .editMin = -10,
     .editMax = 10,
     .editValidated = true,
     .initial = 0,
     .defaultIfMissing = 0,
     .presetOrder = 5,
     .tooltip = "Alters noise threshold for dark areas"},
}};

// Position of an entry of kParamTable.
inline constexpr std::size_t IndexOf(const ParamInfo& param) {
    return static_cast<std::size_t>(&param - kParamTable.data());
}

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
