#pragma once
// Where velnr-gimp finds the plug-in library, and loading it (through velnr's loader: the
// same checks of the exports).

#include <string>

#include "host/PluginLoader.h"

namespace velnr::gimp {

// $VELNR_PLUGIN when set (nothing else is tried then), else libVELNoiseReduction.so beside
// the executable, else in the installed location (VELNR_INSTALLED_LIBRARY_DIR). Gives false
// and a message naming every place looked at when the library is missing or unusable.
bool LoadLibrary(Plugin& plugin, std::string& error);

}  // namespace velnr::gimp
