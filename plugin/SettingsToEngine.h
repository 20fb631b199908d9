#pragma once
// The settings record as the engine reads it: the engine knows nothing of settings/.

#include "engine/EngineParams.h"
#include "settings/NoiseReductionParams.h"

namespace vel {

// The fields that shape a run; the linking and whole-image flags are the run's own business.
EngineSettings ToEngineSettings(const NoiseReductionParams& params);

}  // namespace vel
