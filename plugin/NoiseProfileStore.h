#pragma once
// The process-wide noise profile: the levels of the last completed analysis, kept between the
// dialog's analysis and the reductions that follow it. Only the plug-in layer holds it; the
// engine's jobs take and return profiles as values.

#include <optional>
#include <vector>

#include "engine/NoiseAnalysis.h"

namespace vel {

// The current profile: no entries (none to use), or kNoiseProfileEntries (48) floats indexed
// channel * S * levels + level * S + band, of which the first 3 * S * levels were measured for
// its kind and level count. Not locked: no analysis runs while a reduction does.
NoiseProfile& CurrentNoiseProfile();

// After an analysis: the entries are sized to 48 (existing ones kept, new ones 0), then the
// first ones take the measured levels and the profile their kind and level count, when there
// are any (a stopped analysis gives none and leaves the profile as it was).
void StoreAnalysedProfile(const std::optional<NoiseProfile>& measured);

}  // namespace vel
