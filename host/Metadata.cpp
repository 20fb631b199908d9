// EXIF, IPTC, XMP and the comment, copied from the input file to the output by exiv2.

// exiv2 0.27's interface hands out std::auto_ptr, deprecated in C++20; this file is the only
// place that touches it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

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

}  // namespace

bool CopyMetadata(const std::string& from, const std::string& to, std::string& error) {
    InitialiseExiv2();
    try {
        auto source = Exiv2::ImageFactory::open(from);
        source->readMetadata();
        if (source->exifData().empty() && source->iptcData().empty() && source->xmpData().empty() &&
            source->comment().empty()) {
            return true;
        }
        auto target = Exiv2::ImageFactory::open(to);
        target->readMetadata();  // so that the profile the writer put there is written back
        target->setExifData(source->exifData());
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
