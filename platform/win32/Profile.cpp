// Per-user profile values in the registry: HKEY_CURRENT_USER\Software\<company>\<application>,
// one subkey per section, one string value per entry. Only read.

#include <string>
#include <vector>

#include "platform/Profile.h"
#include "platform/win32/Win32Handles.h"  // first: it undoes windows.h's GetProfileString

namespace vel::platform {
namespace {

// Closes the key when it goes.
class Key {
  public:
    Key() = default;
    ~Key() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    bool Open(const std::string& path) {
        return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key_) ==
               ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace

std::string ProfileFilePath() {
    return {};
}

std::string GetProfileString(std::string_view section, std::string_view entry,
                             std::string_view defaultValue) {
    const ProfileLocation& location = CurrentProfileLocation();
    if (location.company.empty() || location.application.empty() || section.empty()) {
        return std::string(defaultValue);
    }
    std::string path = "Software\\";
    path.append(location.company).append("\\").append(location.application).append("\\");
    path.append(section);
    Key key;
    if (!key.Open(path)) {
        return std::string(defaultValue);
    }
    const std::string name(entry);
    // The value may grow between asking for its size and reading it: ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::string(defaultValue);
        }
        std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
        DWORD read = size;
        const LONG status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &read);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::string(defaultValue);
        }
        // A stored string need not end with its terminator; stop at the first one there is.
        std::string value(buffer.data(), read);
        const size_t end = value.find('\0');
        if (end != std::string::npos) {
            value.resize(end);
        }
        return value;
    }
    return std::string(defaultValue);
}

}  // namespace vel::platform
