#include "host/HostSettings.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/Output.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"

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

}  // namespace

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
    // FILE.pst or FILE.pst:NAME; the last ".pst" that ends the text or precedes ':' ends
    // the path, so names may hold colons.
    size_t end = std::string::npos;
    for (size_t at = lower.find(".pst"); at != std::string::npos; at = lower.find(".pst", at + 1)) {
        if (at + 4 == lower.size() || lower[at + 4] == ':') {
            end = at + 4;
        }
    }
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
                        const std::optional<vel::Preset>& preset, RunSettings& settings,
                        std::string& error) {
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
    if (preset) {
        const auto set = [&](const char* key, int32_t value) {
            if (value != vel::kPresetNotSet) {
                store.SetInt(section, key, value);
            }
        };
        set("Luma Threshold", preset->lumaThreshold);
        set("Chroma Threshold", preset->chromaThreshold);
        set("Luma Suppression", preset->lumaSuppression);
        set("Chroma Suppression", preset->chromaSuppression);
        set("Light Correction", preset->lightCorrection);
        set("Dark Correction", preset->darkCorrection);
    }
    const vel::ParamInfo* reanalyze = nullptr;
    for (size_t i = 0; i < vel::kParamTable.size(); ++i) {
        const vel::ParamInfo& param = vel::kParamTable[i];
        if (param.boolField == &vel::NoiseReductionParams::reanalyzeWhole) {
            reanalyze = &param;
        }
        if (options.overrides[i]) {
            store.SetInt(section, param.key, *options.overrides[i]);
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

}  // namespace velnr
