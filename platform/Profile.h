#pragma once
// Per-user profile values of the plug-in, named by a company and an application:
//   Win32: registry, HKEY_CURRENT_USER\Software\<company>\<application>, section = subkey,
//          entry = value name;
//   POSIX: $XDG_CONFIG_HOME/<company>/<application>.ini (default ~/.config), in the settings
//          text format ("[section]", "entry=value").
// Read only: nothing in the plug-in writes the profile.

#include <string>
#include <string_view>

namespace vel::platform {

// Names the profile; done once by the plug-in's start-up. Until then there is no profile.
void SetProfileLocation(std::string_view company, std::string_view application);

struct ProfileLocation {
    std::string company;
    std::string application;
};
// The names last set; both empty before SetProfileLocation.
const ProfileLocation& CurrentProfileLocation();

// POSIX: the profile file's path, or empty when no location is set or no home folder is
// known. Win32: empty (the profile is in the registry).
std::string ProfileFilePath();

// The entry's value, or defaultValue when there is no profile, section or entry.
std::string GetProfileString(std::string_view section, std::string_view entry,
                             std::string_view defaultValue);

}  // namespace vel::platform
