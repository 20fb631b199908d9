// Image files: exact round trips of every format, depth and layout; write options; profiles,
// chunks, alpha and grey; damaged, huge and unsupported files.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "TestSupport.h"
#include "host/ImageIO.h"
#include "tests/support/FailingAllocator.h"

namespace velnr {
namespace {

using enum FileFormat;
using enum SampleType;
using test::MakeIccProfile;
using test::MakeImage;
using test::Read;
using test::ScratchDir;
using test::Write;

const std::string kDamaged = "the file is damaged or incomplete (it may have been cut short)";

struct Case {
    FileFormat format;
    SampleType type;
    int channels;
    bool tiled;
    uint16_t compression;
    uint16_t predictor;
};

class RoundTrip : public testing::TestWithParam<Case> {};

TEST_P(RoundTrip, GivesBackEverySampleExactly) {
    const Case& c = GetParam();
    ScratchDir dir;
    const std::string path = dir / (c.format == Png ? "image.png" : "image.tif");
    // Odd sizes: tiles and strips that do not divide the image, and a single pixel.
    for (const auto& [w, h] : {std::pair{37, 21}, std::pair{1, 1}, std::pair{16, 33}}) {
        Image image = MakeImage(w, h, c.channels, c.type, static_cast<uint32_t>(w * 7 + h));
        image.tiff = {c.tiled, 16, 16, 4, c.compression, c.predictor};
        image.icc = MakeIccProfile(c.channels >= 3 ? "RGB " : "GRAY");
        Write(path, image);
        const Image back = Read(path);
        EXPECT_EQ(back.format, c.format);
        EXPECT_EQ(back.type, c.type);
        EXPECT_TRUE(test::SamplesEqual(image, back)) << w << "x" << h;
        EXPECT_EQ(back.icc, image.icc);
        if (c.format == Tiff) {
            EXPECT_EQ(back.tiff.tiled, c.tiled);
            EXPECT_EQ(back.tiff.compression, c.compression);
            EXPECT_TRUE(c.predictor == PREDICTOR_NONE || back.tiff.predictor == c.predictor);
        }
    }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases = {
        {Tiff, Float32, 3, false, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT},
        {Tiff, UInt16, 3, true, COMPRESSION_LZW, PREDICTOR_HORIZONTAL},
        {Tiff, UInt8, 4, false, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL}};
    for (int channels = 1; channels <= 4; ++channels) {
        for (SampleType type : {UInt8, UInt16, Float32}) {
            for (const auto& [tiled, z] : std::initializer_list<std::pair<bool, uint16_t>>{
                     {false, COMPRESSION_NONE},
                     {true, COMPRESSION_NONE},
                     {false, COMPRESSION_LZW},
                     {true, COMPRESSION_ADOBE_DEFLATE}}) {
                cases.push_back({Tiff, type, channels, tiled, z, PREDICTOR_NONE});
            }
            if (type != Float32) {
                cases.push_back({Png, type, channels, false, 0, PREDICTOR_NONE});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, testing::ValuesIn(AllCases()));

TEST(ImageIO, IntegerSamplesAreClampedAndRoundedHalfUp) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        uint32_t max, expected;
    } cases[] = {{nan, 255, 0},           {-inf, 255, 0},  {inf, 65535, 65535},
                 {3.0e38f, 65535, 65535}, {-0.0f, 255, 0}, {0.5f / 255.0f, 255, 1},
                 {0.49f / 255.0f, 255, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(QuantizeSample(c.value, c.max), c.expected) << c.value;
    }
    for (uint32_t v = 0; v <= 65535; ++v) {
        ASSERT_EQ(QuantizeSample(static_cast<float>(v) / 65535.0f, 65535), v);
    }
    // The file holds the same: 0.5 * 65535 = 32767.5 rounds up.
    ScratchDir dir;
    Image image = MakeImage(4, 1, 1, UInt16, 1);
    image.samples = {0.5f, 1.5f, -0.25f, nan};
    Write(dir / "a.png", image);
    EXPECT_EQ(Read(dir / "a.png").samples,
              (std::vector<float>{32768.0f / 65535.0f, 1.0f, 0.0f, 0.0f}));
}

struct TiffFields {
    uint16_t bits = 0, format = 0, compression = 0;
    uint16_t predictor = PREDICTOR_NONE;  // also where the codec has none
    tdir_t directories = 0;
};

TiffFields ReadTiffFields(const std::string& path) {
    TiffFields f;
    const test::TiffFile tif(TIFFOpen(path.c_str(), "r"));
    if (tif == nullptr) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return f;
    }
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &f.format);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetField(tif.get(), TIFFTAG_PREDICTOR, &f.predictor);
    f.directories = TIFFNumberOfDirectories(tif.get());
    return f;
}

TEST(WriteOptions, EachFormatHoldsWhatItCanAndRefusesTheRest) {
    const struct {
        FileFormat format;
        SampleType input;
        int channels;
        WriteOptions options;  // quality, depth, compression, subsampling
        SampleType written;    // what the file holds
        const char* refusal;   // nullptr: written
    } cases[] = {
        {Tiff, UInt16, 3, {95, 8}, UInt8, nullptr},
        {Tiff, UInt8, 3, {95, 16}, UInt16, nullptr},
        {Tiff, UInt8, 3, {95, 32}, Float32, nullptr},
        {Tiff, Float32, 3, {95, 16}, UInt16, nullptr},
        {Tiff, Float32, 3, {95, 0}, Float32, nullptr},
        {Tiff, UInt16, 3, {95, 0}, UInt16, nullptr},
        {Tiff, UInt8, 3, {95, 0, TiffCompression::AsInput, 411}, UInt8, nullptr},
        {Png, Float32, 3, {95, 8}, UInt8, nullptr},
        {Png, UInt8, 3, {95, 16}, UInt16, nullptr},
        {Png, Float32, 3, {95, 0}, UInt16, nullptr},
        {Png, UInt8, 3, {95, 0, TiffCompression::Zstd}, UInt8, nullptr},
        {Jpeg, UInt16, 3, {95, 8}, UInt8, nullptr},
        {Png, UInt8, 3, {95, 32}, {}, "PNG cannot hold 32-bit"},
        {Jpeg, UInt8, 3, {95, 16}, {}, "8 bits per sample only"},
        {Jpeg, Float32, 3, {95, 32}, {}, "8 bits per sample only"},
        {Tiff, UInt8, 3, {95, 12}, {}, "8, 16 or 32 bits"},
        {Jpeg, UInt8, 3, {0, 0}, {}, "quality must be 1..100"},
        {Jpeg, UInt8, 3, {95, 0, TiffCompression::AsInput, 411}, {}, "444, 422 or 420"},
        {Jpeg, UInt8, 4, {}, {}, "alpha"},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        const std::string path = dir / (c.format == Tiff  ? "d.tif"
                                        : c.format == Png ? "d.png"
                                                          : "d.jpg");
        SCOPED_TRACE(path + " depth " + std::to_string(c.options.depth));
        std::remove(path.c_str());
        const Image image = MakeImage(13, 7, c.channels, c.input, 40);
        std::string checkError, error;
        const bool written = WriteImage(path, c.format, image, c.options, error);
        EXPECT_EQ(written, c.refusal == nullptr);
        if (!written) {
            EXPECT_NE(error.find(c.refusal ? c.refusal : "?"), std::string::npos) << error;
            EXPECT_TRUE(test::ReadBytes(path).empty());  // nothing written
            if (c.channels == 3) {                       // alpha is known only from the image
                EXPECT_FALSE(CheckWriteOptions(c.format, c.options, checkError));
                EXPECT_EQ(error, checkError);
            }
            continue;
        }
        EXPECT_TRUE(CheckWriteOptions(c.format, c.options, checkError)) << checkError;
        const Image back = Read(path);
        EXPECT_EQ(back.type, c.written);
        if (c.format == Tiff) {
            const TiffFields f = ReadTiffFields(path);
            EXPECT_EQ(f.bits, c.written == UInt8 ? 8 : c.written == UInt16 ? 16 : 32);
            EXPECT_EQ(f.format, c.written == Float32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
        }
        if (c.format != Jpeg) {
            Image expected = image;  // the input quantised to what the file holds
            expected.type = c.written;
            EXPECT_TRUE(test::SamplesEqual(expected, back));
        }
    }
}

TEST(WriteOptions, EachCompressionChoiceIsWhatTheFileSays) {
    const struct {
        TiffCompression choice;
        FileFormat from;
        uint16_t inputCompression;
        SampleType type;
        uint16_t compression, predictor;
    } cases[] = {
        {TiffCompression::None, Tiff, COMPRESSION_LZW, UInt16, COMPRESSION_NONE, PREDICTOR_NONE},
        {TiffCompression::Lzw, Tiff, COMPRESSION_NONE, UInt8, COMPRESSION_LZW,
         PREDICTOR_HORIZONTAL},
        {TiffCompression::Zip, Png, 0, UInt16, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL},
        {TiffCompression::Zip, Tiff, COMPRESSION_NONE, Float32, COMPRESSION_ADOBE_DEFLATE,
         PREDICTOR_FLOATINGPOINT},
        {TiffCompression::Zstd, Tiff, COMPRESSION_LZW, UInt16, COMPRESSION_ZSTD,
         PREDICTOR_HORIZONTAL},
        {TiffCompression::AsInput, Tiff, COMPRESSION_LZW, UInt8, COMPRESSION_LZW, PREDICTOR_NONE},
        {TiffCompression::AsInput, Tiff, COMPRESSION_NONE, Float32, COMPRESSION_NONE,
         PREDICTOR_NONE},
        {TiffCompression::AsInput, Jpeg, 0, UInt8, COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL},
        {TiffCompression::AsInput, Png, 0, Float32, COMPRESSION_ADOBE_DEFLATE,
         PREDICTOR_FLOATINGPOINT},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.choice)) + " -> " +
                     std::to_string(c.compression));
        Image image = MakeImage(21, 9, 4, c.type, 41);
        image.format = c.from;
        image.tiff.compression = c.inputCompression;
        WriteOptions options;
        options.compression = c.choice;
        std::string error;
        if (c.choice == TiffCompression::Zstd && !TIFFIsCODECConfigured(COMPRESSION_ZSTD)) {
            EXPECT_FALSE(CheckWriteOptions(Tiff, options, error));
            EXPECT_NE(error.find("ZSTD"), std::string::npos) << error;
            continue;
        }
        Write(dir / "c.tif", image, options);
        const TiffFields f = ReadTiffFields(dir / "c.tif");
        EXPECT_EQ(f.compression, c.compression);
        EXPECT_EQ(f.predictor, c.predictor);
        EXPECT_TRUE(test::SamplesEqual(image, Read(dir / "c.tif")));
    }
}

// The luma and chroma sampling factors as a decoder sees them.
std::vector<std::pair<int, int>> JpegSampling(const std::string& path) {
    std::vector<std::pair<int, int>> factors;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return factors;
    }
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);  // a file written by the code under test is well formed
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file.get());
    jpeg_read_header(&cinfo, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        factors.emplace_back(cinfo.comp_info[c].h_samp_factor, cinfo.comp_info[c].v_samp_factor);
    }
    jpeg_destroy_decompress(&cinfo);
    return factors;
}

TEST(Jpeg, KeepsPictureProfileAndDensityWithTheChromaSamplingAsked) {
    using Factors = std::vector<std::pair<int, int>>;
    const struct {
        int subsampling;  // 0: default
        int quality;
        int channels;
        Factors factors;
    } cases[] = {
        {0, 95, 3, {{1, 1}, {1, 1}, {1, 1}}},
        {444, 20, 3, {{1, 1}, {1, 1}, {1, 1}}},
        {0, 50, 3, {{1, 1}, {1, 1}, {1, 1}}},
        {422, 95, 3, {{2, 1}, {1, 1}, {1, 1}}},
        {420, 95, 3, {{2, 2}, {1, 1}, {1, 1}}},
        {420, 60, 3, {{2, 2}, {1, 1}, {1, 1}}},
        {420, 95, 1, {{1, 1}}},
        {0, 95, 1, {{1, 1}}},
    };
    ScratchDir dir;
    std::vector<size_t> sizes;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.subsampling) + " at quality " + std::to_string(c.quality));
        Image image = MakeImage(35, 19, c.channels, UInt8, 42);
        for (size_t i = 0; i < image.samples.size(); ++i) {  // smooth content: what JPEG is for
            const size_t pixel = i / static_cast<size_t>(c.channels),
                         k = i % static_cast<size_t>(c.channels);
            image.samples[i] =
                static_cast<float>((pixel % 35 * 3 + pixel / 35 * 2 + k * 40) % 256) / 255.0f;
        }
        image.icc = MakeIccProfile(c.channels == 3 ? "RGB " : "GRAY");
        image.jpeg = {true, 1, 240, 240};
        WriteOptions options;
        options.jpegQuality = c.quality;
        options.jpegSubsampling = c.subsampling != 0 ? c.subsampling : options.jpegSubsampling;
        Write(dir / "s.jpg", image, options);
        sizes.push_back(test::ReadBytes(dir / "s.jpg").size());
        EXPECT_EQ(JpegSampling(dir / "s.jpg"), c.factors);
        const Image back = Read(dir / "s.jpg");
        EXPECT_EQ(back.format, Jpeg);
        ASSERT_EQ(back.samples.size(), image.samples.size());
        EXPECT_EQ(back.channels, c.channels);
        EXPECT_EQ(back.icc, image.icc);
        EXPECT_TRUE(back.jpeg.known && back.jpeg.unit == 1 && back.jpeg.x == 240 &&
                    back.jpeg.y == 240);
        double error = 0.0;
        for (size_t i = 0; i < image.samples.size(); ++i) {
            error += std::fabs(static_cast<double>(image.samples[i] - back.samples[i]));
        }
        EXPECT_LT(error / static_cast<double>(image.samples.size()),
                  (c.quality == 95 ? 2.0 : 8.0) / 255.0);
    }
    EXPECT_LT(sizes[1], sizes[0]);  // quality 20 against 95, both 4:4:4
}

TEST(ImageIO, ReadsSeparatePlanesAndJpegTiffsAndRefusesUnsupportedLayouts) {
    ScratchDir dir;
    {  // 2 x 1 RGB, planes R R, G G, B B
        const auto tif = test::NewTiff(dir / "planar.tif", 2, 1, 3, 8, PHOTOMETRIC_RGB);
        TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
        uint8_t planes[] = {10, 20, 30, 40, 50, 60};
        for (uint32_t s = 0; s < 3; ++s) {
            TIFFWriteEncodedStrip(tif.get(), s, planes + 2 * s, 2);
        }
    }
    EXPECT_EQ(Read(dir / "planar.tif").samples,
              (std::vector<float>{10 / 255.0f, 30 / 255.0f, 50 / 255.0f, 20 / 255.0f, 40 / 255.0f,
                                  60 / 255.0f}));
    // JPEG inside TIFF: read as RGB, written back losslessly (Deflate), not again as JPEG.
    std::vector<uint8_t> rgb(32 * 16 * 3, 128);
    for (uint32_t i = 0; i < 32 * 16; ++i) {
        rgb[3 * i] = static_cast<uint8_t>(64 + (i % 32) * 4);
    }
    {
        const auto tif = test::NewTiff(dir / "j.tif", 32, 16, 3, 8, PHOTOMETRIC_YCBCR);
        TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(tif.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        ASSERT_GE(
            TIFFWriteEncodedStrip(tif.get(), 0, rgb.data(), static_cast<tmsize_t>(rgb.size())), 0);
    }
    const Image image = Read(dir / "j.tif");
    ASSERT_EQ(image.samples.size(), rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i) {
        ASSERT_NEAR(image.samples[i] * 255.0f, static_cast<float>(rgb[i]), 6.0f) << i;
    }
    Write(dir / "j2.tif", image);
    const Image back = Read(dir / "j2.tif");
    EXPECT_EQ(back.tiff.compression, COMPRESSION_ADOBE_DEFLATE);
    EXPECT_TRUE(test::SamplesEqual(image, back));

    uint8_t ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    TIFFWriteEncodedStrip(test::NewTiff(dir / "cmyk.tif", 2, 1, 4, 8, PHOTOMETRIC_SEPARATED).get(),
                          0, ones, 8);
    TIFFWriteEncodedStrip(
        test::NewTiff(dir / "bilevel.tif", 8, 1, 1, 1, PHOTOMETRIC_MINISBLACK).get(), 0, ones, 1);
    for (const auto& [name, reason] :
         {std::pair{"cmyk.tif", "colour layout"}, {"bilevel.tif", "sample type"}}) {
        Image refused;
        std::string error;
        EXPECT_FALSE(ReadImage(dir / name, refused, error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
}

TEST(ImageIO, PngColourAndResolutionChunksComeBack) {
    ScratchDir dir;
    Image image = MakeImage(6, 5, 3, UInt8, 30);
    const double chrm[8] = {0.3127, 0.329, 0.64, 0.33, 0.3, 0.6, 0.15, 0.06};
    image.png = {true, 1, true, 0.45455, true, {}, true, 11811, 11811, 1, {}};  // 300 dpi
    std::copy(chrm, chrm + 8, image.png.chrm);
    std::string error;  // the content decides the format, not the name
    ASSERT_TRUE(WriteImage(dir / "a.tif", Png, image, {}, error)) << error;
    Image back = Read(dir / "a.tif");
    EXPECT_EQ(back.format, Png);
    EXPECT_TRUE(back.png.srgb && back.png.gamma && back.png.chromaticities && back.png.physical);
    EXPECT_EQ(back.png.srgbIntent, 1);
    EXPECT_NEAR(back.png.gammaValue, 0.45455, 1e-5);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(back.png.chrm[i], chrm[i], 1e-5);
    }
    EXPECT_EQ(back.png.xPixelsPerUnit, 11811u);
    EXPECT_EQ(back.png.yPixelsPerUnit, 11811u);
    EXPECT_EQ(back.png.unit, 1);
    // With a profile the sRGB chunk gives way: a file holds one or the other.
    image.icc = MakeIccProfile("RGB ");
    Write(dir / "b.png", image);
    back = Read(dir / "b.png");
    EXPECT_EQ(back.icc, image.icc);
    EXPECT_FALSE(back.png.srgb);
}

float FloatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

TEST(HalfFloatTiff, IsReadExactlyAndWrittenAsFloat) {
    const float inf = std::numeric_limits<float>::infinity();
    // 1, 0.5, the largest finite, the smallest and largest subnormals, negative zero, -2, a
    // third rounded, both infinities, the smallest normal, then NaN (checked apart).
    const std::vector<std::pair<uint16_t, float>> halves = {{0x3c00, 1.0f},
                                                            {0x3800, 0.5f},
                                                            {0x7bff, 65504.0f},
                                                            {0x0001, std::ldexp(1.0f, -24)},
                                                            {0x03ff, std::ldexp(1023.0f, -24)},
                                                            {0x8000, -0.0f},
                                                            {0xc000, -2.0f},
                                                            {0x3555, 0.333251953125f},
                                                            {0x7c00, inf},
                                                            {0xfc00, -inf},
                                                            {0x0400, std::ldexp(1.0f, -14)},
                                                            {0x7e00, FloatFromBits(0x7fc00000u)}};
    ScratchDir dir;
    const struct {
        const char* mode;  // byte order
        uint16_t compression, predictor;
    } files[] = {{"wl", COMPRESSION_NONE, PREDICTOR_NONE},
                 {"wb", COMPRESSION_NONE, PREDICTOR_NONE},
                 {"wl", COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT}};
    for (const auto& file : files) {
        SCOPED_TRACE(std::string(file.mode) + " " + std::to_string(file.compression));
        {  // 4 x 3 grey: every value once
            const auto tif =
                test::NewTiff(dir / "half.tif", 4, 3, 1, 16, PHOTOMETRIC_MINISBLACK, file.mode);
            TIFFSetField(tif.get(), TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
            TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, file.compression);
            if (file.predictor != PREDICTOR_NONE) {
                TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, file.predictor);
            }
            std::vector<uint16_t> data;
            for (const auto& h : halves) {
                data.push_back(h.first);
            }
            ASSERT_GE(TIFFWriteEncodedStrip(tif.get(), 0, data.data(), 24), 0);
        }
        const Image image = Read(dir / "half.tif");
        EXPECT_EQ(image.type, Float32);
        ASSERT_EQ(image.samples.size(), halves.size());
        for (size_t i = 0; i + 1 < halves.size(); ++i) {
            uint32_t got, want;
            std::memcpy(&got, &image.samples[i], 4);
            std::memcpy(&want, &halves[i].second, 4);
            EXPECT_EQ(got, want) << "half 0x" << std::hex << halves[i].first;
        }
        EXPECT_TRUE(std::isnan(image.samples.back()));
        Write(dir / "out.tif", image);
        const TiffFields f = ReadTiffFields(dir / "out.tif");
        EXPECT_EQ(f.bits, 32);
        EXPECT_EQ(f.format, SAMPLEFORMAT_IEEEFP);
        EXPECT_TRUE(test::SamplesEqual(image, Read(dir / "out.tif")));
    }
}

TEST(OutOfRange, CountsColourSamplesOutsideZeroToOneAndNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
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
        Image image = MakeImage(2, 1, c.channels, Float32, 43);
        image.samples = c.samples;
        EXPECT_EQ(CountOutOfRangeSamples(image), c.count) << c.channels;
    }
    // What a float file holds reaches the count unclipped; integer images cannot exceed 0..1.
    ScratchDir dir;
    Image hdr = MakeImage(3, 1, 3, Float32, 44);
    hdr.samples = {0.5f, 3.0f, 0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 12.0f};
    Write(dir / "hdr.tif", hdr);
    Write(dir / "hdr.png", hdr);
    EXPECT_EQ(CountOutOfRangeSamples(Read(dir / "hdr.tif")), 3u);
    EXPECT_EQ(CountOutOfRangeSamples(Read(dir / "hdr.png")), 0u);
}

TEST(MultiPageTiff, IsRefusedButReducedCopiesAreNotPages) {
    const struct {
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
    ScratchDir dir;
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
        const auto page = std::find(c.kinds.begin(), c.kinds.end(), 0u) - c.kinds.begin();
        EXPECT_EQ(image.width, 8);
        EXPECT_EQ(image.samples[0], static_cast<float>(50 * (page + 1)) / 255.0f);
        Write(dir / "out.tif", image);
        EXPECT_EQ(ReadTiffFields(dir / "out.tif").directories, 1);
    }
}

void Put(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes, bool big) {
    for (int i = 0; i < bytes; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * (big ? bytes - 1 - i : i)));
    }
}

// A grey 8-bit TIFF with its directory before the picture data, as many programs write it,
// so that a cut falls in the strips and leaves the directory whole.
std::vector<uint8_t> DirectoryFirstTiff(uint32_t width, uint32_t height, uint32_t rowsPerStrip) {
    const uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    const uint32_t arrays = 8 + 2 + 8 * 12 + 4;  // offsets, then byte counts
    const uint32_t data = arrays + strips * 8;
    const uint32_t fields[8][4] = {
        // tag, type, count, value
        {256, 4, 1, width},
        {257, 4, 1, height},
        {258, 3, 1, 8},
        {259, 3, 1, 1},
        {262, 3, 1, 1},
        {273, 4, strips, strips == 1 ? data : arrays},
        {278, 4, 1, rowsPerStrip},
        {279, 4, strips, strips == 1 ? width * rowsPerStrip : arrays + strips * 4}};
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0};
    const auto append = [&](uint32_t v, int bytes) {
        out.resize(out.size() + static_cast<size_t>(bytes));
        Put(out, out.size() - static_cast<size_t>(bytes), v, bytes, false);
    };
    for (const auto& f : fields) {
        append(f[0], 2);
        append(f[1], 2);
        append(f[2], 4);
        append(f[3], 4);
    }
    append(0, 4);
    for (uint32_t s = 0; s < strips && strips > 1; ++s) {
        append(data + s * width * rowsPerStrip, 4);
    }
    for (uint32_t s = 0; s < strips && strips > 1; ++s) {
        append(width * std::min(rowsPerStrip, height - s * rowsPerStrip), 4);
    }
    for (uint32_t i = 0; i < width * height; ++i) {
        out.push_back(static_cast<uint8_t>(i * 7));
    }
    return out;
}

TEST(DamagedFiles, CutCorruptEmptyAndForeignFilesGiveAReasonAndNoImage) {
    ScratchDir dir;
    test::WriteBytes(dir / "first.tif", DirectoryFirstTiff(40, 30, 4));
    ASSERT_EQ(Read(dir / "first.tif").samples.at(41), static_cast<float>(41 * 7 % 256) / 255.0f);
    Image sixteen = MakeImage(64, 64, 3, UInt16, 45);
    sixteen.tiff.compression = COMPRESSION_LZW;
    Write(dir / "last.tif", sixteen);
    Write(dir / "p.png", sixteen);
    Write(dir / "j.jpg", MakeImage(64, 64, 3, UInt8, 46));
    Write(dir / "g.jpg", MakeImage(64, 64, 1, UInt8, 47));
    // Damage inside the compressed data: the PNG's checksums catch it, and a JPEG's data
    // overwritten with a marker-free pattern.
    for (const auto& [name, flip, count] : {std::tuple{"p.png", 0x5a, 16}, {"j.jpg", 0xff, 64}}) {
        std::vector<uint8_t> bytes = test::ReadBytes(dir / name);
        for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + count; ++i) {
            bytes[i] = flip == 0xff ? 0xff : bytes[i] ^ flip;
        }
        test::WriteBytes(dir / ("bad-" + std::string(name)), bytes);
    }
    test::WriteBytes(dir / "empty.tif", {});
    test::WriteText(dir / "notes.png", "just some text, not a picture\n");
    const struct {
        std::string name;
        double keep;  // fraction of the file kept
        std::string reason;
    } cases[] = {
        {"first.tif", 0.5, kDamaged},
        {"first.tif", 0.95, kDamaged},  // strips cut, directory whole
        {"last.tif", 0.5, kDamaged},    // directory lost
        {"last.tif", 0.01, kDamaged},   // header only
        {"p.png", 0.5, kDamaged},
        {"p.png", 0.98, kDamaged},
        {"p.png", 0.02, kDamaged},
        {"j.jpg", 0.5, kDamaged},
        {"j.jpg", 0.9, kDamaged},
        {"j.jpg", 0.05, kDamaged},
        {"g.jpg", 0.6, kDamaged},
        {"bad-j.jpg", 1, kDamaged},
        {"bad-p.png", 1, ""},
        {"empty.tif", 1, "empty file"},
        {"notes.png", 1, "not a TIFF, PNG or JPEG"},
        {"missing.tif", 1, ""},
        {".", 1, "folder"},
    };
    for (const auto& c : cases) {
        std::string path = dir / c.name;
        if (c.keep < 1) {
            const std::vector<uint8_t> bytes = test::ReadBytes(path);
            const auto keep = std::max<size_t>(12, static_cast<size_t>(c.keep * bytes.size()));
            path = dir / "cut";
            test::WriteBytes(
                path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(keep)));
        }
        Image image;
        std::string error;
        EXPECT_FALSE(ReadImage(path, image, error)) << c.name << " " << c.keep;
        EXPECT_NE(error.find(c.reason), std::string::npos)
            << c.name << " " << c.keep << ": " << error;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(image.samples.empty());
    }
    for (const char* name : {"last.tif", "p.png", "j.jpg"}) {  // too short to tell much
        for (size_t keep : {3, 12}) {
            const std::vector<uint8_t> bytes = test::ReadBytes(dir / name);
            test::WriteBytes(
                dir / "cut",
                std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(keep)));
            Image image;
            std::string error;
            EXPECT_FALSE(ReadImage(dir / "cut", image, error) || error.empty()) << name << keep;
        }
    }
}

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

// Files whose headers claim width x height: a one-strip TIFF of stripBytes (the file keeps
// 40 x 30 pixels), a PNG and a JPEG of 8 x 8 pixels.
std::vector<uint8_t> TiffClaiming(uint32_t width, uint32_t height, uint32_t stripBytes) {
    std::vector<uint8_t> b = DirectoryFirstTiff(40, 30, 30);
    // Entries of 12 bytes from offset 10, the value at +8.
    for (const auto& [entry, value] :
         {std::pair{0, width}, {1, height}, {6, height}, {7, stripBytes}}) {
        Put(b, 10 + entry * 12 + 8, value, 4, false);
    }
    return b;
}

std::vector<uint8_t> Claiming(const char* name, uint32_t width, uint32_t height, int channels) {
    ScratchDir dir;
    Write(dir / name, MakeImage(8, 8, channels, UInt8, 3));
    std::vector<uint8_t> b = test::ReadBytes(dir / name);
    if (b[0] == 0x89) {  // PNG: IHDR data from 16, then its CRC over "IHDR" and 13 bytes
        Put(b, 16, width, 4, true);
        Put(b, 20, height, 4, true);
        Put(b, 29, Crc32(&b[12], 17), 4, true);
        return b;
    }
    for (size_t i = 2; i + 9 < b.size(); ++i) {  // the frame header: length, precision, h, w
        if (b[i] == 0xff && (b[i + 1] == 0xc0 || b[i + 1] == 0xc1 || b[i + 1] == 0xc2)) {
            Put(b, i + 5, height, 2, true);
            Put(b, i + 7, width, 2, true);
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
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const std::string& reason;
    } cases[] = {
        {"TIFF 60000 x 60000", TiffClaiming(60000, 60000, 60000u * 60000u), tooLarge},
        {"TIFF strip beyond the end of the file", TiffClaiming(20000, 20000, 20000u * 20000u),
         kDamaged},
        {"TIFF strip far smaller than its raw pixels", TiffClaiming(20000, 20000, 1200), kDamaged},
        {"PNG 60000 x 60000", Claiming("s.png", 60000, 60000, 1), tooLarge},
        {"PNG 30000 x 30000 in a hundred bytes", Claiming("s.png", 30000, 30000, 1), kDamaged},
        {"JPEG 60000 x 60000", Claiming("s.jpg", 60000, 60000, 3), tooLarge},
        {"JPEG 30000 x 30000 grey", Claiming("s.jpg", 30000, 30000, 1), kDamaged},
    };
    ScratchDir dir;
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
