#pragma once
// The settings record of one noise-reduction run and the process-wide current settings.

#include <cstdint>

namespace vel {

struct NoiseReductionParams {
    // A new record holds the initial values of the parameter table (settings/ParamTable.h).
    NoiseReductionParams();

    int32_t lumaThreshold{};      // dB
    int32_t chromaThreshold{};    // dB
    int32_t lumaSuppression{};    // dB
    int32_t chromaSuppression{};  // dB
    int32_t lightCorrection{};    // dB
    int32_t darkCorrection{};     // dB
    bool linkLumaChroma{};
    bool highQuality{};
    bool reanalyzeWhole{};
    // Fixed engine values: never changed, never stored.
    int32_t smoothingFilter = 0;
    int32_t decompositionLevels = 4;
    float curveExponent = 2.0f;

    friend bool operator==(const NoiseReductionParams&, const NoiseReductionParams&) = default;
};

}  // namespace vel
