#include "platform/win32/WinApi.h"
// After windows.h, which it extends.
#include <commctrl.h>

#include "framework/win32/Win32Access.h"
#include "tests/ui/UiTestSupport.h"

namespace vel::test {

bool IsOfKind(const fw::CWnd& control, fw::ControlKind kind) {
    const wchar_t* const classes[] = {L"Static",   L"Button",       L"Button",
                                      L"Button",   L"Button",       L"Edit",
                                      L"ComboBox", TRACKBAR_CLASSW, PROGRESS_CLASSW};
    wchar_t name[64] = {};
    GetClassNameW(fw::win32::HwndOf(control), name, 64);
    return lstrcmpiW(name, classes[static_cast<int>(kind)]) == 0;
}

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

bool FontUnderlined(const fw::CWnd& control) {
    LOGFONTW font{};
    const LRESULT handle = SendMessageW(fw::win32::HwndOf(control), WM_GETFONT, 0, 0);
    return GetObjectW(reinterpret_cast<HFONT>(handle), sizeof font, &font) && font.lfUnderline;
}

void PressKey(fw::CWnd& window, Key key) {
    HWND to = GetFocus() ? GetFocus() : fw::win32::HwndOf(window);
    for (const UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        PostMessageW(to, message, key == Key::Escape ? VK_ESCAPE : VK_RETURN, 0);
    }
}

void MouseMove(fw::CWnd& control, fw::Point client) {
    SendMessageW(fw::win32::HwndOf(control), WM_MOUSEMOVE, 0,
                 MAKELPARAM(static_cast<WORD>(client.x), static_cast<WORD>(client.y)));
}

void MouseClick(fw::CWnd& control) {
    SendMessageW(fw::win32::HwndOf(control), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(fw::win32::HwndOf(control), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void UserSelect(fw::CWnd& combo, int index) {
    HWND box = fw::win32::HwndOf(combo);
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box));
}

void UserStepSlider(fw::CWnd& slider) {
    SendMessageW(fw::win32::HwndOf(slider), WM_KEYDOWN, VK_RIGHT, 0);
}

}  // namespace vel::test
