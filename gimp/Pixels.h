#pragma once
// A drawable's pixels as the plug-in takes them: perceptual (sRGB tone curve) float RGB in
// the image's own primaries, whatever the drawable's precision, grey as R = G = B; alpha and
// the other channels stay in a copy of the layer's own layout and go back untouched.

#include <cstdint>
#include <vector>

namespace velnr::gimp {

struct Rect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The pixels of `area` with up to `margin` surrounding pixels on each side (within the
// drawable), so that the filter's reach does not end at the area's edge.
class DrawablePixels {
  public:
    DrawablePixels(int32_t drawable, Rect area, int32_t margin);

    Rect Crop() const { return crop_; }
    // Crop().width * Crop().height interleaved R, G, B floats, for the plug-in.
    std::vector<float>& Rgb() { return rgb_; }
    // Colour samples inside the area outside 0..1 (or NaN), which the hand-over clamps.
    uint64_t OutOfRangeSamples() const;
    // Writes the area from Rgb() through the drawable's shadow buffer and merges it as GIMP's
    // own filters do (the selection's soft edges blended, one undo step).
    void Write() const;

  private:
    int32_t drawable_;
    Rect area_;
    Rect crop_;
    bool grey_;
    bool alpha_;
    int channels_;            // of the layer's layout: 1..4
    std::vector<float> own_;  // the crop in the layer's layout, as floats
    std::vector<float> rgb_;
};

}  // namespace velnr::gimp
