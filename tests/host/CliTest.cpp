// The velnr program end to end: against the stand-in plug-in (colour v becomes 1 - v), against
// the real library, and killed while it writes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
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
#include "host/Output.h"
#include "host/PluginLoader.h"
#include "settings/Presets.h"

namespace velnr {
namespace {

using enum SampleType;
using test::Read;
using test::ReadBytes;
using test::ReadText;
using test::RunResult;
using test::WriteText;

const std::string kDefaults = "set -2 1 6 12 0 0 1 1 1";  // with the whole-image analysis

// A scratch folder of inputs: a.png (8-bit RGB), rgba.png (16-bit), hdr.tif (floats beyond
// 0..1), loud.pst, mine.pst, and photos/ with a TIFF, a JPEG, sub/d.png and files that are not
// pictures; empty/ holds nothing.
class Velnr : public testing::Test {
  protected:
    void SetUp() override {
        env_ = {{"XDG_CONFIG_HOME", config_.Path()}, {"VELNR_FAKE_LOG", config_ / "log"}};
        for (const char* sub : {"photos", "photos/sub", "empty"}) {
            ::mkdir((dir_ / sub).c_str(), 0777);
        }
        Make("a.png", 3, UInt8);
        Make("rgba.png", 4, UInt16);
        Make("photos/b.tif", 3, UInt16);
        Make("photos/c.jpg", 3, UInt8);
        Make("photos/sub/d.png", 3, UInt16);
        WriteText(dir_ / "photos/notes.txt", "not a picture");
        WriteText(dir_ / "photos/.hidden.png", "hidden");
        Image hdr = test::MakeImage(4, 3, 3, Float32, 5);
        hdr.samples[0] = 1.5f;
        hdr.samples[4] = -0.25f;
        hdr.samples[7] = 7.0f;
        test::Write(dir_ / "hdr.tif", hdr);
        WriteText(dir_ / "loud.pst",
                  "[VEL Noise Reduction Preset 0]\r\nPreset Name=Loud\r\nLuma Threshold=50\r\n"
                  "Chroma Suppression=-7\r\n");
        WriteText(dir_ / "mine.pst",
                  "[VEL Noise Reduction Preset 0]\r\nPreset Name=Day\r\nLuma Threshold=2\r\n"
                  "Chroma Threshold=3\r\n[VEL Noise Reduction Preset 1]\r\nPreset Name=Night\r\n"
                  "Luma Threshold=-6\r\nLuma Suppression=18\r\nHigh Quality=0\r\n"
                  "Reanalyze Whole=0\r\n");
        base_ = Files();
    }

    std::string Make(const std::string& name, int channels, SampleType type, uint32_t seed = 3) {
        Image image = test::MakeImage(9, 7, channels, type, seed);
        image.icc = test::MakeIccProfile(channels >= 3 ? "RGB " : "GRAY");
        test::Write(dir_ / name, image);
        return dir_ / name;
    }

    RunResult Run(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                  const char* plugin = VELNR_FAKE_PLUGIN) {
        if (args.empty() || args[0] != "--plugin") {
            args.insert(args.begin(), {"--plugin", plugin});
        }
        env.insert(env_.begin(), env_.end());
        return test::RunVelnr(args, env);
    }

    // The files below the scratch folder that SetUp did not make, as relative paths.
    std::set<std::string> Added() const {
        std::set<std::string> files = Files();
        for (const std::string& f : base_) {
            files.erase(f);
        }
        return files;
    }
    std::set<std::string> Files() const {
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path())) {
            if (!entry.is_directory()) {
                files.insert(entry.path().string().substr(dir_.Path().size() + 1));
            }
        }
        return files;
    }

    // The last "set ..." line the plug-in logged.
    std::string SetLine() {
        std::string last;
        std::istringstream log(ReadText(config_ / "log"));
        for (std::string line; std::getline(log, line);) {
            last = line.rfind("set ", 0) == 0 ? line : last;
        }
        return last;
    }
    std::string UserSettings() { return config_ / "velnr/settings.ini"; }

    // Every colour sample of out is 1 - the input's, exactly on the integer scale; alpha equal.
    static void ExpectInverted(const std::string& in, const std::string& out) {
        const Image a = Read(in);
        const Image b = Read(out);
        ASSERT_EQ(a.samples.size(), b.samples.size()) << out;
        ASSERT_EQ(a.channels, b.channels) << out;
        ASSERT_EQ(a.type, b.type) << out;
        EXPECT_EQ(a.icc, b.icc) << out;
        const uint32_t max = a.type == UInt8 ? 255 : 65535;
        const size_t channels = static_cast<size_t>(a.channels);
        for (size_t i = 0; i < a.samples.size(); ++i) {
            const bool alpha = a.HasAlpha() && i % channels == channels - 1;
            const uint32_t v = QuantizeSample(a.samples[i], max);
            ASSERT_EQ(QuantizeSample(b.samples[i], max), alpha ? v : max - v) << out << " " << i;
        }
    }

    test::ScratchDir dir_;
    test::ScratchDir config_;
    std::map<std::string, std::string> env_;
    std::set<std::string> base_;
};

// Command lines and what they lead to: exit status, the files they add and a fragment of what
// velnr says (on stderr, or on stdout with a leading '>'). Usage errors (status 2) say one line
// starting "velnr: " and write nothing.
TEST_F(Velnr, CommandLinesGiveTheirStatusFilesAndMessage) {
    const std::string d = dir_.Path() + "/";
    const std::string a = d + "a.png";
    const struct {
        std::vector<std::string> args;
        int status;
        std::set<std::string> added;
        const char* message;
        std::map<std::string, std::string> env = {};
    } cases[] = {
        {{"--help"}, 0, {}, ">--luma-threshold"},
        {{"--help"}, 0, {}, ">--dark-correction"},
        {{"--help"}, 0, {}, ">--no-reanalyze"},
        {{"--help"}, 0, {}, ">Reanalyze Whole"},
        {{"--help"}, 0, {}, ">--force"},
        {{"--help"}, 0, {}, ">{stem}"},
        {{"--version"}, 0, {}, ">velnr 1."},
        {{}, 2, {}, "velnr: "},
        {{"--luma-threshold", "11", a}, 2, {}, "11 is too large (use -10..10 decibels)"},
        {{"--luma-threshold=1.5", a}, 2, {}, "1.5 is not a whole number"},
        {{"--luma-suppression=-1", a}, 2, {}, "velnr: "},
        {{"--light-correction", "x", a}, 2, {}, "velnr: "},
        {{"--high-quality", "maybe", a}, 2, {}, "velnr: "},
        {{"--no-reanalyze", "--reanalyze-whole", "on", a}, 2, {}, "velnr: "},
        {{"--quality", "101", a}, 2, {}, "velnr: "},
        {{"--display-profile", a, a}, 2, {}, "velnr: "},
        {{"--slot", "-1", a}, 2, {}, "-1 is too small (use 0 or more)"},
        {{"--no-such-option", a}, 2, {}, "velnr: "},
        {{"--preset", "loud", a}, 2, {}, "velnr: "},
        {{"--preset", d + "missing.pst", a}, 2, {}, "velnr: "},
        {{"--preset", d + "mine.pst:Dusk", a}, 2, {}, "\"Day\", \"Night\""},
        {{"--name", "{stem}-{date}.{ext}", a}, 2, {}, "velnr: "},
        {{"--name", "sub/{name}", a}, 2, {}, "velnr: "},
        {{"-o", d + "x.png", a, a}, 2, {}, "velnr: "},
        {{"-o", d + "x.png", "-d", d, a}, 2, {}, "velnr: "},
        {{"-d", a, a}, 2, {}, "is a file, not a folder"},
        {{"-d", "/proc/velnr-test", a}, 2, {}, "velnr: "},
        {{"--compression", "jpeg", a}, 2, {}, "--compression"},
        {{"--depth", "12", a}, 2, {}, "--depth"},
        {{"--jpeg-subsampling", "411", a}, 2, {}, "--jpeg-subsampling"},
        {{"--save-preset", d + "x.pst", a}, 2, {}, "FILE.pst:NAME"},
        {{"--print-noise", "--no-reanalyze", a}, 2, {}, "--print-noise"},
        {{"--print-noise", "--reanalyze-whole", "off", a}, 2, {}, "whole-image"},
        {{"--plugin", d + "nothing.so", a}, 2, {}, "velnr: "},
        {{"--plugin", a, a}, 2, {}, "cannot load the plug-in"},
        // Failures of one file: status 1.
        {{"-o", d + "x.bmp", a}, 1, {}, "unknown output format"},
        {{"-o", "/proc/velnr-test.png", a}, 1, {}, "cannot write in /proc"},
        {{"-o", d + "nowhere/x.png", a}, 1, {}, "does not exist"},
        {{"-o", d + "x.jpg", d + "rgba.png"}, 1, {}, "alpha"},
        {{"--depth", "32", "-o", d + "x.png", a}, 1, {}, "PNG cannot hold 32-bit"},
        {{"-o", a, a}, 1, {}, "is the input"},
        {{"--depth", "16", "--compression", "zstd", "-o", d + "x.tif", a}, 0, {"x.tif"}, ">x.tif"},
        // -o naming a folder is -d.
        {{"-o", d + "photos", a}, 0, {"photos/a-nr.png"}, ">photos/a-nr.png"},
        // Folders: their image files in name order; -r adds sub-folders below -d.
        {{d + "photos"}, 0, {"photos/b-nr.tif", "photos/c-nr.jpg"}, ">b-nr.tif\n"},
        {{"-r", "-d", d + "out", d + "photos"},
         0,
         {"out/b-nr.tif", "out/c-nr.jpg", "out/sub/d-nr.png"},
         ">out/sub/d-nr.png"},
        {{d + "empty", a}, 1, {"a-nr.png"}, "no TIFF, PNG or JPEG files"},
        // Float samples beyond 0..1 are clipped, and said so.
        {{d + "hdr.tif"}, 0, {"hdr-nr.tif"}, "3 samples outside 0..1"},
        // A run that could not happen is a failure; one cancelled in the dialog is skipped.
        {{"-i", a}, 1, {}, "could not run", {{"VELNR_FAKE_RESULT", "impossible"}}},
        {{"-i", a}, 3, {}, "skipped", {{"VELNR_FAKE_RESULT", "cancel"}}},
        {{a}, 1, {}, "could not process", {{"VELNR_FAKE_RESULT", "impossible"}}},
        // Out-of-range preset values are named and brought into range.
        {{"-p", d + "loud.pst", a},
         0,
         {"a-nr.png"},
         "loud.pst: Chroma Suppression=-7 is outside 0..20 dB; using 0"},
        // The noise it measured: the stand-in's entry i is i / 8; Y level 1 detail is entry 1.
        {{"--print-noise", "--high-quality", "off", a},
         0,
         {"a-nr.png"},
         ">  Y          0.1250   0.3750   0.6250   0.8750\n"},
        // Not a terminal: plain progress lines.
        {{a}, 0, {"a-nr.png"}, "[1/1] a.png: VEL Noise Reduction... 100%"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& arg : c.args) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        const RunResult r = Run(c.args, c.env);
        EXPECT_EQ(r.status, c.status) << r.err;
        const bool out = c.message[0] == '>';
        const std::string& text = out ? r.out : r.err;
        EXPECT_NE(text.find(c.message + (out ? 1 : 0)), std::string::npos) << text;
        if (c.status == 2) {
            EXPECT_EQ(r.err.rfind("velnr: ", 0), 0u) << r.err;
            EXPECT_TRUE(r.out.empty()) << r.out;
        }
        EXPECT_EQ(Added(), c.added);
        for (const std::string& f : Added()) {
            std::filesystem::remove(dir_ / f);
        }
    }
    if (::geteuid() != 0) {  // root writes anywhere
        ::mkdir((dir_ / "locked").c_str(), 0555);
        EXPECT_EQ(Run({"-d", dir_ / "locked", dir_ / "a.png"}).status, 1);
    }
}

TEST_F(Velnr, OutputsKeepFormatDepthAlphaGreyAndProfileAndAreNamedAsAsked) {
    const std::string b = Make("b.tif", 2, UInt8, 2);
    const std::string c = Make("c.tif", 1, UInt16, 3);
    const std::string rgba = dir_ / "rgba.png";
    const RunResult r = Run({"-q", rgba, b, c});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    ExpectInverted(rgba, dir_ / "rgba-nr.png");
    ExpectInverted(b, dir_ / "b-nr.tif");
    ExpectInverted(c, dir_ / "c-nr.tif");
    const RunResult named =
        Run({"-d", dir_ / "out/deeper", "--name", "{stem}_clean.{ext}", rgba, b});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, dir_ / "out/deeper/rgba_clean.png\n" + dir_ / "out/deeper/b_clean.tif\n");
    ExpectInverted(rgba, dir_ / "out/deeper/rgba_clean.png");
    // The output's extension chooses the format; a 16-bit input stays 16-bit in PNG, and a TIFF
    // made from a PNG is Deflate-compressed.
    ASSERT_EQ(Run({"-o", dir_ / "c.png", c}).status, 0);
    ASSERT_EQ(Run({"-o", dir_ / "rgba.tif", rgba}).status, 0);
    EXPECT_EQ(Read(dir_ / "rgba.tif").tiff.compression, 8);
    EXPECT_EQ(Read(dir_ / "c.png").format, FileFormat::Png);
    ExpectInverted(rgba, dir_ / "rgba.tif");
    ExpectInverted(c, dir_ / "c.png");
    // A plug-in without the progress exports runs too, silently.
    const RunResult four = Run({"--plugin", VELNR_FAKE_PLUGIN_FOUR, "-o", dir_ / "four.png", rgba});
    ASSERT_EQ(four.status, 0) << four.err;
    EXPECT_EQ(four.err.find("VEL Noise Reduction..."), std::string::npos) << four.err;
    ExpectInverted(rgba, dir_ / "four.png");
}

TEST_F(Velnr, ExistingFilesAndInputsAreReplacedOnlyWithForce) {
    const std::string a = dir_ / "a.png";
    ASSERT_EQ(Run({a}).status, 0);
    const auto first = ReadBytes(dir_ / "a-nr.png");
    const RunResult again = Run({a});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("a-nr.png already exists (use --force"), std::string::npos)
        << again.err;
    EXPECT_EQ(ReadBytes(dir_ / "a-nr.png"), first);
    WriteText(dir_ / "a-nr.png", "stale");
    ASSERT_EQ(Run({"--force", a}).status, 0);
    EXPECT_EQ(ReadBytes(dir_ / "a-nr.png"), first);
    const std::string copy = Make("copy.png", 3, UInt8);
    const std::string original = dir_ / "original.png";
    std::filesystem::copy_file(copy, original);
    ASSERT_EQ(Run({"-q", "--force", "-o", copy, copy}).status, 0);  // replaced in place
    ExpectInverted(original, copy);
    EXPECT_EQ(Added(), (std::set<std::string>{"a-nr.png", "copy.png", "original.png"}));
    // Two inputs that would land on one output: the second is refused.
    const RunResult clash = Run({"-d", dir_ / "out", a, Make("photos/a.png", 3, UInt8)});
    EXPECT_EQ(clash.status, 1);
    EXPECT_NE(clash.err.find("earlier input"), std::string::npos) << clash.err;
    ExpectInverted(a, dir_ / "out/a-nr.png");
    // A second run over a folder does not take the first run's results as inputs.
    ASSERT_EQ(Run({"-q", dir_ / "photos"}).status, 0);
    const RunResult folder = Run({dir_ / "photos"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("b-nr.tif already exists"), std::string::npos) << folder.err;
    EXPECT_EQ(Files().count("photos/b-nr-nr.tif"), 0u);
}

TEST_F(Velnr, ForceKeepsALinkAndThePermissionsOfTheFileItReplaces) {
    ::mkdir((dir_ / "real").c_str(), 0777);
    WriteText(dir_ / "real/target.png", "old");
    ::chmod((dir_ / "real/target.png").c_str(), 0640);
    ASSERT_EQ(::symlink("real/target.png", (dir_ / "link.png").c_str()), 0);
    const RunResult r = Run({"-q", "-f", "-o", dir_ / "link.png", dir_ / "a.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::lstat((dir_ / "link.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat((dir_ / "real/target.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ExpectInverted(dir_ / "a.png", dir_ / "real/target.png");
}

TEST_F(Velnr, BadInputsFailOneByOneAndTheBatchGoesOn) {
    const std::string good = dir_ / "a.png";
    test::WriteBytes(dir_ / "empty.png", {});
    ::mkdir((dir_ / "folder.png").c_str(), 0777);
    auto bytes = ReadBytes(good);
    bytes.resize(bytes.size() / 2);
    test::WriteBytes(dir_ / "cut.png", bytes);
    const RunResult r = Run({dir_ / "missing.png", dir_ / "empty.png", dir_ / "folder.png",
                             dir_ / "cut.png", good, dir_ / "photos/notes.txt"});
    EXPECT_EQ(r.status, 1);
    for (const char* text :
         {"missing.png: ", "empty.png: empty file", "folder.png: no TIFF, PNG or JPEG files",
          "cut.png: ", "notes.txt: not a TIFF, PNG or JPEG", "5 of 6 files failed"}) {
        EXPECT_NE(r.err.find(text), std::string::npos) << text << "\n" << r.err;
    }
    EXPECT_EQ(r.out, dir_ / "a-nr.png\n");
    ExpectInverted(good, dir_ / "a-nr.png");
    EXPECT_EQ(Added(), (std::set<std::string>{"a-nr.png", "cut.png", "empty.png"}));
}

TEST_F(Velnr, InterruptedRunLeavesNoOutputAndTouchesNoInput) {
    const std::string a = dir_ / "a.png";
    const std::string b = dir_ / "hdr.tif";
    const auto aBytes = ReadBytes(a);
    const auto bBytes = ReadBytes(b);
    for (const char* step : {"0", "5", "9"}) {
        const RunResult r = Run({a, b}, {{"VELNR_FAKE_RAISE_AT", step}});
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_NE(r.err.find("a.png: cancelled"), std::string::npos) << r.err;
        EXPECT_TRUE(Added().empty());
        EXPECT_EQ(ReadBytes(a), aBytes);
        EXPECT_EQ(ReadBytes(b), bBytes);
    }
    // Ctrl-C cannot stop a plug-in without the cancel export, but its result is thrown away.
    const RunResult four =
        Run({"--plugin", VELNR_FAKE_PLUGIN_FOUR, a}, {{"VELNR_FAKE_RAISE_AT", "3"}});
    EXPECT_EQ(four.status, 130) << four.err;
    EXPECT_TRUE(Added().empty());
    // The same run without the interruption writes both.
    ASSERT_EQ(Run({a, b}).status, 0);
    EXPECT_EQ(Added(), (std::set<std::string>{"a-nr.png", "hdr-nr.tif"}));
}

TEST_F(Velnr, SettingsComeFromTheFileThenThePresetThenTheOptions) {
    const std::string mine = dir_ / "mine.pst";
    const struct {
        std::vector<std::string> args;
        const char* set;  // what the plug-in was given
    } cases[] = {
        {{}, kDefaults.c_str()},  // the initial values; the file is created
        {{"--no-reanalyze"}, "set -2 1 6 12 0 0 1 1 0"},
        {{"--reanalyze-whole", "off"}, "set -2 1 6 12 0 0 1 1 0"},
        {{"--preset", "Remove noise - strong"}, "set 0 1 12 15 0 0 1 1 1"},
        {{"-p", "strong", "--luma-threshold=-3", "--high-quality", "off", "--dark-correction", "5"},
         "set -3 1 12 15 0 5 1 0 1"},
        {{"--preset", mine}, "set 2 3 6 12 0 0 1 1 1"},
        // Values the preset does not set stay; its switches are never applied.
        {{"--preset", mine + ":Night"}, "set -6 1 18 12 0 0 1 1 1"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-q", "-f", dir_ / "a.png"});
        ASSERT_EQ(Run(args).status, 0);
        EXPECT_EQ(SetLine(), c.set);
    }
    const std::string created = ReadText(UserSettings());
    EXPECT_EQ(created,
              "[VEL Noise Reduction 0]\r\nDark Correction=0\r\nLight Correction=0\r\n"
              "Reanalyze Whole=0\r\nHigh Quality=1\r\nLink Luma Chroma=1\r\n"
              "Chroma Suppression=12\r\nLuma Suppression=6\r\nChroma Threshold=1\r\n"
              "Luma Threshold=-2\r\n");
    // The user's own values are the starting point; out of range they are named and brought
    // into range, the file left as it is.
    for (const auto& [value, set] :
         {std::pair{"5", "set 5 1 6 12 0 0 1 1 1"}, {"50", "set 10 1 6 12 0 0 1 1 1"}}) {
        std::string edited = created;
        edited.replace(edited.find("Luma Threshold=-2"), 17,
                       std::string("Luma Threshold=") + value);
        WriteText(UserSettings(), edited);
        const RunResult r = Run({"-q", "-f", dir_ / "a.png"});
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(SetLine(), set);
        EXPECT_EQ(r.err.find("outside") == std::string::npos, value == std::string("5")) << r.err;
        EXPECT_EQ(ReadText(UserSettings()), edited);
    }
    EXPECT_NE(Run({"-q", "-f", dir_ / "a.png"})
                  .err.find("settings.ini: Luma Threshold=50 is outside -10..10 dB; using 10"),
              std::string::npos);
}

TEST_F(Velnr, SaveSettingsStoresTheChosenValuesInRangeButNotTheHostDefault) {
    const std::string a = dir_ / "a.png";
    ASSERT_EQ(Run({"-q", "-p", "gentle", "--light-correction", "2", "--save-settings", a}).status,
              0);
    const std::string saved = ReadText(UserSettings());
    for (const char* line :
         {"Luma Threshold=-4\r\n", "Light Correction=2\r\n", "Reanalyze Whole=0\r\n"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << saved;
    }
    ASSERT_EQ(Run({"-q", "-f", a}).status, 0);
    EXPECT_EQ(SetLine(), "set -4 -2 6 9 2 0 1 1 1");
    ASSERT_EQ(Run({"-q", "-f", "-p", dir_ / "loud.pst", "--save-settings", a}).status, 0);
    const std::string loud = ReadText(UserSettings());
    EXPECT_NE(loud.find("Luma Threshold=10\r\n"), std::string::npos) << loud;
    EXPECT_NE(loud.find("Chroma Suppression=0\r\n"), std::string::npos) << loud;

    // Another file and slot; other sections of it stay as they were.
    const std::string other = dir_ / "other.ini";
    WriteText(other, "; my settings\r\n[Other Plugin 0]\r\nx=1\r\n");
    ASSERT_EQ(Run({"-q", "-f", "--settings", other, "--slot", "3", "--chroma-threshold", "-7",
                   "--save-settings", a})
                  .status,
              0);
    const std::string text = ReadText(other);
    EXPECT_EQ(
        text.rfind("; my settings\r\n[Other Plugin 0]\r\nx=1\r\n[VEL Noise Reduction 3]\r\n", 0),
        0u)
        << text;
    EXPECT_NE(text.find("Chroma Threshold=-7\r\n"), std::string::npos);
    EXPECT_EQ(SetLine(), "set -2 -7 6 12 0 0 1 1 1");

    // A settings file that leads into /proc cannot be replaced, not even by root.
    const std::string link = dir_ / "link.ini";
    ASSERT_EQ(::symlink("/proc/version", link.c_str()), 0);
    const RunResult r = Run({"-f", "--settings", link, "--save-settings", a});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("cannot save the settings to " + link), std::string::npos) << r.err;
}

TEST_F(Velnr, PrintedSettingsAndSavedPresetsGiveTheSameRunAgain) {
    const RunResult printed = Run({"-q", "--print-settings", "-p", "strong", "--luma-threshold=-3",
                                   "--save-preset", dir_ / "saved.pst:Night", dir_ / "a.png"});
    ASSERT_EQ(printed.status, 0) << printed.err;
    const std::string first = SetLine();
    WriteText(dir_ / "printed.ini", printed.out);
    ASSERT_EQ(Run({"-q", "-f", "--settings", dir_ / "printed.ini", dir_ / "a.png"}).status, 0);
    EXPECT_EQ(SetLine(), first) << printed.out;
    ASSERT_EQ(Run({"-q", "-f", "-p", dir_ / "saved.pst:Night", dir_ / "a.png"}).status, 0);
    EXPECT_EQ(SetLine(), first);
    // Saving again under the same name replaces that preset, another name adds one.
    for (const char* name : {":Night", ":Day"}) {
        ASSERT_EQ(
            Run({"-q", "-f", "--save-preset", dir_ / "saved.pst" + name, dir_ / "a.png"}).status,
            0);
    }
    std::vector<vel::Preset> presets;
    EXPECT_EQ(vel::LoadUserPresets((dir_ / "saved.pst").c_str(), presets), 2);
}

TEST_F(Velnr, InteractiveRunsPassTheProfilesAndSilentRunsDoNot) {
    const std::string display = dir_ / "display.icc";
    test::WriteBytes(display, test::MakeIccProfile("RGB "));
    ASSERT_EQ(Run({"-i", "--display-profile", display, dir_ / "a.png"}).status, 0);
    const RunResult silent = Run({"-f", "-q", dir_ / "a.png"});
    ASSERT_EQ(silent.status, 0);
    EXPECT_TRUE(silent.err.empty()) << silent.err;
    const std::string log = ReadText(config_ / "log");
    const std::string size = std::to_string(test::MakeIccProfile("RGB ").size());
    EXPECT_NE(log.find("open 0 9 7 " + size + " 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("open 1 9 7 -1 0\n"), std::string::npos) << log;
}

TEST(DemoTool, NoiseIsSeededAndPsnrMeasuresIt) {
    test::ScratchDir dir;
    const std::string clean = std::string(VELNR_DATA_DIR) + "/coffee.png";
    const auto demo = [](const std::vector<std::string>& args) {
        return test::RunVelnr(args, {}, VELNR_DEMO_EXE);
    };
    for (const auto& [name, seed] : {std::pair{"a.png", "7"}, {"b.png", "7"}, {"c.png", "8"}}) {
        ASSERT_EQ(demo({"noise", clean, dir / name, "0.05", seed}).status, 0);
    }
    EXPECT_EQ(ReadBytes(dir / "a.png"), ReadBytes(dir / "b.png"));
    EXPECT_NE(ReadBytes(dir / "a.png"), ReadBytes(dir / "c.png"));
    EXPECT_EQ(demo({"psnr", clean, clean}).out, "inf\n");
    // Gaussian noise of sigma 0.05 (12.75 of 255) gives about 20 log10(255 / 12.75) = 26 dB,
    // a little more where clipping at black and white takes some away.
    const double psnr = std::stod(demo({"psnr", clean, dir / "a.png"}).out);
    EXPECT_GT(psnr, 25.5);
    EXPECT_LT(psnr, 28.0);
    ASSERT_EQ(demo({"side-by-side", clean, dir / "a.png", dir / "both.png"}).status, 0);
    const Image both = Read(dir / "both.png");
    EXPECT_EQ(both.width, 600 + 8 + 600);
    EXPECT_EQ(both.height, 400);
    EXPECT_EQ(demo({"noise", clean, dir / "d.png", "-1", "7"}).status, 2);
    EXPECT_EQ(demo({"psnr", clean, dir / "missing.png"}).status, 1);
}

// velnr killed at random moments while it writes: the output path afterwards is absent or
// holds the whole result, and the next run leaves no temporary behind.
TEST(KilledWhileWriting, TheOutputIsAbsentOrWholeAndNoTemporarySurvivesTheNextRun) {
    test::ScratchDir dir;
    test::ScratchDir config;
    // Uncompressed 16-bit RGB, so that writing it takes some milliseconds.
    test::Write(dir / "in.tif", test::MakeImage(500, 400, 3, UInt16, 77));
    const std::string out = dir / "out.tif";
    const std::vector<std::string> args = {
        "--plugin", VELNR_FAKE_PLUGIN, "--force", "--compression", "none", "-o",
        out,        dir / "in.tif"};
    const std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", config.Path()}};
    const auto temps = [&] {
        std::set<std::string> names;
        for (const std::string& name : dir.List()) {
            if (name.rfind(".out.tif.velnr-", 0) == 0) {
                names.insert(name);
            }
        }
        return names;
    };
    const auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return t.tv_sec * 1000000L + t.tv_nsec / 1000;
    };
    // Waits until velnr has started writing (a temporary not left by earlier runs exists):
    // true, or until it has ended: false, with its exit status.
    const auto waitForWriting = [&](pid_t pid, const std::set<std::string>& earlier, int& status) {
        for (;;) {
            for (const std::string& temp : temps()) {
                if (earlier.count(temp) == 0) {
                    return true;
                }
            }
            if (waitpid(pid, &status, WNOHANG) == pid) {
                return false;
            }
            const timespec pause{0, 100000};
            nanosleep(&pause, nullptr);
        }
    };
    // An uninterrupted run: the complete output, and how long its write takes.
    const pid_t first = test::Start(args, env);
    int status = 0;
    ASSERT_TRUE(waitForWriting(first, {}, status));
    const long writeStart = now();
    waitpid(first, &status, 0);
    const long writeUs = std::max(1000L, now() - writeStart);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<uint8_t> whole = ReadBytes(out);
    ASSERT_FALSE(whole.empty());
    std::mt19937 random(1206);
    int absent = 0, tempsLeft = 0;
    for (int round = 0; round < 100; ++round) {
        std::filesystem::remove(out);
        const pid_t pid = test::Start(args, env);
        if (waitForWriting(pid, temps(), status)) {
            const timespec pause{
                0, static_cast<long>(random() % static_cast<unsigned long>(writeUs)) * 1000};
            nanosleep(&pause, nullptr);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        absent += PathExists(out) ? 0 : 1;
        if (PathExists(out)) {
            ASSERT_EQ(ReadBytes(out), whole) << "round " << round;
        }
        tempsLeft += static_cast<int>(temps().size());
    }
    waitpid(test::Start(args, env), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadBytes(out), whole);
    EXPECT_TRUE(temps().empty());
    std::printf(
        "100 runs killed while writing: %d left no output; %d temporaries left behind, none after "
        "the next run\n",
        absent, tempsLeft);
}

#ifdef VELNR_REAL_PLUGIN
// A gradient with noise on top: something for the filter to do.
Image Smooth(int32_t w, int32_t h, int channels, SampleType type, uint32_t seed) {
    Image image = test::MakeImage(w, h, channels, type, seed);
    for (size_t i = 0; i < image.samples.size(); ++i) {
        const size_t k = i % static_cast<size_t>(channels);
        const size_t x = i / static_cast<size_t>(channels) % static_cast<size_t>(w);
        float& v = image.samples[i];
        v = 0.2f + 0.5f * static_cast<float>(x + k * 7) / static_cast<float>(w) + 0.1f * (v - 0.5f);
        if (type == UInt16) {
            v = static_cast<float>(QuantizeSample(v, 65535)) / 65535.0f;
        }
    }
    return image;
}

TEST_F(Velnr, RealLibraryGivesWhatVelnrWritesAndPrintedSettingsGiveTheSameBits) {
    Plugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(VELNR_REAL_PLUGIN, error)) << error;
    const std::string settings = dir_ / "settings.ini";
    std::string text =
        "[VEL Noise Reduction 0]\r\nLuma Threshold=1\r\nChroma Threshold=2\r\n"
        "Luma Suppression=10\r\nChroma Suppression=14\r\nLight Correction=-3\r\n"
        "Dark Correction=4\r\nHigh Quality=0\r\nLink Luma Chroma=1\r\n"
        "Reanalyze Whole=0\r\n";
    WriteText(settings, text);
    // The same pixels and settings straight through the exports; velnr's silent runs analyse
    // the whole image, so the settings say so too.
    text.replace(text.find("Reanalyze Whole=0"), 17, "Reanalyze Whole=1");
    WriteText(dir_ / "reanalyze.ini", text);
    for (const auto& [name, type, channels] :
         {std::tuple{"f.tif", Float32, 3}, {"g.png", UInt16, 4}, {"h.tif", UInt16, 1}}) {
        const Image in = Smooth(67, 45, channels, type, 5);
        test::Write(dir_ / name, in);
        const std::string out = dir_ / (std::string("out-") + name);
        const RunResult run =
            Run({"--settings", settings, "-q", "-o", out, dir_ / name}, {}, VELNR_REAL_PLUGIN);
        ASSERT_EQ(run.status, 0) << run.err;
        plugin.setSettings((dir_ / "reanalyze.ini").c_str(), 0);
        std::vector<float> rgb = ToHostRgb(in);
        const std::vector<float> before = rgb;
        plugin.openPlugin(1, in.width, in.height, rgb.data(), 0, 0, nullptr, nullptr);
        ASSERT_NE(rgb, before) << "the filter changed nothing; the comparison would be empty";
        Image expected = in;
        FromHostRgb(rgb, expected);
        EXPECT_TRUE(test::SamplesEqual(expected, Read(out))) << name;  // alpha included
    }
    const std::string b = dir_ / "photos/b.tif";
    const RunResult printed = Run({"-q", "--print-settings", "-p", "strong", "--luma-threshold=-3",
                                   "--dark-correction=4", "-o", dir_ / "first.tif", b},
                                  {}, VELNR_REAL_PLUGIN);
    ASSERT_EQ(printed.status, 0) << printed.err;
    WriteText(dir_ / "printed.ini", printed.out);
    ASSERT_EQ(Run({"-q", "--settings", dir_ / "printed.ini", "-o", dir_ / "second.tif", b}, {},
                  VELNR_REAL_PLUGIN)
                  .status,
              0);
    EXPECT_EQ(ReadBytes(dir_ / "first.tif"), ReadBytes(dir_ / "second.tif"));
    // The values differ from the defaults, so a settings file that was not read would show.
    ASSERT_EQ(Run({"-q", "-o", dir_ / "third.tif", b}, {}, VELNR_REAL_PLUGIN).status, 0);
    EXPECT_NE(ReadBytes(dir_ / "first.tif"), ReadBytes(dir_ / "third.tif"));
}

TEST(RealLibrary, CancelByteStopsTheRunAndLeavesThePixels) {
    Plugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(VELNR_REAL_PLUGIN, error)) << error;
    ASSERT_NE(plugin.setHostCallbacks, nullptr);
    const Image in = Smooth(300, 200, 3, Float32, 6);
    for (int stopAfter : {1, 3, 6}) {
        struct Context {
            unsigned char cancel = 0;
            int calls = 0;
            int stopAfter = 0;
        } context{0, 0, stopAfter};
        plugin.setHostCallbacks(
            [](void* ctx, const char*, float) {
                auto* c = static_cast<Context*>(ctx);
                c->cancel = ++c->calls >= c->stopAfter ? 1 : 0;
            },
            &context, &context.cancel);
        std::vector<float> rgb = ToHostRgb(in);
        const std::vector<float> before = rgb;
        plugin.openPlugin(1, in.width, in.height, rgb.data(), 0, 0, nullptr, nullptr);
        plugin.setHostCallbacks(nullptr, nullptr, nullptr);
        EXPECT_GE(context.calls, 1);
        EXPECT_EQ(std::memcmp(rgb.data(), before.data(), rgb.size() * sizeof(float)), 0)
            << "stopped after " << stopAfter;
    }
}

// Flat grey with Gaussian noise of sigma s in R = G = B is noise of 255 s in Y alone. The
// finest detail band is C minus the 3 x 3 smoothing with weights 1/4, 1/8 and 1/16, so its
// coefficients have deviation 255 s sqrt(0.640625), and a median magnitude 0.6745 times that.
TEST_F(Velnr, PrintedNoiseIsWhatANoisyFlatFieldHolds) {
    constexpr float kSigma = 0.02f;
    Image image = test::MakeImage(256, 256, 3, Float32, 7);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, kSigma);
    for (size_t i = 0; i < image.samples.size(); i += 3) {
        std::fill_n(&image.samples[i], 3, 0.5f + noise(random));
    }
    test::Write(dir_ / "flat.tif", image);
    const RunResult r =
        Run({"-q", "--print-noise", "--json", "--high-quality", "off", dir_ / "flat.tif"}, {},
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
