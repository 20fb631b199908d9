#pragma once
// Three float planes of one size (R, G, B on 0..255, or Y, U, V after RgbToYuv) and the
// bottom-up 24-bit bitmap the preview renders into.

#include <cstdint>
#include <memory>

namespace vel {

class PlaneImage {
public:
    PlaneImage() = default;
    // Throws std::bad_alloc (image left empty) when the planes cannot be allocated.
    PlaneImage(int32_t width, int32_t height);
    PlaneImage(const PlaneImage&) = delete;  // copies are explicit: Assign or operator=
    PlaneImage& operator=(const PlaneImage& other);
    ~PlaneImage() = default;

    // Same size: keeps storage and contents. Otherwise discards them; allocates unless a side
    // is 0 (contents undefined). On std::bad_alloc the image is left empty, never half-built.
    void Resize(int32_t width, int32_t height);
    void Release();
    // Resize to width x height, then copy that rectangle of source at (x0, y0); no clipping.
    void CopyRegion(const PlaneImage& source, int32_t x0, int32_t y0, int32_t width, int32_t height);

    void RgbToYuv();
    void YuvToRgb();

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool Empty() const { return !storage_; }
    float* Plane(int k) { return plane_[k]; }
    const float* Plane(int k) const { return plane_[k]; }
    float* const* Rows(int k) { return rows_[k]; }
    const float* const* Rows(int k) const { return rows_[k]; }

private:
    std::unique_ptr<float[]> storage_;
    std::unique_ptr<float*[]> rowStorage_;
    float* plane_[3] = {nullptr, nullptr, nullptr};
    float** rows_[3] = {nullptr, nullptr, nullptr};
    int32_t width_ = 0;
    int32_t height_ = 0;
};

}  // namespace vel
