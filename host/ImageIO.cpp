#include "host/ImageIO.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "host/ImageFormats.h"

namespace velnr {

namespace {

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return ext;
}

}  // namespace

bool FormatFromExtension(const std::string& path, FileFormat& format) {
    const std::string ext = LowerExtension(path);
    if (ext == "tif" || ext == "tiff") {
        format = FileFormat::Tiff;
    } else if (ext == "png") {
        format = FileFormat::Png;
    } else if (ext == "jpg" || ext == "jpeg") {
        format = FileFormat::Jpeg;
    } else {
        return false;
    }
    return true;
}

const char* FormatName(FileFormat format) {
    switch (format) {
        case FileFormat::Tiff:
            return "TIFF";
        case FileFormat::Png:
            return "PNG";
        case FileFormat::Jpeg:
            return "JPEG";
    }
    return "?";
}

bool ReadImage(const std::string& path, Image& image, std::string& error, bool pluginLayout) {
    image = Image{};
    image.pluginLayout = pluginLayout;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = "is a folder, not an image file";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    FileFormat format{};
    if (!detail::SniffFormat(path, format, error)) {
        return false;
    }
    bool ok = false;
    try {
        switch (format) {
            case FileFormat::Tiff:
                ok = detail::ReadTiff(path, image, error);
                break;
            case FileFormat::Png:
                ok = detail::ReadPng(path, image, error);
                break;
            case FileFormat::Jpeg:
                ok = detail::ReadJpeg(path, image, error);
                break;
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the image";
        ok = false;
    }
    if (!ok) {
        image = Image{};
        return false;
    }
    image.format = format;
    return true;
}

bool CheckWriteOptions(FileFormat format, const WriteOptions& options, std::string& error) {
    if (options.depth != 0 && options.depth != 8 && options.depth != 16 && options.depth != 32) {
        error = "the depth must be 8, 16 or 32 bits";
        return false;
    }
    switch (format) {
        case FileFormat::Tiff:
            if (options.compression == TiffCompression::Zstd &&
                !detail::TiffCodecAvailable(options.compression)) {
                error =
                    "this build of velnr cannot write ZSTD-compressed TIFF files; choose "
                    "zip or lzw";
                return false;
            }
            return true;
        case FileFormat::Png:
            if (options.depth == 32) {
                error = "PNG cannot hold 32-bit float samples; write TIFF for those";
                return false;
            }
            return true;
        case FileFormat::Jpeg:
            if (options.depth == 16 || options.depth == 32) {
                error = "JPEG holds 8 bits per sample only; write TIFF or PNG for " +
                        std::to_string(options.depth) + " bits";
                return false;
            }
            if (options.jpegQuality < 1 || options.jpegQuality > 100) {
                error = "the JPEG quality must be 1..100";
                return false;
            }
            if (options.jpegSubsampling != 444 && options.jpegSubsampling != 422 &&
                options.jpegSubsampling != 420) {
                error = "the JPEG chroma subsampling must be 444, 422 or 420";
                return false;
            }
            return true;
    }
    error = "unknown format";
    return false;
}

bool WriteImage(const std::string& path, FileFormat format, const Image& image,
                const WriteOptions& options, std::string& error) {
    const size_t pixels = static_cast<size_t>(std::max(image.width, 0)) *
                          static_cast<size_t>(std::max(image.height, 0));
    const size_t stored = image.pluginLayout ? 3 : static_cast<size_t>(image.channels);
    if (image.width <= 0 || image.height <= 0 || image.channels < 1 || image.channels > 4 ||
        image.samples.size() != pixels * stored ||
        image.alpha.size() != (image.pluginLayout && image.HasAlpha() ? pixels : 0)) {
        error = "no image to write";
        return false;
    }
    if (!CheckWriteOptions(format, options, error)) {
        return false;
    }
    SampleType type = image.type;
    if (options.depth == 8) {
        type = SampleType::UInt8;
    } else if (options.depth == 16) {
        type = SampleType::UInt16;
    } else if (options.depth == 32) {
        type = SampleType::Float32;
    }
    try {
        switch (format) {
            case FileFormat::Tiff:
                return detail::WriteTiff(path, image, type, options.compression, error);
            case FileFormat::Png:
                return detail::WritePng(
                    path, image, type == SampleType::UInt8 ? SampleType::UInt8 : SampleType::UInt16,
                    error);
            case FileFormat::Jpeg:
                if (image.HasAlpha()) {
                    error = "JPEG cannot hold the alpha channel; write PNG or TIFF instead";
                    return false;
                }
                return detail::WriteJpeg(path, image, options.jpegQuality, options.jpegSubsampling,
                                         error);
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory to write the image";
        return false;
    }
    error = "unknown format";
    return false;
}

uint64_t CountOutOfRangeSamples(const Image& image) {
    if (image.type != SampleType::Float32 || image.channels < 1) {
        return 0;
    }
    // In the plug-in's layout, the colour only (grey counted once) and no alpha.
    const size_t n = image.pluginLayout ? 3 : static_cast<size_t>(image.channels);
    const size_t colours = image.pluginLayout ? (image.Grey() ? 1 : 3)
                           : image.HasAlpha() ? n - 1
                                              : n;
    uint64_t count = 0;
    for (size_t i = 0; i + n <= image.samples.size(); i += n) {
        for (size_t k = 0; k < colours; ++k) {
            const float v = image.samples[i + k];
            if (!(v >= 0.0f && v <= 1.0f)) {  // NaN fails both
                ++count;
            }
        }
    }
    return count;
}

SampleVector ToHostRgb(const Image& image) {
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    SampleVector rgb(pixels * 3);
    const size_t n = static_cast<size_t>(image.channels);
    for (size_t i = 0; i < pixels; ++i) {
        const float* src = &image.samples[i * n];
        if (image.Grey()) {
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = src[0];
        } else {
            rgb[3 * i] = src[0];
            rgb[3 * i + 1] = src[1];
            rgb[3 * i + 2] = src[2];
        }
    }
    return rgb;
}

namespace {

// One pixel of the plug-in's RGB as the file's colour channels.
void FileChannels(const float* rgb, bool grey, float* dst) {
    if (grey) {
        // Three equal values come back unchanged: (v + v + v) / 3 == v in float.
        const float r = rgb[0];
        const float g = rgb[1];
        const float b = rgb[2];
        dst[0] = (r == g && g == b) ? r : (r + g + b) / 3.0f;
    } else {
        dst[0] = rgb[0];
        dst[1] = rgb[1];
        dst[2] = rgb[2];
    }
}

}  // namespace

void FromHostRgb(const SampleVector& rgb, Image& image) {
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    const size_t n = static_cast<size_t>(image.channels);
    for (size_t i = 0; i < pixels; ++i) {
        float* dst = &image.samples[i * n];
        FileChannels(&rgb[3 * i], image.Grey(), dst);
    }
}

namespace detail {

void AllocateSamples(Image& image) {
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    image.samples.resize(pixels * (image.pluginLayout ? 3 : static_cast<size_t>(image.channels)));
    image.alpha.resize(image.pluginLayout && image.HasAlpha() ? pixels : 0);
}

float* FilePixels(Image& image, size_t y, size_t x0) {
    return image.Interleaved() ? &image.samples[(y * static_cast<size_t>(image.width) + x0) *
                                                static_cast<size_t>(image.channels)]
                               : nullptr;
}

const float* FilePixels(const Image& image, size_t y, size_t x0) {
    return FilePixels(const_cast<Image&>(image), y, x0);
}

void StorePixels(Image& image, size_t y, size_t x0, size_t cols, const float* src) {
    const size_t n = static_cast<size_t>(image.channels);
    if (float* dst = FilePixels(image, y, x0)) {
        std::copy(src, src + cols * n, dst);
        return;
    }
    const size_t first = y * static_cast<size_t>(image.width) + x0;
    float* rgb = &image.samples[first * 3];
    float* alpha = image.HasAlpha() ? &image.alpha[first] : nullptr;
    for (size_t i = 0; i < cols; ++i, src += n) {
        if (image.Grey()) {
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = src[0];
        } else {
            rgb[3 * i] = src[0];
            rgb[3 * i + 1] = src[1];
            rgb[3 * i + 2] = src[2];
        }
        if (alpha != nullptr) {
            alpha[i] = src[n - 1];
        }
    }
}

void StoreChannel(Image& image, size_t y, size_t x0, size_t cols, int channel, const float* src) {
    const auto n = static_cast<size_t>(image.channels);
    const auto c = static_cast<size_t>(channel);
    if (float* dst = FilePixels(image, y, x0)) {
        for (size_t i = 0; i < cols; ++i) {
            dst[i * n + c] = src[i];
        }
        return;
    }
    const size_t first = y * static_cast<size_t>(image.width) + x0;
    if (image.HasAlpha() && c == n - 1) {
        std::copy(src, src + cols, &image.alpha[first]);
        return;
    }
    float* rgb = &image.samples[first * 3];
    for (size_t i = 0; i < cols; ++i) {
        if (image.Grey()) {
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = src[i];
        } else {
            rgb[3 * i + c] = src[i];
        }
    }
}

const float* LoadPixels(const Image& image, size_t y, size_t x0, size_t cols,
                        std::vector<float>& scratch) {
    if (const float* src = FilePixels(image, y, x0)) {
        return src;
    }
    const auto n = static_cast<size_t>(image.channels);
    scratch.resize(cols * n);
    const size_t first = y * static_cast<size_t>(image.width) + x0;
    const float* rgb = &image.samples[first * 3];
    for (size_t i = 0; i < cols; ++i) {
        float* dst = &scratch[i * n];
        FileChannels(&rgb[3 * i], image.Grey(), dst);
        if (image.HasAlpha()) {
            dst[n - 1] = image.alpha[first + i];
        }
    }
    return scratch.data();
}

bool SniffFormat(const std::string& path, FileFormat& format, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    unsigned char head[8] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got == 0) {
        error = "empty file";
        return false;
    }
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (got >= 8 && std::memcmp(head, kPng, 8) == 0) {
        format = FileFormat::Png;
        return true;
    }
    if (got >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff) {
        format = FileFormat::Jpeg;
        return true;
    }
    if (got >= 4 &&
        ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
         (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43)))) {
        format = FileFormat::Tiff;
        return true;
    }
    error = "not a TIFF, PNG or JPEG file";
    return false;
}

bool CheckImageSize(uint64_t width, uint64_t height, int channels, std::string& error) {
    if (width == 0 || height == 0) {
        error = "the image has no pixels";
        return false;
    }
    // The plug-in takes 32-bit sizes and 3 * width * height floats.
    constexpr uint64_t kMaxSide = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    constexpr uint64_t kMaxSamples = uint64_t{1} << 32;
    if (width > kMaxSide || height > kMaxSide ||
        width * height * static_cast<uint64_t>(std::max(channels, 3)) > kMaxSamples) {
        error = "image too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    return true;
}

}  // namespace detail

}  // namespace velnr
