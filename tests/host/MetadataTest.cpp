// EXIF, XMP, PNG texts and the ICC profile survive the copy from an input to its output, and
// nothing of the old file's layout or further pictures comes along.

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <sstream>

#include "TestSupport.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace velnr {
namespace {

using enum FileFormat;
using test::Read;
using test::Write;

FileFormat FormatOf(const std::string& path) {
    FileFormat format{};
    EXPECT_TRUE(FormatFromExtension(path, format)) << path;
    return format;
}

bool Copy(const std::string& from, const std::string& to, std::string& error) {
    return CopyMetadata(from, FormatOf(from), to, FormatOf(to), error);
}

using ImagePtr = decltype(Exiv2::ImageFactory::open(std::string()));

ImagePtr Open(const std::string& path) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    return image;
}

bool Has(const ImagePtr& image, const std::string& key) {
    return image->exifData().findKey(Exiv2::ExifKey(key)) != image->exifData().end();
}

void Tag(const std::string& path) {
    auto image = Open(path);
    image->exifData()["Exif.Image.Artist"] = "Test Photographer";
    image->exifData()["Exif.Photo.ISOSpeedRatings"] = uint16_t{3200};
    image->xmpData()["Xmp.dc.title"] = "lang=\"x-default\" Night street";
    image->writeMetadata();
}

void ExpectTagged(const std::string& path) {
    const auto image = Open(path);
    const auto title = image->xmpData().findKey(Exiv2::XmpKey("Xmp.dc.title"));
    ASSERT_TRUE(Has(image, "Exif.Image.Artist") && Has(image, "Exif.Photo.ISOSpeedRatings") &&
                title != image->xmpData().end())
        << path;
    EXPECT_EQ(image->exifData()["Exif.Image.Artist"].toString(), "Test Photographer");
    EXPECT_EQ(image->exifData()["Exif.Photo.ISOSpeedRatings"].toLong(), 3200);
    EXPECT_NE(title->toString().find("Night street"), std::string::npos);
}

class Metadata : public testing::TestWithParam<std::tuple<std::string, SampleType, int>> {};

// Copied by the library call and by velnr itself, which also writes the PNG texts back.
TEST_P(Metadata, ExifXmpTextsAndProfileAreCopiedAndPixelsStay) {
    const auto [ext, type, channels] = GetParam();
    test::ScratchDir dir, config;
    const std::string in = dir / "in." + ext, out = dir / "out." + ext, run = dir / "run." + ext;
    Image image = test::MakeImage(40, 30, channels, type, 11);
    image.icc = test::MakeIccProfile(channels >= 3 ? "RGB " : "GRAY");
    Write(in, image);
    Write(out, image);
    const auto bare = test::ReadBytes(out);
    std::string error;
    ASSERT_TRUE(Copy(in, out, error)) << error;
    EXPECT_EQ(test::ReadBytes(out), bare);  // nothing to copy: left alone
    image.png.texts = {
        {"Title", "Harbour at night", false, false, "", ""},
        {"Author", "Test Photographer", true, false, "", ""},
        {"Copyright", "\xc2\xa9 2026 Test Photographer", false, true, "en", "Copyright"},
        {"Comment", std::string(300, 'x'), true, true, "", ""}};
    Write(in, image);
    Tag(in);
    ASSERT_TRUE(Copy(in, out, error)) << error;
    const test::RunResult r = test::RunVelnr({"--plugin", VELNR_FAKE_PLUGIN, "-q", "-o", run, in},
                                             {{"XDG_CONFIG_HOME", config.Path()}});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& path : {out, run}) {
        ExpectTagged(path);
        EXPECT_EQ(Read(path).icc, image.icc);
    }
    EXPECT_TRUE(FormatOf(in) == Jpeg || test::SamplesEqual(image, Read(out)));
    const std::vector<PngText> texts = Read(run).png.texts;
    for (const PngText& text : FormatOf(in) == Png ? image.png.texts : std::vector<PngText>{}) {
        EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 1) << text.key;  // kind too
    }
    test::WriteText(out, "not an image");
    EXPECT_FALSE(Copy(in, out, error));
    EXPECT_NE(error.find("metadata"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Formats, Metadata,
                         testing::Values(std::tuple{std::string("tif"), SampleType::UInt16, 3},
                                         std::tuple{std::string("tif"), SampleType::Float32, 4},
                                         std::tuple{std::string("tif"), SampleType::UInt8, 1},
                                         std::tuple{std::string("png"), SampleType::UInt16, 4},
                                         std::tuple{std::string("png"), SampleType::UInt8, 1},
                                         std::tuple{std::string("jpg"), SampleType::UInt8, 3}));

TEST(MetadataAcrossFormats, TiffLayoutTagsStayBehindAndTheProfileIsStoredOnce) {
    test::ScratchDir dir;
    const std::vector<uint8_t> icc = test::MakeIccProfile("RGB ");
    {  // an 8-bit RGB TIFF as a scanner or editor writes it
        const auto tif = test::NewTiff(dir / "in.tif", 16, 8, 3, 8, PHOTOMETRIC_RGB);
        TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif.get(), TIFFTAG_PAGENUMBER, 0, 1);
        TIFFSetField(tif.get(), TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
        std::vector<uint8_t> data(16 * 8 * 3);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(i * 5);
        }
        ASSERT_GE(TIFFWriteEncodedStrip(tif.get(), 0, data.data(), 16 * 8 * 3), 0);
    }
    Tag(dir / "in.tif");
    std::vector<std::string> keys;
    std::istringstream list(
        "Predictor PageNumber InterColorProfile BitsPerSample ImageWidth ImageLength Compression "
        "StripOffsets StripByteCounts RowsPerStrip SamplesPerPixel SampleFormat "
        "PhotometricInterpretation PlanarConfiguration");
    for (std::string key; list >> key;) {
        keys.push_back("Exif.Image." + key);
    }
    for (size_t k = 0; k < 4; ++k) {  // the source does hold them, so the checks below can fail
        ASSERT_TRUE(Has(Open(dir / "in.tif"), keys[k])) << keys[k];
    }
    const Image image = Read(dir / "in.tif");
    ASSERT_EQ(image.icc, icc);
    for (const std::string out : {"out.jpg", "out.png"}) {
        Write(dir / out, image);
        std::string error;
        ASSERT_TRUE(Copy(dir / "in.tif", dir / out, error)) << error;
        ExpectTagged(dir / out);
        for (const std::string& key : keys) {
            EXPECT_FALSE(Has(Open(dir / out), key)) << key << " in " << out;
        }
        const Image back = Read(dir / out);
        EXPECT_EQ(back.icc, icc);
        EXPECT_TRUE(test::SamplesEqual(image, back) || FormatOf(out) == Jpeg);
        // A JPEG holds the profile as it is (so once, not also in its EXIF), a PNG compressed in
        // one iCCP chunk (its EXIF is checked above).
        const std::vector<uint8_t> bytes = test::ReadBytes(dir / out);
        const std::vector<uint8_t> what =
            out == "out.png" ? std::vector<uint8_t>{'i', 'C', 'C', 'P'} : icc;
        int found = 0;
        for (auto at = bytes.begin();
             (at = std::search(at, bytes.end(), what.begin(), what.end())) != bytes.end(); ++at) {
            ++found;
        }
        EXPECT_EQ(found, 1) << out;
    }
}

TEST(MetadataAcrossFormats, NoSecondPictureReachesATiff) {
    test::ScratchDir dir;
    std::string error;
    const auto directories = [&](const std::string& path) {
        const test::TiffFile tif(TIFFOpen(path.c_str(), "r"));
        return tif != nullptr ? TIFFNumberOfDirectories(tif.get()) : 0;
    };
    // Further directories, a reduced copy and a mask: read as one picture, and exiv2 would
    // otherwise copy those directories into the output.
    test::WritePages(dir / "reduced.tif", {0, FILETYPE_REDUCEDIMAGE, FILETYPE_MASK},
                     "Test Photographer");
    Write(dir / "out.tif", Read(dir / "reduced.tif"));
    ASSERT_TRUE(Copy(dir / "reduced.tif", dir / "out.tif", error)) << error;
    EXPECT_EQ(directories(dir / "out.tif"), 1);
    EXPECT_TRUE(Has(Open(dir / "out.tif"), "Exif.Image.Artist"));
    // A JPEG with an EXIF thumbnail: kept in a JPEG, left out of a TIFF.
    const Image rgb = test::MakeImage(32, 24, 3, SampleType::UInt8, 14);
    Write(dir / "thumb.jpg", test::MakeImage(8, 6, 3, SampleType::UInt8, 15));
    Write(dir / "in.jpg", rgb);
    auto in = Open(dir / "in.jpg");
    in->exifData()["Exif.Image.Artist"] = "Test Photographer";
    const std::vector<uint8_t> thumb = test::ReadBytes(dir / "thumb.jpg");
    Exiv2::ExifThumb(in->exifData())
        .setJpegThumbnail(thumb.data(), static_cast<long>(thumb.size()));
    in->writeMetadata();
    for (const char* out : {"j.tif", "j.jpg"}) {
        Write(dir / out, rgb);
        ASSERT_TRUE(Copy(dir / "in.jpg", dir / out, error)) << error;
    }
    EXPECT_EQ(directories(dir / "j.tif"), 1);
    EXPECT_NE(Exiv2::ExifThumbC(Open(dir / "j.jpg")->exifData()).copy().size_, 0);
}

}  // namespace
}  // namespace velnr
