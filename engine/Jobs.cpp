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
                       const NoiseProfile* profile, const RunContext& context) {
    const int32_t width = image.width;
    const int32_t height = image.height;
    if (width < 1 || height < 1) {
        return;
    }
    float* const* planes = image.planes;
    const EngineNumbers n = MapSettings(settings);
    // At 0 dB there is no gain map and the tiles read the planes as they are.
    const size_t planeSize = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::unique_ptr<float[]> gainMap;
    if (ToneCorrectionActive(n.lightGain, n.darkGain)) {
        gainMap = MakeSampleBuffer(planeSize);
    }
    // The reduction's output planes serve the tone gains first: fresh memory costs a page fault
    // per page, so the run takes as little of it as it can.
    const auto output = MakeSampleBuffer(3 * planeSize);
    PartPool pool(EngineThreads());
    if (gainMap) {
        ComputeToneGains(planes[0], width, height, n.lightGain, n.darkGain, gainMap.get(),
                         output.get(), &pool);
    }

    // A profile of another kind or level count is never read with this one's layout: the
    // tiles then measure their own noise.
    const std::span<const float> used =
        profile ? profile->For(n.kind, n.levels) : std::span<const float>();
    // The planes change only in the reduction's final copy: a stop or an allocation failure
    // leaves them exactly as they were.
    ReduceNoise(image, kReductionTileSize, kReductionOverlap, n, used, context, output.get(), &pool,
                gainMap.get());
}

}  // namespace vel
