#include "settings/Presets.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/Product.h"
#include "platform/SettingsStore.h"

namespace vel {

std::vector<Preset> BuiltInPresets() {
    constexpr int32_t kNo = kPresetNotSet;
    // In table order: luma/chroma threshold, luma/chroma suppression, link, high quality,
    // re-analyze, light/dark correction.
    return {
        {.name = "Remove noise - gentle", .values = {-4, -2, 6, 9, kNo, kNo, kNo, 0, 0}},
        {.name = "Remove noise - strong", .values = {0, 1, 12, 15, kNo, kNo, kNo, 0, 0}},
        {.name = "Remove chroma noise", .values = {-10, 0, 15, 15, kNo, kNo, kNo, 0, 0}},
    };
}

std::string PresetSection(int32_t n) {
    char text[64];
    std::snprintf(text, sizeof text, "%s Preset %d", kProductName, static_cast<int>(n));
    return text;
}

bool HasPreset(const SettingsStore& store, int32_t n) {
    const char* const lumaThreshold = kParamTable[0].key;
    return store.GetString(PresetSection(n), lumaThreshold, "Error") != "Error";
}

void WritePreset(SettingsStore& store, int32_t n, const std::string& name,
                 const NoiseReductionParams& values) {
    const std::string section = PresetSection(n);
    std::vector<const ParamInfo*> keys;
    for (const ParamInfo& param : kParamTable) {
        if (param.presetOrder >= 0) {
            keys.push_back(&param);
        }
    }
    // A key missing from the section goes in right after its header: writing the last key
    // first leaves them in the preset order.
    std::sort(keys.begin(), keys.end(), [](const ParamInfo* a, const ParamInfo* b) {
        return a->presetOrder > b->presetOrder;
    });
    for (const ParamInfo* param : keys) {
        store.SetInt(section, param->key, param->Get(values));
    }
    store.SetString(section, kPresetNameKey, name);
}

int LoadUserPresets(const char* path, std::vector<Preset>& list) {
    SettingsStore store;
    store.Load(path);  // an unreadable file leaves the store empty: nothing is added
    int count = 0;
    for (int32_t n = 0; n < INT32_MAX && HasPreset(store, n); ++n) {
        const std::string section = PresetSection(n);
        const std::string key = store.GetString(section, kPresetNameKey, "");
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
        entry->name = store.GetString(section, kPresetNameKey, "Unnamed");
        for (const ParamInfo& param : kParamTable) {
            if (param.presetOrder >= 0) {
                (*entry)[param] = store.GetInt(section, param.key, kPresetNotSet);
            }
        }
        ++count;
    }
    store.Close();
    return count;
}

bool SaveUserPreset(const char* path, const std::string& name, const NoiseReductionParams& values,
                    std::string* reason) {
    SettingsStore store;
    // A file that exists but cannot be read whole is left alone rather than replaced by a
    // file holding only this preset.
    if (store.LoadFile(path) == LoadResult::Failed) {
        if (reason) {
            *reason = "the existing file could not be read";
        }
        return false;
    }
    WritePreset(store, 0, name, values);
    errno = 0;
    const bool saved = store.Save(path);
    const int error = errno;
    store.Close();
    if (!saved && reason) {
        *reason = error != 0 ? std::strerror(error) : "it could not be written";
    }
    return saved;
}

void ApplyPreset(const Preset& preset, NoiseReductionParams& params) {
    for (const ParamInfo& param : kParamTable) {
        if (preset.Applied(param) != kPresetNotSet) {
            param.Set(params, preset.Applied(param));
        }
    }
}

}  // namespace vel
