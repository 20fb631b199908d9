#include "plugin/PlaneImage.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "engine/TileScheduler.h"
#include "wavelet/SampleBuffer.h"

namespace vel {
namespace {

// Elements of one plane, or bad_array_new_length when the size is negative or the three
// planes could not be addressed (matters on 32-bit targets).
std::size_t CheckedPlaneSize(int32_t width, int32_t height, std::size_t elementSize,
                             std::size_t planes) {
    if (width < 0 || height < 0) {
        throw std::bad_array_new_length();
    }
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const std::size_t limit = std::numeric_limits<std::ptrdiff_t>::max() / elementSize / planes;
    if (w != 0 && h > limit / w) {
        throw std::bad_array_new_length();
    }
    return w * h;
}

// The colour matrices: single-precision constants, each result evaluated in double in the
// grouping written and rounded to float once.
constexpr float kYb = 0.114f, kYg = 0.587f, kYr = 0.299f;
constexpr float kUb = 0.436f, kUg = 0.289f, kUr = 0.147f;
constexpr float kVr = 0.615f, kVg = 0.515f, kVb = 0.100f;
constexpr float kRv = 1.14f;
constexpr float kGu = 0.395f, kGv = 0.581f;
constexpr float kBu = 2.032f;

inline double D(float v) {
    return static_cast<double>(v);
}

}  // namespace

PlaneImage::PlaneImage(int32_t width, int32_t height) {
    Resize(width, height);
}

PlaneImage::PlaneImage(PlaneImage&& other) noexcept {
    Swap(other);
}

PlaneImage& PlaneImage::operator=(PlaneImage&& other) noexcept {
    if (this != &other) {
        PlaneImage taken(std::move(other));
        Swap(taken);
    }
    return *this;
}

void PlaneImage::Swap(PlaneImage& other) noexcept {
    rowStorage_.swap(other.rowStorage_);
    for (int k = 0; k < 3; ++k) {
        storage_[k].swap(other.storage_[k]);
        std::swap(plane_[k], other.plane_[k]);
        std::swap(rows_[k], other.rows_[k]);
    }
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
}

PlaneImage& PlaneImage::operator=(const PlaneImage& other) {
    if (this == &other) {
        return *this;
    }
    Resize(other.width_, other.height_);
    if (storage_[0]) {
        const std::size_t n = PlaneSize();
        for (int k = 0; k < 3; ++k) {
            std::copy_n(other.plane_[k], n, plane_[k]);
        }
    }
    return *this;
}

void PlaneImage::Resize(int32_t width, int32_t height) {
    if (width == width_ && height == height_) {
        return;
    }
    Clear();
    // Checked before recording so that a refused size never stays recorded without storage.
    const std::size_t n = CheckedPlaneSize(width, height, sizeof(float), 3);
    if (n == 0) {
        width_ = width;
        height_ = height;
        return;
    }
    const auto h = static_cast<std::size_t>(height);
    // Every block is owned before anything is published: a throw leaves the image empty. The
    // planes are blocks of their own: a 32-bit process's address space may hold no free piece
    // as large as all three.
    std::unique_ptr<float[]> planes[3] = {MakeSampleBuffer(n), MakeSampleBuffer(n),
                                          MakeSampleBuffer(n)};
    auto rows = std::make_unique_for_overwrite<float*[]>(3 * h);
    const auto w = static_cast<std::size_t>(width);
    for (int k = 0; k < 3; ++k) {
        float* base = planes[k].get();
        float** table = rows.get() + static_cast<std::size_t>(k) * h;
        for (std::size_t y = 0; y < h; ++y) {
            table[y] = base + y * w;
        }
        plane_[k] = base;
        rows_[k] = table;
    }
    for (int k = 0; k < 3; ++k) {
        storage_[k] = std::move(planes[k]);
    }
    rowStorage_ = std::move(rows);
    width_ = width;
    height_ = height;
}

void PlaneImage::Release() {
    if (storage_[0]) {
        Clear();
    }
}

void PlaneImage::Clear() noexcept {
    for (auto& planeStorage : storage_) {
        planeStorage.reset();
    }
    rowStorage_.reset();
    for (int k = 0; k < 3; ++k) {
        plane_[k] = nullptr;
        rows_[k] = nullptr;
    }
    width_ = 0;
    height_ = 0;
}

void PlaneImage::CopyRegion(const PlaneImage& source, int32_t x0, int32_t y0, int32_t width,
                            int32_t height) {
    if (&source == this) {
        // Resizing first would discard the source; copy out, then take the copy over.
        PlaneImage part;
        part.CopyRegion(source, x0, y0, width, height);
        *this = std::move(part);
        return;
    }
    Resize(width, height);
    if (!storage_[0]) {
        return;
    }
    const auto w = static_cast<std::size_t>(width);
    for (int k = 0; k < 3; ++k) {
        for (int32_t j = 0; j < height; ++j) {
            std::copy_n(source.rows_[k][y0 + j] + x0, w, rows_[k][j]);
        }
    }
}

void ForPictureRows(int32_t width, int32_t height,
                    const std::function<void(int32_t begin, int32_t end)>& rows) {
    // Below this a helper thread costs more than it saves.
    constexpr int64_t kParallelSamples = int64_t{1} << 20;
    if (static_cast<int64_t>(width) * height >= kParallelSamples) {
        std::optional<PartPool> pool;
        try {
            pool.emplace(DefaultEngineConfig().threads);
        } catch (...) {
            // No helper could start: the calling thread does it alone.
        }
        if (pool) {
            pool->RunRows(height, rows);
            return;
        }
    }
    rows(0, height);
}

void PlaneImage::RgbToYuv() {
    ForPictureRows(width_, height_,
                   [this](int32_t begin, int32_t end) { RgbToYuvRows(begin, end); });
}

void PlaneImage::YuvToRgb() {
    ForPictureRows(width_, height_,
                   [this](int32_t begin, int32_t end) { YuvToRgbRows(begin, end); });
}

void PlaneImage::RgbToYuvRows(int32_t begin, int32_t end) {
    if (!storage_[0]) {
        return;
    }
    const std::size_t first = static_cast<std::size_t>(begin) * static_cast<std::size_t>(width_);
    const std::size_t n = static_cast<std::size_t>(end) * static_cast<std::size_t>(width_);
    float* p0 = plane_[0];
    float* p1 = plane_[1];
    float* p2 = plane_[2];
    for (std::size_t i = first; i < n; ++i) {
        const double r = D(p0[i]);
        const double g = D(p1[i]);
        const double b = D(p2[i]);
        p0[i] = static_cast<float>((D(kYb) * b + D(kYg) * g) + D(kYr) * r);
        p1[i] = static_cast<float>(D(kUb) * b - (D(kUg) * g + D(kUr) * r));
        p2[i] = static_cast<float>((D(kVr) * r - D(kVg) * g) - D(kVb) * b);
    }
}

void PlaneImage::YuvToRgbRows(int32_t begin, int32_t end) {
    if (!storage_[0]) {
        return;
    }
    const std::size_t first = static_cast<std::size_t>(begin) * static_cast<std::size_t>(width_);
    const std::size_t n = static_cast<std::size_t>(end) * static_cast<std::size_t>(width_);
    float* p0 = plane_[0];
    float* p1 = plane_[1];
    float* p2 = plane_[2];
    for (std::size_t i = first; i < n; ++i) {
        const double y = D(p0[i]);
        const double u = D(p1[i]);
        const double v = D(p2[i]);
        p0[i] = static_cast<float>(D(kRv) * v + y);
        p1[i] = static_cast<float>((y - D(kGu) * u) - D(kGv) * v);
        p2[i] = static_cast<float>(D(kBu) * u + y);
    }
}

int64_t DisplayBitmap::StrideFor(int32_t width) {
    const int64_t bytes = 3 * static_cast<int64_t>(width);
    return (bytes % 4 == 0) ? bytes : ((bytes + 4) & ~int64_t{3});
}

void DisplayBitmap::Resize(int32_t width, int32_t height) {
    if (width == width_ && height == height_) {
        return;
    }
    storage_.reset();
    rows_.reset();
    width_ = 0;
    height_ = 0;
    stride_ = 0;
    if (width < 0 || height < 0) {
        throw std::bad_array_new_length();
    }
    if (width == 0 || height == 0) {
        width_ = width;
        height_ = height;
        return;
    }
    const int64_t stride = StrideFor(width);
    const auto h = static_cast<std::size_t>(height);
    if (stride > std::numeric_limits<int32_t>::max() ||
        h > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) /
                static_cast<std::size_t>(stride)) {
        throw std::bad_array_new_length();
    }
    const auto s = static_cast<std::size_t>(stride);
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(s * h);
    auto rows = std::make_unique_for_overwrite<uint8_t*[]>(h);
    for (std::size_t y = 0; y < h; ++y) {
        rows[y] = bytes.get() + (h - 1 - y) * s;
    }
    storage_ = std::move(bytes);
    rows_ = std::move(rows);
    width_ = width;
    height_ = height;
    stride_ = static_cast<int32_t>(stride);
}

void DisplayBitmap::Release() {
    if (!storage_) {
        return;
    }
    storage_.reset();
    rows_.reset();
    width_ = 0;
    height_ = 0;
    stride_ = 0;
}

}  // namespace vel
