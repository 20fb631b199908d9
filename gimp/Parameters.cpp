#include "gimp/Parameters.h"

#include <cctype>

namespace velnr::gimp {

std::string ArgumentName(const vel::ParamInfo& param) {
    std::string name;
    for (const char* c = param.name; *c != '\0'; ++c) {
        if (std::isupper(static_cast<unsigned char>(*c))) {
            name += '-';
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        } else {
            name += *c;
        }
    }
    return name;
}

std::string ArgumentHelp(const vel::ParamInfo& param) {
    if (param.kind == vel::ParamKind::Switch) {
        return std::string(param.tooltip) + " (0 off, 1 on)";
    }
    return std::string(param.tooltip) + " (" + std::to_string(param.editMin) + ".." +
           std::to_string(param.editMax) + " " + param.unit + ")";
}

std::optional<vel::NoiseReductionParams> SettingsFromArguments(std::span<const int32_t> values,
                                                               std::string& error) {
    if (values.size() != vel::kParamTable.size()) {
        error = "expected " + std::to_string(vel::kParamTable.size()) + " settings, got " +
                std::to_string(values.size());
        return std::nullopt;
    }
    vel::NoiseReductionParams settings;
    for (const vel::ParamInfo& param : vel::kParamTable) {
        const int32_t value = values[vel::IndexOf(param)];
        if (value < param.editMin || value > param.editMax) {
            error = ArgumentName(param) + " is " + std::to_string(value) + ", outside " +
                    std::to_string(param.editMin) + ".." + std::to_string(param.editMax);
            return std::nullopt;
        }
        param.Set(settings, value);
    }
    return settings;
}

}  // namespace velnr::gimp
