// Image files: exact round trips of every format, depth and layout; profiles, metadata,
// alpha and grey; damaged and unsupported files.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

#include "TestSupport.h"
#include "host/ImageIO.h"

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
