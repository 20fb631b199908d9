#pragma once
// What a completed run must give, computed by calling the engine directly.

#include <cstring>
#include <vector>

#include "engine/Jobs.h"
#include "plugin/HostImage.h"
#include "plugin/PlaneImage.h"
#include "settings/NoiseReductionParams.h"

namespace vel::test {

enum class Analysis { PerTile, WholeImage, KeepProfile };

// PerTile: no profile, every tile measures its own noise. WholeImage: a whole-image analysis
// first. KeepProfile: the reduction uses the noise profile as it stands. The process-wide
// profile is left as it was.
inline std::vector<float> EngineResult(const std::vector<float>& host, int32_t w, int32_t h,
                                       const NoiseReductionParams& params, Analysis analysis) {
    PlaneImage image(w, h);
    ImportHostImage(host.data(), w, h, image);
    image.RgbToYuv();
    const std::vector<float> saved = NoiseProfile();
    if (analysis != Analysis::KeepProfile) {
        NoiseProfile().clear();
    }
    if (analysis == Analysis::WholeImage) {
        RunNoiseAnalysis(image.Plane(0), image.Plane(1), image.Plane(2), w, h, params, nullptr,
                         nullptr, nullptr);
    }
    RunNoiseReduction(image.Plane(0), image.Plane(1), image.Plane(2), w, h, params, nullptr,
                      nullptr, nullptr);
    NoiseProfile() = saved;
    image.YuvToRgb();
    std::vector<float> out = host;
    ExportHostImage(image, out.data());
    return out;
}

inline bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace vel::test
