// The Win32 backend's entry points: common controls, the message pump, message boxes, file
// dialogs.

#include "framework/win32/Win32Internal.h"
#include "platform/Product.h"

namespace vel::fw {

namespace backend {

bool EnsureGui() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX icc{
            sizeof(INITCOMMONCONTROLSEX),
            ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
    });
    return true;
}

bool PumpMessages() {
    return platform::DispatchWaitingMessages();
}

int ShowMessageBox(const std::string& text, uint32_t type) {
    return MessageBoxW(GetActiveWindow(), Wide(text).c_str(), Wide(kProductName).c_str(), type);
}

void Beep(uint32_t type) {
    ::MessageBeep(type);
}

int ShowFileDialog(const CFileDialog& dialog, CWnd* parent, std::string& path) {
    std::wstring filter = Wide(dialog.Filter());
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');
    std::wstring file = Wide(dialog.FileName());
    file.resize(MAX_PATH * 4, L'\0');
    const std::wstring title = Wide(dialog.Title());
    const std::wstring ext = Wide(dialog.DefaultExtension());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = parent ? Hwnd(*parent) : nullptr;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (dialog.IsOpen()) {
        ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    } else if (dialog.OverwritePrompt()) {
        ofn.Flags |= OFN_OVERWRITEPROMPT;
    }
    const BOOL ok = dialog.IsOpen() ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!ok) {
        return kIdCancel;
    }
    path = Narrow(file.c_str());
    return kIdOk;
}

}  // namespace backend

}  // namespace vel::fw
