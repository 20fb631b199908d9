#pragma once
// A noisy synthetic image for the benchmarks: gradients plus splitmix64 noise.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vel::bench {

inline void FillNoisy(float* plane, size_t n, int32_t width, uint64_t seed, float base,
                      float sigma) {
    uint64_t state = seed;
    for (size_t i = 0; i < n; ++i) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        const float u = static_cast<float>(z >> 40) * (1.0f / 16777216.0f) - 0.5f;
        const float ramp =
            static_cast<float>(i % static_cast<size_t>(width)) / static_cast<float>(width);
        plane[i] = base + 60.0f * ramp + sigma * 3.4641016f * u;
    }
}

}  // namespace vel::bench
