// The Win32 backend's colours, fonts, cursors and painting.

#include "framework/win32/Win32Internal.h"

namespace vel::fw {

Colour GetSysColor(SysColour which) {
    switch (which) {
        case SysColour::ButtonFace:
            return ::GetSysColor(COLOR_BTNFACE);
        case SysColour::ButtonShadow:
            return ::GetSysColor(COLOR_BTNSHADOW);
        case SysColour::ButtonText:
            return ::GetSysColor(COLOR_BTNTEXT);
        case SysColour::ButtonHighlight:
            return ::GetSysColor(COLOR_BTNHIGHLIGHT);
        case SysColour::Window:
            return ::GetSysColor(COLOR_WINDOW);
        case SysColour::WindowText:
            return ::GetSysColor(COLOR_WINDOWTEXT);
    }
    return 0;
}

CFont::CFont() = default;
CFont::~CFont() = default;

bool CFont::CreateFromWindow(const CWnd& wnd, bool underline) {
    HWND hwnd = Hwnd(wnd);
    if (!hwnd) {
        return false;
    }
    auto current = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (!current || !GetObjectW(current, sizeof lf, &lf)) {
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    }
    lf.lfUnderline = underline ? TRUE : FALSE;
    auto impl = std::make_unique<FontImpl>();
    impl->font = CreateFontIndirectW(&lf);
    impl->underline = underline;
    if (!impl->font) {
        return false;
    }
    impl_ = std::move(impl);
    return true;
}

bool CFont::Underlined() const {
    return impl_ && impl_->underline;
}

Cursor::Cursor(std::unique_ptr<CursorImpl> impl) : impl_(std::move(impl)) {}
Cursor::~Cursor() = default;

std::unique_ptr<Cursor> Cursor::LoadHand() {
    // The help program's hand (cursor 106), copied so that the program can be released.
    wchar_t dir[MAX_PATH];
    const UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
    if (n > 0 && n < MAX_PATH - 16) {
        const std::wstring path = std::wstring(dir, n) + L"\\winhlp32.exe";
        if (HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            HCURSOR hand = LoadCursorW(module, MAKEINTRESOURCEW(106));
            HCURSOR copy = hand ? CopyCursor(hand) : nullptr;
            FreeLibrary(module);
            if (copy) {
                auto impl = std::make_unique<CursorImpl>();
                impl->cursor = copy;
                impl->owned = true;
                return std::make_unique<Cursor>(std::move(impl));
            }
        }
    }
    // Systems without that program have the same hand as a system cursor.
    if (HCURSOR hand = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649))) {
        auto impl = std::make_unique<CursorImpl>();
        impl->cursor = hand;
        return std::make_unique<Cursor>(std::move(impl));
    }
    return nullptr;
}

void SetCursor(const Cursor* cursor) {
    ::SetCursor(cursor && cursor->impl() ? cursor->impl()->cursor
                                         : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

void CDC::FillSolidRect(const Rect& rect, Colour colour) {
    const RECT r = ToRECT(rect);
    const COLORREF old = SetBkColor(impl_->hdc, colour);
    ExtTextOutW(impl_->hdc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    SetBkColor(impl_->hdc, old);
}

void CDC::Draw3dRect(const Rect& r, Colour topLeft, Colour bottomRight) {
    if (r.Width() <= 0 || r.Height() <= 0) {
        return;
    }
    FillSolidRect({r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillSolidRect({r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillSolidRect({r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillSolidRect({r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

void CDC::DrawPushButtonFrame(const Rect& rect, bool pushed) {
    RECT r = ToRECT(rect);
    DrawFrameControl(impl_->hdc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0u));
}

void CDC::DrawBitmap(int x, int y, int width, int height, int /*stride*/, const uint8_t* bits) {
    if (width <= 0 || height <= 0 || !bits) {
        return;
    }
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = height;  // positive: bottom-up
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;
    bmi.bmiHeader.biXPelsPerMeter = 75;
    bmi.bmiHeader.biYPelsPerMeter = 75;
    SetDIBitsToDevice(impl_->hdc, x, y, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0,
                      0, static_cast<UINT>(height), bits, &bmi, DIB_RGB_COLORS);
}

void CDC::DrawBitmap(int x, int y, const Bitmap& bitmap) {
    DrawBitmap(x, y, bitmap.width, bitmap.height, bitmap.stride, bitmap.bits.data());
}

void CDC::SelectFont(const CFont& font) {
    if (font.impl() && font.impl()->font) {
        HGDIOBJ old = SelectObject(impl_->hdc, font.impl()->font);
        if (!impl_->oldFont) {
            impl_->oldFont = old;
        }
    }
}

void CDC::SetTextColor(Colour colour) {
    ::SetTextColor(impl_->hdc, colour);
}

void CDC::SetBkTransparent() {
    SetBkMode(impl_->hdc, TRANSPARENT);
}

Size CDC::GetTextExtent(std::string_view text, bool expandTabs) const {
    const std::wstring w = Wide(text);
    if (expandTabs) {
        const DWORD e =
            GetTabbedTextExtentW(impl_->hdc, w.c_str(), static_cast<int>(w.size()), 0, nullptr);
        return {static_cast<int>(LOWORD(e)), static_cast<int>(HIWORD(e))};
    }
    SIZE s{};
    GetTextExtentPoint32W(impl_->hdc, w.c_str(), static_cast<int>(w.size()), &s);
    if (w.empty()) {
        TEXTMETRICW tm{};
        GetTextMetricsW(impl_->hdc, &tm);
        s.cy = tm.tmHeight;
    }
    return {s.cx, s.cy};
}

void CDC::DrawText(std::string_view text, const Rect& rect, uint32_t flags) {
    UINT f = 0;
    f |= (flags & kDtCenter) ? DT_CENTER : (flags & kDtRight) ? DT_RIGHT : DT_LEFT;
    if (flags & kDtVCenter) {
        f |= DT_VCENTER;
    }
    if (flags & kDtSingleLine) {
        f |= DT_SINGLELINE;
    }
    if (flags & kDtExpandTabs) {
        f |= DT_EXPANDTABS;
    }
    std::wstring w = Wide(text);
    RECT r = ToRECT(rect);
    ::DrawTextW(impl_->hdc, w.data(), static_cast<int>(w.size()), &r, f);
}

CClientDC::CClientDC(const CWnd& wnd) : impl_(std::make_unique<CDC::Impl>()) {
    HWND hwnd = Hwnd(wnd);
    impl_->hdc = GetDC(hwnd);
    impl_->releaseTo = hwnd;
    if (hwnd) {
        if (auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0))) {
            impl_->oldFont = SelectObject(impl_->hdc, font);
        }
    }
    dc_ = std::make_unique<CDC>(impl_.get());
}

CClientDC::~CClientDC() {
    if (impl_->oldFont) {
        SelectObject(impl_->hdc, impl_->oldFont);
    }
    ReleaseDC(impl_->releaseTo, impl_->hdc);
}

}  // namespace vel::fw
