#include "settings/Presets.h"

#include <cstdint>
#include <cstdio>

#include "platform/Product.h"
#include "platform/SettingsStore.h"

namespace vel {

std::vector<Preset> BuiltInPresets() {
    // name, luma/chroma threshold, luma/chroma suppression, light/dark correction.
    return {
        {"Remove noise - gentle", -4, -2, 6, 9, 0, 0, kPresetNotSet, kPresetNotSet},
        {"Remove noise - strong", 0, 1, 12, 15, 0, 0, kPresetNotSet, kPresetNotSet},
        {"Remove chroma noise", -10, 0, 15, 15, 0, 0, kPresetNotSet, kPresetNotSet},
    };
}

std::string PresetSection(int32_t n) {
    char text[64];
    std::snprintf(text, sizeof text, "%s Preset %d", kProductName, static_cast<int>(n));
    return text;
}

int LoadUserPresets(const char* path, std::vector<Preset>& list) {
    SettingsStore store;
    store.Load(path);  // an unreadable file leaves the store empty: nothing is added
    int count = 0;
    for (int32_t n = 0; n < INT32_MAX; ++n) {
        const std::string section = PresetSection(n);
        if (store.GetString(section, "Luma Threshold", "Error") == "Error") {
            break;
        }
        const std::string key = store.GetString(section, "Preset Name", "");
        Preset* entry = nullptr;
        for (Preset& p : list) {
            if (p.name == key) {
                entry = &p;
                break;
            }
        }
        if (entry == nullptr) {
            entry = &list.emplace_back();
        }
        entry->name = store.GetString(section, "Preset Name", "Unnamed");
        entry->lumaThreshold = store.GetInt(section, "Luma Threshold", kPresetNotSet);
        entry->chromaThreshold = store.GetInt(section, "Chroma Threshold", kPresetNotSet);
        entry->lumaSuppression = store.GetInt(section, "Luma Suppression", kPresetNotSet);
        entry->chromaSuppression = store.GetInt(section, "Chroma Suppression", kPresetNotSet);
        entry->highQuality = store.GetInt(section, "High Quality", kPresetNotSet);
        entry->reanalyzeWhole = store.GetInt(section, "Reanalyze Whole", kPresetNotSet);
        entry->lightCorrection = store.GetInt(section, "Light Correction", kPresetNotSet);
        entry->darkCorrection = store.GetInt(section, "Dark Correction", kPresetNotSet);
        ++count;
    }
    store.Close();
    return count;
}

bool SaveUserPreset(const char* path, const std::string& name, const NoiseReductionParams& values) {
    SettingsStore store;
    // A file that exists but cannot be read whole is left alone rather than replaced by a
    // file holding only this preset.
    if (store.LoadFile(path) == LoadResult::Failed) {
        return false;
    }
    const std::string section = PresetSection(0);
    store.SetInt(section, "Reanalyze Whole", values.reanalyzeWhole ? 1 : 0);
    store.SetInt(section, "High Quality", values.highQuality ? 1 : 0);
    store.SetInt(section, "Dark Correction", values.darkCorrection);
    store.SetInt(section, "Light Correction", values.lightCorrection);
    store.SetInt(section, "Chroma Suppression", values.chromaSuppression);
    store.SetInt(section, "Luma Suppression", values.lumaSuppression);
    store.SetInt(section, "Chroma Threshold", values.chromaThreshold);
    store.SetInt(section, "Luma Threshold", values.lumaThreshold);
    store.SetString(section, "Preset Name", name);
    const bool saved = store.Save(path);
    store.Close();
    return saved;
}

void ApplyPreset(const Preset& preset, NoiseReductionParams& params) {
    const auto apply = [](int32_t value, int32_t& field) {
        if (value != kPresetNotSet) {
            field = value;
        }
    };
    apply(preset.lumaThreshold, params.lumaThreshold);
    apply(preset.chromaThreshold, params.chromaThreshold);
    apply(preset.lumaSuppression, params.lumaSuppression);
    apply(preset.chromaSuppression, params.chromaSuppression);
    apply(preset.lightCorrection, params.lightCorrection);
    apply(preset.darkCorrection, params.darkCorrection);
}

}  // namespace vel
