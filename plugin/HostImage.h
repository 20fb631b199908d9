#pragma once
// Hand-over between the host's interleaved RGB floats (nominal 0..1) and the working image.

#include <cstdint>

#include "plugin/PlaneImage.h"

namespace vel {

// Resizes image to width x height and fills planes 0, 1, 2 with R, G, B x 255 (float
// products, no clamping). pixels holds 3 * width * height floats. Throws std::bad_alloc
// (image left empty) when the planes cannot be allocated or the size is negative.
void ImportHostImage(const float* pixels, int32_t width, int32_t height, PlaneImage& image);

// Writes the planes back interleaved: each value x 0.003921569f, then < 0 -> 0, else > 1 -> 1.
// NaN passes through; infinities clamp. pixels holds 3 * image.PlaneSize() floats.
void ExportHostImage(const PlaneImage& image, float* pixels);

}  // namespace vel
