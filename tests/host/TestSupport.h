#pragma once
// Helpers for the host's tests: scratch folders, synthetic images and ICC profiles, image
// files, and running the velnr programs.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "host/ImageIO.h"
#include "tests/settings/TestFiles.h"

namespace velnr::test {

using vel::test::ReadAll;
using vel::test::ScratchDir;
using vel::test::WriteAll;

// Random samples exactly representable in the type (k / 255, k / 65535, any float in 0..1).
Image MakeImage(int32_t width, int32_t height, int channels, SampleType type, uint32_t seed);
// A small well-formed ICC profile (header and white point); colourSpace "RGB " or "GRAY".
std::vector<uint8_t> MakeIccProfile(const char* colourSpace);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Writes (in the format the extension names) or reads an image; a failure fails the test.
void Write(const std::string& path, const Image& image, const WriteOptions& options = {});
Image Read(const std::string& path);
// Whether the samples are equal after quantising to a's type (exact for floats).
bool SamplesEqual(const Image& a, const Image& b);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};
// Starts a program in cwd with env entries added to its environment, its output to outFd and
// errFd (/dev/null for -1).
pid_t Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            int outFd = -1, int errFd = -1, const char* exe = VELNR_EXE, const char* cwd = ".");
RunResult RunVelnr(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env = {}, const char* exe = VELNR_EXE,
                   const char* cwd = ".");

}  // namespace velnr::test
