#pragma once
// What the engine reads of a run's settings, the decibel constant, and the mapping of the one to
// the numbers the engine computes with.

#include <cstdint>

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

// The engine's own copy of the settings that shape a run, in the settings' units; the caller
// fills it from its settings record. The last two fields are fixed engine values.
struct EngineSettings {
    int32_t lumaThreshold = 0;      // dB
    int32_t chromaThreshold = 0;    // dB
    int32_t lumaSuppression = 0;    // dB
    int32_t chromaSuppression = 0;  // dB
    int32_t lightCorrection = 0;    // dB
    int32_t darkCorrection = 0;     // dB
    bool highQuality = true;
    int32_t decompositionLevels = 4;
    float curveExponent = 2.0f;
};

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
};

// The window tables of the suppression cover four levels, so the fixed engine fields are
// brought into range here: levels into 1..4 and a curve exponent that is not a finite positive
// number to 2.
EngineNumbers MapSettings(const EngineSettings& settings);

}  // namespace vel
