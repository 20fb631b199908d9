// Opening a web address through the shell, with the ".htm" association's command as fallback.

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/WebLink.h"
#include "platform/win32/Win32Handles.h"

#include <shellapi.h>

namespace vel::platform {

namespace {

// The longest registry value the fallback accepts, in bytes with the terminator.
constexpr DWORD kMaxValueBytes = 260;

// The default value of a key under the classes root; none when the key cannot be opened for
// querying, the value is no string, or it is longer than kMaxValueBytes.
std::optional<std::string> ReadClassesValue(const std::string& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    char buffer[kMaxValueBytes];
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG status =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // A stored string need not carry its terminator; never read past what was returned.
    std::string value(buffer, size);
    const size_t end = value.find('\0');
    if (end != std::string::npos) {
        value.resize(end);
    }
    return value;
}

}  // namespace

int32_t OpenWebAddress(const std::string& address, int32_t showMode) {
    const INT_PTR shell = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, showMode));
    // A success above 32 (kept, within 32 bits) or a small error code.
    const int32_t shellResult = static_cast<int32_t>(std::min<INT_PTR>(shell, INT32_MAX));
    if (shellResult > 32) {
        return shellResult;
    }
    const std::optional<std::string> htmlClass = ReadClassesValue(".htm");
    if (!htmlClass) {
        return shellResult;
    }
    const std::optional<std::string> command =
        ReadClassesValue(*htmlClass + "\\shell\\open\\command");
    if (!command) {
        return shellResult;
    }
    const std::string line = BuildAssociationCommand(*command, address);
    return static_cast<int32_t>(WinExec(line.c_str(), static_cast<UINT>(showMode)));
}

}  // namespace vel::platform
