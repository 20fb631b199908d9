// velnr: denoises image files with the VEL Noise Reduction plug-in, which it loads at run
// time and drives only through the plug-in's exported C interface.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/HostSettings.h"
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

class Runner {
  public:
    Runner(const velnr::Options& options, const velnr::Plugin& plugin,
           const velnr::RunSettings& settings, velnr::ProgressDisplay& progress)
        : options_(options), plugin_(plugin), settings_(settings), progress_(progress) {}

    enum class Outcome { Written, Skipped, Failed, Cancelled };

    Outcome Process(const std::string& input) {
        velnr::Image image;
        std::string error;
        progress_.Step("Reading");
        if (!velnr::ReadImage(input, image, error)) {
            return Fail(input, error);
        }
        std::string output;
        velnr::FileFormat format{};
        if (!PlanOutput(input, image, output, format, error)) {
            return Fail(input, error);
        }
        outputs_.insert(output);

        std::vector<float> rgb = velnr::ToHostRgb(image);
        velnr::TempFile profile;
        std::string profilePath;
        if (options_.interactive && !image.icc.empty()) {
            if (!profile.Create(".icc", error) || !WriteBytes(profile.Path(), image.icc, error)) {
                return Fail(input, error);
            }
            profilePath = profile.Path();
        }
        std::vector<float> before;
        if (options_.interactive) {
            before = rgb;
        } else {
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
        if (options_.interactive &&
            std::memcmp(before.data(), rgb.data(), rgb.size() * sizeof(float)) == 0) {
            progress_.Clear();
            std::fprintf(stderr,
                         "velnr: %s: unchanged (cancelled in the plug-in?); nothing written\n",
                         input.c_str());
            return Outcome::Skipped;
        }
        velnr::FromHostRgb(rgb, image);
        rgb = {};

        progress_.Step("Writing");
        std::string temp;
        if (!velnr::CreateTempBeside(output, temp, error)) {
            return Fail(input, error);
        }
        velnr::WriteOptions writeOptions;
        writeOptions.jpegQuality = options_.jpegQuality;
        if (!velnr::WriteImage(temp, format, image, writeOptions, error)) {
            ::unlink(temp.c_str());
            return Fail(input, output + ": " + error);
        }
        std::string warning;
        if (!velnr::CopyMetadata(input, temp, warning)) {
            progress_.Clear();
            std::fprintf(stderr, "velnr: warning: %s: %s\n", output.c_str(), warning.c_str());
        }
        if (Cancelled()) {
            ::unlink(temp.c_str());
            return Outcome::Cancelled;
        }
        if (!velnr::CommitOutput(temp, output, options_.force, error)) {
            return Fail(input, output + ": " + error);
        }
        if (!options_.quiet) {
            progress_.Clear();
            std::printf("%s\n", output.c_str());
            std::fflush(stdout);
        }
        return Outcome::Written;
    }

  private:
    bool PlanOutput(const std::string& input, const velnr::Image& image, std::string& output,
                    velnr::FileFormat& format, std::string& error) {
        if (!options_.output.empty()) {
            output = options_.output;
        } else {
            std::string ext = velnr::FileExtension(input);
            velnr::FileFormat named{};
            if (!velnr::FormatFromExtension(input, named) || named != image.format) {
                ext = UsualExtension(image.format);  // keep the format, whatever the name said
            }
            std::string fileName;
            if (!velnr::ExpandPattern(options_.namePattern, input, ext, fileName, error)) {
                return false;
            }
            if (!options_.outputDir.empty()) {
                output = options_.outputDir + "/" + fileName;
            } else if (input.find('/') == std::string::npos) {
                output = fileName;
            } else {
                output = velnr::DirName(input) + "/" + fileName;
            }
        }
        if (!velnr::FormatFromExtension(output, format)) {
            error = "cannot tell the output format from " + output +
                    " (use .tif, .tiff, .png, .jpg or .jpeg)";
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
        if (!options_.force && velnr::SameFile(input, output)) {
            error = "the output " + output + " is the input (use --force to replace it)";
            return false;
        }
        if (!options_.force && velnr::PathExists(output)) {
            error = output + " already exists (use --force to overwrite)";
            return false;
        }
        if (!velnr::IsDirectory(velnr::DirName(output))) {
            error = "output folder " + velnr::DirName(output) + " does not exist";
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
};

int Run(const velnr::Options& options) {
    velnr::Plugin plugin;
    std::string error;
    const std::string pluginPath =
        options.plugin.empty() ? velnr::DefaultPluginPath() : options.plugin;
    if (!plugin.Load(pluginPath, error)) {
        std::fprintf(stderr, "velnr: %s: %s\n", pluginPath.c_str(), error.c_str());
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
    velnr::RunSettings settings;
    if (!velnr::PrepareRunSettings(plugin, userFile, options, preset, settings, error)) {
        std::fprintf(stderr, "velnr: %s\n", error.c_str());
        return 2;
    }
    if (options.saveSettings && !options.interactive) {
        plugin.setSettings(settings.chosen.Path().c_str(), options.slot);
        plugin.getSettings(userFile.c_str(), options.slot);
    }
    if (options.interactive) {
        // The dialog starts from these values; what the user confirms carries on to the next
        // image of the batch.
        plugin.setSettings(settings.run.Path().c_str(), options.slot);
    }

    InstallSignalHandlers();
    velnr::ProgressDisplay progress(stderr, ::isatty(STDERR_FILENO) != 0, options.quiet,
                                    static_cast<int>(options.inputs.size()));
    if (plugin.setHostCallbacks != nullptr) {
        plugin.setHostCallbacks(&velnr::ProgressDisplay::Callback, &progress, &g_cancel);
    }
    Runner runner(options, plugin, settings, progress);
    int failed = 0;
    bool cancelled = false;
    for (size_t i = 0; i < options.inputs.size() && !cancelled; ++i) {
        progress.BeginFile(static_cast<int>(i), velnr::FileName(options.inputs[i]));
        Runner::Outcome outcome = Runner::Outcome::Failed;
        try {
            outcome = runner.Process(options.inputs[i]);
        } catch (const std::bad_alloc&) {
            progress.Clear();
            std::fprintf(stderr, "velnr: %s: not enough memory for this image\n",
                         options.inputs[i].c_str());
        }
        failed += outcome == Runner::Outcome::Failed ? 1 : 0;
        cancelled = outcome == Runner::Outcome::Cancelled || Cancelled();
        if (cancelled) {
            progress.Clear();
            std::fprintf(stderr, "velnr: %s: cancelled; nothing written for it%s\n",
                         options.inputs[i].c_str(),
                         i + 1 < options.inputs.size() ? " or the files after it" : "");
        }
    }
    progress.EndBatch();
    if (plugin.setHostCallbacks != nullptr) {
        plugin.setHostCallbacks(nullptr, nullptr, nullptr);
    }
    if (options.saveSettings && options.interactive && !cancelled) {
        plugin.getSettings(userFile.c_str(), options.slot);
    }
    if (cancelled) {
        return 130;
    }
    if (failed > 0) {
        std::fprintf(stderr, "velnr: %d of %zu files failed\n", failed, options.inputs.size());
        return 1;
    }
    return 0;
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
