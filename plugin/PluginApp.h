#pragma once
// The plug-in's start-up: what loading the library does before any export is called.

namespace vel {

// Per-user profile: company key and application (the module's base name).
inline constexpr const char* kProfileCompany = "Korvane";
inline constexpr const char* kProfileApplication = "VELNoiseReduction";

// Names the per-user profile, prepares the engine's constants and gives the current
// settings their initial values. Called once by the library's application object; true on
// success.
bool InitPluginInstance();

}  // namespace vel
