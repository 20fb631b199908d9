// The Win32 backend's controls: check boxes, combo boxes, trackbars, progress bars.

#include "framework/win32/Win32Internal.h"

namespace vel::fw {

namespace ctrl {

namespace {
LRESULT Send(const CWnd& wnd, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    HWND hwnd = Hwnd(wnd);
    return hwnd ? SendMessageW(hwnd, msg, wp, lp) : 0;
}
}  // namespace

int GetCheck(const CWnd& button) {
    return Send(button, BM_GETCHECK) == BST_CHECKED ? 1 : 0;
}
void SetCheck(CWnd& button, int state) {
    Send(button, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED);
}
void Click(CWnd& button) {
    Send(button, BM_CLICK);
}

int AddString(CWnd& combo, std::string_view text) {
    const std::wstring w = Wide(text);
    return static_cast<int>(Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str())));
}
int DeleteString(CWnd& combo, int index) {
    return static_cast<int>(Send(combo, CB_DELETESTRING, static_cast<WPARAM>(index)));
}
int GetCount(const CWnd& combo) {
    return static_cast<int>(Send(combo, CB_GETCOUNT));
}
int GetCurSel(const CWnd& combo) {
    return static_cast<int>(Send(combo, CB_GETCURSEL));
}
int SetCurSel(CWnd& combo, int index) {
    return static_cast<int>(Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index)));
}
std::string GetLBText(const CWnd& combo, int index) {
    const auto n = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (n <= 0) {
        return {};
    }
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<size_t>(n));
    return Narrow(w);
}
void ResetContent(CWnd& combo) {
    Send(combo, CB_RESETCONTENT);
}

void SetSliderRange(CWnd& slider, int minValue, int maxValue, bool redraw) {
    Send(slider, TBM_SETRANGEMIN, FALSE, minValue);
    Send(slider, TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maxValue);
}
int GetSliderMin(const CWnd& slider) {
    return static_cast<int>(Send(slider, TBM_GETRANGEMIN));
}
int GetSliderMax(const CWnd& slider) {
    return static_cast<int>(Send(slider, TBM_GETRANGEMAX));
}
void SetTicFreq(CWnd& slider, int frequency) {
    Send(slider, TBM_SETTICFREQ, static_cast<WPARAM>(frequency));
    if (HWND hwnd = Hwnd(slider)) {
        SetPropW(hwnd, kTicProp, reinterpret_cast<HANDLE>(static_cast<intptr_t>(frequency)));
    }
}
int GetTicFreq(const CWnd& slider) {
    HWND hwnd = Hwnd(slider);
    const auto stored = hwnd ? reinterpret_cast<intptr_t>(GetPropW(hwnd, kTicProp)) : 0;
    return stored ? static_cast<int>(stored) : 1;  // automatic ticks: one per position
}
void SetSliderPos(CWnd& slider, int position) {
    Send(slider, TBM_SETPOS, TRUE, position);
}
int GetSliderPos(const CWnd& slider) {
    return static_cast<int>(Send(slider, TBM_GETPOS));
}

void SetProgressRange(CWnd& bar, int lower, int upper) {
    Send(bar, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}
int GetProgressLower(const CWnd& bar) {
    return static_cast<int>(Send(bar, PBM_GETRANGE, TRUE));
}
int GetProgressUpper(const CWnd& bar) {
    return static_cast<int>(Send(bar, PBM_GETRANGE, FALSE));
}
void SetProgressPos(CWnd& bar, int position) {
    HWND hwnd = bar.impl() ? bar.impl()->hwnd : nullptr;
    if (!hwnd) {
        return;
    }
    // From another thread the position is posted, so that a worker never waits for the
    // window's thread.
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) {
        SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    } else {
        PostMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
}
int GetProgressPos(const CWnd& bar) {
    return static_cast<int>(Send(bar, PBM_GETPOS));
}

}  // namespace ctrl

}  // namespace vel::fw
