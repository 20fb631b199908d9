// velnr-gimp inside GIMP itself: gimp-console runs Script-Fu batches on pictures that velnr
// also processes, and the saved results are compared with velnr's. gimp-console exits 0 even
// when a batch command fails, so every check reads the saved files and GIMP's output.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "gimp/Parameters.h"
#include "tests/host/TestSupport.h"

namespace velnr::test {
namespace {

namespace fs = std::filesystem;
using Values = std::array<int32_t, vel::kParamTable.size()>;

// None of them the initial value: a run with the library's own values cannot pass for one
// with these.
constexpr Values kValues{-3, 2, 12, 15, 1, 1, 1, 1, 3};
constexpr Values kLumaOutOfRange{11, 2, 12, 15, 1, 1, 1, 1, 3};  // -10..10
constexpr Values kIgnored{};

enum class Expect { Velnr, Unchanged, SelectionOnly };

struct Case {
    const char* name;
    int session;  // GIMP sessions in turn, all with one GIMP folder; 2 without the library
    const char* mode;
    const Values* values;
    const char* input;
    const char* output;
    Expect expect;
    double tolerance = 0.0;    // in steps of an integer precision, on the 0..1 scale for float
    const char* message = "";  // what GIMP's output of the session must hold
    const char* before = "";   // Script-Fu before the filter, with img and drw bound
    const char* after = "";    // and after it
};

const Case kCases[] = {
    {"16-bit RGB", 0, "RUN-NONINTERACTIVE", &kValues, "rgb16.png", "rgb16-gimp.png", Expect::Velnr,
     1},
    {"32-bit float", 0, "RUN-NONINTERACTIVE", &kValues, "float.tif", "float-gimp.tif",
     Expect::Velnr},
    {"8-bit RGB", 0, "RUN-NONINTERACTIVE", &kValues, "rgb8.png", "rgb8-gimp.png", Expect::Velnr, 1},
    {"8-bit RGBA", 0, "RUN-NONINTERACTIVE", &kValues, "rgba8.png", "rgba8-gimp.png", Expect::Velnr,
     1},
    {"8-bit grey", 0, "RUN-NONINTERACTIVE", &kValues, "grey8.png", "grey8-gimp.png", Expect::Velnr,
     1},
    // Through babl's sRGB tone curve and back: its rounding, far below an 8-bit step (linear
    // values handed over instead would be off by tenths).
    {"linear float", 0, "RUN-NONINTERACTIVE", &kValues, "float.tif", "linear-gimp.tif",
     Expect::Velnr, 2e-4, "", "(gimp-image-convert-precision img PRECISION-FLOAT-LINEAR)",
     "(gimp-image-convert-precision img PRECISION-FLOAT-GAMMA)"},
    {"rectangular selection", 0, "RUN-NONINTERACTIVE", &kValues, "rgb8.png", "selection-gimp.png",
     Expect::SelectionOnly, 0, "",
     "(gimp-image-select-rectangle img CHANNEL-OP-REPLACE 10 20 100 60)"},
    {"value out of range", 0, "RUN-NONINTERACTIVE", &kLumaOutOfRange, "rgb8.png",
     "refused-gimp.png", Expect::Unchanged, 0, "luma-threshold is 11, outside -10..10"},
    // A new GIMP: the values of the last run, not of the refused call, from the settings file.
    {"last values after a restart", 1, "RUN-WITH-LAST-VALS", &kIgnored, "rgb16.png",
     "last-gimp.png", Expect::Velnr, 1},
    {"interactive without a display", 1, "RUN-INTERACTIVE", &kIgnored, "rgb8.png",
     "no-display-gimp.png", Expect::Velnr, 1,
     "no display for the settings dialog; ran with the last values"},
    {"missing library", 2, "RUN-NONINTERACTIVE", &kValues, "rgb8.png", "missing-gimp.png",
     Expect::Unchanged, 0, "libVELNoiseReduction.so (VELNR_PLUGIN): plug-in library not found"},
};

// Appended (GCC 12's -Wrestrict misfires on a literal + std::string&&).
std::string Quoted(const fs::path& path) {
    return std::string(1, '"').append(path.string()).append(1, '"');
}

// Loads, prepares, filters, finishes, saves and closes; a failing call leaves the picture
// open, and the next command saves it as it is.
std::vector<std::string> Batch(const fs::path& d, const Case& c) {
    std::string values;
    for (int32_t v : *c.values) {
        values.append(1, ' ').append(std::to_string(v));
    }
    const std::string save = std::string(
                                 " (gimp-file-save RUN-NONINTERACTIVE img (car "
                                 "(gimp-image-get-active-drawable img)) ") +
                             Quoted(d / c.output) + " \"out\")";
    std::vector<std::string> batch{
        std::string("(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE ") + Quoted(d / c.input) +
        " \"in\"))) (drw (car (gimp-image-get-active-drawable img)))) " + c.before +
        " (plug-in-vel-noise-reduction " + c.mode + " img drw" + values + ") " + c.after + save +
        " (gimp-image-delete img))"};
    if (c.expect == Expect::Unchanged) {
        batch.push_back(std::string("(let* ((img (vector-ref (cadr (gimp-image-list)) 0)))") +
                        save + ")");
    }
    return batch;
}

// A crop of the photograph with seeded noise; integer samples on their steps.
Image Noisy(const Image& photo, int32_t width, int32_t height, int channels, SampleType type) {
    Image image;
    std::tie(image.width, image.height, image.channels, image.type) =
        std::tie(width, height, channels, type);
    std::mt19937 random(static_cast<uint32_t>(channels * 10 + static_cast<int>(type)));
    std::normal_distribution<float> noise(0.0f, 0.05f);
    const float steps = type == SampleType::UInt8 ? 255.0f : 65535.0f;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const float* src = &photo.samples[(static_cast<size_t>(y) * photo.width + x) * 3];
            for (int k = 0; k < channels; ++k) {
                float v = k == 3          ? static_cast<float>(1 + random() % 255) / 255.0f
                          : channels == 1 ? (src[0] + src[1] + src[2]) / 3.0f + noise(random)
                                          : src[k] + noise(random);
                if (type != SampleType::Float32) {
                    v = std::round(std::clamp(v, 0.0f, 1.0f) * steps) / steps;
                }
                image.samples.push_back(v);
            }
        }
    }
    return image;
}

// The largest difference of two pictures' samples (alpha only, or all) inside or outside a
// rectangle, in steps of integers or on the 0..1 scale for floats; infinity when their shapes
// differ.
double MaxDifference(const Image& a, const Image& b, bool alphaOnly = false, bool inside = true,
                     std::array<int32_t, 4> rect = {0, 0, 1 << 30, 1 << 30}) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels ||
        a.type != b.type) {
        return INFINITY;
    }
    const uint32_t max = a.type == SampleType::UInt8 ? 255 : 65535;
    double most = 0.0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        const int32_t x = static_cast<int32_t>(i / a.channels % a.width);
        const int32_t y = static_cast<int32_t>(i / a.channels / a.width);
        const bool in =
            x >= rect[0] && x < rect[0] + rect[2] && y >= rect[1] && y < rect[1] + rect[3];
        if (in == inside &&
            (!alphaOnly || (a.HasAlpha() && i % a.channels == size_t(a.channels - 1)))) {
            most = std::max(most, a.type == SampleType::Float32
                                      ? std::fabs(double(a.samples[i]) - double(b.samples[i]))
                                      : std::fabs(double(QuantizeSample(a.samples[i], max)) -
                                                  double(QuantizeSample(b.samples[i], max))));
        }
    }
    return most;
}

TEST(GimpPlugin, EveryPictureComesOutAsVelnrsOrUnchangedWhereItMust) {
    const ScratchDir scratch;
    const fs::path d(scratch.Path());
    const Image photo = Read(VELNR_DATA_DIR "/coffee.png");
    Write(d / "rgb16.png", Noisy(photo, photo.width, photo.height, 3, SampleType::UInt16));
    Write(d / "rgb8.png", Noisy(photo, 160, 120, 3, SampleType::UInt8));
    Write(d / "rgba8.png", Noisy(photo, 160, 120, 4, SampleType::UInt8));
    Write(d / "grey8.png", Noisy(photo, 160, 120, 1, SampleType::UInt8));
    WriteOptions raw;
    raw.compression = TiffCompression::None;
    Write(d / "float.tif", Noisy(photo, 160, 120, 3, SampleType::Float32), raw);

    std::vector<std::string> options{"-q", "--settings", (d / "velnr.ini").string()};
    for (const vel::ParamInfo& param : vel::kParamTable) {
        const int32_t v = kValues[vel::IndexOf(param)];
        options.push_back(
            "--" + velnr::gimp::ArgumentName(param) + "=" +
            (param.kind == vel::ParamKind::Switch ? (v ? "on" : "off") : std::to_string(v)));
    }
    for (const char* input : {"rgb16.png", "rgb8.png", "rgba8.png", "grey8.png", "float.tif"}) {
        std::vector<std::string> args = options;
        args.insert(args.end(),
                    {"-o", (d / ("velnr-" + std::string(input))).string(), (d / input).string()});
        ASSERT_EQ(RunVelnr(args).status, 0) << input;
    }

    // A plug-in folder holding only velnr-gimp, the library beside it (where it looks first),
    // and of GIMP's own only what the batches use (a fresh GIMP folder queries every one). The
    // GIMP folder is fresh: a plug-in put in it before GIMP's first start keeps GIMP from
    // setting it up.
    const fs::path plugins = d / "plug-ins" / "velnr-gimp", own = d / "gimp-plug-ins";
    fs::create_directories(plugins);
    fs::create_directories(own);
    fs::copy_file(VELNR_GIMP_PLUGIN, plugins / "velnr-gimp");
    fs::create_symlink(VELNR_LIBRARY, plugins / "libVELNoiseReduction.so");
    for (const char* name : {"script-fu", "file-png", "file-tiff"}) {
        fs::create_directory_symlink(fs::path(VELNR_GIMP_PLUGIN_DIR) / name, own / name);
    }
    WriteAll(d / "gimprc",
             "(plug-in-path \"" + own.string() + ":" + (d / "plug-ins").string() + "\")\n");

    std::array<std::string, 3> outputs;
    for (int session = 0; session < 3; ++session) {
        std::vector<std::string> args{"-i", "-n", "-d", "-f", "-g", (d / "gimprc").string()};
        for (const Case& c : kCases) {
            for (const std::string& command : Batch(d, c)) {
                if (c.session == session) {
                    args.insert(args.end(), {"-b", command});
                }
            }
        }
        args.insert(args.end(), {"-b", "(gimp-quit 0)"});
        // The plug-in is built with AddressSanitizer: GLib's and GEGL's process-wide caches,
        // never freed before exit, would fail its leak check on every run.
        const RunResult gimp =
            RunVelnr(args,
                     {{"GIMP2_DIRECTORY", (d / "gimp").string()},
                      {"HOME", d.string()},
                      {"XDG_CONFIG_HOME", (d / "config").string()},
                      {"XDG_CACHE_HOME", (d / "cache").string()},
                      {"XDG_DATA_HOME", (d / "data").string()},
                      {"DISPLAY", ""},
                      {"WAYLAND_DISPLAY", ""},
                      {"ASAN_OPTIONS", "detect_leaks=0"},
                      {"VELNR_PLUGIN",
                       session == 2 ? (d / "none" / "libVELNoiseReduction.so").string() : ""}},
                     VELNR_GIMP_CONSOLE);
        outputs[session] = gimp.out + gimp.err;
    }

    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string& log = outputs[c.session];
        EXPECT_NE(log.find(c.message), std::string::npos) << log;
        ASSERT_TRUE(fs::exists(d / c.output)) << log;
        const Image input = Read(d / c.input), output = Read(d / c.output);
        EXPECT_EQ(MaxDifference(output, input, true), 0.0) << "alpha changed";
        if (c.expect == Expect::Velnr) {
            const Image velnr = Read(d / ("velnr-" + std::string(c.input)));
            EXPECT_NE(MaxDifference(input, velnr), 0.0) << "velnr left the picture as it was";
            EXPECT_LE(MaxDifference(output, velnr), c.tolerance);
        } else if (c.expect == Expect::Unchanged) {
            EXPECT_EQ(MaxDifference(output, input), 0.0);
        } else {
            EXPECT_EQ(MaxDifference(output, input, false, false, {10, 20, 100, 60}), 0.0);
            EXPECT_GT(MaxDifference(output, input, false, true, {10, 20, 100, 60}), 0.0);
        }
    }
    // The float picture's noise reaches outside 0..1: counted as velnr counts it.
    EXPECT_NE(outputs[0].find(std::to_string(CountOutOfRangeSamples(Read(d / "float.tif"))) +
                              " colour samples outside 0..1"),
              std::string::npos);
}

}  // namespace
}  // namespace velnr::test
