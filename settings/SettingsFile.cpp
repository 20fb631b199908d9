#include "settings/SettingsFile.h"

#include "platform/Product.h"
#include "platform/SettingsStore.h"
#include "settings/ParamTable.h"

namespace vel {

std::string SettingsSection(int32_t slot) {
    std::string section = kProductName;
    section += ' ';
    section += std::to_string(slot);
    return section;
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
