#include "engine/TiledReduction.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/Suppression.h"
#include "engine/TileGrid.h"
#include "engine/TileScheduler.h"
#include "engine/ToneCorrection.h"
#include "wavelet/SampleBuffer.h"

namespace vel {
namespace {

// One worker's buffers, made once per job: the three tile planes, the tile's gains with a tone
// correction, and DenoiseTile's own.
struct ReductionScratch {
    ReductionScratch(const TileGrid& grid, const EngineNumbers& numbers, bool tone)
        : area(static_cast<size_t>(grid.MaxTileWidth()) *
               static_cast<size_t>(grid.MaxTileHeight())),
          tiles(MakeSampleBuffer(3 * area)),
          gains(tone ? MakeSampleBuffer(area) : nullptr),
          denoise(grid.MaxTileWidth(), grid.MaxTileHeight(), numbers.levels, numbers.kind) {}

    float* Tile(int c) const { return tiles.get() + static_cast<size_t>(c) * area; }

    size_t area;
    std::unique_ptr<float[]> tiles;
    std::unique_ptr<float[]> gains;
    DenoiseScratch denoise;
};

// Hands the tiles their gains in tile order. A tile row's gains are made when its first tile
// asks, once every tile of the row above has taken its own, so the stream keeps one tile row of
// gains; it reads plane 0's rows below the tiles already taken, which no tile has written yet.
class GainFeed {
  public:
    GainFeed(const TileGrid& grid, ImagePlanes image, const EngineNumbers& numbers,
             const KernelSet* kernels)
        : grid_(grid),
          stream_(image.planes[0], image.width, image.height, numbers.lightGain, numbers.darkGain,
                  std::min(grid.MaxTileHeight(), image.height), kernels) {}

    // Copies tile t's gains into gains (tile stride); t = 0, 1, ... each once.
    void Take(int64_t t, float* gains) {
        std::unique_lock lock(mutex_);
        turn_.wait(lock, [&] { return next_ == t; });
        const auto ty = static_cast<int32_t>(t / grid_.tilesX);
        const auto tx = static_cast<int32_t>(t % grid_.tilesX);
        const int32_t top = grid_.step * ty;
        const int32_t w = grid_.TileWidth(tx);
        const int32_t h = grid_.TileHeight(ty);
        if (tx == 0) {
            stream_.Advance(top + h);
        }
        for (int32_t y = 0; y < h; ++y) {
            std::copy_n(stream_.Row(top + y) + static_cast<ptrdiff_t>(grid_.step) * tx, w,
                        gains + static_cast<ptrdiff_t>(y) * w);
        }
        ++next_;
        turn_.notify_all();
    }

  private:
    const TileGrid& grid_;
    ToneGainStream stream_;
    std::mutex mutex_;
    std::condition_variable turn_;
    int64_t next_ = 0;
};

}  // namespace

bool ReduceNoise(ImagePlanes image, int32_t tileSize, int32_t overlap, const EngineNumbers& numbers,
                 std::span<const float> profile, const RunContext& context) {
    const TileGrid grid(image.width, image.height, tileSize, overlap);
    // RunNoiseReduction has returned already for an empty image.
    assert(grid.tilesX > 0 && grid.tilesY > 0);
    const int64_t tiles = static_cast<int64_t>(grid.tilesX) * grid.tilesY;
    const int32_t threads = static_cast<int32_t>(
        std::clamp<int64_t>(context.config.threads, 1, std::min<int64_t>(tiles, 64)));
    const bool tone = ToneCorrectionActive(numbers.lightGain, numbers.darkGain);
    std::optional<GainFeed> feed;
    if (tone) {
        feed.emplace(grid, image, numbers, context.config.kernels);
    }
    TileBlender blender(grid);
    std::vector<std::unique_ptr<ReductionScratch>> scratch;
    for (int32_t w = 0; w < threads; ++w) {
        scratch.push_back(std::make_unique<ReductionScratch>(grid, numbers, tone));
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
        // First, so that the tiles take their gains in order however the workers run.
        if (feed) {
            feed->Take(t, s.gains.get());
        }
        // Read where the tile lies in the planes, which no tile has written there yet; the tile
        // buffers take the results. With tone gains the input is scaled on its way into the
        // tile buffers.
        ConstPlaneView sources[3];
        for (int c = 0; c < 3; ++c) {
            sources[c] = {image.planes[c] + origin, tileWidth, tileHeight, image.width};
            if (tone) {
                for (int32_t y = 0; y < tileHeight; ++y) {
                    const float* from =
                        image.planes[c] + origin + static_cast<ptrdiff_t>(y) * image.width;
                    const float* gains = s.gains.get() + static_cast<ptrdiff_t>(y) * tileWidth;
                    float* to = s.Tile(c) + static_cast<ptrdiff_t>(y) * tileWidth;
                    for (int32_t x = 0; x < tileWidth; ++x) {
                        to[x] = from[x] * gains[x];
                    }
                }
            }
        }
        // A stop seen inside leaves the unfinished channels as they came in; the tile is still
        // blended and the stop takes effect at the next tile start.
        DenoiseTile({{s.Tile(0), s.Tile(1), s.Tile(2)}, tileWidth, tileHeight}, numbers, profile,
                    inner, &s.denoise, tone ? nullptr : sources);
        blender.WriteInterior({s.Tile(0), s.Tile(1), s.Tile(2)}, ty, tx, image, s.gains.get());
        step();
        return true;
    };
    work.commit = [&](int32_t worker, int64_t t) {
        const ReductionScratch& s = *scratch[static_cast<size_t>(worker)];
        blender.AddBorder({s.Tile(0), s.Tile(1), s.Tile(2)}, static_cast<int32_t>(t / grid.tilesX),
                          static_cast<int32_t>(t % grid.tilesX), image, s.gains.get());
    };
    return RunTiles(work, threads, context);
}

}  // namespace vel
