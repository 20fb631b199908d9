#include "host/Options.h"

#include <CLI/CLI.hpp>

#include <cstdio>

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
    "\nOutput names: {stem} is the input's name without extension, {ext} its extension,\n"
    "{name} the whole name. The output format follows the output's extension.\n"
    "Existing files are never replaced without --force. Ctrl-C cancels cleanly.\n"
    "\nExamples:\n"
    "  velnr photo.tif                           writes photo-nr.tif\n"
    "  velnr --preset \"Remove noise - strong\" -o clean.png noisy.png\n"
    "  velnr --preset mine.pst:Night --luma-threshold=-3 -d out *.tif\n"
    "\nExit status: 0 all done, 1 some files failed, 2 usage or plug-in error, 130 cancelled.";

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

    app.add_option("inputs", options.inputs, "Image files to denoise")->required();
    auto* output = app.add_option("-o,--output", options.output,
                                  "Output file (one input only); its extension sets the format");
    auto* dir = app.add_option("-d,--dir", options.outputDir,
                               "Folder for the outputs (created if missing); default: beside "
                               "each input");
    auto* name = app.add_option("--name", options.namePattern,
                                "Output name pattern with {stem}, {ext}, {name}")
                     ->capture_default_str();
    output->excludes(dir)->excludes(name);
    app.add_flag("-f,--force", options.force, "Replace existing output files (and inputs)");
    app.add_option("--quality", options.jpegQuality, "JPEG output quality")
        ->check(CLI::Range(1, 100))
        ->capture_default_str();

    app.add_option("--plugin", options.plugin,
                   "Plug-in library to load (default: the one installed with velnr)")
        ->check(CLI::ExistingFile);
    app.add_option("--settings", options.settingsFile,
                   "Settings file (default: $XDG_CONFIG_HOME/velnr/settings.ini)");
    app.add_option("--slot", options.slot, "Plug-in slot: section \"VEL Noise Reduction N\"")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("-p,--preset", options.preset,
                   "Built-in preset (\"Remove noise - gentle\", \"Remove noise - strong\", "
                   "\"Remove chroma noise\"; or gentle, strong, chroma) or FILE.pst[:NAME]");
    app.add_flag("--save-settings", options.saveSettings,
                 "Store the values used into the settings file");

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
                                 ->check(CLI::Range(param.editMin, param.editMax))
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
        if (!options.output.empty() && options.inputs.size() != 1) {
            throw CLI::ValidationError("-o/--output",
                                       "takes exactly one input file; use -d for more");
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
