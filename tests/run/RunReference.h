#pragma once
// What a completed run must give, computed by calling the engine directly. The only place the
// run tests call the engine.

#include <cstring>
#include <vector>

#include "engine/Jobs.h"
#include "plugin/HostImage.h"
#include "plugin/NoiseProfileStore.h"
#include "plugin/PlaneImage.h"
#include "plugin/SettingsToEngine.h"

namespace vel::test {

// PerTile: no profile, every tile measures its own noise. WholeImage: a whole-image analysis
// first. KeepProfile: the reduction uses the process-wide profile as it stands.
enum class Analysis { PerTile, WholeImage, KeepProfile };

struct EngineImage {
    EngineImage(const std::vector<float>& host, int32_t w, int32_t h) : image(w, h) {
        ImportHostImage(host.data(), w, h, image);
        image.RgbToYuv();
    }
    ImagePlanes Planes() {
        return {{image.Plane(0), image.Plane(1), image.Plane(2)}, image.Width(), image.Height()};
    }
    PlaneImage image;
};

inline NoiseProfile MeasuredProfile(const std::vector<float>& host, int32_t w, int32_t h,
                                    const NoiseReductionParams& params) {
    EngineImage image(host, w, h);
    return RunNoiseAnalysis(image.Planes(), ToEngineSettings(params), {}).value();
}

inline std::vector<float> EngineResult(const std::vector<float>& host, int32_t w, int32_t h,
                                       const NoiseReductionParams& params, Analysis analysis,
                                       const NoiseProfile* kept = nullptr) {
    NoiseProfile profile;
    if (analysis == Analysis::KeepProfile && kept) {
        profile = *kept;
    } else if (analysis == Analysis::WholeImage) {
        profile = MeasuredProfile(host, w, h, params);
    }
    EngineImage image(host, w, h);
    RunNoiseReduction(image.Planes(), ToEngineSettings(params), &profile, {});
    image.image.YuvToRgb();
    std::vector<float> out = host;
    ExportHostImage(image.image, out.data());
    return out;
}

inline bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace vel::test
