#pragma once
// Presets: named sets of the six decibel settings. Three are built in; user presets live in
// preset files (*.pst), settings text files with one section per preset, numbered
// "VEL Noise Reduction Preset <n>" from 0 without gaps.

#include <cstdint>
#include <string>
#include <vector>

#include "settings/NoiseReductionParams.h"

namespace vel {

// A preset field holding this leaves the setting alone when the preset is applied; a preset
// file gives it for a missing key. The bit pattern 0x96C5A7CF.
inline constexpr int32_t kPresetNotSet = -1765431345;
static_assert(static_cast<uint32_t>(kPresetNotSet) == 0x96C5A7CFu);

struct Preset {
    std::string name;
    int32_t lumaThreshold = kPresetNotSet;
    int32_t chromaThreshold = kPresetNotSet;
    int32_t lumaSuppression = kPresetNotSet;
    int32_t chromaSuppression = kPresetNotSet;
    int32_t lightCorrection = kPresetNotSet;
    int32_t darkCorrection = kPresetNotSet;
    // Read from files, never applied.
    int32_t highQuality = kPresetNotSet;
    int32_t reanalyzeWhole = kPresetNotSet;
};

// "Remove noise - gentle", "Remove noise - strong", "Remove chroma noise", in this order.
std::vector<Preset> BuiltInPresets();

// "VEL Noise Reduction Preset <n>".
std::string PresetSection(int32_t n);

// Reads presets 0, 1, ... of the file until the first section without "Luma Threshold" and
// merges them into list: a preset whose name equals an entry's name exactly overwrites that
// entry, any other is appended. A file that cannot be read adds nothing. Gives the number of
// preset sections read.
int LoadUserPresets(const char* path, std::vector<Preset>& list);

// Writes values as preset 0 of the file, named name, keeping the file's other content.
// The six decibel values, high quality and re-analyze are taken from values. Gives false
// when the file could not be read whole or written.
bool SaveUserPreset(const char* path, const std::string& name, const NoiseReductionParams& values);

// Copies every set decibel field of preset into params; high quality and re-analyze stay.
void ApplyPreset(const Preset& preset, NoiseReductionParams& params);

}  // namespace vel
