#include "settings/NoiseReductionParams.h"

#include "settings/ParamTable.h"

namespace vel {

NoiseReductionParams::NoiseReductionParams() {
    for (const ParamInfo& param : kParamTable) {
        param.Set(*this, param.initial);
    }
}

NoiseReductionParams& CurrentSettings() {
    static NoiseReductionParams current;
    return current;
}

}  // namespace vel
