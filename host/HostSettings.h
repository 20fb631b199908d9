#pragma once
// The host's settings: its per-user settings file, presets chosen on the command line, and
// the temporary settings file that carries this run's values to the plug-in (the plug-in
// reads settings only through SetSettings, so overrides travel in a file of their own).

#include <cstdint>
#include <optional>
#include <string>

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
};

// Creates the user's settings file, or the slot's section in it, with the plug-in's initial
// values (GetSettings) when missing; then writes the two temporary settings files for slot.
bool PrepareRunSettings(const Plugin& plugin, const std::string& userFile, const Options& options,
                        const std::optional<vel::Preset>& preset, RunSettings& settings,
                        std::string& error);

}  // namespace velnr
