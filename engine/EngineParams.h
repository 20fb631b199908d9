#pragma once
// The decibel constant and the mapping of the settings record to the numbers the engine uses.

#include <cstdint>

#include "settings/NoiseReductionParams.h"
#include "wavelet/Wavelet.h"

namespace vel {

// Scales every measured noise level before it is compared with coefficient activity.
inline constexpr float kThresholdFactor = 0.8f;

// K = ln(10)/20 as float32: the float32 reciprocal of the float32 value 20/ln(10). Fixed at
// module start (constant-initialised), so every job sees the same bits.
float DecibelConstant();

// 10^(decibels/20) = exp(decibels * K), evaluated in double (PortableExp, the same bits on
// every platform) and stored as float32.
float DecibelToAmplitude(int32_t decibels);

struct EngineNumbers {
    float lightGain = 1.0f;
    float darkGain = 1.0f;
    float lumaThresholdFactor = 0.0f;
    float chromaThresholdFactor = 0.0f;
    float lumaFloor = 0.0f;
    float chromaFloor = 0.0f;
    WaveletKind kind = WaveletKind::Directional;
    int32_t levels = 4;
    float curveExponent = 2.0f;
    uint32_t filterIndex = 0;
};

// The window tables of the suppression cover four levels and the wavelet layer has one filter,
// so the fixed engine fields are brought into range here: levels into 1..4, any filter index
// other than 0 to 0, and a curve exponent that is not a finite positive number to 2.
EngineNumbers MapSettings(const NoiseReductionParams& params);

}  // namespace vel
