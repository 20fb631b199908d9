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

TileBlender::TileBlender(const TileGrid& grid)
    : grid_(grid),
      above_(3 * static_cast<size_t>(grid.overlap) * static_cast<size_t>(grid.width)),
      below_(above_.size()),
      beside_(3 * static_cast<size_t>(grid.overlap) * static_cast<size_t>(grid.MaxTileHeight())),
      across_(static_cast<size_t>(grid.MaxTileWidth())) {}

void TileBlender::WriteInterior(const float* const (&tile)[3], int32_t ty, int32_t tx,
                                ImagePlanes out, const float* gains) const {
    assert(out.width == grid_.width);
    const int32_t w = grid_.TileWidth(tx);
    const int32_t h = grid_.TileHeight(ty);
    const int32_t o = grid_.overlap;
    const int32_t i0 = ty == 0 ? 0 : o;
    const int32_t i1 = ty == grid_.tilesY - 1 ? h : h - o;
    const int32_t j0 = tx == 0 ? 0 : o;
    const int32_t j1 = tx == grid_.tilesX - 1 ? w : w - o;
    for (int p = 0; p < 3; ++p) {
        for (int32_t i = i0; i < i1; ++i) {
            const float* src = tile[p] + static_cast<ptrdiff_t>(i) * w;
            float* dst = out.planes[p] +
                         static_cast<ptrdiff_t>(grid_.width) *
                             (static_cast<ptrdiff_t>(grid_.step) * ty + i) +
                         static_cast<ptrdiff_t>(grid_.step) * tx;
            // Both weights are 1 here (the window covers only the overlaps), and 1 * 1 * x is x
            // exactly: what the blend's 0 + weight * x gives.
            if (!gains) {
                for (int32_t j = j0; j < j1; ++j) {
                    dst[j] = 0.0f + src[j];
                }
                continue;
            }
            const float* g = gains + static_cast<ptrdiff_t>(i) * w;
            for (int32_t j = j0; j < j1; ++j) {
                dst[j] = (0.0f + src[j]) * (1.0f / g[j]);
            }
        }
    }
}

void TileBlender::AddBorder(const float* const (&tile)[3], int32_t ty, int32_t tx, ImagePlanes out,
                            const float* gains) {
    assert(out.width == grid_.width);
    const int32_t w = grid_.TileWidth(tx);
    const int32_t h = grid_.TileHeight(ty);
    const int32_t o = grid_.overlap;
    const bool top = ty == 0;
    const bool bottom = ty == grid_.tilesY - 1;
    const bool left = tx == 0;
    const bool right = tx == grid_.tilesX - 1;
    for (int32_t j = 0; j < w; ++j) {
        across_[static_cast<size_t>(j)] = AxisWeight(grid_, j, w, left, right);
    }
    const float* const across = across_.data();
    const int32_t j0 = left ? 0 : o;
    const int32_t j1 = right ? w : w - o;
    const auto width = static_cast<size_t>(grid_.width);
    const auto x0 = static_cast<size_t>(grid_.step) * static_cast<size_t>(tx);
    for (int p = 0; p < 3; ++p) {
        const auto plane = static_cast<size_t>(p);
        for (int32_t i = 0; i < h; ++i) {
            const float vertical = AxisWeight(grid_, i, h, top, bottom);
            const float* src = tile[p] + static_cast<ptrdiff_t>(i) * w;
            const float* g = gains ? gains + static_cast<ptrdiff_t>(i) * w : nullptr;
            float* dst = out.planes[p] +
                         static_cast<ptrdiff_t>(grid_.width) *
                             (static_cast<ptrdiff_t>(grid_.step) * ty + i) +
                         static_cast<ptrdiff_t>(grid_.step) * tx;
            const bool reachedRow = !top && i < o;        // the tile row above covers it
            const bool laterRow = !bottom && i >= h - o;  // the tile row below will
            // Where the row's sums wait: the rows shared with the tile row above or below, else
            // the columns shared with the left and right neighbours.
            float* const rowSums =
                reachedRow
                    ? &above_[(plane * static_cast<size_t>(o) + static_cast<size_t>(i)) * width +
                              x0]
                : laterRow
                    ? &below_[(plane * static_cast<size_t>(o) + static_cast<size_t>(i - (h - o))) *
                                  width +
                              x0]
                    : nullptr;
            float* const sideSums = &beside_[(plane * static_cast<size_t>(grid_.MaxTileHeight()) +
                                              static_cast<size_t>(i)) *
                                             static_cast<size_t>(o)];
            // Samples [from, to) with their sums at sums[0..]: reached ones add to what an earlier
            // tile left there, later ones leave theirs for a later tile, the others are done.
            const auto run = [&](int32_t from, int32_t to, float* sums, bool reached, bool later) {
                for (int32_t j = from; j < to; ++j) {
                    const float weighted = (vertical * across[j]) * src[j];
                    // A sample no earlier tile reached starts from 0: 0 + x is what the sum
                    // would give, signed zeros included.
                    const float value = reached ? sums[j - from] + weighted : 0.0f + weighted;
                    if (later) {
                        sums[j - from] = value;
                    } else {
                        dst[j] = g ? value * (1.0f / g[j]) : value;
                    }
                }
            };
            // The left neighbour left its right columns where these are read; this tile's right
            // ones go there next, after the row's left ones are read.
            run(0, j0, rowSums ? rowSums : sideSums, true, laterRow);
            if (reachedRow || laterRow) {
                run(j0, j1, rowSums + j0, reachedRow, laterRow);
            }
            run(j1, w, rowSums ? rowSums + j1 : sideSums, reachedRow, true);
        }
    }
    if (right) {
        std::swap(above_, below_);  // the next tile row's shared rows above are these
    }
}

}  // namespace vel
