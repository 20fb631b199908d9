#include "engine/Jobs.h"

#include "engine/EngineParams.h"
#include "engine/NoiseAnalysis.h"
#include "engine/TiledReduction.h"

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
                       const NoiseProfile* profile, const RunContext& context) {
    const int32_t width = image.width;
    const int32_t height = image.height;
    if (width < 1 || height < 1) {
        return;
    }
    const EngineNumbers n = MapSettings(settings);
    // A profile of another kind or level count is never read with this one's layout: the
    // tiles then measure their own noise.
    const std::span<const float> used =
        profile ? profile->For(n.kind, n.levels) : std::span<const float>();
    ReduceNoise(image, kReductionTileSize, kReductionOverlap, n, used, context);
}

}  // namespace vel
