#pragma once
// The process-wide noise profile: the levels of the last completed analysis, kept between the
// dialog's analysis and the reductions that follow it. Only the plug-in layer holds it; the
// engine's jobs take and return profiles as values.

#include <optional>
#include <vector>

#include "engine/NoiseAnalysis.h"

namespace vel {

// The current profile: empty (none to use), or kNoiseProfileEntries (48) floats indexed
// channel * S * levels + level * S + band. Not locked: no analysis runs while a reduction does.
std::vector<float>& CurrentNoiseProfile();

// After an analysis: the profile is sized to 48 entries (existing ones kept, new ones 0), then
// its first entries take the measured levels, when there are any (a stopped analysis gives none).
void StoreAnalysedProfile(const std::optional<NoiseProfile>& measured);

}  // namespace vel
