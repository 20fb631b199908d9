#pragma once
// The host's settings: its per-user settings file, presets chosen on the command line, and
// the temporary settings file that carries this run's values to the plug-in (the plug-in
// reads settings only through SetSettings, so overrides travel in a file of their own).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/Options.h"
#include "host/PluginLoader.h"
#include "settings/Presets.h"

namespace velnr {

// $XDG_CONFIG_HOME/velnr/settings.ini, else $HOME/.config/velnr/settings.ini; empty when
// neither variable is set.
std::string DefaultSettingsPath();

// Finds a built-in preset (its name in any case, or gentle / strong / chroma) or a preset of
// a file: "FILE.pst" gives the file's preset 0, "FILE.pst:NAME" the preset named NAME.
bool ResolvePreset(const std::string& argument, vel::Preset& preset, std::string& error);
// The preset file an argument of --preset names; empty for a built-in preset.
std::string PresetFilePath(const std::string& argument);

// A file removed when the object goes.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();
    // Creates an empty file in $TMPDIR (or /tmp) whose name ends in suffix.
    bool Create(const std::string& suffix, std::string& error);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

struct RunSettings {
    TempFile chosen;  // file + preset + options: what --save-settings stores
    TempFile run;     // chosen, plus the host's whole-image analysis for silent runs
    // One line for each value of the settings file or the preset that lay outside the
    // dialog's range and was brought into it.
    std::vector<std::string> warnings;
};

// Creates the user's settings file, or the slot's section in it, with the plug-in's initial
// values (GetSettings) when missing; then writes the two temporary settings files for slot.
// presetSource names the preset's file in warnings (empty for a built-in preset).
bool PrepareRunSettings(const Plugin& plugin, const std::string& userFile, const Options& options,
                        const std::optional<vel::Preset>& preset, const std::string& presetSource,
                        RunSettings& settings, std::string& error);

// The values of a settings file's slot as the plug-in reads them.
vel::NoiseReductionParams ReadSettings(const std::string& path, int32_t slot);

// The settings as the lines of a settings file: the slot's section header and one line per
// key, in the parameter table's order, each ending in "\n".
std::string SettingsText(const vel::NoiseReductionParams& values, int32_t slot);

// Has the plug-in (through GetSettings) store values into the slot of file, then checks that
// the file holds them. False with a reason when it does not.
bool SaveSettingsChecked(const Plugin& plugin, const std::string& file, int32_t slot,
                         const vel::NoiseReductionParams& values, std::string& error);

// Writes values as the preset "FILE.pst:NAME" names: the file's preset of that name is
// replaced, or a new one is added after the last; the rest of the file is kept. False with a
// reason when the file cannot be read whole or written.
bool SavePresetAs(const std::string& argument, const vel::NoiseReductionParams& values,
                  std::string& error);

}  // namespace velnr
