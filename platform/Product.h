#pragma once
// The product's display name: the host's menu entry, message-box captions, settings sections.

namespace vel {

inline constexpr const char* kProductName = "VEL Noise Reduction";

}  // namespace vel
