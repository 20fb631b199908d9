// Output naming and committing, preset files and progress lines, without running the program.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "TestSupport.h"
#include "host/HostSettings.h"
#include "host/Output.h"
#include "host/Progress.h"
#include "settings/Presets.h"

namespace velnr {
namespace {

TEST(OutputNames, PatternsExpandAndBadPatternsAreRefused) {
    const struct {
        const char *pattern, *input, *ext, *expected;  // nullptr: refused
    } cases[] = {{"{stem}-nr.{ext}", "dir/photo.v2.TIF", "TIF", "photo.v2-nr.TIF"},
                 {"clean_{name}", "/a/b.png", "png", "clean_b.png"},
                 {"{stem}.png", ".hidden", "", ".hidden.png"},
                 {"{stem}/x.{ext}", "a.png", "png", nullptr},
                 {"{stem", "a.png", "png", nullptr},
                 {"{base}.{ext}", "a.png", "png", nullptr},
                 {"{ext}", "noext", "", nullptr}};
    for (const auto& c : cases) {
        std::string name, error;
        EXPECT_EQ(ExpandPattern(c.pattern, c.input, c.ext, name, error), c.expected != nullptr);
        EXPECT_EQ(c.expected ? name : std::string(), c.expected ? c.expected : "") << c.pattern;
        EXPECT_EQ(error.empty(), c.expected != nullptr) << c.pattern;
    }
    EXPECT_EQ(FileStem("a/b.c/d") + "|" + FileExtension("a/b.c/d"), "d|");
    EXPECT_EQ(DirName("x.png") + DirName("/x.png"), "./");
    FileFormat format{};
    EXPECT_TRUE(FormatFromExtension("a/b.TIFF", format) && format == FileFormat::Tiff);
    EXPECT_TRUE(FormatFromExtension("x.JPEG", format) && format == FileFormat::Jpeg);
    EXPECT_FALSE(FormatFromExtension("dir.png/x", format));
}

TEST(OutputCommit, NeverReplacesWithoutOverwriteAndLeavesNoTemporaryFile) {
    test::ScratchDir dir;
    const std::string target = dir / "out.png";
    test::WriteText(target, "old");
    for (const bool overwrite : {false, true}) {
        vel::BesideTemp temp;
        std::string error;
        ASSERT_TRUE(CreateTempBeside(target, temp, error)) << error;
        EXPECT_EQ(DirName(temp.Path()), dir.Path());
        test::WriteText(temp.Path(), "new");
        EXPECT_EQ(CommitOutput(temp.Path(), target, overwrite, error), overwrite) << error;
        EXPECT_EQ(test::ReadText(target), overwrite ? "new" : "old");
        EXPECT_EQ(error.find("--force") != std::string::npos, !overwrite);
        if (overwrite) {
            temp.Keep();
        }
    }
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.png"});
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // not the private mode of a temporary file
    vel::BesideTemp none;
    std::string error;
    EXPECT_FALSE(CreateTempBeside(dir / "no-such-folder/out.png", none, error));
    EXPECT_TRUE(MakeDirectories(dir / "x/y/z", error) && IsDirectory(dir / "x/y/z"));
    EXPECT_FALSE(MakeDirectories(dir / "out.png/sub", error));
}

// The values of a preset as the settings order them, kPresetNotSet where it sets none.
std::vector<int32_t> Values(const vel::Preset& p) {
    return {p.lumaThreshold,   p.chromaThreshold, p.lumaSuppression, p.chromaSuppression,
            p.lightCorrection, p.darkCorrection,  p.highQuality,     p.reanalyzeWhole};
}

TEST(Presets, BuiltInsHoldTheirValuesAndApplyOnlyThose) {
    constexpr int32_t kNot = vel::kPresetNotSet;
    EXPECT_EQ(static_cast<uint32_t>(kNot), 0x96C5A7CFu);
    const std::vector<vel::Preset> presets = vel::BuiltInPresets();
    ASSERT_EQ(presets.size(), 3u);
    const std::vector<std::pair<std::string, std::vector<int32_t>>> expected = {
        {"Remove noise - gentle", {-4, -2, 6, 9, 0, 0, kNot, kNot}},
        {"Remove noise - strong", {0, 1, 12, 15, 0, 0, kNot, kNot}},
        {"Remove chroma noise", {-10, 0, 15, 15, 0, 0, kNot, kNot}}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::pair(presets[i].name, Values(presets[i])), expected[i]);
    }
    vel::NoiseReductionParams params;
    params.highQuality = false;
    params.reanalyzeWhole = true;
    params.linkLumaChroma = false;
    vel::NoiseReductionParams want = params;
    want.chromaThreshold = 1;
    want.lumaSuppression = 12;
    want.chromaSuppression = 15;
    want.lumaThreshold = 0;
    vel::ApplyPreset(presets[1], params);
    EXPECT_EQ(params, want);
}

TEST(Presets, FilesLoadMergeStopAtTheFirstGapAndSaveInTheirLayout) {
    test::ScratchDir dir;
    const std::string file = dir / "mine.pst";
    test::WriteText(file,
                    "[VEL Noise Reduction Preset 0]\r\nLuma Threshold=3\r\n"
                    "[VEL Noise Reduction Preset 1]\r\nPreset Name=Night\r\nLuma Threshold=-1\r\n"
                    "Chroma Suppression=20\r\nHigh Quality=0\r\n"
                    "[VEL Noise Reduction Preset 3]\r\nPreset Name=Lost\r\nLuma Threshold=1\r\n");
    constexpr int32_t kNot = vel::kPresetNotSet;
    std::vector<vel::Preset> list = vel::BuiltInPresets();
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), list), 2);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(std::pair(list[3].name, Values(list[3])),
              std::pair(std::string("Unnamed"),
                        std::vector<int32_t>{3, kNot, kNot, kNot, kNot, kNot, kNot, kNot}));
    EXPECT_EQ(std::pair(list[4].name, Values(list[4])),
              std::pair(std::string("Night"),
                        std::vector<int32_t>{-1, kNot, kNot, 20, kNot, kNot, 0, kNot}));
    // Named presets merge; an unnamed one adds another entry every time.
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), list), 2);
    EXPECT_EQ(vel::LoadUserPresets((dir / "missing.pst").c_str(), list), 0);
    EXPECT_EQ(list.size(), 6u);
    test::WriteText(file,
                    "[VEL Noise Reduction Preset 0]\r\nPreset Name=A\r\nLuma Threshold=Error\r\n");
    std::vector<vel::Preset> none;
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), none), 0);

    vel::NoiseReductionParams values;
    values.lumaThreshold = -3;
    values.darkCorrection = 4;
    values.highQuality = false;
    ASSERT_TRUE(vel::SaveUserPreset((dir / "new.pst").c_str(), "Test", values));
    EXPECT_EQ(test::ReadText(dir / "new.pst"),
              "[VEL Noise Reduction Preset 0]\r\nPreset Name=Test\r\nLuma Threshold=-3\r\n"
              "Chroma Threshold=1\r\nLuma Suppression=6\r\nChroma Suppression=12\r\n"
              "Light Correction=0\r\nDark Correction=4\r\nHigh Quality=0\r\nReanalyze Whole=0\r\n");
    // Saving over a file replaces preset 0 and keeps the rest.
    test::WriteText(file,
                    "; mine\r\n[VEL Noise Reduction Preset 0]\r\nPreset Name=Old\r\n"
                    "Luma Threshold=9\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(vel::SaveUserPreset(file.c_str(), "New", values));
    const std::string text = test::ReadText(file);
    EXPECT_EQ(text.rfind("; mine\r\n[VEL Noise Reduction Preset 0]\r\n", 0), 0u) << text;
    for (const char* part :
         {"Preset Name=New\r\n", "Luma Threshold=-3\r\n", "[Other]\r\nx=1\r\n"}) {
        EXPECT_NE(text.find(part), std::string::npos) << text;
    }
    EXPECT_FALSE(vel::SaveUserPreset((dir / "nope/x.pst").c_str(), "X", values));
}

TEST(Presets, CommandLineNamesResolveToBuiltInsAndFilePresets) {
    test::ScratchDir dir;
    const std::string file = dir / "a:b.pst";  // a colon in the path itself
    test::WriteText(file,
                    "[VEL Noise Reduction Preset 0]\r\nPreset Name=Day\r\nLuma Threshold=2\r\n"
                    "[VEL Noise Reduction Preset 1]\r\nPreset Name=Night: high ISO\r\n"
                    "Luma Threshold=-5\r\n");
    test::WriteText(dir / "empty.pst", "[Something]\r\n");
    const struct {
        std::string argument;
        int32_t lumaThreshold;  // or the error's fragment
        const char* error;
    } cases[] = {{"remove noise - STRONG", 0, nullptr},
                 {"chroma", -10, nullptr},
                 {file, 2, nullptr},
                 {file + ":Night: high ISO", -5, nullptr},
                 {"loud", 0, "unknown preset"},
                 {file + ":night: high iso", 0, "\"Day\""},
                 {dir / "missing.pst", 0, ""},
                 {dir / "empty.pst", 0, "no presets"}};
    for (const auto& c : cases) {
        vel::Preset preset;
        std::string error;
        EXPECT_EQ(ResolvePreset(c.argument, preset, error), c.error == nullptr) << c.argument;
        if (c.error != nullptr) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.argument << ": " << error;
        } else {
            EXPECT_EQ(preset.lumaThreshold, c.lumaThreshold) << c.argument;
        }
    }
}

// What a progress display writes to its stream.
std::string Shown(const std::function<void(ProgressDisplay&)>& steps, bool terminal, bool quiet,
                  int files) {
    std::FILE* stream = std::tmpfile();
    {
        ProgressDisplay display(stream, terminal, quiet, files);
        steps(display);
    }
    std::rewind(stream);
    std::string text;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        text += static_cast<char>(c);
    }
    std::fclose(stream);
    return text;
}

TEST(Progress, BarsClampAndQuietShowsNothingAndPlainLinesComeAtQuarters) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const auto& [value, bar] : {std::pair{0.0f, "[----]"},
                                     {50.0f, "[##--]"},
                                     {100.0f, "[####]"},
                                     {250.0f, "[####]"},
                                     {-3.0f, "[----]"},
                                     {nan, "[----]"},
                                     {inf, "[####]"}}) {
        EXPECT_EQ(ProgressDisplay::Bar(value, 4), bar) << value;
    }
    const auto run = [](ProgressDisplay& display) {
        display.BeginFile(0, "a");
        display.Step("Reading");  // velnr's own steps: terminal only
        for (int p = 0; p <= 100; p += 5) {
            ProgressDisplay::Callback(&display, "VEL Noise Reduction...", static_cast<float>(p));
        }
    };
    EXPECT_EQ(Shown(run, true, true, 1), "");
    const std::string plain = Shown(run, false, false, 1);
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 5) << plain;  // 0, 25, 50, 75, 100
}

TEST(Progress, TerminalBatchBarNeverRunsBackwardsAcrossJobsAndFiles) {
    const std::string text = Shown(
        [](ProgressDisplay& display) {
            for (int file = 0; file < 2; ++file) {
                display.BeginFile(file, "f" + std::to_string(file));
                display.Step("Reading");
                for (float p : {0.0f, 40.0f, 100.0f}) {  // only the first file is analysed first
                    if (file == 0) {
                        ProgressDisplay::Callback(&display, "Image pre-analysis...", p);
                    }
                }
                for (float p : {0.0f, 50.0f, 100.0f}) {
                    ProgressDisplay::Callback(&display, "VEL Noise Reduction...", p);
                }
                display.Step("Writing");
            }
            display.EndBatch();
        },
        true, false, 2);
    std::vector<int> batch;  // the percentages after "batch" in every redraw
    for (size_t at = text.find("batch "); at != std::string::npos;
         at = text.find("batch ", at + 1)) {
        batch.push_back(std::stoi(text.substr(text.find(']', at) + 1)));
    }
    ASSERT_GE(batch.size(), 8u) << text;
    EXPECT_TRUE(std::is_sorted(batch.begin(), batch.end())) << text;
    EXPECT_EQ(batch.back(), 100);
    EXPECT_NE(std::find(batch.begin(), batch.end(), 50), batch.end()) << text;  // file 1 done
    EXPECT_NE(text.find("[2/2] f1: VEL Noise Reduction... [##########----------]  50%"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace velnr
