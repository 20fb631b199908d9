// velnr-gimp: the filter inside GIMP 2.10. It registers one procedure and runs it through the
// plug-in library's exports, loaded at run time as any host loads them.

#include <libgimp/gimp.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "gimp/Library.h"
#include "gimp/Parameters.h"
#include "gimp/Pixels.h"
#include "settings/SettingsFile.h"

namespace {

using velnr::gimp::Rect;

constexpr const char* kProcedure = "plug-in-vel-noise-reduction";
constexpr const char* kTitle = "VEL Noise Reduction";
constexpr int kImageArguments = 3;  // run-mode, image, drawable
// Pixels around a selection handed over with it: more than the filter's reach (its wavelet
// levels and the tiles' overlap), so that the selected area shows no seam of its own edge.
constexpr int32_t kSelectionMargin = 64;
constexpr int32_t kSlot = 0;

// The values of the last run, in GIMP's own folder: gimp_set_data would not outlive GIMP.
std::string SettingsPath() {
    gchar* path = g_build_filename(gimp_directory(), "velnr-gimp.ini", nullptr);
    std::string result(path);
    g_free(path);
    return result;
}

// A file in GIMP's temporary folder, removed when the object goes.
class TempFile {
  public:
    explicit TempFile(const char* extension) {
        gchar* name = gimp_temp_name(extension);
        path_ = name;
        g_free(name);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { ::unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Writes a profile's ICC bytes to file; false when there is none or it cannot be written.
bool WriteProfile(GimpColorProfile* profile, const TempFile& file) {
    if (profile == nullptr) {
        return false;
    }
    gsize length = 0;
    const guint8* data = gimp_color_profile_get_icc_profile(profile, &length);
    const bool written =
        data != nullptr &&
        g_file_set_contents(file.Path().c_str(), reinterpret_cast<const char*>(data),
                            static_cast<gssize>(length), nullptr);
    g_object_unref(profile);
    return written;
}

bool IsLinear(GimpPrecision precision) {
    switch (precision) {
        case GIMP_PRECISION_U8_LINEAR:
        case GIMP_PRECISION_U16_LINEAR:
        case GIMP_PRECISION_U32_LINEAR:
        case GIMP_PRECISION_HALF_LINEAR:
        case GIMP_PRECISION_FLOAT_LINEAR:
        case GIMP_PRECISION_DOUBLE_LINEAR:
            return true;
        default:
            return false;
    }
}

// The profile of the values the filter gets: the image's own, with the sRGB tone curve when
// the image is linear (the pixels are handed over perceptual).
bool WriteImageProfile(int32_t image, const TempFile& file) {
    GimpColorProfile* profile = gimp_image_get_effective_color_profile(image);
    if (profile != nullptr && IsLinear(gimp_image_get_precision(image))) {
        GimpColorProfile* perceptual = gimp_color_profile_new_srgb_trc_from_color_profile(profile);
        g_object_unref(profile);
        profile = perceptual;
    }
    return WriteProfile(profile, file);
}

// The monitor profile file of GIMP's colour configuration; empty when none is set. (Read as
// the property: gimpcolorconfig.h declares its functions without C linkage for C++.)
std::string DisplayProfilePath() {
    GimpColorConfig* config = gimp_get_color_configuration();
    if (config == nullptr) {
        return {};
    }
    gchar* setting = nullptr;
    g_object_get(config, "display-profile", &setting, nullptr);
    g_object_unref(config);
    std::string path;
    if (setting != nullptr && *setting != '\0') {
        if (gchar* expanded = gimp_config_path_expand(setting, TRUE, nullptr)) {
            path = expanded;
            g_free(expanded);
        }
    }
    g_free(setting);
    return g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) ? path : std::string();
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// GIMP's progress bar follows the run's; a new status text replaces the bar's text.
struct Progress {
    std::string status;

    static void Callback(void* context, const char* status, float percent) {
        auto* self = static_cast<Progress*>(context);
        if (status != nullptr && self->status != status) {
            self->status = status;
            gimp_progress_set_text(status);
        }
        gimp_progress_update(static_cast<double>(percent) / 100.0);
    }
};

struct Outcome {
    GimpPDBStatusType status = GIMP_PDB_SUCCESS;
    std::string error;
};

Outcome Fail(GimpPDBStatusType status, std::string error) {
    return {status, std::string(kTitle) + ": " + error};
}

Outcome Filter(gint nparams, const GimpParam* param) {
    const auto mode = static_cast<GimpRunMode>(param[0].data.d_int32);
    const int32_t image = param[1].data.d_image;
    const int32_t drawable = param[2].data.d_drawable;

    std::string error;
    vel::NoiseReductionParams given;
    if (mode == GIMP_RUN_NONINTERACTIVE) {
        std::vector<int32_t> values;
        for (gint i = kImageArguments; i < nparams; ++i) {
            values.push_back(param[i].data.d_int32);
        }
        const auto settings = velnr::gimp::SettingsFromArguments(values, error);
        if (!settings) {
            return Fail(GIMP_PDB_CALLING_ERROR, error);
        }
        given = *settings;
    }

    velnr::Plugin plugin;
    if (!velnr::gimp::LoadLibrary(plugin, error)) {
        return Fail(GIMP_PDB_EXECUTION_ERROR, error);
    }
    // The library reads settings only from a settings file.
    const std::string settingsPath = SettingsPath();
    if (mode == GIMP_RUN_NONINTERACTIVE) {
        TempFile values(".ini");
        if (!vel::StoreSettings(values.Path().c_str(), kSlot, given)) {
            return Fail(GIMP_PDB_EXECUTION_ERROR, "cannot write " + values.Path());
        }
        plugin.setSettings(values.Path().c_str(), kSlot);
    } else if (g_file_test(settingsPath.c_str(), G_FILE_TEST_EXISTS)) {
        plugin.setSettings(settingsPath.c_str(), kSlot);
    }

    Rect area;
    if (!gimp_drawable_mask_intersect(drawable, &area.x, &area.y, &area.width, &area.height)) {
        return {};  // the selection leaves out the whole drawable
    }
    velnr::gimp::DrawablePixels pixels(drawable, area, kSelectionMargin);
    const Rect crop = pixels.Crop();

    bool interactive = mode == GIMP_RUN_INTERACTIVE;
    if (interactive && !HasDisplay()) {
        gimp_message(
            "VEL Noise Reduction: no display for the settings dialog; ran with the last "
            "values");
        interactive = false;
    }
    const TempFile imageProfile(".icc");
    const bool haveImageProfile = interactive && WriteImageProfile(image, imageProfile);
    const std::string displayProfile = interactive ? DisplayProfilePath() : std::string();

    Progress progress;
    gimp_progress_init("VEL Noise Reduction...");
    if (plugin.setHostCallbacks != nullptr) {
        plugin.setHostCallbacks(&Progress::Callback, &progress, nullptr);
    }
    const std::vector<float> before =
        interactive && plugin.getLastRunResult == nullptr ? pixels.Rgb() : std::vector<float>();
    const auto run = [&](bool silent) {
        plugin.openPlugin(silent ? 1 : 0, crop.width, crop.height, pixels.Rgb().data(), 0, 0,
                          haveImageProfile ? imageProfile.Path().c_str() : nullptr,
                          displayProfile.empty() ? nullptr : displayProfile.c_str());
        return plugin.getLastRunResult != nullptr ? plugin.getLastRunResult()
                                                  : int32_t{VEL_RUN_COMPLETED};
    };
    int32_t result = run(!interactive);
    if (interactive && result == VEL_RUN_NOT_POSSIBLE) {
        gimp_message(
            "VEL Noise Reduction: the settings dialog cannot be shown here; ran with "
            "the last values");
        result = run(true);
    } else if (interactive && plugin.getLastRunResult == nullptr && pixels.Rgb() == before) {
        result = VEL_RUN_CANCELLED;  // a library that cannot say: an untouched image was not run
    }
    if (plugin.setHostCallbacks != nullptr) {
        plugin.setHostCallbacks(nullptr, nullptr, nullptr);
    }
    gimp_progress_end();

    if (result == VEL_RUN_CANCELLED) {
        return {GIMP_PDB_CANCEL, {}};
    }
    if (result != VEL_RUN_COMPLETED) {
        return Fail(GIMP_PDB_EXECUTION_ERROR,
                    "the filter could not run on this image (not enough memory?); the image is "
                    "unchanged");
    }
    if (const uint64_t clamped = pixels.OutOfRangeSamples(); clamped > 0) {
        gimp_message(("VEL Noise Reduction: " + std::to_string(clamped) +
                      " colour samples outside 0..1 (or not a number) were clipped to 0..1")
                         .c_str());
    }
    pixels.Write();
    if (mode == GIMP_RUN_INTERACTIVE) {
        gimp_displays_flush();
    }
    plugin.getSettings(settingsPath.c_str(), kSlot);
    return {};
}

void Query() {
    // GimpParamDef takes non-const strings; these outlive the call.
    static std::vector<std::string> texts;
    std::vector<GimpParamDef> args = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1), "
                            "RUN-WITH-LAST-VALS (2) }")},
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Input image")},
        {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"), const_cast<gchar*>("Input drawable")},
    };
    texts.reserve(2 * vel::kParamTable.size());
    for (const vel::ParamInfo& info : vel::kParamTable) {
        texts.push_back(velnr::gimp::ArgumentName(info));
        gchar* name = texts.back().data();
        texts.push_back(velnr::gimp::ArgumentHelp(info));
        args.push_back({GIMP_PDB_INT32, name, texts.back().data()});
    }
    gimp_install_procedure(
        kProcedure, "Reduces luminance and chrominance noise of a photograph",
        "Wavelet noise reduction of developed photographs. Non-interactive calls give every "
        "setting; values outside their ranges are refused.",
        "VEL Noise Reduction developers", "VEL Noise Reduction developers", "2025",
        "VEL Noise Reduction...", "RGB*, GRAY*", GIMP_PLUGIN, static_cast<gint>(args.size()), 0,
        args.data(), nullptr);
    gimp_plugin_menu_register(kProcedure, "<Image>/Filters/Enhance");
}

void Run(const gchar* name, gint nparams, const GimpParam* param, gint* nreturn,
         GimpParam** returned) {
    static GimpParam values[2];
    static std::string message;
    Outcome outcome;
    const gint expected = kImageArguments + static_cast<gint>(vel::kParamTable.size());
    if (std::strcmp(name, kProcedure) != 0 || nparams < kImageArguments ||
        (param[0].data.d_int32 == GIMP_RUN_NONINTERACTIVE && nparams != expected)) {
        outcome =
            Fail(GIMP_PDB_CALLING_ERROR, "expects " + std::to_string(expected) + " arguments");
    } else {
        gegl_init(nullptr, nullptr);
        try {
            outcome = Filter(nparams, param);
        } catch (const std::bad_alloc&) {
            outcome = Fail(GIMP_PDB_EXECUTION_ERROR,
                           "not enough memory for this image; the image is unchanged");
        }
    }
    message = outcome.error;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = outcome.status;
    *nreturn = 1;
    if (!message.empty()) {
        // GIMP shows a second, string value as the error message.
        values[1].type = GIMP_PDB_STRING;
        values[1].data.d_string = message.data();
        *nreturn = 2;
    }
    *returned = values;
}

const GimpPlugInInfo kPlugInInfo = {nullptr, nullptr, Query, Run};

}  // namespace

int main(int argc, char* argv[]) {
    return gimp_main(&kPlugInInfo, argc, argv);
}
