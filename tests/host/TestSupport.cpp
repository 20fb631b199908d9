#include "TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velnr::test {

namespace {

void RemoveTree(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string child = path + "/" + name;
            if (entry->d_type == DT_DIR) {
                RemoveTree(child);
            } else {
                ::unlink(child.c_str());
            }
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}

}  // namespace

ScratchDir::ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/velnr-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    RemoveTree(path_);
}

std::vector<std::string> ScratchDir::List() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path_.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Image MakeImage(int32_t width, int32_t height, int channels, SampleType type, uint32_t seed) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.type = type;
    image.samples.resize(static_cast<size_t>(width) * height * channels);
    std::mt19937 random(seed);
    for (float& v : image.samples) {
        switch (type) {
            case SampleType::UInt8:
                v = static_cast<float>(random() % 256) / 255.0f;
                break;
            case SampleType::UInt16:
                v = static_cast<float>(random() % 65536) / 65535.0f;
                break;
            case SampleType::Float32:
                v = static_cast<float>(random() % 1000001) / 1000000.0f;
                break;
        }
    }
    return image;
}

std::vector<uint8_t> MakeIccProfile(const char* colourSpace) {
    std::vector<uint8_t> icc(164, 0);
    const auto put32 = [&](size_t at, uint32_t v) {
        icc[at] = static_cast<uint8_t>(v >> 24);
        icc[at + 1] = static_cast<uint8_t>(v >> 16);
        icc[at + 2] = static_cast<uint8_t>(v >> 8);
        icc[at + 3] = static_cast<uint8_t>(v);
    };
    const auto put4 = [&](size_t at, const char* text) { std::memcpy(&icc[at], text, 4); };
    put32(0, 164);
    put32(8, 0x04300000);  // version 4.3
    put4(12, "mntr");
    put4(16, colourSpace);
    put4(20, "XYZ ");
    put4(36, "acsp");
    put32(68, 0x0000F6D6);  // D50 illuminant
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    put4(80, "velt");  // creator
    // libpng refuses an iCCP chunk that compresses to almost nothing, so the profile id and
    // the reserved bytes get a pattern.
    for (size_t i = 84; i < 128; ++i) {
        icc[i] = static_cast<uint8_t>(i * 37u + 11u);
    }
    put32(128, 1);  // one tag: the media white point
    put4(132, "wtpt");
    put32(136, 144);
    put32(140, 20);
    put4(144, "XYZ ");
    put32(152, 0x0000F6D6);
    put32(156, 0x00010000);
    put32(160, 0x0000D32D);
    return icc;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

RunResult RunVelnr(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env) {
    char outName[] = "/tmp/velnr-test-out-XXXXXX";
    char errName[] = "/tmp/velnr-test-err-XXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    RunResult result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        for (const auto& [key, value] : env) {
            ::setenv(key.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv;
        std::string exe = VELNR_EXE;
        argv.push_back(exe.data());
        std::vector<std::string> copies(args);
        for (std::string& a : copies) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ::close(outFd);
    ::close(errFd);
    result.out = ReadText(outName);
    result.err = ReadText(errName);
    ::unlink(outName);
    ::unlink(errName);
    return result;
}

bool SamplesEqual(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels ||
        a.samples.size() != b.samples.size()) {
        return false;
    }
    for (size_t i = 0; i < a.samples.size(); ++i) {
        switch (a.type) {
            case SampleType::UInt8:
                if (QuantizeSample(a.samples[i], 255) != QuantizeSample(b.samples[i], 255)) {
                    return false;
                }
                break;
            case SampleType::UInt16:
                if (QuantizeSample(a.samples[i], 65535) != QuantizeSample(b.samples[i], 65535)) {
                    return false;
                }
                break;
            case SampleType::Float32:
                if (std::memcmp(&a.samples[i], &b.samples[i], sizeof(float)) != 0) {
                    return false;
                }
                break;
        }
    }
    return true;
}

void WritePages(const std::string& path, const std::vector<uint32_t>& kinds, const char* artist) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) {
        ADD_FAILURE() << "libtiff cannot create " << path;
        return;
    }
    for (size_t page = 0; page < kinds.size(); ++page) {
        const uint32_t w = (kinds[page] & FILETYPE_REDUCEDIMAGE) == 0 ? 8 : 4;
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, kinds[page]);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
        if (artist) {
            TIFFSetField(tif, TIFFTAG_ARTIST, artist);
        }
        std::vector<uint8_t> data(w * 2, static_cast<uint8_t>(50 * (page + 1)));
        ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, data.data(), static_cast<tmsize_t>(data.size())),
                  0);
        ASSERT_TRUE(TIFFWriteDirectory(tif));
    }
    TIFFClose(tif);
}

}  // namespace velnr::test
