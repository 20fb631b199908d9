#pragma once
// The engine's two jobs. Both work on three float planes (Y, U, V on the 0..255 scale), report
// progress and stop early on request; an allocation failure propagates as std::bad_alloc with
// every buffer released. Neither keeps state between calls: the caller owns the settings and
// the noise profile it passes.

#include <cstdint>
#include <optional>
#include <span>

#include "engine/EngineParams.h"
#include "engine/EngineTypes.h"
#include "engine/NoiseAnalysis.h"

namespace vel {

// Room for every kind's profile: 3 channels, 4 levels, 4 bands.
inline constexpr size_t kNoiseProfileEntries = 48;

// The noise levels of the whole image for the kind and level count of settings
// (3 * S * levels entries); nothing when stopped or when the image is empty.
std::optional<NoiseProfile> RunNoiseAnalysis(ConstImagePlanes image, const EngineSettings& settings,
                                             const RunContext& context);

// Tone correction, tiled suppression (with profile when it was measured for the settings' kind
// and level count, else measured per tile; profile may be null), undo of the tone correction,
// in place. The planes belong to the job: a stop before the last tile, or an allocation
// failure, may leave them part written, and the caller discards them.
void RunNoiseReduction(ImagePlanes image, const EngineSettings& settings,
                       const NoiseProfile* profile, const RunContext& context);

}  // namespace vel
