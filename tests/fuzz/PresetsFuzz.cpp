// Preset files: read any file into the preset list, save a preset into it, read it again.
// Reading never fails loudly; the saved preset reads back with its values, and the built-in
// presets are only ever overwritten by name, never lost.
//
// Input: the file's bytes; the last 8 bytes, when there are that many, choose the saved
// preset's values.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/SettingsStore.h"
#include "settings/Presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string path = velfuzz::ScratchPath("user.pst");
    velfuzz::WriteFile(path, input);

    std::vector<vel::Preset> list = vel::BuiltInPresets();
    const std::size_t builtIn = list.size();
    const int read = vel::LoadUserPresets(path.c_str(), list);
    velfuzz::FailIf(
        read < 0 || list.size() < builtIn || list.size() > builtIn + static_cast<std::size_t>(read),
        "the preset list does not match the sections read");

    vel::NoiseReductionParams values;
    if (size >= 8) {
        const auto byte = [&](std::size_t i) { return static_cast<int8_t>(data[size - 8 + i]); };
        values.lumaThreshold = byte(0);
        values.chromaThreshold = byte(1) * 1000000;
        values.lumaSuppression = byte(2);
        values.chromaSuppression = byte(3) < 0 ? INT32_MIN : INT32_MAX;
        values.lightCorrection = byte(4);
        values.darkCorrection = byte(5);
        values.highQuality = (byte(6) & 1) != 0;
        values.reanalyzeWhole = (byte(7) & 1) != 0;
    }
    const std::string name = "Fuzzed " + std::to_string(size);
    velfuzz::FailIf(!vel::SaveUserPreset(path.c_str(), name, values),
                    "a preset could not be saved into a readable file");
    vel::SettingsStore store;
    velfuzz::FailIf(!store.Load(path.c_str()), "the saved preset file did not load");
    const std::string section = vel::PresetSection(0);
    velfuzz::FailIf(
        store.GetString(section, "Preset Name", "") != name ||
            store.GetInt(section, "Luma Threshold", 0) != values.lumaThreshold ||
            store.GetInt(section, "Chroma Threshold", 0) != values.chromaThreshold ||
            store.GetInt(section, "Chroma Suppression", 0) != values.chromaSuppression ||
            store.GetInt(section, "Dark Correction", 0) != values.darkCorrection ||
            store.GetBool(section, "High Quality", !values.highQuality) != values.highQuality,
        "the saved preset does not read back");
    std::vector<vel::Preset> again;
    velfuzz::FailIf(vel::LoadUserPresets(path.c_str(), again) < 1 || again.empty(),
                    "the saved preset is not found by the preset reader");
    return 0;
}
