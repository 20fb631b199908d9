// EXIF, IPTC, XMP and the comment, copied from the input file to the output by exiv2.

// exiv2 0.27's interface hands out std::auto_ptr, deprecated in C++20; this file is the only
// place that touches it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <mutex>

#include "host/ImageIO.h"

namespace velnr {

namespace {

void InitialiseExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

// TIFF tags of the first directory that describe how the old file stored its picture, not the
// picture: wrong for a file of another format, which keeps its own layout elsewhere. A TIFF
// writer sets its own, so a TIFF that has nothing else has nothing to copy.
constexpr uint16_t kStorageTags[] = {
    0x00fe,  // NewSubfileType
    0x00ff,  // SubfileType
    0x0100,  // ImageWidth
    0x0101,  // ImageLength
    0x0102,  // BitsPerSample
    0x0103,  // Compression
    0x0106,  // PhotometricInterpretation
    0x0107,  // Thresholding
    0x0108,  // CellWidth
    0x0109,  // CellLength
    0x010a,  // FillOrder
    0x0111,  // StripOffsets
    0x0115,  // SamplesPerPixel
    0x0116,  // RowsPerStrip
    0x0117,  // StripByteCounts
    0x0118,  // MinSampleValue
    0x0119,  // MaxSampleValue
    0x011c,  // PlanarConfiguration
    0x0120,  // FreeOffsets
    0x0121,  // FreeByteCounts
    0x0122,  // GrayResponseUnit
    0x0123,  // GrayResponseCurve
    0x0124,  // T4Options
    0x0125,  // T6Options
    0x013d,  // Predictor
    0x0140,  // ColorMap
    0x0141,  // HalftoneHints
    0x0142,  // TileWidth
    0x0143,  // TileLength
    0x0144,  // TileOffsets
    0x0145,  // TileByteCounts
    0x014a,  // SubIFDs
    0x014c,  // InkSet
    0x014d,  // InkNames
    0x014e,  // NumberOfInks
    0x0150,  // DotRange
    0x0152,  // ExtraSamples
    0x0153,  // SampleFormat
    0x0154,  // SMinSampleValue
    0x0155,  // SMaxSampleValue
    0x015a,  // Indexed
    0x015b,  // JPEGTables
    0x0200,  // JPEGProc
    0x0201,  // JPEGInterchangeFormat
    0x0202,  // JPEGInterchangeFormatLength
    0x0203,  // JPEGRestartInterval
    0x0211,  // YCbCrCoefficients
    0x0212,  // YCbCrSubSampling
    0x0213,  // YCbCrPositioning
    0x0214,  // ReferenceBlackWhite
};
// The rest of the old file's layout, dropped with the above when the format changes.
constexpr uint16_t kOtherLayoutTags[] = {
    0x0129,  // PageNumber
    0x02bc,  // XMLPacket: the XMP, which exiv2 carries on its own
    0x83bb,  // IPTCNAA: the IPTC, likewise
    0x8649,  // ImageResources: the IPTC's container in TIFF
};
constexpr uint16_t kInterColorProfile = 0x8773;
constexpr uint16_t kOrientation = 0x0112;

template <size_t N>
bool Contains(const uint16_t (&tags)[N], uint16_t tag) {
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

// Drops what must not reach the output's EXIF. The writer has stored the profile already: a
// copy in the EXIF would be a second one. A TIFF's directories after the first are further
// pages or reduced copies of the old picture (exiv2 calls the second "Thumbnail"), and a
// thumbnail written into a TIFF would become a second page.
void FilterExif(Exiv2::ExifData& exif, FileFormat fromFormat, FileFormat toFormat) {
    const bool formatChanges = fromFormat != toFormat;
    for (auto it = exif.begin(); it != exif.end();) {
        const std::string group = it->groupName();
        const uint16_t tag = it->tag();
        bool drop = false;
        if (group == "Image") {
            drop = tag == kInterColorProfile ||
                   (formatChanges &&
                    (Contains(kStorageTags, tag) || Contains(kOtherLayoutTags, tag))) ||
                   (fromFormat == FileFormat::Tiff && tag == 0x014a);  // SubIFDs
        } else if (group == "Thumbnail") {
            drop = fromFormat == FileFormat::Tiff || toFormat == FileFormat::Tiff;
        } else if (fromFormat == FileFormat::Tiff) {
            // Image2, SubImage1... hold further TIFF directories.
            drop = group.rfind("Image", 0) == 0 || group.rfind("SubImage", 0) == 0 ||
                   group.rfind("SubThumb", 0) == 0;
        }
        it = drop ? exif.erase(it) : std::next(it);
    }
}

// Writing metadata into a TIFF rewrites the whole file, so it is skipped when it would add
// nothing: the old file's storage, and in a TIFF the orientation the writer has set.
bool NothingToAdd(const Exiv2::ExifData& exif, FileFormat toFormat) {
    return std::all_of(exif.begin(), exif.end(), [toFormat](const Exiv2::Exifdatum& datum) {
        if (datum.groupName() != "Image") {
            return false;
        }
        if (datum.tag() == kOrientation) {
            return toFormat == FileFormat::Tiff && datum.count() == 1 && datum.toLong() == 1;
        }
        return Contains(kStorageTags, datum.tag());
    });
}

}  // namespace

bool CopyMetadata(const std::string& from, FileFormat fromFormat, const std::string& to,
                  FileFormat toFormat, std::string& error) {
    InitialiseExiv2();
    try {
        auto source = Exiv2::ImageFactory::open(from);
        source->readMetadata();
        Exiv2::ExifData exif = source->exifData();
        FilterExif(exif, fromFormat, toFormat);
        if (NothingToAdd(exif, toFormat) && source->iptcData().empty() &&
            source->xmpData().empty() && source->comment().empty()) {
            return true;
        }
        auto target = Exiv2::ImageFactory::open(to);
        target->readMetadata();  // so that the profile the writer put there is written back
        target->setExifData(exif);
        target->setIptcData(source->iptcData());
        target->setXmpData(source->xmpData());
        if (!source->comment().empty()) {
            target->setComment(source->comment());
        }
        target->writeMetadata();
    } catch (const Exiv2::AnyError& e) {
        error = std::string("metadata not copied: ") + e.what();
        return false;
    } catch (const std::exception& e) {
        error = std::string("metadata not copied: ") + e.what();
        return false;
    }
    return true;
}

}  // namespace velnr

#pragma GCC diagnostic pop
