#pragma once
// Which controls of the settings dialog show each stored setting. Keys, ranges, defaults and
// tooltips are the parameter table's; this table only binds its entries to control ids.

#include <array>
#include <cstdint>

#include "resources/ControlIds.h"
#include "settings/ParamTable.h"

namespace vel::res {

struct ParamControl {
    // The table's entry, by its field: exactly one is set.
    int32_t NoiseReductionParams::*intField = nullptr;
    bool NoiseReductionParams::*boolField = nullptr;
    // Slider (or check box) and edit box (0 for switches). The tooltip is the string resource
    // numbered like either.
    int32_t sliderId = 0;
    int32_t editId = 0;

    constexpr const ParamInfo& Param() const {
        for (const ParamInfo& param : kParamTable) {
            if ((intField && param.intField == intField) ||
                (boolField && param.boolField == boolField)) {
                return param;
            }
        }
        return kParamTable[0];  // unreachable for the entries below (checked at compile time)
    }
};

using P = NoiseReductionParams;
// In the dialog's order: the six values (threshold, suppression, corrections), then the
// switches.
inline constexpr std::array<ParamControl, 9> kParamControls{{
    {.intField = &P::lumaThreshold,
     .sliderId = kSettingsLumaThresholdSlider,
     .editId = kSettingsLumaThresholdEdit},
    {.intField = &P::chromaThreshold,
     .sliderId = kSettingsChromaThresholdSlider,
     .editId = kSettingsChromaThresholdEdit},
    {.intField = &P::lumaSuppression,
     .sliderId = kSettingsLumaSuppressionSlider,
     .editId = kSettingsLumaSuppressionEdit},
    {.intField = &P::chromaSuppression,
     .sliderId = kSettingsChromaSuppressionSlider,
     .editId = kSettingsChromaSuppressionEdit},
    {.intField = &P::lightCorrection,
     .sliderId = kSettingsLightCorrectionSlider,
     .editId = kSettingsLightCorrectionEdit},
    {.intField = &P::darkCorrection,
     .sliderId = kSettingsDarkCorrectionSlider,
     .editId = kSettingsDarkCorrectionEdit},
    {.boolField = &P::linkLumaChroma, .sliderId = kSettingsLinkLumaChroma},
    {.boolField = &P::highQuality, .sliderId = kSettingsHighQuality},
    {.boolField = &P::reanalyzeWhole, .sliderId = kSettingsReanalyzeWhole},
}};

// Every entry binds a distinct entry of the table, and a value's controls come with edit boxes.
static_assert([] {
    for (size_t i = 0; i < kParamControls.size(); ++i) {
        const ParamInfo& param = kParamControls[i].Param();
        const bool bound = kParamControls[i].intField
                               ? param.intField == kParamControls[i].intField
                               : param.boolField == kParamControls[i].boolField;
        if (!bound || (param.kind == ParamKind::Decibel) != (kParamControls[i].editId != 0)) {
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (&kParamControls[j].Param() == &param) {
                return false;
            }
        }
    }
    return kParamControls.size() == kParamTable.size();
}());

}  // namespace vel::res
