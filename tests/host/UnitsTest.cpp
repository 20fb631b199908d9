// Output naming and committing, presets, progress bars and option parsing, without running
// the program.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "TestSupport.h"
#include "host/HostSettings.h"
#include "host/Options.h"
#include "host/Output.h"
#include "host/Progress.h"
#include "platform/SettingsStore.h"
#include "settings/Presets.h"

namespace velnr {
namespace {

int32_t Value(const vel::Preset& preset, const char* key) {
    return preset[*vel::FindParam(key)];
}

TEST(OutputNames, PatternsExpandAndBadPatternsAreRefused) {
    std::string name;
    std::string error;
    ASSERT_TRUE(ExpandPattern("{stem}-nr.{ext}", "dir/photo.v2.TIF", "TIF", name, error));
    EXPECT_EQ(name, "photo.v2-nr.TIF");
    ASSERT_TRUE(ExpandPattern("clean_{name}", "/a/b.png", "png", name, error));
    EXPECT_EQ(name, "clean_b.png");
    ASSERT_TRUE(ExpandPattern("{stem}.png", ".hidden", "", name, error));
    EXPECT_EQ(name, ".hidden.png");
    EXPECT_FALSE(ExpandPattern("{stem}/x.{ext}", "a.png", "png", name, error));
    EXPECT_FALSE(ExpandPattern("{stem", "a.png", "png", name, error));
    EXPECT_FALSE(ExpandPattern("{base}.{ext}", "a.png", "png", name, error));
    EXPECT_NE(error.find("{base}"), std::string::npos);
    EXPECT_FALSE(ExpandPattern("{ext}", "noext", "", name, error));
    EXPECT_EQ(FileStem("a/b.c/d"), "d");
    EXPECT_EQ(FileExtension("a/b.c/d"), "");
    EXPECT_EQ(DirName("x.png"), ".");
    EXPECT_EQ(DirName("/x.png"), "/");
}

TEST(OutputCommit, NeverReplacesWithoutOverwriteAndLeavesNoTemporaryFile) {
    test::ScratchDir dir;
    const std::string target = dir / "out.png";
    test::WriteText(target, "old");
    std::string error;
    {
        vel::BesideTemp temp;
        ASSERT_TRUE(CreateTempBeside(target, temp, error)) << error;
        EXPECT_EQ(DirName(temp.Path()), dir.Path());
        test::WriteText(temp.Path(), "new");
        EXPECT_FALSE(CommitOutput(temp.Path(), target, false, error));
    }
    EXPECT_NE(error.find("--force"), std::string::npos);
    EXPECT_EQ(test::ReadText(target), "old");
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.png"});

    {
        vel::BesideTemp temp;
        ASSERT_TRUE(CreateTempBeside(target, temp, error));
        test::WriteText(temp.Path(), "new");
        ASSERT_TRUE(CommitOutput(temp.Path(), target, true, error)) << error;
        temp.Keep();
    }
    EXPECT_EQ(test::ReadText(target), "new");
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.png"});
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // not the private mode of a temporary file

    vel::BesideTemp none;
    EXPECT_FALSE(CreateTempBeside(dir / "no-such-folder/out.png", none, error));
    EXPECT_TRUE(MakeDirectories(dir / "x/y/z", error));
    EXPECT_TRUE(IsDirectory(dir / "x/y/z"));
    test::WriteText(dir / "file", "");
    EXPECT_FALSE(MakeDirectories(dir / "file/sub", error));
}

TEST(Presets, BuiltInPresetsHoldTheirDocumentedValues) {
    const std::vector<vel::Preset> presets = vel::BuiltInPresets();
    ASSERT_EQ(presets.size(), 3u);
    const struct {
        const char* name;
        int32_t v[6];
    } expected[] = {{"Remove noise - gentle", {-4, -2, 6, 9, 0, 0}},
                    {"Remove noise - strong", {0, 1, 12, 15, 0, 0}},
                    {"Remove chroma noise", {-10, 0, 15, 15, 0, 0}}};
    for (size_t i = 0; i < 3; ++i) {
        const vel::Preset& p = presets[i];
        EXPECT_EQ(p.name, expected[i].name);
        EXPECT_EQ(
            (std::vector<int32_t>{Value(p, "Luma Threshold"), Value(p, "Chroma Threshold"),
                                  Value(p, "Luma Suppression"), Value(p, "Chroma Suppression"),
                                  Value(p, "Light Correction"), Value(p, "Dark Correction")}),
            std::vector<int32_t>(expected[i].v, expected[i].v + 6));
        EXPECT_EQ(Value(p, "High Quality"), vel::kPresetNotSet);
        EXPECT_EQ(Value(p, "Reanalyze Whole"), vel::kPresetNotSet);
    }
    vel::NoiseReductionParams params;
    params.highQuality = false;
    params.reanalyzeWhole = true;
    params.linkLumaChroma = false;
    vel::ApplyPreset(presets[1], params);
    EXPECT_EQ(params.lumaThreshold, 0);
    EXPECT_EQ(params.chromaThreshold, 1);
    EXPECT_EQ(params.lumaSuppression, 12);
    EXPECT_EQ(params.chromaSuppression, 15);
    EXPECT_FALSE(params.highQuality);
    EXPECT_TRUE(params.reanalyzeWhole);
    EXPECT_FALSE(params.linkLumaChroma);
    EXPECT_EQ(static_cast<uint32_t>(vel::kPresetNotSet), 0x96C5A7CFu);
}

TEST(Presets, FilesLoadMergeAndStopAtTheFirstGap) {
    test::ScratchDir dir;
    const std::string file = dir / "mine.pst";
    test::WriteText(file,
                    "[VEL Noise Reduction Preset 0]\r\nLuma Threshold=3\r\n"
                    "[VEL Noise Reduction Preset 1]\r\nPreset Name=Night\r\nLuma Threshold=-1\r\n"
                    "Chroma Suppression=20\r\nHigh Quality=0\r\n"
                    "[VEL Noise Reduction Preset 3]\r\nPreset Name=Lost\r\nLuma Threshold=1\r\n");
    std::vector<vel::Preset> list = vel::BuiltInPresets();
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), list), 2);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[3].name, "Unnamed");
    EXPECT_EQ(Value(list[3], "Luma Threshold"), 3);
    EXPECT_EQ(Value(list[3], "Chroma Threshold"), vel::kPresetNotSet);
    EXPECT_EQ(list[4].name, "Night");
    EXPECT_EQ(Value(list[4], "Chroma Suppression"), 20);
    EXPECT_EQ(Value(list[4], "High Quality"), 0);
    vel::NoiseReductionParams params;
    vel::ApplyPreset(list[3], params);  // only the luma threshold changes
    vel::NoiseReductionParams expected;
    expected.lumaThreshold = 3;
    EXPECT_EQ(params, expected);

    // Named presets merge; an unnamed one adds another entry every time.
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), list), 2);
    EXPECT_EQ(list.size(), 6u);
    EXPECT_EQ(vel::LoadUserPresets((dir / "missing.pst").c_str(), list), 0);
    EXPECT_EQ(list.size(), 6u);

    test::WriteText(file,
                    "[VEL Noise Reduction Preset 0]\r\nPreset Name=A\r\nLuma Threshold=Error\r\n");
    std::vector<vel::Preset> none;
    EXPECT_EQ(vel::LoadUserPresets(file.c_str(), none), 0);
    EXPECT_TRUE(none.empty());
}

TEST(Presets, SavedPresetComesBackOnceAndKeepsTheFileLayout) {
    test::ScratchDir dir;
    const std::string file = dir / "test.pst";
    vel::NoiseReductionParams values;
    values.lumaThreshold = -3;
    values.darkCorrection = 4;
    values.highQuality = false;
    ASSERT_TRUE(vel::SaveUserPreset(file.c_str(), "Test", values));
    EXPECT_EQ(test::ReadText(file),
              "[VEL Noise Reduction Preset 0]\r\nPreset Name=Test\r\nLuma Threshold=-3\r\n"
              "Chroma Threshold=1\r\nLuma Suppression=6\r\nChroma Suppression=12\r\n"
              "Light Correction=0\r\nDark Correction=4\r\nHigh Quality=0\r\n"
              "Reanalyze Whole=0\r\n");
    std::vector<vel::Preset> list = vel::BuiltInPresets();
    vel::LoadUserPresets(file.c_str(), list);
    vel::LoadUserPresets(file.c_str(), list);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[3].name, "Test");
    EXPECT_EQ(Value(list[3], "Dark Correction"), 4);

    // Saving over a file replaces preset 0 and keeps the rest.
    test::WriteText(file,
                    "; mine\r\n[VEL Noise Reduction Preset 0]\r\nPreset Name=Old\r\n"
                    "Luma Threshold=9\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(vel::SaveUserPreset(file.c_str(), "New", values));
    const std::string text = test::ReadText(file);
    EXPECT_EQ(text.rfind("; mine\r\n[VEL Noise Reduction Preset 0]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("Preset Name=New\r\n"), std::string::npos);
    EXPECT_NE(text.find("Luma Threshold=-3\r\n"), std::string::npos);
    EXPECT_NE(text.find("[Other]\r\nx=1\r\n"), std::string::npos);
    EXPECT_FALSE(vel::SaveUserPreset((dir / "nope/x.pst").c_str(), "X", values));
}

TEST(Presets, CommandLineNamesResolveToBuiltInsAndFilePresets) {
    test::ScratchDir dir;
    vel::Preset preset;
    std::string error;
    ASSERT_TRUE(ResolvePreset("remove noise - STRONG", preset, error));
    EXPECT_EQ(preset.name, "Remove noise - strong");
    ASSERT_TRUE(ResolvePreset("chroma", preset, error));
    EXPECT_EQ(Value(preset, "Luma Threshold"), -10);
    EXPECT_FALSE(ResolvePreset("loud", preset, error));
    EXPECT_NE(error.find("unknown preset"), std::string::npos);

    const std::string file = dir / "a:b.pst";  // a colon in the path itself
    test::WriteText(file,
                    "[VEL Noise Reduction Preset 0]\r\nPreset Name=Day\r\nLuma Threshold=2\r\n"
                    "[VEL Noise Reduction Preset 1]\r\nPreset Name=Night: high ISO\r\n"
                    "Luma Threshold=-5\r\n");
    ASSERT_TRUE(ResolvePreset(file, preset, error)) << error;
    EXPECT_EQ(preset.name, "Day");
    ASSERT_TRUE(ResolvePreset(file + ":Night: high ISO", preset, error)) << error;
    EXPECT_EQ(Value(preset, "Luma Threshold"), -5);
    EXPECT_FALSE(ResolvePreset(file + ":night: high iso", preset, error));
    EXPECT_NE(error.find("\"Day\""), std::string::npos) << error;
    EXPECT_FALSE(ResolvePreset(dir / "missing.pst", preset, error));
    test::WriteText(dir / "empty.pst", "[Something]\r\n");
    EXPECT_FALSE(ResolvePreset(dir / "empty.pst", preset, error));
    EXPECT_NE(error.find("no presets"), std::string::npos);
}

TEST(Progress, BarsClampEveryValue) {
    EXPECT_EQ(ProgressDisplay::Bar(0.0f, 4), "[----]");
    EXPECT_EQ(ProgressDisplay::Bar(50.0f, 4), "[##--]");
    EXPECT_EQ(ProgressDisplay::Bar(100.0f, 4), "[####]");
    EXPECT_EQ(ProgressDisplay::Bar(250.0f, 4), "[####]");
    EXPECT_EQ(ProgressDisplay::Bar(-3.0f, 4), "[----]");
    EXPECT_EQ(ProgressDisplay::Bar(std::numeric_limits<float>::quiet_NaN(), 4), "[----]");
    EXPECT_EQ(ProgressDisplay::Bar(std::numeric_limits<float>::infinity(), 4), "[####]");
}

int Parse(std::vector<const char*> args, Options& options) {
    std::vector<const char*> argv;
    argv.reserve(args.size() + 1);
    argv.push_back("velnr");
    for (const char* arg : args) {
        argv.push_back(arg);
    }
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), options);
}

TEST(OptionParsing, SettingsOptionsComeFromTheParameterTable) {
    Options options;
    ASSERT_EQ(Parse({"--luma-threshold=-4", "--chroma-suppression", "20", "--high-quality", "off",
                     "--dark-correction", "-10", "a.tif"},
                    options),
              -1);
    size_t set = 0;
    for (size_t i = 0; i < vel::kParamTable.size(); ++i) {
        const std::string name = OptionName(vel::kParamTable[i]);
        if (!options.overrides[i]) {
            continue;
        }
        ++set;
        if (name == "luma-threshold") {
            EXPECT_EQ(*options.overrides[i], -4);
        } else if (name == "chroma-suppression") {
            EXPECT_EQ(*options.overrides[i], 20);
        } else if (name == "high-quality") {
            EXPECT_EQ(*options.overrides[i], 0);
        } else if (name == "dark-correction") {
            EXPECT_EQ(*options.overrides[i], -10);
        } else {
            ADD_FAILURE() << name;
        }
    }
    EXPECT_EQ(set, 4u);
    EXPECT_EQ(options.inputs, std::vector<std::string>{"a.tif"});
    EXPECT_EQ(options.namePattern, kDefaultNamePattern);

    Options more;
    ASSERT_EQ(Parse({"-d", "out", "--name", "{name}.png", "-f", "--slot", "7", "-p", "gentle",
                     "--no-reanalyze", "x.png", "y.png"},
                    more),
              -1);
    EXPECT_EQ(more.outputDir, "out");
    EXPECT_EQ(more.slot, 7);
    EXPECT_TRUE(more.force);
    EXPECT_TRUE(more.noReanalyze);
    EXPECT_EQ(more.inputs.size(), 2u);
}

}  // namespace
}  // namespace velnr

namespace velnr {
namespace {

// The percentages after "batch" in every redraw of a terminal progress line.
std::vector<int> BatchPercents(const std::string& text) {
    std::vector<int> values;
    for (size_t at = text.find("batch "); at != std::string::npos;
         at = text.find("batch ", at + 1)) {
        const size_t close = text.find(']', at);
        values.push_back(std::stoi(text.substr(close + 1)));
    }
    return values;
}

TEST(Progress, TerminalBatchBarNeverRunsBackwardsAcrossJobsAndFiles) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    ProgressDisplay display(stream, true, false, 2);
    for (int file = 0; file < 2; ++file) {
        std::string name = "f";
        name += std::to_string(file);
        display.BeginFile(file, name);
        display.Step("Reading");
        if (file == 0) {  // the first file is analysed first, the second is not
            for (float p : {0.0f, 40.0f, 100.0f}) {
                ProgressDisplay::Callback(&display, "Image pre-analysis...", p);
            }
        }
        for (float p : {0.0f, 50.0f, 100.0f}) {
            ProgressDisplay::Callback(&display, "VEL Noise Reduction...", p);
        }
        display.Step("Writing");
    }
    display.EndBatch();
    std::rewind(stream);
    std::string text;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        text += static_cast<char>(c);
    }
    std::fclose(stream);
    const std::vector<int> batch = BatchPercents(text);
    ASSERT_GE(batch.size(), 8u) << text;
    EXPECT_TRUE(std::is_sorted(batch.begin(), batch.end())) << text;
    EXPECT_EQ(batch.back(), 100);
    EXPECT_NE(std::find(batch.begin(), batch.end(), 50), batch.end()) << text;  // file 1 done
    EXPECT_NE(text.find("[2/2] f1: VEL Noise Reduction... [##########----------]  50%"),
              std::string::npos)
        << text;
}

TEST(Progress, QuietShowsNothingAndPlainLinesComeAtStepsAndQuarters) {
    std::FILE* quietStream = std::tmpfile();
    ProgressDisplay quiet(quietStream, true, true, 1);
    quiet.BeginFile(0, "a");
    ProgressDisplay::Callback(&quiet, "VEL Noise Reduction...", 50.0f);
    EXPECT_EQ(std::ftell(quietStream), 0);
    std::fclose(quietStream);

    std::FILE* stream = std::tmpfile();
    ProgressDisplay plain(stream, false, false, 1);
    plain.BeginFile(0, "a");
    plain.Step("Reading");  // velnr's own steps: terminal only
    for (int p = 0; p <= 100; p += 5) {
        ProgressDisplay::Callback(&plain, "VEL Noise Reduction...", static_cast<float>(p));
    }
    std::rewind(stream);
    int lines = 0;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        lines += c == '\n' ? 1 : 0;
    }
    std::fclose(stream);
    EXPECT_EQ(lines, 5);  // 0, 25, 50, 75, 100
}

}  // namespace
}  // namespace velnr
