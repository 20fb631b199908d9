#pragma once
// A private folder per test, whole-file reads and writes, and the text of a fresh section.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
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

// What storing the initial settings into slot 0 of a file without that section writes.
inline constexpr const char* kInitialSection =
    "[VEL Noise Reduction 0]\r\nDark Correction=0\r\nLight Correction=0\r\n"
    "Reanalyze Whole=0\r\nHigh Quality=1\r\nLink Luma Chroma=1\r\nChroma Suppression=12\r\n"
    "Luma Suppression=6\r\nChroma Threshold=1\r\nLuma Threshold=-2\r\n";

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = "velnr-settings-" + std::to_string(::getpid());
        name.append("-").append(::testing::UnitTest::GetInstance()->current_test_info()->name());
        dir_ = fs::temp_directory_path() / name;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path File(const char* name) const { return dir_ / name; }

    fs::path dir_;
};

}  // namespace vel::test
