// Image files: exact round trips of every format, depth and layout; profiles, metadata,
// alpha and grey; damaged and unsupported files.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <tuple>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "TestSupport.h"
#include "host/ImageIO.h"
#include "tests/support/FailingAllocator.h"

namespace velnr {
namespace {

using test::MakeIccProfile;
using test::MakeImage;
using test::SamplesEqual;
using test::ScratchDir;

struct Case {
    FileFormat format;
    SampleType type;
    int channels;
    bool tiled;
    uint16_t compression;
};

std::string CaseName(const testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    static const char* kType[] = {"u8", "u16", "f32"};
    std::string name = std::string(FormatName(c.format)) + "_" + kType[static_cast<int>(c.type)] +
                       "_c" + std::to_string(c.channels);
    if (c.format == FileFormat::Tiff) {
        name +=
            (c.tiled ? "_tiles" : "_strips") + std::string("_z") + std::to_string(c.compression);
    }
    return name;
}

class RoundTrip : public testing::TestWithParam<Case> {};

TEST_P(RoundTrip, GivesBackEverySampleExactly) {
    const Case& c = GetParam();
    ScratchDir dir;
    // Odd sizes: tiles and strips that do not divide the image, and a single pixel.
    for (const auto& [w, h] : {std::pair{37, 21}, std::pair{1, 1}, std::pair{16, 33}}) {
        Image image = MakeImage(w, h, c.channels, c.type, static_cast<uint32_t>(w * 7 + h));
        image.tiff.tiled = c.tiled;
        image.tiff.tileWidth = 16;
        image.tiff.tileHeight = 16;
        image.tiff.rowsPerStrip = 4;
        image.tiff.compression = c.compression;
        image.icc = MakeIccProfile(c.channels >= 3 ? "RGB " : "GRAY");
        const std::string path =
            dir / ("image." + std::string(c.format == FileFormat::Png ? "png" : "tif"));
        std::string error;
        ASSERT_TRUE(WriteImage(path, c.format, image, {}, error)) << error;
        Image back;
        ASSERT_TRUE(ReadImage(path, back, error)) << error;
        EXPECT_EQ(back.format, c.format);
        EXPECT_EQ(back.type, c.type);
        EXPECT_EQ(back.channels, c.channels);
        EXPECT_TRUE(SamplesEqual(image, back)) << w << "x" << h;
        EXPECT_EQ(back.icc, image.icc);
        if (c.format == FileFormat::Tiff) {
            EXPECT_EQ(back.tiff.tiled, c.tiled);
            EXPECT_EQ(back.tiff.compression, c.compression);
        }
    }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (int channels = 1; channels <= 4; ++channels) {
        for (SampleType type : {SampleType::UInt8, SampleType::UInt16, SampleType::Float32}) {
            for (bool tiled : {false, true}) {
                cases.push_back({FileFormat::Tiff, type, channels, tiled, COMPRESSION_NONE});
            }
            cases.push_back({FileFormat::Tiff, type, channels, false, COMPRESSION_LZW});
            cases.push_back({FileFormat::Tiff, type, channels, true, COMPRESSION_ADOBE_DEFLATE});
            if (type != SampleType::Float32) {
                cases.push_back({FileFormat::Png, type, channels, false, 0});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, testing::ValuesIn(AllCases()), CaseName);

TEST(ImageIO, IntegerFilesHoldRoundedScaledValues) {
    ScratchDir dir;
    Image image = MakeImage(4, 1, 1, SampleType::UInt16, 1);
    // 0.5 * 65535 = 32767.5 rounds up; out-of-range values and NaN are clamped.
    image.samples = {0.5f, 1.5f, -0.25f, std::numeric_limits<float>::quiet_NaN()};
    std::string error;
    ASSERT_TRUE(WriteImage(dir / "a.png", FileFormat::Png, image, {}, error)) << error;
    Image back;
    ASSERT_TRUE(ReadImage(dir / "a.png", back, error)) << error;
    EXPECT_EQ(back.samples[0], 32768.0f / 65535.0f);
    EXPECT_EQ(back.samples[1], 1.0f);
    EXPECT_EQ(back.samples[2], 0.0f);
    EXPECT_EQ(back.samples[3], 0.0f);
}

TEST(ImageIO, QuantizeSampleHandlesEveryValue) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(QuantizeSample(std::numeric_limits<float>::quiet_NaN(), 255), 0u);
    EXPECT_EQ(QuantizeSample(-inf, 255), 0u);
    EXPECT_EQ(QuantizeSample(inf, 65535), 65535u);
    EXPECT_EQ(QuantizeSample(3.0e38f, 65535), 65535u);
    EXPECT_EQ(QuantizeSample(-0.0f, 255), 0u);
    EXPECT_EQ(QuantizeSample(0.5f / 255.0f, 255), 1u);  // half way rounds up
    EXPECT_EQ(QuantizeSample(0.49f / 255.0f, 255), 0u);
    for (uint32_t v = 0; v <= 65535; ++v) {
        ASSERT_EQ(QuantizeSample(static_cast<float>(v) / 65535.0f, 65535), v);
    }
}

TEST(ImageIO, JpegKeepsPictureProfileAndQualityMatters) {
    ScratchDir dir;
    for (int channels : {1, 3}) {
        Image image = MakeImage(64, 48, channels, SampleType::UInt8, 3);
        for (int32_t y = 0; y < image.height; ++y) {  // smooth content: what JPEG is for
            for (int32_t x = 0; x < image.width; ++x) {
                for (int k = 0; k < channels; ++k) {
                    image.samples[(static_cast<size_t>(y) * 64 + x) * channels + k] =
                        static_cast<float>((x * 3 + y * 2 + k * 40) % 256) / 255.0f;
                }
            }
        }
        image.icc = MakeIccProfile(channels == 3 ? "RGB " : "GRAY");
        image.jpeg = {true, 1, 240, 240};
        std::string error;
        WriteOptions high;
        high.jpegQuality = 95;
        WriteOptions low;
        low.jpegQuality = 20;
        ASSERT_TRUE(WriteImage(dir / "high.jpg", FileFormat::Jpeg, image, high, error)) << error;
        ASSERT_TRUE(WriteImage(dir / "low.jpg", FileFormat::Jpeg, image, low, error)) << error;
        Image back;
        ASSERT_TRUE(ReadImage(dir / "high.jpg", back, error)) << error;
        EXPECT_EQ(back.format, FileFormat::Jpeg);
        EXPECT_EQ(back.channels, channels);
        EXPECT_EQ(back.icc, image.icc);
        EXPECT_TRUE(back.jpeg.known);
        EXPECT_EQ(back.jpeg.unit, 1);
        EXPECT_EQ(back.jpeg.x, 240);
        EXPECT_EQ(back.jpeg.y, 240);
        double err = 0.0;
        for (size_t i = 0; i < image.samples.size(); ++i) {
            err += std::fabs(static_cast<double>(image.samples[i] - back.samples[i]));
        }
        EXPECT_LT(err / static_cast<double>(image.samples.size()), 2.0 / 255.0);
        EXPECT_LT(test::ReadBytes(dir / "low.jpg").size(),
                  test::ReadBytes(dir / "high.jpg").size());
    }
}

TEST(ImageIO, FormatsThatCannotHoldTheDepthAreConvertedAndAlphaIsNeverDropped) {
    ScratchDir dir;
    std::string error;
    Image floats = MakeImage(5, 3, 3, SampleType::Float32, 4);
    ASSERT_TRUE(WriteImage(dir / "f.png", FileFormat::Png, floats, {}, error)) << error;
    Image back;
    ASSERT_TRUE(ReadImage(dir / "f.png", back, error));
    EXPECT_EQ(back.type, SampleType::UInt16);
    for (size_t i = 0; i < floats.samples.size(); ++i) {
        EXPECT_NEAR(back.samples[i], floats.samples[i], 0.5f / 65535.0f + 1e-7f);
    }
    Image rgba = MakeImage(5, 3, 4, SampleType::UInt8, 5);
    EXPECT_FALSE(WriteImage(dir / "a.jpg", FileFormat::Jpeg, rgba, {}, error));
    EXPECT_NE(error.find("alpha"), std::string::npos);
    WriteOptions bad;
    bad.jpegQuality = 0;
    EXPECT_FALSE(WriteImage(dir / "b.jpg", FileFormat::Jpeg, floats, bad, error));
}

TEST(ImageIO, HostBufferCarriesColourAndLeavesAlphaAlone) {
    Image rgba = MakeImage(3, 2, 4, SampleType::UInt16, 6);
    const Image original = rgba;
    std::vector<float> rgb = ToHostRgb(rgba);
    ASSERT_EQ(rgb.size(), 3u * 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(rgb[3 * i + 1], rgba.samples[4 * i + 1]);
        rgb[3 * i] = 0.25f;
    }
    FromHostRgb(rgb, rgba);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(rgba.samples[4 * i], 0.25f);
        EXPECT_EQ(rgba.samples[4 * i + 3], original.samples[4 * i + 3]);  // alpha untouched
    }

    Image grey = MakeImage(4, 1, 2, SampleType::UInt8, 7);
    const Image greyBefore = grey;
    rgb = ToHostRgb(grey);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rgb[3 * i], grey.samples[2 * i]);
        EXPECT_EQ(rgb[3 * i + 2], grey.samples[2 * i]);
    }
    FromHostRgb(rgb, grey);  // R = G = B comes back exactly
    EXPECT_EQ(grey.samples, greyBefore.samples);
    rgb[0] = 0.0f;
    rgb[1] = 0.3f;
    rgb[2] = 0.6f;
    FromHostRgb(rgb, grey);
    EXPECT_FLOAT_EQ(grey.samples[0], 0.3f);
    EXPECT_EQ(grey.samples[1], greyBefore.samples[1]);
}

// --- Files written by other means ---------------------------------------------------------

void WriteRawTiff(const std::string& path, uint16_t photometric, uint16_t spp, uint16_t bps,
                  uint16_t planar, const std::vector<uint8_t>& data, uint32_t w, uint32_t h) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, planar);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    if (planar == PLANARCONFIG_SEPARATE) {
        const size_t plane = data.size() / spp;
        for (uint16_t s = 0; s < spp; ++s) {
            TIFFWriteEncodedStrip(tif, s, const_cast<uint8_t*>(data.data() + s * plane),
                                  static_cast<tmsize_t>(plane));
        }
    } else {
        TIFFWriteEncodedStrip(tif, 0, const_cast<uint8_t*>(data.data()),
                              static_cast<tmsize_t>(data.size()));
    }
    TIFFClose(tif);
}

TEST(ImageIO, ReadsSeparatePlanesAndRefusesUnsupportedLayoutsClearly) {
    ScratchDir dir;
    std::string error;
    // 2 x 1 RGB, planes R R, G G, B B.
    WriteRawTiff(dir / "planar.tif", PHOTOMETRIC_RGB, 3, 8, PLANARCONFIG_SEPARATE,
                 {10, 20, 30, 40, 50, 60}, 2, 1);
    Image image;
    ASSERT_TRUE(ReadImage(dir / "planar.tif", image, error)) << error;
    EXPECT_EQ(image.samples, (std::vector<float>{10 / 255.0f, 30 / 255.0f, 50 / 255.0f, 20 / 255.0f,
                                                 40 / 255.0f, 60 / 255.0f}));

    WriteRawTiff(dir / "cmyk.tif", PHOTOMETRIC_SEPARATED, 4, 8, PLANARCONFIG_CONTIG,
                 std::vector<uint8_t>(8, 1), 2, 1);
    EXPECT_FALSE(ReadImage(dir / "cmyk.tif", image, error));
    EXPECT_NE(error.find("colour layout"), std::string::npos) << error;
    WriteRawTiff(dir / "bilevel.tif", PHOTOMETRIC_MINISBLACK, 1, 1, PLANARCONFIG_CONTIG, {0xff}, 8,
                 1);
    EXPECT_FALSE(ReadImage(dir / "bilevel.tif", image, error));
    EXPECT_NE(error.find("sample type"), std::string::npos) << error;
}

TEST(ImageIO, DamagedEmptyAndForeignFilesGiveAReasonAndNoImage) {
    ScratchDir dir;
    std::string error;
    Image image = MakeImage(64, 64, 3, SampleType::UInt16, 8);
    image.tiff.compression = COMPRESSION_LZW;
    ASSERT_TRUE(WriteImage(dir / "good.tif", FileFormat::Tiff, image, {}, error));
    ASSERT_TRUE(WriteImage(dir / "good.png", FileFormat::Png, image, {}, error));
    Image eight = MakeImage(64, 64, 3, SampleType::UInt8, 9);
    ASSERT_TRUE(WriteImage(dir / "good.jpg", FileFormat::Jpeg, eight, {}, error));

    for (const char* name : {"good.tif", "good.png", "good.jpg"}) {
        std::vector<uint8_t> bytes = test::ReadBytes(dir / name);
        for (size_t keep : {bytes.size() / 2, size_t{12}, size_t{3}}) {
            test::WriteBytes(
                dir / "cut",
                std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(keep)));
            Image out;
            error.clear();
            EXPECT_FALSE(ReadImage(dir / "cut", out, error)) << name << " cut to " << keep;
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(out.samples.empty());
        }
    }
    // Damage inside the compressed PNG data is caught by its checksums.
    std::vector<uint8_t> png = test::ReadBytes(dir / "good.png");
    for (size_t i = png.size() / 2; i < png.size() / 2 + 16; ++i) {
        png[i] ^= 0x5a;
    }
    test::WriteBytes(dir / "bad.png", png);
    Image out;
    EXPECT_FALSE(ReadImage(dir / "bad.png", out, error));

    test::WriteBytes(dir / "empty.tif", {});
    EXPECT_FALSE(ReadImage(dir / "empty.tif", out, error));
    EXPECT_EQ(error, "empty file");
    EXPECT_FALSE(ReadImage(dir.Path(), out, error));
    EXPECT_NE(error.find("folder"), std::string::npos);
    test::WriteText(dir / "notes.png", "just some text, not a picture\n");
    EXPECT_FALSE(ReadImage(dir / "notes.png", out, error));
    EXPECT_NE(error.find("not a TIFF, PNG or JPEG"), std::string::npos);
    EXPECT_FALSE(ReadImage(dir / "missing.tif", out, error));
    EXPECT_FALSE(error.empty());
}

TEST(ImageIO, ContentDecidesTheFormatNotTheName) {
    ScratchDir dir;
    std::string error;
    Image image = MakeImage(3, 3, 3, SampleType::UInt8, 10);
    ASSERT_TRUE(WriteImage(dir / "really-png.tif", FileFormat::Png, image, {}, error));
    Image back;
    ASSERT_TRUE(ReadImage(dir / "really-png.tif", back, error)) << error;
    EXPECT_EQ(back.format, FileFormat::Png);
    FileFormat format{};
    EXPECT_TRUE(FormatFromExtension("a/b.TIFF", format));
    EXPECT_EQ(format, FileFormat::Tiff);
    EXPECT_TRUE(FormatFromExtension("x.JPEG", format));
    EXPECT_EQ(format, FileFormat::Jpeg);
    EXPECT_FALSE(FormatFromExtension("x.bmp", format));
    EXPECT_FALSE(FormatFromExtension("dir.png/x", format));
}

}  // namespace
}  // namespace velnr

namespace velnr {
namespace {

TEST(ImageIO, TiffPredictorsAndJpegCompressedTiffs) {
    test::ScratchDir dir;
    std::string error;
    struct {
        SampleType type;
        uint16_t compression;
        uint16_t predictor;
    } cases[] = {{SampleType::Float32, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT},
                 {SampleType::UInt16, COMPRESSION_LZW, PREDICTOR_HORIZONTAL},
                 {SampleType::UInt8, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL}};
    for (const auto& c : cases) {
        Image image = test::MakeImage(19, 11, 3, c.type, 21);
        image.tiff.compression = c.compression;
        image.tiff.predictor = c.predictor;
        ASSERT_TRUE(WriteImage(dir / "p.tif", FileFormat::Tiff, image, {}, error)) << error;
        Image back;
        ASSERT_TRUE(ReadImage(dir / "p.tif", back, error)) << error;
        EXPECT_TRUE(test::SamplesEqual(image, back));
        EXPECT_EQ(back.tiff.predictor, c.predictor);
    }

    // JPEG inside TIFF: read as RGB, written back losslessly (Deflate) rather than again as
    // JPEG.
    TIFF* tif = TIFFOpen((dir / "j.tif").c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const uint32_t w = 32, h = 16;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<uint8_t> rgb(w * h * 3, 128);
    for (uint32_t i = 0; i < w * h; ++i) {
        rgb[3 * i] = static_cast<uint8_t>(64 + (i % w) * 4);
    }
    ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, rgb.data(), static_cast<tmsize_t>(rgb.size())), 0);
    TIFFClose(tif);
    Image image;
    ASSERT_TRUE(ReadImage(dir / "j.tif", image, error)) << error;
    ASSERT_EQ(image.channels, 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        ASSERT_NEAR(image.samples[i] * 255.0f, static_cast<float>(rgb[i]), 6.0f) << i;
    }
    ASSERT_TRUE(WriteImage(dir / "j2.tif", FileFormat::Tiff, image, {}, error)) << error;
    Image back;
    ASSERT_TRUE(ReadImage(dir / "j2.tif", back, error)) << error;
    EXPECT_EQ(back.tiff.compression, COMPRESSION_ADOBE_DEFLATE);
    EXPECT_TRUE(test::SamplesEqual(image, back));
}

}  // namespace
}  // namespace velnr

namespace velnr {
namespace {

TEST(ImageIO, PngColourAndResolutionChunksComeBack) {
    test::ScratchDir dir;
    std::string error;
    Image image = test::MakeImage(6, 5, 3, SampleType::UInt8, 30);
    image.png.srgb = true;
    image.png.srgbIntent = 1;
    image.png.gamma = true;
    image.png.gammaValue = 0.45455;
    image.png.chromaticities = true;
    const double chrm[8] = {0.3127, 0.329, 0.64, 0.33, 0.3, 0.6, 0.15, 0.06};
    std::copy(chrm, chrm + 8, image.png.chrm);
    image.png.physical = true;
    image.png.xPixelsPerUnit = 11811;  // 300 dpi
    image.png.yPixelsPerUnit = 11811;
    image.png.unit = 1;
    ASSERT_TRUE(WriteImage(dir / "a.png", FileFormat::Png, image, {}, error)) << error;
    Image back;
    ASSERT_TRUE(ReadImage(dir / "a.png", back, error)) << error;
    EXPECT_TRUE(back.png.srgb);
    EXPECT_EQ(back.png.srgbIntent, 1);
    EXPECT_TRUE(back.png.gamma);
    EXPECT_NEAR(back.png.gammaValue, 0.45455, 1e-5);
    EXPECT_TRUE(back.png.chromaticities);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(back.png.chrm[i], chrm[i], 1e-5);
    }
    EXPECT_TRUE(back.png.physical);
    EXPECT_EQ(back.png.xPixelsPerUnit, 11811u);
    EXPECT_EQ(back.png.unit, 1);
    // With a profile the sRGB chunk gives way: a file holds one or the other.
    image.icc = test::MakeIccProfile("RGB ");
    ASSERT_TRUE(WriteImage(dir / "b.png", FileFormat::Png, image, {}, error)) << error;
    ASSERT_TRUE(ReadImage(dir / "b.png", back, error)) << error;
    EXPECT_EQ(back.icc, image.icc);
    EXPECT_FALSE(back.png.srgb);
}

}  // namespace
}  // namespace velnr

// --- Output depth, compression and subsampling; half floats; pages; damage ----------------

namespace velnr {
namespace {

struct TiffFields {
    uint16_t bits = 0;
    uint16_t format = 0;
    uint16_t compression = 0;
    uint16_t predictor = PREDICTOR_NONE;  // also where the codec has none
    tdir_t directories = 0;
};

TiffFields ReadTiffFields(const std::string& path) {
    TiffFields f;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return f;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &f.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &f.predictor);
    f.directories = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);
    return f;
}

struct DepthCase {
    FileFormat format;
    SampleType input;
    int depth;
    SampleType written;  // what the file holds; ignored when refused
    bool refused;
};

TEST(WriteDepth, EachFormatHoldsWhatItCanAndRefusesTheRest) {
    const DepthCase cases[] = {
        {FileFormat::Tiff, SampleType::UInt16, 8, SampleType::UInt8, false},
        {FileFormat::Tiff, SampleType::UInt8, 16, SampleType::UInt16, false},
        {FileFormat::Tiff, SampleType::UInt8, 32, SampleType::Float32, false},
        {FileFormat::Tiff, SampleType::Float32, 16, SampleType::UInt16, false},
        {FileFormat::Tiff, SampleType::Float32, 0, SampleType::Float32, false},
        {FileFormat::Tiff, SampleType::UInt16, 0, SampleType::UInt16, false},
        {FileFormat::Png, SampleType::Float32, 8, SampleType::UInt8, false},
        {FileFormat::Png, SampleType::UInt8, 16, SampleType::UInt16, false},
        {FileFormat::Png, SampleType::Float32, 0, SampleType::UInt16, false},
        {FileFormat::Png, SampleType::UInt8, 32, {}, true},
        {FileFormat::Jpeg, SampleType::UInt16, 8, SampleType::UInt8, false},
        {FileFormat::Jpeg, SampleType::UInt8, 16, {}, true},
        {FileFormat::Jpeg, SampleType::Float32, 32, {}, true},
        {FileFormat::Tiff, SampleType::UInt8, 12, {}, true},
    };
    test::ScratchDir dir;
    for (const DepthCase& c : cases) {
        const std::string label = std::string(FormatName(c.format)) + " depth " +
                                  std::to_string(c.depth) + " from type " +
                                  std::to_string(static_cast<int>(c.input));
        const std::string path = dir / (c.format == FileFormat::Tiff  ? "d.tif"
                                        : c.format == FileFormat::Png ? "d.png"
                                                                      : "d.jpg");
        std::remove(path.c_str());
        Image image = test::MakeImage(13, 7, 3, c.input, 40);
        WriteOptions options;
        options.depth = c.depth;
        std::string checkError;
        std::string error;
        EXPECT_EQ(CheckWriteOptions(c.format, options, checkError), !c.refused) << label;
        EXPECT_EQ(WriteImage(path, c.format, image, options, error), !c.refused) << label;
        if (c.refused) {
            EXPECT_EQ(error, checkError) << label;
            EXPECT_TRUE(error.find("bit") != std::string::npos) << label << ": " << error;
            EXPECT_TRUE(test::ReadBytes(path).empty()) << label;  // nothing written
            continue;
        }
        Image back;
        ASSERT_TRUE(ReadImage(path, back, error)) << label << ": " << error;
        EXPECT_EQ(back.type, c.written) << label;
        if (c.format == FileFormat::Tiff) {
            const TiffFields f = ReadTiffFields(path);
            EXPECT_EQ(f.bits, c.written == SampleType::UInt8    ? 8
                              : c.written == SampleType::UInt16 ? 16
                                                                : 32)
                << label;
            EXPECT_EQ(f.format,
                      c.written == SampleType::Float32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT)
                << label;
        }
        if (c.format != FileFormat::Jpeg) {
            Image expected = image;  // the input quantised to what the file holds
            expected.type = c.written;
            EXPECT_TRUE(test::SamplesEqual(expected, back)) << label;
        }
    }
}

TEST(WriteCompression, EachChoiceIsWhatTheFileSays) {
    struct {
        TiffCompression choice;
        FileFormat from;
        uint16_t inputCompression;
        SampleType type;
        uint16_t compression;
        uint16_t predictor;
    } cases[] = {
        {TiffCompression::None, FileFormat::Tiff, COMPRESSION_LZW, SampleType::UInt16,
         COMPRESSION_NONE, PREDICTOR_NONE},
        {TiffCompression::Lzw, FileFormat::Tiff, COMPRESSION_NONE, SampleType::UInt8,
         COMPRESSION_LZW, PREDICTOR_HORIZONTAL},
        {TiffCompression::Zip, FileFormat::Png, 0, SampleType::UInt16, COMPRESSION_ADOBE_DEFLATE,
         PREDICTOR_HORIZONTAL},
        {TiffCompression::Zip, FileFormat::Tiff, COMPRESSION_NONE, SampleType::Float32,
         COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT},
        {TiffCompression::Zstd, FileFormat::Tiff, COMPRESSION_LZW, SampleType::UInt16,
         COMPRESSION_ZSTD, PREDICTOR_HORIZONTAL},
        {TiffCompression::AsInput, FileFormat::Tiff, COMPRESSION_LZW, SampleType::UInt8,
         COMPRESSION_LZW, PREDICTOR_NONE},
        {TiffCompression::AsInput, FileFormat::Tiff, COMPRESSION_NONE, SampleType::Float32,
         COMPRESSION_NONE, PREDICTOR_NONE},
        {TiffCompression::AsInput, FileFormat::Jpeg, 0, SampleType::UInt8,
         COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL},
        {TiffCompression::AsInput, FileFormat::Png, 0, SampleType::Float32,
         COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT},
    };
    test::ScratchDir dir;
    for (const auto& c : cases) {
        const std::string label =
            std::to_string(static_cast<int>(c.choice)) + " -> " + std::to_string(c.compression);
        Image image = test::MakeImage(21, 9, 4, c.type, 41);
        image.format = c.from;
        image.tiff.compression = c.inputCompression;
        WriteOptions options;
        options.compression = c.choice;
        std::string error;
        if (c.choice == TiffCompression::Zstd && !TIFFIsCODECConfigured(COMPRESSION_ZSTD)) {
            EXPECT_FALSE(CheckWriteOptions(FileFormat::Tiff, options, error));
            EXPECT_NE(error.find("ZSTD"), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(WriteImage(dir / "c.tif", FileFormat::Tiff, image, options, error))
            << label << ": " << error;
        const TiffFields f = ReadTiffFields(dir / "c.tif");
        EXPECT_EQ(f.compression, c.compression) << label;
        EXPECT_EQ(f.predictor, c.predictor) << label;
        Image back;
        ASSERT_TRUE(ReadImage(dir / "c.tif", back, error)) << label << ": " << error;
        EXPECT_TRUE(test::SamplesEqual(image, back)) << label;
    }
    // Other formats have no use for it and are not refused over it.
    WriteOptions zstd;
    zstd.compression = TiffCompression::Zstd;
    std::string error;
    EXPECT_TRUE(CheckWriteOptions(FileFormat::Png, zstd, error)) << error;
}

// The luma and chroma sampling factors as a decoder sees them.
std::vector<std::pair<int, int>> JpegSampling(const std::string& path) {
    std::vector<std::pair<int, int>> factors;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return factors;
    }
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);  // a file written by the code under test is well formed
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        factors.emplace_back(cinfo.comp_info[c].h_samp_factor, cinfo.comp_info[c].v_samp_factor);
    }
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return factors;
}

TEST(WriteSubsampling, ChromaResolutionIsWhatWasAskedAtEveryQuality) {
    using Factors = std::vector<std::pair<int, int>>;
    struct {
        int subsampling;  // 0: default
        int quality;
        int channels;
        Factors factors;
    } cases[] = {
        {0, 50, 3, {{1, 1}, {1, 1}, {1, 1}}},
        {0, 95, 3, {{1, 1}, {1, 1}, {1, 1}}},
        {444, 20, 3, {{1, 1}, {1, 1}, {1, 1}}},
        {422, 95, 3, {{2, 1}, {1, 1}, {1, 1}}},
        {420, 95, 3, {{2, 2}, {1, 1}, {1, 1}}},
        {420, 60, 3, {{2, 2}, {1, 1}, {1, 1}}},
        {420, 95, 1, {{1, 1}}},
    };
    test::ScratchDir dir;
    for (const auto& c : cases) {
        Image image = test::MakeImage(35, 19, c.channels, SampleType::UInt8, 42);
        WriteOptions options;
        options.jpegQuality = c.quality;
        if (c.subsampling != 0) {
            options.jpegSubsampling = c.subsampling;
        }
        std::string error;
        ASSERT_TRUE(WriteImage(dir / "s.jpg", FileFormat::Jpeg, image, options, error)) << error;
        EXPECT_EQ(JpegSampling(dir / "s.jpg"), c.factors)
            << c.subsampling << " at quality " << c.quality;
        Image back;
        ASSERT_TRUE(ReadImage(dir / "s.jpg", back, error)) << error;
        EXPECT_EQ(back.width, 35);
        EXPECT_EQ(back.height, 19);
    }
    WriteOptions bad;
    bad.jpegSubsampling = 411;
    std::string error;
    EXPECT_FALSE(CheckWriteOptions(FileFormat::Jpeg, bad, error));
    EXPECT_NE(error.find("444, 422 or 420"), std::string::npos) << error;
    EXPECT_TRUE(CheckWriteOptions(FileFormat::Tiff, bad, error));
}

float FloatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

TEST(HalfFloatTiff, IsReadExactlyAndWrittenAsFloat) {
    const float inf = std::numeric_limits<float>::infinity();
    // Half bits and their values: 1, 0.5, the largest finite, the smallest and largest
    // subnormals, negative zero, -2, a third rounded, both infinities, the smallest normal,
    // then NaN (checked apart).
    const std::vector<uint16_t> halves = {0x3c00, 0x3800, 0x7bff, 0x0001, 0x03ff, 0x8000,
                                          0xc000, 0x3555, 0x7c00, 0xfc00, 0x0400, 0x7e00};
    const std::vector<float> values = {1.0f,
                                       0.5f,
                                       65504.0f,
                                       std::ldexp(1.0f, -24),
                                       std::ldexp(1023.0f, -24),
                                       -0.0f,
                                       -2.0f,
                                       0.333251953125f,
                                       inf,
                                       -inf,
                                       std::ldexp(1.0f, -14),
                                       FloatFromBits(0x7fc00000u)};
    test::ScratchDir dir;
    struct {
        const char* mode;  // byte order
        uint16_t compression;
        uint16_t predictor;
    } files[] = {{"wl", COMPRESSION_NONE, PREDICTOR_NONE},
                 {"wb", COMPRESSION_NONE, PREDICTOR_NONE},
                 {"wl", COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT}};
    for (const auto& file : files) {
        const std::string label = std::string(file.mode) + " " + std::to_string(file.compression);
        const std::string path = dir / "half.tif";
        // 4 x 3 grey: every value once.
        TIFF* tif = TIFFOpen(path.c_str(), file.mode);
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 3);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 3);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, file.compression);
        if (file.predictor != PREDICTOR_NONE) {
            TIFFSetField(tif, TIFFTAG_PREDICTOR, file.predictor);
        }
        std::vector<uint16_t> data = halves;
        ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, data.data(), 24), 0);
        TIFFClose(tif);

        Image image;
        std::string error;
        ASSERT_TRUE(ReadImage(path, image, error)) << label << ": " << error;
        EXPECT_EQ(image.type, SampleType::Float32);
        ASSERT_EQ(image.samples.size(), values.size());
        for (size_t i = 0; i + 1 < values.size(); ++i) {
            uint32_t got, want;
            std::memcpy(&got, &image.samples[i], 4);
            std::memcpy(&want, &values[i], 4);
            EXPECT_EQ(got, want) << label << " half 0x" << std::hex << halves[i];
        }
        EXPECT_TRUE(std::isnan(image.samples.back())) << label;

        ASSERT_TRUE(WriteImage(dir / "out.tif", FileFormat::Tiff, image, {}, error)) << error;
        const TiffFields f = ReadTiffFields(dir / "out.tif");
        EXPECT_EQ(f.bits, 32);
        EXPECT_EQ(f.format, SAMPLEFORMAT_IEEEFP);
        Image back;
        ASSERT_TRUE(ReadImage(dir / "out.tif", back, error)) << error;
        EXPECT_TRUE(test::SamplesEqual(image, back)) << label;
    }
}

TEST(OutOfRange, CountsColourSamplesOutsideZeroToOneAndNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct {
        int channels;
        std::vector<float> samples;  // two pixels
        uint64_t count;
    } cases[] = {
        {3, {0.0f, 1.0f, 0.5f, 1.0f, 0.0f, 0.25f}, 0},
        {3, {1.5f, -0.01f, 0.5f, nan, inf, 1.0000001f}, 5},
        {4, {0.2f, 0.3f, 0.4f, 2.0f, -1.0f, 0.5f, 0.5f, -3.0f}, 1},  // alpha not counted
        {2, {4.0f, 7.0f, 0.5f, nan}, 1},
        {1, {-0.0f, -1e-30f}, 1},
    };
    for (const auto& c : cases) {
        Image image = test::MakeImage(2, 1, c.channels, SampleType::Float32, 43);
        image.samples = c.samples;
        EXPECT_EQ(CountOutOfRangeSamples(image), c.count) << c.channels;
    }
    // What a float file holds reaches the count unclipped; integer images cannot exceed 0..1.
    test::ScratchDir dir;
    Image hdr = test::MakeImage(3, 1, 3, SampleType::Float32, 44);
    hdr.samples = {0.5f, 3.0f, 0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 12.0f};
    std::string error;
    ASSERT_TRUE(WriteImage(dir / "hdr.tif", FileFormat::Tiff, hdr, {}, error)) << error;
    Image back;
    ASSERT_TRUE(ReadImage(dir / "hdr.tif", back, error)) << error;
    EXPECT_EQ(CountOutOfRangeSamples(back), 3u);
    ASSERT_TRUE(WriteImage(dir / "hdr.png", FileFormat::Png, hdr, {}, error)) << error;
    ASSERT_TRUE(ReadImage(dir / "hdr.png", back, error)) << error;
    EXPECT_EQ(CountOutOfRangeSamples(back), 0u);
}

TEST(MultiPageTiff, IsRefusedButReducedCopiesAreNotPages) {
    struct {
        std::vector<uint32_t> kinds;
        int pages;  // 1: read
    } cases[] = {
        {{0, 0}, 2},
        {{FILETYPE_PAGE, FILETYPE_PAGE, FILETYPE_PAGE}, 3},
        {{0, FILETYPE_REDUCEDIMAGE}, 1},
        {{0, FILETYPE_REDUCEDIMAGE, FILETYPE_MASK}, 1},
        {{0, FILETYPE_REDUCEDIMAGE, 0}, 2},
        {{FILETYPE_REDUCEDIMAGE, 0}, 1},  // a preview first: the page is still what is read
    };
    test::ScratchDir dir;
    for (const auto& c : cases) {
        test::WritePages(dir / "pages.tif", c.kinds);
        Image image;
        std::string error;
        const bool read = ReadImage(dir / "pages.tif", image, error);
        EXPECT_EQ(read, c.pages == 1) << c.kinds.size() << " directories: " << error;
        if (!read) {
            EXPECT_NE(error.find("has " + std::to_string(c.pages) + " pages"), std::string::npos)
                << error;
            EXPECT_NE(error.find("single-page"), std::string::npos) << error;
            continue;
        }
        // The full-size picture, whichever directory holds it.
        const size_t page =
            static_cast<size_t>(std::find(c.kinds.begin(), c.kinds.end(), 0u) - c.kinds.begin());
        EXPECT_EQ(image.width, 8);
        EXPECT_EQ(image.samples[0], static_cast<float>(50 * (page + 1)) / 255.0f);
        ASSERT_TRUE(WriteImage(dir / "out.tif", FileFormat::Tiff, image, {}, error)) << error;
        EXPECT_EQ(ReadTiffFields(dir / "out.tif").directories, 1);
    }
}

// A grey 8-bit TIFF with its directory before the picture data, as many programs write it,
// so that a cut falls in the strips and leaves the directory whole.
std::vector<uint8_t> DirectoryFirstTiff(uint32_t width, uint32_t height, uint32_t rowsPerStrip) {
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto put16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    const auto put32 = [&](uint32_t v) {
        put16(v & 0xffff);
        put16(v >> 16);
    };
    const uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    const uint32_t entries = 8;
    const uint32_t arrays = 8 + 2 + entries * 12 + 4;  // offsets, then byte counts
    const uint32_t data = arrays + strips * 8;
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        put16(tag);
        put16(type);
        put32(count);
        put32(value);
    };
    put16(entries);
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 1, 8);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 1);
    entry(273, 4, strips, strips == 1 ? data : arrays);
    entry(278, 4, 1, rowsPerStrip);
    entry(279, 4, strips, strips == 1 ? width * rowsPerStrip : arrays + strips * 4);
    put32(0);
    if (strips > 1) {
        for (uint32_t s = 0; s < strips; ++s) {
            put32(data + s * width * rowsPerStrip);
        }
        for (uint32_t s = 0; s < strips; ++s) {
            put32(width * std::min(rowsPerStrip, height - s * rowsPerStrip));
        }
    }
    for (uint32_t i = 0; i < width * height; ++i) {
        out.push_back(static_cast<uint8_t>(i * 7));
    }
    return out;
}

TEST(DamagedFiles, CutOrCorruptFilesSayTheFileIsDamaged) {
    const std::string damaged = "the file is damaged or incomplete (it may have been cut short)";
    test::ScratchDir dir;
    std::string error;
    test::WriteBytes(dir / "first.tif", DirectoryFirstTiff(40, 30, 4));
    Image whole;
    ASSERT_TRUE(ReadImage(dir / "first.tif", whole, error)) << error;  // the builder is sound
    EXPECT_EQ(whole.samples[41], static_cast<float>(41 * 7 % 256) / 255.0f);

    Image sixteen = test::MakeImage(64, 64, 3, SampleType::UInt16, 45);
    sixteen.tiff.compression = COMPRESSION_LZW;
    ASSERT_TRUE(WriteImage(dir / "last.tif", FileFormat::Tiff, sixteen, {}, error)) << error;
    ASSERT_TRUE(WriteImage(dir / "p.png", FileFormat::Png, sixteen, {}, error)) << error;
    Image eight = test::MakeImage(64, 64, 3, SampleType::UInt8, 46);
    ASSERT_TRUE(WriteImage(dir / "j.jpg", FileFormat::Jpeg, eight, {}, error)) << error;
    ASSERT_TRUE(WriteImage(dir / "g.jpg", FileFormat::Jpeg,
                           test::MakeImage(64, 64, 1, SampleType::UInt8, 47), {}, error))
        << error;

    struct {
        const char* name;
        double keep;  // fraction of the file kept
    } cuts[] = {
        {"first.tif", 0.5}, {"first.tif", 0.95},  // strips cut, directory whole
        {"last.tif", 0.5},                        // directory lost
        {"last.tif", 0.01},                       // header only
        {"p.png", 0.5},     {"p.png", 0.98},     {"p.png", 0.02}, {"j.jpg", 0.5},
        {"j.jpg", 0.9},     {"j.jpg", 0.05},     {"g.jpg", 0.6},
    };
    for (const auto& cut : cuts) {
        const std::vector<uint8_t> bytes = test::ReadBytes(dir / cut.name);
        const auto keep = std::max<size_t>(12, static_cast<size_t>(cut.keep * bytes.size()));
        test::WriteBytes(dir / "cut", std::vector<uint8_t>(
                                          bytes.begin(), bytes.begin() + static_cast<long>(keep)));
        Image image;
        error.clear();
        EXPECT_FALSE(ReadImage(dir / "cut", image, error)) << cut.name << " cut to " << keep;
        EXPECT_EQ(error, damaged) << cut.name << " cut to " << keep;
    }
    // A JPEG whose entropy-coded data is overwritten with a marker-free pattern.
    std::vector<uint8_t> jpeg = test::ReadBytes(dir / "j.jpg");
    for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 64; ++i) {
        jpeg[i] = 0xff;
    }
    test::WriteBytes(dir / "bad.jpg", jpeg);
    Image image;
    EXPECT_FALSE(ReadImage(dir / "bad.jpg", image, error));
    EXPECT_EQ(error, damaged);
}

}  // namespace
}  // namespace velnr

namespace velnr {
namespace {

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void PutLittle32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}
void PutBig(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
    }
}

// A one-strip 8-bit grey TIFF whose header then claims width x height in that strip of
// stripBytes (the file itself keeps 40 x 30 pixels).
std::vector<uint8_t> TiffClaiming(uint32_t width, uint32_t height, uint32_t stripBytes) {
    std::vector<uint8_t> b = DirectoryFirstTiff(40, 30, 30);
    // Entries of 12 bytes from offset 10, the value at +8: width, height, ..., rows per strip
    // (7th), strip byte count (8th).
    PutLittle32(b, 10 + 0 * 12 + 8, width);
    PutLittle32(b, 10 + 1 * 12 + 8, height);
    PutLittle32(b, 10 + 6 * 12 + 8, height);
    PutLittle32(b, 10 + 7 * 12 + 8, stripBytes);
    return b;
}

std::vector<uint8_t> PngClaiming(uint32_t width, uint32_t height) {
    test::ScratchDir dir;
    std::string error;
    EXPECT_TRUE(WriteImage(dir / "s.png", FileFormat::Png,
                           test::MakeImage(8, 8, 1, SampleType::UInt8, 3), {}, error));
    std::vector<uint8_t> b = test::ReadBytes(dir / "s.png");
    PutBig(b, 16, width, 4);  // IHDR data starts at 16: width, height
    PutBig(b, 20, height, 4);
    PutBig(b, 29, Crc32(&b[12], 17), 4);  // over "IHDR" and its 13 bytes
    return b;
}

std::vector<uint8_t> JpegClaiming(uint16_t width, uint16_t height, int channels) {
    test::ScratchDir dir;
    std::string error;
    EXPECT_TRUE(WriteImage(dir / "s.jpg", FileFormat::Jpeg,
                           test::MakeImage(16, 16, channels, SampleType::UInt8, 4), {}, error));
    std::vector<uint8_t> b = test::ReadBytes(dir / "s.jpg");
    for (size_t i = 2; i + 9 < b.size(); ++i) {
        if (b[i] == 0xff && (b[i + 1] == 0xc0 || b[i + 1] == 0xc1 || b[i + 1] == 0xc2)) {
            PutBig(b, i + 5, height, 2);  // after the marker: length, precision, height, width
            PutBig(b, i + 7, width, 2);
            return b;
        }
    }
    ADD_FAILURE() << "no frame header in the JPEG file";
    return b;
}

// Headers that claim far more than the file holds are refused before the memory they claim is
// taken: nothing of 64 MB or more is ever asked for.
TEST(HugeHeaders, AreRefusedBeforeAllocating) {
    const std::string tooLarge = "image too large";
    const std::string damaged = "the file is damaged or incomplete (it may have been cut short)";
    struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const std::string& reason;
    } cases[] = {
        {"TIFF 60000 x 60000", TiffClaiming(60000, 60000, 60000u * 60000u), tooLarge},
        {"TIFF strip beyond the end of the file", TiffClaiming(20000, 20000, 20000u * 20000u),
         damaged},
        {"TIFF strip far smaller than its raw pixels", TiffClaiming(20000, 20000, 1200), damaged},
        {"PNG 60000 x 60000", PngClaiming(60000, 60000), tooLarge},
        {"PNG 30000 x 30000 in a hundred bytes", PngClaiming(30000, 30000), damaged},
        {"JPEG 60000 x 60000", JpegClaiming(60000, 60000, 3), tooLarge},
        {"JPEG 30000 x 30000 grey", JpegClaiming(30000, 30000, 1), damaged},
    };
    test::ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(dir / "huge", c.bytes);
        Image image;
        std::string error;
        bool read = true;
        size_t refused = 0;
        {
            vel::test::FailLargeAllocations fail(size_t{64} << 20);
            read = ReadImage(dir / "huge", image, error);
            refused = fail.Refused();
        }
        EXPECT_FALSE(read);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(refused, 0u);
        EXPECT_TRUE(image.samples.empty());
    }
}

}  // namespace
}  // namespace velnr
