// EXIF, XMP, PNG texts and the ICC profile survive the copy from an input to its output, and
// nothing of the old file's layout or further pictures comes along.

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <gtest/gtest.h>

#include <algorithm>

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

void Tag(const std::string& path) {
    auto image = Open(path);
    image->exifData()["Exif.Image.Artist"] = "Test Photographer";
    image->exifData()["Exif.Photo.ISOSpeedRatings"] = uint16_t{3200};
    image->xmpData()["Xmp.dc.title"] = "lang=\"x-default\" Night street";
    image->writeMetadata();
}

void ExpectTagged(const std::string& path) {
    const auto image = Open(path);
    EXPECT_EQ(image->exifData()["Exif.Image.Artist"].toString(), "Test Photographer") << path;
    EXPECT_EQ(image->exifData()["Exif.Photo.ISOSpeedRatings"].toLong(), 3200) << path;
    EXPECT_NE(image->xmpData()["Xmp.dc.title"].toString().find("Night street"), std::string::npos)
        << path;
}

class Metadata : public testing::TestWithParam<std::tuple<const char*, SampleType, int>> {};

// Copied by the library call and by velnr itself, which also writes the PNG texts back.
TEST_P(Metadata, ExifXmpTextsAndProfileAreCopiedAndPixelsStay) {
    const auto [ext, type, channels] = GetParam();
    test::ScratchDir dir, config;
    const std::string in = dir / "in." + std::string(ext), out = dir / "out." + std::string(ext),
                      run = dir / "run." + std::string(ext);
    Image image = test::MakeImage(40, 30, channels, type, 11);
    image.icc = test::MakeIccProfile(channels >= 3 ? "RGB " : "GRAY");
    Write(out, image);
    image.png.texts = {
        {"Title", "Harbour at night", false, false, "", ""},
        {"Author", "Test Photographer", true, false, "", ""},
        {"Copyright", "\xc2\xa9 2026 Test Photographer", false, true, "en", "Copyright"},
        {"Comment", std::string(300, 'x'), true, true, "", ""}};
    Write(in, image);
    Tag(in);
    std::string error;
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
    test::WriteAll(out, "not an image");
    EXPECT_FALSE(Copy(in, out, error));
    EXPECT_NE(error.find("metadata"), std::string::npos);
}

// Every TIFF has its layout tags (and ours the orientation top-left): a TIFF with nothing else
// leaves a TIFF output as the writer made it (adding metadata rewrites the whole file), and a
// target that is not an image is then no error. Another orientation is copied.
TEST(MetadataTest, ATiffWithOnlyItsLayoutHasNothingToCopy) {
    test::ScratchDir dir;
    const std::string in = dir / "in.tif", out = dir / "out.tif";
    Image image = test::MakeImage(40, 30, 3, SampleType::UInt16, 5);
    image.icc = test::MakeIccProfile("RGB ");
    Write(in, image);
    Write(out, test::MakeImage(30, 20, 3, SampleType::UInt8, 6));
    const std::vector<uint8_t> written = test::ReadBytes(out);
    std::string error;
    ASSERT_TRUE(Copy(in, out, error)) << error;
    EXPECT_EQ(test::ReadBytes(out), written);
    test::WriteAll(out, "not an image");
    EXPECT_TRUE(Copy(in, out, error)) << error;

    auto source = Open(in);
    source->exifData()["Exif.Image.Orientation"] = uint16_t{6};
    source->writeMetadata();
    Write(out, image);
    ASSERT_TRUE(Copy(in, out, error)) << error;
    EXPECT_EQ(Open(out)->exifData()["Exif.Image.Orientation"].toLong(), 6);
}

using enum SampleType;
INSTANTIATE_TEST_SUITE_P(Formats, Metadata,
                         testing::Values(std::tuple{"tif", UInt16, 3},
                                         std::tuple{"tif", Float32, 4}, std::tuple{"tif", UInt8, 1},
                                         std::tuple{"png", UInt16, 4}, std::tuple{"png", UInt8, 1},
                                         std::tuple{"jpg", UInt8, 3}));

}  // namespace
}  // namespace velnr
