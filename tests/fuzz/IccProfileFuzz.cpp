// ICC profiles from anywhere through the preview's display colour transform, by file as the
// host names them: opening both, the blue-green-red relative colorimetric transform, one row
// converted in place. Nothing may crash or leak; without a transform the row stays as it was,
// a transform needs both profiles, and the row's padding is never written.
//
// Input: the image profile's bytes. When the last byte is odd they are the display profile
// too, otherwise the display profile is sRGB.

#include <lcms2.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "plugin/PlaneImage.h"
#include "ui/DisplayColour.h"

namespace {

const std::string& SrgbPath() {
    static const std::string path = [] {
        std::string made = velfuzz::ScratchPath("srgb.icc");
        const std::unique_ptr<void, decltype(&cmsCloseProfile)> srgb(cmsCreate_sRGBProfile(),
                                                                     &cmsCloseProfile);
        velfuzz::FailIf(!srgb || !cmsSaveProfileToFile(srgb.get(), made.c_str()),
                        "cannot write the sRGB profile");
        return made;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = velfuzz::ScratchPath("image.icc");
    velfuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    const bool bothSides = size > 0 && (data[size - 1] & 1) != 0;

    // 257 pixels: every value in each channel, in three different orders, and one byte of
    // padding.
    vel::DisplayBitmap row;
    row.Resize(257, 1);
    for (int32_t i = 0; i < row.Stride(); ++i) {
        row.Storage()[i] = static_cast<uint8_t>(i / 3 + 85 * (i % 3));
    }
    const std::vector<uint8_t> before(row.Storage(), row.Storage() + row.Stride());

    vel::ui::DisplayColourTransform transform;
    std::size_t messages = 0;
    transform.SetProfiles(path.c_str(), bothSides ? path.c_str() : SrgbPath().c_str(),
                          [&messages](const std::string&) { ++messages; });
    velfuzz::FailIf(
        transform.HasTransform() && !(transform.HasInputProfile() && transform.HasDisplayProfile()),
        "a transform without both profiles");
    velfuzz::FailIf(bothSides && transform.HasInputProfile() != transform.HasDisplayProfile(),
                    "the same file opened on one side only");
    velfuzz::FailIf(!transform.HasInputProfile() && messages == 0,
                    "a profile that did not open gave no message");
    transform.Apply(row);
    velfuzz::FailIf(row.Storage()[row.Stride() - 1] != before.back(), "the padding was written");
    velfuzz::FailIf(
        !transform.HasTransform() && std::memcmp(row.Storage(), before.data(), before.size()) != 0,
        "the row changed without a transform");
    return 0;
}
