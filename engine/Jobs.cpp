#include "engine/Jobs.h"

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/EngineParams.h"
#include "engine/NoiseAnalysis.h"
#include "engine/TiledReduction.h"
#include "engine/ToneCorrection.h"
#include "wavelet/SampleBuffer.h"

namespace vel {
namespace {

constexpr int32_t kAnalysisTileSize = 512;
constexpr int32_t kAnalysisOverlap = 16;
constexpr int32_t kReductionTileSize = 512;
constexpr int32_t kReductionOverlap = 32;

}  // namespace

std::optional<NoiseProfile> RunNoiseAnalysis(ConstImagePlanes image, const EngineSettings& settings,
                                             const RunContext& context) {
    return AnalyzeNoise(image, kAnalysisTileSize, kAnalysisOverlap, MapSettings(settings), context);
}

void RunNoiseReduction(ImagePlanes image, const EngineSettings& settings,
                       std::span<const float> profile, const RunContext& context) {
    const int32_t width = image.width;
    const int32_t height = image.height;
    if (width < 1 || height < 1) {
        return;
    }
    float* const* planes = image.planes;
    const EngineNumbers n = MapSettings(settings);
    // The gain map is only ever read when a correction is active, after the correction has
    // written every entry; at 0 dB both tone steps return at once and it is not allocated.
    const size_t planeSize = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::unique_ptr<float[]> gainMap;
    if (!(n.lightGain == 1.0f && n.darkGain == 1.0f)) {
        gainMap = MakeSampleBuffer(planeSize);
    }
    // The reduction's output planes serve the tone correction first: fresh memory costs a page
    // fault per page, so the run takes as little of it as it can.
    const auto output = MakeSampleBuffer(3 * planeSize);
    PartPool pool(EngineThreads());
    ApplyToneCorrection(planes[0], planes[1], planes[2], width, height, n.lightGain, n.darkGain,
                        gainMap.get(), output.get(), &pool);

    // A profile too short for this kind and level count (never the case after an analysis)
    // is not read past its end: the tiles then measure their own noise.
    const size_t needed = static_cast<size_t>(3 * BandsPerLevel(n.kind) * n.levels);
    const std::span<const float> used =
        profile.size() >= needed ? profile.first(needed) : std::span<const float>();
    bool done = false;
    try {
        done = ReduceNoise(image, kReductionTileSize, kReductionOverlap, n, used, context,
                           output.get(), &pool, gainMap.get());
    } catch (...) {
        // ReduceNoise writes the planes only at its very end, so after an allocation failure
        // they hold the tone-corrected input: bring it back before the exception goes on.
        UndoToneCorrection(planes[0], planes[1], planes[2], width, height, n.lightGain, n.darkGain,
                           gainMap.get(), &pool);
        throw;
    }
    // A finished reduction has undone the gains in its final copy; a stopped one left the
    // corrected input.
    if (!done) {
        UndoToneCorrection(planes[0], planes[1], planes[2], width, height, n.lightGain, n.darkGain,
                           gainMap.get(), &pool);
    }
}

}  // namespace vel
