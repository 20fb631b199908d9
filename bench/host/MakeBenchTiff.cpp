// velnr_bench_tiff: writes the picture velnr's memory and speed are measured on, a 16-bit RGB
// TIFF of a camera's size (6000 x 4000 unless told otherwise) with a photograph's metadata.
//   velnr_bench_tiff OUT.tif [WIDTH HEIGHT [none|lzw|zip]]   (default zip)
// Smooth gradients under seeded noise: compressible about as much as a real photograph, and
// the same file on every run and every machine.

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

// The EXIF that a raw converter's TIFF carries: baseline tags, an EXIF directory, XMP.
constexpr char kXmp[] =
    "<?xpacket begin='\xef\xbb\xbf' id='W5M0MpCehiHzreSzNTczkc9d'?>"
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
    "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
    "xml:lang='x-default'>Night street</rdf:li></rdf:Alt></dc:title></rdf:Description>"
    "</rdf:RDF></x:xmpmeta><?xpacket end='w'?>";

bool WriteExif(TIFF* tif, uint64_t& offset) {
    if (TIFFCreateEXIFDirectory(tif) != 0) {
        return false;
    }
    const double exposure = 1.0 / 60.0;
    const uint16_t iso[] = {3200};
    TIFFSetField(tif, EXIFTAG_EXPOSURETIME, exposure);
    TIFFSetField(tif, EXIFTAG_FNUMBER, 2.8);
    TIFFSetField(tif, EXIFTAG_ISOSPEEDRATINGS, 1, iso);
    TIFFSetField(tif, EXIFTAG_DATETIMEORIGINAL, "2026:01:15 21:04:33");
    TIFFSetField(tif, EXIFTAG_FOCALLENGTH, 35.0);
    return TIFFWriteCustomDirectory(tif, &offset) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: velnr_bench_tiff OUT.tif [WIDTH HEIGHT [none|lzw|zip]]\n");
        return 2;
    }
    const uint32_t width =
        argc >= 4 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 6000;
    const uint32_t height =
        argc >= 4 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 4000;
    const std::string kind = argc == 5 ? argv[4] : "zip";
    const uint16_t compression = kind == "none"  ? COMPRESSION_NONE
                                 : kind == "lzw" ? COMPRESSION_LZW
                                                 : COMPRESSION_ADOBE_DEFLATE;
    if (width == 0 || height == 0 || (kind != "none" && kind != "lzw" && kind != "zip")) {
        std::fprintf(stderr, "velnr_bench_tiff: bad size or compression\n");
        return 2;
    }
    const std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(argv[1], "w"));
    if (!tif) {
        return 1;
    }
    TIFF* t = tif.get();
    const uint32_t rowsPerStrip = 16;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    if (compression != COMPRESSION_NONE) {
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0);
    TIFFSetField(t, TIFFTAG_MAKE, "Bench Camera Co.");
    TIFFSetField(t, TIFFTAG_MODEL, "Bench 24");
    TIFFSetField(t, TIFFTAG_ARTIST, "Test Photographer");
    TIFFSetField(t, TIFFTAG_DATETIME, "2026:01:15 21:04:33");
    TIFFSetField(t, TIFFTAG_XMLPACKET, static_cast<uint32_t>(std::strlen(kXmp)), kXmp);
    // Written last, the EXIF directory's offset is patched in by libtiff's rewrite.
    TIFFSetField(t, TIFFTAG_EXIFIFD, uint64_t{0});

    std::mt19937 random(2026);
    std::normal_distribution<float> noise(0.0f, 900.0f);
    std::vector<uint16_t> strip(static_cast<size_t>(width) * 3 * rowsPerStrip);
    for (uint32_t y0 = 0, s = 0; y0 < height; y0 += rowsPerStrip, ++s) {
        const uint32_t rows = std::min(rowsPerStrip, height - y0);
        for (uint32_t r = 0; r < rows; ++r) {
            for (uint32_t x = 0; x < width; ++x) {
                for (uint32_t c = 0; c < 3; ++c) {
                    const float base = 8000.0f + 40000.0f *
                                                     static_cast<float>(x + (c + 1) * (y0 + r)) /
                                                     static_cast<float>(width + 3 * height);
                    const float v = std::min(65535.0f, std::max(0.0f, base + noise(random)));
                    strip[(static_cast<size_t>(r) * width + x) * 3 + c] = static_cast<uint16_t>(v);
                }
            }
        }
        if (TIFFWriteEncodedStrip(t, s, strip.data(), static_cast<tmsize_t>(rows) * width * 3 * 2) <
            0) {
            return 1;
        }
    }
    if (!TIFFWriteDirectory(t)) {
        return 1;
    }
    uint64_t exifOffset = 0;
    if (!WriteExif(t, exifOffset) || !TIFFSetDirectory(t, 0) ||
        !TIFFSetField(t, TIFFTAG_EXIFIFD, exifOffset) || !TIFFRewriteDirectory(t)) {
        std::fprintf(stderr, "velnr_bench_tiff: cannot write the EXIF directory\n");
        return 1;
    }
    return 0;
}
