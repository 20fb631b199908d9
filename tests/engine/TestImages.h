#pragma once
// Deterministic test images, output hashing and scopes for the engine tests. The generator is
// written out (not a std:: distribution) so every standard library makes the same image.

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/EngineTypes.h"
#include "engine/TileScheduler.h"
#include "tests/run/TestImages.h"

namespace vel::test {

// splitmix64; Uniform has 24 bits, exact in float32; Noise is roughly normal (four uniforms).
struct SplitMix64 {
    uint64_t state;
    uint64_t Next() { return SplitMix(state); }
    float Uniform() { return static_cast<float>(Next() >> 40) * (1.0f / 16777216.0f); }
    float Noise() { return (Uniform() + Uniform() + Uniform() + Uniform() - 2.0f) * 1.7320508f; }
};

struct Planes {
    int32_t width = 0, height = 0;
    std::array<std::vector<float>, 3> p;

    Planes(int32_t w, int32_t h, float value = 0.0f) : width(w), height(h) {
        p.fill(std::vector<float>(static_cast<size_t>(w) * static_cast<size_t>(h), value));
    }
    float* operator[](int i) { return p[static_cast<size_t>(i)].data(); }
    const float* operator[](int i) const { return p[static_cast<size_t>(i)].data(); }
    size_t Size() const { return p[0].size(); }
    friend bool operator==(const Planes&, const Planes&) = default;
    ImagePlanes View() { return {{(*this)[0], (*this)[1], (*this)[2]}, width, height}; }
    ConstImagePlanes View() const { return {(*this)[0], (*this)[1], (*this)[2], width, height}; }
};

// Y, U, V on the 0..255 scale: gradients, a bright disc, hard edges, and noise of sigma 6 in
// luma and 4 in chroma.
inline Planes MakeNoisyImage(int32_t width, int32_t height, uint64_t seed) {
    Planes planes(width, height);
    SplitMix64 rng{seed};
    const float cx = static_cast<float>(width) * 0.6f, cy = static_cast<float>(height) * 0.4f;
    const float radius = static_cast<float>(width < height ? width : height) * 0.25f;
    for (size_t i = 0; i < planes.Size(); ++i) {
        const int32_t x = static_cast<int32_t>(i % static_cast<size_t>(width));
        const int32_t y = static_cast<int32_t>(i / static_cast<size_t>(width));
        const float fx = static_cast<float>(x), fy = static_cast<float>(y);
        float luma = 30.0f + 180.0f * fx / static_cast<float>(width);
        if ((fx - cx) * (fx - cx) + (fy - cy) * (fy - cy) < radius * radius) {
            luma = 235.0f;
        }
        luma *= (x / 37 + y / 23) % 5 == 0 ? 0.5f : 1.0f;
        planes[0][i] = luma + 6.0f * rng.Noise();
        planes[1][i] = 20.0f * fy / static_cast<float>(height) - 10.0f + 4.0f * rng.Noise();
        planes[2][i] = (x % 64 < 32 ? 8.0f : -8.0f) + 4.0f * rng.Noise();
    }
    return planes;
}

// FNV-1a over the bytes of the samples, continuing from h; planes one after the other.
inline uint64_t Fnv1a(std::span<const float> values, uint64_t h = 0xCBF29CE484222325ull) {
    for (const float v : values) {
        for (int b = 0; b < 4; ++b) {
            h = (h ^ ((std::bit_cast<uint32_t>(v) >> (8 * b)) & 0xFFu)) * 0x100000001B3ull;
        }
    }
    return h;
}
inline uint64_t HashPlanes(const Planes& planes) {
    return Fnv1a(planes.p[2], Fnv1a(planes.p[1], Fnv1a(planes.p[0])));
}

// Every sample of a within tolerance * (1 + |b|) of b's; only a finite sample is within 0 of
// itself.
inline ::testing::AssertionResult PlanesNear(const Planes& a, const Planes& b, float tolerance) {
    for (size_t p = 0; p < 3; ++p) {
        for (size_t i = 0; i < b.p[p].size(); ++i) {
            const float x = a.p[p][i], y = b.p[p][i];
            if (!(std::fabs(x - y) <= tolerance * (1.0f + std::fabs(y)))) {
                return ::testing::AssertionFailure()
                       << "plane " << p << " sample " << i << ": " << x << " vs " << y;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// context on a fixed number of threads.
inline RunContext OnThreads(int32_t threads, RunContext context = {}) {
    context.config.threads = threads;
    return context;
}

}  // namespace vel::test
