// TIFF through libtiff: 8/16-bit unsigned and 16/32-bit float samples (written as 32-bit),
// grey or RGB with an optional alpha channel, strips or tiles, contiguous or separate planes.

#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

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

// Threads that code one file's strips or tiles: the count asked for, else VELNR_THREADS when
// it holds one, else the hardware's; at least 1, at most one per block (and 64).
int CodingThreads(int requested, size_t blocks) {
    long wanted = requested;
    if (wanted < 1) {
        wanted = static_cast<long>(std::thread::hardware_concurrency());
        if (const char* env = std::getenv("VELNR_THREADS")) {
            char* end = nullptr;
            const long n = std::strtol(env, &end, 10);
            if (end != env && *end == '\0' && n >= 1) {
                wanted = n;
            }
        }
    }
    const auto most = static_cast<long>(std::min<size_t>(blocks, 64));
    return static_cast<int>(std::clamp(wanted, 1L, std::max(most, 1L)));
}

// Calls code(worker, i) for the blocks i = 0 .. count - 1 on up to `threads` threads (the
// calling one is worker 0), then finish(worker, i) one block at a time in increasing order.
// False when a call gave false; the other threads then stop at their next block. An
// exception of any call is rethrown here once every thread has ended.
template <class Code, class Finish>
bool ForEachBlock(size_t count, int threads, Code&& code, Finish&& finish) {
    std::mutex mutex;
    std::condition_variable turn;
    size_t finished = 0;
    bool failed = false;
    std::exception_ptr error;
    std::atomic<size_t> next{0};
    const auto run = [&](int worker) {
        try {
            for (;;) {
                {
                    std::lock_guard lock(mutex);
                    if (failed) {
                        return;
                    }
                }
                const size_t i = next.fetch_add(1);
                if (i >= count) {
                    return;
                }
                const bool coded = code(worker, i);
                std::unique_lock lock(mutex);
                turn.wait(lock, [&] { return finished == i || failed; });
                if (failed) {
                    return;
                }
                if (!coded || !finish(worker, i)) {
                    failed = true;
                    turn.notify_all();
                    return;
                }
                ++finished;
                turn.notify_all();
            }
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!error) {
                error = std::current_exception();
            }
            failed = true;
            turn.notify_all();
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (int w = 1; w < threads; ++w) {
            try {
                helpers.emplace_back(run, w);
            } catch (const std::system_error&) {
                break;  // fewer threads do the same work
            }
        }
        run(0);
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return !failed;
}

// Least size of a written uncompressed strip.
constexpr uint64_t kMinRawStripBytes = uint64_t{256} << 10;

// Codecs whose blocks are worth coding on several threads: the lossless ones that cost time.
bool CodedInParallel(uint16_t compression) {
    return compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
           compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD ||
           compression == COMPRESSION_PACKBITS;
}

// A TIFF in memory, written by libtiff through these procedures: a thread compresses its blocks
// there with libtiff's own codec, exactly as the file's handle would, and the compressed bytes
// are then copied into the file as they are.
class MemoryTiff {
  public:
    MemoryTiff()
        : tif_(TIFFClientOpen("memory", "w", this, &MemoryTiff::Read, &MemoryTiff::Write,
                              &MemoryTiff::Seek, &MemoryTiff::Close, &MemoryTiff::Size,
                              &MemoryTiff::Map, &MemoryTiff::Unmap)),
          header_(bytes_.size()) {}

    TIFF* Get() const { return tif_.get(); }

    // The compressed bytes of the block just written. The block's bytes are given up before the
    // next one is written, so that the buffer keeps the size of one block.
    std::vector<unsigned char> TakeBlock(uint32_t block) {
        const uint64_t offset = TIFFGetStrileOffset(tif_.get(), block);
        const uint64_t size = TIFFGetStrileByteCount(tif_.get(), block);
        std::vector<unsigned char> out;
        if (offset <= bytes_.size() && size <= bytes_.size() - offset) {
            out.assign(bytes_.begin() + static_cast<ptrdiff_t>(offset),
                       bytes_.begin() + static_cast<ptrdiff_t>(offset + size));
        }
        bytes_.resize(header_);
        position_ = header_;
        return out;
    }

  private:
    static MemoryTiff& Of(thandle_t h) { return *static_cast<MemoryTiff*>(h); }
    static tmsize_t Read(thandle_t h, void* data, tmsize_t n) {
        MemoryTiff& m = Of(h);
        const uint64_t left = m.position_ < m.bytes_.size() ? m.bytes_.size() - m.position_ : 0;
        const auto count = static_cast<size_t>(std::min<uint64_t>(left, static_cast<uint64_t>(n)));
        std::memcpy(data, m.bytes_.data() + m.position_, count);
        m.position_ += count;
        return static_cast<tmsize_t>(count);
    }
    static tmsize_t Write(thandle_t h, void* data, tmsize_t n) {
        MemoryTiff& m = Of(h);
        const auto count = static_cast<size_t>(n);
        if (m.bytes_.size() < m.position_ + count) {
            m.bytes_.resize(m.position_ + count);
        }
        std::memcpy(m.bytes_.data() + m.position_, data, count);
        m.position_ += count;
        return n;
    }
    static toff_t Seek(thandle_t h, toff_t offset, int whence) {
        MemoryTiff& m = Of(h);
        const uint64_t base = whence == SEEK_CUR   ? m.position_
                              : whence == SEEK_END ? m.bytes_.size()
                                                   : 0;
        m.position_ = base + offset;
        return m.position_;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t h) { return Of(h).bytes_.size(); }
    static int Map(thandle_t, void**, toff_t*) { return 0; }
    static void Unmap(thandle_t, void*, toff_t) {}

    std::vector<unsigned char> bytes_;
    uint64_t position_ = 0;
    TiffPtr tif_;
    size_t header_;
};

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
// blocks hold the single sample `plane`, contiguous blocks all channels. Samples the image
// does not hold in the file's order are decoded a row at a time into scratch first.
void StoreBlock(const unsigned char* block, uint32_t blockWidth, uint32_t x0, uint32_t y0,
                uint32_t cols, uint32_t rows, int plane, FileSample kind, Image& image,
                std::vector<float>& scratch) {
    const size_t bps = BytesPerSample(kind);
    const size_t n = static_cast<size_t>(image.channels);
    const size_t perPixel = plane < 0 ? n : 1;
    for (uint32_t r = 0; r < rows; ++r) {
        const unsigned char* src = block + static_cast<size_t>(r) * blockWidth * perPixel * bps;
        const size_t y = static_cast<size_t>(y0) + r;
        if (float* dst = FilePixels(image, y, x0)) {
            if (plane < 0) {
                DecodeRun(src, kind, cols * n, dst, 1);
            } else {
                DecodeRun(src, kind, cols, dst + plane, n);
            }
            continue;
        }
        scratch.resize(cols * perPixel);
        DecodeRun(src, kind, cols * perPixel, scratch.data(), 1);
        if (plane < 0) {
            StorePixels(image, y, x0, cols, scratch.data());
        } else {
            StoreChannel(image, y, x0, cols, plane, scratch.data());
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

bool ReadTiff(const std::string& path, Image& image, std::string& error, int threads) {
    // "m": read through read(2), not a mapping of the file. The copy costs less than a page fault
    // per page of the mapping, and a file cut short while it is read gives an error, not SIGBUS.
    TiffPtr tif = OpenTiff(path, "rm");
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
    AllocateSamples(image);
    const int planes = planar == PLANARCONFIG_SEPARATE ? image.channels : 1;
    // Where each block (tile or strip) lies, in the file's order.
    struct Block {
        uint32_t index, x, y, cols, rows;
        int plane;       // -1: every channel
        tmsize_t bytes;  // decoded
    };
    std::vector<Block> blocks;
    uint32_t blockWidth = width;
    tmsize_t blockSize = 0;
    if (TIFFIsTiled(tif.get())) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif.get(), TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &th);
        blockSize = TIFFTileSize(tif.get());
        if (tw == 0 || th == 0 || blockSize <= 0) {
            error = "TIFF tiles of no size";
            return false;
        }
        layout.tiled = true;
        layout.tileWidth = tw;
        layout.tileHeight = th;
        blockWidth = tw;
        for (int s = 0; s < planes; ++s) {
            for (uint32_t y = 0; y < height; y += th) {
                for (uint32_t x = 0; x < width; x += tw) {
                    blocks.push_back({TIFFComputeTile(tif.get(), x, y, 0, static_cast<uint16_t>(s)),
                                      x, y, std::min(tw, width - x), std::min(th, height - y),
                                      planar == PLANARCONFIG_SEPARATE ? s : -1, blockSize});
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
        blockSize = TIFFStripSize(tif.get());
        if (blockSize <= 0) {
            error = "TIFF strips of no size";
            return false;
        }
        for (int s = 0; s < planes; ++s) {
            for (uint32_t y = 0; y < height; y += rps) {
                const uint32_t rows = std::min(rps, height - y);
                blocks.push_back({TIFFComputeStrip(tif.get(), y, static_cast<uint16_t>(s)), 0, y,
                                  width, rows, planar == PLANARCONFIG_SEPARATE ? s : -1,
                                  TIFFVStripSize(tif.get(), rows)});
            }
        }
    }
    // Compressed blocks are decoded on several threads, each through a handle of its own on the
    // same page (libtiff's handles are independent); raw ones cost no more than their copy.
    std::vector<TiffPtr> handles;
    handles.push_back(std::move(tif));
    if (CodedInParallel(compression) && blocks.size() > 1) {
        const tdir_t page = TIFFCurrentDirectory(handles[0].get());
        const int wanted = CodingThreads(threads, blocks.size());
        // A handle that does not see the same layout (the file replaced meanwhile) is not used.
        const auto sameLayout = [&](TIFF* t) {
            uint32_t w = 0, h = 0;
            return TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w) && w == width &&
                   TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h) && h == height &&
                   (TIFFIsTiled(t) != 0) == layout.tiled &&
                   (layout.tiled ? TIFFTileSize(t) : TIFFStripSize(t)) == blockSize;
        };
        while (static_cast<int>(handles.size()) < wanted) {
            TiffPtr another = OpenTiff(path, "rm");
            if (!another || !TIFFSetDirectory(another.get(), page) || !sameLayout(another.get())) {
                break;  // fewer threads read the same blocks
            }
            handles.push_back(std::move(another));
        }
    }
    std::vector<std::vector<unsigned char>> buffers(handles.size());
    std::vector<std::vector<float>> rows(handles.size());
    const bool read = ForEachBlock(
        blocks.size(), static_cast<int>(handles.size()),
        [&](int worker, size_t i) {
            TIFF* const t = handles[static_cast<size_t>(worker)].get();
            std::vector<unsigned char>& buffer = buffers[static_cast<size_t>(worker)];
            // Zeroed for every block: for some damaged streams libtiff reports a whole block
            // without writing all of it, and what an earlier block left would make the samples
            // depend on which thread read what.
            buffer.assign(static_cast<size_t>(blockSize), 0);
            const Block& b = blocks[i];
            // Never more than the buffer holds, whatever the handle's directory says.
            const tmsize_t got = layout.tiled
                                     ? TIFFReadEncodedTile(t, b.index, buffer.data(), b.bytes)
                                     : TIFFReadEncodedStrip(t, b.index, buffer.data(), b.bytes);
            if (layout.tiled ? got < 0 : got < b.bytes) {
                return false;
            }
            StoreBlock(buffer.data(), blockWidth, b.x, b.y, b.cols, b.rows, b.plane, kind, image,
                       rows[static_cast<size_t>(worker)]);
            return true;
        },
        [](int, size_t) { return true; });
    if (!read) {
        error = kDamagedFile;
        return false;
    }
    return true;
}

bool WriteTiff(const std::string& path, const Image& image, SampleType type, TiffCompression choice,
               std::string& error, int threads) {
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
    const bool predicted = compression == COMPRESSION_LZW ||
                           compression == COMPRESSION_ADOBE_DEFLATE ||
                           compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD;
    if (predictor == PREDICTOR_FLOATINGPOINT && type != SampleType::Float32) {
        predictor = PREDICTOR_HORIZONTAL;
    }
    const bool tiled = layout.tiled && layout.tileWidth % 16 == 0 && layout.tileHeight % 16 == 0 &&
                       layout.tileWidth > 0 && layout.tileHeight > 0;
    uint32_t rps = layout.rowsPerStrip;
    // The layout tags, given to the file and to the threads' memory files alike.
    const auto setLayout = [&](TIFF* t) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bps * 8));
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT,
                     type == SampleType::Float32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     image.Grey() ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        if (image.HasAlpha()) {
            const uint16_t kind =
                layout.extraSample != 0 ? layout.extraSample : uint16_t{EXTRASAMPLE_UNASSALPHA};
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
        }
        TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
        if (predicted &&
            (predictor == PREDICTOR_HORIZONTAL || predictor == PREDICTOR_FLOATINGPOINT)) {
            TIFFSetField(t, TIFFTAG_PREDICTOR, predictor);
        }
        if (tiled) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, layout.tileWidth);
            TIFFSetField(t, TIFFTAG_TILELENGTH, layout.tileHeight);
        } else {
            if (rps == 0 || rps > height) {
                rps = TIFFDefaultStripSize(t, 0);
            }
            // libtiff cuts a single uncompressed strip into strips of a few KiB when reading,
            // and the writer makes a system call per strip: uncompressed strips hold at least
            // kMinRawStripBytes (compressed ones keep their rows: more blocks to code at once).
            if (compression == COMPRESSION_NONE) {
                const uint64_t rowBytes = uint64_t{width} * spp * bps;
                rps = static_cast<uint32_t>(std::min<uint64_t>(
                    std::max<uint64_t>(rps, (kMinRawStripBytes + rowBytes - 1) / rowBytes),
                    height));
            }
            rps = std::min(std::max(rps, uint32_t{1}), height);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
        }
    };
    setLayout(tif.get());
    if (layout.resolutionUnit != 0 && layout.xResolution > 0.0f && layout.yResolution > 0.0f) {
        TIFFSetField(tif.get(), TIFFTAG_RESOLUTIONUNIT, layout.resolutionUnit);
        TIFFSetField(tif.get(), TIFFTAG_XRESOLUTION, static_cast<double>(layout.xResolution));
        TIFFSetField(tif.get(), TIFFTAG_YRESOLUTION, static_cast<double>(layout.yResolution));
    }
    if (!image.icc.empty()) {
        TIFFSetField(tif.get(), TIFFTAG_ICCPROFILE, static_cast<uint32_t>(image.icc.size()),
                     image.icc.data());
    }

    // The blocks in the file's order; a tile's samples beyond the image stay 0.
    const size_t n = static_cast<size_t>(spp);
    const uint32_t blockWidth = tiled ? layout.tileWidth : width;
    const uint32_t blockHeight = tiled ? layout.tileHeight : rps;
    const uint32_t across = tiled ? (width + blockWidth - 1) / blockWidth : 1;
    const uint32_t down = (height + blockHeight - 1) / blockHeight;
    const auto blockBytes = static_cast<size_t>(
        tiled ? TIFFTileSize(tif.get()) : static_cast<tmsize_t>(rps) * width * n * bps);
    const auto encode = [&](size_t i, std::vector<unsigned char>& block) {
        const auto x0 = static_cast<uint32_t>(i % across) * blockWidth;
        const auto y0 = static_cast<uint32_t>(i / across) * blockHeight;
        const uint32_t cols = std::min(blockWidth, width - x0);
        const uint32_t rows = std::min(blockHeight, height - y0);
        if (tiled) {
            block.assign(blockBytes, 0);
        } else {
            block.resize(blockBytes);  // every byte written below
        }
        // Per thread: the rows of an image not held in the file's order are gathered there.
        thread_local std::vector<float> scratch;
        for (uint32_t r = 0; r < rows; ++r) {
            unsigned char* dst = block.data() + static_cast<size_t>(r) * blockWidth * n * bps;
            const float* src = LoadPixels(image, static_cast<size_t>(y0) + r, x0, cols, scratch);
            EncodeRun(src, static_cast<size_t>(cols) * n, type, dst);
        }
        // A last strip holds its own rows only.
        return tiled ? static_cast<tmsize_t>(blockBytes)
                     : static_cast<tmsize_t>(rows) * width * static_cast<tmsize_t>(n * bps);
    };
    // Block i encoded and handed to t's codec.
    const auto writeEncoded = [&](TIFF* t, size_t i, std::vector<unsigned char>& block) {
        const tmsize_t size = encode(i, block);
        const auto index = static_cast<uint32_t>(i);
        return (tiled ? TIFFWriteEncodedTile(t, index, block.data(), size)
                      : TIFFWriteEncodedStrip(t, index, block.data(), size)) >= 0;
    };
    const size_t count = static_cast<size_t>(across) * down;
    const char* const failure = tiled ? "cannot write a TIFF tile" : "cannot write a TIFF strip";
    const int wanted = CodingThreads(threads, count);
    const bool uncompressed = compression == COMPRESSION_NONE;
    if ((!uncompressed && !CodedInParallel(compression)) || wanted < 2) {
        std::vector<unsigned char> block;
        for (size_t i = 0; i < count; ++i) {
            if (!writeEncoded(tif.get(), i, block)) {
                error = TiffReason(failure);
                return false;
            }
        }
    } else {
        // Each thread codes whole blocks, the file takes their bytes in order: the same, byte
        // for byte. Compression runs in a memory file of the same layout; uncompressed bytes
        // are the samples as encode lays them out.
        std::vector<std::unique_ptr<MemoryTiff>> memories;
        for (int w = 0; w < wanted && !uncompressed; ++w) {
            memories.push_back(std::make_unique<MemoryTiff>());
            if (!memories.back()->Get()) {
                error = TiffReason(failure);
                return false;
            }
            setLayout(memories.back()->Get());
        }
        const auto threadCount = static_cast<size_t>(wanted);
        std::vector<std::vector<unsigned char>> blocks(threadCount), coded(threadCount);
        const bool written = ForEachBlock(
            count, wanted,
            [&](int worker, size_t i) {
                const auto w = static_cast<size_t>(worker);
                if (uncompressed) {
                    coded[w].resize(static_cast<size_t>(encode(i, coded[w])));
                    return true;
                }
                MemoryTiff& memory = *memories[w];
                if (!writeEncoded(memory.Get(), i, blocks[w])) {
                    return false;
                }
                coded[w] = memory.TakeBlock(static_cast<uint32_t>(i));
                return true;
            },
            [&](int worker, size_t i) {
                std::vector<unsigned char>& bytes = coded[static_cast<size_t>(worker)];
                const auto index = static_cast<uint32_t>(i);
                const auto size = static_cast<tmsize_t>(bytes.size());
                return (tiled ? TIFFWriteRawTile(tif.get(), index, bytes.data(), size)
                              : TIFFWriteRawStrip(tif.get(), index, bytes.data(), size)) == size;
            });
        if (!written) {
            error = TiffReason(failure);
            return false;
        }
        // Closing the memory files is no part of the file's writing: what they may report is
        // not the file's error.
        memories.clear();
        tLastTiffError.clear();
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
