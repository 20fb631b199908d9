#pragma once
// Per-format readers and writers behind ImageIO.h.

#include <cstdint>
#include <string>

#include "host/ImageIO.h"

namespace velnr::detail {

bool ReadTiff(const std::string& path, Image& image, std::string& error);
bool WriteTiff(const std::string& path, const Image& image, SampleType type, std::string& error);
bool ReadPng(const std::string& path, Image& image, std::string& error);
bool WritePng(const std::string& path, const Image& image, SampleType type, std::string& error);
bool ReadJpeg(const std::string& path, Image& image, std::string& error);
bool WriteJpeg(const std::string& path, const Image& image, int quality, std::string& error);

// Refuses sizes whose sample count cannot be held (corrupt headers claim huge images).
bool CheckImageSize(uint64_t width, uint64_t height, int channels, std::string& error);

}  // namespace velnr::detail
