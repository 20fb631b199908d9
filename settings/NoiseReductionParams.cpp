#include "settings/NoiseReductionParams.h"

#include "settings/ParamTable.h"

namespace vel {

NoiseReductionParams::NoiseReductionParams() {
    for (const ParamInfo& param : kParamTable) {
        param.Set(*this, param.initial);
    }
}

}  // namespace vel
