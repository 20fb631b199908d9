#include "engine/Jobs.h"

#include <cstddef>
#include <vector>

#include "engine/EngineParams.h"
#include "engine/NoiseAnalysis.h"
#include "engine/TiledReduction.h"
#include "engine/ToneCorrection.h"

namespace vel {
namespace {

constexpr int32_t kAnalysisTileSize = 512;
constexpr int32_t kAnalysisOverlap = 16;
constexpr int32_t kReductionTileSize = 512;
constexpr int32_t kReductionOverlap = 32;
// Enough for 3 channels, 4 levels and 4 bands, whichever kind is analysed.
constexpr size_t kProfileEntries = 48;

}  // namespace

std::vector<float>& NoiseProfile() {
    // Constructed on first use, so it is valid whatever order modules start in.
    static std::vector<float> profile;
    return profile;
}

void RunNoiseAnalysis(const float* plane0, const float* plane1, const float* plane2, int32_t width,
                      int32_t height, const NoiseReductionParams& params, ProgressCallback progress,
                      PollCallback poll, const CancelFlag* cancel) {
    const EngineNumbers n = MapSettings(params);
    std::vector<float>& profile = NoiseProfile();
    profile.resize(kProfileEntries, 0.0f);
    AnalyzeNoise(plane0, plane1, plane2, width, height, kAnalysisTileSize, kAnalysisOverlap,
                 profile.data(), n.filterIndex, n.kind, n.levels, progress, poll, cancel);
}

void RunNoiseReduction(float* plane0, float* plane1, float* plane2, int32_t width, int32_t height,
                       const NoiseReductionParams& params, ProgressCallback progress,
                       PollCallback poll, const CancelFlag* cancel) {
    if (width < 1 || height < 1) {
        return;
    }
    const EngineNumbers n = MapSettings(params);
    // The gain map is only ever read when a correction is active; at 0 dB both tone steps
    // return at once, so the map is not allocated then.
    std::vector<float> gainMap;
    if (!(n.lightGain == 1.0f && n.darkGain == 1.0f)) {
        gainMap.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0f);
    }
    ApplyToneCorrection(plane0, plane1, plane2, width, height, n.lightGain, n.darkGain,
                        gainMap.data());

    // A profile too short for this kind and level count (never the case after an analysis)
    // is not read past its end: the tiles then measure their own noise.
    const std::vector<float>& profile = NoiseProfile();
    const size_t needed = static_cast<size_t>(3 * BandsPerLevel(n.kind) * n.levels);
    const float* noiseProfile = profile.size() >= needed ? profile.data() : nullptr;
    try {
        ReduceNoise(plane0, plane1, plane2, width, height, kReductionTileSize, kReductionOverlap,
                    n.lumaThresholdFactor, n.chromaThresholdFactor, n.filterIndex, n.lumaFloor,
                    n.chromaFloor, n.curveExponent, n.kind, n.levels, noiseProfile, progress, poll,
                    cancel);
    } catch (...) {
        // ReduceNoise writes the planes only at its very end, so after an allocation failure
        // they hold the tone-corrected input: bring it back before the exception goes on.
        UndoToneCorrection(plane0, plane1, plane2, width, height, n.lightGain, n.darkGain,
                           gainMap.data());
        throw;
    }

    UndoToneCorrection(plane0, plane1, plane2, width, height, n.lightGain, n.darkGain,
                       gainMap.data());
}

}  // namespace vel
