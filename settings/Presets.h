#pragma once
// Presets: named sets of the six decibel settings. Three are built in; user presets live in
// preset files (*.pst), settings text files with one section per preset, numbered
// "VEL Noise Reduction Preset <n>" from 0 without gaps.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/NoiseReductionParams.h"
#include "settings/ParamTable.h"

namespace vel {

class SettingsStore;

// A preset field holding this leaves the setting alone when the preset is applied; a preset
// file gives it for a missing key. The bit pattern 0x96C5A7CF.
inline constexpr int32_t kPresetNotSet = -1765431345;
static_assert(static_cast<uint32_t>(kPresetNotSet) == 0x96C5A7CFu);

// The key of a preset's name in its section.
inline constexpr const char* kPresetNameKey = "Preset Name";

struct Preset {
    std::string name;
    // One value per entry of kParamTable, in its order. Only the decibel settings are ever
    // applied; "High Quality" and "Reanalyze Whole" are read from files and kept; entries
    // without a preset position stay kPresetNotSet.
    std::array<int32_t, kParamTable.size()> values = AllNotSet();

    int32_t& operator[](const ParamInfo& param) { return values[IndexOf(param)]; }
    int32_t operator[](const ParamInfo& param) const { return values[IndexOf(param)]; }
    // What applying the preset sets param to; kPresetNotSet where it leaves param alone.
    int32_t Applied(const ParamInfo& param) const {
        return param.kind == ParamKind::Decibel ? (*this)[param] : kPresetNotSet;
    }

  private:
    static constexpr std::array<int32_t, kParamTable.size()> AllNotSet() {
        std::array<int32_t, kParamTable.size()> all{};
        all.fill(kPresetNotSet);
        return all;
    }
};

// "Remove noise - gentle", "Remove noise - strong", "Remove chroma noise", in this order.
std::vector<Preset> BuiltInPresets();

// "VEL Noise Reduction Preset <n>".
std::string PresetSection(int32_t n);

// Whether section n of store holds a preset: it has a "Luma Threshold" key.
bool HasPreset(const SettingsStore& store, int32_t n);

// Writes name and every preset key of values into preset section n, in the preset file's
// key order; a new section lists "Preset Name" first.
void WritePreset(SettingsStore& store, int32_t n, const std::string& name,
                 const NoiseReductionParams& values);

// Reads presets 0, 1, ... of the file until the first section without "Luma Threshold" and
// merges them into list: a preset whose name equals an entry's name exactly overwrites that
// entry, any other is appended. A file that cannot be read adds nothing. Gives the number of
// preset sections read.
int LoadUserPresets(const char* path, std::vector<Preset>& list);

// Writes values as preset 0 of the file, named name, keeping the file's other content.
// The six decibel values, high quality and re-analyze are taken from values. Gives false
// when the file could not be read whole or written, with why in reason when one is given.
bool SaveUserPreset(const char* path, const std::string& name, const NoiseReductionParams& values,
                    std::string* reason = nullptr);

// Copies every set decibel field of preset into params; high quality and re-analyze stay.
void ApplyPreset(const Preset& preset, NoiseReductionParams& params);

}  // namespace vel
