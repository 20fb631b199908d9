// Kernel benchmarks: one ShrinkSubband per level and shape, one whole 512 x 512 tile of three
// channels through DenoiseTile, and the noise analysis of a 1536 x 1536 image (its decompositions
// and histograms), for both wavelet kinds, on one thread.

#include <benchmark/benchmark.h>

#include <vector>

#include "BenchImage.h"
#include "engine/Jobs.h"
#include "engine/Suppression.h"
#include "engine/TileScheduler.h"

namespace vel {
namespace {

constexpr int32_t kTile = 512;
constexpr size_t kTileArea = static_cast<size_t>(kTile) * kTile;

void BM_ShrinkSubband(benchmark::State& state) {
    const auto level = static_cast<int32_t>(state.range(0));
    const auto shape = static_cast<WindowShape>(state.range(1));
    std::vector<float> source(kTileArea), band(kTileArea), parent(kTileArea), work(kTileArea);
    bench::FillNoisy(source.data(), kTileArea, kTile, 1, 0.0f, 3.0f);
    bench::FillNoisy(parent.data(), kTileArea, kTile, 2, 0.0f, 3.0f);
    for (auto _ : state) {
        state.PauseTiming();
        band = source;
        state.ResumeTiming();
        ShrinkSubband(band.data(), level < 3 ? parent.data() : nullptr, kTile, kTile,
                      {.noiseLevel = 2.0f,
                       .level = level,
                       .floor = 0.25f,
                       .shape = shape,
                       .kernels = DefaultEngineConfig().kernels},
                      work.data());
        benchmark::DoNotOptimize(band.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kTileArea));
}
BENCHMARK(BM_ShrinkSubband)
    ->ArgNames({"level", "shape"})
    ->ArgsProduct({{0, 3}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

void BM_DenoiseTile(benchmark::State& state) {
    const auto kind = static_cast<WaveletKind>(state.range(0));
    const bool withProfile = state.range(1) != 0;
    std::vector<float> source[3], tile[3];
    for (int c = 0; c < 3; ++c) {
        source[c].resize(kTileArea);
        bench::FillNoisy(source[c].data(), kTileArea, kTile, 10u + static_cast<uint64_t>(c),
                         c == 0 ? 100.0f : 0.0f, c == 0 ? 6.0f : 4.0f);
    }
    const std::vector<float> profile(48, 1.5f);
    EngineNumbers numbers;
    numbers.lumaThresholdFactor = 0.635f;
    numbers.chromaThresholdFactor = 0.898f;
    numbers.lumaFloor = 0.501f;
    numbers.chromaFloor = 0.251f;
    numbers.kind = kind;
    for (auto _ : state) {
        state.PauseTiming();
        for (int c = 0; c < 3; ++c) {
            tile[c] = source[c];
        }
        state.ResumeTiming();
        DenoiseTile({{tile[0].data(), tile[1].data(), tile[2].data()}, kTile, kTile}, numbers,
                    withProfile ? std::span<const float>(profile) : std::span<const float>(), {});
        benchmark::DoNotOptimize(tile[0].data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kTileArea));
}
BENCHMARK(BM_DenoiseTile)
    ->ArgNames({"kind", "profile"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_AnalyzeNoise(benchmark::State& state) {
    constexpr int32_t kSide = 1536;
    constexpr size_t kArea = static_cast<size_t>(kSide) * kSide;
    std::vector<float> planes[3];
    for (int c = 0; c < 3; ++c) {
        planes[c].resize(kArea);
        bench::FillNoisy(planes[c].data(), kArea, kSide, 20u + static_cast<uint64_t>(c),
                         c == 0 ? 100.0f : 0.0f, c == 0 ? 6.0f : 4.0f);
    }
    EngineSettings settings;
    settings.highQuality = state.range(0) != 0;
    const RunContext oneThread{.config = {1, DefaultEngineConfig().kernels}};
    for (auto _ : state) {
        auto profile =
            RunNoiseAnalysis({planes[0].data(), planes[1].data(), planes[2].data(), kSide, kSide},
                             settings, oneThread);
        benchmark::DoNotOptimize(profile);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kArea));
}
BENCHMARK(BM_AnalyzeNoise)->ArgName("highQuality")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vel
