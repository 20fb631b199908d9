#pragma once
// Deterministic test images and output hashing for the engine tests. The generator is written
// out here (not a std:: distribution) so every standard library makes the same image.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/EngineParams.h"
#include "engine/EngineTypes.h"
#include "engine/TileScheduler.h"

namespace vel::test {

// splitmix64: a tiny, well-mixed 64-bit generator.
class SplitMix64 {
  public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1) with 24 bits, exact in float32.
    float Uniform() { return static_cast<float>(Next() >> 40) * (1.0f / 16777216.0f); }
    // Roughly normal, zero mean and unit variance: a sum of four uniforms, centred and scaled.
    float Noise() {
        const float sum = Uniform() + Uniform() + Uniform() + Uniform();
        return (sum - 2.0f) * 1.7320508f;
    }

  private:
    uint64_t state_;
};

struct Planes {
    int32_t width = 0;
    int32_t height = 0;
    std::array<std::vector<float>, 3> p;

    Planes(int32_t w, int32_t h, float value = 0.0f) : width(w), height(h) {
        for (auto& plane : p) {
            plane.assign(static_cast<size_t>(w) * static_cast<size_t>(h), value);
        }
    }
    float* operator[](int i) { return p[static_cast<size_t>(i)].data(); }
    const float* operator[](int i) const { return p[static_cast<size_t>(i)].data(); }
    size_t Size() const { return p[0].size(); }
    friend bool operator==(const Planes&, const Planes&) = default;

    ImagePlanes View() { return {{(*this)[0], (*this)[1], (*this)[2]}, width, height}; }
    ConstImagePlanes View() const { return {(*this)[0], (*this)[1], (*this)[2], width, height}; }
};

// The settings the plug-in starts with: the golden hashes are pinned for these numbers.
inline EngineSettings StartupSettings() {
    EngineSettings s;
    s.lumaThreshold = -2;
    s.chromaThreshold = 1;
    s.lumaSuppression = 6;
    s.chromaSuppression = 12;
    return s;
}

// Fixes the engine's thread count for one scope.
class EngineThreadsScope {
  public:
    explicit EngineThreadsScope(int32_t threads) { SetEngineThreads(threads); }
    ~EngineThreadsScope() { SetEngineThreads(0); }
    EngineThreadsScope(const EngineThreadsScope&) = delete;
    EngineThreadsScope& operator=(const EngineThreadsScope&) = delete;
};

// Y, U, V planes on the 0..255 scale: soft gradients, a bright disc and a few hard edges,
// plus noise of sigma 6 in luma and 4 in chroma.
inline Planes MakeNoisyImage(int32_t width, int32_t height, uint64_t seed) {
    Planes planes(width, height);
    SplitMix64 rng(seed);
    const float cx = static_cast<float>(width) * 0.6f;
    const float cy = static_cast<float>(height) * 0.4f;
    const float radius = static_cast<float>(width < height ? width : height) * 0.25f;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const size_t i =
                static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            const float fx = static_cast<float>(x);
            const float fy = static_cast<float>(y);
            float luma = 30.0f + 180.0f * fx / static_cast<float>(width);
            const float dx = fx - cx;
            const float dy = fy - cy;
            if (dx * dx + dy * dy < radius * radius) {
                luma = 235.0f;
            }
            if ((x / 37 + y / 23) % 5 == 0) {
                luma *= 0.5f;
            }
            planes[0][i] = luma + 6.0f * rng.Noise();
            planes[1][i] = 20.0f * fy / static_cast<float>(height) - 10.0f + 4.0f * rng.Noise();
            planes[2][i] = (x % 64 < 32 ? 8.0f : -8.0f) + 4.0f * rng.Noise();
        }
    }
    return planes;
}

// FNV-1a over the bytes of the samples, plane after plane.
inline uint64_t HashPlanes(const Planes& planes) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (const auto& plane : planes.p) {
        for (float v : plane) {
            uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            for (int b = 0; b < 4; ++b) {
                h ^= (bits >> (8 * b)) & 0xFFu;
                h *= 0x100000001B3ull;
            }
        }
    }
    return h;
}

// Every sample of a within tolerance of the same sample of b; relative: within
// tolerance * (1 + |b|). Names the first sample that is not.
inline ::testing::AssertionResult PlanesNear(const Planes& a, const Planes& b, float tolerance,
                                             bool relative = false) {
    for (size_t p = 0; p < 3; ++p) {
        for (size_t i = 0; i < b.p[p].size(); ++i) {
            const float x = a.p[p][i], y = b.p[p][i];
            const float allowed = relative ? tolerance * (1.0f + std::fabs(y)) : tolerance;
            if (!(std::fabs(static_cast<double>(x) - static_cast<double>(y)) <=
                  static_cast<double>(allowed))) {
                return ::testing::AssertionFailure()
                       << "plane " << p << " sample " << i << ": " << x << " vs " << y;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

inline uint32_t Bits(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

}  // namespace vel::test
