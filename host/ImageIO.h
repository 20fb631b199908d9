#pragma once
// Image files for the velnr host: TIFF, PNG and JPEG in and out, with the pixels held as
// normalised floats (integers v / max, floats as stored) so that 8- and 16-bit files round
// trip exactly, either as the file's channels or as the plug-in's interleaved RGB float buffer
// itself, decoded into and encoded from row by row.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Memory.h"

namespace velnr {

// Storage for whole pictures: elements start undefined (every reader writes all of them, so a
// zero fill would only cost a pass over memory) and large blocks get the huge-page hint.
template <class T>
struct PictureAllocator {
    using value_type = T;
    PictureAllocator() = default;
    template <class U>
    PictureAllocator(const PictureAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)
    T* allocate(std::size_t n) {
        T* p = std::allocator<T>().allocate(n);
        // A whole picture then takes a few hundred page faults on its first touch, not
        // hundreds of thousands.
        vel::platform::AdviseHugePages(p, n * sizeof(T));
        return p;
    }
    void deallocate(T* p, std::size_t n) noexcept { std::allocator<T>().deallocate(p, n); }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0) {
            ::new (static_cast<void*>(p)) U;
        } else {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    }
    template <class U>
    bool operator==(const PictureAllocator<U>&) const noexcept {
        return true;
    }
};
using SampleVector = std::vector<float, PictureAllocator<float>>;

enum class FileFormat { Tiff, Png, Jpeg };
enum class SampleType { UInt8, UInt16, Float32 };

// How a TIFF was stored, so that the output is written the same way.
struct TiffLayout {
    bool tiled = false;
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    uint32_t rowsPerStrip = 0;
    uint16_t compression = 1;     // COMPRESSION_NONE
    uint16_t predictor = 1;       // PREDICTOR_NONE
    uint16_t extraSample = 0;     // EXTRASAMPLE_* of the alpha channel
    uint16_t resolutionUnit = 0;  // 0: no resolution tags
    float xResolution = 0.0f;
    float yResolution = 0.0f;
};

// A PNG text chunk (tEXt, zTXt or iTXt).
struct PngText {
    std::string key;
    std::string text;  // Latin-1 for tEXt and zTXt, UTF-8 for iTXt
    bool compressed = false;
    bool international = false;  // iTXt
    std::string language;        // iTXt only
    std::string translatedKey;   // iTXt only, UTF-8

    bool operator==(const PngText&) const = default;
};

// PNG colour and resolution chunks besides the ICC profile, and the text chunks other than
// the ones that carry EXIF, IPTC and XMP (CopyMetadata's), written back as read.
struct PngChunks {
    bool srgb = false;
    int srgbIntent = 0;
    bool gamma = false;
    double gammaValue = 0.0;
    bool chromaticities = false;
    double chrm[8] = {};  // white x, y; red x, y; green x, y; blue x, y
    bool physical = false;
    uint32_t xPixelsPerUnit = 0;
    uint32_t yPixelsPerUnit = 0;
    int unit = 0;
    std::vector<PngText> texts;
};

// The JFIF pixel density of a JPEG file.
struct JpegDensity {
    bool known = false;
    uint8_t unit = 0;  // 0 aspect ratio only, 1 per inch, 2 per cm
    uint16_t x = 1;
    uint16_t y = 1;
};

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int channels = 0;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    SampleType type = SampleType::UInt8;
    FileFormat format = FileFormat::Tiff;
    // The file's channels interleaved, width * height * channels; or, in the plug-in's layout,
    // the plug-in's host buffer: width * height R, G, B (grey in all three), with the alpha
    // channel apart in alpha (width * height).
    SampleVector samples;
    SampleVector alpha;
    bool pluginLayout = false;
    std::vector<uint8_t> icc;  // embedded ICC profile, empty when none
    TiffLayout tiff;
    PngChunks png;
    JpegDensity jpeg;

    bool Grey() const { return channels <= 2; }
    bool HasAlpha() const { return channels == 2 || channels == 4; }
    // Whether samples holds the file's channels in the file's order (RGB is both layouts).
    bool Interleaved() const { return !pluginLayout || channels == 3; }
};

enum class TiffCompression { AsInput, None, Lzw, Zip, Zstd };

struct WriteOptions {
    int jpegQuality = 95;  // 1..100
    // 0: as the input where the format can hold it (float becomes 16-bit in PNG, 8-bit in
    // JPEG); 8, 16 or 32 (32-bit float, TIFF only).
    int depth = 0;
    // TIFF outputs only. AsInput keeps a TIFF input's lossless compression and predictor
    // (anything else becomes Deflate) and gives other inputs Deflate. Other inputs and the
    // explicit choices get the horizontal predictor for integers, the floating-point one for
    // floats.
    TiffCompression compression = TiffCompression::AsInput;
    int jpegSubsampling = 444;  // 444, 422 or 420; JPEG outputs only
};

// The format named by a file's extension (.tif .tiff .png .jpg .jpeg, any case).
bool FormatFromExtension(const std::string& path, FileFormat& format);
const char* FormatName(FileFormat format);

// Reads the image of a file. A TIFF with more than one page is refused (reduced-resolution
// images beside the page are not pages); 16-bit float TIFF samples are read as float.
// pluginLayout: the samples are read straight into the plug-in's layout (see Image).
// On failure gives false and a reason without the path.
bool ReadImage(const std::string& path, Image& image, std::string& error,
               bool pluginLayout = false);

// Whether format can hold what options ask for; false with a reason in a photographer's
// words. Compression is ignored by formats other than TIFF, subsampling by other than JPEG.
bool CheckWriteOptions(FileFormat format, const WriteOptions& options, std::string& error);

// Writes image in the given format and options (checked by CheckWriteOptions). With depth 0
// a sample type the format cannot hold is converted to the nearest it can. Integer samples
// are clamped to 0..1 (NaN as 0) and rounded. Gives false and a reason on failure; the file
// may then exist partly written, so write to a temporary name.
bool WriteImage(const std::string& path, FileFormat format, const Image& image,
                const WriteOptions& options, std::string& error);

// Colour samples (alpha not counted) of a float image outside 0..1 or NaN, which the plug-in
// clamps; 0 for integer images.
uint64_t CountOutOfRangeSamples(const Image& image);

// Copies EXIF, IPTC and XMP metadata and the comment of one file into another (the ICC
// profile of the destination is kept, a profile in the source's EXIF is not copied). When the
// formats differ, the tags that describe the old file's layout (sample size, compression,
// strips, tiles...) are dropped; a TIFF's further directories are never copied, nor a
// thumbnail into a TIFF, where it would become a page. Gives false and a reason when it fails.
bool CopyMetadata(const std::string& from, FileFormat fromFormat, const std::string& to,
                  FileFormat toFormat, std::string& error);

// For interleaved images: the plug-in's host buffer, width * height interleaved R, G, B floats
// (grey gives R = G = B, alpha is left out), and the colour taken back from it (grey becomes
// the mean of R, G and B; alpha stays). What an image read in the plug-in's layout holds.
SampleVector ToHostRgb(const Image& image);
void FromHostRgb(const SampleVector& rgb, Image& image);

// Rounds a normalised sample to an integer 0..maxValue (at most 65535); NaN and values below 0
// give 0. Selects instead of branches, so that loops of it run across samples.
inline uint32_t QuantizeSample(float value, uint32_t maxValue) {
    float clamped = value > 0.0f ? value : 0.0f;  // NaN fails the test
    clamped = clamped < 1.0f ? clamped : 1.0f;
    // At most 65535.5: inside int32.
    return static_cast<uint32_t>(
        static_cast<int32_t>(static_cast<double>(clamped) * static_cast<double>(maxValue) + 0.5));
}

}  // namespace velnr
