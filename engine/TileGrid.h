#pragma once
// The tile layout shared by the analysis and the reduction: overlapping tiles that cover the
// image, and the raised-cosine window that blends them back together.

#include <cstdint>
#include <vector>

#include "engine/EngineTypes.h"

namespace vel {

struct TileGrid {
    int32_t step = 0;     // tileSize - overlap: distance between neighbouring tile origins
    int32_t overlap = 0;  // samples shared by neighbouring tiles
    int32_t tileSize = 0;
    int32_t tilesX = 0;
    int32_t tilesY = 0;
    int32_t lastTileWidth = 0;
    int32_t lastTileHeight = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<float> window;  // 2 * overlap entries: rising half, then falling half

    // For 0 <= 2 * overlap < tileSize (asserted). An axis of 1..overlap samples, for which the
    // regular rule finds no tile, gets one tile of its own size; an axis < 1 gets none.
    TileGrid(int32_t imageWidth, int32_t imageHeight, int32_t tileSize, int32_t overlap);

    int32_t TileWidth(int32_t tx) const { return tx == tilesX - 1 ? lastTileWidth : tileSize; }
    int32_t TileHeight(int32_t ty) const { return ty == tilesY - 1 ? lastTileHeight : tileSize; }
    // The largest tile, which the tile buffers are sized for.
    int32_t MaxTileWidth() const { return lastTileWidth > tileSize ? lastTileWidth : tileSize; }
    int32_t MaxTileHeight() const { return lastTileHeight > tileSize ? lastTileHeight : tileSize; }
};

// Copies tile (ty, tx) of each of the image's planes (the grid's size) into its packed tile
// buffer (row stride = tile width).
void ExtractTile(const TileGrid& grid, ConstImagePlanes image, int32_t ty, int32_t tx,
                 float* const (&tile)[3]);

// Blends the tiles, each weighted by the window on the sides it shares with a neighbour,
// straight into the image: a sample is written once the last tile covering it is in, so no
// output planes are needed and the planes may be both the tiles' input and the output. Until
// then the sums of the overlaps are kept in strips: two bands of overlap rows across the image
// and one of overlap columns down a tile. A sample's contributions are added in raster order of
// the tiles, whatever the thread count: float sums depend on their order.
class TileBlender {
  public:
    // Throws std::bad_alloc when the strips do not fit.
    explicit TileBlender(const TileGrid& grid);

    // The samples of tile (ty, tx) that no other tile covers, into out: safe for several tiles
    // at once, and once the tile's input has been read. gains (tile stride), when given, are
    // divided out of the result.
    void WriteInterior(const float* const (&tile)[3], int32_t ty, int32_t tx, ImagePlanes out,
                       const float* gains) const;
    // The rest of tile (ty, tx): called for every tile in raster order, one at a time. Writes
    // into out the samples that no later tile covers; the other tiles' samples stay as they
    // are.
    void AddBorder(const float* const (&tile)[3], int32_t ty, int32_t tx, ImagePlanes out,
                   const float* gains);

  private:
    const TileGrid& grid_;
    std::vector<float> above_;   // rows shared with the tile row above: 3 * overlap * width
    std::vector<float> below_;   // rows shared with the tile row below
    std::vector<float> beside_;  // columns shared with the next tile: 3 * overlap * height
    std::vector<float> across_;  // the current tile's column weights
};

}  // namespace vel
