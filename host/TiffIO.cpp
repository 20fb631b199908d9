// TIFF through libtiff: 8/16-bit unsigned and 16/32-bit float samples (written as 32-bit),
// grey or RGB with an optional alpha channel, strips or tiles, contiguous or separate planes.

#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/ImageFormats.h"

namespace velnr::detail {

namespace {

thread_local std::string tLastTiffError;

// libtiff hands over its own printf format; the attribute tells the compilers so.
__attribute__((format(printf, 2, 0))) void TiffErrorHandler(const char* module, const char* format,
                                                            va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    tLastTiffError = text;
    (void)module;
}

void TiffWarningHandler(const char*, const char*, va_list) {}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr OpenTiff(const std::string& path, const char* mode) {
    static const bool installed = [] {
        TIFFSetErrorHandler(TiffErrorHandler);
        TIFFSetWarningHandler(TiffWarningHandler);
        return true;
    }();
    (void)installed;
    tLastTiffError.clear();
    return TiffPtr(TIFFOpen(path.c_str(), mode));
}

std::string TiffReason(const char* fallback) {
    return tLastTiffError.empty() ? std::string(fallback) : tLastTiffError;
}

// How samples are stored in the file being read.
enum class FileSample { UInt8, UInt16, Half, Float32 };

size_t BytesPerSample(SampleType type) {
    return type == SampleType::UInt8 ? 1 : (type == SampleType::UInt16 ? 2 : 4);
}

size_t BytesPerSample(FileSample kind) {
    return kind == FileSample::UInt8 ? 1 : (kind == FileSample::Float32 ? 4 : 2);
}

// IEEE half to float; every half value, subnormals, infinities and NaN payloads included, has
// an exact float.
float HalfToFloat(uint16_t half) {
    const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1fu;
    const uint32_t mantissa = half & 0x3ffu;
    uint32_t bits = 0;
    if (exponent == 0x1f) {
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 127 - 15) << 23) | (mantissa << 13);
    } else {
        const float magnitude = std::ldexp(static_cast<float>(mantissa), -24);
        return sign != 0 ? -magnitude : magnitude;
    }
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Decodes count samples, `step` samples apart in dst (1 for a contiguous run). The kind is
// chosen once per run, so that each loop is a plain one.
void DecodeRun(const unsigned char* src, FileSample kind, size_t count, float* dst, size_t step) {
    const auto each = [&](auto decode) {
        for (size_t i = 0; i < count; ++i) {
            dst[i * step] = decode(i);
        }
    };
    switch (kind) {
        case FileSample::UInt8:
            each([src](size_t i) { return static_cast<float>(src[i]) / 255.0f; });
            break;
        case FileSample::UInt16:
            each([src](size_t i) {
                uint16_t v;
                std::memcpy(&v, src + 2 * i, 2);
                return static_cast<float>(v) / 65535.0f;
            });
            break;
        case FileSample::Half:
            each([src](size_t i) {
                uint16_t v;
                std::memcpy(&v, src + 2 * i, 2);
                return HalfToFloat(v);
            });
            break;
        case FileSample::Float32:
            each([src](size_t i) {
                float v;
                std::memcpy(&v, src + 4 * i, 4);
                return v;
            });
            break;
    }
}

void EncodeRun(const float* src, size_t count, SampleType type, unsigned char* dst) {
    switch (type) {
        case SampleType::UInt8:
            for (size_t i = 0; i < count; ++i) {
                dst[i] = static_cast<unsigned char>(QuantizeSample(src[i], 255));
            }
            break;
        case SampleType::UInt16:
            for (size_t i = 0; i < count; ++i) {
                const auto v = static_cast<uint16_t>(QuantizeSample(src[i], 65535));
                std::memcpy(dst + 2 * i, &v, 2);
            }
            break;
        case SampleType::Float32:
            std::memcpy(dst, src, 4 * count);
            break;
    }
}

// Copies one decoded block (a strip or a tile) into the image. The block covers rows
// y0..y0+rows, columns x0..x0+cols of the image, with blockWidth samples per row; planar
// blocks hold the single sample `plane`, contiguous blocks all channels.
void StoreBlock(const unsigned char* block, uint32_t blockWidth, uint32_t x0, uint32_t y0,
                uint32_t cols, uint32_t rows, int plane, FileSample kind, Image& image) {
    const size_t bps = BytesPerSample(kind);
    const size_t n = static_cast<size_t>(image.channels);
    const size_t perPixel = plane < 0 ? n : 1;
    for (uint32_t r = 0; r < rows; ++r) {
        const unsigned char* src = block + static_cast<size_t>(r) * blockWidth * perPixel * bps;
        float* dst = &image.samples[((static_cast<size_t>(y0) + r) * image.width + x0) * n];
        if (plane < 0) {
            DecodeRun(src, kind, cols * n, dst, 1);
        } else {
            DecodeRun(src, kind, cols, dst + plane, n);
        }
    }
}

// Refuses a file of several pages: a page left out of the output would be lost silently.
// Reduced-resolution copies and masks are not pages. Leaves the page's directory current.
bool CheckSinglePage(TIFF* tif, std::string& error) {
    tLastTiffError.clear();
    const tdir_t directories = TIFFNumberOfDirectories(tif);
    if (!tLastTiffError.empty()) {
        error = kDamagedFile;  // the chain of directories breaks off
        return false;
    }
    if (directories <= 1) {
        return true;
    }
    int pages = 0;
    tdir_t page = 0;
    for (tdir_t d = 0; d < directories; ++d) {
        if (!TIFFSetDirectory(tif, d)) {
            error = kDamagedFile;
            return false;
        }
        uint32_t kind = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_SUBFILETYPE, &kind);
        if ((kind & (FILETYPE_REDUCEDIMAGE | FILETYPE_MASK)) == 0) {
            page = pages == 0 ? d : page;
            ++pages;
        }
    }
    if (pages > 1) {
        error = "has " + std::to_string(pages) +
                " pages; velnr reads single-page TIFF files only (split it first, for example "
                "with tiffsplit)";
        return false;
    }
    if (!TIFFSetDirectory(tif, page)) {
        error = kDamagedFile;
        return false;
    }
    return true;
}

uint16_t CompressionCode(TiffCompression compression) {
    switch (compression) {
        case TiffCompression::None:
            return COMPRESSION_NONE;
        case TiffCompression::Lzw:
            return COMPRESSION_LZW;
        case TiffCompression::Zip:
            return COMPRESSION_ADOBE_DEFLATE;
        case TiffCompression::Zstd:
            return COMPRESSION_ZSTD;
        case TiffCompression::AsInput:
            break;
    }
    return COMPRESSION_ADOBE_DEFLATE;
}

// The most a strip or tile of a real picture expands when decoded: none for raw data, 128
// for PackBits runs, about 1400 for LZW and 1032 for Deflate on constant data (4096 leaves
// room, JPEG stays far below), and the run-length blocks of the newer codecs.
uint64_t MostExpansion(uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 128;
        case COMPRESSION_LZW:
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
        case COMPRESSION_JPEG:
            return 4096;
        default:
            return 32768;
    }
}

// Refuses, before anything is allocated for the pixels, strips or tiles that claim bytes
// beyond the end of the file, or pixel data larger than the bytes they hold could decode to:
// a damaged header that claims a huge image must not cost that memory.
bool DataFitsFile(TIFF* tif, uint64_t pixelBytes, uint64_t blockBytes, uint16_t compression,
                  std::string& error) {
    struct stat st {};
    if (fstat(TIFFFileno(tif), &st) != 0 || st.st_size < 0) {
        error = kDamagedFile;
        return false;
    }
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    const uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    uint64_t total = 0;
    uint64_t largest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif, i);
        const uint64_t bytes = TIFFGetStrileByteCount(tif, i);
        if (offset > fileSize || bytes > fileSize - offset) {
            error = kDamagedFile;
            return false;
        }
        total += bytes;  // each at most the file size: no overflow for any strip count
        largest = std::max(largest, bytes);
    }
    const uint64_t most = MostExpansion(compression);
    if (count == 0 || pixelBytes / most > total || blockBytes / most > largest) {
        error = kDamagedFile;
        return false;
    }
    return true;
}

}  // namespace

bool TiffCodecAvailable(TiffCompression compression) {
    return TIFFIsCODECConfigured(CompressionCode(compression)) != 0;
}

bool ReadTiff(const std::string& path, Image& image, std::string& error) {
    TiffPtr tif = OpenTiff(path, "r");
    if (!tif) {
        // The file starts as a TIFF does, so what libtiff cannot read is a broken header or a
        // first directory missing (written last, it is the first thing a cut loses).
        error = kDamagedFile;
        return false;
    }
    if (!CheckSinglePage(tif.get(), error)) {
        return false;
    }
    uint32_t width = 0, height = 0;
    uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    uint16_t photometric = 0, compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) ||
        !TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric)) {
        error = "TIFF header lacks the image size or colour type";
        return false;
    }
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);

    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        // libtiff converts JPEG-compressed YCbCr to RGB for us.
        TIFFSetField(tif.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    if (photometric == PHOTOMETRIC_RGB && (spp == 3 || spp == 4)) {
        image.channels = spp;
    } else if (photometric == PHOTOMETRIC_MINISBLACK && (spp == 1 || spp == 2)) {
        image.channels = spp;
    } else {
        error = "unsupported TIFF colour layout (photometric " + std::to_string(photometric) +
                ", " + std::to_string(spp) + " samples per pixel); grey, RGB and RGBA work";
        return false;
    }
    FileSample kind{};
    if (bps == 8 && (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID)) {
        image.type = SampleType::UInt8;
        kind = FileSample::UInt8;
    } else if (bps == 16 && (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID)) {
        image.type = SampleType::UInt16;
        kind = FileSample::UInt16;
    } else if (bps == 16 && format == SAMPLEFORMAT_IEEEFP) {
        image.type = SampleType::Float32;
        kind = FileSample::Half;
    } else if (bps == 32 && format == SAMPLEFORMAT_IEEEFP) {
        image.type = SampleType::Float32;
        kind = FileSample::Float32;
    } else {
        error = "unsupported TIFF sample type (" + std::to_string(bps) + "-bit, format " +
                std::to_string(format) + "); 8/16-bit integer and 16/32-bit float work";
        return false;
    }
    if (!TIFFIsCODECConfigured(compression)) {
        error = "the TIFF file uses a compression this build of velnr cannot decode (scheme " +
                std::to_string(compression) + ")";
        return false;
    }
    if (!CheckImageSize(width, height, image.channels, error)) {
        return false;
    }
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);

    TiffLayout& layout = image.tiff;
    layout.compression = compression;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PREDICTOR, &layout.predictor);
    if (image.HasAlpha()) {
        uint16_t count = 0;
        uint16_t* kinds = nullptr;
        if (TIFFGetField(tif.get(), TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0) {
            layout.extraSample = kinds[0];
        }
    }
    uint16_t unit = 0;
    float xres = 0.0f, yres = 0.0f;
    if (TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres) &&
        TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &yres)) {
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
        layout.resolutionUnit = unit;
        layout.xResolution = xres;
        layout.yResolution = yres;
    }
    uint32_t iccSize = 0;
    void* iccData = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &iccSize, &iccData) && iccSize > 0) {
        const auto* p = static_cast<const unsigned char*>(iccData);
        image.icc.assign(p, p + iccSize);
    }

    const uint64_t blockBytes = static_cast<uint64_t>(std::max<tmsize_t>(
        0, TIFFIsTiled(tif.get()) ? TIFFTileSize(tif.get()) : TIFFStripSize(tif.get())));
    if (!DataFitsFile(
            tif.get(),
            uint64_t{width} * height * static_cast<uint64_t>(image.channels) * BytesPerSample(kind),
            blockBytes, compression, error)) {
        return false;
    }
    image.samples.resize(static_cast<size_t>(width) * height * image.channels);
    const int planes = planar == PLANARCONFIG_SEPARATE ? image.channels : 1;
    const auto planeIndex = [&](int s) { return planar == PLANARCONFIG_SEPARATE ? s : -1; };
    if (TIFFIsTiled(tif.get())) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif.get(), TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &th);
        const tmsize_t tileSize = TIFFTileSize(tif.get());
        if (tw == 0 || th == 0 || tileSize <= 0) {
            error = "TIFF tiles of no size";
            return false;
        }
        layout.tiled = true;
        layout.tileWidth = tw;
        layout.tileHeight = th;
        std::vector<unsigned char> block(static_cast<size_t>(tileSize));
        for (int s = 0; s < planes; ++s) {
            for (uint32_t y = 0; y < height; y += th) {
                for (uint32_t x = 0; x < width; x += tw) {
                    const uint32_t tile =
                        TIFFComputeTile(tif.get(), x, y, 0, static_cast<uint16_t>(s));
                    if (TIFFReadEncodedTile(tif.get(), tile, block.data(), tileSize) < 0) {
                        error = kDamagedFile;
                        return false;
                    }
                    StoreBlock(block.data(), tw, x, y, std::min(tw, width - x),
                               std::min(th, height - y), planeIndex(s), kind, image);
                }
            }
        }
    } else {
        uint32_t rps = height;
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ROWSPERSTRIP, &rps);
        if (rps == 0 || rps > height) {
            rps = height;
        }
        layout.rowsPerStrip = rps;
        const tmsize_t stripSize = TIFFStripSize(tif.get());
        if (stripSize <= 0) {
            error = "TIFF strips of no size";
            return false;
        }
        std::vector<unsigned char> block(static_cast<size_t>(stripSize));
        for (int s = 0; s < planes; ++s) {
            for (uint32_t y = 0; y < height; y += rps) {
                const uint32_t strip = TIFFComputeStrip(tif.get(), y, static_cast<uint16_t>(s));
                const uint32_t rows = std::min(rps, height - y);
                const tmsize_t need = TIFFVStripSize(tif.get(), rows);
                const tmsize_t got = TIFFReadEncodedStrip(tif.get(), strip, block.data(), need);
                if (got < need) {
                    error = kDamagedFile;
                    return false;
                }
                StoreBlock(block.data(), width, 0, y, width, rows, planeIndex(s), kind, image);
            }
        }
    }
    return true;
}

bool WriteTiff(const std::string& path, const Image& image, SampleType type, TiffCompression choice,
               std::string& error) {
    TiffPtr tif = OpenTiff(path, "w");
    if (!tif) {
        error = TiffReason("cannot create the TIFF file");
        return false;
    }
    const auto width = static_cast<uint32_t>(image.width);
    const auto height = static_cast<uint32_t>(image.height);
    const auto spp = static_cast<uint16_t>(image.channels);
    const size_t bps = BytesPerSample(type);
    const TiffLayout& layout = image.tiff;

    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bps * 8));
    TIFFSetField(tif.get(), TIFFTAG_SAMPLEFORMAT,
                 type == SampleType::Float32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC,
                 image.Grey() ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (image.HasAlpha()) {
        const uint16_t kind =
            layout.extraSample != 0 ? layout.extraSample : uint16_t{EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    // Keep the input's lossless compression; anything else (JPEG-in-TIFF, codecs this libtiff
    // cannot write) becomes Deflate, so that writing never loses quality.
    uint16_t compression = layout.compression;
    uint16_t predictor = layout.predictor;
    if (choice != TiffCompression::AsInput) {
        compression = CompressionCode(choice);
        predictor = type == SampleType::Float32 ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL;
    } else if (image.format != FileFormat::Tiff) {
        // Converted from another format: lossless and compact.
        compression = COMPRESSION_ADOBE_DEFLATE;
        predictor = type == SampleType::Float32 ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL;
    }
    const bool lossless = compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
                          compression == COMPRESSION_ADOBE_DEFLATE ||
                          compression == COMPRESSION_DEFLATE ||
                          compression == COMPRESSION_PACKBITS || compression == COMPRESSION_ZSTD;
    if (!lossless || !TIFFIsCODECConfigured(compression)) {
        compression = COMPRESSION_ADOBE_DEFLATE;
    }
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
        compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD) {
        if (predictor == PREDICTOR_FLOATINGPOINT && type != SampleType::Float32) {
            predictor = PREDICTOR_HORIZONTAL;
        }
        if (predictor == PREDICTOR_HORIZONTAL || predictor == PREDICTOR_FLOATINGPOINT) {
            TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, predictor);
        }
    }
    if (layout.resolutionUnit != 0 && layout.xResolution > 0.0f && layout.yResolution > 0.0f) {
        TIFFSetField(tif.get(), TIFFTAG_RESOLUTIONUNIT, layout.resolutionUnit);
        TIFFSetField(tif.get(), TIFFTAG_XRESOLUTION, static_cast<double>(layout.xResolution));
        TIFFSetField(tif.get(), TIFFTAG_YRESOLUTION, static_cast<double>(layout.yResolution));
    }
    if (!image.icc.empty()) {
        TIFFSetField(tif.get(), TIFFTAG_ICCPROFILE, static_cast<uint32_t>(image.icc.size()),
                     image.icc.data());
    }

    const size_t n = static_cast<size_t>(spp);
    const auto encodeRows = [&](unsigned char* block, uint32_t blockWidth, uint32_t x0, uint32_t y0,
                                uint32_t cols, uint32_t rows) {
        for (uint32_t r = 0; r < rows; ++r) {
            unsigned char* dst = block + static_cast<size_t>(r) * blockWidth * n * bps;
            const float* src = &image.samples[((static_cast<size_t>(y0) + r) * width + x0) * n];
            EncodeRun(src, static_cast<size_t>(cols) * n, type, dst);
        }
    };
    const bool tiled = layout.tiled && layout.tileWidth % 16 == 0 && layout.tileHeight % 16 == 0 &&
                       layout.tileWidth > 0 && layout.tileHeight > 0;
    if (tiled) {
        TIFFSetField(tif.get(), TIFFTAG_TILEWIDTH, layout.tileWidth);
        TIFFSetField(tif.get(), TIFFTAG_TILELENGTH, layout.tileHeight);
        const tmsize_t tileSize = TIFFTileSize(tif.get());
        std::vector<unsigned char> block(static_cast<size_t>(tileSize));
        for (uint32_t y = 0; y < height; y += layout.tileHeight) {
            for (uint32_t x = 0; x < width; x += layout.tileWidth) {
                std::fill(block.begin(), block.end(), 0);
                encodeRows(block.data(), layout.tileWidth, x, y,
                           std::min(layout.tileWidth, width - x),
                           std::min(layout.tileHeight, height - y));
                if (TIFFWriteEncodedTile(tif.get(), TIFFComputeTile(tif.get(), x, y, 0, 0),
                                         block.data(), tileSize) < 0) {
                    error = TiffReason("cannot write a TIFF tile");
                    return false;
                }
            }
        }
    } else {
        uint32_t rps = layout.rowsPerStrip;
        if (rps == 0 || rps > height) {
            rps = TIFFDefaultStripSize(tif.get(), 0);
        }
        rps = std::min(std::max(rps, uint32_t{1}), height);
        TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, rps);
        std::vector<unsigned char> block(static_cast<size_t>(rps) * width * n * bps);
        for (uint32_t y = 0; y < height; y += rps) {
            const uint32_t rows = std::min(rps, height - y);
            encodeRows(block.data(), width, 0, y, width, rows);
            if (TIFFWriteEncodedStrip(tif.get(), TIFFComputeStrip(tif.get(), y, 0), block.data(),
                                      static_cast<tmsize_t>(rows) * width * n * bps) < 0) {
                error = TiffReason("cannot write a TIFF strip");
                return false;
            }
        }
    }
    if (!TIFFWriteDirectory(tif.get())) {
        error = TiffReason("cannot write the TIFF directory");
        return false;
    }
    TIFF* raw = tif.release();
    TIFFClose(raw);  // flushes; errors surface through the handler
    if (!tLastTiffError.empty()) {
        error = tLastTiffError;
        return false;
    }
    return true;
}

}  // namespace velnr::detail
