// Writes the image seeds of the fuzz targets into <folder>/<target>/: small images of every
// layout velnr writes. Run once by hand when the seeds need renewing (tools/fuzz.sh --seeds);
// the outputs, and the text seeds written by hand, are kept in tests/fuzz/corpus/.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    return WriteImages(argv[1]) ? 0 : 1;
}
