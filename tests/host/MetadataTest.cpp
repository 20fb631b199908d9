// EXIF, XMP, PNG texts and the ICC profile survive the copy from an input to its output, and
// nothing of the old file's layout comes along.

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <map>

#include "TestSupport.h"
#include "host/ImageIO.h"

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
    const auto artist = image->exifData().findKey(Exiv2::ExifKey("Exif.Image.Artist"));
    const auto iso = image->exifData().findKey(Exiv2::ExifKey("Exif.Photo.ISOSpeedRatings"));
    const auto title = image->xmpData().findKey(Exiv2::XmpKey("Xmp.dc.title"));
    ASSERT_TRUE(artist != image->exifData().end() && iso != image->exifData().end() &&
                title != image->xmpData().end())
        << path;
    EXPECT_EQ(artist->toString(), "Test Photographer");
    EXPECT_EQ(iso->toLong(), 3200);
    EXPECT_NE(title->toString().find("Night street"), std::string::npos);
}

class Metadata : public testing::TestWithParam<std::tuple<const char*, SampleType, int>> {};

// Copied by the library call and by velnr itself, which also rewrites the pixels.
TEST_P(Metadata, ExifXmpAndProfileAreCopiedAndPixelsStay) {
    const auto [ext, type, channels] = GetParam();
    test::ScratchDir dir;
    const std::string in = dir / (std::string("in.") + ext);
    const std::string out = dir / (std::string("out.") + ext);
    const std::string run = dir / (std::string("run.") + ext);
    Image image = test::MakeImage(40, 30, channels, type, 11);
    image.icc = test::MakeIccProfile(channels >= 3 ? "RGB " : "GRAY");
    Write(in, image);
    Tag(in);
    Write(out, image);
    std::string error;
    ASSERT_TRUE(CopyMetadata(in, FormatOf(in), out, FormatOf(out), error)) << error;
    test::ScratchDir config;
    const test::RunResult r = test::RunVelnr({"--plugin", VELNR_FAKE_PLUGIN, "-q", "-o", run, in},
                                             {{"XDG_CONFIG_HOME", config.Path()}});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& path : {out, run}) {
        ExpectTagged(path);
        EXPECT_EQ(Read(path).icc, image.icc);
    }
    EXPECT_TRUE(FormatOf(in) == Jpeg || test::SamplesEqual(image, Read(out)));
}

INSTANTIATE_TEST_SUITE_P(Formats, Metadata,
                         testing::Values(std::tuple{"tif", SampleType::UInt16, 3},
                                         std::tuple{"tif", SampleType::Float32, 4},
                                         std::tuple{"tif", SampleType::UInt8, 1},
                                         std::tuple{"png", SampleType::UInt16, 4},
                                         std::tuple{"png", SampleType::UInt8, 1},
                                         std::tuple{"jpg", SampleType::UInt8, 3}));

TEST(MetadataCopy, FileWithoutMetadataLeavesOutputAloneAndBadTargetIsReported) {
    test::ScratchDir dir;
    const Image image = test::MakeImage(8, 8, 3, SampleType::UInt8, 12);
    Write(dir / "a.png", image);
    Write(dir / "b.png", image);
    const auto before = test::ReadBytes(dir / "b.png");
    std::string error;
    EXPECT_TRUE(CopyMetadata(dir / "a.png", Png, dir / "b.png", Png, error)) << error;
    EXPECT_EQ(test::ReadBytes(dir / "b.png"), before);
    Tag(dir / "a.png");
    test::WriteText(dir / "c.png", "not an image");
    EXPECT_FALSE(CopyMetadata(dir / "a.png", Png, dir / "c.png", Png, error));
    EXPECT_NE(error.find("metadata"), std::string::npos);
}

// A JPEG's or PNG's segments: (kind, payload). JPEG: marker byte; PNG: the 4-letter type.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Segments(const std::string& path) {
    const std::vector<uint8_t> b = test::ReadBytes(path);
    const bool png = b.size() > 8 && b[0] == 0x89;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    // PNG chunks: length, type, data, CRC; JPEG markers up to the start of scan.
    for (size_t i = png ? 8 : 2; i + 12 <= b.size() && (png || b[i] == 0xff);) {
        const auto at = [&](size_t k) { return b.begin() + static_cast<long>(k); };
        const size_t n = png ? (size_t{b[i]} << 24) | (size_t{b[i + 1]} << 16) |
                                   (size_t{b[i + 2]} << 8) | b[i + 3]
                             : (size_t{b[i + 2]} << 8) | b[i + 3];
        if (png ? i + 12 + n > b.size() : n < 2 || i + 2 + n > b.size()) {
            break;
        }
        out.emplace_back(png ? std::string(at(i + 4), at(i + 8)) : std::to_string(b[i + 1]),
                         png ? std::vector<uint8_t>(at(i + 8), at(i + 8 + n))
                             : std::vector<uint8_t>(at(i + 4), at(i + 2 + n)));
        if (!png && b[i + 1] == 0xda) {
            break;
        }
        i += png ? 12 + n : 2 + n;
    }
    return out;
}

tdir_t Directories(const std::string& path) {
    const test::TiffFile tif(TIFFOpen(path.c_str(), "r"));
    return tif != nullptr ? TIFFNumberOfDirectories(tif.get()) : 0;
}

TEST(MetadataAcrossFormats, TiffLayoutTagsStayBehindAndTheProfileIsStoredOnce) {
    test::ScratchDir dir;
    const std::vector<uint8_t> icc = test::MakeIccProfile("RGB ");
    {  // an 8-bit RGB TIFF as a scanner or editor writes it
        const auto tif = test::NewTiff(dir / "in.tif", 16, 8, 3, 8, PHOTOMETRIC_RGB);
        TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif.get(), TIFFTAG_PAGENUMBER, 0, 1);
        TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, 4);
        TIFFSetField(tif.get(), TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
        std::vector<uint8_t> data(16 * 8 * 3);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(i * 5);
        }
        for (uint32_t strip = 0; strip < 2; ++strip) {
            ASSERT_GE(
                TIFFWriteEncodedStrip(tif.get(), strip, &data[strip * 16 * 4 * 3], 16 * 4 * 3), 0);
        }
    }
    Tag(dir / "in.tif");
    const char* layoutKeys[] = {"Predictor",
                                "PageNumber",
                                "InterColorProfile",
                                "BitsPerSample",
                                "ImageWidth",
                                "ImageLength",
                                "Compression",
                                "StripOffsets",
                                "StripByteCounts",
                                "RowsPerStrip",
                                "SamplesPerPixel",
                                "SampleFormat",
                                "PhotometricInterpretation",
                                "PlanarConfiguration"};
    auto source = Exiv2::ImageFactory::open(dir / "in.tif");
    source->readMetadata();
    for (size_t k = 0; k < 4; ++k) {  // the source does hold them, so the checks below can fail
        ASSERT_NE(
            source->exifData().findKey(Exiv2::ExifKey(std::string("Exif.Image.") + layoutKeys[k])),
            source->exifData().end())
            << layoutKeys[k];
    }
    const Image image = Read(dir / "in.tif");
    ASSERT_EQ(image.icc, icc);
    for (const char* out : {"out.jpg", "out.png"}) {
        Write(dir / out, image);
        std::string error;
        ASSERT_TRUE(CopyMetadata(dir / "in.tif", Tiff, dir / out, FormatOf(out), error)) << error;
        ExpectTagged(dir / out);
        auto target = Exiv2::ImageFactory::open(dir / out);
        target->readMetadata();
        for (const char* key : layoutKeys) {
            EXPECT_EQ(target->exifData().findKey(Exiv2::ExifKey(std::string("Exif.Image.") + key)),
                      target->exifData().end())
                << key << " in " << out;
        }
        const Image back = Read(dir / out);
        EXPECT_EQ(back.icc, icc);
        EXPECT_TRUE(test::SamplesEqual(image, back) || FormatOf(out) == Jpeg);
        int profiles = 0;
        for (const auto& [kind, data] : Segments(dir / out)) {
            // The JPEG's ICC_PROFILE marker or EXIF marker holding the profile as it is, or the
            // PNG's iCCP chunk (the PNG's EXIF is checked above, it is stored compressed).
            profiles += kind == "iCCP" ||
                        std::search(data.begin(), data.end(), icc.begin(), icc.end()) != data.end();
        }
        EXPECT_EQ(profiles, 1) << out;
    }
}

TEST(MetadataAcrossFormats, NoSecondPictureReachesATiff) {
    test::ScratchDir dir;
    std::string error;
    // Further directories, a reduced copy and a mask: read as one picture, and exiv2 would
    // otherwise copy those directories into the output.
    test::WritePages(dir / "reduced.tif", {0, FILETYPE_REDUCEDIMAGE, FILETYPE_MASK},
                     "Test Photographer");
    Write(dir / "out.tif", Read(dir / "reduced.tif"));
    ASSERT_TRUE(CopyMetadata(dir / "reduced.tif", Tiff, dir / "out.tif", Tiff, error)) << error;
    EXPECT_EQ(Directories(dir / "out.tif"), 1);
    auto copied = Exiv2::ImageFactory::open(dir / "out.tif");
    copied->readMetadata();
    EXPECT_NE(copied->exifData().findKey(Exiv2::ExifKey("Exif.Image.Artist")),
              copied->exifData().end());

    // A JPEG with an EXIF thumbnail: kept in a JPEG, left out of a TIFF.
    const Image rgb = test::MakeImage(32, 24, 3, SampleType::UInt8, 14);
    Write(dir / "thumb.jpg", test::MakeImage(8, 6, 3, SampleType::UInt8, 15));
    Write(dir / "in.jpg", rgb);
    auto in = Exiv2::ImageFactory::open(dir / "in.jpg");
    in->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Image.Artist"] = "Test Photographer";
    const std::vector<uint8_t> thumb = test::ReadBytes(dir / "thumb.jpg");
    Exiv2::ExifThumb(exif).setJpegThumbnail(thumb.data(), static_cast<long>(thumb.size()));
    in->setExifData(exif);
    in->writeMetadata();
    for (const char* out : {"j.tif", "j.jpg"}) {
        Write(dir / out, rgb);
        ASSERT_TRUE(CopyMetadata(dir / "in.jpg", Jpeg, dir / out, FormatOf(out), error)) << error;
    }
    EXPECT_EQ(Directories(dir / "j.tif"), 1);
    auto jpeg = Exiv2::ImageFactory::open(dir / "j.jpg");
    jpeg->readMetadata();
    EXPECT_NE(Exiv2::ExifThumbC(jpeg->exifData()).copy().size_, 0);
}

TEST(MetadataPng, EveryTextChunkIsKeptOnce) {
    test::ScratchDir dir;
    Image image = test::MakeImage(10, 6, 3, SampleType::UInt8, 16);
    image.png.texts = {
        {"Title", "Harbour at night", false, false, "", ""},
        {"Author", "Test Photographer", true, false, "", ""},
        {"Copyright", "\xc2\xa9 2026 Test Photographer", false, true, "en", "Copyright"},
        {"Comment", std::string(300, 'x'), true, true, "", ""},
        {"Description", "Long exposure", false, false, "", ""},
    };
    Write(dir / "in.png", image);
    Tag(dir / "in.png");
    const Image read = Read(dir / "in.png");
    // All read back but exiv2's own chunks (exiv2 rewrote the description in its own way).
    EXPECT_EQ(read.png.texts.size(), image.png.texts.size());
    for (const PngText& text : image.png.texts) {
        const bool same =
            std::find(read.png.texts.begin(), read.png.texts.end(), text) != read.png.texts.end();
        EXPECT_TRUE(same || text.key == "Description") << text.key;
    }
    Write(dir / "out.png", read);
    std::string error;
    ASSERT_TRUE(CopyMetadata(dir / "in.png", Png, dir / "out.png", Png, error)) << error;
    ExpectTagged(dir / "out.png");
    std::map<std::string, std::vector<std::string>> kindsByKey;
    for (const auto& [kind, data] : Segments(dir / "out.png")) {
        if (kind == "tEXt" || kind == "zTXt" || kind == "iTXt") {
            kindsByKey[std::string(data.begin(), std::find(data.begin(), data.end(), 0))].push_back(
                kind);
        }
    }
    for (const auto& [key, kind] : std::map<std::string, std::string>{
             {"Title", "tEXt"}, {"Author", "zTXt"}, {"Copyright", "iTXt"}, {"Comment", "iTXt"}}) {
        EXPECT_EQ(kindsByKey[key], std::vector<std::string>{kind}) << key;
    }
    EXPECT_EQ(kindsByKey["Description"].size(), 1u);
    EXPECT_EQ(kindsByKey["Raw profile type exif"].size(), 1u);
    const Image back = Read(dir / "out.png");
    for (const PngText& text : image.png.texts) {
        const auto found = std::find_if(back.png.texts.begin(), back.png.texts.end(),
                                        [&](const PngText& t) { return t.key == text.key; });
        ASSERT_NE(found, back.png.texts.end()) << text.key;
        EXPECT_EQ(found->text, text.text) << text.key;
    }
}

}  // namespace
}  // namespace velnr
