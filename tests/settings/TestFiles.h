#pragma once
// Scratch folders, whole-file reads and writes, and the text of a fresh section.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace vel::test {

namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The names in a folder that start with prefix.
inline std::set<std::string> NamesStartingWith(const fs::path& dir, const std::string& prefix) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

// What storing the initial settings into slot 0 of a file without that section writes.
inline constexpr const char* kInitialSection =
    "[VEL Noise Reduction 0]\r\nDark Correction=0\r\nLight Correction=0\r\n"
    "Reanalyze Whole=0\r\nHigh Quality=1\r\nLink Luma Chroma=1\r\nChroma Suppression=12\r\n"
    "Luma Suppression=6\r\nChroma Threshold=1\r\nLuma Threshold=-2\r\n";

// A fresh folder, removed with everything in it (its rights restored first) when it goes.
class ScratchDir {
  public:
    ScratchDir() {
        static int made = 0;
        path_ = (fs::temp_directory_path() / "velnr-test-").string();
        path_.append(std::to_string(::getpid())).append("-").append(std::to_string(++made));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const {
        return (fs::path(path_) / name).string();
    }

  private:
    std::string path_;
};

// A fresh folder for each test.
class TempDirTest : public ::testing::Test {
  protected:
    fs::path File(const char* name) const { return dir_ / name; }

    ScratchDir scratch_;
    fs::path dir_ = scratch_.Path();
};

}  // namespace vel::test
