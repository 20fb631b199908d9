#include "host/HostSettings.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/Output.h"
#include "platform/SettingsStore.h"
#include "settings/ParamTable.h"
#include "settings/SettingsFile.h"

namespace velnr {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Where FILE.pst ends in "FILE.pst" or "FILE.pst:NAME" (the last ".pst" that ends the text or
// precedes ':', so names may hold colons); npos when there is none.
size_t PresetPathEnd(const std::string& argument) {
    const std::string lower = Lower(argument);
    size_t end = std::string::npos;
    for (size_t at = lower.find(".pst"); at != std::string::npos; at = lower.find(".pst", at + 1)) {
        if (at + 4 == lower.size() || lower[at + 4] == ':') {
            end = at + 4;
        }
    }
    return end;
}

// The value of a decibel key brought into the dialog's range, with a warning when it was not.
int32_t Checked(const vel::ParamInfo& param, int32_t value, const std::string& source,
                std::vector<std::string>& warnings) {
    if (param.kind != vel::ParamKind::Decibel ||
        (value >= param.editMin && value <= param.editMax)) {
        return value;
    }
    const int32_t used = value < param.editMin ? param.editMin : param.editMax;
    warnings.push_back(source + ": " + param.key + "=" + std::to_string(value) + " is outside " +
                       std::to_string(param.editMin) + ".." + std::to_string(param.editMax) +
                       " dB; using " + std::to_string(used));
    return used;
}

}  // namespace

std::string PresetFilePath(const std::string& argument) {
    const size_t end = PresetPathEnd(argument);
    return end == std::string::npos ? std::string() : argument.substr(0, end);
}

std::string DefaultSettingsPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/velnr/settings.ini";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config/velnr/settings.ini";
    }
    return {};
}

bool ResolvePreset(const std::string& argument, vel::Preset& preset, std::string& error) {
    const std::vector<vel::Preset> builtIn = vel::BuiltInPresets();
    static const char* const kShort[] = {"gentle", "strong", "chroma"};
    const std::string lower = Lower(argument);
    for (size_t i = 0; i < builtIn.size(); ++i) {
        if (lower == Lower(builtIn[i].name) || lower == kShort[i]) {
            preset = builtIn[i];
            return true;
        }
    }
    const size_t end = PresetPathEnd(argument);
    if (end == std::string::npos) {
        error = "unknown preset \"" + argument +
                "\" (built-in: \"Remove noise - gentle\", \"Remove noise - strong\", "
                "\"Remove chroma noise\"; or a preset file FILE.pst[:NAME])";
        return false;
    }
    const std::string path = argument.substr(0, end);
    const bool named = end < argument.size();
    const std::string name = named ? argument.substr(end + 1) : std::string();
    if (IsDirectory(path) || ::access(path.c_str(), R_OK) != 0) {
        error = "preset file " + path + ": " +
                (IsDirectory(path) ? std::string("is a folder") : std::strerror(errno));
        return false;
    }
    std::vector<vel::Preset> list;
    if (vel::LoadUserPresets(path.c_str(), list) == 0) {
        error = "preset file " + path + ": holds no presets";
        return false;
    }
    if (!named) {
        preset = list.front();
        return true;
    }
    std::string names;
    for (const vel::Preset& p : list) {
        if (p.name == name) {
            preset = p;
            return true;
        }
        names += (names.empty() ? "\"" : ", \"") + p.name + "\"";
    }
    error = "preset file " + path + ": no preset named \"" + name + "\" (it has " + names + ")";
    return false;
}

TempFile::~TempFile() {
    if (!path_.empty()) {
        ::unlink(path_.c_str());
    }
}

bool TempFile::Create(const std::string& suffix, std::string& error) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/velnr-XXXXXX" + suffix;
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        error = "cannot create a temporary file: " + std::string(std::strerror(errno));
        return false;
    }
    ::close(fd);
    path_ = pattern;
    return true;
}

bool PrepareRunSettings(const Plugin& plugin, const std::string& userFile, const Options& options,
                        const std::optional<vel::Preset>& preset, const std::string& presetSource,
                        RunSettings& settings, std::string& error) {
    const std::string section = vel::SettingsSection(options.slot);
    {
        vel::SettingsStore store;
        const vel::LoadResult loaded = store.LoadFile(userFile.c_str());
        if (loaded == vel::LoadResult::Failed) {
            error = "settings file " + userFile + ": cannot be read";
            return false;
        }
        if (loaded == vel::LoadResult::Missing || !store.FindKey(section, "").section) {
            if (!MakeDirectories(DirName(userFile), error)) {
                return false;
            }
            plugin.getSettings(userFile.c_str(), options.slot);  // the initial values
            if (!PathExists(userFile)) {
                error = "settings file " + userFile + ": cannot be created";
                return false;
            }
        }
    }
    if (!settings.chosen.Create(".ini", error) || !settings.run.Create(".ini", error)) {
        return false;
    }
    // The plug-in writes its own record of the user's values, and the changes go on top.
    plugin.setSettings(userFile.c_str(), options.slot);
    plugin.getSettings(settings.chosen.Path().c_str(), options.slot);
    vel::SettingsStore store;
    if (!store.Load(settings.chosen.Path().c_str())) {
        error = "cannot read back the temporary settings file " + settings.chosen.Path();
        return false;
    }
    // Values are checked where they come from (the plug-in's own file stays as the host
    // wrote it); the options were checked when they were parsed.
    const vel::ParamInfo* reanalyze = nullptr;
    for (size_t i = 0; i < vel::kParamTable.size(); ++i) {
        const vel::ParamInfo& param = vel::kParamTable[i];
        if (param.boolField == &vel::NoiseReductionParams::reanalyzeWhole) {
            reanalyze = &param;
        }
        // The value used is the option's, else the preset's, else the file's.
        const int32_t fromPreset = preset ? preset->Applied(param) : vel::kPresetNotSet;
        if (options.overrides[i]) {
            store.SetInt(section, param.key, *options.overrides[i]);
        } else if (fromPreset != vel::kPresetNotSet) {
            store.SetInt(
                section, param.key,
                Checked(param, fromPreset, "preset file " + presetSource, settings.warnings));
        } else {
            const int32_t fromFile = store.GetInt(section, param.key, param.defaultIfMissing);
            const int32_t used =
                Checked(param, fromFile, "settings file " + userFile, settings.warnings);
            if (used != fromFile) {
                store.SetInt(section, param.key, used);
            }
        }
    }
    vel::SettingsStore copy = store;
    if (!store.Save(settings.chosen.Path().c_str())) {
        error = "cannot write the temporary settings file " + settings.chosen.Path();
        return false;
    }
    // Silent runs analyse the whole image unless told otherwise; an explicit
    // --reanalyze-whole wins. Interactive runs leave it to the dialog's check box.
    const size_t reanalyzeIndex = static_cast<size_t>(reanalyze - vel::kParamTable.data());
    if (!options.interactive && !options.overrides[reanalyzeIndex]) {
        copy.SetBool(section, reanalyze->key, !options.noReanalyze);
    }
    if (!copy.Save(settings.run.Path().c_str())) {
        error = "cannot write the temporary settings file " + settings.run.Path();
        return false;
    }
    return true;
}

vel::NoiseReductionParams ReadSettings(const std::string& path, int32_t slot) {
    vel::NoiseReductionParams values;
    vel::LoadSettings(path.c_str(), slot, values);
    return values;
}

std::string SettingsText(const vel::NoiseReductionParams& values, int32_t slot) {
    // Built by appending: GCC 12 at -O3 warns falsely about "[" + string.
    std::string text = "[";
    text += vel::SettingsSection(slot);
    text += "]\n";
    for (const vel::ParamInfo& param : vel::kParamTable) {
        text += param.key;
        text += '=';
        text += std::to_string(param.Get(values));
        text += '\n';
    }
    return text;
}

bool SaveSettingsChecked(const Plugin& plugin, const std::string& file, int32_t slot,
                         const vel::NoiseReductionParams& values, std::string& error) {
    plugin.getSettings(file.c_str(), slot);
    // GetSettings cannot say that it failed: read back what the file now holds, every key
    // written out (defaults for missing keys could equal the values by chance).
    vel::SettingsStore store;
    const std::string section = vel::SettingsSection(slot);
    bool same = store.Load(file.c_str());
    for (const vel::ParamInfo& param : vel::kParamTable) {
        same = same && store.FindKey(section, param.key).line &&
               store.GetInt(section, param.key, 0) == param.Get(values);
    }
    if (same) {
        return true;
    }
    const std::string folder = DirName(file);
    error = "cannot save the settings to " + file + ": " +
            (::access(folder.c_str(), W_OK) != 0
                 ? "the folder " + folder + " is not writable"
                 : std::string("the file could not be replaced (it keeps its old values)"));
    return false;
}

bool SavePresetAs(const std::string& argument, const vel::NoiseReductionParams& values,
                  std::string& error) {
    const size_t end = PresetPathEnd(argument);
    const std::string path = argument.substr(0, end);
    const std::string name = end < argument.size() ? argument.substr(end + 1) : std::string();
    vel::SettingsStore store;
    if (IsDirectory(path) || store.LoadFile(path.c_str()) == vel::LoadResult::Failed) {
        // Replacing a file we could not read whole would lose its other presets.
        error = "cannot save preset \"" + name + "\": " + path +
                (IsDirectory(path) ? " is a folder" : " cannot be read");
        return false;
    }
    // Presets are numbered from 0 without gaps; the named one is replaced in place.
    int32_t n = 0;
    while (n < INT32_MAX && vel::HasPreset(store, n) &&
           store.GetString(vel::PresetSection(n), vel::kPresetNameKey, "") != name) {
        ++n;
    }
    vel::WritePreset(store, n, name, values);
    if (!store.Save(path.c_str())) {
        error =
            "cannot save preset \"" + name + "\" to " + path + ": the file could not be written";
        return false;
    }
    return true;
}

}  // namespace velnr
