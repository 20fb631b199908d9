#include "engine/TiledReduction.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/Suppression.h"
#include "engine/TileGrid.h"

namespace vel {

void ReduceNoise(ImagePlanes image, int32_t tileSize, int32_t overlap, const EngineNumbers& numbers,
                 std::span<const float> profile, const RunContext& context) {
    const TileGrid grid(image.width, image.height, tileSize, overlap);
    if (grid.tilesX == 0 || grid.tilesY == 0) {
        return;
    }
    const size_t tileArea =
        static_cast<size_t>(grid.MaxTileWidth()) * static_cast<size_t>(grid.MaxTileHeight());
    const size_t planeSize = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    std::vector<float> tile0(tileArea), tile1(tileArea), tile2(tileArea);
    std::vector<float> out0(planeSize), out1(planeSize), out2(planeSize);

    const int64_t tiles = static_cast<int64_t>(grid.tilesX) * grid.tilesY;
    for (int32_t ty = 0; ty < grid.tilesY; ++ty) {
        for (int32_t tx = 0; tx < grid.tilesX; ++tx) {
            if (context.StopRequested()) {
                return;  // the accumulators are dropped; the planes keep their input
            }
            ExtractTile(grid, image.planes[0], image.planes[1], image.planes[2], ty, tx,
                        tile0.data(), tile1.data(), tile2.data());
            // A stop seen inside leaves the unfinished channels as extracted; the tile is still
            // accumulated and the stop takes effect at the next tile start.
            const ImagePlanes tile{{tile0.data(), tile1.data(), tile2.data()},
                                   grid.TileWidth(tx),
                                   grid.TileHeight(ty)};
            DenoiseTile(tile, numbers, profile, {context.cancel, context.poll, nullptr});
            AccumulateTile(grid, tile0.data(), tile1.data(), tile2.data(), ty, tx, out0.data(),
                           out1.data(), out2.data());
            const int64_t done = static_cast<int64_t>(grid.tilesX) * ty + tx + 1;
            context.Report(static_cast<float>(done * 100) / static_cast<float>(tiles));
        }
    }
    std::copy(out0.begin(), out0.end(), image.planes[0]);
    std::copy(out1.begin(), out1.end(), image.planes[1]);
    std::copy(out2.begin(), out2.end(), image.planes[2]);
}

}  // namespace vel
