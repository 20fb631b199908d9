#pragma once
// The tiled reduction driver: cuts the planes into overlapping tiles, denoises each and
// blends the results back.

#include <cstdint>
#include <span>

#include "engine/EngineParams.h"
#include "engine/EngineTypes.h"
#include "engine/TileScheduler.h"

namespace vel {

// Denoises the three planes (at least 1 x 1) in place on tiles of tileSize overlapping by
// overlap (0 <= 2 * overlap < tileSize), with the numbers' tone correction when they have one:
// each tile's input is the planes times the gains, and the result is divided by them again.
// profile (laid out as NoiseProfile for the numbers' kind and level count) may be empty: each
// tile then measures its own noise. The result is written into the planes as the tiles finish,
// with memory for the tiles and their overlaps only. True when every tile was done; after a
// stop, found at a tile start, or an exception the planes are part written.
bool ReduceNoise(ImagePlanes image, int32_t tileSize, int32_t overlap, const EngineNumbers& numbers,
                 std::span<const float> profile, const RunContext& context);

}  // namespace vel
