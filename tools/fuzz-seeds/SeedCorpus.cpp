// Writes the image and ICC profile seeds of the fuzz targets into <folder>/<target>/: small
// images of every layout velnr writes, and profiles made by the colour library's creators. Run
// once by hand when the seeds need renewing (tools/fuzz.sh --seeds); the outputs, and the text
// seeds written by hand, are kept in tests/fuzz/corpus/.

#include <lcms2.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/ImageIO.h"

namespace {

namespace fs = std::filesystem;

bool WriteImages(const fs::path& root) {
    using F = velnr::FileFormat;
    using S = velnr::SampleType;
    using C = velnr::TiffCompression;
    const struct {
        const char* name;
        F format;
        int channels;
        S type;
        C compression;
        bool tiled;
        int subsampling;
    } seeds[] = {{"grey8.tif", F::Tiff, 1, S::UInt8, C::None, false, 444},
                 {"rgb16_lzw.tif", F::Tiff, 3, S::UInt16, C::Lzw, false, 444},
                 {"rgba8_zip_tiles.tif", F::Tiff, 4, S::UInt8, C::Zip, true, 444},
                 {"rgb_f32_zip.tif", F::Tiff, 3, S::Float32, C::Zip, false, 444},
                 {"greyalpha16.tif", F::Tiff, 2, S::UInt16, C::None, true, 444},
                 {"grey8.png", F::Png, 1, S::UInt8, C::AsInput, false, 444},
                 {"rgba16.png", F::Png, 4, S::UInt16, C::AsInput, false, 444},
                 {"greyalpha8.png", F::Png, 2, S::UInt8, C::AsInput, false, 444},
                 {"rgb444.jpg", F::Jpeg, 3, S::UInt8, C::AsInput, false, 444},
                 {"rgb420.jpg", F::Jpeg, 3, S::UInt8, C::AsInput, false, 420},
                 {"grey.jpg", F::Jpeg, 1, S::UInt8, C::AsInput, false, 444}};
    for (const auto& seed : seeds) {
        velnr::Image image;
        image.width = 9;
        image.height = 7;
        image.channels = seed.channels;
        image.type = seed.type;
        image.format = seed.format;
        image.samples.resize(static_cast<std::size_t>(9 * 7 * seed.channels));
        for (std::size_t i = 0; i < image.samples.size(); ++i) {
            image.samples[i] = static_cast<float>((i * 37) % 256) / 255.0f;  // a gradient
        }
        image.tiff.tiled = seed.tiled;
        image.tiff.tileWidth = image.tiff.tileHeight = 16;
        image.tiff.rowsPerStrip = 3;
        velnr::WriteOptions options;
        options.compression = seed.compression;
        options.jpegSubsampling = seed.subsampling;
        options.jpegQuality = 50;
        const fs::path folder = root / (seed.format == F::Tiff  ? "fuzz_read_tiff"
                                        : seed.format == F::Png ? "fuzz_read_png"
                                                                : "fuzz_read_jpeg");
        fs::create_directories(folder);
        std::string error;
        if (!velnr::WriteImage((folder / seed.name).string(), seed.format, image, options, error)) {
            std::fprintf(stderr, "%s: %s\n", seed.name, error.c_str());
            return false;
        }
    }
    return true;
}

// Version 4 and 2 matrix-shaper RGB, grey, Lab, an abstract and a CMYK device link (colour
// spaces the preview cannot use), and RGB device links with a 5-point grid (v4 and v2 tags);
// each well under the fuzzers' 16 KB input limit.
bool WriteProfiles(const fs::path& root) {
    using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;
    const auto own = [](cmsHPROFILE made) { return Profile(made, &cmsCloseProfile); };
    const std::unique_ptr<cmsToneCurve, decltype(&cmsFreeToneCurve)> gamma(
        cmsBuildGamma(nullptr, 1.8), &cmsFreeToneCurve);
    cmsToneCurve* curves[4] = {gamma.get(), gamma.get(), gamma.get(), gamma.get()};
    const cmsCIExyYTRIPLE wide = {
        {0.7347, 0.2653, 1.0}, {0.1152, 0.8264, 1.0}, {0.1566, 0.0177, 1.0}};
    Profile srgb = own(cmsCreate_sRGBProfile());
    Profile wideRgb = own(cmsCreateRGBProfile(cmsD50_xyY(), &wide, curves));
    const cmsUInt32Number grid = cmsFLAGS_GRIDPOINTS(5) | cmsFLAGS_FORCE_CLUT;
    const std::unique_ptr<void, decltype(&cmsDeleteTransform)> link(
        cmsCreateTransform(srgb.get(), TYPE_RGB_8, wideRgb.get(), TYPE_RGB_8,
                           INTENT_RELATIVE_COLORIMETRIC, grid),
        &cmsDeleteTransform);
    Profile srgbV2 = own(cmsCreate_sRGBProfile());
    if (srgbV2) {
        cmsSetProfileVersion(srgbV2.get(), 2.1);
    }
    const struct {
        const char* name;
        Profile profile;
    } seeds[] = {{"srgb-v4.icc", std::move(srgb)},
                 {"srgb-v2.icc", std::move(srgbV2)},
                 {"wide-gamma18.icc", std::move(wideRgb)},
                 {"grey.icc", own(cmsCreateGrayProfile(cmsD50_xyY(), gamma.get()))},
                 {"lab-v4.icc", own(cmsCreateLab4Profile(nullptr))},
                 {"abstract-bchsw.icc",
                  own(cmsCreateBCHSWabstractProfile(9, 0.9, 1.1, 10, 0.8, 5000, 6500))},
                 {"cmyk-link.icc", own(cmsCreateLinearizationDeviceLink(cmsSigCmykData, curves))},
                 {"link-srgb-wide-v4.icc",
                  own(link ? cmsTransform2DeviceLink(link.get(), 4.3, grid) : nullptr)},
                 {"link-srgb-wide-v2.icc",
                  own(link ? cmsTransform2DeviceLink(link.get(), 2.1, grid) : nullptr)}};
    const fs::path folder = root / "fuzz_icc_profile";
    fs::create_directories(folder);
    bool ok = true;
    for (const auto& seed : seeds) {
        if (!seed.profile ||
            !cmsSaveProfileToFile(seed.profile.get(), (folder / seed.name).string().c_str())) {
            std::fprintf(stderr, "%s: not written\n", seed.name);
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const bool images = WriteImages(argv[1]);
    return images && WriteProfiles(argv[1]) ? 0 : 1;
}
