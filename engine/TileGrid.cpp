#include "engine/TileGrid.h"

#include "engine/PortableMath.h"

#include <cassert>
#include <cstddef>
#include <vector>

namespace vel {
namespace {

constexpr float kPi = 3.1415927f;

struct AxisLayout {
    int32_t count;
    int32_t last;
};

AxisLayout LayOutAxis(int32_t size, int32_t tileSize, int32_t overlap) {
    if (size < 1) {
        return {0, 0};
    }
    const int32_t step = tileSize - overlap;
    const int32_t n = (size - tileSize) / step;  // truncates toward zero
    if (n < 0) {
        // size <= overlap: no regular tile fits; the whole axis is one tile.
        return {1, size};
    }
    const int32_t covered = n * step + tileSize;
    const int32_t rest = size - covered;
    if (rest > 2 * overlap) {
        return {n + 2, rest + overlap};
    }
    return {n + 1, size - n * step};
}

// Weight of position i along one tile axis of the given length; a side that lies on the image
// border keeps weight 1.
inline float AxisWeight(const TileGrid& g, int32_t i, int32_t length, bool first, bool last) {
    if (i < g.overlap && !first) {
        return g.window[static_cast<size_t>(i)];
    }
    if (i >= length - g.overlap && !last) {
        return g.window[static_cast<size_t>(i - length + 2 * g.overlap)];
    }
    return 1.0f;
}

}  // namespace

TileGrid::TileGrid(int32_t imageWidth, int32_t imageHeight, int32_t size, int32_t over)
    : step(size - over), overlap(over), tileSize(size), width(imageWidth), height(imageHeight) {
    // The layout's premise: tiles advance past their overlaps. Only the engine's own constants
    // come here.
    assert(over >= 0 && size > 2 * over);
    const AxisLayout x = LayOutAxis(imageWidth, size, over);
    const AxisLayout y = LayOutAxis(imageHeight, size, over);
    tilesX = x.count;
    lastTileWidth = x.last;
    tilesY = y.count;
    lastTileHeight = y.last;
    if (tilesX == 0 || tilesY == 0) {
        tilesX = tilesY = 0;
        lastTileWidth = lastTileHeight = 0;
    }
    window.resize(static_cast<size_t>(2 * over));
    for (int32_t i = 0; i < 2 * over; ++i) {
        const double phase =
            (static_cast<double>(i) + 0.5) * static_cast<double>(kPi) / static_cast<double>(over);
        window[static_cast<size_t>(i)] = static_cast<float>(0.5 * (1.0 - PortableCos(phase)));
    }
}

void ExtractTile(const TileGrid& grid, ConstImagePlanes image, int32_t ty, int32_t tx,
                 float* const (&tiles)[3]) {
    assert(image.width == grid.width);
    const int32_t tileWidth = grid.TileWidth(tx);
    const int32_t tileHeight = grid.TileHeight(ty);
    const float* const* planes = image.planes;
    for (int p = 0; p < 3; ++p) {
        for (int32_t r = 0; r < tileHeight; ++r) {
            const float* src =
                planes[p] +
                static_cast<ptrdiff_t>(grid.width) * (static_cast<ptrdiff_t>(grid.step) * ty + r) +
                static_cast<ptrdiff_t>(grid.step) * tx;
            float* dst = tiles[p] + static_cast<ptrdiff_t>(r) * tileWidth;
            for (int32_t c = 0; c < tileWidth; ++c) {
                dst[c] = src[c];
            }
        }
    }
}

void AccumulateTile(const TileGrid& grid, const float* const (&tiles)[3], int32_t ty, int32_t tx,
                    ImagePlanes out, BlendPart part) {
    assert(out.width == grid.width);
    const int32_t tileWidth = grid.TileWidth(tx);
    const int32_t tileHeight = grid.TileHeight(ty);
    const bool top = ty == 0;
    const bool bottom = ty == grid.tilesY - 1;
    const bool left = tx == 0;
    const bool right = tx == grid.tilesX - 1;
    float* const* outs = out.planes;
    // The column weights once per tile, so the sample loops below are plain enough for the
    // compiler to vectorise; each weight is still the product vertical * horizontal.
    std::vector<float> horizontal(static_cast<size_t>(tileWidth));
    for (int32_t c = 0; c < tileWidth; ++c) {
        horizontal[static_cast<size_t>(c)] = AxisWeight(grid, c, tileWidth, left, right);
    }
    const float* across = horizontal.data();
    for (int p = 0; p < 3; ++p) {
        for (int32_t r = 0; r < tileHeight; ++r) {
            const float vertical = AxisWeight(grid, r, tileHeight, top, bottom);
            const float* src = tiles[p] + static_cast<ptrdiff_t>(r) * tileWidth;
            float* dst =
                outs[p] +
                static_cast<ptrdiff_t>(grid.width) * (static_cast<ptrdiff_t>(grid.step) * ty + r) +
                static_cast<ptrdiff_t>(grid.step) * tx;
            // Samples no earlier tile in raster order has reached (below the top overlap,
            // right of the left one) start from 0 here, so the planes need no zero fill:
            // 0 + x is what the sum would give, signed zeros included.
            const int32_t reached = (!top && r < grid.overlap) ? tileWidth
                                    : left                     ? 0
                                                               : grid.overlap;
            if (part != BlendPart::Fresh) {
                for (int32_t c = 0; c < reached; ++c) {
                    dst[c] = dst[c] + (vertical * across[c]) * src[c];
                }
            }
            if (part != BlendPart::Reached) {
                for (int32_t c = reached; c < tileWidth; ++c) {
                    dst[c] = 0.0f + (vertical * across[c]) * src[c];
                }
            }
        }
    }
}

}  // namespace vel
