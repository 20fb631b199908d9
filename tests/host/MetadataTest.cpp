// EXIF, XMP and the ICC profile survive the copy from an input to its output.

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
    ASSERT_TRUE(CopyMetadata(in, format, out, format, error)) << error;
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
    EXPECT_TRUE(CopyMetadata(dir / "a.png", FileFormat::Png, dir / "b.png", FileFormat::Png, error))
        << error;
    EXPECT_EQ(test::ReadBytes(dir / "b.png"), before);
    Tag(dir / "a.png");
    test::WriteText(dir / "c.png", "not an image");
    EXPECT_FALSE(
        CopyMetadata(dir / "a.png", FileFormat::Png, dir / "c.png", FileFormat::Png, error));
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

namespace velnr {
namespace {

// A JPEG's or PNG's segments: (kind, payload). JPEG: marker byte; PNG: the 4-letter type.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Segments(const std::string& path) {
    const std::vector<uint8_t> b = test::ReadBytes(path);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    if (b.size() > 8 && b[0] == 0x89) {  // PNG: length, type, data, CRC
        for (size_t i = 8; i + 12 <= b.size();) {
            const size_t n = (size_t{b[i]} << 24) | (size_t{b[i + 1]} << 16) |
                             (size_t{b[i + 2]} << 8) | b[i + 3];
            if (i + 12 + n > b.size()) {
                break;
            }
            out.emplace_back(std::string(b.begin() + static_cast<long>(i) + 4,
                                         b.begin() + static_cast<long>(i) + 8),
                             std::vector<uint8_t>(b.begin() + static_cast<long>(i) + 8,
                                                  b.begin() + static_cast<long>(i + 8 + n)));
            i += 12 + n;
        }
        return out;
    }
    // JPEG: markers up to the start of scan.
    for (size_t i = 2; i + 4 <= b.size() && b[i] == 0xff;) {
        const uint8_t marker = b[i + 1];
        const size_t n = (size_t{b[i + 2]} << 8) | b[i + 3];
        if (n < 2 || i + 2 + n > b.size()) {
            break;
        }
        out.emplace_back(std::to_string(marker),
                         std::vector<uint8_t>(b.begin() + static_cast<long>(i) + 4,
                                              b.begin() + static_cast<long>(i + 2 + n)));
        if (marker == 0xda) {
            break;
        }
        i += 2 + n;
    }
    return out;
}

// An 8-bit RGB TIFF as a scanner or editor writes it: LZW with a predictor, page number,
// profile and artist in the first directory.
void WriteTaggedTiff(const std::string& path, const std::vector<uint8_t>& icc) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const uint32_t w = 16, h = 8;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, 0, 1);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
    TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
    std::vector<uint8_t> data(w * h * 3);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 5);
    }
    for (uint32_t strip = 0; strip < 2; ++strip) {
        ASSERT_GE(TIFFWriteEncodedStrip(tif, strip, data.data() + strip * w * 4 * 3, w * 4 * 3), 0);
    }
    TIFFClose(tif);
}

TEST(MetadataAcrossFormats, TiffLayoutTagsStayBehindAndTheProfileIsStoredOnce) {
    test::ScratchDir dir;
    const std::vector<uint8_t> icc = test::MakeIccProfile("RGB ");
    WriteTaggedTiff(dir / "in.tif", icc);
    Tag(dir / "in.tif");
    {  // the source does hold what must not be copied, so the checks below can fail
        auto source = Exiv2::ImageFactory::open(dir / "in.tif");
        source->readMetadata();
        for (const char* key : {"Exif.Image.Predictor", "Exif.Image.PageNumber",
                                "Exif.Image.InterColorProfile", "Exif.Image.BitsPerSample"}) {
            ASSERT_NE(source->exifData().findKey(Exiv2::ExifKey(key)), source->exifData().end())
                << key;
        }
    }
    std::string error;
    Image image;
    ASSERT_TRUE(ReadImage(dir / "in.tif", image, error)) << error;
    ASSERT_EQ(image.icc, icc);
    const char* layoutKeys[] = {
        "Exif.Image.ImageWidth",          "Exif.Image.ImageLength",
        "Exif.Image.BitsPerSample",       "Exif.Image.Compression",
        "Exif.Image.Predictor",           "Exif.Image.PageNumber",
        "Exif.Image.StripOffsets",        "Exif.Image.StripByteCounts",
        "Exif.Image.RowsPerStrip",        "Exif.Image.SamplesPerPixel",
        "Exif.Image.SampleFormat",        "Exif.Image.PhotometricInterpretation",
        "Exif.Image.PlanarConfiguration", "Exif.Image.InterColorProfile",
    };
    for (const FileFormat format : {FileFormat::Jpeg, FileFormat::Png}) {
        const std::string out = dir / (format == FileFormat::Jpeg ? "out.jpg" : "out.png");
        ASSERT_TRUE(WriteImage(out, format, image, {}, error)) << error;
        ASSERT_TRUE(CopyMetadata(dir / "in.tif", FileFormat::Tiff, out, format, error)) << error;
        ExpectTagged(out);
        auto target = Exiv2::ImageFactory::open(out);
        target->readMetadata();
        for (const char* key : layoutKeys) {
            EXPECT_EQ(target->exifData().findKey(Exiv2::ExifKey(key)), target->exifData().end())
                << key << " in " << FormatName(format);
        }
        Image back;
        ASSERT_TRUE(ReadImage(out, back, error)) << error;
        EXPECT_EQ(back.icc, icc);
        EXPECT_TRUE(test::SamplesEqual(image, back) || format == FileFormat::Jpeg);
        int profiles = 0;
        for (const auto& [kind, data] : Segments(out)) {
            // The JPEG's ICC_PROFILE marker or EXIF marker holding the profile as it is, or the
            // PNG's iCCP chunk (the PNG's EXIF is checked above, it is stored compressed).
            if (kind == "iCCP" ||
                std::search(data.begin(), data.end(), icc.begin(), icc.end()) != data.end()) {
                ++profiles;
            }
        }
        EXPECT_EQ(profiles, 1) << FormatName(format);
    }
}

tdir_t Directories(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return 0;
    }
    const tdir_t n = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);
    return n;
}

TEST(MetadataAcrossFormats, NoSecondPictureReachesATiff) {
    test::ScratchDir dir;
    std::string error;
    // A TIFF whose further directories are a reduced copy and a mask: read as one picture, and
    // exiv2 would otherwise copy those directories into the output.
    test::WritePages(dir / "reduced.tif", {0, FILETYPE_REDUCEDIMAGE, FILETYPE_MASK},
                     "Test Photographer");
    Image grey;
    ASSERT_TRUE(ReadImage(dir / "reduced.tif", grey, error)) << error;
    ASSERT_TRUE(WriteImage(dir / "out.tif", FileFormat::Tiff, grey, {}, error)) << error;
    ASSERT_TRUE(CopyMetadata(dir / "reduced.tif", FileFormat::Tiff, dir / "out.tif",
                             FileFormat::Tiff, error))
        << error;
    EXPECT_EQ(Directories(dir / "out.tif"), 1);
    auto copied = Exiv2::ImageFactory::open(dir / "out.tif");
    copied->readMetadata();
    EXPECT_NE(copied->exifData().findKey(Exiv2::ExifKey("Exif.Image.Artist")),
              copied->exifData().end());

    // A JPEG with an EXIF thumbnail: kept in a JPEG, left out of a TIFF.
    Image rgb = test::MakeImage(32, 24, 3, SampleType::UInt8, 14);
    ASSERT_TRUE(WriteImage(dir / "thumb.jpg", FileFormat::Jpeg,
                           test::MakeImage(8, 6, 3, SampleType::UInt8, 15), {}, error));
    ASSERT_TRUE(WriteImage(dir / "in.jpg", FileFormat::Jpeg, rgb, {}, error)) << error;
    {
        auto in = Exiv2::ImageFactory::open(dir / "in.jpg");
        in->readMetadata();
        Exiv2::ExifData exif;
        exif["Exif.Image.Artist"] = "Test Photographer";
        const std::vector<uint8_t> thumb = test::ReadBytes(dir / "thumb.jpg");
        Exiv2::ExifThumb(exif).setJpegThumbnail(thumb.data(), static_cast<long>(thumb.size()));
        in->setExifData(exif);
        in->writeMetadata();
    }
    ASSERT_TRUE(WriteImage(dir / "j.tif", FileFormat::Tiff, rgb, {}, error)) << error;
    ASSERT_TRUE(WriteImage(dir / "j.jpg", FileFormat::Jpeg, rgb, {}, error)) << error;
    ASSERT_TRUE(
        CopyMetadata(dir / "in.jpg", FileFormat::Jpeg, dir / "j.tif", FileFormat::Tiff, error))
        << error;
    ASSERT_TRUE(
        CopyMetadata(dir / "in.jpg", FileFormat::Jpeg, dir / "j.jpg", FileFormat::Jpeg, error))
        << error;
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
    std::string error;
    ASSERT_TRUE(WriteImage(dir / "in.png", FileFormat::Png, image, {}, error)) << error;
    Tag(dir / "in.png");
    Image read;
    ASSERT_TRUE(ReadImage(dir / "in.png", read, error)) << error;
    // All read back but exiv2's own chunks (exiv2 rewrote the description in its own way).
    EXPECT_EQ(read.png.texts.size(), image.png.texts.size());
    for (const PngText& text : image.png.texts) {
        const bool same =
            std::find(read.png.texts.begin(), read.png.texts.end(), text) != read.png.texts.end();
        EXPECT_TRUE(same || text.key == "Description") << text.key;
    }
    ASSERT_TRUE(WriteImage(dir / "out.png", FileFormat::Png, read, {}, error)) << error;
    ASSERT_TRUE(
        CopyMetadata(dir / "in.png", FileFormat::Png, dir / "out.png", FileFormat::Png, error))
        << error;
    ExpectTagged(dir / "out.png");

    std::map<std::string, std::vector<std::string>> kindsByKey;
    for (const auto& [kind, data] : Segments(dir / "out.png")) {
        if (kind == "tEXt" || kind == "zTXt" || kind == "iTXt") {
            const auto nul = std::find(data.begin(), data.end(), uint8_t{0});
            kindsByKey[std::string(data.begin(), nul)].push_back(kind);
        }
    }
    const std::map<std::string, std::string> expected = {
        {"Title", "tEXt"}, {"Author", "zTXt"}, {"Copyright", "iTXt"}, {"Comment", "iTXt"}};
    for (const auto& [key, kind] : expected) {
        EXPECT_EQ(kindsByKey[key], std::vector<std::string>{kind}) << key;
    }
    EXPECT_EQ(kindsByKey["Description"].size(), 1u);
    EXPECT_EQ(kindsByKey["Raw profile type exif"].size(), 1u);
    Image back;
    ASSERT_TRUE(ReadImage(dir / "out.png", back, error)) << error;
    for (const PngText& text : image.png.texts) {
        const auto found = std::find_if(back.png.texts.begin(), back.png.texts.end(),
                                        [&](const PngText& t) { return t.key == text.key; });
        ASSERT_NE(found, back.png.texts.end()) << text.key;
        EXPECT_EQ(found->text, text.text) << text.key;
    }
}

}  // namespace
}  // namespace velnr
