#include "framework/App.h"

#include <mutex>
#include <utility>

#include "framework/Backend.h"
#include "framework/PngWriter.h"
#include "platform/Profile.h"

namespace vel::fw {

Colour WindowPicture::At(int x, int y) const {
    const size_t i =
        (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3u;
    return Rgb(rgb[i], rgb[i + 1], rgb[i + 2]);
}

bool SaveWindowPng(const CWnd& wnd, const std::string& path) {
    const WindowPicture picture = GrabWindow(wnd);
    return picture.width > 0 && WritePngRgb(path, picture.width, picture.height, picture.rgb);
}

namespace {

CWinApp* g_app = nullptr;

struct Handlers {
    std::mutex mutex;
    MessageBoxHandler messageBox;
    BeepHandler beep;
    FileDialogHandler fileDialog;
    DialogInitHandler dialogInit;
};

Handlers& GetHandlers() {
    static Handlers handlers;
    return handlers;
}

}  // namespace

CWinApp::CWinApp(std::string appName) : appName_(std::move(appName)) {
    if (!g_app) {
        g_app = this;
    }
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

void CWinApp::SetRegistryKey(std::string company) {
    company_ = std::move(company);
    platform::SetProfileLocation(company_, appName_);
}

std::string CWinApp::GetProfileString(std::string_view section, std::string_view entry,
                                      std::string_view defaultValue) const {
    return platform::GetProfileString(section, entry, defaultValue);
}

CWinApp* AfxGetApp() {
    return g_app;
}

bool EnsureGui() {
    return backend::EnsureGui();
}

bool PumpMessages() {
    return backend::PumpMessages();
}

int AfxMessageBox(std::string_view text, uint32_t type) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(GetHandlers().mutex);
        handler = GetHandlers().messageBox;
    }
    if (handler) {
        return handler(std::string(text), type);
    }
    return backend::ShowMessageBox(std::string(text), type);
}

void MessageBeep(uint32_t type) {
    BeepHandler handler;
    {
        std::lock_guard lock(GetHandlers().mutex);
        handler = GetHandlers().beep;
    }
    if (handler) {
        handler(type);
        return;
    }
    backend::Beep(type);
}

CFileDialog::CFileDialog(bool open, std::string defaultExtension, std::string fileName,
                         bool overwritePrompt, std::string filter, CWnd* parent)
    : open_(open),
      defaultExtension_(std::move(defaultExtension)),
      fileName_(std::move(fileName)),
      overwritePrompt_(overwritePrompt),
      filter_(std::move(filter)),
      parent_(parent) {}

std::string CFileDialog::WithDefaultExtension(std::string path, std::string_view extension) {
    if (extension.empty() || path.empty()) {
        return path;
    }
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        path += '.';
        path += extension;
    }
    return path;
}

int CFileDialog::DoModal() {
    FileDialogHandler handler;
    {
        std::lock_guard lock(GetHandlers().mutex);
        handler = GetHandlers().fileDialog;
    }
    std::string path;
    const int result =
        handler ? handler(*this, path) : backend::ShowFileDialog(*this, parent_, path);
    if (result == kIdOk) {
        path_ = WithDefaultExtension(path, defaultExtension_);
    }
    return result == kIdOk ? kIdOk : kIdCancel;
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(GetHandlers().mutex);
    GetHandlers().messageBox = std::move(handler);
}

void SetBeepHandler(BeepHandler handler) {
    std::lock_guard lock(GetHandlers().mutex);
    GetHandlers().beep = std::move(handler);
}

void SetFileDialogHandler(FileDialogHandler handler) {
    std::lock_guard lock(GetHandlers().mutex);
    GetHandlers().fileDialog = std::move(handler);
}

void SetDialogInitHandler(DialogInitHandler handler) {
    std::lock_guard lock(GetHandlers().mutex);
    GetHandlers().dialogInit = std::move(handler);
}

void DialogInitialised(CDialog& dialog) {
    DialogInitHandler handler;
    {
        std::lock_guard lock(GetHandlers().mutex);
        handler = GetHandlers().dialogInit;
    }
    if (handler) {
        handler(dialog);
    }
}

}  // namespace vel::fw
