#pragma once
// What a completed run must give, computed by calling the engine directly.

#include <cstring>
#include <vector>

#include "engine/Jobs.h"
#include "plugin/HostImage.h"
#include "plugin/NoiseProfileStore.h"
#include "plugin/PlaneImage.h"
#include "plugin/SettingsToEngine.h"
#include "settings/NoiseReductionParams.h"

namespace vel::test {

enum class Analysis { PerTile, WholeImage, KeepProfile };

// PerTile: no profile, every tile measures its own noise. WholeImage: a whole-image analysis
// first. KeepProfile: the reduction uses the process-wide profile as it stands, which is left
// as it was.
inline std::vector<float> EngineResult(const std::vector<float>& host, int32_t w, int32_t h,
                                       const NoiseReductionParams& params, Analysis analysis) {
    PlaneImage image(w, h);
    ImportHostImage(host.data(), w, h, image);
    image.RgbToYuv();
    const ImagePlanes planes{{image.Plane(0), image.Plane(1), image.Plane(2)}, w, h};
    std::vector<float> profile;
    if (analysis == Analysis::KeepProfile) {
        profile = CurrentNoiseProfile();
    } else if (analysis == Analysis::WholeImage) {
        profile = RunNoiseAnalysis(planes, ToEngineSettings(params), {}).value();
    }
    RunNoiseReduction(planes, ToEngineSettings(params), profile, {});
    image.YuvToRgb();
    std::vector<float> out = host;
    ExportHostImage(image, out.data());
    return out;
}

inline bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace vel::test
