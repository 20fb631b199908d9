// EXIF, XMP and the ICC profile survive the copy from an input to its output.

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "host/ImageIO.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace velnr {
namespace {

void Tag(const std::string& path) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    exif["Exif.Image.Artist"] = "Test Photographer";
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t{3200};
    Exiv2::XmpData xmp = image->xmpData();
    xmp["Xmp.dc.title"] = "lang=\"x-default\" Night street";
    image->setExifData(exif);
    image->setXmpData(xmp);
    image->writeMetadata();
}

void ExpectTagged(const std::string& path) {
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    auto artist = exif.findKey(Exiv2::ExifKey("Exif.Image.Artist"));
    ASSERT_NE(artist, exif.end()) << path;
    EXPECT_EQ(artist->toString(), "Test Photographer");
    auto iso = exif.findKey(Exiv2::ExifKey("Exif.Photo.ISOSpeedRatings"));
    ASSERT_NE(iso, exif.end()) << path;
    EXPECT_EQ(iso->toLong(), 3200);
    const Exiv2::XmpData& xmp = image->xmpData();
    auto title = xmp.findKey(Exiv2::XmpKey("Xmp.dc.title"));
    ASSERT_NE(title, xmp.end()) << path;
    EXPECT_NE(title->toString().find("Night street"), std::string::npos);
}

class Metadata : public testing::TestWithParam<std::tuple<FileFormat, SampleType, int>> {};

TEST_P(Metadata, ExifXmpAndProfileAreCopiedAndPixelsStay) {
    const auto [format, type, channels] = GetParam();
    test::ScratchDir dir;
    const char* ext = format == FileFormat::Tiff  ? "tif"
                      : format == FileFormat::Png ? "png"
                                                  : "jpg";
    const std::string in = dir / (std::string("in.") + ext);
    const std::string out = dir / (std::string("out.") + ext);
    Image image = test::MakeImage(40, 30, channels, type, 11);
    image.icc = test::MakeIccProfile(channels >= 3 ? "RGB " : "GRAY");
    std::string error;
    ASSERT_TRUE(WriteImage(in, format, image, {}, error)) << error;
    Tag(in);
    ASSERT_TRUE(WriteImage(out, format, image, {}, error)) << error;
    ASSERT_TRUE(CopyMetadata(in, out, error)) << error;
    ExpectTagged(out);
    Image back;
    ASSERT_TRUE(ReadImage(out, back, error)) << error;
    EXPECT_EQ(back.icc, image.icc);
    if (format != FileFormat::Jpeg) {
        EXPECT_TRUE(test::SamplesEqual(image, back));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Metadata,
                         testing::Values(std::tuple{FileFormat::Tiff, SampleType::UInt16, 3},
                                         std::tuple{FileFormat::Tiff, SampleType::Float32, 4},
                                         std::tuple{FileFormat::Tiff, SampleType::UInt8, 1},
                                         std::tuple{FileFormat::Png, SampleType::UInt16, 4},
                                         std::tuple{FileFormat::Png, SampleType::UInt8, 1},
                                         std::tuple{FileFormat::Jpeg, SampleType::UInt8, 3}));

TEST(MetadataCopy, FileWithoutMetadataLeavesOutputAloneAndBadTargetIsReported) {
    test::ScratchDir dir;
    Image image = test::MakeImage(8, 8, 3, SampleType::UInt8, 12);
    std::string error;
    ASSERT_TRUE(WriteImage(dir / "a.png", FileFormat::Png, image, {}, error));
    ASSERT_TRUE(WriteImage(dir / "b.png", FileFormat::Png, image, {}, error));
    const auto before = test::ReadBytes(dir / "b.png");
    EXPECT_TRUE(CopyMetadata(dir / "a.png", dir / "b.png", error)) << error;
    EXPECT_EQ(test::ReadBytes(dir / "b.png"), before);
    Tag(dir / "a.png");
    test::WriteText(dir / "c.png", "not an image");
    EXPECT_FALSE(CopyMetadata(dir / "a.png", dir / "c.png", error));
    EXPECT_NE(error.find("metadata"), std::string::npos);
}

}  // namespace
}  // namespace velnr

namespace velnr {
namespace {

TEST(MetadataThroughVelnr, OutputsKeepExifXmpAndProfile) {
    test::ScratchDir dir;
    test::ScratchDir config;
    for (const char* name : {"in.tif", "in.png", "in.jpg"}) {
        FileFormat format{};
        ASSERT_TRUE(FormatFromExtension(name, format));
        Image image = test::MakeImage(24, 16, 3, SampleType::UInt8, 13);
        image.icc = test::MakeIccProfile("RGB ");
        std::string error;
        ASSERT_TRUE(WriteImage(dir / name, format, image, {}, error)) << error;
        Tag(dir / name);
        const std::string out = dir / (std::string("out-") + name);
        const test::RunResult r =
            test::RunVelnr({"--plugin", VELNR_FAKE_PLUGIN, "-q", "-o", out, dir / name},
                           {{"XDG_CONFIG_HOME", config.Path()}});
        ASSERT_EQ(r.status, 0) << r.err;
        ExpectTagged(out);
        Image back;
        ASSERT_TRUE(ReadImage(out, back, error)) << error;
        EXPECT_EQ(back.icc, image.icc) << name;
    }
}

}  // namespace
}  // namespace velnr
