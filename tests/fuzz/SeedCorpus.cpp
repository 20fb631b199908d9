// Writes the seed corpora of the fuzz targets into <folder>/<target>/: small images of every
// layout velnr writes, and settings and preset files of the shapes the store must keep.
// Run once by hand when the seeds need renewing (tools/fuzz.sh --seeds); the outputs are kept
// in tests/fuzz/corpus/.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/ImageIO.h"

namespace {

namespace fs = std::filesystem;

void Save(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

velnr::Image Gradient(int32_t width, int32_t height, int channels, velnr::SampleType type) {
    velnr::Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.type = type;
    image.samples.resize(static_cast<std::size_t>(width * height * channels));
    for (std::size_t i = 0; i < image.samples.size(); ++i) {
        image.samples[i] = static_cast<float>((i * 37) % 256) / 255.0f;
    }
    return image;
}

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
        velnr::Image image = Gradient(9, 7, seed.channels, seed.type);
        image.format = seed.format;
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

void WriteTexts(const fs::path& root) {
    const fs::path store = root / "fuzz_settings_store";
    Save(store, "slot0.ini",
         "[VEL Noise Reduction 0]\r\nLuma Threshold=-2\r\nChroma Threshold=1\r\n"
         "Link Luma Chroma=1 ; linked\r\n");
    Save(store, "mixed.ini",
         "; host settings\n[Host]\nwindow=10,20\n\n[vel noise reduction 0];x\nluma threshold = 3\n"
         "junk line\r\r\n[Other]\nkey=value=more\n[VEL Noise Reduction 0]\nHigh Quality=0");
    Save(store, "script.ini",
         std::string("[A]\nk=1\n[B]\n", 12) + '\0' +
             "A\x01k\x01"
             "2\x01"
             "C\x01new\x01v\x01"
             "B\x01k2\x01;c");
    Save(store, "empty.ini", "");
    const fs::path presets = root / "fuzz_presets";
    Save(presets, "two.pst",
         "[VEL Noise Reduction Preset 0]\r\nPreset Name=Mine\r\nLuma Threshold=-3\r\n"
         "Chroma Threshold=2\r\nLuma Suppression=8\r\nChroma Suppression=10\r\n"
         "Light Correction=1\r\nDark Correction=-1\r\nHigh Quality=1\r\nReanalyze Whole=0\r\n"
         "[VEL Noise Reduction Preset 1]\r\nPreset Name=Remove noise - gentle\r\n"
         "Luma Threshold=5\r\n");
    Save(presets, "gap.pst",
         "[VEL Noise Reduction Preset 0]\nLuma Threshold=1\n[VEL Noise Reduction Preset 2]\n"
         "Luma Threshold=2\nPreset Name=After a gap\n");
    const fs::path plugin = root / "fuzz_open_plugin";
    Save(plugin, "small.bin", std::string("\x10\x20\x01\x00\x00\x00\x00", 7) + "0123456789abcdef");
    Save(plugin, "edge-values.bin", std::string(96, '\0'));
    Save(plugin, "large.bin", std::string(200, '\xff'));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    WriteTexts(argv[1]);
    return WriteImages(argv[1]) ? 0 : 1;
}
