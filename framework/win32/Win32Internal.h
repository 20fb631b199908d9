#pragma once
// What the files of the Win32 backend share: the backend's halves of the framework's objects,
// conversions, the window procedures and the dialogs' private access.

#include "platform/win32/WinApi.h"
// After windows.h, which they extend.
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/App.h"
#include "framework/Backend.h"
#include "framework/ControlWrappers.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Template.h"
#include "framework/Wnd.h"
#include "framework/win32/Win32Access.h"
#include "platform/Platform.h"

namespace vel::fw {

struct WindowImpl {
    HWND hwnd = nullptr;
    ControlWrappers wrappers;  // dialogs only
    HWND toolTips = nullptr;   // dialogs: the tips of EnableToolTips
    std::wstring tipText;      // dialogs: the text the last tip asked for
    bool subclassed = false;
};

struct FontImpl {
    HFONT font = nullptr;
    bool underline = false;
    ~FontImpl() {
        if (font) {
            DeleteObject(font);
        }
    }
};

struct CursorImpl {
    HCURSOR cursor = nullptr;
    bool owned = false;
    ~CursorImpl() {
        if (owned && cursor) {
            DestroyCursor(cursor);
        }
    }
};

struct CDC::Impl {
    HDC hdc = nullptr;
    HWND releaseTo = nullptr;  // a DC from GetDC, released with the object
    HGDIOBJ oldFont = nullptr;
};

inline constexpr wchar_t kHandlerProp[] = L"velnrWnd";
inline constexpr wchar_t kTicProp[] = L"velnrTic";

inline std::wstring Wide(std::string_view s) {
    if (s.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

inline std::string Narrow(std::wstring_view w) {
    if (w.empty()) {
        return {};
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

inline HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

inline CWnd* HandlerOf(HWND hwnd) {
    return hwnd ? static_cast<CWnd*>(GetPropW(hwnd, kHandlerProp)) : nullptr;
}

inline HWND Hwnd(const CWnd& wnd) {
    return wnd.impl() && wnd.impl()->hwnd && IsWindow(wnd.impl()->hwnd) ? wnd.impl()->hwnd
                                                                        : nullptr;
}

inline Rect FromRECT(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
inline RECT ToRECT(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

inline Point PointOf(LPARAM lp) {
    return {static_cast<int>(static_cast<short>(LOWORD(lp))),
            static_cast<int>(static_cast<short>(HIWORD(lp)))};
}

inline CDialog* DialogOfWindow(HWND hwnd) {
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

// The template in the memory layout of the dialog manager.
std::vector<uint8_t> BuildTemplate(const DialogTemplate& t);
// The subclass procedure of controls bound to an object, and the dialogs' procedure.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data);
INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Tooltip windows of CToolTipCtrl objects (its members are backend-neutral).
std::map<const CToolTipCtrl*, HWND>& TipWindows();

struct DialogAccess {
    static INT_PTR Init(HWND hwnd, CDialog* dialog) {
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        SetPropW(hwnd, kHandlerProp, dialog);
        dialog->impl_->hwnd = hwnd;
        // A template has no room for a combo box's fixed items; they are added before the
        // dialog's own initialisation, as resource initialisation data would be.
        for (const ControlTemplate& c : dialog->Template().controls) {
            HWND combo = c.items.empty() ? nullptr : ::GetDlgItem(hwnd, c.id);
            for (const char* item : c.items) {
                const std::wstring w = Wide(item);
                SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
            }
        }
        const BOOL result = dialog->OnInitDialog() ? TRUE : FALSE;
        DialogInitialised(*dialog);
        return result;
    }
    static std::vector<uint8_t> Template(CDialog& dialog) {
        return BuildTemplate(dialog.Template());
    }
    static void SetModal(CDialog& dialog, bool modal) { dialog.modal_ = modal; }
    static CWnd* Parent(CDialog& dialog) { return dialog.parent_; }
    static void SetParent(CDialog& dialog, CWnd* parent) { dialog.parent_ = parent; }
};

}  // namespace vel::fw
