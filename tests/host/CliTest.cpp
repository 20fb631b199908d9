// The velnr program end to end, against the stand-in plug-in (colour v becomes 1 - v).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "TestSupport.h"
#include "host/ImageIO.h"
#include "settings/Presets.h"

namespace velnr {
namespace {

using test::RunVelnr;
using test::ScratchDir;

class Velnr : public testing::Test {
  protected:
    void SetUp() override {
        env_ = {{"XDG_CONFIG_HOME", config_.Path()}, {"VELNR_FAKE_LOG", config_ / "log"}};
    }

    test::RunResult Run(std::vector<std::string> args,
                        std::map<std::string, std::string> extraEnv = {}) {
        args.insert(args.begin(), {"--plugin", VELNR_FAKE_PLUGIN});
        std::map<std::string, std::string> env = env_;
        for (const auto& [k, v] : extraEnv) {
            env[k] = v;
        }
        return RunVelnr(args, env);
    }

    std::string MakeInput(const std::string& name, int channels = 3,
                          SampleType type = SampleType::UInt16, FileFormat format = FileFormat::Png,
                          uint32_t seed = 1) {
        Image image = test::MakeImage(9, 7, channels, type, seed);
        image.icc = test::MakeIccProfile(channels >= 3 ? "RGB " : "GRAY");
        std::string error;
        const std::string path = dir_ / name;
        EXPECT_TRUE(WriteImage(path, format, image, {}, error)) << error;
        return path;
    }

    // The "set ..." lines the plug-in logged, in order.
    std::vector<std::string> SetLines() {
        std::vector<std::string> lines;
        std::istringstream log(test::ReadText(config_ / "log"));
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("set ", 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    std::string LastSet() {
        const auto lines = SetLines();
        return lines.empty() ? std::string() : lines.back();
    }
    std::string UserSettings() { return config_ / "velnr/settings.ini"; }

    static Image Read(const std::string& path) {
        Image image;
        std::string error;
        EXPECT_TRUE(ReadImage(path, image, error)) << path << ": " << error;
        return image;
    }

    // Every colour sample of out is 1 - the input's, exactly on the integer scale; alpha equal.
    static void ExpectInverted(const Image& in, const Image& out) {
        ASSERT_EQ(in.samples.size(), out.samples.size());
        ASSERT_EQ(in.channels, out.channels);
        ASSERT_EQ(in.type, out.type);
        const uint32_t max = in.type == SampleType::UInt8 ? 255 : 65535;
        for (size_t i = 0; i < in.samples.size(); ++i) {
            const bool alpha = in.HasAlpha() && i % static_cast<size_t>(in.channels) ==
                                                    static_cast<size_t>(in.channels) - 1;
            const uint32_t a = QuantizeSample(in.samples[i], max);
            const uint32_t b = QuantizeSample(out.samples[i], max);
            ASSERT_EQ(b, alpha ? a : max - a) << "sample " << i;
        }
    }

    ScratchDir dir_;
    ScratchDir config_;
    std::map<std::string, std::string> env_;
};

TEST_F(Velnr, BadOptionsGiveOneClearLineAndStatusTwoAndWriteNothing) {
    const std::string in = MakeInput("a.png");
    const std::vector<std::vector<std::string>> bad = {
        {"--luma-threshold", "11", in},
        {"--luma-suppression=-1", in},
        {"--light-correction", "x", in},
        {"--high-quality", "maybe", in},
        {"-o", dir_ / "x.png", in, in},
        {"-o", dir_ / "x.png", "-d", dir_.Path(), in},
        {"--no-reanalyze", "--reanalyze-whole", "on", in},
        {"--quality", "101", in},
        {"--display-profile", in, in},
        {"--slot", "-1", in},
        {"--no-such-option", in},
        {},
        {"--preset", "loud", in},
        {"--name", "{stem}-{date}.{ext}", in},
        {"--name", "sub/{name}", in},
        {"--preset", dir_ / "missing.pst", in},
    };
    for (const auto& args : bad) {
        const test::RunResult r = Run(args);
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        EXPECT_EQ(r.status, 2) << joined << r.err;
        EXPECT_EQ(r.err.rfind("velnr: ", 0), 0u) << joined << r.err;
        EXPECT_TRUE(r.out.empty()) << joined;
    }
    EXPECT_EQ(dir_.List(), std::vector<std::string>{"a.png"});

    const test::RunResult missing = RunVelnr({"--plugin", dir_ / "nothing.so", in}, env_);
    EXPECT_EQ(missing.status, 2);
    const test::RunResult notPlugin = RunVelnr({"--plugin", in, in}, env_);
    EXPECT_EQ(notPlugin.status, 2);
    EXPECT_NE(notPlugin.err.find("cannot load the plug-in"), std::string::npos) << notPlugin.err;
}

TEST_F(Velnr, HelpAndVersion) {
    const test::RunResult help = RunVelnr({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"--luma-threshold", "--dark-correction", "--no-reanalyze", "--preset",
                             "Reanalyze Whole", "--force", "{stem}"}) {
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    }
    const test::RunResult version = RunVelnr({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("velnr 1.", 0), 0u) << version.out;
}

TEST_F(Velnr, BatchNamesOutputsAndKeepsFormatDepthAlphaAndGrey) {
    const std::string a = MakeInput("a.png", 4, SampleType::UInt16);
    const std::string b = MakeInput("b.tif", 2, SampleType::UInt8, FileFormat::Tiff, 2);
    const std::string c = MakeInput("c.tif", 1, SampleType::UInt16, FileFormat::Tiff, 3);
    const test::RunResult r = Run({"-q", a, b, c});
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectInverted(Read(a), Read(dir_ / "a-nr.png"));
    ExpectInverted(Read(b), Read(dir_ / "b-nr.tif"));
    ExpectInverted(Read(c), Read(dir_ / "c-nr.tif"));
    EXPECT_EQ(Read(dir_ / "a-nr.png").icc, Read(a).icc);
    EXPECT_EQ(Read(dir_ / "c-nr.tif").icc, Read(c).icc);
    EXPECT_TRUE(r.out.empty());

    const test::RunResult named =
        Run({"-d", dir_ / "out/deeper", "--name", "{stem}_clean.{ext}", a, b});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, dir_ / "out/deeper/a_clean.png\n" + dir_ / "out/deeper/b_clean.tif\n");
    ExpectInverted(Read(a), Read(dir_ / "out/deeper/a_clean.png"));

    // The output's extension chooses the format; a 16-bit input stays 16-bit in PNG.
    const test::RunResult converted = Run({"-o", dir_ / "c.png", c});
    ASSERT_EQ(converted.status, 0) << converted.err;
    const test::RunResult toTiff = Run({"-o", dir_ / "a.tif", a});
    ASSERT_EQ(toTiff.status, 0) << toTiff.err;
    const Image tiff = Read(dir_ / "a.tif");
    EXPECT_EQ(tiff.tiff.compression, 8);  // Deflate, not uncompressed
    ExpectInverted(Read(a), tiff);
    const Image png = Read(dir_ / "c.png");
    EXPECT_EQ(png.format, FileFormat::Png);
    ExpectInverted(Read(c), png);
}

TEST_F(Velnr, ExistingFilesAndInputsAreReplacedOnlyWithForce) {
    const std::string a = MakeInput("a.png");
    const auto inputBytes = test::ReadBytes(a);
    ASSERT_EQ(Run({a}).status, 0);
    const auto first = test::ReadBytes(dir_ / "a-nr.png");

    const test::RunResult again = Run({a});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already exists (use --force"), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("a.png"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(dir_ / "a-nr.png"), first);

    const test::RunResult self = Run({"-o", a, a});
    EXPECT_EQ(self.status, 1);
    EXPECT_NE(self.err.find("is the input"), std::string::npos) << self.err;
    EXPECT_EQ(test::ReadBytes(a), inputBytes);

    const Image original = Read(a);
    const std::string copy = MakeInput("copy.png");
    ASSERT_EQ(Run({"-q", "--force", "-o", copy, copy}).status, 0);  // replaced in place
    ExpectInverted(original, Read(copy));
    ::unlink(copy.c_str());

    test::WriteText(dir_ / "a-nr.png", "stale");
    ASSERT_EQ(Run({"--force", a}).status, 0);
    EXPECT_EQ(test::ReadBytes(dir_ / "a-nr.png"), first);
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a-nr.png", "a.png"}));

    // Two inputs that would land on one output: the second is refused.
    ::mkdir((dir_ / "sub").c_str(), 0777);
    const std::string other = MakeInput("sub/a.png");
    const test::RunResult clash = Run({"-d", dir_ / "out", a, other});
    EXPECT_EQ(clash.status, 1);
    EXPECT_NE(clash.err.find("earlier input"), std::string::npos) << clash.err;
    ExpectInverted(Read(a), Read(dir_ / "out/a-nr.png"));
}

TEST_F(Velnr, BadInputsFailOneByOneAndTheBatchGoesOn) {
    const std::string good = MakeInput("good.png");
    test::WriteBytes(dir_ / "empty.png", {});
    ::mkdir((dir_ / "folder.png").c_str(), 0777);
    auto bytes = test::ReadBytes(good);
    bytes.resize(bytes.size() / 2);
    test::WriteBytes(dir_ / "cut.png", bytes);
    test::WriteText(dir_ / "notes.txt", "hello");
    const test::RunResult r = Run({dir_ / "missing.png", dir_ / "empty.png", dir_ / "folder.png",
                                   dir_ / "cut.png", good, dir_ / "notes.txt"});
    EXPECT_EQ(r.status, 1);
    for (const char* name :
         {"missing.png: ", "empty.png: empty file", "folder.png: no TIFF, PNG or JPEG files",
          "cut.png: ", "notes.txt: not a TIFF, PNG or JPEG", "5 of 6 files failed"}) {
        EXPECT_NE(r.err.find(name), std::string::npos) << name << "\n" << r.err;
    }
    EXPECT_EQ(r.out, dir_ / "good-nr.png\n");
    ExpectInverted(Read(good), Read(dir_ / "good-nr.png"));
    for (const std::string& name : dir_.List()) {
        EXPECT_EQ(name.find(".velnr-"), std::string::npos) << name;
    }
}

TEST_F(Velnr, UnwritableOrMissingOutputFoldersAreReported) {
    const std::string a = MakeInput("a.png");
    const test::RunResult proc = Run({"-o", "/proc/velnr-test.png", a});
    EXPECT_EQ(proc.status, 1);
    EXPECT_NE(proc.err.find("cannot write in /proc"), std::string::npos) << proc.err;
    const test::RunResult missing = Run({"-o", dir_ / "nowhere/x.png", a});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
    const test::RunResult dirFails = Run({"-d", "/proc/velnr-test", a});
    EXPECT_EQ(dirFails.status, 2);
    const test::RunResult noFormat = Run({"-o", dir_ / "x.bmp", a});
    EXPECT_EQ(noFormat.status, 1);
    EXPECT_NE(noFormat.err.find("output format"), std::string::npos);
    const test::RunResult alpha = Run({"-o", dir_ / "x.jpg", MakeInput("rgba.png", 4)});
    EXPECT_EQ(alpha.status, 1);
    EXPECT_NE(alpha.err.find("alpha"), std::string::npos) << alpha.err;
    if (::geteuid() != 0) {  // root writes anywhere
        ::mkdir((dir_ / "locked").c_str(), 0555);
        EXPECT_EQ(Run({"-d", dir_ / "locked", a}).status, 1);
    }
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a.png", "rgba.png"}));
}

TEST_F(Velnr, InterruptedRunLeavesNoOutputAndTouchesNoInput) {
    const std::string a = MakeInput("a.png");
    const std::string b = MakeInput("b.tif", 3, SampleType::Float32, FileFormat::Tiff);
    const auto aBytes = test::ReadBytes(a);
    const auto bBytes = test::ReadBytes(b);
    for (const char* step : {"0", "5", "9"}) {
        const test::RunResult r = Run({a, b}, {{"VELNR_FAKE_RAISE_AT", step}});
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_NE(r.err.find("a.png: cancelled"), std::string::npos) << r.err;
        EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a.png", "b.tif"}));
        EXPECT_EQ(test::ReadBytes(a), aBytes);
        EXPECT_EQ(test::ReadBytes(b), bBytes);
    }
    // The same run without the interruption writes both.
    ASSERT_EQ(Run({a, b}).status, 0);
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a-nr.png", "a.png", "b-nr.tif", "b.tif"}));
}

TEST_F(Velnr, SettingsFileIsCreatedOnFirstUseAndLeftAloneWithoutSaveSettings) {
    const std::string a = MakeInput("a.png");
    ASSERT_EQ(Run({"-q", a}).status, 0);
    const std::string created = test::ReadText(UserSettings());
    EXPECT_EQ(created,
              "[VEL Noise Reduction 0]\r\nDark Correction=0\r\nLight Correction=0\r\n"
              "Reanalyze Whole=0\r\nHigh Quality=1\r\nLink Luma Chroma=1\r\n"
              "Chroma Suppression=12\r\nLuma Suppression=6\r\nChroma Threshold=1\r\n"
              "Luma Threshold=-2\r\n");
    // The initial values, with the whole-image analysis the host adds to silent runs.
    EXPECT_EQ(LastSet(), "set -2 1 6 12 0 0 1 1 1");

    ASSERT_EQ(Run({"-q", "-f", "--no-reanalyze", a}).status, 0);
    EXPECT_EQ(LastSet(), "set -2 1 6 12 0 0 1 1 0");
    ASSERT_EQ(Run({"-q", "-f", "--reanalyze-whole", "off", a}).status, 0);
    EXPECT_EQ(LastSet(), "set -2 1 6 12 0 0 1 1 0");

    ASSERT_EQ(Run({"-q", "-f", "--preset", "Remove noise - strong", a}).status, 0);
    EXPECT_EQ(LastSet(), "set 0 1 12 15 0 0 1 1 1");
    ASSERT_EQ(Run({"-q", "-f", "-p", "strong", "--luma-threshold=-3", "--high-quality", "off",
                   "--dark-correction", "5", a})
                  .status,
              0);
    EXPECT_EQ(LastSet(), "set -3 1 12 15 0 5 1 0 1");
    EXPECT_EQ(test::ReadText(UserSettings()), created);

    // The user's own values are the starting point.
    std::string edited = created;
    edited.replace(edited.find("Luma Threshold=-2"), 17, "Luma Threshold=5");
    test::WriteText(UserSettings(), edited);
    ASSERT_EQ(Run({"-q", "-f", a}).status, 0);
    EXPECT_EQ(LastSet(), "set 5 1 6 12 0 0 1 1 1");
    EXPECT_EQ(test::ReadText(UserSettings()), edited);
}

TEST_F(Velnr, SaveSettingsStoresTheChosenValuesButNotTheHostDefault) {
    const std::string a = MakeInput("a.png");
    ASSERT_EQ(Run({"-q", "-p", "gentle", "--light-correction", "2", "--save-settings", a}).status,
              0);
    const std::string saved = test::ReadText(UserSettings());
    EXPECT_NE(saved.find("Luma Threshold=-4\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Light Correction=2\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Reanalyze Whole=0\r\n"), std::string::npos);
    ASSERT_EQ(Run({"-q", "-f", a}).status, 0);
    EXPECT_EQ(LastSet(), "set -4 -2 6 9 2 0 1 1 1");

    // Another file and slot; other sections of it stay as they were.
    const std::string mine = dir_ / "mine.ini";
    test::WriteText(mine, "; my settings\r\n[Other Plugin 0]\r\nx=1\r\n");
    ASSERT_EQ(Run({"-q", "-f", "--settings", mine, "--slot", "3", "--chroma-threshold", "-7",
                   "--save-settings", a})
                  .status,
              0);
    const std::string text = test::ReadText(mine);
    EXPECT_EQ(
        text.rfind("; my settings\r\n[Other Plugin 0]\r\nx=1\r\n[VEL Noise Reduction 3]\r\n", 0),
        0u)
        << text;
    EXPECT_NE(text.find("Chroma Threshold=-7\r\n"), std::string::npos);
    EXPECT_EQ(LastSet(), "set -2 -7 6 12 0 0 1 1 1");
}

TEST_F(Velnr, PresetFilesGiveTheirFirstOrNamedPreset) {
    const std::string a = MakeInput("a.png");
    const std::string pst = dir_ / "mine.pst";
    test::WriteText(pst,
                    "[VEL Noise Reduction Preset 0]\r\nPreset Name=Day\r\nLuma Threshold=2\r\n"
                    "Chroma Threshold=3\r\n"
                    "[VEL Noise Reduction Preset 1]\r\nPreset Name=Night\r\nLuma Threshold=-6\r\n"
                    "Luma Suppression=18\r\nHigh Quality=0\r\nReanalyze Whole=0\r\n");
    ASSERT_EQ(Run({"-q", "-o", dir_ / "1.png", "--preset", pst, a}).status, 0);
    EXPECT_EQ(LastSet(), "set 2 3 6 12 0 0 1 1 1");
    // Values the preset does not set stay; its switches are never applied.
    ASSERT_EQ(Run({"-q", "-o", dir_ / "2.png", "--preset", pst + ":Night", a}).status, 0);
    EXPECT_EQ(LastSet(), "set -6 1 18 12 0 0 1 1 1");
    const test::RunResult wrong = Run({"--preset", pst + ":Dusk", a});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("\"Day\", \"Night\""), std::string::npos) << wrong.err;
}

TEST_F(Velnr, PluginWithOnlyTheFourExportsRunsWithoutProgressOrCancel) {
    const std::string a = MakeInput("a.png");
    const test::RunResult r = RunVelnr({"--plugin", VELNR_FAKE_PLUGIN_FOUR, a}, env_);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("VEL Noise Reduction..."), std::string::npos) << r.err;
    ExpectInverted(Read(a), Read(dir_ / "a-nr.png"));
    // Ctrl-C cannot stop such a plug-in, but its result is still thrown away.
    const test::RunResult cancelled =
        RunVelnr({"--plugin", VELNR_FAKE_PLUGIN_FOUR, "-o", dir_ / "b.png", a},
                 {{"XDG_CONFIG_HOME", config_.Path()}, {"VELNR_FAKE_RAISE_AT", "3"}});
    EXPECT_EQ(cancelled.status, 130) << cancelled.err;
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"a-nr.png", "a.png"}));
}

TEST_F(Velnr, InteractiveRunsPassTheProfilesAndProgressIsShown) {
    const std::string a = MakeInput("a.png");
    const std::string display = dir_ / "display.icc";
    test::WriteBytes(display, test::MakeIccProfile("RGB "));
    const test::RunResult r = Run({"-i", "--display-profile", display, a});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string log = test::ReadText(config_ / "log");
    EXPECT_NE(log.find("open 0 9 7 " + std::to_string(test::MakeIccProfile("RGB ").size()) + " 1"),
              std::string::npos)
        << log;
    // Not a terminal: plain progress lines.
    EXPECT_NE(r.err.find("[1/1] a.png: VEL Noise Reduction... 100%"), std::string::npos) << r.err;

    const test::RunResult silent = Run({"-f", "-q", a});
    ASSERT_EQ(silent.status, 0);
    EXPECT_TRUE(silent.err.empty()) << silent.err;
    const std::string after = test::ReadText(config_ / "log");
    EXPECT_NE(after.find("open 1 9 7 -1 0"), std::string::npos) << after;
}

}  // namespace
}  // namespace velnr

namespace velnr {
namespace {

test::RunResult RunDemoTool(const std::vector<std::string>& args) {
    std::string command = VELNR_DEMO_EXE;
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    test::RunResult result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[256];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        result.out += buffer;
    }
    const int status = pipe != nullptr ? ::pclose(pipe) : -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(DemoTool, NoiseIsSeededAndPsnrMeasuresIt) {
    test::ScratchDir dir;
    const std::string clean = std::string(VELNR_DATA_DIR) + "/coffee.png";
    ASSERT_EQ(RunDemoTool({"noise", clean, dir / "a.png", "0.05", "7"}).status, 0);
    ASSERT_EQ(RunDemoTool({"noise", clean, dir / "b.png", "0.05", "7"}).status, 0);
    ASSERT_EQ(RunDemoTool({"noise", clean, dir / "c.png", "0.05", "8"}).status, 0);
    EXPECT_EQ(test::ReadBytes(dir / "a.png"), test::ReadBytes(dir / "b.png"));
    EXPECT_NE(test::ReadBytes(dir / "a.png"), test::ReadBytes(dir / "c.png"));
    EXPECT_EQ(RunDemoTool({"psnr", clean, clean}).out, "inf\n");
    // Gaussian noise of sigma 0.05 (12.75 of 255) gives about 20 log10(255 / 12.75) = 26 dB,
    // a little more where clipping at black and white takes some away.
    const double psnr = std::stod(RunDemoTool({"psnr", clean, dir / "a.png"}).out);
    EXPECT_GT(psnr, 25.5);
    EXPECT_LT(psnr, 28.0);
    ASSERT_EQ(RunDemoTool({"side-by-side", clean, dir / "a.png", dir / "both.png"}).status, 0);
    Image both;
    std::string error;
    ASSERT_TRUE(ReadImage(dir / "both.png", both, error)) << error;
    EXPECT_EQ(both.width, 600 + 8 + 600);
    EXPECT_EQ(both.height, 400);
    EXPECT_EQ(RunDemoTool({"noise", clean, dir / "d.png", "-1", "7"}).status, 2);
    EXPECT_EQ(RunDemoTool({"psnr", clean, dir / "missing.png"}).status, 1);
}

}  // namespace
}  // namespace velnr

namespace velnr {
namespace {

// Command lines and what they must lead to: exit status, the files that exist afterwards
// below the scratch folder, and a fragment of what velnr says.
class VelnrTable : public testing::Test {
  protected:
    void SetUp() override {
        env_ = {{"XDG_CONFIG_HOME", config_.Path()}, {"VELNR_FAKE_LOG", config_ / "log"}};
        Make("a.png", FileFormat::Png, SampleType::UInt8);
        ::mkdir((dir_ / "photos").c_str(), 0777);
        ::mkdir((dir_ / "photos/sub").c_str(), 0777);
        ::mkdir((dir_ / "empty").c_str(), 0777);
        Make("photos/b.tif", FileFormat::Tiff, SampleType::UInt16);
        Make("photos/c.jpg", FileFormat::Jpeg, SampleType::UInt8);
        Make("photos/sub/d.png", FileFormat::Png, SampleType::UInt16);
        test::WriteText(dir_ / "photos/notes.txt", "not a picture");
        test::WriteText(dir_ / "photos/.hidden.png", "hidden");
        Image hdr = test::MakeImage(4, 3, 3, SampleType::Float32, 5);
        hdr.samples[0] = 1.5f;
        hdr.samples[4] = -0.25f;
        hdr.samples[7] = 7.0f;
        std::string error;
        EXPECT_TRUE(WriteImage(dir_ / "hdr.tif", FileFormat::Tiff, hdr, {}, error)) << error;
        const std::string pst = dir_ / "loud.pst";
        test::WriteText(pst,
                        "[VEL Noise Reduction Preset 0]\r\nPreset Name=Loud\r\n"
                        "Luma Threshold=50\r\nChroma Suppression=-7\r\n");
    }

    void Make(const std::string& name, FileFormat format, SampleType type) {
        Image image = test::MakeImage(9, 7, 3, type, 3);
        std::string error;
        EXPECT_TRUE(WriteImage(dir_ / name, format, image, {}, error)) << error;
    }

    test::RunResult Run(std::vector<std::string> args, const std::string& plugin,
                        const std::map<std::string, std::string>& extraEnv = {}) {
        args.insert(args.begin(), {"--plugin", plugin});
        auto env = env_;
        env.insert(extraEnv.begin(), extraEnv.end());
        return test::RunVelnr(args, env);
    }

    // Every file below the scratch folder, as relative paths.
    std::set<std::string> Files() const {
        std::set<std::string> files;
        const size_t prefix = dir_.Path().size() + 1;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path())) {
            if (!entry.is_directory()) {
                files.insert(entry.path().string().substr(prefix));
            }
        }
        return files;
    }

    std::string SetLine() {
        std::string last;
        std::istringstream log(test::ReadText(config_ / "log"));
        for (std::string line; std::getline(log, line);) {
            last = line.rfind("set ", 0) == 0 ? line : last;
        }
        return last;
    }

    ScratchDir dir_;
    ScratchDir config_;
    std::map<std::string, std::string> env_;
};

TEST_F(VelnrTable, CommandLinesGiveTheirStatusFilesAndMessage) {
    const std::string d = dir_.Path() + "/";
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int status;
        std::set<std::string> newFiles;
        const char* message;  // in stderr, or stdout with a leading '>'
    };
    const std::vector<Case> cases = {
        // Messages that say what is wrong.
        {{"--slot", "-1", d + "a.png"}, {}, 2, {}, "-1 is too small (use 0 or more)"},
        {{"--luma-threshold=1.5", d + "a.png"}, {}, 2, {}, "1.5 is not a whole number"},
        {{"--luma-threshold=11", d + "a.png"}, {}, 2, {}, "11 is too large (use -10..10 decibels)"},
        {{"-d", d + "a.png", d + "a.png"}, {}, 2, {}, "is a file, not a folder"},
        {{"-o", d + "x.bmp", d + "a.png"}, {}, 1, {}, "unknown output format"},
        {{"--compression", "jpeg", d + "a.png"}, {}, 2, {}, "--compression"},
        {{"--depth", "12", d + "a.png"}, {}, 2, {}, "--depth"},
        {{"--jpeg-subsampling", "411", d + "a.png"}, {}, 2, {}, "--jpeg-subsampling"},
        {{"--save-preset", d + "x.pst", d + "a.png"}, {}, 2, {}, "FILE.pst:NAME"},
        {{"--print-noise", "--no-reanalyze", d + "a.png"}, {}, 2, {}, "--print-noise"},
        {{"--print-noise", "--reanalyze-whole", "off", d + "a.png"}, {}, 2, {}, "whole-image"},
        // Output options the format cannot follow are refused for that file.
        {{"--depth", "32", "-o", d + "x.png", d + "a.png"}, {}, 1, {}, "PNG cannot hold 32-bit"},
        {{"--depth", "16", "--compression", "zstd", "-o", d + "x.tif", d + "a.png"},
         {},
         0,
         {"x.tif"},
         ">x.tif"},
        // -o naming a folder is -d.
        {{"-o", d + "photos", d + "a.png"}, {}, 0, {"photos/a-nr.png"}, ">photos/a-nr.png"},
        // Folders: their image files in name order; -r adds sub-folders below -d.
        {{d + "photos"}, {}, 0, {"photos/b-nr.tif", "photos/c-nr.jpg"}, ">b-nr.tif\n"},
        {{"-r", "-d", d + "out", d + "photos"},
         {},
         0,
         {"out/b-nr.tif", "out/c-nr.jpg", "out/sub/d-nr.png"},
         ">out/sub/d-nr.png"},
        {{d + "empty", d + "a.png"}, {}, 1, {"a-nr.png"}, "no TIFF, PNG or JPEG files"},
        // Float samples beyond 0..1 are clipped, and said so.
        {{d + "hdr.tif"}, {}, 0, {"hdr-nr.tif"}, "3 samples outside 0..1"},
        // A run that could not happen is a failure; one cancelled in the dialog is skipped.
        {{"-i", d + "a.png"}, {{"VELNR_FAKE_RESULT", "impossible"}}, 1, {}, "could not run"},
        {{"-i", d + "a.png"}, {{"VELNR_FAKE_RESULT", "cancel"}}, 3, {}, "skipped"},
        {{d + "a.png"}, {{"VELNR_FAKE_RESULT", "impossible"}}, 1, {}, "could not process"},
        // Out-of-range preset values are named and brought into range.
        {{"-p", d + "loud.pst", d + "a.png"},
         {},
         0,
         {"a-nr.png"},
         "loud.pst: Chroma Suppression=-7 is outside 0..20 dB; using 0"},
        // The noise it measured: the stand-in's entry i is i / 8; Y level 1 detail is entry 1.
        {{"--print-noise", "--high-quality", "off", d + "a.png"},
         {},
         0,
         {"a-nr.png"},
         ">  Y          0.1250   0.3750   0.6250   0.8750\n"},
    };
    const std::set<std::string> before = Files();
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args) {
            line += a + " ";
        }
        const test::RunResult r = Run(c.args, VELNR_FAKE_PLUGIN, c.env);
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        const bool out = c.message[0] == '>';
        const std::string& text = out ? r.out : r.err;
        EXPECT_NE(text.find(c.message + (out ? 1 : 0)), std::string::npos) << line << "\n" << text;
        std::set<std::string> added;
        for (const std::string& f : Files()) {
            if (before.count(f) == 0) {
                added.insert(f);
                std::filesystem::remove(dir_ / f);
            }
        }
        EXPECT_EQ(added, c.newFiles) << line;
    }
    // Settings values out of range: named, used in range, the file left as the host wrote it.
    test::WriteText(config_ / "velnr/settings.ini",
                    "[VEL Noise Reduction 0]\r\nLuma Threshold=50\r\n");
    const test::RunResult r = Run({"-q", d + "a.png"}, VELNR_FAKE_PLUGIN);
    EXPECT_NE(r.err.find("settings.ini: Luma Threshold=50 is outside -10..10 dB; using 10"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(SetLine().rfind("set 10 ", 0), 0u) << SetLine();
    EXPECT_EQ(test::ReadText(config_ / "velnr/settings.ini"),
              "[VEL Noise Reduction 0]\r\nLuma Threshold=50\r\n");
}

TEST_F(VelnrTable, ASecondRunOverAFolderDoesNotTakeTheFirstRunsResultsAsInputs) {
    ASSERT_EQ(Run({"-q", dir_ / "photos"}, VELNR_FAKE_PLUGIN).status, 0);
    const test::RunResult again = Run({dir_ / "photos"}, VELNR_FAKE_PLUGIN);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("b-nr.tif already exists"), std::string::npos) << again.err;
    EXPECT_EQ(Files().count("photos/b-nr-nr.tif"), 0u);
}

TEST_F(VelnrTable, SaveSettingsThatCannotBeSavedIsAnErrorAndPresetValuesAreStoredInRange) {
    // A settings file that leads into /proc cannot be replaced, not even by root.
    const std::string link = dir_ / "link.ini";
    ASSERT_EQ(::symlink("/proc/version", link.c_str()), 0);
    const test::RunResult r =
        Run({"--settings", link, "--save-settings", dir_ / "a.png"}, VELNR_FAKE_PLUGIN);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("cannot save the settings to " + link), std::string::npos) << r.err;
    EXPECT_EQ(Files().count("a-nr.png"), 0u);

    const test::RunResult saved =
        Run({"-q", "-p", dir_ / "loud.pst", "--save-settings", dir_ / "a.png"}, VELNR_FAKE_PLUGIN);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::string text = test::ReadText(config_ / "velnr/settings.ini");
    EXPECT_NE(text.find("Luma Threshold=10\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Chroma Suppression=0\r\n"), std::string::npos) << text;
}

TEST_F(VelnrTable, PrintedSettingsAndSavedPresetsGiveTheSameRunAgain) {
    const test::RunResult printed =
        Run({"-q", "--print-settings", "-p", "strong", "--luma-threshold=-3", "--save-preset",
             dir_ / "mine.pst:Night", dir_ / "a.png"},
            VELNR_FAKE_PLUGIN);
    ASSERT_EQ(printed.status, 0) << printed.err;
    const std::string first = SetLine();
    test::WriteText(dir_ / "printed.ini", printed.out);
    ASSERT_EQ(
        Run({"-q", "-f", "--settings", dir_ / "printed.ini", dir_ / "a.png"}, VELNR_FAKE_PLUGIN)
            .status,
        0);
    EXPECT_EQ(SetLine(), first) << printed.out;
    ASSERT_EQ(
        Run({"-q", "-f", "-p", dir_ / "mine.pst:Night", dir_ / "a.png"}, VELNR_FAKE_PLUGIN).status,
        0);
    EXPECT_EQ(SetLine(), first);
    // Saving again under the same name replaces that preset, another name adds one.
    for (const char* name : {":Night", ":Day"}) {
        ASSERT_EQ(Run({"-q", "-f", "--save-preset", dir_ / "mine.pst" + name, dir_ / "a.png"},
                      VELNR_FAKE_PLUGIN)
                      .status,
                  0);
    }
    std::vector<vel::Preset> presets;
    EXPECT_EQ(vel::LoadUserPresets((dir_ / "mine.pst").c_str(), presets), 2);
}

TEST_F(VelnrTable, ForceKeepsALinkAndThePermissionsOfTheFileItReplaces) {
    ::mkdir((dir_ / "real").c_str(), 0777);
    test::WriteText(dir_ / "real/target.png", "old");
    ::chmod((dir_ / "real/target.png").c_str(), 0640);
    ASSERT_EQ(::symlink("real/target.png", (dir_ / "link.png").c_str()), 0);
    const test::RunResult r =
        Run({"-q", "-f", "-o", dir_ / "link.png", dir_ / "a.png"}, VELNR_FAKE_PLUGIN);
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::lstat((dir_ / "link.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat((dir_ / "real/target.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    Image image;
    std::string error;
    EXPECT_TRUE(ReadImage(dir_ / "real/target.png", image, error)) << error;
}

#ifdef VELNR_REAL_PLUGIN
TEST_F(VelnrTable, PrintedSettingsGiveTheSameResultBitsInTheRealPlugin) {
    const test::RunResult printed =
        Run({"-q", "--print-settings", "-p", "strong", "--luma-threshold=-3", "--dark-correction=4",
             "-o", dir_ / "first.tif", dir_ / "photos/b.tif"},
            VELNR_REAL_PLUGIN);
    ASSERT_EQ(printed.status, 0) << printed.err;
    test::WriteText(dir_ / "printed.ini", printed.out);
    ASSERT_EQ(Run({"-q", "--settings", dir_ / "printed.ini", "-o", dir_ / "second.tif",
                   dir_ / "photos/b.tif"},
                  VELNR_REAL_PLUGIN)
                  .status,
              0);
    EXPECT_EQ(test::ReadBytes(dir_ / "first.tif"), test::ReadBytes(dir_ / "second.tif"));
    // The values differ from the defaults, so a settings file that was not read would show.
    ASSERT_EQ(
        Run({"-q", "-o", dir_ / "third.tif", dir_ / "photos/b.tif"}, VELNR_REAL_PLUGIN).status, 0);
    EXPECT_NE(test::ReadBytes(dir_ / "first.tif"), test::ReadBytes(dir_ / "third.tif"));
}

// Flat grey with Gaussian noise of sigma s in R = G = B is noise of 255 s in Y alone. The
// finest detail band is C minus the 3 x 3 smoothing with weights 1/4, 1/8 and 1/16, so its
// coefficients have deviation 255 s sqrt(0.640625), and a median magnitude 0.6745 times that.
TEST_F(VelnrTable, PrintedNoiseIsWhatANoisyFlatFieldHolds) {
    constexpr float kSigma = 0.02f;
    Image image;
    image.width = 256;
    image.height = 256;
    image.channels = 3;
    image.type = SampleType::Float32;
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, kSigma);
    for (int i = 0; i < 256 * 256; ++i) {
        const float v = 0.5f + noise(random);
        image.samples.insert(image.samples.end(), {v, v, v});
    }
    std::string error;
    ASSERT_TRUE(WriteImage(dir_ / "flat.tif", FileFormat::Tiff, image, {}, error)) << error;
    const test::RunResult r =
        Run({"-q", "--print-noise", "--json", "--high-quality", "off", dir_ / "flat.tif"},
            VELNR_REAL_PLUGIN);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("\"bands\":[\"smooth\",\"detail\"]"), std::string::npos) << r.out;
    // "Y":[[smooth,detail],[...]...]: the detail entries of the four levels.
    const auto detail = [&](const char* channel) {
        std::vector<double> values;
        const size_t at = r.out.find(std::string("\"") + channel + "\":[");
        const char* p = r.out.c_str() + at + 5;
        for (int level = 0; level < 4 && at != std::string::npos; ++level) {
            p = std::strchr(p, '[') + 1;
            char* end = nullptr;
            std::strtod(p, &end);
            values.push_back(std::strtod(end + 1, &end));
            p = end;
        }
        return values;
    };
    const auto y = detail("Y");
    const auto u = detail("U");
    ASSERT_EQ(y.size(), 4u) << r.out;
    ASSERT_EQ(u.size(), 4u) << r.out;
    const double expected = 0.6745 * std::sqrt(0.640625) * 255.0 * static_cast<double>(kSigma);
    EXPECT_NEAR(y[0], expected, 0.03 * expected) << r.out;
    EXPECT_LT(y[1], y[0]);
    EXPECT_LT(u[0], 0.05 * expected);
}
#endif

}  // namespace
}  // namespace velnr
