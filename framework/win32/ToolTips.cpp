// The Win32 backend's tooltips.

#include "framework/win32/Win32Internal.h"

namespace vel::fw {

// Tooltip windows of CToolTipCtrl objects (its members are backend-neutral).
std::map<const CToolTipCtrl*, HWND>& TipWindows() {
    static std::map<const CToolTipCtrl*, HWND> windows;
    return windows;
}

CToolTipCtrl::CToolTipCtrl() = default;

CToolTipCtrl::~CToolTipCtrl() {
    auto& windows = TipWindows();
    const auto it = windows.find(this);
    if (it != windows.end()) {
        if (::IsWindow(it->second)) {
            ::DestroyWindow(it->second);
        }
        windows.erase(it);
    }
}

bool CToolTipCtrl::Create(CWnd* owner) {
    HWND hwnd = owner ? Hwnd(*owner) : nullptr;
    if (!hwnd) {
        return false;
    }
    owner_ = owner;
    HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                               ThisModule(), nullptr);
    if (!tip) {
        return false;
    }
    TipWindows()[this] = tip;
    return true;
}

void CToolTipCtrl::Apply(const Tool& tool) {
    const auto it = TipWindows().find(this);
    HWND wnd = Hwnd(*tool.wnd);
    if (it == TipWindows().end() || !wnd) {
        return;
    }
    std::wstring text = Wide(tool.text);
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_SUBCLASS;
    ti.hwnd = wnd;
    ti.uId = static_cast<UINT_PTR>(tool.id);
    ti.rect = ToRECT(tool.wholeClient ? tool.wnd->GetClientRect() : tool.rect);
    ti.lpszText = text.data();
    SendMessageW(it->second, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageW(it->second, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::Activate(bool active) {
    active_ = active;
    const auto it = TipWindows().find(this);
    if (it != TipWindows().end()) {
        SendMessageW(it->second, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
    }
}

}  // namespace vel::fw
