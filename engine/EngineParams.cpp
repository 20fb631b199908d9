#include "engine/EngineParams.h"

#include "engine/PortableMath.h"

#include <algorithm>
#include <cmath>

namespace vel {
namespace {

// 20 / (ln 2 * log2 10) rounded to float32, then its float32 reciprocal. The result is one
// unit in the last place above ln(10)/20 rounded directly, and those are the bits every
// gain and threshold is built from.
constexpr double kLn2 = 0.69314718055994530942;
constexpr double kLog2Of10 = 3.32192809488736234787;
constexpr float kDecibelsPerNeper = static_cast<float>(20.0 / (kLn2 * kLog2Of10));
constexpr float kDecibelConstant = 1.0f / kDecibelsPerNeper;

}  // namespace

float DecibelConstant() {
    return kDecibelConstant;
}

float DecibelToAmplitude(int32_t decibels) {
    return static_cast<float>(
        PortableExp(static_cast<double>(decibels) * static_cast<double>(kDecibelConstant)));
}

EngineNumbers MapSettings(const EngineSettings& params) {
    EngineNumbers n;
    // Negated in int64 so that INT32_MIN does not overflow; exp saturates anyway.
    const auto negated = [](int32_t dB) {
        const int64_t v = -static_cast<int64_t>(dB);
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    n.lightGain = DecibelToAmplitude(negated(params.lightCorrection));
    n.darkGain = DecibelToAmplitude(negated(params.darkCorrection));
    n.lumaThresholdFactor = kThresholdFactor * DecibelToAmplitude(params.lumaThreshold);
    n.chromaThresholdFactor = kThresholdFactor * DecibelToAmplitude(params.chromaThreshold);
    n.lumaFloor = DecibelToAmplitude(negated(params.lumaSuppression));
    n.chromaFloor = DecibelToAmplitude(negated(params.chromaSuppression));
    n.kind = params.highQuality ? WaveletKind::Directional : WaveletKind::Isotropic;
    n.levels = std::clamp(params.decompositionLevels, 1, 4);
    n.curveExponent = (std::isfinite(params.curveExponent) && params.curveExponent > 0.0f)
                          ? params.curveExponent
                          : 2.0f;
    return n;
}

}  // namespace vel
