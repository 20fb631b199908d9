#pragma once
// Helpers for the host's tests: scratch folders, synthetic images and ICC profiles, and
// running the velnr program.

#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/ImageIO.h"

namespace velnr::test {

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Names in the folder, sorted, hidden ones included.
    std::vector<std::string> List() const;

  private:
    std::string path_;
};

// Random samples exactly representable in the type (k / 255, k / 65535, any float in 0..1).
Image MakeImage(int32_t width, int32_t height, int channels, SampleType type, uint32_t seed);

// A small well-formed ICC profile (header and white point); colourSpace "RGB " or "GRAY".
std::vector<uint8_t> MakeIccProfile(const char* colourSpace);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};
// Runs velnr with the arguments; env entries are set in the child's environment.
RunResult RunVelnr(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env = {});

// Whether the samples are equal after quantising to the type (exact for floats).
bool SamplesEqual(const Image& a, const Image& b);

// An 8-bit grey TIFF of several directories, kinds their NewSubfileType values (reduced
// copies half as wide), each with the artist tag when one is given.
void WritePages(const std::string& path, const std::vector<uint32_t>& kinds,
                const char* artist = nullptr);

}  // namespace velnr::test
