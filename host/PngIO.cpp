// PNG through libpng: 8- and 16-bit grey, grey + alpha, RGB and RGBA. Palette images and grey
// below 8 bits are expanded to 8 bits (a transparency chunk becomes an alpha channel).
//
// libpng reports errors by longjmp. Every C++ object is constructed before setjmp and the
// code after it only calls C functions, so no destructor is ever skipped.

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/ImageFormats.h"

namespace velnr::detail {

namespace {

struct PngContext {
    std::string* error;
    bool reading;
};

// libpng's read errors are all about bad or missing data ("Read Error", "CRC error", "Not
// enough image data"...).
[[noreturn]] void PngError(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    *ctx->error = ctx->reading ? std::string(kDamagedFile) : std::string(message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Text chunks that hold EXIF, IPTC or XMP: CopyMetadata writes those afresh, and a copy here
// would be stale or doubled.
bool CarriedByExiv2(const char* key) {
    return std::strncmp(key, "Raw profile type ", 17) == 0 ||
           std::strcmp(key, "XML:com.adobe.xmp") == 0;
}

struct ReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<unsigned char> pixels;  // one row, or every row of an interlaced file
    std::vector<png_bytep> rows;
    std::vector<float> decoded;  // a row for an image not held in the file's order
    Image* image = nullptr;
    std::string* error = nullptr;

    ReadState() = default;
    ReadState(const ReadState&) = delete;
    ReadState& operator=(const ReadState&) = delete;
    ~ReadState() {
        if (png != nullptr) {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }
};

// Returns false after a libpng error (message already in *error) or a refused image.
// Whether the file is large enough to hold the picture its header claims: the rows' bytes
// before decompression, one filter byte each, shrink at most 1032 times in Deflate. A damaged
// header that claims a huge picture is refused before its memory is taken.
bool PlausibleForFile(png_structp png, png_infop info, std::FILE* file) {
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || st.st_size < 0) {
        return false;
    }
    const uint64_t bitsPerPixel =
        uint64_t{png_get_bit_depth(png, info)} * png_get_channels(png, info);
    const uint64_t rowBytes = (png_get_image_width(png, info) * bitsPerPixel + 7) / 8 + 1;
    const uint64_t height = png_get_image_height(png, info);
    const uint64_t most =
        std::min<uint64_t>(static_cast<uint64_t>(st.st_size), uint64_t{1} << 48) * 1032;
    return height != 0 && rowBytes <= most / height;
}

// Samples are big-endian in the decoded rows.
void DecodeRow(const unsigned char* row, bool sixteen, size_t count, float* dst) {
    for (size_t i = 0; i < count; ++i) {
        if (sixteen) {
            const unsigned v = (static_cast<unsigned>(row[2 * i]) << 8) | row[2 * i + 1];
            dst[i] = static_cast<float>(v) / 65535.0f;
        } else {
            dst[i] = static_cast<float>(row[i]) / 255.0f;
        }
    }
}

bool ReadPngBody(std::FILE* file, ReadState& s) {
    if (setjmp(png_jmpbuf(s.png))) {
        return false;
    }
    png_init_io(s.png, file);
    png_set_user_limits(s.png, 0x7fffffff, 0x7fffffff);
    png_read_info(s.png, s.info);
    const bool plausible = PlausibleForFile(s.png, s.info, file);  // before expansion
    png_set_expand(s.png);
    const int interlacePasses = png_set_interlace_handling(s.png);
    (void)interlacePasses;
    png_read_update_info(s.png, s.info);

    const png_uint_32 width = png_get_image_width(s.png, s.info);
    const png_uint_32 height = png_get_image_height(s.png, s.info);
    const int depth = png_get_bit_depth(s.png, s.info);
    const int channels = png_get_channels(s.png, s.info);
    if ((depth != 8 && depth != 16) || channels < 1 || channels > 4) {
        *s.error = "unsupported PNG layout";
        return false;
    }
    if (!CheckImageSize(width, height, channels, *s.error)) {
        return false;
    }
    if (!plausible) {
        *s.error = kDamagedFile;
        return false;
    }
    Image& image = *s.image;
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.channels = channels;
    image.type = depth == 16 ? SampleType::UInt16 : SampleType::UInt8;
    AllocateSamples(image);
    // Row by row into the image; an interlaced file's passes fill its rows in turn, so libpng
    // keeps all of them until the last.
    const size_t rowBytes = png_get_rowbytes(s.png, s.info);
    const bool interlaced = png_get_interlace_type(s.png, s.info) != PNG_INTERLACE_NONE;
    s.pixels.resize(rowBytes * (interlaced ? height : 1));
    s.decoded.resize(static_cast<size_t>(width) * static_cast<size_t>(channels));
    if (interlaced) {
        s.rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) {
            s.rows[y] = s.pixels.data() + static_cast<size_t>(y) * rowBytes;
        }
        png_read_image(s.png, s.rows.data());
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        png_bytep row = s.pixels.data() + (interlaced ? static_cast<size_t>(y) * rowBytes : 0);
        if (!interlaced) {
            png_read_row(s.png, row, nullptr);
        }
        float* dst = FilePixels(image, y, 0);
        DecodeRow(row, depth == 16, s.decoded.size(), dst != nullptr ? dst : s.decoded.data());
        if (dst == nullptr) {
            StorePixels(image, y, 0, width, s.decoded.data());
        }
    }
    png_read_end(s.png, s.info);  // text chunks may follow the picture

    PngChunks& chunks = image.png;
    int intent = 0;
    if (png_get_sRGB(s.png, s.info, &intent) != 0) {
        chunks.srgb = true;
        chunks.srgbIntent = intent;
    }
    double gamma = 0.0;
    if (png_get_gAMA(s.png, s.info, &gamma) != 0) {
        chunks.gamma = true;
        chunks.gammaValue = gamma;
    }
    double* c = chunks.chrm;
    if (png_get_cHRM(s.png, s.info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0) {
        chunks.chromaticities = true;
    }
    png_uint_32 xppu = 0;
    png_uint_32 yppu = 0;
    int unit = 0;
    if (png_get_pHYs(s.png, s.info, &xppu, &yppu, &unit) != 0) {
        chunks.physical = true;
        chunks.xPixelsPerUnit = xppu;
        chunks.yPixelsPerUnit = yppu;
        chunks.unit = unit;
    }
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileSize = 0;
    if (png_get_iCCP(s.png, s.info, &name, &compression, &profile, &profileSize) != 0 &&
        profileSize > 0) {
        image.icc.assign(profile, profile + profileSize);
    }
    png_textp texts = nullptr;
    const int textCount = png_get_text(s.png, s.info, &texts, nullptr);
    for (int i = 0; i < textCount; ++i) {
        const png_text& t = texts[i];
        if (t.key == nullptr || CarriedByExiv2(t.key)) {
            continue;
        }
        PngText text;
        text.key = t.key;
        text.text = t.text != nullptr ? t.text : "";
        text.compressed = t.compression == PNG_TEXT_COMPRESSION_zTXt ||
                          t.compression == PNG_ITXT_COMPRESSION_zTXt;
        text.international = t.compression == PNG_ITXT_COMPRESSION_NONE ||
                             t.compression == PNG_ITXT_COMPRESSION_zTXt;
        if (text.international) {
            text.language = t.lang != nullptr ? t.lang : "";
            text.translatedKey = t.lang_key != nullptr ? t.lang_key : "";
        }
        chunks.texts.push_back(std::move(text));
    }
    return true;
}

struct WriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<unsigned char> row;
    std::vector<float> pixels;    // a row gathered from the plug-in's layout
    std::vector<png_text> texts;  // pointing into image->png.texts
    const Image* image = nullptr;
    bool sixteen = false;

    WriteState() = default;
    WriteState(const WriteState&) = delete;
    WriteState& operator=(const WriteState&) = delete;
    ~WriteState() {
        if (png != nullptr) {
            png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        }
    }
};

bool WritePngBody(std::FILE* file, WriteState& s) {
    if (setjmp(png_jmpbuf(s.png))) {
        return false;
    }
    const Image& image = *s.image;
    static const int kColourType[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                       PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    png_init_io(s.png, file);
    png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), s.sixteen ? 16 : 8,
                 kColourType[image.channels], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const PngChunks& chunks = image.png;
    if (!image.icc.empty()) {
        png_set_iCCP(s.png, s.info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, image.icc.data(),
                     static_cast<png_uint_32>(image.icc.size()));
    } else if (chunks.srgb) {  // a file has either a profile or the sRGB chunk
        png_set_sRGB(s.png, s.info, chunks.srgbIntent);
    }
    if (chunks.gamma) {
        png_set_gAMA(s.png, s.info, chunks.gammaValue);
    }
    if (chunks.chromaticities) {
        const double* c = chunks.chrm;
        png_set_cHRM(s.png, s.info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    if (chunks.physical) {
        png_set_pHYs(s.png, s.info, chunks.xPixelsPerUnit, chunks.yPixelsPerUnit, chunks.unit);
    }
    if (!s.texts.empty()) {
        png_set_text(s.png, s.info, s.texts.data(), static_cast<int>(s.texts.size()));
    }
    png_write_info(s.png, s.info);
    const size_t n = static_cast<size_t>(image.width) * static_cast<size_t>(image.channels);
    for (int32_t y = 0; y < image.height; ++y) {
        const float* src = LoadPixels(image, static_cast<size_t>(y), 0,
                                      static_cast<size_t>(image.width), s.pixels);
        for (size_t i = 0; i < n; ++i) {
            if (s.sixteen) {
                const uint32_t v = QuantizeSample(src[i], 65535);
                s.row[2 * i] = static_cast<unsigned char>(v >> 8);
                s.row[2 * i + 1] = static_cast<unsigned char>(v & 0xff);
            } else {
                s.row[i] = static_cast<unsigned char>(QuantizeSample(src[i], 255));
            }
        }
        png_write_row(s.png, s.row.data());
    }
    png_write_end(s.png, nullptr);
    return true;
}

}  // namespace

bool ReadPng(const std::string& path, Image& image, std::string& error) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    PngContext ctx{&error, true};
    ReadState s;
    s.image = &image;
    s.error = &error;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, PngError, PngWarning);
    if (s.png == nullptr) {
        error = "cannot set up the PNG reader";
        return false;
    }
    s.info = png_create_info_struct(s.png);
    if (s.info == nullptr) {
        error = "cannot set up the PNG reader";
        return false;
    }
    return ReadPngBody(file.get(), s);
}

bool WritePng(const std::string& path, const Image& image, SampleType type, std::string& error) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    PngContext ctx{&error, false};
    WriteState s;
    s.image = &image;
    s.sixteen = type != SampleType::UInt8;
    const size_t rowSamples =
        static_cast<size_t>(image.width) * static_cast<size_t>(image.channels);
    s.row.resize(rowSamples * (s.sixteen ? 2 : 1));
    s.pixels.resize(image.Interleaved() ? 0 : rowSamples);
    for (const PngText& text : image.png.texts) {
        png_text t{};
        t.compression =
            text.international
                ? (text.compressed ? PNG_ITXT_COMPRESSION_zTXt : PNG_ITXT_COMPRESSION_NONE)
                : (text.compressed ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE);
        // libpng only reads through these pointers.
        t.key = const_cast<char*>(text.key.c_str());
        t.text = const_cast<char*>(text.text.c_str());
        t.text_length = text.text.size();
        if (text.international) {
            t.lang = const_cast<char*>(text.language.c_str());
            t.lang_key = const_cast<char*>(text.translatedKey.c_str());
        }
        s.texts.push_back(t);
    }
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, PngError, PngWarning);
    if (s.png == nullptr) {
        error = "cannot set up the PNG writer";
        return false;
    }
    s.info = png_create_info_struct(s.png);
    if (s.info == nullptr) {
        error = "cannot set up the PNG writer";
        return false;
    }
    if (!WritePngBody(file.get(), s)) {
        return false;
    }
    return CloseWritten(file, error);
}

}  // namespace velnr::detail
