#include "gimp/Pixels.h"

#include <libgimp/gimp.h>

#include <algorithm>

namespace velnr::gimp {

namespace {

// The layer's own channels as perceptual floats. GIMP 2.10's formats name sRGB whatever the
// image's profile; taking the drawable's space keeps the primaries as they are, so only the
// tone curve changes (for linear precisions).
const Babl* FloatFormat(int32_t drawable, bool grey, bool alpha) {
    const char* name =
        grey ? (alpha ? "Y'A float" : "Y' float") : (alpha ? "R'G'B'A float" : "R'G'B' float");
    return babl_format_with_space(name, gimp_drawable_get_format(drawable));
}

size_t Count(const Rect& r) {
    return static_cast<size_t>(r.width) * static_cast<size_t>(r.height);
}

}  // namespace

DrawablePixels::DrawablePixels(int32_t drawable, Rect area, int32_t margin)
    : drawable_(drawable),
      area_(area),
      grey_(gimp_drawable_is_gray(drawable) != 0),
      alpha_(gimp_drawable_has_alpha(drawable) != 0),
      channels_((grey_ ? 1 : 3) + (alpha_ ? 1 : 0)) {
    const int32_t x0 = std::max(0, area.x - margin);
    const int32_t y0 = std::max(0, area.y - margin);
    const int32_t x1 = std::min(gimp_drawable_width(drawable), area.x + area.width + margin);
    const int32_t y1 = std::min(gimp_drawable_height(drawable), area.y + area.height + margin);
    crop_ = {x0, y0, x1 - x0, y1 - y0};

    own_.resize(Count(crop_) * static_cast<size_t>(channels_));
    GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
    const GeglRectangle rect{crop_.x, crop_.y, crop_.width, crop_.height};
    gegl_buffer_get(buffer, &rect, 1.0, FloatFormat(drawable, grey_, alpha_), own_.data(),
                    GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    g_object_unref(buffer);

    rgb_.resize(Count(crop_) * 3);
    const size_t n = static_cast<size_t>(channels_);
    for (size_t i = 0, pixels = Count(crop_); i < pixels; ++i) {
        const float* src = &own_[i * n];
        rgb_[3 * i] = src[0];
        rgb_[3 * i + 1] = grey_ ? src[0] : src[1];
        rgb_[3 * i + 2] = grey_ ? src[0] : src[2];
    }
}

uint64_t DrawablePixels::OutOfRangeSamples() const {
    uint64_t count = 0;
    const int colours = grey_ ? 1 : 3;
    for (int32_t y = area_.y; y < area_.y + area_.height; ++y) {
        const size_t row = static_cast<size_t>(y - crop_.y) * static_cast<size_t>(crop_.width);
        for (int32_t x = area_.x; x < area_.x + area_.width; ++x) {
            const float* src =
                &own_[(row + static_cast<size_t>(x - crop_.x)) * static_cast<size_t>(channels_)];
            for (int k = 0; k < colours; ++k) {
                count += src[k] >= 0.0f && src[k] <= 1.0f ? 0 : 1;  // NaN fails both
            }
        }
    }
    return count;
}

void DrawablePixels::Write() const {
    // Back into the layer's own layout: writing RGB into an RGBA layer would make it opaque.
    std::vector<float> out = own_;
    const size_t n = static_cast<size_t>(channels_);
    for (size_t i = 0, pixels = Count(crop_); i < pixels; ++i) {
        float* dst = &out[i * n];
        const float r = rgb_[3 * i], g = rgb_[3 * i + 1], b = rgb_[3 * i + 2];
        if (grey_) {
            // As velnr writes grey: three equal values come back unchanged.
            dst[0] = (r == g && g == b) ? r : (r + g + b) / 3.0f;
        } else {
            dst[0] = r;
            dst[1] = g;
            dst[2] = b;
        }
    }
    GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(drawable_);
    const GeglRectangle rect{area_.x, area_.y, area_.width, area_.height};
    const size_t first = static_cast<size_t>(area_.y - crop_.y) * static_cast<size_t>(crop_.width) +
                         static_cast<size_t>(area_.x - crop_.x);
    gegl_buffer_set(shadow, &rect, 0, FloatFormat(drawable_, grey_, alpha_), &out[first * n],
                    static_cast<gint>(static_cast<size_t>(crop_.width) * n * sizeof(float)));
    gegl_buffer_flush(shadow);
    g_object_unref(shadow);
    gimp_drawable_merge_shadow(drawable_, TRUE);
    gimp_drawable_update(drawable_, area_.x, area_.y, area_.width, area_.height);
}

}  // namespace velnr::gimp
