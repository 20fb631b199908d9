#pragma once
// The procedure's settings arguments, made from the parameter table: their names, what they
// accept and the settings record they give.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "settings/NoiseReductionParams.h"
#include "settings/ParamTable.h"

namespace velnr::gimp {

// "lumaThreshold" -> "luma-threshold".
std::string ArgumentName(const vel::ParamInfo& param);
// The argument's help text: the tooltip with its range and unit.
std::string ArgumentHelp(const vel::ParamInfo& param);

// The settings for one value per table entry, in the table's order; empty with a message
// naming the first value outside the settings dialog's range.
std::optional<vel::NoiseReductionParams> SettingsFromArguments(std::span<const int32_t> values,
                                                               std::string& error);

}  // namespace velnr::gimp
