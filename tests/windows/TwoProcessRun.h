#pragma once
// The picture two processes denoise at the same moment: several tiles, so both runs wait on
// their completion events long enough to overlap.

#include <cstdint>

namespace vel {
inline constexpr int32_t kTwoProcessWidth = 600;
inline constexpr int32_t kTwoProcessHeight = 580;
inline constexpr uint64_t kTwoProcessSeed = 26;
}  // namespace vel
