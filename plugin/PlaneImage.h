#pragma once
// Three float planes of one size (R, G, B on 0..255, or Y, U, V after RgbToYuv) and the
// bottom-up 24-bit bitmap the preview renders into.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace vel {

// Sizes are 32-bit signed as the host passes them. A negative size, or one whose storage
// cannot be addressed, throws std::bad_array_new_length (a std::bad_alloc), so callers need
// one handler for every "cannot hold this image" case.
class PlaneImage {
  public:
    PlaneImage() = default;
    // Throws std::bad_alloc (image left empty) when the planes cannot be allocated.
    PlaneImage(int32_t width, int32_t height);
    PlaneImage(const PlaneImage&) = delete;  // copies are explicit: operator= or CopyRegion
    // Self-assignment does nothing; otherwise Resize to the source's size and copy all
    // elements. Assigning an empty image empties this one.
    PlaneImage& operator=(const PlaneImage& other);
    // Moves take the storage over; the source is left as a fresh empty image.
    PlaneImage(PlaneImage&& other) noexcept;
    PlaneImage& operator=(PlaneImage&& other) noexcept;
    ~PlaneImage() = default;

    // Same size: keeps storage and contents. Otherwise discards them and records the new
    // size; allocates unless a side is 0 (contents undefined). On std::bad_alloc the image is
    // left as a fresh empty image (0 x 0, no storage), never half-built.
    void Resize(int32_t width, int32_t height);
    // Frees the storage and sets the size to 0 x 0 (no-op when there is no storage).
    void Release();
    // Resize to width x height, then copy that rectangle of source at (x0, y0). The caller
    // guarantees the rectangle lies inside the source; there is no clipping. The source may be
    // this image.
    void CopyRegion(const PlaneImage& source, int32_t x0, int32_t y0, int32_t width,
                    int32_t height);

    // In place, element by element; all three inputs of an element are read first.
    void RgbToYuv();
    void YuvToRgb();

    void Swap(PlaneImage& other) noexcept;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // Elements per plane (0 when empty).
    std::size_t PlaneSize() const {
        return storage_[0] ? static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)
                           : 0;
    }
    bool Empty() const { return !storage_[0]; }
    float* Plane(int k) { return plane_[k]; }
    const float* Plane(int k) const { return plane_[k]; }
    // Row table of plane k: Rows(k)[y] == Plane(k) + y * Width().
    float* const* Rows(int k) { return rows_[k]; }
    const float* const* Rows(int k) const { return rows_[k]; }

  private:
    // Frees the storage and resets every pointer and the recorded size.
    void Clear() noexcept;
    void RgbToYuvRows(int32_t begin, int32_t end);
    void YuvToRgbRows(int32_t begin, int32_t end);
    // One block for the three planes and one for the three row tables: an allocation either
    // yields a whole image or nothing.
    std::unique_ptr<float[]> storage_[3];
    std::unique_ptr<float*[]> rowStorage_;
    float* plane_[3] = {nullptr, nullptr, nullptr};
    float** rows_[3] = {nullptr, nullptr, nullptr};
    int32_t width_ = 0;
    int32_t height_ = 0;
};

// rows(begin, end) over the rows 0..height-1 of a width x height picture, split across the
// engine's threads when the picture is big enough to pay for starting them: whole-picture passes
// spend most of their time on the first touch of fresh pages, which the cores take in parallel.
// rows must not throw.
void ForPictureRows(int32_t width, int32_t height,
                    const std::function<void(int32_t begin, int32_t end)>& rows);

// Bottom-up 24-bit blue-green-red bitmap: stored row r holds picture row height - 1 - r, so
// the storage can be handed to the display as a bottom-up device-independent bitmap.
class DisplayBitmap {
  public:
    DisplayBitmap() = default;
    DisplayBitmap(const DisplayBitmap&) = delete;
    DisplayBitmap& operator=(const DisplayBitmap&) = delete;
    ~DisplayBitmap() = default;

    // Same rules as PlaneImage::Resize; a zero side leaves no storage and stride 0.
    void Resize(int32_t width, int32_t height);
    void Release();

    // 3 * width rounded up to a multiple of 4, computed wide so that no width overflows.
    static int64_t StrideFor(int32_t width);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Stride() const { return stride_; }
    bool Empty() const { return !storage_; }
    uint8_t* Storage() { return storage_.get(); }
    const uint8_t* Storage() const { return storage_.get(); }
    // Rows()[y] is the first byte (blue of pixel 0) of picture row y, counted from the top.
    uint8_t* const* Rows() { return rows_.get(); }
    const uint8_t* const* Rows() const { return rows_.get(); }

  private:
    std::unique_ptr<uint8_t*[]> rows_;
    std::unique_ptr<uint8_t[]> storage_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0;
};

}  // namespace vel
