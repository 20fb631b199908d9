// Decomposition and reconstruction of one 512 x 512 tile with the engine's 4 levels.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "wavelet/BandBlock.h"
#include "wavelet/Wavelet.h"

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

void SetCounters(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * int64_t{kTile} * kTile);
}

void BM_Decompose(benchmark::State& state) {
    const auto kind = static_cast<vel::WaveletKind>(state.range(0));
    const std::vector<float> tile = NoisyTile();
    vel::BandBlock block(kTile, kTile, kLevels, kind);
    for (auto _ : state) {
        vel::WaveletDecompose(vel::PackedPlane(tile.data(), kTile, kTile), block.table(), kLevels,
                              kind);
        benchmark::DoNotOptimize(block.band(kLevels - 1, 0)[0]);
        benchmark::ClobberMemory();
    }
    SetCounters(state);
}

void BM_Reconstruct(benchmark::State& state) {
    const auto kind = static_cast<vel::WaveletKind>(state.range(0));
    std::vector<float> tile = NoisyTile();
    vel::BandBlock block(kTile, kTile, kLevels, kind);
    vel::WaveletDecompose(vel::PackedPlane(tile.data(), kTile, kTile), block.table(), kLevels,
                          kind);
    for (auto _ : state) {
        // Directional reconstruction rewrites the approximations it reads next time; the
        // work per call is the same whatever they hold.
        vel::WaveletReconstruct(vel::PackedPlane(tile.data(), kTile, kTile), block.table(), kLevels,
                                kind);
        benchmark::DoNotOptimize(tile[0]);
        benchmark::ClobberMemory();
    }
    SetCounters(state);
}

}  // namespace

BENCHMARK(BM_Decompose)->ArgName("kind")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reconstruct)->ArgName("kind")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
