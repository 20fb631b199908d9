#pragma once
// Opening a web address in the user's browser, with a fallback through the system's default
// HTML handler, and the texts that explain a failure. win32/ and posix/ implement the opening;
// the command building and the texts are the same everywhere.

#include <cstdint>
#include <string>
#include <vector>

namespace vel::platform {

// Show mode "normal" for the window of the opened program.
inline constexpr int32_t kShowNormal = 1;

// Opens address; a result of 33 or more is success, 32 and less are the failure codes that
// WebLinkErrorText explains. Windows: the shell's "open" verb, then the ".htm" association's
// command. POSIX: xdg-open, then the default text/html application's command line.
int32_t OpenWebAddress(const std::string& address, int32_t showMode);

inline bool WebAddressOpened(int32_t result) {
    return result >= 33;
}

// The ".htm" association's command for address: cut where "\"%1\"" begins (or, without it,
// where "%1" begins), then append a blank and the address.
std::string BuildAssociationCommand(const std::string& command, const std::string& address);

// The argument list of a desktop entry's Exec line for address: quoted arguments unquoted,
// %u %U %f %F replaced by the address, %i %c %k dropped, "%%" kept as "%"; without any
// address code the address is appended. Empty when the line has no program or bad quoting.
std::vector<std::string> BuildDesktopCommand(const std::string& execLine,
                                             const std::string& address);

// The explanation of a failure code, e.g. 2: "The specified file was not found.".
std::string WebLinkErrorText(int32_t code);
// The whole message the user sees: "Unable to open hyperlink:\n\n" and the explanation.
std::string WebLinkFailureMessage(int32_t code);

}  // namespace vel::platform
