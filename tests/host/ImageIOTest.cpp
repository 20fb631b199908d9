// Image files: exact round trips of every format, depth and layout; write options; profiles,
// alpha and grey; damaged, huge and unsupported files.

#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <tuple>

#include "TestSupport.h"
#include "host/ImageFormats.h"
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
constexpr uint16_t kFp = PREDICTOR_FLOATINGPOINT, kNoPredictor = PREDICTOR_NONE;
const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const std::string kDamaged = "the file is damaged or incomplete (it may have been cut short)";

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

// Sets a directory's basic fields, one strip of all rows, for the caller to fill.
void SetFields(TIFF* tif, uint32_t width, uint32_t height, uint16_t spp, uint16_t bits,
               uint16_t photometric) {
    const std::pair<ttag_t, uint32_t> fields[] = {{TIFFTAG_IMAGEWIDTH, width},
                                                  {TIFFTAG_IMAGELENGTH, height},
                                                  {TIFFTAG_SAMPLESPERPIXEL, spp},
                                                  {TIFFTAG_BITSPERSAMPLE, bits},
                                                  {TIFFTAG_PHOTOMETRIC, photometric},
                                                  {TIFFTAG_ROWSPERSTRIP, height},
                                                  {TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG}};
    for (const auto& [tag, value] : fields) {
        TIFFSetField(tif, tag, value);
    }
}

// A new TIFF with those fields set.
TiffFile NewTiff(const std::string& path, uint32_t width, uint32_t height, uint16_t spp,
                 uint16_t bits, uint16_t photometric, const char* mode = "w") {
    TiffFile tif(TIFFOpen(path.c_str(), mode));
    EXPECT_NE(tif, nullptr) << "libtiff cannot create " << path;
    if (tif != nullptr) {
        SetFields(tif.get(), width, height, spp, bits, photometric);
    }
    return tif;
}

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
        // Read into the plug-in's layout: its buffer and the alpha apart, and the same file
        // written from them.
        Image host;
        std::string error;
        ASSERT_TRUE(ReadImage(path, host, error, true)) << error;
        EXPECT_EQ(host.samples, ToHostRgb(back)) << w << "x" << h;
        for (size_t i = 0; i < host.alpha.size(); ++i) {
            ASSERT_EQ(host.alpha[i], back.samples[(i + 1) * back.channels - 1]) << i;
        }
        EXPECT_EQ(host.alpha.size(), back.HasAlpha() ? static_cast<size_t>(w * h) : 0u);
        const std::string again = dir / (c.format == Png ? "again.png" : "again.tif");
        Write(again, host);
        Write(path, back);
        EXPECT_EQ(test::ReadBytes(again), test::ReadBytes(path)) << w << "x" << h;
        EXPECT_TRUE(c.format == Png ||
                    (back.tiff.tiled == c.tiled && back.tiff.compression == c.compression));
        EXPECT_TRUE(c.predictor == PREDICTOR_NONE || back.tiff.predictor == c.predictor);
        if (c.format == Tiff && !c.tiled) {
            // Compressed strips keep their rows; uncompressed ones grow to at least 256 KiB.
            const TiffFile tif(TIFFOpen(path.c_str(), "rc"));  // as written: not cut up
            uint32_t rows = 0;
            ASSERT_TRUE(tif && TIFFGetField(tif.get(), TIFFTAG_ROWSPERSTRIP, &rows));
            EXPECT_EQ(rows, static_cast<uint32_t>(c.compression == kNone ? h : std::min(4, h)));
        }
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
                cases.push_back({Tiff, type, channels, tiled, z, kNoPredictor});
            }
            if (type != Float32) {
                cases.push_back({Png, type, channels, false, 0, kNoPredictor});
            }
        }
    }
    return cases;
}

void PrintTo(const Case& c, std::ostream* out) {  // not the padding bytes
    *out << FormatName(c.format) << ' ' << static_cast<int>(c.type) << ' ' << c.channels << ' '
         << c.tiled << ' ' << c.compression << ' ' << c.predictor;
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, testing::ValuesIn(AllCases()));

// Strips and tiles are coded on several threads: the file is that of one thread byte
// for byte, the samples read back too, and a damaged block fails the read whichever thread meets
// it.
TEST(ThreadedTiff, GivesTheBytesAndSamplesOfOneThread) {
    ScratchDir dir;
    const std::string one = dir / "one.tif", many = dir / "many.tif";
    for (const auto& [compression, tiled, type] : {std::tuple{TC::Zip, false, UInt16},
                                                   {TC::Lzw, true, UInt8},
                                                   {TC::Zstd, false, Float32},
                                                   {TC::Zip, true, Float32},
                                                   {TC::None, true, UInt16}}) {
        if (!detail::TiffCodecAvailable(compression)) {
            continue;
        }
        Image image = MakeImage(67, 53, 3, type, 5);
        image.tiff = {tiled, 16, 16, 4, kNone, kNoPredictor};  // 14 strips or 20 tiles
        std::string error;
        ASSERT_TRUE(detail::WriteTiff(one, image, type, compression, error, 1)) << error;
        ASSERT_TRUE(detail::WriteTiff(many, image, type, compression, error, 3)) << error;
        EXPECT_EQ(test::ReadBytes(one), test::ReadBytes(many)) << static_cast<int>(compression);
        Image back;
        ASSERT_TRUE(detail::ReadTiff(one, back, error, 3)) << error;
        EXPECT_TRUE(test::SamplesEqual(image, back)) << static_cast<int>(compression);
        if (compression == TC::Zip) {  // a middle block's stream loses its header
            uint64_t at = 0;
            {
                const TiffFile tif(TIFFOpen(one.c_str(), "r"));
                ASSERT_NE(tif, nullptr);
                at = TIFFGetStrileOffset(tif.get(), TIFFIsTiled(tif.get()) ? 9 : 7);
            }
            std::vector<uint8_t> bytes = test::ReadBytes(one);
            ASSERT_LT(at + 2, bytes.size());
            bytes[at] = bytes[at + 1] = 0xff;
            test::WriteBytes(many, bytes);
            Image damaged;
            EXPECT_FALSE(detail::ReadTiff(many, damaged, error, 3));
            EXPECT_EQ(error, kDamaged);
        }
    }
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
        {Tiff, UInt8, {95, 0, TC::AsInput, 411}, UInt8},
        {Png, Float32, {95, 8}, UInt8},
        {Png, UInt8, {95, 16}, UInt16},
        {Png, Float32, {95, 0}, UInt16},
        {Png, UInt8, {95, 0, TC::Zstd}, UInt8},
        {Jpeg, UInt16, {95, 8}, UInt8},
        {Png, UInt8, {95, 32}, {}, "PNG cannot hold 32-bit"},
        {Jpeg, UInt8, {95, 16}, {}, "8 bits per sample only"},
        {Tiff, UInt8, {95, 12}, {}, "8, 16 or 32 bits"},
        {Jpeg, UInt8, {0, 0}, {}, "quality must be 1..100"},
        {Jpeg, UInt8, {95, 0, TC::AsInput, 411}, {}, "444, 422 or 420"},
        {Jpeg, UInt8, {}, {}, "alpha", 4},
        {Tiff, UInt16, {95, 0, TC::None}, UInt16, nullptr, 4, Tiff, kLzw, kNone, kNoPredictor},
        {Tiff, UInt8, {95, 0, TC::Lzw}, UInt8, nullptr, 4, Tiff, kNone, kLzw, kHor},
        {Tiff, UInt16, {95, 0, TC::Zip}, UInt16, nullptr, 4, Png, 0, kZip, kHor},
        {Tiff, Float32, {95, 0, TC::Zip}, Float32, nullptr, 4, Tiff, kNone, kZip, kFp},
        {Tiff, UInt16, {95, 0, TC::Zstd}, UInt16, nullptr, 4, Tiff, kLzw, COMPRESSION_ZSTD, kHor},
        {Tiff, UInt8, {95, 0, TC::AsInput}, UInt8, nullptr, 4, Tiff, kLzw, kLzw, kNoPredictor},
        {Tiff, Float32, {}, Float32, nullptr, 4, Tiff, kNone, kNone, kNoPredictor},
        {Tiff, UInt8, {}, UInt8, nullptr, 4, Jpeg, 0, kZip, kHor},
        {Tiff, Float32, {}, Float32, nullptr, 4, Png, 0, kZip, kFp},
        {Tiff, UInt8, {}, UInt8, nullptr, 3, Tiff, COMPRESSION_JPEG, kZip, kNoPredictor},
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
        EXPECT_TRUE(c.compression == 0 ||  // no predictor tag reads as 0
                    (back.tiff.compression == c.compression &&
                     std::max<uint16_t>(back.tiff.predictor, PREDICTOR_NONE) == c.predictor))
            << back.tiff.compression << " " << back.tiff.predictor;
        image.type = c.written;  // the input quantised to what the file holds
        EXPECT_TRUE(c.format == Jpeg || test::SamplesEqual(image, back));
    }
}

TEST(ImageIO, ReadsSeparatePlanes) {
    ScratchDir dir;
    uint8_t planes[8] = {10, 20, 30, 40, 50, 60, 70, 80};  // 2 x 1 RGBA: R R, G G, B B, A A
    {
        const auto tif = NewTiff(dir / "planar.tif", 2, 1, 4, 8, PHOTOMETRIC_RGB);
        TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
        const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, 1, &alpha);
        for (uint32_t s = 0; s < 4; ++s) {
            TIFFWriteEncodedStrip(tif.get(), s, planes + 2 * s, 2);
        }
    }
    const auto v = [](int k) { return static_cast<float>(k) / 255.0f; };
    EXPECT_EQ(Read(dir / "planar.tif").samples,
              (SampleVector{v(10), v(30), v(50), v(70), v(20), v(40), v(60), v(80)}));
    Image host;
    std::string error;
    ASSERT_TRUE(ReadImage(dir / "planar.tif", host, error, true)) << error;
    EXPECT_EQ(host.samples, (SampleVector{v(10), v(30), v(50), v(20), v(40), v(60)}));
    EXPECT_EQ(host.alpha, (SampleVector{v(70), v(80)}));
}

// Half floats: 1, 0.5, the largest finite, both ends of the subnormals, -0, -2, a third
// rounded, both infinities, the smallest normal, NaN; either byte order, and the float predictor.
TEST(HalfFloatTiff, IsReadExactlyAndWrittenAsFloat) {
    const uint16_t halves[] = {0x3c00, 0x3800, 0x7bff, 0x0001, 0x03ff, 0x8000,
                               0xc000, 0x3555, 0x7c00, 0xfc00, 0x0400, 0x7e00};
    // clang-format off
    const float values[] = {1, 0.5f, 65504, std::ldexp(1.0f, -24), std::ldexp(1023.0f, -24), -0.0f,
                            -2, 0.333251953125f, kInf, -kInf, std::ldexp(1.0f, -14)};
    // clang-format on
    ScratchDir dir;
    for (const auto& [mode, compression, predictor] :
         {std::tuple{"wl", kNone, kNoPredictor}, {"wb", kNone, kNoPredictor}, {"wl", kZip, kFp}}) {
        {
            const auto tif = NewTiff(dir / "h.tif", 4, 3, 1, 16, PHOTOMETRIC_MINISBLACK, mode);
            TIFFSetField(tif.get(), TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
            TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, compression);
            TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, predictor);
            std::vector<uint16_t> data(std::begin(halves), std::end(halves));
            ASSERT_GE(TIFFWriteEncodedStrip(tif.get(), 0, data.data(), 24), 0);
        }
        const Image image = Read(dir / "h.tif");
        ASSERT_EQ(image.type, Float32);
        ASSERT_EQ(image.samples.size(), 12u) << mode;
        EXPECT_EQ(std::memcmp(image.samples.data(), values, sizeof values), 0) << mode;
        EXPECT_TRUE(std::isnan(image.samples[11])) << mode;
        Write(dir / "out.tif", image);
        EXPECT_TRUE(test::SamplesEqual(image, Read(dir / "out.tif"))) << mode;
    }
}

// Colour samples outside 0..1 or NaN are counted (alpha not); integer files hold them clamped,
// NaN as 0, halves rounded up.
TEST(OutOfRange, IsCountedAndIntegerFilesClampAndRoundHalfUp) {
    Image hdr = MakeImage(2, 1, 4, Float32, 43);
    hdr.samples = {1.5f, -0.01f, kNan, -3.0f, kInf, 1.0000001f, 0.5f, 2.0f};
    EXPECT_EQ(CountOutOfRangeSamples(hdr), 5u);
    ScratchDir dir;
    hdr = MakeImage(3, 1, 3, Float32, 44);
    hdr.samples = {0.5f, 3.0f, 0.5f, -0.5f, kNan, 0.5f, 0.5f, 0.5f, 12.0f};
    Write(dir / "hdr.png", hdr, {95, 16});
    const float half = 32768.0f / 65535.0f;  // 0.5 * 65535 = 32767.5 rounds up
    EXPECT_EQ(Read(dir / "hdr.png").samples,
              (SampleVector{half, 1, half, 0, 0, half, half, half, 1}));
    for (const auto& [value, max, expected] :
         {std::tuple{-kInf, 255u, 0u}, {3.0e38f, 65535u, 65535u}, {0.49f / 255.0f, 255u, 0u}}) {
        EXPECT_EQ(QuantizeSample(value, max), expected) << value;
    }
}

// A preview or mask beside the picture is no page; the full-size picture is read whichever
// directory holds it.
TEST(MultiPageTiff, IsRefusedButReducedCopiesAreNotPages) {
    const struct {
        std::vector<uint32_t> kinds;
        int pages;  // 1: read
    } cases[] = {{{0, 0}, 2},
                 {{0, FILETYPE_REDUCEDIMAGE, FILETYPE_MASK}, 1},
                 {{0, FILETYPE_REDUCEDIMAGE, 0}, 2},
                 {{FILETYPE_REDUCEDIMAGE, 0}, 1}};
    ScratchDir dir;
    for (const auto& c : cases) {
        {  // reduced copies half as wide
            const TiffFile tif(TIFFOpen((dir / "pages.tif").c_str(), "w"));
            for (size_t page = 0; page < c.kinds.size(); ++page) {
                const uint32_t w = (c.kinds[page] & FILETYPE_REDUCEDIMAGE) == 0 ? 8 : 4;
                SetFields(tif.get(), w, 2, 1, 8, PHOTOMETRIC_MINISBLACK);
                TIFFSetField(tif.get(), TIFFTAG_SUBFILETYPE, c.kinds[page]);
                std::vector<uint8_t> data(w * 2, static_cast<uint8_t>(50 * (page + 1)));
                ASSERT_GE(TIFFWriteEncodedStrip(tif.get(), 0, data.data(), w * 2), 0);
                ASSERT_TRUE(TIFFWriteDirectory(tif.get()));
            }
        }
        Image image;
        std::string error;
        ASSERT_EQ(ReadImage(dir / "pages.tif", image, error), c.pages == 1) << error;
        const auto page = std::find(c.kinds.begin(), c.kinds.end(), 0u) - c.kinds.begin();
        EXPECT_TRUE(c.pages == 1
                        ? image.width == 8 &&
                              image.samples[0] == static_cast<float>(50 * (page + 1)) / 255.0f
                        : error.find("has " + std::to_string(c.pages) + " pages") !=
                              std::string::npos)
            << c.kinds.size() << ": " << error;
    }
}

void Put(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes, bool big) {
    for (int i = 0; i < bytes; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * (big ? bytes - 1 - i : i)));
    }
}

// A grey 8-bit TIFF of one strip with its directory before the picture data, as many
// programs write it, so that a cut falls in the strip and leaves the directory whole.
std::vector<uint8_t> DirectoryFirstTiff(uint32_t width, uint32_t height) {
    const uint32_t fields[8][4] = {
        // tag, type, count, value
        {256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, 8},      {259, 3, 1, 1},
        {262, 3, 1, 1},     {273, 4, 1, 110},    {278, 4, 1, height}, {279, 4, 1, width * height}};
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0};
    for (const auto& f : fields) {
        for (int k = 0; k < 4; ++k) {
            out.resize(out.size() + (k < 2 ? 2 : 4));
            Put(out, out.size() - (k < 2 ? 2 : 4), f[k], k < 2 ? 2 : 4, false);
        }
    }
    out.resize(110);  // the next directory's offset: none
    for (uint32_t i = 0; i < width * height; ++i) {
        out.push_back(static_cast<uint8_t>(i * 7));
    }
    return out;
}

// Files whose headers claim width x height: a one-strip TIFF of stripBytes (the file keeps
// 40 x 30 pixels), a PNG and a JPEG of 8 x 8 pixels.
std::vector<uint8_t> Claiming(const char* name, uint32_t width, uint32_t height, int channels,
                              uint32_t stripBytes = 0) {
    ScratchDir dir;
    Write(dir / "s.png", MakeImage(8, 8, channels, UInt8, 3));
    Write(dir / "s.jpg", MakeImage(8, 8, channels, UInt8, 3));
    std::vector<uint8_t> b =
        name[0] == 't' ? DirectoryFirstTiff(40, 30) : test::ReadBytes(dir / name);
    if (name[0] == 't') {  // entries of 12 bytes from offset 10, the value at +8
        for (const auto& [entry, value] :
             {std::pair{0, width}, {1, height}, {6, height}, {7, stripBytes}}) {
            Put(b, 10 + entry * 12 + 8, value, 4, false);
        }
    } else if (name[2] == 'p') {  // IHDR data from 16, then its CRC over "IHDR" and 13 bytes
        Put(b, 16, width, 4, true);
        Put(b, 20, height, 4, true);
        Put(b, 29, static_cast<uint32_t>(crc32(0, &b[12], 17)), 4, true);
    } else {  // the frame header: marker, length, precision, height, width
        const uint8_t sof[] = {0xff, 0xc0};
        const auto at =
            static_cast<size_t>(std::search(b.begin(), b.end(), sof, sof + 2) - b.begin());
        Put(b, at + 5, height, 2, true);
        Put(b, at + 7, width, 2, true);
    }
    return b;
}

// Cut, damaged, empty and foreign files, and headers that claim far more than the file holds:
// refused with a reason and no image, before the memory a header claims is taken (nothing of
// 64 MB or more is ever asked for).
TEST(RefusedFiles, GiveAReasonAndNoImageAndAllocateNothingLarge) {
    ScratchDir dir;
    test::WriteBytes(dir / "first.tif", DirectoryFirstTiff(40, 30));
    ASSERT_EQ(Read(dir / "first.tif").samples.at(41), static_cast<float>(41 * 7 % 256) / 255.0f);
    Image sixteen = MakeImage(64, 64, 3, UInt16, 45);
    sixteen.tiff.compression = kLzw;
    Write(dir / "last.tif", sixteen);
    Write(dir / "p.png", sixteen);
    Write(dir / "j.jpg", MakeImage(64, 64, 3, UInt8, 46));
    uint8_t strip[8] = {};
    TIFFWriteEncodedStrip(NewTiff(dir / "cmyk.tif", 2, 1, 4, 8, PHOTOMETRIC_SEPARATED).get(), 0,
                          strip, 8);
    TIFFWriteEncodedStrip(NewTiff(dir / "bilevel.tif", 8, 1, 1, 1, PHOTOMETRIC_MINISBLACK).get(), 0,
                          strip, 1);
    const auto cut = [&](const char* name, double keep) {  // the fraction kept, or bytes above 1
        std::vector<uint8_t> b = test::ReadBytes(dir / name);
        b.resize(static_cast<size_t>(keep > 1 ? keep : keep * static_cast<double>(b.size())));
        return b;
    };
    // Damage inside the compressed data: the PNG's checksums catch it; the JPEG's is
    // overwritten with a marker-free pattern.
    const auto damage = [&](const char* name, int count) {
        std::vector<uint8_t> b = test::ReadBytes(dir / name);
        std::fill_n(b.begin() + static_cast<long>(b.size() / 2), count, 0xff);
        return b;
    };
    const std::string text = "just some text, not a picture\n", tooLarge = "image too large";
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string reason;
    } cases[] = {
        {"TIFF strips cut, directory whole", cut("first.tif", 0.95), kDamaged},
        {"TIFF directory lost", cut("last.tif", 0.01), kDamaged},
        {"TIFF of 3 bytes", cut("last.tif", 3), ""},
        {"PNG cut in half", cut("p.png", 0.5), kDamaged},
        {"PNG without its end", cut("p.png", 0.98), kDamaged},
        {"PNG damaged", damage("p.png", 16), ""},
        {"JPEG cut in half", cut("j.jpg", 0.5), kDamaged},
        {"JPEG damaged", damage("j.jpg", 64), kDamaged},
        {"empty", {}, "empty file"},
        {"CMYK TIFF", cut("cmyk.tif", 1), "colour layout"},
        {"bilevel TIFF", cut("bilevel.tif", 1), "sample type"},
        {"text", {text.begin(), text.end()}, "not a TIFF, PNG or JPEG"},
        {"TIFF 60000 x 60000", Claiming("tif", 60000, 60000, 1, 60000u * 60000u), tooLarge},
        {"TIFF strip past the end", Claiming("tif", 20000, 20000, 1, 20000u * 20000u), kDamaged},
        {"TIFF strip far below its raw size", Claiming("tif", 20000, 20000, 1, 1200), kDamaged},
        {"PNG 60000 x 60000", Claiming("s.png", 60000, 60000, 1), tooLarge},
        {"PNG 30000 x 30000 in a hundred bytes", Claiming("s.png", 30000, 30000, 1), kDamaged},
        {"JPEG 60000 x 60000", Claiming("s.jpg", 60000, 60000, 3), tooLarge},
        {"JPEG 30000 x 30000 grey", Claiming("s.jpg", 30000, 30000, 1), kDamaged}};
    for (const auto& c : cases) {
        test::WriteBytes(dir / "file", c.bytes);
        Image image;
        std::string error;
        vel::test::FailLargeAllocations fail(size_t{64} << 20);
        EXPECT_FALSE(ReadImage(dir / "file", image, error)) << c.what;
        EXPECT_EQ(fail.Refused(), 0u) << c.what;
        EXPECT_TRUE(!error.empty() && error.find(c.reason) != std::string::npos)
            << c.what << ": " << error;
        EXPECT_TRUE(image.samples.empty()) << c.what;
    }
}

}  // namespace
}  // namespace velnr
