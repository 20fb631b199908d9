#include "TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace velnr::test {

Image MakeImage(int32_t width, int32_t height, int channels, SampleType type, uint32_t seed) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.type = type;
    image.samples.resize(static_cast<size_t>(width) * height * channels);
    std::mt19937 random(seed);
    const uint32_t max = type == SampleType::UInt8    ? 255
                         : type == SampleType::UInt16 ? 65535
                                                      : 1000000;
    for (float& v : image.samples) {
        v = static_cast<float>(random() % (max + 1)) / static_cast<float>(max);
    }
    return image;
}

std::vector<uint8_t> MakeIccProfile(const char* colourSpace) {
    std::vector<uint8_t> icc(164, 0);
    // libpng refuses an iCCP chunk that compresses to almost nothing, so the profile id and
    // the reserved bytes get a pattern.
    for (size_t i = 84; i < 128; ++i) {
        icc[i] = static_cast<uint8_t>(i * 37u + 11u);
    }
    // Size, version 4.3, D50 as illuminant, one tag: the media white point, D50 again.
    const std::pair<size_t, uint32_t> numbers[] = {
        {0, 164},   {8, 0x04300000}, {68, 0xF6D6},  {72, 0x10000},  {76, 0xD32D}, {128, 1},
        {136, 144}, {140, 20},       {152, 0xF6D6}, {156, 0x10000}, {160, 0xD32D}};
    for (const auto& [at, v] : numbers) {
        for (size_t i = 0; i < 4; ++i) {
            icc[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
        }
    }
    const std::pair<size_t, const char*> texts[] = {{12, "mntr"}, {16, colourSpace}, {20, "XYZ "},
                                                    {36, "acsp"}, {80, "velt"},      {132, "wtpt"},
                                                    {144, "XYZ "}};
    for (const auto& [at, text] : texts) {
        std::memcpy(&icc[at], text, 4);
    }
    return icc;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    const std::string text = ReadAll(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteAll(path, std::string(bytes.begin(), bytes.end()));
}

void Write(const std::string& path, const Image& image, const WriteOptions& options) {
    FileFormat format{};
    std::string error;
    ASSERT_TRUE(FormatFromExtension(path, format)) << path;
    EXPECT_TRUE(WriteImage(path, format, image, options, error)) << path << ": " << error;
}

Image Read(const std::string& path) {
    Image image;
    std::string error;
    EXPECT_TRUE(ReadImage(path, image, error)) << path << ": " << error;
    return image;
}

bool SamplesEqual(const Image& a, const Image& b) {
    const uint32_t max = a.type == SampleType::UInt8 ? 255 : 65535;
    const auto same = [&](float x, float y) {
        return a.type == SampleType::Float32 ? std::memcmp(&x, &y, sizeof x) == 0
                                             : QuantizeSample(x, max) == QuantizeSample(y, max);
    };
    return a.width == b.width && a.height == b.height && a.channels == b.channels &&
           std::equal(a.samples.begin(), a.samples.end(), b.samples.begin(), b.samples.end(), same);
}

pid_t Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            int outFd, int errFd, const char* exe, const char* cwd) {
    // Built before fork: the child only calls what is safe there.
    std::vector<std::string> copies;
    copies.reserve(args.size() + 1);
    copies.emplace_back(exe);
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : copies) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(outFd >= 0 ? outFd : devNull, STDOUT_FILENO);
        ::dup2(errFd >= 0 ? errFd : devNull, STDERR_FILENO);
        if (::chdir(cwd) != 0) {
            ::_exit(126);
        }
        for (const auto& [key, value] : env) {
            value.empty() ? ::unsetenv(key.c_str()) : ::setenv(key.c_str(), value.c_str(), 1);
        }
        ::execv(exe, argv.data());
        ::_exit(127);
    }
    return pid;
}

RunResult RunVelnr(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, const char* exe,
                   const char* cwd) {
    char outName[] = "/tmp/velnr-test-out-XXXXXX";
    char errName[] = "/tmp/velnr-test-err-XXXXXX";
    const int outFd = ::mkstemp(outName), errFd = ::mkstemp(errName);
    int status = 0;
    ::waitpid(Start(args, env, outFd, errFd, exe, cwd), &status, 0);
    ::close(outFd);
    ::close(errFd);
    RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                     ReadAll(outName), ReadAll(errName)};
    ::unlink(outName);
    ::unlink(errName);
    return result;
}

}  // namespace velnr::test
