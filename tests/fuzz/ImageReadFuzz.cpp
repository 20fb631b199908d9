// One image reader of velnr on any bytes: a clear error or an image whose buffer matches its
// size, never a crash, a leak or undefined behaviour. Built once per format; the file is named
// for that format, though content decides which reader runs.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "host/ImageIO.h"

namespace {

#if defined(VELNR_FUZZ_FORMAT_TIFF)
constexpr const char* kName = "input.tif";
#elif defined(VELNR_FUZZ_FORMAT_PNG)
constexpr const char* kName = "input.png";
#else
constexpr const char* kName = "input.jpg";
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = velfuzz::ScratchPath(kName);
    velfuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    velnr::Image image;
    std::string error;
    if (!velnr::ReadImage(path, image, error)) {
        velfuzz::FailIf(error.empty(), "a refused file gave no reason");
        return 0;
    }
    velfuzz::FailIf(image.width <= 0 || image.height <= 0 || image.channels < 1 ||
                        image.channels > 4 ||
                        image.samples.size() != static_cast<std::size_t>(image.width) *
                                                    static_cast<std::size_t>(image.height) *
                                                    static_cast<std::size_t>(image.channels),
                    "the image does not match its size");
    // As velnr reads it: straight into the plug-in's layout, the same picture.
    velnr::Image host;
    const velnr::SampleVector rgb = velnr::ToHostRgb(image);
    velfuzz::FailIf(
        !velnr::ReadImage(path, host, error, true) || host.samples.size() != rgb.size() ||
            std::memcmp(host.samples.data(), rgb.data(), rgb.size() * sizeof(float)) != 0,
        "the plug-in's layout differs from the file's");  // bits: NaN too
    (void)velnr::CountOutOfRangeSamples(host);
    return 0;
}
