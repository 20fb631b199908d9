// The velnr program end to end: against the stand-in plug-in (colour v becomes 1 - v), against
// the real library, and killed while it writes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "TestSupport.h"
#include "host/PluginLoader.h"
#include "settings/Presets.h"

namespace velnr {
namespace {

using enum SampleType;
using test::Read;
using test::ReadAll;
using test::ReadBytes;
using test::RunResult;
using test::WriteAll;
using Files = std::map<std::string, std::vector<uint8_t>>;
using Env = std::map<std::string, std::string>;
using namespace std::chrono_literals;

// Every file below a folder, by its relative path.
Files Contents(const std::string& dir) {
    Files files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_directory()) {
            files[entry.path().string().substr(dir.size() + 1)] = ReadBytes(entry.path());
        }
    }
    return files;
}

// A scratch folder of inputs: a.png (8-bit RGB), rgba.png (16-bit), hdr.tif (floats beyond
// 0..1), preset files, damaged and empty files, and photos/ with a TIFF, a JPEG, sub/d.png and
// files that are not pictures; empty/ holds nothing. shoot/ holds e.png, f.png and an earlier
// run's out/e-nr.png; cycle/ g.png and inner/h.png beside inner/up, a link to cycle/; twins/
// two links to photos/sub and z.png, a link to a.png.
class Velnr : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* sub :
             {"photos/sub", "empty", "folder.png", "shoot/out", "cycle/inner", "twins"}) {
            std::filesystem::create_directories(dir_ / sub);
        }
        for (const auto& [name, channels, type] : {std::tuple{"a.png", 3, UInt8},
                                                   {"rgba.png", 4, UInt16},
                                                   {"photos/b.tif", 3, UInt16},
                                                   {"photos/c.jpg", 3, UInt8},
                                                   {"photos/sub/d.png", 3, UInt16},
                                                   {"b.tif", 2, UInt8},
                                                   {"c.tif", 1, UInt16},
                                                   {"shoot/e.png", 3, UInt8},
                                                   {"shoot/f.png", 3, UInt8},
                                                   {"shoot/out/e-nr.png", 3, UInt8},
                                                   {"cycle/g.png", 3, UInt8},
                                                   {"cycle/inner/h.png", 3, UInt8}}) {
            Image image = test::MakeImage(9, 7, channels, type, 3);
            image.icc = test::MakeIccProfile(channels >= 3 ? "RGB " : "GRAY");
            test::Write(dir_ / name, image);
        }
        Image hdr = test::MakeImage(4, 3, 3, Float32, 5);
        hdr.samples[0] = hdr.samples[4] = hdr.samples[7] = 1.5f;
        test::Write(dir_ / "hdr.tif", hdr);
        const std::string preset = "[VEL Noise Reduction Preset ";
        // A colon in the path itself, before the one that names a preset.
        WriteAll(mine_,
                 preset + "0]\r\nPreset Name=Day\r\nLuma Threshold=2\r\nChroma Threshold=3\r\n" +
                     preset +
                     "1]\r\nPreset Name=Night\r\nLuma Threshold=-6\r\nLuma Suppression=18\r\n" +
                     "High Quality=0\r\nReanalyze Whole=0\r\n");
        WriteAll(
            dir_ / "loud.pst",
            preset + "0]\r\nPreset Name=Loud\r\nLuma Threshold=50\r\nChroma Suppression=-7\r\n");
        WriteAll(dir_ / "empty.pst", "[Something]\r\n");
        std::filesystem::create_symlink("/proc/version", dir_ / "link.ini");
        for (const auto& [link, target] : {std::pair{"cycle/inner/up", ".."},
                                           {"twins/x", "../photos/sub"},
                                           {"twins/y", "../photos/sub"},
                                           {"twins/z.png", "../a.png"}}) {
            std::filesystem::create_symlink(target, dir_ / link);
        }
        WriteAll(dir_ / "photos/notes.txt", "not a picture");
        WriteAll(dir_ / "photos/.hidden.png", "hidden");
        WriteAll(dir_ / "empty.png", "");
        const std::string png = ReadAll(dir_ / "a.png");
        WriteAll(dir_ / "cut.png", png.substr(0, png.size() / 2));
        base_ = Contents(dir_.Path());
    }

    RunResult Run(std::vector<std::string> args, Env env = {},
                  const char* plugin = VELNR_FAKE_PLUGIN) {
        if (args.empty() || args[0] != "--plugin") {
            args.insert(args.begin(), {"--plugin", plugin});
        }
        // Interactive runs need a display; the stand-in plug-in shows no window.
        env.insert({{"XDG_CONFIG_HOME", config_.Path()},
                    {"VELNR_FAKE_LOG", config_ / "log"},
                    {"QT_QPA_PLATFORM", "offscreen"}});
        return test::RunVelnr(args, env, VELNR_EXE, dir_.Path().c_str());
    }

    // The files that SetUp did not make; those it made must be as it made them.
    std::set<std::string> Added() const {
        std::set<std::string> added;
        for (const auto& [name, bytes] : Contents(dir_.Path())) {
            if (base_.count(name) == 0) {
                added.insert(name);
            } else {
                EXPECT_EQ(bytes, base_.at(name)) << name;
            }
        }
        return added;
    }

    // The last "set <nine values>" line the plug-in logged.
    std::string SetLine() {
        std::istringstream log(ReadAll(config_ / "log"));
        std::string last;
        for (std::string line; std::getline(log, line);) {
            last = line.rfind("set ", 0) == 0 ? line : last;
        }
        return last;
    }

    // out holds in with every colour sample v as 1 - v, and in's depth, alpha and profile.
    void ExpectInverted(const std::string& in, const std::string& out) {
        Image expected = Read(dir_ / in);
        for (size_t i = 0; i < expected.samples.size(); ++i) {
            const bool alpha =
                expected.HasAlpha() && (i + 1) % static_cast<size_t>(expected.channels) == 0;
            expected.samples[i] = alpha ? expected.samples[i] : 1.0f - expected.samples[i];
        }
        const Image image = Read(dir_ / out);
        EXPECT_TRUE(test::SamplesEqual(expected, image) && image.type == expected.type &&
                    image.icc == expected.icc)
            << out;
    }

    test::ScratchDir dir_;
    test::ScratchDir config_;
    const std::string mine_ = dir_ / "my:presets.pst";
    const std::string settings_ = config_ / "velnr/settings.ini";
    Files base_;
};

// Command lines and what they lead to: exit status, the files they add (the inputs stay as
// they were) and fragments of what velnr says, split at '|' (on stderr, or on stdout with a
// leading '>').
// Usage errors (status 2) say one line starting "velnr: " and write nothing.
TEST_F(Velnr, CommandLinesGiveTheirStatusFilesAndMessage) {
    const std::string d = dir_.Path() + "/";
    const std::string a = d + "a.png";
    const Env impossible = {{"VELNR_FAKE_RESULT", "impossible"}};
    const Env noDisplay = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    const auto raiseAt = [](const char* step) { return Env{{"VELNR_FAKE_RAISE_AT", step}}; };
    const std::set<std::string> aNr = {"a-nr.png"};
    const std::vector<std::string> batch = {
        d + "missing.png",     d + "empty.png", d + "folder.png", d + "cut.png", a,
        d + "photos/notes.txt"};
    const struct {
        std::vector<std::string> args;
        int status;
        std::set<std::string> added;
        const char* message;
        Env env = {};
        bool again = false;  // run twice: the first run writes, the second changes nothing
    } cases[] = {
        // clang-format off
        {{"--help"}, 0, {}, ">Reanalyze Whole"},
        {{"--version"}, 0, {}, ">velnr 1."},
        {{}, 2, {}, "velnr: "},
        {{"--luma-threshold", "11", a}, 2, {}, "11 is too large (use -10..10 decibels)"},
        {{"--luma-threshold=1.5", a}, 2, {}, "1.5 is not a whole number"},
        {{"--high-quality", "maybe", a}, 2, {}, "velnr: "},
        {{"--no-reanalyze", "--reanalyze-whole", "on", a}, 2, {}, "velnr: "},
        {{"--display-profile", a, a}, 2, {}, "velnr: "},
        {{"--slot", "-1", a}, 2, {}, "-1 is too small (use 0 or more)"},
        {{"--no-such-option", a}, 2, {}, "velnr: "},
        {{"--preset", "loud", a}, 2, {}, "unknown preset"},
        {{"--preset", d + "missing.pst", a}, 2, {}, "velnr: "},
        {{"--preset", d + "empty.pst", a}, 2, {}, "no presets"},
        {{"--preset", mine_ + ":night", a}, 2, {}, "\"Day\", \"Night\""},
        {{"--name", "{base}.{ext}", a}, 2, {}, "{base}"},
        {{"--name", "{stem", a}, 2, {}, "velnr: "},
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
        {{"--plugin", a, a}, 2, {}, "cannot load the plug-in"},
        // A settings file that leads into /proc cannot be replaced, not even by root.
        {{"--settings", d + "link.ini", "--save-settings", a}, 2, {}, "cannot save the settings"},
        // Failures of one file: status 1.
        {{"-o", d + "x.bmp", a}, 1, {}, "unknown output format"},
        {{"-o", "/proc/velnr-test.png", a}, 1, {}, "cannot write in /proc"},
        {{"-o", d + "nowhere/x.png", a}, 1, {}, "does not exist"},
        {{"-o", d + "x.jpg", d + "rgba.png"}, 1, {}, "alpha"},
        {{"--depth", "32", "-o", d + "x.png", a}, 1, {}, "PNG cannot hold 32-bit"},
        {{"-o", a, a}, 1, {}, "is the input"},
        {{"-i", a}, 1, {}, "could not run", impossible},  // an interactive run that could not be
        {{a}, 1, {}, "could not process", impossible},
        {{"-i", a}, 3, {}, "skipped", {{"VELNR_FAKE_RESULT", "cancel"}}},
        {{"-i", a}, 2, {}, "needs a display", noDisplay},
        {{"--depth", "16", "--compression", "zstd", "-o", "X.TIFF", a}, 0, {"X.TIFF"}, ">X.TIFF"},
        {{"--name", "clean_{name}", a}, 0, {"clean_a.png"}, ">clean_a.png"},
        {{"-o", d + "photos", a}, 0, {"photos/a-nr.png"}, ">photos/a-nr.png"},  // -o folder is -d
        // Folders: their image files in name order; -r adds sub-folders below -d.
        {{d + "photos"}, 0, {"photos/b-nr.tif", "photos/c-nr.jpg"}, ">b-nr.tif\n"},
        {{"-r", "-d", d + "out", d + "photos"}, 0,
         {"out/b-nr.tif", "out/c-nr.jpg", "out/sub/d-nr.png"}, ">out/sub/d-nr.png"},
        {{d + "empty", a}, 1, aNr, "no TIFF, PNG or JPEG files"},
        // Outputs are never read back: the earlier run's out/ is left out, said once; the
        // run's own -d folder is not entered, so a second run writes nothing and skips all.
        {{"-r", "-d", d + "shoot/new", d + "shoot"}, 3,
         {"shoot/new/e-nr.png", "shoot/new/f-nr.png"},
         "shoot/out: left out e-nr.png, named as outputs|shoot/new/f-nr.png already exists; "
         "skipped|2 files: 0 written, 2 skipped, 0 failed", {}, true},
        {{a, d + "a-nr.png"}, 3, aNr, "a-nr.png: written by this run; left out"},
        // The --name pattern's fixed text marks outputs too ("c.*" here).
        {{"--name", "c.{ext}", "-d", d + "pout", d + "photos"}, 0, {"pout/c.tif"},
         "photos: left out c.jpg"},
        // An interrupted batch resumed: what exists is skipped, the rest written.
        {{"-r", "-d", d + "shoot/out", d + "shoot"}, 3, {"shoot/out/f-nr.png"},
         "shoot/out/e-nr.png already exists; skipped|2 files: 1 written, 1 skipped, 0 failed"},
        {{"-d", d + "shoot/out", d + "shoot/e.png", d + "missing.png"}, 1, {},
         "e-nr.png already exists; skipped|missing.png: |2 files: 0 written, 1 skipped, 1 failed"},
        // Each real folder once: a link cycle and a second link add nothing; a link to a
        // file is the file.
        {{"-r", "-d", d + "cout", d + "cycle"}, 0, {"cout/g-nr.png", "cout/inner/h-nr.png"}, ""},
        {{"-r", "-d", d + "tout", d + "twins"}, 0, {"tout/x/d-nr.png", "tout/z-nr.png"}, ""},
        {{d + "hdr.tif"}, 0, {"hdr-nr.tif"}, "3 samples outside 0..1"},  // clipped, and said so
        {{"-p", d + "loud.pst", a}, 0, aNr, "loud.pst: Chroma Suppression=-7 is outside 0..20 dB"},
        // The noise it measured: the stand-in's entry i is i / 8; Y level 1 detail is entry 1.
        {{"--print-noise", "--high-quality", "off", a}, 0, aNr,
         ">  Y          0.1250   0.3750   0.6250   0.8750\n"},
        {{"--print-noise", "--json", "--high-quality", "off", a}, 0, aNr, ">\"bands\":[\"smooth\""},
        {{a}, 0, aNr, "[1/1] a.png: VEL Noise Reduction... 100%"},  // not a terminal
        // Bad inputs fail one by one and the batch goes on.
        {batch, 1, aNr,
         ">a-nr.png\n|missing.png: |empty.png: empty file|folder.png: no TIFF, PNG or JPEG files|"
         "cut.png: |notes.txt: not a TIFF, PNG or JPEG|6 files: 1 written, 0 skipped, 5 failed"},
        // Ctrl-C at any step leaves nothing; a plug-in without the cancel export cannot be
        // stopped, but its result is thrown away.
        {{a, d + "hdr.tif"}, 130, {}, "a.png: cancelled", raiseAt("0")},
        {{a, d + "hdr.tif"}, 130, {}, "a.png: cancelled", raiseAt("5")},
        {{a, d + "hdr.tif"}, 130, {}, "a.png: cancelled", raiseAt("9")},
        {{"--plugin", VELNR_FAKE_PLUGIN_FOUR, a}, 130, {}, "cancelled", raiseAt("3")},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Files first;
        if (c.again) {
            EXPECT_EQ(Run(c.args, c.env).status, 0);
            first = Contents(dir_.Path());
        }
        const RunResult r = Run(c.args, c.env);
        if (c.again) {
            EXPECT_EQ(Contents(dir_.Path()), first);
        }
        EXPECT_EQ(r.status, c.status) << r.err;
        std::istringstream messages(c.message);
        for (std::string m; std::getline(messages, m, '|');) {
            EXPECT_NE((m[0] == '>' ? r.out : r.err).find(m.substr(m[0] == '>')), std::string::npos)
                << r.out << r.err;
        }
        EXPECT_TRUE(c.status != 2 || (r.err.rfind("velnr: ", 0) == 0 && r.out.empty())) << r.err;
        EXPECT_EQ(Added(), c.added);
        for (const std::string& f : Added()) {
            std::filesystem::remove(dir_ / f);
        }
    }
}

TEST_F(Velnr, OutputsKeepTheInputsFormAndReplaceOnlyWithForce) {
    const RunResult r = Run({"-q", "rgba.png", "b.tif", "c.tif", "-d", "out/deeper"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty() && r.err.empty()) << r.out << r.err;
    for (const char* name : {"rgba.png", "b.tif", "c.tif"}) {
        std::string out = name;
        ExpectInverted(name, "out/deeper/" + out.insert(out.find('.'), "-nr"));
    }
    // The extension chooses the format.
    ASSERT_EQ(Run({"-o", "rgba.tif", "rgba.png"}).status, 0);
    EXPECT_EQ(Read(dir_ / "rgba.tif").format, FileFormat::Tiff);
    ExpectInverted("rgba.png", "rgba.tif");
    // A plug-in without the progress exports runs too, silently.
    const RunResult four = Run({"--plugin", VELNR_FAKE_PLUGIN_FOUR, "-o", "4.png", "rgba.png"});
    EXPECT_EQ(four.err.find("VEL Noise Reduction..."), std::string::npos) << four.err;
    ExpectInverted("rgba.png", "4.png");

    ASSERT_EQ(Run({"a.png"}).status, 0);
    struct stat st {};
    ASSERT_EQ(::stat((dir_ / "a-nr.png").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // not the private mode of a temporary file
    const RunResult again = Run({"a.png"});
    EXPECT_EQ(again.status, 3);
    EXPECT_NE(again.err.find("a-nr.png already exists; skipped (use --force"), std::string::npos)
        << again.err;
    WriteAll(dir_ / "a-nr.png", "stale");
    ASSERT_EQ(Run({"--force", "a.png"}).status, 0);
    ExpectInverted("a.png", "a-nr.png");
    std::filesystem::copy_file(dir_ / "a.png", dir_ / "copy.png");
    ASSERT_EQ(Run({"-q", "--force", "-o", "copy.png", "copy.png"}).status, 0);
    ExpectInverted("a.png", "copy.png");  // replaced in place
    // Replacing through a link keeps the link, and the permissions of the file it leads to.
    WriteAll(dir_ / "target.png", "old");
    ::chmod((dir_ / "target.png").c_str(), 0640);
    ASSERT_EQ(::symlink("target.png", (dir_ / "link.png").c_str()), 0);
    ASSERT_EQ(Run({"-q", "-f", "-o", "link.png", "a.png"}).status, 0);
    ASSERT_EQ(::lstat((dir_ / "link.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat((dir_ / "target.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ExpectInverted("a.png", "target.png");
    // Two inputs that would land on one output: the second is refused.
    std::filesystem::copy_file(dir_ / "a.png", dir_ / "photos/a.png");
    const RunResult clash = Run({"-d", "two", "a.png", "photos/a.png"});
    EXPECT_EQ(clash.status, 1);
    EXPECT_NE(clash.err.find("earlier input"), std::string::npos) << clash.err;
    ExpectInverted("a.png", "two/a-nr.png");
    // A second run over a folder does not take the first run's results as inputs.
    ASSERT_EQ(Run({"-q", "photos"}).status, 0);
    const RunResult folder = Run({"photos"});
    EXPECT_NE(folder.err.find("b-nr.tif already exists"), std::string::npos) << folder.err;
    EXPECT_EQ(Added().count("photos/b-nr-nr.tif"), 0u);
}

TEST_F(Velnr, SettingsComeFromTheFileThenThePresetThenTheOptions) {
    const std::string a = dir_ / "a.png", other = dir_ / "other.ini";
    WriteAll(other, "; my settings\r\n[Other Plugin 0]\r\nx=1\r\n");
    const std::string created = vel::test::kInitialSection;
    const struct {
        std::vector<std::string> args;
        const char* set;        // what the plug-in was given
        std::string file = "";  // what the settings file holds afterwards, in part
    } cases[] = {
        {{}, "set -2 1 6 12 0 0 1 1 1", created},  // the initial values, the file created
        {{"--no-reanalyze"}, "set -2 1 6 12 0 0 1 1 0"},
        {{"--preset", "remove noise - STRONG"}, "set 0 1 12 15 0 0 1 1 1"},
        {{"-p", "chroma"}, "set -10 0 15 15 0 0 1 1 1"},
        {{"-p", "strong", "--luma-threshold=-3", "--high-quality", "off", "--dark-correction", "5"},
         "set -3 1 12 15 0 5 1 0 1"},
        {{"--preset", mine_}, "set 2 3 6 12 0 0 1 1 1"},
        // Values the preset does not set stay; its switches are never applied.
        {{"--preset", mine_ + ":Night"}, "set -6 1 18 12 0 0 1 1 1", created},
        // --save-settings stores the values chosen, in range, but not the whole-image analysis.
        {{"-p", "gentle", "--light-correction", "2", "--save-settings"},
         "set -4 -2 6 9 2 0 1 1 1",
         "Light Correction=2\r\nReanalyze Whole=0\r\n"},
        {{}, "set -4 -2 6 9 2 0 1 1 1"},
        {{"-p", dir_ / "loud.pst", "--save-settings"},
         "set 10 -2 6 0 2 0 1 1 1",
         "Chroma Suppression=0\r\n"},
        {{}, "set 10 -2 6 0 2 0 1 1 1", "Luma Threshold=10\r\n"},
        // Another file and slot.
        {{"--settings", other, "--slot", "3", "--chroma-threshold", "-7", "--save-settings"},
         "set -2 -7 6 12 0 0 1 1 1"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-q", "-f", a});
        ASSERT_EQ(Run(args).status, 0);
        EXPECT_EQ(SetLine(), c.set);
        EXPECT_NE(ReadAll(settings_).find(c.file), std::string::npos) << ReadAll(settings_);
    }
    // Its other sections stay as they were.
    EXPECT_EQ(ReadAll(other).rfind(
                  "; my settings\r\n[Other Plugin 0]\r\nx=1\r\n[VEL Noise Reduction 3]\r\n", 0),
              0u)
        << ReadAll(other);
    // The user's own values out of range are named and brought into range, the file left alone.
    std::string edited = created;
    WriteAll(settings_, edited.replace(edited.find("Threshold=-2"), 12, "Threshold=50"));
    const RunResult r = Run({"-q", "-f", a});
    EXPECT_EQ(SetLine(), "set 10 1 6 12 0 0 1 1 1");
    EXPECT_NE(r.err.find("settings.ini: Luma Threshold=50 is outside -10..10 dB; using 10"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadAll(settings_), edited);
}

TEST_F(Velnr, PrintedSettingsAndSavedPresetsGiveTheSameRunAgain) {
    const std::string a = dir_ / "a.png", saved = dir_ / "saved.pst";
    const RunResult printed = Run({"-q", "--print-settings", "-p", "strong", "--luma-threshold=-3",
                                   "--save-preset", saved + ":Night", a});
    ASSERT_EQ(printed.status, 0) << printed.err;
    const std::string first = SetLine();
    WriteAll(dir_ / "printed.ini", printed.out);
    for (const std::string& args :
         {"--settings=" + dir_ / "printed.ini", "--preset=" + (saved + ":Night")}) {
        ASSERT_EQ(Run({args, "-q", "-f", a}).status, 0);
        EXPECT_EQ(SetLine(), first) << printed.out;
    }
    // Saving again under the same name replaces that preset, another name adds one.
    for (const char* name : {":Night", ":Day"}) {
        ASSERT_EQ(Run({"-q", "-f", "--save-preset", saved + name, a}).status, 0);
    }
    std::vector<vel::Preset> presets;
    EXPECT_EQ(vel::LoadUserPresets(saved.c_str(), presets), 2);
    // Interactive runs pass the image's and the display's profiles; silent runs neither.
    test::WriteBytes(dir_ / "display.icc", test::MakeIccProfile("RGB "));
    ASSERT_EQ(Run({"-i", "-f", "--display-profile", dir_ / "display.icc", a}).status, 0);
    const std::string log = ReadAll(config_ / "log");
    EXPECT_NE(
        log.find("open 0 9 7 " + std::to_string(test::MakeIccProfile("RGB ").size()) + " 1\n"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("open 1 9 7 -1 0\n"), std::string::npos) << log;
}

#ifdef VELNR_REAL_PLUGIN
// The real library: velnr writes exactly what its exports give for the same pixels and
// settings (alpha untouched); the settings differ from the defaults, so a file not read shows.
TEST_F(Velnr, RealLibraryGivesWhatVelnrWrites) {
    Plugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(VELNR_REAL_PLUGIN, error)) << error;
    std::string text =
        "[VEL Noise Reduction 0]\r\nLuma Threshold=1\r\nChroma Threshold=2\r\n"
        "Luma Suppression=10\r\nChroma Suppression=14\r\nLight Correction=-3\r\n"
        "Dark Correction=4\r\nHigh Quality=0\r\nReanalyze Whole=0\r\n";
    WriteAll(dir_ / "settings.ini", text);
    // velnr's silent runs analyse the whole image, so the library's settings say so too.
    WriteAll(dir_ / "reanalyze.ini", text.replace(text.find("Whole=0"), 7, "Whole=1"));
    plugin.setSettings((dir_ / "reanalyze.ini").c_str(), 0);
    for (const auto& [name, type, channels] :
         {std::tuple{"f.tif", Float32, 3}, {"g.png", UInt16, 4}, {"h.tif", UInt16, 1}}) {
        // A gradient with noise on top: something for the filter to do.
        Image in = test::MakeImage(67, 45, channels, type, 5);
        for (size_t i = 0; i < in.samples.size(); ++i) {
            const size_t x = i / static_cast<size_t>(channels) % 67,
                         k = i % static_cast<size_t>(channels);
            in.samples[i] = QuantizeSample(0.2f + static_cast<float>(x + k * 7) / 134.0f +
                                               0.1f * (in.samples[i] - 0.5f),
                                           65535) /
                            65535.0f;
        }
        test::Write(dir_ / name, in);
        const std::string out = dir_ / (std::string("out-") + name);
        const RunResult run =
            Run({"--settings", dir_ / "settings.ini", "-q", "-o", out, dir_ / name}, {},
                VELNR_REAL_PLUGIN);
        ASSERT_EQ(run.status, 0) << run.err;
        SampleVector rgb = ToHostRgb(in);
        const SampleVector before = rgb;
        plugin.openPlugin(1, in.width, in.height, rgb.data(), 0, 0, nullptr, nullptr);
        ASSERT_NE(rgb, before) << "the filter changed nothing; the comparison would be empty";
        FromHostRgb(rgb, in);
        EXPECT_TRUE(test::SamplesEqual(in, Read(out))) << name;
    }
}
#endif

// velnr killed at random moments while it writes: the output path afterwards is absent or
// holds the whole result, and the next run leaves no temporary behind.
TEST(KilledWhileWriting, TheOutputIsAbsentOrWholeAndNoTemporarySurvivesTheNextRun) {
    test::ScratchDir dir, config;
    // Uncompressed 16-bit RGB, so that writing it takes some milliseconds.
    test::Write(dir / "in.tif", test::MakeImage(500, 400, 3, UInt16, 77));
    const std::string out = dir / "out.tif";
    const std::vector<std::string> args = {
        "--plugin", VELNR_FAKE_PLUGIN, "--force", "--compression", "none", "-o",
        out,        dir / "in.tif"};
    const auto temps = [&] { return vel::test::NamesStartingWith(dir.Path(), ".out.tif.velnr-"); };
    // Starts velnr and waits until it writes (a temporary not there before exists): true, or
    // until it has ended: false.
    const auto startWriting = [&](pid_t& pid, int& status) {
        const std::set<std::string> earlier = temps();
        pid = test::Start(args, {{"XDG_CONFIG_HOME", config.Path()}});
        for (std::set<std::string> now = temps();
             std::includes(earlier.begin(), earlier.end(), now.begin(), now.end()); now = temps()) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                return false;
            }
            usleep(100);
        }
        return true;
    };
    // An uninterrupted run: the complete output, and about how long its write takes.
    pid_t pid = 0;
    int status = 0;
    ASSERT_TRUE(startWriting(pid, status));
    const auto writeStart = std::chrono::steady_clock::now();
    waitpid(pid, &status, 0);
    const long writeUs =
        std::max<long>(1000, (std::chrono::steady_clock::now() - writeStart) / 1us);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<uint8_t> whole = ReadBytes(out);
    ASSERT_FALSE(whole.empty());
    std::mt19937 random(1206);
    for (int round = 0; round < 100; ++round) {
        std::filesystem::remove(out);
        if (startWriting(pid, status)) {
            usleep(static_cast<useconds_t>(random() % static_cast<unsigned long>(writeUs)));
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        ASSERT_TRUE(!std::filesystem::exists(out) || ReadBytes(out) == whole) << "round " << round;
    }
    startWriting(pid, status);
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadBytes(out), whole);
    EXPECT_TRUE(temps().empty());
}

}  // namespace
}  // namespace velnr
