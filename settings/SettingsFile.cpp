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
    for (const ParamInfo& param : kParamTable) {
        if (param.kind == ParamKind::Switch) {
            store.SetBool(section, param.key, param.Get(params) != 0);
        } else {
            store.SetInt(section, param.key, param.Get(params));
        }
    }
    const bool saved = store.Save(path);
    store.Close();
    return saved;
}

bool LoadSettings(const char* path, int32_t slot, NoiseReductionParams& params) {
    const std::string section = SettingsSection(slot);
    SettingsStore store;
    if (store.LoadFile(path) == LoadResult::Failed) {
        return false;
    }
    for (const ParamInfo& param : kParamTable) {
        if (param.kind == ParamKind::Switch) {
            param.Set(params,
                      store.GetBool(section, param.key, param.defaultIfMissing != 0) ? 1 : 0);
        } else {
            param.Set(params, store.GetInt(section, param.key, param.defaultIfMissing));
        }
    }
    store.Close();
    return true;
}

}  // namespace vel
