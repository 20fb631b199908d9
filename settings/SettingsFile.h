#pragma once
// Moving a settings record to and from the host's settings file: one section per plug-in
// slot, named "VEL Noise Reduction <slot>", one key per entry of the parameter table.

#include <cstdint>
#include <string>

#include "settings/NoiseReductionParams.h"

namespace vel {

// "VEL Noise Reduction <slot>".
std::string SettingsSection(int32_t slot);

// Writes the nine stored settings of params into the slot's section of the file, keeping
// every other byte of it; creates the file when it does not exist. Leaves the file alone and
// gives false when it exists but cannot be read whole (no access, read error, out of
// memory), so a partial copy never replaces it; also false when the file cannot be written.
// The exported GetSettings.
bool StoreSettings(const char* path, int32_t slot, const NoiseReductionParams& params);

// Reads the nine stored settings of the slot's section into params, field by field; a key
// the file lacks, or a file that does not exist, gives the key's default-when-missing. A file
// that exists but cannot be read whole leaves params untouched and gives false: defaults in
// its place would be written over the user's values by the next StoreSettings. The exported
// SetSettings.
bool LoadSettings(const char* path, int32_t slot, NoiseReductionParams& params);

}  // namespace vel
