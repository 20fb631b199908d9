// The window framework on Win32: dialogs are built as in-memory templates from resources/ and
// run by the system's dialog manager; controls are the common controls; painting is GDI.

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
#include "platform/Product.h"

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

namespace {

constexpr wchar_t kHandlerProp[] = L"velnrWnd";
constexpr wchar_t kTicProp[] = L"velnrTic";

std::wstring Wide(std::string_view s) {
    if (s.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Narrow(std::wstring_view w) {
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

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

CWnd* HandlerOf(HWND hwnd) {
    return hwnd ? static_cast<CWnd*>(GetPropW(hwnd, kHandlerProp)) : nullptr;
}

HWND Hwnd(const CWnd& wnd) {
    return wnd.impl() && wnd.impl()->hwnd && IsWindow(wnd.impl()->hwnd) ? wnd.impl()->hwnd
                                                                        : nullptr;
}

Rect FromRECT(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
RECT ToRECT(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

Point PointOf(LPARAM lp) {
    return {static_cast<int>(static_cast<short>(LOWORD(lp))),
            static_cast<int>(static_cast<short>(HIWORD(lp)))};
}

// --- in-memory dialog templates --------------------------------------------------------

class TemplateBuilder {
  public:
    void Align() {
        while (bytes_.size() % 4) {
            bytes_.push_back(0);
        }
    }
    void Word(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void Dword(uint32_t v) {
        Word(static_cast<uint16_t>(v));
        Word(static_cast<uint16_t>(v >> 16));
    }
    void String(const char* s) {
        for (wchar_t c : Wide(s ? s : "")) {
            Word(static_cast<uint16_t>(c));
        }
        Word(0);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

uint32_t ControlStyle(const ControlTemplate& c) {
    uint32_t s = WS_CHILD | WS_VISIBLE;
    if (c.style & kTabStop) {
        s |= WS_TABSTOP;
    }
    switch (c.kind) {
        case ControlKind::Label:
            s |= (c.style & kAlignCenter)  ? SS_CENTER
                 : (c.style & kAlignRight) ? SS_RIGHT
                                           : SS_LEFT;
            if (c.style & kCenterVertically) {
                s |= SS_CENTERIMAGE;
            }
            if (c.style & kNotify) {
                s |= SS_NOTIFY;
            }
            break;
        case ControlKind::PushButton:
            s |= BS_PUSHBUTTON;
            break;
        case ControlKind::DefPushButton:
            s |= BS_DEFPUSHBUTTON;
            break;
        case ControlKind::OwnerDrawButton:
            s |= BS_OWNERDRAW;
            break;
        case ControlKind::CheckBox:
            s |= BS_AUTOCHECKBOX;
            break;
        case ControlKind::Edit:
            s |= ES_AUTOHSCROLL;
            if (c.style & kAlignCenter) {
                s |= ES_CENTER;
            }
            if (c.style & kBorder) {
                s |= WS_BORDER;
            }
            break;
        case ControlKind::ComboBox:
            s |= CBS_DROPDOWNLIST;
            if (c.style & kVScroll) {
                s |= WS_VSCROLL;
            }
            break;
        case ControlKind::Slider:
            s |= TBS_HORZ | TBS_BOTTOM;
            if (c.style & kAutoTicks) {
                s |= TBS_AUTOTICKS;
            }
            break;
        case ControlKind::Progress:
            if (c.style & kBorder) {
                s |= WS_BORDER;
            }
            break;
    }
    return s;
}

std::vector<uint8_t> BuildTemplate(const DialogTemplate& t) {
    TemplateBuilder b;
    uint32_t style = WS_POPUP | DS_SETFONT;
    if (t.style & kCaption) {
        style |= WS_CAPTION;
    }
    if (t.style & kSysMenu) {
        style |= WS_SYSMENU;
    }
    if (t.style & kModalFrame) {
        style |= DS_MODALFRAME;
    }
    if (t.style & kCentered) {
        style |= DS_CENTER;
    }
    b.Dword(style);
    b.Dword(0);
    b.Word(static_cast<uint16_t>(t.controls.size()));
    b.Word(0);
    b.Word(0);
    b.Word(static_cast<uint16_t>(t.cx));
    b.Word(static_cast<uint16_t>(t.cy));
    b.Word(0);  // no menu
    b.Word(0);  // standard class
    b.String(t.caption);
    b.Word(static_cast<uint16_t>(t.pointSize));
    b.String(t.fontName);
    for (const ControlTemplate& c : t.controls) {
        b.Align();
        b.Dword(ControlStyle(c));
        b.Dword(0);
        b.Word(static_cast<uint16_t>(c.x));
        b.Word(static_cast<uint16_t>(c.y));
        b.Word(static_cast<uint16_t>(c.cx));
        b.Word(static_cast<uint16_t>(c.cy));
        b.Word(static_cast<uint16_t>(c.id));  // -1 becomes 0xFFFF, the unaddressed id
        switch (c.kind) {
            case ControlKind::Label:
                b.Word(0xFFFF);
                b.Word(0x0082);
                break;
            case ControlKind::Edit:
                b.Word(0xFFFF);
                b.Word(0x0081);
                break;
            case ControlKind::ComboBox:
                b.Word(0xFFFF);
                b.Word(0x0085);
                break;
            case ControlKind::Slider:
                b.String("msctls_trackbar32");
                break;
            case ControlKind::Progress:
                b.String("msctls_progress32");
                break;
            default:
                b.Word(0xFFFF);
                b.Word(0x0080);
                break;
        }
        b.String(c.text);
        b.Word(0);  // no creation data
    }
    return std::move(b.bytes());
}

// --- message routing ---------------------------------------------------------------------

CDialog* DialogOfWindow(HWND hwnd) {
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* wnd = reinterpret_cast<CWnd*>(data);
    switch (msg) {
        case WM_MOUSEMOVE:
            wnd->OnMouseMove(PointOf(lp));
            break;
        case WM_LBUTTONDOWN:
            wnd->OnLButtonDown(PointOf(lp));
            break;
        case WM_LBUTTONUP:
            wnd->OnLButtonUp(PointOf(lp));
            break;
        case WM_SETCURSOR:
            if (wnd->OnSetCursor()) {
                return TRUE;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, ControlProc, 1);
            RemovePropW(hwnd, kHandlerProp);
            RemovePropW(hwnd, kTicProp);
            break;
        default:
            if (msg >= WM_USER && wnd->OnMessage(msg, wp, lp)) {
                return 0;
            }
            break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace

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
        return dialog->OnInitDialog() ? TRUE : FALSE;
    }
    static std::vector<uint8_t> Template(CDialog& dialog) {
        return BuildTemplate(dialog.Template());
    }
    static void SetModal(CDialog& dialog, bool modal) { dialog.modal_ = modal; }
    static CWnd* Parent(CDialog& dialog) { return dialog.parent_; }
    static void SetParent(CDialog& dialog, CWnd* parent) { dialog.parent_ = parent; }
};

namespace {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        return DialogAccess::Init(hwnd, reinterpret_cast<CDialog*>(lp));
    }
    CDialog* dialog = DialogOfWindow(hwnd);
    if (!dialog) {
        return FALSE;
    }
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            const int code = HIWORD(wp);
            auto* control = reinterpret_cast<HWND>(lp);
            if (control) {
                CWnd* handler = HandlerOf(control);
                if (handler && handler != dialog && handler->OnReflectedCommand(code)) {
                    return TRUE;
                }
            }
            return dialog->OnCommand(id, code) ? TRUE : FALSE;
        }
        case WM_HSCROLL: {
            auto* slider = reinterpret_cast<HWND>(lp);
            if (slider) {
                dialog->OnHScroll(GetDlgCtrlID(slider),
                                  static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)));
                return TRUE;
            }
            return FALSE;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC hdc = BeginPaint(hwnd, &ps);
            CDC::Impl impl{hdc, nullptr, nullptr};
            CDC dc(&impl);
            dialog->OnPaint(dc);
            EndPaint(hwnd, &ps);
            return TRUE;
        }
        case WM_DRAWITEM: {
            auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            CDC::Impl impl{dis->hDC, nullptr, nullptr};
            CDC dc(&impl);
            DrawItemInfo info{dc,
                              FromRECT(dis->rcItem),
                              (dis->itemState & ODS_SELECTED) != 0,
                              (dis->itemState & ODS_FOCUS) != 0,
                              (dis->itemState & ODS_DISABLED) != 0,
                              static_cast<int>(dis->CtlID)};
            const int saved = SaveDC(dis->hDC);
            CWnd* handler = HandlerOf(dis->hwndItem);
            const bool drawn = (handler && handler->DrawItem(info)) || dialog->DrawItem(info);
            RestoreDC(dis->hDC, saved);
            return drawn ? TRUE : FALSE;
        }
        case WM_CTLCOLORSTATIC: {
            CWnd* handler = HandlerOf(reinterpret_cast<HWND>(lp));
            Colour colour = 0;
            if (handler && handler != dialog && handler->OnCtlColor(colour)) {
                auto hdc = reinterpret_cast<HDC>(wp);
                SetTextColor(hdc, colour);
                SetBkMode(hdc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
            }
            return FALSE;
        }
        case WM_MOUSEMOVE:
            dialog->OnMouseMove(PointOf(lp));
            return TRUE;
        case WM_LBUTTONDOWN:
            dialog->OnLButtonDown(PointOf(lp));
            return TRUE;
        case WM_LBUTTONUP:
            dialog->OnLButtonUp(PointOf(lp));
            return TRUE;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wp) == hwnd && dialog->OnSetCursor()) {
                SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lp);
            if (hdr->code == TTN_GETDISPINFOW && dialog->ToolTipsEnabled() &&
                hdr->hwndFrom == dialog->impl()->toolTips) {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
                std::string text;
                const int id = (info->uFlags & TTF_IDISHWND)
                                   ? GetDlgCtrlID(reinterpret_cast<HWND>(hdr->idFrom))
                                   : static_cast<int>(hdr->idFrom);
                dialog->impl()->tipText = dialog->OnToolTipNeedText(id, text) ? Wide(text) : L"";
                info->lpszText = dialog->impl()->tipText.data();
                SendMessageW(hdr->hwndFrom, TTM_SETMAXTIPWIDTH, 0, 400);
                return TRUE;
            }
            return FALSE;
        }
        case WM_NCDESTROY:
            RemovePropW(hwnd, kHandlerProp);
            SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            dialog->impl()->hwnd = nullptr;
            return FALSE;
        default:
            if (msg >= WM_USER && dialog->OnMessage(msg, wp, lp)) {
                return TRUE;
            }
            return FALSE;
    }
}

// Tooltip windows of CToolTipCtrl objects (its members are backend-neutral).
std::map<const CToolTipCtrl*, HWND>& TipWindows() {
    static std::map<const CToolTipCtrl*, HWND> windows;
    return windows;
}

}  // namespace

// --- backend entry points -------------------------------------------------------------

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

// --- colours, fonts, cursors, painting --------------------------------------------------

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

// --- windows ---------------------------------------------------------------------------

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

// --- dialogs ---------------------------------------------------------------------------

CDialog::CDialog(const DialogTemplate& dialogTemplate, CWnd* parent)
    : template_(&dialogTemplate), parent_(parent) {}

CDialog::~CDialog() {
    CDialog::DestroyWindow();
}

bool CDialog::DestroyWindow() {
    impl_->wrappers.Clear();
    if (impl_->toolTips) {
        ::DestroyWindow(impl_->toolTips);
        impl_->toolTips = nullptr;
    }
    return CWnd::DestroyWindow();
}

int CDialog::DoModal() {
    if (IsWindow() || !backend::EnsureGui()) {
        return -1;
    }
    const std::vector<uint8_t> t = DialogAccess::Template(*this);
    if (t.empty()) {
        return -1;
    }
    modal_ = true;
    HWND owner = parent_ ? Hwnd(*parent_) : nullptr;
    const INT_PTR result =
        DialogBoxIndirectParamW(ThisModule(), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), owner,
                                DialogProc, reinterpret_cast<LPARAM>(this));
    impl_->wrappers.Clear();
    impl_->hwnd = nullptr;
    return static_cast<int>(result);
}

bool CDialog::Create(CWnd* parent) {
    if (IsWindow() || !backend::EnsureGui()) {
        return false;
    }
    parent_ = parent;
    const std::vector<uint8_t> t = DialogAccess::Template(*this);
    if (t.empty()) {
        return false;
    }
    modal_ = false;
    HWND owner = parent ? Hwnd(*parent) : nullptr;
    HWND hwnd =
        CreateDialogIndirectParamW(ThisModule(), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void CDialog::EndDialog(int result) {
    HWND hwnd = Hwnd(*this);
    if (!hwnd) {
        return;
    }
    if (modal_) {
        ::EndDialog(hwnd, result);
    } else {
        ::ShowWindow(hwnd, SW_HIDE);
    }
}

void CDialog::EnableToolTips(bool enable) {
    toolTips_ = enable;
    HWND hwnd = Hwnd(*this);
    if (!hwnd || !enable || impl_->toolTips) {
        if (impl_->toolTips) {
            SendMessageW(impl_->toolTips, TTM_ACTIVATE, enable, 0);
        }
        return;
    }
    impl_->toolTips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      hwnd, nullptr, ThisModule(), nullptr);
    if (!impl_->toolTips) {
        return;
    }
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hwnd;
        ti.uId = reinterpret_cast<UINT_PTR>(child);
        ti.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(impl_->toolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

// --- controls --------------------------------------------------------------------------

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

namespace win32 {
HWND HwndOf(const CWnd& wnd) {
    return Hwnd(wnd);
}
}  // namespace win32

// --- tooltips ----------------------------------------------------------------------------

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
