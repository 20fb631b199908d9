// Image files: exact round trips of every format, depth and layout; write options; profiles,
// alpha and grey; damaged, huge and unsupported files.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "TestSupport.h"
#include "tests/support/FailingAllocator.h"

namespace velnr {
namespace {

using enum FileFormat;
using enum SampleType;
using TC = TiffCompression;
using test::MakeImage;
using test::Read;
using test::ScratchDir;
using test::Write;

constexpr uint16_t kNone = COMPRESSION_NONE, kLzw = COMPRESSION_LZW;
constexpr uint16_t kZip = COMPRESSION_ADOBE_DEFLATE, kHor = PREDICTOR_HORIZONTAL;
constexpr uint16_t kFp = PREDICTOR_FLOATINGPOINT;
const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const std::string kDamaged = "the file is damaged or incomplete (it may have been cut short)";

struct Case {
    FileFormat format;
    SampleType type;
    int channels;
    bool tiled;
    uint16_t compression, predictor;
};

class RoundTrip : public testing::TestWithParam<Case> {};

TEST_P(RoundTrip, GivesBackEverySampleExactly) {
    const Case& c = GetParam();
    ScratchDir dir;
    const std::string path = dir / (c.format == Png ? "image.png" : "image.tif");
    // Odd sizes: tiles and strips that do not divide the image, and a single pixel.
    for (const auto& [w, h] : {std::pair{37, 21}, {1, 1}, {16, 33}}) {
        Image image = MakeImage(w, h, c.channels, c.type, static_cast<uint32_t>(w * 7 + h));
        image.tiff = {c.tiled, 16, 16, 4, c.compression, c.predictor};
        image.icc = test::MakeIccProfile(c.channels >= 3 ? "RGB " : "GRAY");
        Write(path, image);
        const Image back = Read(path);
        EXPECT_TRUE(back.format == c.format && back.type == c.type && back.icc == image.icc);
        EXPECT_TRUE(test::SamplesEqual(image, back)) << w << "x" << h;
        EXPECT_TRUE(c.format == Png ||
                    (back.tiff.tiled == c.tiled && back.tiff.compression == c.compression));
        EXPECT_TRUE(c.predictor == PREDICTOR_NONE || back.tiff.predictor == c.predictor);
    }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases = {{Tiff, Float32, 3, false, kZip, kFp},
                               {Tiff, UInt16, 3, true, kLzw, kHor},
                               {Tiff, UInt8, 4, false, kZip, kHor}};
    for (int channels = 1; channels <= 4; ++channels) {
        for (SampleType type : {UInt8, UInt16, Float32}) {
            for (const auto& [tiled, z] :
                 {std::pair{false, kNone}, {true, kNone}, {false, kLzw}, {true, kZip}}) {
                cases.push_back({Tiff, type, channels, tiled, z, PREDICTOR_NONE});
            }
            if (type != Float32) {
                cases.push_back({Png, type, channels, false, 0, PREDICTOR_NONE});
            }
        }
    }
    return cases;
}

// Names that say the case: format, then sample type, channels, tiles, compression, predictor.
std::string CaseName(const testing::TestParamInfo<Case>& param) {
    const Case& c = param.param;
    std::string name = FormatName(c.format);
    for (int v : {static_cast<int>(c.type), c.channels, int{c.tiled}, int{c.compression},
                  int{c.predictor}}) {
        name += '_';
        name += std::to_string(v);
    }
    return name;
}

void PrintTo(const Case& c, std::ostream* out) {  // not the padding bytes
    *out << CaseName({c, 0});
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, testing::ValuesIn(AllCases()), CaseName);

struct TiffFields {
    uint16_t bits = 0, format = 0, compression = 0;
    uint16_t predictor = PREDICTOR_NONE;  // also where the codec has none
    tdir_t directories = 0;
};

TiffFields ReadTiffFields(const std::string& path) {
    TiffFields f;
    const test::TiffFile tif(TIFFOpen(path.c_str(), "r"));
    if (tif != nullptr) {
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &f.bits);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &f.format);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &f.compression);
        TIFFGetField(tif.get(), TIFFTAG_PREDICTOR, &f.predictor);
        f.directories = TIFFNumberOfDirectories(tif.get());
    }
    return f;
}

// Depth, compression and JPEG options: what the file holds, or the refusal (the same before
// writing as when writing, and nothing written).
TEST(WriteOptions, EachFormatHoldsWhatItCanAndRefusesTheRest) {
    const struct {
        FileFormat format;
        SampleType input;
        WriteOptions options;  // quality, depth, compression, subsampling
        SampleType written;
        const char* refusal = nullptr;
        int channels = 3;
        FileFormat from = Tiff;  // the input's format and compression
        uint16_t fromCompression = kNone;
        uint16_t compression = 0, predictor = 0;  // 0: not checked
    } cases[] = {
        {Tiff, UInt16, {95, 8}, UInt8},
        {Tiff, UInt8, {95, 16}, UInt16},
        {Tiff, UInt8, {95, 32}, Float32},
        {Tiff, Float32, {95, 16}, UInt16},
        {Tiff, Float32, {95, 0}, Float32},
        {Tiff, UInt16, {95, 0}, UInt16},
        {Tiff, UInt8, {95, 0, TC::AsInput, 411}, UInt8},
        {Png, Float32, {95, 8}, UInt8},
        {Png, UInt8, {95, 16}, UInt16},
        {Png, Float32, {95, 0}, UInt16},
        {Png, UInt8, {95, 0, TC::Zstd}, UInt8},
        {Jpeg, UInt16, {95, 8}, UInt8},
        {Png, UInt8, {95, 32}, {}, "PNG cannot hold 32-bit"},
        {Jpeg, UInt8, {95, 16}, {}, "8 bits per sample only"},
        {Jpeg, Float32, {95, 32}, {}, "8 bits per sample only"},
        {Tiff, UInt8, {95, 12}, {}, "8, 16 or 32 bits"},
        {Jpeg, UInt8, {0, 0}, {}, "quality must be 1..100"},
        {Jpeg, UInt8, {95, 0, TC::AsInput, 411}, {}, "444, 422 or 420"},
        {Jpeg, UInt8, {}, {}, "alpha", 4},
        {Tiff, UInt16, {95, 0, TC::None}, UInt16, nullptr, 4, Tiff, kLzw, kNone, PREDICTOR_NONE},
        {Tiff, UInt8, {95, 0, TC::Lzw}, UInt8, nullptr, 4, Tiff, kNone, kLzw, kHor},
        {Tiff, UInt16, {95, 0, TC::Zip}, UInt16, nullptr, 4, Png, 0, kZip, kHor},
        {Tiff, Float32, {95, 0, TC::Zip}, Float32, nullptr, 4, Tiff, kNone, kZip, kFp},
        {Tiff, UInt16, {95, 0, TC::Zstd}, UInt16, nullptr, 4, Tiff, kLzw, COMPRESSION_ZSTD, kHor},
        {Tiff, UInt8, {95, 0, TC::AsInput}, UInt8, nullptr, 4, Tiff, kLzw, kLzw, PREDICTOR_NONE},
        {Tiff, Float32, {}, Float32, nullptr, 4, Tiff, kNone, kNone, PREDICTOR_NONE},
        {Tiff, UInt8, {}, UInt8, nullptr, 4, Jpeg, 0, kZip, kHor},
        {Tiff, Float32, {}, Float32, nullptr, 4, Png, 0, kZip, kFp},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        const std::string path = dir / (c.format == Tiff  ? "d.tif"
                                        : c.format == Png ? "d.png"
                                                          : "d.jpg");
        SCOPED_TRACE(path + " depth " + std::to_string(c.options.depth) + " compression " +
                     std::to_string(c.compression));
        std::remove(path.c_str());
        Image image = MakeImage(13, 7, c.channels, c.input, 40);
        image.format = c.from;
        image.tiff.compression = c.fromCompression;
        std::string checkError, error;
        if (c.compression == COMPRESSION_ZSTD && !TIFFIsCODECConfigured(COMPRESSION_ZSTD)) {
            EXPECT_FALSE(CheckWriteOptions(Tiff, c.options, error));
            EXPECT_NE(error.find("ZSTD"), std::string::npos) << error;
            continue;
        }
        const bool checked = CheckWriteOptions(c.format, c.options, checkError);
        EXPECT_EQ(WriteImage(path, c.format, image, c.options, error), c.refusal == nullptr)
            << error;
        if (c.refusal != nullptr) {
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
            EXPECT_TRUE(test::ReadBytes(path).empty());
            EXPECT_TRUE(c.channels == 4 ||
                        (!checked && error == checkError));  // alpha: seen in the image
            continue;
        }
        EXPECT_TRUE(checked) << checkError;
        const Image back = Read(path);
        EXPECT_EQ(back.type, c.written);
        if (c.format == Tiff) {
            const TiffFields f = ReadTiffFields(path);
            EXPECT_EQ(f.bits, c.written == UInt8 ? 8 : c.written == UInt16 ? 16 : 32);
            EXPECT_EQ(f.format, c.written == Float32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
            EXPECT_TRUE(c.compression == 0 ||
                        (f.compression == c.compression && f.predictor == c.predictor))
                << f.compression << " " << f.predictor;
        }
        image.type = c.written;  // the input quantised to what the file holds
        EXPECT_TRUE(c.format == Jpeg || test::SamplesEqual(image, back));
    }
}

// The luma and chroma sampling factors as a decoder sees them.
std::vector<std::pair<int, int>> JpegSampling(const std::string& path) {
    std::vector<std::pair<int, int>> factors;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
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
    const Factors full = {{1, 1}, {1, 1}, {1, 1}};
    const struct {
        int subsampling, quality, channels;
        Factors factors;
    } cases[] = {{444, 95, 3, full},
                 {444, 20, 3, full},
                 {444, 50, 3, full},
                 {422, 95, 3, {{2, 1}, {1, 1}, {1, 1}}},
                 {420, 95, 3, {{2, 2}, {1, 1}, {1, 1}}},
                 {420, 60, 3, {{2, 2}, {1, 1}, {1, 1}}},
                 {420, 95, 1, {{1, 1}}},
                 {444, 95, 1, {{1, 1}}}};
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
        image.icc = test::MakeIccProfile(c.channels == 3 ? "RGB " : "GRAY");
        image.jpeg = {true, 1, 240, 240};
        Write(dir / "s.jpg", image, {c.quality, 0, TC::AsInput, c.subsampling});
        sizes.push_back(test::ReadBytes(dir / "s.jpg").size());
        EXPECT_EQ(JpegSampling(dir / "s.jpg"), c.factors);
        const Image back = Read(dir / "s.jpg");
        ASSERT_EQ(back.samples.size(), image.samples.size());
        EXPECT_TRUE(back.format == Jpeg && back.channels == c.channels && back.icc == image.icc);
        EXPECT_TRUE(back.jpeg.known && back.jpeg.unit == 1 && back.jpeg.x == 240 &&
                    back.jpeg.y == 240);
        double error = 0.0;
        for (size_t i = 0; i < image.samples.size(); ++i) {
            error += std::fabs(static_cast<double>(image.samples[i] - back.samples[i]));
        }
        EXPECT_LT(error / static_cast<double>(image.samples.size()),
                  (c.quality == 95 ? 2.0 : 8.0) / 255.0);
    }
    EXPECT_LT(sizes[1], sizes[0]);  // quality 20 against 95
}

TEST(ImageIO, ReadsPlanesAndJpegTiffsAndRefusesUnsupportedLayouts) {
    ScratchDir dir;
    uint8_t planes[8] = {10, 20, 30, 40, 50, 60};  // 2 x 1 RGB: R R, G G, B B
    {
        const auto tif = test::NewTiff(dir / "planar.tif", 2, 1, 3, 8, PHOTOMETRIC_RGB);
        TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
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
        ASSERT_GE(TIFFWriteEncodedStrip(tif.get(), 0, rgb.data(), 32 * 16 * 3), 0);
    }
    const Image image = Read(dir / "j.tif");
    ASSERT_EQ(image.samples.size(), rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i) {
        ASSERT_NEAR(image.samples[i] * 255.0f, static_cast<float>(rgb[i]), 6.0f) << i;
    }
    Write(dir / "j2.tif", image);
    EXPECT_EQ(Read(dir / "j2.tif").tiff.compression, kZip);
    EXPECT_TRUE(test::SamplesEqual(image, Read(dir / "j2.tif")));
    TIFFWriteEncodedStrip(test::NewTiff(dir / "cmyk.tif", 2, 1, 4, 8, PHOTOMETRIC_SEPARATED).get(),
                          0, planes, 8);
    TIFFWriteEncodedStrip(
        test::NewTiff(dir / "bilevel.tif", 8, 1, 1, 1, PHOTOMETRIC_MINISBLACK).get(), 0, planes, 1);
    for (const auto& [name, reason] :
         {std::pair{"cmyk.tif", "colour layout"}, {"bilevel.tif", "sample type"}}) {
        Image refused;
        std::string error;
        EXPECT_FALSE(ReadImage(dir / name, refused, error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    // The content decides the format, not the name.
    std::string error;
    ASSERT_TRUE(WriteImage(dir / "png.tif", Png, MakeImage(6, 5, 3, UInt8, 30), {}, error))
        << error;
    EXPECT_EQ(Read(dir / "png.tif").format, Png);
}

TEST(HalfFloatTiff, IsReadExactlyAndWrittenAsFloat) {
    // 1, 0.5, the largest finite, the smallest and largest subnormals, negative zero, -2, a
    // third rounded, both infinities, the smallest normal, then NaN.
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
                                       kInf,
                                       -kInf,
                                       std::ldexp(1.0f, -14),
                                       kNan};
    ScratchDir dir;
    const struct {
        const char* mode;  // byte order
        uint16_t compression, predictor;
    } files[] = {{"wl", kNone, PREDICTOR_NONE}, {"wb", kNone, PREDICTOR_NONE}, {"wl", kZip, kFp}};
    for (const auto& file : files) {
        SCOPED_TRACE(std::string(file.mode) + " " + std::to_string(file.compression));
        {  // 4 x 3 grey: every value once
            const auto tif =
                test::NewTiff(dir / "half.tif", 4, 3, 1, 16, PHOTOMETRIC_MINISBLACK, file.mode);
            TIFFSetField(tif.get(), TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
            TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, file.compression);
            TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, file.predictor);
            std::vector<uint16_t> data = halves;
            ASSERT_GE(TIFFWriteEncodedStrip(tif.get(), 0, data.data(), 24), 0);
        }
        const Image image = Read(dir / "half.tif");
        EXPECT_EQ(image.type, Float32);
        ASSERT_EQ(image.samples.size(), values.size());
        EXPECT_EQ(std::memcmp(image.samples.data(), values.data(), 11 * sizeof(float)), 0);
        EXPECT_TRUE(std::isnan(image.samples.back()));
        Write(dir / "out.tif", image);
        const TiffFields f = ReadTiffFields(dir / "out.tif");
        EXPECT_TRUE(f.bits == 32 && f.format == SAMPLEFORMAT_IEEEFP);
        EXPECT_TRUE(test::SamplesEqual(image, Read(dir / "out.tif")));
    }
}

// Colour samples of a float image outside 0..1 or NaN are counted (alpha not), the file keeps
// them; integer files hold them clamped, NaN as 0, halves rounded up.
TEST(OutOfRange, IsCountedAndIntegerFilesClampAndRoundHalfUp) {
    const struct {
        int channels;
        std::vector<float> samples;  // two pixels
        uint64_t count;
    } cases[] = {{3, {0.0f, 1.0f, 0.5f, 1.0f, 0.0f, 0.25f}, 0},
                 {3, {1.5f, -0.01f, 0.5f, kNan, kInf, 1.0000001f}, 5},
                 {4, {0.2f, 0.3f, 0.4f, 2.0f, -1.0f, 0.5f, 0.5f, -3.0f}, 1},
                 {2, {4.0f, 7.0f, 0.5f, kNan}, 1},
                 {1, {-0.0f, -1e-30f}, 1}};
    for (const auto& c : cases) {
        Image image = MakeImage(2, 1, c.channels, Float32, 43);
        image.samples = c.samples;
        EXPECT_EQ(CountOutOfRangeSamples(image), c.count) << c.channels;
    }
    ScratchDir dir;
    Image hdr = MakeImage(3, 1, 3, Float32, 44);
    hdr.samples = {0.5f, 3.0f, 0.5f, -0.5f, kNan, 0.5f, 0.5f, 0.5f, 12.0f};
    Write(dir / "hdr.tif", hdr);
    EXPECT_EQ(CountOutOfRangeSamples(Read(dir / "hdr.tif")), 4u);
    Write(dir / "hdr.png", hdr, {95, 16});
    const float half = 32768.0f / 65535.0f;  // 0.5 * 65535 = 32767.5 rounds up
    EXPECT_EQ(Read(dir / "hdr.png").samples,
              (std::vector<float>{half, 1, half, 0, 0, half, half, half, 1}));
    for (const auto& [value, max, expected] : {std::tuple{-kInf, 255u, 0u},
                                               {3.0e38f, 65535u, 65535u},
                                               {-0.0f, 255u, 0u},
                                               {0.5f / 255.0f, 255u, 1u},
                                               {0.49f / 255.0f, 255u, 0u}}) {
        EXPECT_EQ(QuantizeSample(value, max), expected) << value;
    }
    for (uint32_t v = 0; v <= 65535; ++v) {
        ASSERT_EQ(QuantizeSample(static_cast<float>(v) / 65535.0f, 65535), v);
    }
}

TEST(MultiPageTiff, IsRefusedButReducedCopiesAreNotPages) {
    const struct {
        std::vector<uint32_t> kinds;
        int pages;  // 1: read
    } cases[] = {{{0, 0}, 2},
                 {{FILETYPE_PAGE, FILETYPE_PAGE, FILETYPE_PAGE}, 3},
                 {{0, FILETYPE_REDUCEDIMAGE}, 1},
                 {{0, FILETYPE_REDUCEDIMAGE, FILETYPE_MASK}, 1},
                 {{0, FILETYPE_REDUCEDIMAGE, 0}, 2},
                 {{FILETYPE_REDUCEDIMAGE, 0}, 1}};  // a preview first: the page is still read
    ScratchDir dir;
    for (const auto& c : cases) {
        test::WritePages(dir / "pages.tif", c.kinds);
        Image image;
        std::string error;
        ASSERT_EQ(ReadImage(dir / "pages.tif", image, error), c.pages == 1)
            << c.kinds.size() << ": " << error;
        if (c.pages > 1) {
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
        for (int k = 0; k < 4; ++k) {
            append(f[k], k < 2 ? 2 : 4);
        }
    }
    append(0, 4);
    for (uint32_t s = 0; s < 2 * strips && strips > 1; ++s) {
        append(s < strips ? data + s * width * rowsPerStrip
                          : width * std::min(rowsPerStrip, height - (s - strips) * rowsPerStrip),
               4);
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
    sixteen.tiff.compression = kLzw;
    Write(dir / "last.tif", sixteen);
    Write(dir / "p.png", sixteen);
    Write(dir / "j.jpg", MakeImage(64, 64, 3, UInt8, 46));
    Write(dir / "g.jpg", MakeImage(64, 64, 1, UInt8, 47));
    // Damage inside the compressed data: the PNG's checksums catch it; the JPEG's is
    // overwritten with a marker-free pattern.
    for (const auto& [name, count] : {std::pair{"p.png", 16}, {"j.jpg", 64}}) {
        std::vector<uint8_t> bytes = test::ReadBytes(dir / name);
        std::fill_n(bytes.begin() + static_cast<long>(bytes.size() / 2), count, 0xff);
        test::WriteBytes(dir / "bad-" + name, bytes);
    }
    test::WriteBytes(dir / "empty.tif", {});
    test::WriteText(dir / "notes.png", "just some text, not a picture\n");
    const struct {
        std::string name;
        double keep;  // the fraction of the file kept (at least 12 bytes), or bytes above 1
        std::string reason;
    } cases[] = {{"first.tif", 0.5, kDamaged},
                 {"first.tif", 0.95, kDamaged},  // strips cut, directory whole
                 {"last.tif", 0.5, kDamaged},
                 {"last.tif", 0.01, kDamaged},  // directory lost; header only
                 {"p.png", 0.5, kDamaged},
                 {"p.png", 0.98, kDamaged},
                 {"p.png", 0.02, kDamaged},
                 {"j.jpg", 0.5, kDamaged},
                 {"j.jpg", 0.9, kDamaged},
                 {"j.jpg", 0.05, kDamaged},
                 {"g.jpg", 0.6, kDamaged},
                 {"bad-j.jpg", 1, kDamaged},
                 {"bad-p.png", 1, ""},
                 {"last.tif", 3, ""},
                 {"p.png", 3, ""},
                 {"j.jpg", 3, ""},
                 {"empty.tif", 1, "empty file"},
                 {"notes.png", 1, "not a TIFF, PNG or JPEG"},
                 {"missing.tif", 1, ""},
                 {".", 1, "folder"}};
    for (const auto& c : cases) {
        std::string path = dir / c.name;
        if (c.keep != 1) {
            const std::vector<uint8_t> bytes = test::ReadBytes(path);
            const auto keep =
                c.keep > 1
                    ? static_cast<size_t>(c.keep)
                    : std::max<size_t>(
                          12, static_cast<size_t>(c.keep * static_cast<double>(bytes.size())));
            test::WriteBytes(
                path = dir / "cut",
                std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(keep)));
        }
        Image image;
        std::string error;
        EXPECT_FALSE(ReadImage(path, image, error)) << c.name << " " << c.keep;
        EXPECT_TRUE(!error.empty() && error.find(c.reason) != std::string::npos)
            << c.name << " " << c.keep << ": " << error;
        EXPECT_TRUE(image.samples.empty());
    }
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < size * 8; ++i) {
        crc ^= i % 8 == 0 ? data[i / 8] : 0u;
        crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Files whose headers claim width x height: a one-strip TIFF of stripBytes (the file keeps
// 40 x 30 pixels), a PNG and a JPEG of 8 x 8 pixels.
std::vector<uint8_t> Claiming(const char* name, uint32_t width, uint32_t height, int channels,
                              uint32_t stripBytes = 0) {
    ScratchDir dir;
    Write(dir / "s.png", MakeImage(8, 8, channels, UInt8, 3));
    Write(dir / "s.jpg", MakeImage(8, 8, channels, UInt8, 3));
    std::vector<uint8_t> b =
        name[0] == 't' ? DirectoryFirstTiff(40, 30, 30) : test::ReadBytes(dir / name);
    if (name[0] == 't') {  // entries of 12 bytes from offset 10, the value at +8
        for (const auto& [entry, value] :
             {std::pair{0, width}, {1, height}, {6, height}, {7, stripBytes}}) {
            Put(b, 10 + entry * 12 + 8, value, 4, false);
        }
    } else if (name[2] == 'p') {  // IHDR data from 16, then its CRC over "IHDR" and 13 bytes
        Put(b, 16, width, 4, true);
        Put(b, 20, height, 4, true);
        Put(b, 29, Crc32(&b[12], 17), 4, true);
    } else {  // the frame header: marker, length, precision, height, width
        const uint8_t sof[] = {0xff, 0xc0};
        const auto at =
            static_cast<size_t>(std::search(b.begin(), b.end(), sof, sof + 2) - b.begin());
        Put(b, at + 5, height, 2, true);
        Put(b, at + 7, width, 2, true);
    }
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
        {"TIFF 60000 x 60000", Claiming("tif", 60000, 60000, 1, 60000u * 60000u), tooLarge},
        {"TIFF strip beyond the end of the file", Claiming("tif", 20000, 20000, 1, 20000u * 20000u),
         kDamaged},
        {"TIFF strip far smaller than its raw pixels", Claiming("tif", 20000, 20000, 1, 1200),
         kDamaged},
        {"PNG 60000 x 60000", Claiming("s.png", 60000, 60000, 1), tooLarge},
        {"PNG 30000 x 30000 in a hundred bytes", Claiming("s.png", 30000, 30000, 1), kDamaged},
        {"JPEG 60000 x 60000", Claiming("s.jpg", 60000, 60000, 3), tooLarge},
        {"JPEG 30000 x 30000 grey", Claiming("s.jpg", 30000, 30000, 1), kDamaged}};
    ScratchDir dir;
    for (const auto& c : cases) {
        test::WriteBytes(dir / "huge", c.bytes);
        Image image;
        std::string error;
        vel::test::FailLargeAllocations fail(size_t{64} << 20);
        EXPECT_FALSE(ReadImage(dir / "huge", image, error)) << c.what;
        EXPECT_EQ(fail.Refused(), 0u) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(image.samples.empty()) << c.what;
    }
}

}  // namespace
}  // namespace velnr
