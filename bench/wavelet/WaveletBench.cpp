// Decomposition and reconstruction of one 512 x 512 tile with the engine's 4 levels, by the plain
// loops (set 0) and the SSE2 (1) and AVX2 (2) kernels where the processor has them.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "wavelet/BandBlock.h"
#include "wavelet/Wavelet.h"
#include "wavelet/WaveletKernels.h"

namespace {

constexpr int32_t kTile = 512;
constexpr int32_t kLevels = 4;

std::vector<float> NoisyTile() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(0.0f, 255.0f);
    std::vector<float> tile(static_cast<size_t>(kTile) * kTile);
    for (float& v : tile) {
        v = dist(rng);
    }
    return tile;
}

// Null for the plain loops, and when the processor lacks the set (the case is then skipped).
const vel::WaveletKernels* Kernels(benchmark::State& state) {
    switch (state.range(1)) {
        case 1:
            return vel::WaveletSse2Kernels();
        case 2:
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
            if (__builtin_cpu_supports("avx2")) {
                return vel::WaveletAvx2Kernels();
            }
#endif
            return nullptr;
        default:
            return nullptr;
    }
}

void SetCounters(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * int64_t{kTile} * kTile);
}

void BM_Decompose(benchmark::State& state) {
    const auto kind = static_cast<vel::WaveletKind>(state.range(0));
    const vel::WaveletKernels* kernels = Kernels(state);
    if (state.range(1) != 0 && !kernels) {
        state.SkipWithError("no such kernel set here");
        return;
    }
    const std::vector<float> tile = NoisyTile();
    vel::BandBlock block(kTile, kTile, kLevels, kind);
    for (auto _ : state) {
        vel::WaveletDecompose(vel::PackedPlane(tile.data(), kTile, kTile), block.table(), kLevels,
                              kind, kernels);
        benchmark::DoNotOptimize(block.band(kLevels - 1, 0)[0]);
        benchmark::ClobberMemory();
    }
    SetCounters(state);
}

void BM_Reconstruct(benchmark::State& state) {
    const auto kind = static_cast<vel::WaveletKind>(state.range(0));
    const vel::WaveletKernels* kernels = Kernels(state);
    if (state.range(1) != 0 && !kernels) {
        state.SkipWithError("no such kernel set here");
        return;
    }
    std::vector<float> tile = NoisyTile();
    vel::BandBlock block(kTile, kTile, kLevels, kind);
    vel::WaveletDecompose(vel::PackedPlane(tile.data(), kTile, kTile), block.table(), kLevels,
                          kind);
    for (auto _ : state) {
        // Directional reconstruction rewrites the approximations it reads next time; the
        // work per call is the same whatever they hold.
        vel::WaveletReconstruct(vel::PackedPlane(tile.data(), kTile, kTile), block.table(), kLevels,
                                kind, kernels);
        benchmark::DoNotOptimize(tile[0]);
        benchmark::ClobberMemory();
    }
    SetCounters(state);
}

}  // namespace

BENCHMARK(BM_Decompose)
    ->ArgNames({"kind", "set"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reconstruct)
    ->ArgNames({"kind", "set"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
