#include "plugin/HostImage.h"

#include <cstddef>

namespace vel {
namespace {

// The float nearest to 1/255: the result is multiplied by it, never divided by 255, so that
// 1.0 x 255 comes back as exactly 1.0.
constexpr float kInv255 = 0.003921569f;

}  // namespace

void ImportHostImage(const float* pixels, int32_t width, int32_t height, PlaneImage& image) {
    image.Resize(width, height);
    if (image.Empty()) {
        return;
    }
    float* r = image.Plane(0);
    float* g = image.Plane(1);
    float* b = image.Plane(2);
    const auto w = static_cast<std::size_t>(width);
    ForPictureRows(width, height, [&](int32_t begin, int32_t end) {
        for (std::size_t i = static_cast<std::size_t>(begin) * w;
             i < static_cast<std::size_t>(end) * w; ++i) {
            r[i] = pixels[3 * i] * 255.0f;
            g[i] = pixels[3 * i + 1] * 255.0f;
            b[i] = pixels[3 * i + 2] * 255.0f;
        }
    });
}

void ExportHostImage(const PlaneImage& image, float* pixels) {
    if (image.Empty()) {
        return;
    }
    const auto w = static_cast<std::size_t>(image.Width());
    ForPictureRows(image.Width(), image.Height(), [&](int32_t begin, int32_t end) {
        for (std::size_t i = static_cast<std::size_t>(begin) * w;
             i < static_cast<std::size_t>(end) * w; ++i) {
            for (int k = 0; k < 3; ++k) {
                // Store first, then clamp what was stored: a NaN fails both tests and stays.
                float& out = pixels[3 * i + static_cast<std::size_t>(k)];
                out = image.Plane(k)[i] * kInv255;
                if (out < 0.0f) {
                    out = 0.0f;
                } else if (out > 1.0f) {
                    out = 1.0f;
                }
            }
        }
    });
}

}  // namespace vel
