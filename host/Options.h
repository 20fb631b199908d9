#pragma once
// The velnr command line.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/ImageIO.h"
#include "settings/ParamTable.h"

namespace velnr {

inline constexpr const char* kDefaultNamePattern = "{stem}-nr.{ext}";

struct Options {
    std::vector<std::string> inputs;  // files and folders, as given
    bool recursive = false;           // -r: folders' sub-folders too
    std::string output;               // -o: the one input's output file
    std::string outputDir;            // -d, or -o naming a folder
    std::string namePattern = kDefaultNamePattern;
    bool force = false;
    std::string plugin;        // empty: DefaultPluginPath()
    std::string settingsFile;  // empty: DefaultSettingsPath()
    int32_t slot = 0;
    std::string preset;
    bool saveSettings = false;
    bool noReanalyze = false;
    bool interactive = false;
    std::string displayProfile;
    WriteOptions write;  // --quality, --depth, --compression, --jpeg-subsampling
    bool quiet = false;
    bool printSettings = false;
    std::string savePreset;  // FILE.pst:NAME
    bool printNoise = false;
    bool json = false;
    // Values given on the command line, by entry of the parameter table.
    std::array<std::optional<int32_t>, vel::kParamTable.size()> overrides;
};

// "Luma Threshold" -> "luma-threshold".
std::string OptionName(const vel::ParamInfo& param);

// Parses the command line. Gives -1 when the program should go on; otherwise the exit status
// after --help or --version (0, text on stdout) or a usage error (2, one line on stderr).
int ParseOptions(int argc, const char* const* argv, Options& options);

}  // namespace velnr
