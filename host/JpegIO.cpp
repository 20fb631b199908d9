// JPEG through libjpeg(-turbo): 8-bit grey and RGB, with the ICC profile (APP2 markers).
//
// libjpeg reports errors by longjmp; as for PNG, every C++ object exists before setjmp.

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/ImageFormats.h"

namespace velnr::detail {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    std::string* error;
};

// Whether a decoder error is about a kind of JPEG this build does not handle (its own words
// say that well) rather than about broken or missing data.
bool UnsupportedJpeg(int code) {
    switch (code) {
        case JERR_ARITH_NOTIMPL:
        case JERR_BAD_PRECISION:
        case JERR_CCIR601_NOTIMPL:
        case JERR_COMPONENT_COUNT:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_IMAGE_TOO_BIG:
        case JERR_NOT_COMPILED:
        case JERR_NOTIMPL:
        case JERR_OUT_OF_MEMORY:
        case JERR_SOF_UNSUPPORTED:
            return true;
        default:
            return false;
    }
}

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (cinfo->is_decompressor && !UnsupportedJpeg(cinfo->err->msg_code)) {
        *mgr->error = kDamagedFile;
    } else {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        *mgr->error = text;
    }
    std::longjmp(mgr->jump, 1);
}

// libjpeg only warns about damaged picture data and fills the gap with grey; a picture with
// a hole in it must not be written out as a result, so those warnings are errors here. Other
// warnings (extraneous bytes between markers, an unknown JFIF revision, a bad ICC marker)
// leave the picture intact and are ignored.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return;  // trace messages
    }
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_BOGUS_PROGRESSION:
            JpegErrorExit(cinfo);
        default:
            break;
    }
}

struct ReadState {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    bool created = false;
    std::vector<unsigned char> row;
    std::vector<float> decoded;  // a row for an image not held in the file's order
    JOCTET* icc = nullptr;
    unsigned iccSize = 0;

    ReadState() = default;
    ReadState(const ReadState&) = delete;
    ReadState& operator=(const ReadState&) = delete;
    ~ReadState() {
        if (created) {
            jpeg_destroy_decompress(&cinfo);
        }
        std::free(icc);  // allocated by libjpeg with malloc
    }
};

bool ReadJpegBody(std::FILE* file, ReadState& s, Image& image, std::string& error) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    jpeg_stdio_src(&s.cinfo, file);
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&s.cinfo, TRUE);
    if (s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK) {
        error = "CMYK JPEG files are not supported";
        return false;
    }
    const bool grey = s.cinfo.num_components == 1;
    s.cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    if (!CheckImageSize(s.cinfo.image_width, s.cinfo.image_height, grey ? 1 : 3, error)) {
        return false;
    }
    if (jpeg_read_icc_profile(&s.cinfo, &s.icc, &s.iccSize) == FALSE) {
        s.icc = nullptr;
        s.iccSize = 0;
    }
    // A damaged header may claim a huge picture; the memory follows the data actually decoded.
    // Progressive files hold their coefficients in libjpeg's own memory, bounded by what the
    // file could describe at about one bit per 8 x 8 block.
    struct stat st {};
    size_t fileBytes = 0;
    if (fstat(fileno(file), &st) == 0 && st.st_size > 0) {
        fileBytes = static_cast<size_t>(std::min<off_t>(st.st_size, off_t{1} << 40));
        constexpr long kFloor = 256L << 20;
        if (st.st_size < (LONG_MAX - kFloor) / 2048) {
            s.cinfo.mem->max_memory_to_use = kFloor + static_cast<long>(st.st_size) * 2048;
        }
    }
    jpeg_start_decompress(&s.cinfo);
    image.width = static_cast<int32_t>(s.cinfo.output_width);
    image.height = static_cast<int32_t>(s.cinfo.output_height);
    image.channels = s.cinfo.output_components;
    const size_t width = s.cinfo.output_width;
    const size_t rowSize = width * static_cast<size_t>(s.cinfo.output_components);
    // Decoded straight into the image, whose storage is taken for the rows that the file's
    // bytes could describe at one bit per 8 x 8 block and grows only beyond them (near-constant
    // arithmetic-coded pictures): a header that claims more than the file holds costs no more.
    const size_t stored = width * (image.pluginLayout ? 3 : rowSize / width);
    const size_t whole = stored * s.cinfo.output_height;
    const size_t plausibleRows =
        std::min<size_t>(s.cinfo.output_height, std::max<size_t>(fileBytes, 1) * 512 / width + 1);
    image.samples.resize(stored * plausibleRows);
    s.row.resize(rowSize);
    s.decoded.resize(rowSize);
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        const size_t y = s.cinfo.output_scanline;
        const size_t end = stored * (y + 1);
        if (image.samples.size() < end) {
            image.samples.resize(std::min(whole, std::max(end, image.samples.size() * 2)));
        }
        JSAMPROW row = s.row.data();
        jpeg_read_scanlines(&s.cinfo, &row, 1);
        float* dst = FilePixels(image, y, 0);
        for (size_t i = 0; i < rowSize; ++i) {
            (dst != nullptr ? dst : s.decoded.data())[i] = static_cast<float>(row[i]) / 255.0f;
        }
        if (dst == nullptr) {
            StorePixels(image, y, 0, width, s.decoded.data());
        }
    }
    jpeg_finish_decompress(&s.cinfo);
    if (s.cinfo.saw_JFIF_marker) {
        image.jpeg.known = true;
        image.jpeg.unit = s.cinfo.density_unit;
        image.jpeg.x = s.cinfo.X_density;
        image.jpeg.y = s.cinfo.Y_density;
    }
    return true;
}

struct WriteState {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    bool created = false;
    std::vector<unsigned char> row;
    std::vector<float> pixels;  // a row gathered from the plug-in's layout

    WriteState() = default;
    WriteState(const WriteState&) = delete;
    WriteState& operator=(const WriteState&) = delete;
    ~WriteState() {
        if (created) {
            jpeg_destroy_compress(&cinfo);
        }
    }
};

bool WriteJpegBody(std::FILE* file, WriteState& s, const Image& image, int quality,
                   int subsampling) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_create_compress(&s.cinfo);
    s.created = true;
    jpeg_stdio_dest(&s.cinfo, file);
    s.cinfo.image_width = static_cast<JDIMENSION>(image.width);
    s.cinfo.image_height = static_cast<JDIMENSION>(image.height);
    s.cinfo.input_components = image.channels;
    s.cinfo.in_color_space = image.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&s.cinfo);
    jpeg_set_quality(&s.cinfo, quality, TRUE);
    s.cinfo.optimize_coding = TRUE;
    if (image.jpeg.known && image.jpeg.x > 0 && image.jpeg.y > 0) {
        s.cinfo.density_unit = image.jpeg.unit;
        s.cinfo.X_density = image.jpeg.x;
        s.cinfo.Y_density = image.jpeg.y;
    }
    if (image.channels == 3) {
        // Full-resolution chroma unless asked otherwise: halving it would undo much of a
        // careful chroma cleanup. The factors are the luma's; chroma stays at 1.
        for (int c = 0; c < s.cinfo.num_components; ++c) {
            s.cinfo.comp_info[c].h_samp_factor = 1;
            s.cinfo.comp_info[c].v_samp_factor = 1;
        }
        s.cinfo.comp_info[0].h_samp_factor = subsampling == 444 ? 1 : 2;
        s.cinfo.comp_info[0].v_samp_factor = subsampling == 420 ? 2 : 1;
    }
    jpeg_start_compress(&s.cinfo, TRUE);
    if (!image.icc.empty()) {
        jpeg_write_icc_profile(&s.cinfo, image.icc.data(), static_cast<unsigned>(image.icc.size()));
    }
    const size_t n = static_cast<size_t>(image.width) * static_cast<size_t>(image.channels);
    while (s.cinfo.next_scanline < s.cinfo.image_height) {
        const float* src =
            LoadPixels(image, s.cinfo.next_scanline, 0, static_cast<size_t>(image.width), s.pixels);
        for (size_t i = 0; i < n; ++i) {
            s.row[i] = static_cast<unsigned char>(QuantizeSample(src[i], 255));
        }
        JSAMPROW row = s.row.data();
        jpeg_write_scanlines(&s.cinfo, &row, 1);
    }
    jpeg_finish_compress(&s.cinfo);
    return true;
}

}  // namespace

bool ReadJpeg(const std::string& path, Image& image, std::string& error) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    ReadState s;
    s.cinfo.err = jpeg_std_error(&s.err.base);
    s.err.base.error_exit = JpegErrorExit;
    s.err.base.emit_message = JpegEmitMessage;
    s.err.error = &error;
    if (!ReadJpegBody(file.get(), s, image, error)) {
        return false;
    }
    image.type = SampleType::UInt8;
    if (s.icc != nullptr && s.iccSize > 0) {
        image.icc.assign(s.icc, s.icc + s.iccSize);
    }
    return true;
}

bool WriteJpeg(const std::string& path, const Image& image, int quality, int subsampling,
               std::string& error) {
    if (image.channels != 1 && image.channels != 3) {
        error = "JPEG holds only grey or RGB";
        return false;
    }
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    WriteState s;
    s.row.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.channels));
    s.pixels.resize(image.Interleaved() ? 0 : s.row.size());
    s.cinfo.err = jpeg_std_error(&s.err.base);
    s.err.base.error_exit = JpegErrorExit;
    s.err.base.emit_message = JpegEmitMessage;
    s.err.error = &error;
    if (!WriteJpegBody(file.get(), s, image, quality, subsampling)) {
        return false;
    }
    return CloseWritten(file, error);
}

}  // namespace velnr::detail
