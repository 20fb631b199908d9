#pragma once
// The settings record of one noise-reduction run and the process-wide current settings.

#include <cstdint>

namespace vel {

struct NoiseReductionParams {
    int32_t lumaThreshold = -2;      // dB
    int32_t chromaThreshold = 1;     // dB
    int32_t lumaSuppression = 6;     // dB
    int32_t chromaSuppression = 12;  // dB
    int32_t lightCorrection = 0;     // dB
    int32_t darkCorrection = 0;      // dB
    bool linkLumaChroma = true;
    bool highQuality = true;
    bool reanalyzeWhole = false;
    // Fixed engine values: never changed, never stored.
    int32_t smoothingFilter = 0;
    int32_t decompositionLevels = 4;
    float curveExponent = 2.0f;

    friend bool operator==(const NoiseReductionParams&, const NoiseReductionParams&) = default;
};

// The settings every job reads; starts at the initial values above.
NoiseReductionParams& CurrentSettings();

}  // namespace vel
