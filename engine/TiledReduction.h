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
// overlap (0 <= 2 * overlap < tileSize). profile (laid out as NoiseProfile for the numbers' kind
// and level count) may be empty: each tile then measures its own noise. A stop found at a tile
// start leaves the planes untouched. output: room for the three blended planes (3 * width * height
// floats, contents undefined) that are copied into the planes at the end, or null (the call then
// makes its own). pool: threads for the final copy, or null. gainMap: the gains of
// ComputeToneGains, or null: each tile's input is the planes times the gains, and the final copy
// multiplies the result by their reciprocals. True when every tile was done and the planes hold
// the result.
bool ReduceNoise(ImagePlanes image, int32_t tileSize, int32_t overlap, const EngineNumbers& numbers,
                 std::span<const float> profile, const RunContext& context, float* output = nullptr,
                 PartPool* pool = nullptr, const float* gainMap = nullptr);

}  // namespace vel
