#pragma once
// Shared by the fuzz targets: the readers under test take paths, so inputs go through files
// in a scratch folder of the process (removed at exit).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velfuzz {

std::string ScratchPath(const std::string& name);
// Both abort when the file cannot be written or read (the run would test nothing).
void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
// Reports a broken property and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* what);
inline void FailIf(bool broken, const char* what) {
    if (broken) {
        Fail(what);
    }
}

// Draws values from the fuzz input front to back; zeros once it runs out, so every input is a
// complete case.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Remaining() const { return size_ - at_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = value << 8 | Byte();
        }
        return value;
    }
    // lo..hi inclusive, from one byte when the span fits one, else from a word.
    int32_t InRange(int32_t lo, int32_t hi) {
        const uint64_t span = static_cast<uint64_t>(int64_t{hi} - lo) + 1;
        const uint64_t raw = span <= 256 ? Byte() : Word();
        return static_cast<int32_t>(lo + static_cast<int64_t>(raw % span));
    }
    template <typename T>
    T Pick(std::initializer_list<T> values) {
        return values.begin()[InRange(0, static_cast<int32_t>(values.size()) - 1)];
    }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace velfuzz
