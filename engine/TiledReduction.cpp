#include "engine/TiledReduction.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/Suppression.h"
#include "engine/TileGrid.h"
#include "engine/TileScheduler.h"
#include "engine/ToneCorrection.h"
#include "wavelet/SampleBuffer.h"

namespace vel {
namespace {

// One worker's buffers, made once per job: the three tile planes and DenoiseTile's own.
struct ReductionScratch {
    ReductionScratch(const TileGrid& grid, const EngineNumbers& numbers)
        : area(static_cast<size_t>(grid.MaxTileWidth()) *
               static_cast<size_t>(grid.MaxTileHeight())),
          tiles(MakeSampleBuffer(3 * area)),
          denoise(grid.MaxTileWidth(), grid.MaxTileHeight(), numbers.levels, numbers.kind) {}

    float* Tile(int c) const { return tiles.get() + static_cast<size_t>(c) * area; }

    size_t area;
    std::unique_ptr<float[]> tiles;
    DenoiseScratch denoise;
};

}  // namespace

bool ReduceNoise(ImagePlanes image, int32_t tileSize, int32_t overlap, const EngineNumbers& numbers,
                 std::span<const float> profile, const RunContext& context, float* output,
                 PartPool* pool, const float* gainMap) {
    const TileGrid grid(image.width, image.height, tileSize, overlap);
    // RunNoiseReduction has returned already for an empty image.
    assert(grid.tilesX > 0 && grid.tilesY > 0);
    const int64_t tiles = static_cast<int64_t>(grid.tilesX) * grid.tilesY;
    const int32_t threads = static_cast<int32_t>(std::min<int64_t>(EngineThreads(), tiles));
    const size_t planeSize = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    std::unique_ptr<float[]> own;
    if (!output) {
        own = MakeSampleBuffer(3 * planeSize);
        output = own.get();
    }
    // Not zero-filled: the first tile to reach a sample writes it.
    float* const out[3] = {output, output + planeSize, output + 2 * planeSize};
    const ImagePlanes blended{{out[0], out[1], out[2]}, image.width, image.height};
    std::vector<std::unique_ptr<ReductionScratch>> scratch;
    for (int32_t w = 0; w < threads; ++w) {
        scratch.push_back(std::make_unique<ReductionScratch>(grid, numbers));
    }

    TileWork work;
    work.tiles = tiles;
    work.process = [&](int32_t worker, int64_t t, const RunContext& inner,
                       const std::function<void()>& step) {
        const auto ty = static_cast<int32_t>(t / grid.tilesX);
        const auto tx = static_cast<int32_t>(t % grid.tilesX);
        ReductionScratch& s = *scratch[static_cast<size_t>(worker)];
        const int32_t tileWidth = grid.TileWidth(tx);
        const int32_t tileHeight = grid.TileHeight(ty);
        const ptrdiff_t origin = static_cast<ptrdiff_t>(grid.step) * ty * image.width +
                                 static_cast<ptrdiff_t>(grid.step) * tx;
        // Read where the tile lies in the planes; the tile buffers take the results. With tone
        // gains the input is scaled on its way into the tile buffers, so the planes keep their
        // samples until the final copy.
        ConstPlaneView sources[3];
        for (int c = 0; c < 3; ++c) {
            sources[c] = {image.planes[c] + origin, tileWidth, tileHeight, image.width};
            if (gainMap) {
                for (int32_t y = 0; y < tileHeight; ++y) {
                    const ptrdiff_t at = origin + static_cast<ptrdiff_t>(y) * image.width;
                    const float* from = image.planes[c] + at;
                    const float* gains = gainMap + at;
                    float* to = s.Tile(c) + static_cast<ptrdiff_t>(y) * tileWidth;
                    for (int32_t x = 0; x < tileWidth; ++x) {
                        to[x] = from[x] * gains[x];
                    }
                }
            }
        }
        // A stop seen inside leaves the unfinished channels as they came in; the tile is still
        // accumulated and the stop takes effect at the next tile start.
        DenoiseTile({{s.Tile(0), s.Tile(1), s.Tile(2)}, tileWidth, tileHeight}, numbers, profile,
                    inner, &s.denoise, gainMap ? nullptr : sources);
        AccumulateTile(grid, {s.Tile(0), s.Tile(1), s.Tile(2)}, ty, tx, blended, BlendPart::Fresh);
        step();
        return true;
    };
    // The samples earlier tiles reached are added in raster order, one tile at a time, so that
    // every sample receives its overlapping contributions in the same order whatever the thread
    // count: float sums depend on their order.
    work.commit = [&](int32_t worker, int64_t t) {
        const ReductionScratch& s = *scratch[static_cast<size_t>(worker)];
        AccumulateTile(grid, {s.Tile(0), s.Tile(1), s.Tile(2)},
                       static_cast<int32_t>(t / grid.tilesX), static_cast<int32_t>(t % grid.tilesX),
                       blended, BlendPart::Reached);
    };
    if (!RunTiles(work, threads, context)) {
        return false;  // the accumulators are dropped; the planes keep their input
    }
    PartPool alone(1);
    (pool ? *pool : alone).RunRows(image.height, [&](int32_t begin, int32_t end) {
        const size_t first = static_cast<size_t>(begin) * static_cast<size_t>(image.width);
        const size_t n = static_cast<size_t>(end - begin) * static_cast<size_t>(image.width);
        if (!gainMap) {
            for (int c = 0; c < 3; ++c) {
                std::copy_n(out[c] + first, n, image.planes[c] + first);
            }
            return;
        }
        // One pass instead of a copy and then the undo.
        const float* const from[3] = {out[0] + first, out[1] + first, out[2] + first};
        float* const to[3] = {image.planes[0] + first, image.planes[1] + first,
                              image.planes[2] + first};
        DivideOutGains(from, to, gainMap + first, n);
    });
    return true;
}

}  // namespace vel
