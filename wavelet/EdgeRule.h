#pragma once
// The clamped edge, the one boundary policy of every transform: a neighbour index outside
// 0 .. n - 1 takes the nearest edge sample of the same row or column (axes clamp
// independently, rows never wrap).

#include <cstdint>

namespace vel {

// i limited to 0 .. n - 1; n >= 1.
constexpr int64_t ClampToEdge(int64_t i, int64_t n) {
    return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

}  // namespace vel
