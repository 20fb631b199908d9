// velnr: denoises image files with the VEL Noise Reduction plug-in, which it loads at run
// time and drives only through the plug-in's exported C interface.

#include <dirent.h>
#include <fnmatch.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/HostSettings.h"
#include "host/ImageFormats.h"
#include "host/ImageIO.h"
#include "host/Options.h"
#include "host/Output.h"
#include "host/PluginLoader.h"
#include "host/Progress.h"

namespace {

// Set by SIGINT/SIGTERM; the plug-in reads it at its stop checks, velnr between steps.
volatile unsigned char g_cancel = 0;
volatile sig_atomic_t g_signals = 0;

extern "C" void OnInterrupt(int signal) {
    __atomic_store_n(&g_cancel, static_cast<unsigned char>(1), __ATOMIC_RELEASE);
    // A third request means the cancel is not getting through: stop at once.
    g_signals = g_signals + 1;
    if (g_signals >= 3) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
}

bool Cancelled() {
    return __atomic_load_n(&g_cancel, __ATOMIC_ACQUIRE) != 0;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* UsualExtension(velnr::FileFormat format) {
    switch (format) {
        case velnr::FileFormat::Tiff:
            return "tif";
        case velnr::FileFormat::Png:
            return "png";
        case velnr::FileFormat::Jpeg:
            return "jpg";
    }
    return "";
}

// One image to process; folder is where its output goes below -d (its place below the
// folder it was found in).
struct Input {
    std::string path;
    std::string folder;
    std::string error;  // why a folder given gave nothing to process
};

// Whether a file name has the form of an output name under pattern: its fixed text around
// the fields. A pattern that adds nothing but dots (such as "{name}") says nothing.
bool NamedLike(const std::string& name, const std::string& pattern) {
    std::string glob;
    bool adds = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string::npos;
        if (close != std::string::npos) {
            glob += '*';
            i = close;
            continue;
        }
        if (std::strchr("*?[\\", pattern[i]) != nullptr) {
            glob += '\\';
        }
        glob += pattern[i];
        adds = adds || pattern[i] != '.';
    }
    return adds && ::fnmatch(glob.c_str(), name.c_str(), 0) == 0;
}

// One folder input being listed. visited holds the real folders entered so far and the
// output folder, so that links lead nowhere twice and the outputs are never read back.
struct FolderWalk {
    const velnr::Options& options;
    std::set<velnr::FileId> visited;
    std::vector<Input>& list;
};

// Lists a folder's image files (recognised by their first bytes) in name order, with those
// of its sub-folders when recursive. Hidden entries are left out, and so are the files named
// as outputs: those this run's outputs take beside the files, silently; elsewhere (an earlier
// run's results under the default or the given name pattern) with one line for the folder.
void ListFolder(const std::string& folder, const std::string& below, FolderWalk& walk) {
    const velnr::Options& options = walk.options;
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> images;
    std::vector<std::string> folders;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        velnr::FileFormat format{};
        std::string error;
        velnr::FileId id;
        if (velnr::IsDirectory(path)) {
            if (options.recursive && velnr::GetFileId(path, id) && walk.visited.insert(id).second) {
                folders.push_back(name);
            }
        } else if (velnr::detail::SniffFormat(path, format, error)) {
            images.push_back(name);
        }
    }
    const std::string outputFolder = options.outputDir.empty() ? folder
                                     : below.empty()           ? options.outputDir
                                                               : options.outputDir + "/" + below;
    const bool beside = options.outputDir.empty() || velnr::SameFile(outputFolder, folder);
    std::set<std::string> outputs;
    for (const std::string& name : images) {
        std::string output;
        std::string error;
        if (velnr::ExpandPattern(options.namePattern, name, velnr::FileExtension(name), output,
                                 error) &&
            output != name) {
            outputs.insert(output);
        }
    }
    std::vector<std::string> earlier;
    for (const std::string& name : images) {
        if (outputs.count(name) != 0 && beside) {
            continue;
        }
        if (outputs.count(name) != 0 || NamedLike(name, velnr::kDefaultNamePattern) ||
            NamedLike(name, options.namePattern)) {
            earlier.push_back(name);
        } else {
            walk.list.push_back({folder + "/" + name, below, ""});
        }
    }
    if (!earlier.empty()) {
        const std::string more =
            earlier.size() == 1 ? "" : " and " + std::to_string(earlier.size() - 1) + " more";
        std::fprintf(stderr,
                     "velnr: %s: left out %s%s, named as outputs of an earlier run (give such "
                     "files by name to denoise them)\n",
                     folder.c_str(), earlier[0].c_str(), more.c_str());
    }
    for (const std::string& name : folders) {
        ListFolder(folder + "/" + name, below.empty() ? name : below + "/" + name, walk);
    }
}

std::vector<Input> ExpandInputs(const velnr::Options& options) {
    std::vector<Input> list;
    for (const std::string& input : options.inputs) {
        if (velnr::IsDirectory(input)) {
            std::string folder = input;
            while (folder.size() > 1 && folder.back() == '/') {
                folder.pop_back();
            }
            // The folder given is read even when it is the output folder: then the outputs
            // lie beside their files.
            FolderWalk walk{options, {}, list};
            velnr::FileId id;
            for (const std::string& entered : {options.outputDir, folder}) {
                if (!entered.empty() && velnr::GetFileId(entered, id)) {
                    walk.visited.insert(id);
                }
            }
            const size_t before = list.size();
            ListFolder(folder, "", walk);
            if (list.size() == before) {
                list.push_back({input, "",
                                options.recursive
                                    ? "no TIFF, PNG or JPEG files in this folder or below it"
                                    : "no TIFF, PNG or JPEG files in this folder (-r includes "
                                      "sub-folders)"});
            }
        } else {
            list.push_back({input, "", ""});
        }
    }
    return list;
}

// The noise profile of the latest analysis as a table or a JSON object.
std::string NoiseReport(const std::vector<float>& profile, bool highQuality,
                        const std::string& input, const std::string& output, bool json) {
    static const char* const kChannels[] = {"Y", "U", "V"};
    static const char* const kIsotropic[] = {"smooth", "detail"};
    static const char* const kDirectional[] = {"smooth", "x", "y", "xy"};
    const int bands = highQuality ? 4 : 2;
    const char* const* bandNames = highQuality ? kDirectional : kIsotropic;
    constexpr int kLevels = 4;
    const auto entry = [&](int channel, int level, int band) {
        return profile[static_cast<size_t>((channel * kLevels + level) * bands + band)];
    };
    char number[32];
    std::string text;
    if (json) {
        const auto quoted = [](const std::string& s) {
            std::string q = "\"";
            for (const char c : s) {
                if (c == '"' || c == '\\') {
                    q += '\\';
                    q += c;
                } else if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    q += escape;
                } else {
                    q += c;
                }
            }
            return q + "\"";
        };
        text = "{\"input\":" + quoted(input) + ",\"output\":" + quoted(output) +
               ",\"scale\":255,\"bands\":[";
        for (int b = 0; b < bands; ++b) {
            text += (b ? ",\"" : "\"") + std::string(bandNames[b]) + "\"";
        }
        text += "],\"noise\":{";
        for (int c = 0; c < 3; ++c) {
            text += (c ? ",\"" : "\"") + std::string(kChannels[c]) + "\":[";
            for (int l = 0; l < kLevels; ++l) {
                text += l ? ",[" : "[";
                for (int b = 0; b < bands; ++b) {
                    std::snprintf(number, sizeof number, "%s%.9g", b ? "," : "",
                                  static_cast<double>(entry(c, l, b)));
                    text += number;
                }
                text += "]";
            }
            text += "]";
        }
        return text + "}}\n";
    }
    text = "noise measured in " + input +
           " (0..255 scale):\n            level 1  level 2  level 3  level 4\n";
    for (int c = 0; c < 3; ++c) {
        for (int b = 1; b < bands; ++b) {
            // Appended: GCC 12 at -O3 warns falsely about " " + string.
            std::string row = kChannels[c];
            if (highQuality) {
                row += ' ';
                row += bandNames[b];
            }
            std::snprintf(number, sizeof number, "  %-8s", row.c_str());
            text += number;
            for (int l = 0; l < kLevels; ++l) {
                std::snprintf(number, sizeof number, " %8.4f", static_cast<double>(entry(c, l, b)));
                text += number;
            }
            text += "\n";
        }
    }
    return text;
}

class Runner {
  public:
    Runner(const velnr::Options& options, const velnr::Plugin& plugin,
           const velnr::RunSettings& settings, velnr::ProgressDisplay& progress)
        : options_(options), plugin_(plugin), settings_(settings), progress_(progress) {}

    enum class Outcome { Written, Skipped, Failed, Cancelled };

    Outcome Process(const Input& input) {
        velnr::Image image;
        std::string error;
        if (!input.error.empty()) {
            return Fail(input.path, input.error);
        }
        progress_.Step("Reading");
        velnr::FileId id;
        if (velnr::GetFileId(input.path, id) && written_.count(id) != 0) {
            return Skip(input.path + ": written by this run; left out");
        }
        // The output is known from the first bytes: a file already done is not read.
        velnr::FileFormat inputFormat{};
        if (!velnr::detail::SniffFormat(input.path, inputFormat, error)) {
            return Fail(input.path, error);
        }
        std::string output;
        velnr::FileFormat format{};
        if (!PlanOutput(input, inputFormat, output, format, error)) {
            return Fail(input.path, error);
        }
        outputs_.insert(output);
        if (!options_.force && velnr::PathExists(output)) {
            return Skip(output + " already exists; skipped (use --force to replace it)");
        }
        // Read straight into the plug-in's buffer, which the output is then written from.
        if (!velnr::ReadImage(input.path, image, error, true)) {
            return Fail(input.path, error);
        }
        if (!velnr::CheckWriteOptions(format, options_.write, error)) {
            return Fail(input.path, output + ": " + error);
        }
        if (const uint64_t clipped = velnr::CountOutOfRangeSamples(image)) {
            Warn(input.path, std::to_string(clipped) + " sample" + (clipped == 1 ? "" : "s") +
                                 " outside 0..1 (or not a number) clipped to 0..1: the "
                                 "plug-in works on 0..1");
        }

        velnr::SampleVector& rgb = image.samples;
        velnr::TempFile profile;
        std::string profilePath;
        if (options_.interactive && !image.icc.empty()) {
            if (!profile.Create(".icc", error) || !WriteBytes(profile.Path(), image.icc, error)) {
                return Fail(input.path, error);
            }
            profilePath = profile.Path();
        }
        // Only a plug-in that cannot say what its run did needs the pixels it was given.
        velnr::SampleVector before;
        if (options_.interactive && plugin_.getLastRunResult == nullptr) {
            before = rgb;
        }
        if (!options_.interactive) {
            plugin_.setSettings(settings_.run.Path().c_str(), options_.slot);
        }
        progress_.Step("Starting");
        plugin_.openPlugin(
            options_.interactive ? 0 : 1, image.width, image.height, rgb.data(), 0, 0,
            profilePath.empty() ? nullptr : profilePath.c_str(),
            options_.displayProfile.empty() ? nullptr : options_.displayProfile.c_str());
        if (Cancelled()) {
            return Outcome::Cancelled;
        }
        // Plug-ins that cannot say what their run did: an interactive run that gave the
        // pixels back unchanged counts as cancelled in the dialog.
        int32_t result = VEL_RUN_COMPLETED;
        if (plugin_.getLastRunResult != nullptr) {
            result = plugin_.getLastRunResult();
        } else if (options_.interactive &&
                   std::memcmp(before.data(), rgb.data(), rgb.size() * sizeof(float)) == 0) {
            result = VEL_RUN_CANCELLED;
        }
        if (result == VEL_RUN_CANCELLED && options_.interactive) {
            progress_.Clear();
            std::fprintf(stderr, "velnr: %s: cancelled in the plug-in's dialog; skipped\n",
                         input.path.c_str());
            return Outcome::Skipped;
        }
        if (result != VEL_RUN_COMPLETED) {
            return Fail(input.path,
                        options_.interactive
                            ? "the plug-in could not run (no settings dialog can be shown here, "
                              "or not enough memory); nothing written"
                            : "the plug-in could not process it (not enough memory?); nothing "
                              "written");
        }
        before = {};
        const vel::NoiseReductionParams used = UsedSettings();

        progress_.Step("Writing");
        const std::string target = options_.force ? velnr::ReplacementTarget(output) : output;
        // Removed on every way out but the commit.
        vel::BesideTemp temp;
        if (!velnr::CreateTempBeside(target, temp, error)) {
            return Fail(input.path, error);
        }
        if (!velnr::WriteImage(temp.Path(), format, image, options_.write, error)) {
            return Fail(input.path, output + ": " + error);
        }
        std::string warning;
        if (!velnr::CopyMetadata(input.path, image.format, temp.Path(), format, warning)) {
            Warn(output, warning);
        }
        if (Cancelled()) {
            return Outcome::Cancelled;
        }
        bool existed = false;
        const bool committed =
            velnr::CommitOutput(temp.Path(), target, options_.force, error, existed);
        temp.Keep();  // committed, or removed by CommitOutput
        if (existed) {
            return Skip(output +
                        " appeared while it was made; skipped (use --force to replace it)");
        }
        if (!committed) {
            return Fail(input.path, output + ": " + error);
        }
        if (velnr::GetFileId(target, id)) {
            written_.insert(id);
        }
        progress_.Clear();
        if (!options_.quiet && !options_.json) {
            std::printf("%s\n", output.c_str());
        }
        if (options_.printSettings) {
            std::printf("; %s\n%s", input.path.c_str(),
                        velnr::SettingsText(used, options_.slot).c_str());
        }
        if (options_.printNoise) {
            PrintNoise(input.path, output, used.highQuality);
        }
        std::fflush(stdout);
        return Outcome::Written;
    }

  private:
    // What the plug-in worked with: the run's file, or what the user confirmed in the dialog.
    vel::NoiseReductionParams UsedSettings() const {
        if (!options_.interactive) {
            return velnr::ReadSettings(settings_.run.Path(), options_.slot);
        }
        velnr::TempFile file;
        std::string error;
        if (!file.Create(".ini", error)) {
            return velnr::ReadSettings(settings_.run.Path(), options_.slot);
        }
        plugin_.getSettings(file.Path().c_str(), options_.slot);
        return velnr::ReadSettings(file.Path(), options_.slot);
    }

    void PrintNoise(const std::string& input, const std::string& output, bool highQuality) {
        std::vector<float> profile(48, 0.0f);
        if (plugin_.getNoiseProfile(profile.data(), 48) < 48) {
            Warn(input, "the plug-in measured no noise for it");
            return;
        }
        std::fputs(NoiseReport(profile, highQuality, input, output, options_.json).c_str(), stdout);
    }

    bool PlanOutput(const Input& input, velnr::FileFormat inputFormat, std::string& output,
                    velnr::FileFormat& format, std::string& error) {
        if (!options_.output.empty()) {
            output = options_.output;
        } else {
            std::string ext = velnr::FileExtension(input.path);
            velnr::FileFormat named{};
            if (!velnr::FormatFromExtension(input.path, named) || named != inputFormat) {
                ext = UsualExtension(inputFormat);  // keep the format, whatever the name said
            }
            std::string fileName;
            if (!velnr::ExpandPattern(options_.namePattern, input.path, ext, fileName, error)) {
                return false;
            }
            if (!options_.outputDir.empty()) {
                std::string folder = options_.outputDir;
                while (folder.size() > 1 && folder.back() == '/') {
                    folder.pop_back();
                }
                if (!input.folder.empty()) {
                    folder += "/" + input.folder;
                    if (!velnr::MakeDirectories(folder, error)) {
                        return false;
                    }
                }
                output = folder + "/" + fileName;
            } else if (input.path.find('/') == std::string::npos) {
                output = fileName;
            } else {
                output = velnr::DirName(input.path) + "/" + fileName;
            }
        }
        if (!velnr::FormatFromExtension(output, format)) {
            error = "cannot write " + output +
                    ": unknown output format (name it .tif, .tiff, .png, .jpg or .jpeg)";
            return false;
        }
        if (outputs_.count(output) != 0) {
            error = output + " is also the output of an earlier input";
            return false;
        }
        if (velnr::IsDirectory(output)) {
            error = output + " is a folder";
            return false;
        }
        if (!options_.force && velnr::SameFile(input.path, output)) {
            error = "the output " + output + " is the input (use --force to replace it)";
            return false;
        }
        const std::string folder = velnr::DirName(output);
        if (!velnr::IsDirectory(folder)) {
            error = velnr::PathExists(folder) ? folder + " is a file, not a folder"
                                              : "output folder " + folder + " does not exist";
            return false;
        }
        return true;
    }

    static bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                           std::string& error) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const bool ok =
            file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file != nullptr && std::fclose(file) != 0) {
            error = "cannot write the temporary profile file";
            return false;
        }
        if (!ok) {
            error = "cannot write the temporary profile file";
        }
        return ok;
    }

    void Warn(const std::string& path, const std::string& text) {
        progress_.Clear();
        std::fprintf(stderr, "velnr: warning: %s: %s\n", path.c_str(), text.c_str());
    }

    // One line: what was not made, and why.
    Outcome Skip(const std::string& text) {
        progress_.Clear();
        std::fprintf(stderr, "velnr: %s\n", text.c_str());
        return Outcome::Skipped;
    }

    Outcome Fail(const std::string& input, const std::string& reason) {
        progress_.Clear();
        std::fprintf(stderr, "velnr: %s: %s\n", input.c_str(), reason.c_str());
        return Outcome::Failed;
    }

    const velnr::Options& options_;
    const velnr::Plugin& plugin_;
    const velnr::RunSettings& settings_;
    velnr::ProgressDisplay& progress_;
    std::set<std::string> outputs_;
    std::set<velnr::FileId> written_;  // never read back as inputs
};

// Stores what --save-settings and --save-preset ask for. False after a message.
bool SaveChosenSettings(const velnr::Options& options, const velnr::Plugin& plugin,
                        const std::string& userFile, const vel::NoiseReductionParams& values) {
    std::string error;
    if (options.saveSettings &&
        !velnr::SaveSettingsChecked(plugin, userFile, options.slot, values, error)) {
        std::fprintf(stderr, "velnr: %s\n", error.c_str());
        return false;
    }
    if (!options.savePreset.empty() && !velnr::SavePresetAs(options.savePreset, values, error)) {
        std::fprintf(stderr, "velnr: %s\n", error.c_str());
        return false;
    }
    return true;
}

// Whether a dialog can be shown here: a window system, or a platform the toolkit is told to use.
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return true;
        }
    }
    return false;
}

int Run(const velnr::Options& options) {
    if (options.interactive && !HasDisplay()) {
        std::fprintf(stderr,
                     "velnr: --interactive needs a display, and none is set (DISPLAY, "
                     "WAYLAND_DISPLAY); nothing was processed\n");
        return 2;
    }
    velnr::Plugin plugin;
    std::string error;
    const std::string pluginPath =
        options.plugin.empty() ? velnr::DefaultPluginPath() : options.plugin;
    if (!plugin.Load(pluginPath, error)) {
        std::fprintf(stderr, "velnr: %s: %s\n", pluginPath.c_str(), error.c_str());
        return 2;
    }
    if (options.printNoise && plugin.getNoiseProfile == nullptr) {
        std::fprintf(stderr, "velnr: %s: this plug-in cannot report the noise it measured\n",
                     pluginPath.c_str());
        return 2;
    }
    std::optional<vel::Preset> preset;
    if (!options.preset.empty()) {
        vel::Preset chosen;
        if (!velnr::ResolvePreset(options.preset, chosen, error)) {
            std::fprintf(stderr, "velnr: %s\n", error.c_str());
            return 2;
        }
        preset = chosen;
    }
    const std::string userFile =
        options.settingsFile.empty() ? velnr::DefaultSettingsPath() : options.settingsFile;
    if (userFile.empty()) {
        std::fprintf(stderr, "velnr: no settings file: set HOME or use --settings FILE\n");
        return 2;
    }
    if (velnr::IsDirectory(userFile)) {
        std::fprintf(stderr, "velnr: settings file %s: is a folder\n", userFile.c_str());
        return 2;
    }
    if (!options.outputDir.empty() && !velnr::MakeDirectories(options.outputDir, error)) {
        std::fprintf(stderr, "velnr: %s\n", error.c_str());
        return 2;
    }
    const std::vector<Input> inputs = ExpandInputs(options);
    velnr::RunSettings settings;
    if (!velnr::PrepareRunSettings(plugin, userFile, options, preset,
                                   velnr::PresetFilePath(options.preset), settings, error)) {
        std::fprintf(stderr, "velnr: %s\n", error.c_str());
        return 2;
    }
    for (const std::string& warning : settings.warnings) {
        std::fprintf(stderr, "velnr: warning: %s\n", warning.c_str());
    }
    if (!options.interactive && (options.saveSettings || !options.savePreset.empty())) {
        plugin.setSettings(settings.chosen.Path().c_str(), options.slot);
        if (!SaveChosenSettings(options, plugin, userFile,
                                velnr::ReadSettings(settings.chosen.Path(), options.slot))) {
            return 2;
        }
    }
    if (options.interactive) {
        // The dialog starts from these values; what the user confirms carries on to the next
        // image of the batch.
        plugin.setSettings(settings.run.Path().c_str(), options.slot);
    }

    InstallSignalHandlers();
    velnr::ProgressDisplay progress(stderr, ::isatty(STDERR_FILENO) != 0, options.quiet,
                                    static_cast<int>(inputs.size()));
    if (plugin.setHostCallbacks != nullptr) {
        plugin.setHostCallbacks(&velnr::ProgressDisplay::Callback, &progress, &g_cancel);
    }
    Runner runner(options, plugin, settings, progress);
    int failed = 0;
    int skipped = 0;
    int written = 0;
    bool cancelled = false;
    for (size_t i = 0; i < inputs.size() && !cancelled; ++i) {
        progress.BeginFile(static_cast<int>(i), velnr::FileName(inputs[i].path));
        Runner::Outcome outcome = Runner::Outcome::Failed;
        try {
            outcome = runner.Process(inputs[i]);
        } catch (const std::bad_alloc&) {
            progress.Clear();
            std::fprintf(stderr, "velnr: %s: not enough memory for this image\n",
                         inputs[i].path.c_str());
        }
        failed += outcome == Runner::Outcome::Failed ? 1 : 0;
        skipped += outcome == Runner::Outcome::Skipped ? 1 : 0;
        written += outcome == Runner::Outcome::Written ? 1 : 0;
        cancelled = outcome == Runner::Outcome::Cancelled || Cancelled();
        if (cancelled) {
            progress.Clear();
            std::fprintf(stderr, "velnr: %s: cancelled; nothing written for it%s\n",
                         inputs[i].path.c_str(),
                         i + 1 < inputs.size() ? " or the files after it" : "");
        }
    }
    progress.EndBatch();
    if (plugin.setHostCallbacks != nullptr) {
        plugin.setHostCallbacks(nullptr, nullptr, nullptr);
    }
    if (cancelled) {
        return 130;
    }
    // After an interactive batch: what the user confirmed last.
    if (options.interactive && written > 0) {
        velnr::TempFile confirmed;
        if (!confirmed.Create(".ini", error)) {
            std::fprintf(stderr, "velnr: %s\n", error.c_str());
            return 1;
        }
        plugin.getSettings(confirmed.Path().c_str(), options.slot);
        if (!SaveChosenSettings(options, plugin, userFile,
                                velnr::ReadSettings(confirmed.Path(), options.slot))) {
            return 1;
        }
    }
    if (failed > 0 || skipped > 0) {
        std::fprintf(stderr, "velnr: %zu file%s: %d written, %d skipped, %d failed\n",
                     inputs.size(), inputs.size() == 1 ? "" : "s", written, skipped, failed);
    }
    return failed > 0 ? 1 : skipped > 0 ? 3 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    velnr::Options options;
    const int status = velnr::ParseOptions(argc, argv, options);
    if (status >= 0) {
        return status;
    }
    return Run(options);
}
