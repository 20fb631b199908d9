#include "host/Options.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "host/Output.h"

namespace velnr {

namespace {

const char* kDescription =
    "velnr - VEL Noise Reduction for image files.\n"
    "Denoises TIFF (8/16-bit, 32-bit float), PNG (8/16-bit) and JPEG files with the\n"
    "VEL Noise Reduction plug-in, keeping bit depth, alpha, ICC profile and metadata.\n";

const char* kFooter =
    "\nSettings: the values come from the settings file (created on first use), then the\n"
    "preset, then the options above; the file is changed only with --save-settings.\n"
    "\nWhole-image analysis: without \"Reanalyze Whole\" a silent run measures the noise tile\n"
    "by tile after the light/dark tone gain has been applied, so the light and dark\n"
    "corrections act differently from the settings dialog. velnr therefore analyses the\n"
    "whole image first in its silent runs, which gives the dialog's results; --no-reanalyze\n"
    "skips that analysis (faster, results differ when corrections are set).\n"
    "\nFolders: their TIFF, PNG and JPEG files in name order (-r: sub-folders too, kept as\n"
    "sub-folders below -d). -r follows links to folders, but enters each real folder once,\n"
    "so a link cycle or a second link to a folder adds nothing; a link to a file is read\n"
    "as the file. The output folder is never read, and neither are files named as outputs\n"
    "(another file's output name, or NAME-nr.EXT: an earlier run's, said once per folder);\n"
    "give those by name to denoise them.\n"
    "\nOutput names: {stem} is the input's name without extension, {ext} its extension,\n"
    "{name} the whole name. The output format follows the output's extension.\n"
    "Existing files are never replaced without --force: their inputs are skipped, so the\n"
    "same command run again finishes an interrupted batch. Ctrl-C cancels cleanly.\n"
    "\nExamples:\n"
    "  velnr photo.tif                           writes photo-nr.tif\n"
    "  velnr --preset \"Remove noise - strong\" -o clean.png noisy.png\n"
    "  velnr --preset mine.pst:Night --luma-threshold=-3 -d out *.tif\n"
    "  velnr -r -d clean --depth 16 --compression zip shoot/\n"
    "  velnr --print-noise photo.tif\n"
    "\nExit status: 0 all written, 1 some files failed, 2 usage, settings or plug-in error\n"
    "(nothing processed), 3 some files skipped (their output exists, or cancelled in the\n"
    "dialog) and none failed, 130 cancelled.";

// A whole number in min..max, with messages that say which of the two is wrong.
CLI::Validator WholeNumber(int64_t min, int64_t max, const std::string& unit) {
    const std::string range = max == INT32_MAX ? std::to_string(min) + " or more"
                                               : std::to_string(min) + ".." + std::to_string(max);
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            const char* begin = text.c_str();
            char* end = nullptr;
            errno = 0;
            const long long value = std::strtoll(begin, &end, 10);
            if (text.empty() || end == begin || *end != '\0') {
                return text + " is not a whole number (use a whole number" +
                       (unit.empty() ? "" : " of " + unit) + ", " + range + ")";
            }
            if (errno == ERANGE || value < min || value > max) {
                return text + (value < min ? " is too small" : " is too large") + " (use " + range +
                       (unit.empty() ? "" : " " + unit) + ")";
            }
            return {};
        },
        range, "WHOLE NUMBER");
}

// One of the words listed, told in the help by the option's type name alone.
CLI::Validator OneOf(std::vector<std::string> words) {
    std::string list;
    for (const std::string& word : words) {
        list += (list.empty() ? "" : ", ") + word;
    }
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            for (const std::string& word : words) {
                if (text == word) {
                    return {};
                }
            }
            return "\"" + text + "\" is not one of " + list;
        },
        "", "ONE OF");
}

bool ParseSwitch(const std::string& text, int32_t& value) {
    static const char* const kOn[] = {"on", "1", "yes", "true"};
    static const char* const kOff[] = {"off", "0", "no", "false"};
    for (const char* word : kOn) {
        if (text == word) {
            value = 1;
            return true;
        }
    }
    for (const char* word : kOff) {
        if (text == word) {
            value = 0;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string OptionName(const vel::ParamInfo& param) {
    std::string name;
    for (const char* p = param.key; *p != '\0'; ++p) {
        if (*p == ' ') {
            name += '-';
        } else if (*p >= 'A' && *p <= 'Z') {
            name += static_cast<char>(*p - 'A' + 'a');
        } else {
            name += *p;
        }
    }
    return name;
}

int ParseOptions(int argc, const char* const* argv, Options& options) {
    CLI::App app{kDescription, "velnr"};
    app.set_version_flag("--version", "velnr " VELNR_VERSION);
    app.footer(kFooter);
    app.get_formatter()->column_width(34);

    app.add_option("inputs", options.inputs,
                   "Image files to denoise, or folders (their TIFF, PNG and JPEG files)")
        ->required();
    app.add_flag("-r,--recursive", options.recursive,
                 "Folders: include their sub-folders (each real folder once, through links too)");
    auto* output = app.add_option("-o,--output", options.output,
                                  "Output file (one input only; its extension sets the format), "
                                  "or an existing folder as with -d");
    auto* dir = app.add_option("-d,--dir", options.outputDir,
                               "Folder for the outputs (created if missing); default: beside "
                               "each input");
    auto* name = app.add_option("--name", options.namePattern,
                                "Output name pattern with {stem}, {ext}, {name}")
                     ->capture_default_str();
    output->excludes(dir);
    app.add_flag("-f,--force", options.force, "Replace existing output files (and inputs)");

    const std::string outputGroup = "Output files";
    app.add_option("--depth", options.write.depth,
                   "Bits per sample: 8, 16, or 32 (float, TIFF only); default: as the input")
        ->check(OneOf({"8", "16", "32"}))
        ->type_name("8|16|32")
        ->group(outputGroup);
    std::string compression;
    app.add_option("--compression", compression,
                   "TIFF compression: none, lzw, zip or zstd; default: as the input")
        ->check(OneOf({"none", "lzw", "zip", "zstd"}))
        ->type_name("none|lzw|zip|zstd")
        ->group(outputGroup);
    app.add_option("--quality", options.write.jpegQuality, "JPEG output quality")
        ->check(WholeNumber(1, 100, ""))
        ->capture_default_str()
        ->group(outputGroup);
    app.add_option("--jpeg-subsampling", options.write.jpegSubsampling,
                   "JPEG chroma subsampling: 444 (full colour resolution), 422 or 420")
        ->check(OneOf({"444", "422", "420"}))
        ->type_name("444|422|420")
        ->capture_default_str()
        ->group(outputGroup);

    app.add_option("--plugin", options.plugin,
                   "Plug-in library to load (default: the one installed with velnr)")
        ->check(CLI::ExistingFile);
    app.add_option("--settings", options.settingsFile,
                   "Settings file (default: $XDG_CONFIG_HOME/velnr/settings.ini)");
    app.add_option("--slot", options.slot, "Plug-in slot: section \"VEL Noise Reduction N\"")
        ->check(WholeNumber(0, INT32_MAX, ""))
        ->capture_default_str();
    app.add_option("-p,--preset", options.preset,
                   "Built-in preset (\"Remove noise - gentle\", \"Remove noise - strong\", "
                   "\"Remove chroma noise\"; or gentle, strong, chroma) or FILE.pst[:NAME]");
    app.add_flag("--save-settings", options.saveSettings,
                 "Store the values used into the settings file");
    app.add_flag("--print-settings", options.printSettings,
                 "Print the settings used, as settings-file lines");
    app.add_option("--save-preset", options.savePreset,
                   "Store the settings used as preset NAME of a preset file")
        ->type_name("FILE.pst:NAME");
    auto* printNoise =
        app.add_flag("--print-noise", options.printNoise,
                     "Print the noise measured in every sub-band (0..255 scale) for each file");
    app.add_flag("--json", options.json, "With --print-noise: one JSON object per file")
        ->needs(printNoise);

    std::array<std::string, vel::kParamTable.size()> switchText;
    std::array<CLI::Option*, vel::kParamTable.size()> paramOption{};
    std::array<int32_t, vel::kParamTable.size()> decibel{};
    for (size_t i = 0; i < vel::kParamTable.size(); ++i) {
        const vel::ParamInfo& param = vel::kParamTable[i];
        const std::string flag = "--" + OptionName(param);
        if (param.kind == vel::ParamKind::Decibel) {
            const std::string help = std::string(param.tooltip) + " (" +
                                     std::to_string(param.editMin) + ".." +
                                     std::to_string(param.editMax) + " dB)";
            paramOption[i] = app.add_option(flag, decibel[i], help)
                                 ->check(WholeNumber(param.editMin, param.editMax, "decibels"))
                                 ->type_name("DB")
                                 ->group("Settings (override the settings file for this run)");
        } else {
            paramOption[i] =
                app.add_option(flag, switchText[i], std::string(param.tooltip) + " (on/off)")
                    ->check(CLI::IsMember({"on", "off", "1", "0", "yes", "no", "true", "false"}))
                    ->type_name("on|off")
                    ->group("Settings (override the settings file for this run)");
        }
    }
    auto* noReanalyze = app.add_flag(
        "--no-reanalyze", options.noReanalyze,
        "Silent runs: skip the whole-image noise analysis velnr does by default (see below)");
    for (size_t i = 0; i < vel::kParamTable.size(); ++i) {
        if (vel::kParamTable[i].boolField == &vel::NoiseReductionParams::reanalyzeWhole) {
            noReanalyze->excludes(paramOption[i]);
        }
    }
    noReanalyze->excludes(printNoise);
    auto* interactive =
        app.add_flag("-i,--interactive", options.interactive,
                     "Show the plug-in's settings dialog and progress window for every image");
    app.add_option("--display-profile", options.displayProfile,
                   "Monitor ICC profile for the dialog's preview (with --interactive)")
        ->check(CLI::ExistingFile)
        ->needs(interactive);
    app.add_flag("-q,--quiet", options.quiet, "No progress and no list of written files");

    try {
        app.parse(argc, argv);
        static const std::map<std::string, TiffCompression> kCompressions = {
            {"", TiffCompression::AsInput},
            {"none", TiffCompression::None},
            {"lzw", TiffCompression::Lzw},
            {"zip", TiffCompression::Zip},
            {"zstd", TiffCompression::Zstd}};
        options.write.compression = kCompressions.at(compression);
        if (!options.output.empty() &&
            (IsDirectory(options.output) || options.output.back() == '/')) {
            options.outputDir = options.output;  // a folder: as -d
            options.output.clear();
        }
        if (!options.output.empty() &&
            (options.inputs.size() != 1 || IsDirectory(options.inputs[0]))) {
            throw CLI::ValidationError("-o/--output",
                                       "names one output file, so it takes exactly one input "
                                       "file; use -d FOLDER for more");
        }
        if (!options.output.empty() && name->count() != 0) {
            throw CLI::ValidationError("--name", "does not go with -o FILE (use -d FOLDER)");
        }
        if (!options.outputDir.empty() && PathExists(options.outputDir) &&
            !IsDirectory(options.outputDir)) {
            throw CLI::ValidationError("-d/--dir", options.outputDir + " is a file, not a folder");
        }
        if (!options.savePreset.empty()) {
            const size_t colon = options.savePreset.rfind(".pst:");
            if (colon == std::string::npos || colon + 5 == options.savePreset.size()) {
                throw CLI::ValidationError("--save-preset",
                                           "needs FILE.pst:NAME, for example night.pst:Night");
            }
        }
        std::string fileName;
        std::string patternError;
        if (!ExpandPattern(options.namePattern, "x.tif", "tif", fileName, patternError)) {
            throw CLI::ValidationError("--name", patternError);
        }
        for (size_t i = 0; i < vel::kParamTable.size(); ++i) {
            if (paramOption[i]->count() == 0) {
                continue;
            }
            if (vel::kParamTable[i].kind == vel::ParamKind::Decibel) {
                options.overrides[i] = decibel[i];
            } else {
                int32_t value = 0;
                ParseSwitch(switchText[i], value);
                options.overrides[i] = value;
                if (options.printNoise && value == 0 &&
                    vel::kParamTable[i].boolField == &vel::NoiseReductionParams::reanalyzeWhole) {
                    throw CLI::ValidationError(
                        "--print-noise", "needs the whole-image analysis (--reanalyze-whole on)");
                }
            }
        }
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e);
        }
        std::fprintf(stderr, "velnr: error: %s\nRun velnr --help for the options.\n", e.what());
        return 2;
    }
    return -1;
}

}  // namespace velnr
