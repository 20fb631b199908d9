// The Qt backend's display detection: which platform plug-in can start, before Qt is asked.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

namespace {

bool XDisplayUsable() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        return false;
    }
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display, &screen);
    const bool ok = connection && xcb_connection_has_error(connection) == 0;
    if (connection) {
        xcb_disconnect(connection);
    }
    return ok;
}

bool WaylandUsable() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!name || !*name) {
        return false;
    }
    std::string path = name[0] == '/'
                           ? std::string(name)
                           : (runtime ? std::string(runtime) + "/" + name : std::string());
    if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), addr.sun_path);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

bool PluginExists(const char* prefix) {
    std::error_code ec;
    const std::filesystem::path dir =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Qt ends the process when its platform cannot start, so the platform is checked first.
// Returns the platform to ask for, or empty when none is usable.
std::string UsablePlatform(std::string& reason) {
    const char* requested = std::getenv("QT_QPA_PLATFORM");
    if (requested && *requested) {
        std::string name(requested);
        name = name.substr(0, name.find_first_of(";:"));
        if (name == "offscreen" || name == "minimal") {
            return name;
        }
        if (name == "xcb") {
            if (XDisplayUsable()) {
                return name;
            }
            reason = "the X display named by DISPLAY cannot be opened";
            return {};
        }
        if (name.rfind("wayland", 0) == 0) {
            if (WaylandUsable() && PluginExists("libqwayland")) {
                return name;
            }
            reason = "the Wayland display cannot be reached";
            return {};
        }
        reason = "the window platform \"" + name + "\" is not supported here";
        return {};
    }
    if (XDisplayUsable()) {
        return "xcb";
    }
    if (WaylandUsable() && PluginExists("libqwayland")) {
        return "wayland";
    }
    reason = "no display is available (DISPLAY is not set or cannot be opened)";
    return {};
}

}  // namespace vel::fw
