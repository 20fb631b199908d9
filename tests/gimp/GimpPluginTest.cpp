// velnr-gimp inside GIMP itself: gimp-console runs Script-Fu batches on pictures that velnr
// also processes, and the saved results are compared with velnr's. gimp-console exits 0 even
// when a batch command fails, so every check reads the saved files and GIMP's output.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gimp/Parameters.h"
#include "tests/host/TestSupport.h"

namespace velnr::test {
namespace {

namespace fs = std::filesystem;

// One value per parameter-table entry, none of them the initial value, so that a run with
// other values (the library's own, a stale file's) cannot pass for this one.
constexpr std::array<int32_t, 9> kValues{-3, 2, 12, 15, 1, 1, 1, 1, 3};
static_assert(kValues.size() == vel::kParamTable.size());

enum class Check {
    LikeVelnr,      // equals velnr's result on the same file within `tolerance`
    SelectionOnly,  // unchanged outside the rectangle (10, 20) 100 x 60, changed inside
};

struct Case {
    const char* name;
    const char* input;
    const char* output;
    const char* before = "";  // Script-Fu run before the filter, with img and drw bound
    const char* after = "";   // and after it
    Check check = Check::LikeVelnr;
    double tolerance = 0.0;  // in steps of the precision; floats on the 0..1 scale
};

const Case kCases[] = {
    {"16-bit RGB", "rgb16.png", "rgb16-gimp.png", "", "", Check::LikeVelnr, 1},
    {"32-bit float", "float.tif", "float-gimp.tif"},
    {"8-bit RGB", "rgb8.png", "rgb8-gimp.png", "", "", Check::LikeVelnr, 1},
    {"8-bit RGBA", "rgba8.png", "rgba8-gimp.png", "", "", Check::LikeVelnr, 1},
    {"8-bit grey", "grey8.png", "grey8-gimp.png", "", "", Check::LikeVelnr, 1},
    // Through babl's sRGB tone curve and back: its rounding, far below an 8-bit step (linear
    // values handed over instead would be off by tenths).
    {"linear float", "float.tif", "linear-gimp.tif",
     "(gimp-image-convert-precision img PRECISION-FLOAT-LINEAR)",
     "(gimp-image-convert-precision img PRECISION-FLOAT-GAMMA)", Check::LikeVelnr, 2e-4},
    {"rectangular selection", "rgb8.png", "selection-gimp.png",
     "(gimp-image-select-rectangle img CHANNEL-OP-REPLACE 10 20 100 60)", "", Check::SelectionOnly},
};
struct Rect {
    int32_t x, y, width, height;
};
constexpr Rect kSelection{10, 20, 100, 60};

std::string Quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

std::string Arguments(const std::array<int32_t, 9>& values) {
    std::string text;
    for (int32_t v : values) {
        text += " " + std::to_string(v);
    }
    return text;
}

// A batch command: load, prepare, filter in run mode `mode`, finish, save, close.
std::string Batch(const fs::path& dir, const Case& c, const char* mode,
                  const std::string& arguments) {
    return "(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE " + Quoted(dir / c.input) +
           " \"in\"))) (drw (car (gimp-image-get-active-drawable img)))) " + c.before +
           " (plug-in-vel-noise-reduction " + mode + " img drw" + arguments + ") " + c.after +
           " (gimp-file-save RUN-NONINTERACTIVE img (car (gimp-image-get-active-drawable img)) " +
           Quoted(dir / c.output) + " \"out\") (gimp-image-delete img))";
}

// Saves the picture GIMP still holds (the one a failed command left open).
std::string SaveOpenImage(const fs::path& output) {
    return "(let* ((img (vector-ref (cadr (gimp-image-list)) 0))) (gimp-file-save "
           "RUN-NONINTERACTIVE img (car (gimp-image-get-active-drawable img)) " +
           Quoted(output) + " \"out\"))";
}

Image Noisy(const Image& photo, int32_t width, int32_t height, int channels, SampleType type,
            bool clamp, uint32_t seed) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.type = type;
    image.samples.resize(static_cast<size_t>(width) * height * channels);
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    const float steps = type == SampleType::UInt8 ? 255.0f : 65535.0f;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const float* src = &photo.samples[(static_cast<size_t>(y) * photo.width + x) * 3];
            float* dst = &image.samples[(static_cast<size_t>(y) * width + x) * channels];
            for (int k = 0; k < channels; ++k) {
                float v = k == 3          ? static_cast<float>(1 + random() % 255) / 255.0f
                          : channels <= 2 ? (src[0] + src[1] + src[2]) / 3.0f + noise(random)
                                          : src[k] + noise(random);
                if (clamp) {
                    v = std::round(std::clamp(v, 0.0f, 1.0f) * steps) / steps;
                }
                dst[k] = v;
            }
        }
    }
    return image;
}

// The largest difference of two pictures' samples, in steps of their precision (integers) or
// on the 0..1 scale (floats); infinity when their shapes differ.
double MaxDifference(const Image& a, const Image& b, bool alphaOnly = false) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels ||
        a.type != b.type) {
        return INFINITY;
    }
    const uint32_t max = a.type == SampleType::UInt8 ? 255 : 65535;
    double most = 0.0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        if (!alphaOnly || (a.HasAlpha() && i % a.channels == size_t(a.channels - 1))) {
            const double difference = a.type == SampleType::Float32
                                          ? std::fabs(double(a.samples[i]) - double(b.samples[i]))
                                          : std::abs(int64_t(QuantizeSample(a.samples[i], max)) -
                                                     int64_t(QuantizeSample(b.samples[i], max)));
            most = std::max(most, difference);
        }
    }
    return most;
}

class GimpPlugin : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        const fs::path d(dir_->Path());
        const Image photo = Read(VELNR_DATA_DIR "/coffee.png");
        Write(d / "rgb16.png",
              Noisy(photo, photo.width, photo.height, 3, SampleType::UInt16, true, 1));
        Write(d / "rgb8.png", Noisy(photo, 160, 120, 3, SampleType::UInt8, true, 2));
        Write(d / "rgba8.png", Noisy(photo, 160, 120, 4, SampleType::UInt8, true, 3));
        Write(d / "grey8.png", Noisy(photo, 160, 120, 1, SampleType::UInt8, true, 4));
        WriteOptions raw;
        raw.compression = TiffCompression::None;
        Write(d / "float.tif", Noisy(photo, 160, 120, 3, SampleType::Float32, false, 5), raw);

        std::vector<std::string> options{"-q", "--settings", (d / "velnr.ini").string()};
        for (const vel::ParamInfo& param : vel::kParamTable) {
            const int32_t v = kValues[vel::IndexOf(param)];
            options.push_back(
                "--" + velnr::gimp::ArgumentName(param) + "=" +
                (param.kind == vel::ParamKind::Switch ? (v ? "on" : "off") : std::to_string(v)));
        }
        for (const char* input : {"rgb16.png", "rgb8.png", "rgba8.png", "grey8.png", "float.tif"}) {
            std::vector<std::string> args = options;
            args.insert(args.end(), {"-o", (d / ("velnr-" + std::string(input))).string(),
                                     (d / input).string()});
            const RunResult velnr = RunVelnr(args);
            ASSERT_EQ(velnr.status, 0) << velnr.err;
        }

        // A plug-in folder holding only velnr-gimp, with the library beside it (the first place
        // it looks); GIMP's own come from GIMP's folder. A fresh GIMP folder: a
        // plug-in placed in it before GIMP's first start would stop GIMP from setting it up.
        const fs::path plugins = d / "plug-ins" / "velnr-gimp";
        fs::create_directories(plugins);
        fs::copy_file(VELNR_GIMP_PLUGIN, plugins / "velnr-gimp");
        const fs::path library = VELNR_LIBRARY;
        for (const char* name : {"libVELNoiseReduction.so", "libVELNoiseReductionUi.so"}) {
            fs::create_symlink(library.parent_path() / name, plugins / name);
        }
        // Of GIMP's own, only what the batches use: a fresh GIMP folder queries every one.
        const fs::path own = d / "gimp-plug-ins";
        fs::create_directories(own);
        for (const char* name : {"script-fu", "file-png", "file-tiff"}) {
            fs::create_directory_symlink(fs::path(VELNR_GIMP_PLUGIN_DIR) / name, own / name);
        }
        WriteAll(d / "gimprc",
                 "(plug-in-path \"" + own.string() + ":" + (d / "plug-ins").string() + "\")\n");

        std::vector<std::string> first;
        for (const Case& c : kCases) {
            first.push_back(Batch(d, c, "RUN-NONINTERACTIVE", Arguments(kValues)));
        }
        std::array<int32_t, 9> wrong = kValues;
        wrong[0] = 11;  // luma-threshold: -10..10
        Case refused = kCases[2];
        refused.output = "refused-filtered.png";  // written only if the call went through
        first.push_back(Batch(d, refused, "RUN-NONINTERACTIVE", Arguments(wrong)));
        first.push_back(SaveOpenImage(d / "refused-gimp.png"));
        firstOutput_ = new std::string(Gimp(first));

        // A new GIMP: the last values come from the plug-in's settings file, not from the
        // refused call's.
        Case last = kCases[0];
        last.output = "last-gimp.png";
        Case noDisplay = kCases[2];
        noDisplay.output = "no-display-gimp.png";
        secondOutput_ = new std::string(
            Gimp({Batch(d, last, "RUN-WITH-LAST-VALS", Arguments(std::array<int32_t, 9>{})),
                  Batch(d, noDisplay, "RUN-INTERACTIVE", Arguments(std::array<int32_t, 9>{}))}));

        Case missing = kCases[2];
        missing.output = "missing-filtered.png";
        thirdOutput_ =
            new std::string(Gimp({Batch(d, missing, "RUN-NONINTERACTIVE", Arguments(kValues)),
                                  SaveOpenImage(d / "missing-gimp.png")},
                                 (d / "nowhere" / "libVELNoiseReduction.so").string()));
    }

    static void TearDownTestSuite() {
        delete firstOutput_;
        delete secondOutput_;
        delete thirdOutput_;
        delete dir_;
    }

    // Runs the batch commands in gimp-console and gives what it printed.
    static std::string Gimp(std::vector<std::string> commands, const std::string& library = "") {
        const fs::path d(dir_->Path());
        std::vector<std::string> args{"-i", "-n", "-d", "-f", "-g", (d / "gimprc").string()};
        commands.push_back("(gimp-quit 0)");
        for (const std::string& command : commands) {
            args.insert(args.end(), {"-b", command});
        }
        // The plug-in is built with AddressSanitizer: GLib's and GEGL's process-wide caches,
        // never freed before exit, would fail its leak check on every run.
        const RunResult gimp = RunVelnr(args,
                                        {{"GIMP2_DIRECTORY", (d / "gimp").string()},
                                         {"HOME", d.string()},
                                         {"XDG_CONFIG_HOME", (d / "config").string()},
                                         {"XDG_CACHE_HOME", (d / "cache").string()},
                                         {"XDG_DATA_HOME", (d / "data").string()},
                                         {"DISPLAY", ""},
                                         {"WAYLAND_DISPLAY", ""},
                                         {"ASAN_OPTIONS", "detect_leaks=0"},
                                         {"VELNR_PLUGIN", library}},
                                        VELNR_GIMP_CONSOLE);
        return gimp.out + gimp.err;
    }

    static fs::path Path(const char* name) { return fs::path(dir_->Path()) / name; }

    static ScratchDir* dir_;
    static std::string* firstOutput_;
    static std::string* secondOutput_;
    static std::string* thirdOutput_;
};

ScratchDir* GimpPlugin::dir_ = nullptr;
std::string* GimpPlugin::firstOutput_ = nullptr;
std::string* GimpPlugin::secondOutput_ = nullptr;
std::string* GimpPlugin::thirdOutput_ = nullptr;

TEST_F(GimpPlugin, EveryKindOfPictureComesOutAsVelnrsOrOnlyInsideTheSelection) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(fs::exists(Path(c.output))) << *firstOutput_;
        const Image input = Read(Path(c.input).string());
        const Image output = Read(Path(c.output).string());
        if (c.check == Check::LikeVelnr) {
            const Image velnr = Read(Path(("velnr-" + std::string(c.input)).c_str()).string());
            EXPECT_NE(MaxDifference(input, velnr), 0.0) << "velnr left the picture as it was";
            EXPECT_LE(MaxDifference(output, velnr), c.tolerance);
            EXPECT_EQ(MaxDifference(output, input, true), 0.0) << "alpha changed";
            continue;
        }
        ASSERT_TRUE(output.width == input.width && output.height == input.height &&
                    output.channels == input.channels);
        int changedInside = 0;
        for (int32_t y = 0; y < input.height; ++y) {
            for (int32_t x = 0; x < input.width; ++x) {
                const bool inside = x >= kSelection.x && x < kSelection.x + kSelection.width &&
                                    y >= kSelection.y && y < kSelection.y + kSelection.height;
                bool changed = false;
                for (int k = 0; k < input.channels; ++k) {
                    const size_t i =
                        (static_cast<size_t>(y) * input.width + x) * input.channels + k;
                    changed |= input.samples[i] != output.samples[i];
                }
                if (inside) {
                    changedInside += changed ? 1 : 0;
                } else {
                    ASSERT_FALSE(changed) << "outside the selection at " << x << ", " << y;
                }
            }
        }
        EXPECT_GT(changedInside, kSelection.width * kSelection.height * 9 / 10);
    }
}

TEST_F(GimpPlugin, FloatSamplesOutsideTheRangeAreCountedInOneMessage) {
    const uint64_t outside = CountOutOfRangeSamples(Read(Path("float.tif").string()));
    ASSERT_GT(outside, 0u);
    EXPECT_NE(firstOutput_->find(std::to_string(outside) + " colour samples outside 0..1"),
              std::string::npos)
        << *firstOutput_;
}

TEST_F(GimpPlugin, AValueOutOfRangeIsRefusedAndTheImageStaysAsItWas) {
    EXPECT_NE(firstOutput_->find("luma-threshold is 11, outside -10..10"), std::string::npos)
        << *firstOutput_;
    ASSERT_TRUE(fs::exists(Path("refused-gimp.png"))) << *firstOutput_;
    EXPECT_EQ(
        MaxDifference(Read(Path("refused-gimp.png").string()), Read(Path("rgb8.png").string())),
        0.0);
}

TEST_F(GimpPlugin, LastValuesAreThoseOfThePreviousRunAfterARestart) {
    ASSERT_TRUE(fs::exists(Path("last-gimp.png"))) << *secondOutput_;
    EXPECT_LE(
        MaxDifference(Read(Path("last-gimp.png").string()), Read(Path("velnr-rgb16.png").string())),
        1.0);
}

TEST_F(GimpPlugin, AnInteractiveCallWithoutADisplayRunsWithTheLastValuesAndSaysSo) {
    EXPECT_NE(secondOutput_->find("no display for the settings dialog; ran with the last values"),
              std::string::npos)
        << *secondOutput_;
    ASSERT_TRUE(fs::exists(Path("no-display-gimp.png"))) << *secondOutput_;
    EXPECT_LE(MaxDifference(Read(Path("no-display-gimp.png").string()),
                            Read(Path("velnr-rgb8.png").string())),
              1.0);
}

TEST_F(GimpPlugin, AMissingLibraryIsAClearErrorAndTheImageStaysAsItWas) {
    EXPECT_NE(thirdOutput_->find("VEL Noise Reduction: "), std::string::npos) << *thirdOutput_;
    EXPECT_NE(thirdOutput_->find("plug-in library not found"), std::string::npos) << *thirdOutput_;
    ASSERT_TRUE(fs::exists(Path("missing-gimp.png"))) << *thirdOutput_;
    EXPECT_EQ(
        MaxDifference(Read(Path("missing-gimp.png").string()), Read(Path("rgb8.png").string())),
        0.0);
}

}  // namespace
}  // namespace velnr::test
