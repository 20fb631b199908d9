#pragma once
// Deterministic noisy test pictures: the same bits on every platform and compiler.

#include <cstdint>
#include <vector>

namespace vel::test {

inline uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Interleaved RGB in 0..1: smooth gradients and a bright square with uniform noise.
inline std::vector<float> NoisyImage(int32_t w, int32_t h, uint64_t seed) {
    std::vector<float> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    uint64_t state = seed;
    size_t i = 0;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const bool square = x > w / 4 && x < w / 2 && y > h / 4 && y < h / 2;
            const float base[3] = {0.2f + 0.6f * static_cast<float>(x) / static_cast<float>(w),
                                   square ? 0.9f : 0.4f,
                                   0.3f + 0.5f * static_cast<float>(y) / static_cast<float>(h)};
            for (int c = 0; c < 3; ++c) {
                const float noise = static_cast<float>(SplitMix(state) >> 40) / 16777216.0f - 0.5f;
                pixels[i++] = base[c] + 0.12f * noise;
            }
        }
    }
    return pixels;
}

}  // namespace vel::test
