#include "plugin/NoiseProfileStore.h"

#include <algorithm>

#include "engine/Jobs.h"

namespace vel {

void StoreAnalysedProfile(NoiseProfile& profile, const std::optional<NoiseProfile>& measured) {
    profile.noise.resize(kNoiseProfileEntries, 0.0f);
    if (measured) {
        const size_t n = std::min(measured->noise.size(), profile.noise.size());
        std::copy_n(measured->noise.begin(), n, profile.noise.begin());
        profile.kind = measured->kind;
        profile.levels = measured->levels;
    }
}

}  // namespace vel
