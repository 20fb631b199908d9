#include "engine/NoiseAnalysis.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/TileGrid.h"
#include "wavelet/BandBlock.h"

namespace vel {

void NoiseHistogram::Add(const float* values, int64_t n) {
    if (n <= 0) {
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

void MedianAbs(const float* values, int32_t cols, int32_t rows, float* result) {
    NoiseHistogram histogram;
    histogram.Add(values, static_cast<int64_t>(cols) * rows);
    *result = histogram.Median();
}

void MeasureTileNoise(BandTable bands, int32_t cols, int32_t rows, int32_t levels, int32_t S,
                      float* out) {
    for (int32_t level = 0; level < levels; ++level) {
        for (int32_t b = 1; b < S; ++b) {
            MedianAbs(bands[level * S + b], cols, rows, &out[level * S + b]);
        }
    }
}

std::optional<NoiseProfile> AnalyzeNoise(ConstImagePlanes image, int32_t tileSize, int32_t overlap,
                                         const EngineNumbers& numbers, const RunContext& context) {
    const int32_t levels = numbers.levels;
    const WaveletKind kind = numbers.kind;
    const int32_t S = BandsPerLevel(kind);
    const int32_t bandsPerChannel = S * levels;
    const TileGrid grid(image.width, image.height, tileSize, overlap);
    if (grid.tilesX == 0 || grid.tilesY == 0 || levels < 1) {
        return std::nullopt;  // nothing to measure
    }
    const size_t tileArea =
        static_cast<size_t>(grid.MaxTileWidth()) * static_cast<size_t>(grid.MaxTileHeight());
    auto tile0 = std::make_unique_for_overwrite<float[]>(tileArea);
    auto tile1 = std::make_unique_for_overwrite<float[]>(tileArea);
    auto tile2 = std::make_unique_for_overwrite<float[]>(tileArea);
    const BandBlock bands(grid.MaxTileWidth(), grid.MaxTileHeight(), levels, kind);
    std::vector<NoiseHistogram> histograms(static_cast<size_t>(3 * bandsPerChannel));
    const float* tiles[3] = {tile0.get(), tile1.get(), tile2.get()};

    const int64_t steps = 3 * static_cast<int64_t>(grid.tilesX) * grid.tilesY;
    for (int32_t ty = 0; ty < grid.tilesY; ++ty) {
        for (int32_t tx = 0; tx < grid.tilesX; ++tx) {
            if (context.StopRequested()) {
                return std::nullopt;
            }
            const int32_t tileWidth = grid.TileWidth(tx);
            const int32_t tileHeight = grid.TileHeight(ty);
            const int64_t tileSamples = static_cast<int64_t>(tileWidth) * tileHeight;
            ExtractTile(grid, image.planes[0], image.planes[1], image.planes[2], ty, tx,
                        tile0.get(), tile1.get(), tile2.get());
            for (int32_t c = 0; c < 3; ++c) {
                if (context.Cancelled()) {
                    return std::nullopt;
                }
                WaveletDecompose(PackedPlane(tiles[c], tileWidth, tileHeight), bands.table(),
                                 levels, kind, numbers.filterIndex);
                if (context.StopRequested()) {
                    return std::nullopt;
                }
                for (int32_t i = 0; i < bandsPerChannel; ++i) {
                    histograms[static_cast<size_t>(c * bandsPerChannel + i)].Add(bands.table()[i],
                                                                                 tileSamples);
                }
                const int64_t done = 3 * (static_cast<int64_t>(grid.tilesX) * ty + tx) + c + 1;
                context.Report(static_cast<float>(done * 100) / static_cast<float>(steps));
            }
        }
    }
    NoiseProfile profile(histograms.size());
    for (size_t j = 0; j < histograms.size(); ++j) {
        profile[j] = histograms[j].Median();
    }
    return profile;
}

}  // namespace vel
