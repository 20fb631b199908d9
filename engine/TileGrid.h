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

// Which samples of a tile AccumulateTile writes.
enum class BlendPart : uint8_t {
    All,
    // Those an earlier tile in raster order covers: added in raster order.
    Reached,
    // The others, overwritten: no earlier tile touches them, so they may be written before the
    // earlier tiles are added and beside them.
    Fresh,
};

// Adds each tile, weighted by the blending window on the sides it shares with a neighbour,
// into its output plane. Called for every tile in raster order it builds the blended planes
// from any initial contents: a sample that no earlier tile covers is overwritten.
void AccumulateTile(const TileGrid& grid, const float* const (&tile)[3], int32_t ty, int32_t tx,
                    ImagePlanes out, BlendPart part = BlendPart::All);

}  // namespace vel
