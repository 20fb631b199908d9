#include "engine/TiledReduction.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/Suppression.h"
#include "engine/TileGrid.h"

namespace vel {

void ReduceNoise(float* plane0, float* plane1, float* plane2, int32_t width, int32_t height,
                 int32_t tileSize, int32_t overlap, float lumaThresholdFactor,
                 float chromaThresholdFactor, uint32_t filterIndex, float lumaFloor,
                 float chromaFloor, float curveExponent, WaveletKind kind, int32_t levels,
                 const float* noiseProfile, ProgressCallback progress, PollCallback poll,
                 const CancelFlag* cancel) {
    const TileGrid grid(width, height, tileSize, overlap);
    if (grid.tilesX == 0 || grid.tilesY == 0) {
        return;
    }
    const size_t tileArea =
        static_cast<size_t>(grid.MaxTileWidth()) * static_cast<size_t>(grid.MaxTileHeight());
    const size_t planeSize = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<float> tile0(tileArea), tile1(tileArea), tile2(tileArea);
    std::vector<float> out0(planeSize), out1(planeSize), out2(planeSize);

    const int64_t tiles = static_cast<int64_t>(grid.tilesX) * grid.tilesY;
    for (int32_t ty = 0; ty < grid.tilesY; ++ty) {
        for (int32_t tx = 0; tx < grid.tilesX; ++tx) {
            if (StopRequested(cancel, poll)) {
                return;  // the accumulators are dropped; the planes keep their input
            }
            const int32_t tileWidth = grid.TileWidth(tx);
            const int32_t tileHeight = grid.TileHeight(ty);
            ExtractTile(grid, plane0, plane1, plane2, ty, tx, tile0.data(), tile1.data(),
                        tile2.data());
            // A stop seen inside leaves the unfinished channels as extracted; the tile is still
            // accumulated and the stop takes effect at the next tile start.
            DenoiseTile(tile0.data(), tile1.data(), tile2.data(), tileWidth, tileHeight,
                        lumaThresholdFactor, chromaThresholdFactor, filterIndex, lumaFloor,
                        chromaFloor, curveExponent, kind, levels, noiseProfile, poll, cancel);
            AccumulateTile(grid, tile0.data(), tile1.data(), tile2.data(), ty, tx, out0.data(),
                           out1.data(), out2.data());
            if (progress) {
                const int64_t done = static_cast<int64_t>(grid.tilesX) * ty + tx + 1;
                progress(static_cast<float>(done * 100) / static_cast<float>(tiles));
            }
        }
    }
    std::copy(out0.begin(), out0.end(), plane0);
    std::copy(out1.begin(), out1.end(), plane1);
    std::copy(out2.begin(), out2.end(), plane2);
}

}  // namespace vel
