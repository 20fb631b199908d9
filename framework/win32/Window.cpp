// The Win32 backend's windows.

#include "framework/win32/Win32Internal.h"

namespace vel::fw {

CWnd::CWnd() : impl_(std::make_unique<WindowImpl>()) {}

CWnd::~CWnd() {
    HWND hwnd = Hwnd(*this);
    if (hwnd && impl_->subclassed) {
        RemoveWindowSubclass(hwnd, ControlProc, 1);
        if (HandlerOf(hwnd) == this) {
            RemovePropW(hwnd, kHandlerProp);
        }
    }
}

bool CWnd::IsWindow() const {
    return Hwnd(*this) != nullptr;
}

bool CWnd::DestroyWindow() {
    HWND hwnd = Hwnd(*this);
    if (!hwnd) {
        return false;
    }
    impl_->hwnd = nullptr;
    return ::DestroyWindow(hwnd) != FALSE;
}

bool CWnd::SubclassDlgItem(int id, CWnd* parent) {
    HWND dialog = parent ? Hwnd(*parent) : nullptr;
    HWND hwnd = dialog ? ::GetDlgItem(dialog, id) : nullptr;
    if (!hwnd) {
        return false;
    }
    impl_->hwnd = hwnd;
    SetPropW(hwnd, kHandlerProp, this);
    SetWindowSubclass(hwnd, ControlProc, 1, reinterpret_cast<DWORD_PTR>(this));
    impl_->subclassed = true;
    PreSubclassWindow();
    return true;
}

CWnd* CWnd::GetDlgItem(int id) const {
    HWND dialog = Hwnd(*this);
    HWND hwnd = dialog && id != kIdStatic ? ::GetDlgItem(dialog, id) : nullptr;
    if (!hwnd) {
        return nullptr;
    }
    if (CWnd* handler = HandlerOf(hwnd)) {
        return handler;
    }
    if (CWnd* wrapper = impl_->wrappers.Find(id, hwnd)) {
        return wrapper;
    }
    auto wrapper = std::make_unique<CWnd>();
    wrapper->impl_->hwnd = hwnd;
    return impl_->wrappers.Keep(id, hwnd, std::move(wrapper));
}

int CWnd::GetDlgCtrlID() const {
    HWND hwnd = Hwnd(*this);
    return hwnd ? static_cast<int>(static_cast<short>(::GetDlgCtrlID(hwnd))) : 0;
}

CWnd* CWnd::GetParent() const {
    HWND hwnd = Hwnd(*this);
    return hwnd ? HandlerOf(::GetParent(hwnd)) : nullptr;
}

void CWnd::ShowWindow(int showCommand) {
    if (HWND hwnd = Hwnd(*this)) {
        ::ShowWindow(hwnd, showCommand);
    }
}

bool CWnd::IsWindowVisible() const {
    HWND hwnd = Hwnd(*this);
    return hwnd && ::IsWindowVisible(hwnd);
}

void CWnd::EnableWindow(bool enable) {
    if (HWND hwnd = Hwnd(*this)) {
        ::EnableWindow(hwnd, enable ? TRUE : FALSE);
    }
}

bool CWnd::IsWindowEnabled() const {
    HWND hwnd = Hwnd(*this);
    return hwnd && ::IsWindowEnabled(hwnd);
}

void CWnd::SetWindowText(std::string_view text) {
    if (HWND hwnd = Hwnd(*this)) {
        SetWindowTextW(hwnd, Wide(text).c_str());
    }
}

std::string CWnd::GetWindowText() const {
    HWND hwnd = Hwnd(*this);
    if (!hwnd) {
        return {};
    }
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, w.data(), n + 1);
    w.resize(static_cast<size_t>(std::max(got, 0)));
    return Narrow(w);
}

void CWnd::SetFocus() {
    if (HWND hwnd = Hwnd(*this)) {
        ::SetFocus(hwnd);
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        if (lstrcmpiW(cls, L"Edit") == 0) {
            SendMessageW(hwnd, EM_SETSEL, 0, -1);
        }
    }
}

bool CWnd::HasFocus() const {
    HWND hwnd = Hwnd(*this);
    return hwnd && GetFocus() == hwnd;
}

void CWnd::Invalidate(bool erase) {
    if (HWND hwnd = Hwnd(*this)) {
        ::InvalidateRect(hwnd, nullptr, erase ? TRUE : FALSE);
    }
}

void CWnd::InvalidateRect(const Rect& rect, bool erase) {
    if (HWND hwnd = Hwnd(*this)) {
        const RECT r = ToRECT(rect);
        ::InvalidateRect(hwnd, &r, erase ? TRUE : FALSE);
    }
}

void CWnd::UpdateWindow() {
    if (HWND hwnd = Hwnd(*this)) {
        ::UpdateWindow(hwnd);
    }
}

void CWnd::RedrawWindow() {
    if (HWND hwnd = Hwnd(*this)) {
        ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
}

bool CWnd::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    HWND hwnd = impl_->hwnd;
    return hwnd && PostMessageW(hwnd, message, wParam, lParam) != FALSE;
}

void CWnd::SetCapture() {
    if (HWND hwnd = Hwnd(*this)) {
        ::SetCapture(hwnd);
    }
}

bool CWnd::HasCapture() const {
    HWND hwnd = Hwnd(*this);
    return hwnd && GetCapture() == hwnd;
}

bool CWnd::IsCaptureHeld() {
    return GetCapture() != nullptr;
}

void CWnd::ReleaseCapture() {
    ::ReleaseCapture();
}

Rect CWnd::GetClientRect() const {
    RECT r{};
    if (HWND hwnd = Hwnd(*this)) {
        ::GetClientRect(hwnd, &r);
    }
    return FromRECT(r);
}

Rect CWnd::GetWindowRect() const {
    RECT r{};
    if (HWND hwnd = Hwnd(*this)) {
        ::GetWindowRect(hwnd, &r);
    }
    return FromRECT(r);
}

Point CWnd::ScreenToClient(Point p) const {
    POINT q{p.x, p.y};
    if (HWND hwnd = Hwnd(*this)) {
        ::ScreenToClient(hwnd, &q);
    }
    return {q.x, q.y};
}

Rect CWnd::ScreenToClient(const Rect& r) const {
    const Point a = ScreenToClient(Point{r.left, r.top});
    return {a.x, a.y, a.x + r.Width(), a.y + r.Height()};
}

void CWnd::MoveWindow(const Rect& rect, bool repaint) {
    if (HWND hwnd = Hwnd(*this)) {
        SetWindowPos(hwnd, nullptr, rect.left, rect.top, rect.Width(), rect.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
    }
}

Rect CWnd::MapDialogRect(const Rect& du) const {
    HWND hwnd = Hwnd(*this);
    HWND dialog = hwnd ? (DialogOfWindow(hwnd) ? hwnd : ::GetParent(hwnd)) : nullptr;
    RECT r = ToRECT(du);
    if (dialog) {
        ::MapDialogRect(dialog, &r);
    }
    return FromRECT(r);
}

Size CWnd::GetDialogBaseUnits() const {
    const Rect r = MapDialogRect({0, 0, 4, 8});
    return {r.right, r.bottom};
}

uint32_t CWnd::GetStyle() const {
    HWND hwnd = Hwnd(*this);
    if (!hwnd) {
        return 0;
    }
    const auto s = static_cast<uint32_t>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    uint32_t out = 0;
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (lstrcmpiW(cls, L"Static") == 0) {
        const uint32_t type = s & SS_TYPEMASK;
        out |= type == SS_CENTER ? kAlignCenter : type == SS_RIGHT ? kAlignRight : 0u;
        out |= (s & SS_CENTERIMAGE) ? kCenterVertically : 0u;
        out |= (s & SS_NOTIFY) ? kNotify : 0u;
    }
    out |= (s & WS_BORDER) ? kBorder : 0u;
    out |= (s & WS_TABSTOP) ? kTabStop : 0u;
    return out;
}

void CWnd::ModifyStyle(uint32_t remove, uint32_t add) {
    HWND hwnd = Hwnd(*this);
    if (!hwnd) {
        return;
    }
    auto s = static_cast<uint32_t>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const auto native = [](uint32_t bits) {
        uint32_t n = 0;
        n |= (bits & kNotify) ? SS_NOTIFY : 0u;
        n |= (bits & kBorder) ? WS_BORDER : 0u;
        n |= (bits & kTabStop) ? WS_TABSTOP : 0u;
        return n;
    };
    s = (s & ~native(remove)) | native(add);
    SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>(s));
}

void CWnd::SetFont(const CFont& font, bool redraw) {
    HWND hwnd = Hwnd(*this);
    if (hwnd && font.impl()) {
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.impl()->font), redraw);
    }
}

WindowPicture GrabWindow(const CWnd& wnd) {
    WindowPicture picture;
    HWND hwnd = Hwnd(wnd);
    if (!hwnd) {
        return picture;
    }
    RECT r{};
    ::GetClientRect(hwnd, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) {
        return picture;
    }
    HDC screen = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;  // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(mem, bitmap);
        // What the window shows on the screen, once it and its children have painted.
        SetForegroundWindow(hwnd);
        ::RedrawWindow(hwnd, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        backend::PumpMessages();
        GdiFlush();
        BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        GdiFlush();
        picture.width = w;
        picture.height = h;
        picture.rgb.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3u);
        const auto* px = static_cast<const uint8_t*>(bits);
        for (size_t i = 0; i < static_cast<size_t>(w) * static_cast<size_t>(h); ++i) {
            picture.rgb[3 * i] = px[4 * i + 2];
            picture.rgb[3 * i + 1] = px[4 * i + 1];
            picture.rgb[3 * i + 2] = px[4 * i];
        }
        SelectObject(mem, old);
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    DeleteDC(mem);
    ReleaseDC(hwnd, screen);
    return picture;
}

namespace win32 {
HWND HwndOf(const CWnd& wnd) {
    return Hwnd(wnd);
}
}  // namespace win32

}  // namespace vel::fw
