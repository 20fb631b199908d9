#include "platform/win32/WinApi.h"

#include <deque>

#include "framework/win32/Win32Access.h"
#include "tests/ui/UiTestSupport.h"

namespace vel::test {

std::multiset<std::string> LabelTexts(const fw::CWnd& dialog) {
    std::multiset<std::string> texts;
    for (HWND c = GetWindow(fw::win32::HwndOf(dialog), GW_CHILD); c;
         c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t text[256] = {};
        GetWindowTextW(c, text, 256);
        if ((GetDlgCtrlID(c) & 0xFFFF) == 0xFFFF) {
            texts.insert(std::string(text, text + lstrlenW(text)));
        }
    }
    return texts;
}

void PressKey(fw::CWnd& window, Key key) {
    HWND to = GetFocus() ? GetFocus() : fw::win32::HwndOf(window);
    for (const UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        PostMessageW(to, message, key == Key::Escape ? VK_ESCAPE : VK_RETURN, 0);
    }
}

void Mouse(fw::CWnd& control, fw::Point at, bool click) {
    HWND hwnd = fw::win32::HwndOf(control);
    const LPARAM where = MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y));
    if (!click) {
        SendMessageW(hwnd, WM_MOUSEMOVE, 0, where);
        return;
    }
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageW(hwnd, WM_LBUTTONUP, 0, where);
}

void Drag(fw::CWnd& window, fw::Point from, fw::Point to) {
    HWND hwnd = fw::win32::HwndOf(window);
    const auto at = [](fw::Point p) {
        return MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
    };
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at(from));
    SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, at(to));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, at(to));
}

namespace {
std::deque<std::function<void()>> g_later;

// A named CALLBACK: on i686 a timer procedure is __stdcall, which no lambda converts to.
void CALLBACK RunNextLater(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (!g_later.empty()) {
        std::function<void()> next = std::move(g_later.front());
        g_later.pop_front();
        next();
    }
}
}  // namespace

void Later(std::function<void()> step) {
    g_later.push_back(std::move(step));
    // A thread timer: any message loop of this thread dispatches it to the procedure.
    SetTimer(nullptr, 0, 0, RunNextLater);
}

}  // namespace vel::test
