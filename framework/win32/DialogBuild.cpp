// The Win32 backend's dialogs: templates built in memory for the dialog manager.

#include "framework/win32/Win32Internal.h"

namespace vel::fw {

namespace {

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

uint32_t NativeStyle(const ControlTemplate& c) {
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

}  // namespace

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
        b.Dword(NativeStyle(c));
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

}  // namespace vel::fw
