#include "plugin/NoiseProfileStore.h"

#include <algorithm>

#include "engine/Jobs.h"

namespace vel {

std::vector<float>& CurrentNoiseProfile() {
    // Constructed on first use, so it is valid whatever order modules start in.
    static std::vector<float> profile;
    return profile;
}

void StoreAnalysedProfile(const std::optional<NoiseProfile>& measured) {
    std::vector<float>& profile = CurrentNoiseProfile();
    profile.resize(kNoiseProfileEntries, 0.0f);
    if (measured) {
        const size_t n = std::min(measured->size(), profile.size());
        std::copy_n(measured->begin(), n, profile.begin());
    }
}

}  // namespace vel
