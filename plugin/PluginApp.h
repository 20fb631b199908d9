#pragma once
// The plug-in's start-up: what loading the library does before any export is called.

namespace vel {

// Per-user profile: company key and application (the module's base name).
inline constexpr const char* kProfileCompany = "Korvane";
inline constexpr const char* kProfileApplication = "VELNoiseReduction";

// Names the per-user profile (the instance's settings start at their initial values by
// themselves). Called once by the library's application object; true on success.
bool InitPluginInstance();

}  // namespace vel
