#pragma once
// Per-format readers and writers behind ImageIO.h.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

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

bool ReadTiff(const std::string& path, Image& image, std::string& error);
bool WriteTiff(const std::string& path, const Image& image, SampleType type, std::string& error);
bool ReadPng(const std::string& path, Image& image, std::string& error);
bool WritePng(const std::string& path, const Image& image, SampleType type, std::string& error);
bool ReadJpeg(const std::string& path, Image& image, std::string& error);
bool WriteJpeg(const std::string& path, const Image& image, int quality, std::string& error);

// Refuses sizes whose sample count cannot be held (corrupt headers claim huge images).
bool CheckImageSize(uint64_t width, uint64_t height, int channels, std::string& error);

}  // namespace velnr::detail
