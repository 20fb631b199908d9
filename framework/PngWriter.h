#pragma once
// A minimal PNG writer (8-bit RGB, stored deflate blocks) for window pictures where no image
// library is at hand.

#include <cstdint>
#include <string>
#include <vector>

namespace vel::fw {

// rgb: width * height pixels, rows top-down, red, green, blue. False when the file cannot be
// written or the size is empty.
bool WritePngRgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
// The encoded file, for tests.
std::vector<uint8_t> EncodePngRgb(int width, int height, const std::vector<uint8_t>& rgb);

}  // namespace vel::fw
