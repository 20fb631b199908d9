#include "settings/NoiseReductionParams.h"

namespace vel {

NoiseReductionParams& CurrentSettings() {
    static NoiseReductionParams current;
    return current;
}

}  // namespace vel
