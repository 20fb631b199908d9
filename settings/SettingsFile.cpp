#include "settings/SettingsFile.h"

#include "settings/ParamTable.h"
#include "settings/SettingsStore.h"

namespace vel {

namespace {
constexpr const char* kSectionPrefix = "VEL Noise Reduction ";
}

std::string SettingsSection(int32_t slot) {
    return kSectionPrefix + std::to_string(slot);
}

bool StoreSettings(const char* path, int32_t slot, const NoiseReductionParams& params) {
    const std::string section = SettingsSection(slot);
    SettingsStore store;
    if (store.LoadFile(path) == LoadResult::Failed) {
        return false;
    }
    for (const ParamSpec& spec : kParamTable) {
        if (spec.kind == ParamKind::Switch) {
            store.SetBool(section, spec.key, spec.Get(params) != 0);
        } else {
            store.SetInt(section, spec.key, spec.Get(params));
        }
    }
    const bool saved = store.Save(path);
    store.Close();
    return saved;
}

void LoadSettings(const char* path, int32_t slot, NoiseReductionParams& params) {
    const std::string section = SettingsSection(slot);
    SettingsStore store;
    store.LoadFile(path);
    for (const ParamSpec& spec : kParamTable) {
        if (spec.kind == ParamKind::Switch) {
            spec.Set(params, store.GetBool(section, spec.key, spec.defaultIfMissing != 0) ? 1 : 0);
        } else {
            spec.Set(params, store.GetInt(section, spec.key, spec.defaultIfMissing));
        }
    }
    store.Close();
}

}  // namespace vel
