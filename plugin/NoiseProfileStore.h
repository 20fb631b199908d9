#pragma once
// The noise profile an analysis leaves for the reductions that follow it (the dialog's
// pre-analysis for the run's processing). Only the plug-in layer keeps one, in its instance;
// the engine's jobs take and return profiles as values.

#include <optional>

#include "engine/NoiseAnalysis.h"

namespace vel {

// After an analysis: the store's entries are sized to 48 (existing ones kept, new ones 0), then
// the first ones take the measured levels and the store their kind and level count, when there
// are any (a stopped analysis gives none and leaves the store as it was).
void StoreAnalysedProfile(NoiseProfile& store, const std::optional<NoiseProfile>& measured);

}  // namespace vel
