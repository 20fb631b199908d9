#include "plugin/SettingsToEngine.h"

namespace vel {

EngineSettings ToEngineSettings(const NoiseReductionParams& params) {
    EngineSettings s;
    s.lumaThreshold = params.lumaThreshold;
    s.chromaThreshold = params.chromaThreshold;
    s.lumaSuppression = params.lumaSuppression;
    s.chromaSuppression = params.chromaSuppression;
    s.lightCorrection = params.lightCorrection;
    s.darkCorrection = params.darkCorrection;
    s.highQuality = params.highQuality;
    s.decompositionLevels = params.decompositionLevels;
    s.curveExponent = params.curveExponent;
    return s;
}

}  // namespace vel
