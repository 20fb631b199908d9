// The Win32 backend's message routing: the control and dialog procedures.

#include "framework/win32/Win32Internal.h"

namespace vel::fw {

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

}  // namespace vel::fw
