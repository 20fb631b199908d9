#pragma once
// Per-format readers and writers behind ImageIO.h.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/ImageIO.h"

namespace velnr::detail {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
// A C stream for the libraries that write through one; closed on every path.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Closes a file that was written, reporting a failed flush of its last buffer.
inline bool CloseWritten(FilePtr& file, std::string& error) {
    if (std::fclose(file.release()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

// What a reader says of a file the library could not decode: what a photographer can act on
// rather than the library's wording.
inline constexpr const char* kDamagedFile =
    "the file is damaged or incomplete (it may have been cut short)";

// threads: how many threads decode or encode compressed strips and tiles; 0 for
// VELNR_THREADS or else the hardware's count. The file and the samples are the same for any.
bool ReadTiff(const std::string& path, Image& image, std::string& error, int threads = 0);
bool WriteTiff(const std::string& path, const Image& image, SampleType type,
               TiffCompression compression, std::string& error, int threads = 0);
bool TiffCodecAvailable(TiffCompression compression);
bool ReadPng(const std::string& path, Image& image, std::string& error);
bool WritePng(const std::string& path, const Image& image, SampleType type, std::string& error);
bool ReadJpeg(const std::string& path, Image& image, std::string& error);
bool WriteJpeg(const std::string& path, const Image& image, int quality, int subsampling,
               std::string& error);

// Recognises the file by its first bytes, whatever its name says.
bool SniffFormat(const std::string& path, FileFormat& format, std::string& error);

// The rows of an image as the codecs see them: the file's channels interleaved, whatever the
// image's layout. Sizes the storage for the image's size, channels and layout (contents left
// undefined: every reader writes them all).
void AllocateSamples(Image& image);
// The samples of pixels x0.. of row y in place when the storage holds the file's channels in
// order; nullptr otherwise.
float* FilePixels(Image& image, size_t y, size_t x0);
const float* FilePixels(const Image& image, size_t y, size_t x0);
// Stores cols pixels of interleaved file channels, or of the one channel given.
void StorePixels(Image& image, size_t y, size_t x0, size_t cols, const float* src);
void StoreChannel(Image& image, size_t y, size_t x0, size_t cols, int channel, const float* src);
// The file channels of cols pixels, in place where they are stored so, else gathered into
// scratch (grey is the mean of R, G and B as FromHostRgb makes it).
const float* LoadPixels(const Image& image, size_t y, size_t x0, size_t cols,
                        std::vector<float>& scratch);

// Refuses sizes whose sample count cannot be held (corrupt headers claim huge images).
bool CheckImageSize(uint64_t width, uint64_t height, int channels, std::string& error);

}  // namespace velnr::detail
