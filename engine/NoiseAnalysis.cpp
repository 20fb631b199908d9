#include "engine/NoiseAnalysis.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/Kernels.h"
#include "engine/TileGrid.h"
#include "engine/TileScheduler.h"
#include "wavelet/BandBlock.h"

namespace vel {

void NoiseHistogram::Add(const float* values, int64_t n, const KernelSet* kernels) {
    if (n <= 0) {
        return;
    }
    if (kernels) {
        // Noise piles into a few bins, so one table would make every increment wait for the
        // one before; four tables counted in turn and added up at the end give the same counts.
        constexpr int64_t kChunk = 1024;
        std::array<int32_t, kChunk> bins;
        std::array<std::array<uint32_t, kBins>, 3> more{};
        for (int64_t i = 0; i < n; i += kChunk) {
            const auto chunk = static_cast<int32_t>(std::min(kChunk, n - i));
            kernels->histogramBins(values + i, chunk, offset, binsPerUnit, kBins, bins.data());
            int32_t j = 0;
            for (; j + 4 <= chunk; j += 4) {
                ++counts[static_cast<size_t>(bins[static_cast<size_t>(j)])];
                ++more[0][static_cast<size_t>(bins[static_cast<size_t>(j + 1)])];
                ++more[1][static_cast<size_t>(bins[static_cast<size_t>(j + 2)])];
                ++more[2][static_cast<size_t>(bins[static_cast<size_t>(j + 3)])];
            }
            for (; j < chunk; ++j) {
                ++counts[static_cast<size_t>(bins[static_cast<size_t>(j)])];
            }
        }
        for (size_t b = 0; b < counts.size(); ++b) {
            counts[b] += (more[0][b] + more[1][b]) + more[2][b];
        }
        total += static_cast<uint32_t>(n);
        return;
    }
    for (int64_t i = 0; i < n; ++i) {
        const float position = (std::fabs(values[i]) - offset) * binsPerUnit;
        int32_t bin;
        // The comparisons are written so that NaN fails the first one: it lands in the last
        // bin with the other values that are too large to resolve.
        if (!(position < static_cast<float>(kBins))) {
            bin = kBins - 1;
        } else if (position < 1.0f) {
            bin = 0;  // includes the values below offset
        } else {
            bin = static_cast<int32_t>(position);
        }
        ++counts[static_cast<size_t>(bin)];
    }
    total += static_cast<uint32_t>(n);
}

void NoiseHistogram::Merge(const NoiseHistogram& other) {
    for (size_t b = 0; b < counts.size(); ++b) {
        counts[b] += other.counts[b];
    }
    total += other.total;
}

float NoiseHistogram::Median() const {
    if (total == 0) {
        return 0.0f;
    }
    const double half = static_cast<double>(total) * 0.5;
    double running = 0.0;
    int32_t idx = kBins - 1;
    for (int32_t b = 0; b < kBins; ++b) {
        running += static_cast<double>(counts[static_cast<size_t>(b)]);
        if (running >= half) {
            idx = b;
            break;
        }
    }
    const double inBin = static_cast<double>(counts[static_cast<size_t>(idx)]);
    const double below = running - inBin;
    // inBin > 0 whenever total > 0: the bin where the running count first reaches half must
    // have added to it.
    const double fraction = inBin > 0.0 ? (half - below) / inBin : 0.0;
    return static_cast<float>((static_cast<double>(idx) + fraction) *
                                  static_cast<double>(binWidth) +
                              static_cast<double>(offset));
}

void MedianAbs(const float* values, int32_t cols, int32_t rows, float* result,
               const KernelSet* kernels) {
    NoiseHistogram histogram;
    histogram.Add(values, static_cast<int64_t>(cols) * rows, kernels);
    *result = histogram.Median();
}

void MeasureTileNoise(BandTable bands, int32_t cols, int32_t rows, int32_t levels, int32_t S,
                      float* out, const KernelSet* kernels) {
    for (int32_t level = 0; level < levels; ++level) {
        for (int32_t b = 1; b < S; ++b) {
            MedianAbs(bands[level * S + b], cols, rows, &out[level * S + b], kernels);
        }
    }
}

namespace {

// One worker's bands and counts, made once per job. The tiles are read where they lie in the
// planes: the decomposition only reads its source.
struct AnalysisScratch {
    AnalysisScratch(const TileGrid& grid, int32_t levels, WaveletKind kind, size_t histogramCount)
        : bands(grid.MaxTileWidth(), grid.MaxTileHeight(), levels, kind),
          histograms(histogramCount) {}

    BandBlock bands;
    std::vector<NoiseHistogram> histograms;
};

}  // namespace

std::optional<NoiseProfile> AnalyzeNoise(ConstImagePlanes image, int32_t tileSize, int32_t overlap,
                                         const EngineNumbers& numbers, const RunContext& context) {
    const int32_t levels = numbers.levels;
    const WaveletKind kind = numbers.kind;
    const int32_t bandsPerChannel = BandsPerLevel(kind) * levels;
    assert(levels >= 1 && levels <= 4);
    const TileGrid grid(image.width, image.height, tileSize, overlap);
    if (grid.tilesX == 0 || grid.tilesY == 0) {
        return std::nullopt;  // an empty image: nothing to measure
    }
    const int64_t tiles = static_cast<int64_t>(grid.tilesX) * grid.tilesY;
    const int32_t threads = static_cast<int32_t>(
        std::clamp<int64_t>(context.config.threads, 1, std::min<int64_t>(tiles, 64)));
    const size_t histogramCount = static_cast<size_t>(3 * bandsPerChannel);
    std::vector<std::unique_ptr<AnalysisScratch>> scratch;
    for (int32_t w = 0; w < threads; ++w) {
        scratch.push_back(std::make_unique<AnalysisScratch>(grid, levels, kind, histogramCount));
    }

    TileWork work;
    work.tiles = tiles;
    work.stepsPerTile = 3;
    work.process = [&](int32_t worker, int64_t t, const RunContext& inner,
                       const std::function<void()>& step) {
        const auto ty = static_cast<int32_t>(t / grid.tilesX);
        const auto tx = static_cast<int32_t>(t % grid.tilesX);
        AnalysisScratch& s = *scratch[static_cast<size_t>(worker)];
        const int32_t tileWidth = grid.TileWidth(tx);
        const int32_t tileHeight = grid.TileHeight(ty);
        const int64_t tileSamples = static_cast<int64_t>(tileWidth) * tileHeight;
        const ptrdiff_t origin = static_cast<ptrdiff_t>(grid.step) * ty * image.width +
                                 static_cast<ptrdiff_t>(grid.step) * tx;
        for (int32_t c = 0; c < 3; ++c) {
            if (inner.Cancelled()) {
                return false;
            }
            const ConstPlaneView tile{image.planes[c] + origin, tileWidth, tileHeight, image.width};
            WaveletDecompose(tile, s.bands.table(), levels, kind,
                             WaveletKernelsOf(inner.config.kernels), s.bands.scratch());
            if (inner.StopRequested()) {
                return false;
            }
            for (int32_t i = 0; i < bandsPerChannel; ++i) {
                s.histograms[static_cast<size_t>(c * bandsPerChannel + i)].Add(
                    s.bands.table()[i], tileSamples, inner.config.kernels);
            }
            step();
        }
        return true;
    };
    if (!RunTiles(work, threads, context)) {
        return std::nullopt;
    }
    // Integer counts: the merged histograms are those of one thread walking every tile.
    std::vector<NoiseHistogram>& merged = scratch[0]->histograms;
    for (size_t w = 1; w < scratch.size(); ++w) {
        for (size_t j = 0; j < histogramCount; ++j) {
            merged[j].Merge(scratch[w]->histograms[j]);
        }
    }
    NoiseProfile profile{kind, levels, std::vector<float>(histogramCount)};
    for (size_t j = 0; j < histogramCount; ++j) {
        profile.noise[j] = merged[j].Median();
    }
    return profile;
}

std::span<const float> NoiseProfile::For(WaveletKind wanted, int32_t wantedLevels) const {
    const size_t needed = static_cast<size_t>(3 * BandsPerLevel(wanted)) *
                          static_cast<size_t>(std::max(wantedLevels, 0));
    if (wanted != kind || wantedLevels != levels || levels < 1 || noise.size() < needed) {
        return {};
    }
    return std::span<const float>(noise).first(needed);
}

}  // namespace vel
