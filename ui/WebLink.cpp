#include "ui/WebLink.h"

#include <mutex>

#include "framework/App.h"
#include "framework/Template.h"
#include "platform/WebLink.h"

namespace vel::ui {

namespace {

std::mutex g_openerMutex;
CWebLink::Opener g_opener;

int Open(const std::string& address, int showMode) {
    CWebLink::Opener opener;
    {
        std::lock_guard lock(g_openerMutex);
        opener = g_opener;
    }
    return opener ? opener(address, showMode) : platform::OpenWebAddress(address, showMode);
}

}  // namespace

std::string WebLinkFailureText(int code) {
    return platform::WebLinkFailureMessage(code);
}

CWebLink::CWebLink() = default;

CWebLink::~CWebLink() {
    if (HasCapture()) {
        ReleaseCapture();
    }
}

void CWebLink::SetOpener(Opener opener) {
    std::lock_guard lock(g_openerMutex);
    g_opener = std::move(opener);
}

void CWebLink::SetColours(fw::Colour link, fw::Colour visited, fw::Colour hover) {
    link_ = link;
    visitedColour_ = visited;
    hover_ = hover;
    if (IsWindow()) {
        Invalidate();
    }
}

fw::Colour CWebLink::CurrentColour() const {
    if (over_) {
        return hover_;
    }
    return visited_ ? visitedColour_ : link_;
}

void CWebLink::SetURL(const std::string& address) {
    address_ = address;
    if (IsWindow()) {
        FitToText();
        toolTip_.UpdateTipText(address_, this, kToolId);
    }
}

void CWebLink::PreSubclassWindow() {
    ModifyStyle(0, fw::kNotify);
    if (address_.empty()) {
        address_ = GetWindowText();
    }
    if (GetWindowText().empty()) {
        SetWindowText(address_);
    }
    if (font_.CreateFromWindow(*this, underline_)) {
        SetFont(font_, true);
    }
    FitToText();
    cursor_ = fw::Cursor::LoadHand();
    if (fw::CWnd* parent = GetParent(); toolTip_.Create(parent ? parent : this)) {
        const fw::Rect client = GetClientRect();
        toolTip_.AddTool(this, address_, &client, kToolId);
    }
}

void CWebLink::FitToText() {
    if (!adjustToFit_ || !IsWindow()) {
        return;
    }
    fw::CWnd* parent = GetParent();
    fw::Rect r = parent ? parent->ScreenToClient(GetWindowRect()) : GetWindowRect();
    fw::CClientDC measure(*this);
    const fw::Size extent = measure.dc().GetTextExtent(GetWindowText());
    const uint32_t style = GetStyle();
    if (style & fw::kCenterVertically) {
        const int dy = (r.Height() - extent.cy) / 2;
        r.top += dy;
        r.bottom -= dy;
    } else {
        r.bottom = r.top + extent.cy;
    }
    if (style & fw::kAlignCenter) {
        const int dx = (r.Width() - extent.cx) / 2;
        r.left += dx;
        r.right -= dx;
    } else if (style & fw::kAlignRight) {
        r.left = r.right - extent.cx;
    } else {
        r.right = r.left + extent.cx;
    }
    MoveWindow(r, true);
    // The tool covers the client rectangle, which has just changed.
    if (toolTip_.IsActive() && !toolTip_.GetToolText(this, kToolId).empty()) {
        const fw::Rect client = GetClientRect();
        toolTip_.AddTool(this, address_, &client, kToolId);
    }
}

bool CWebLink::OnCtlColor(fw::Colour& textColour) {
    textColour = CurrentColour();
    return true;
}

bool CWebLink::OnSetCursor() {
    if (!cursor_) {
        return false;
    }
    fw::SetCursor(cursor_.get());
    return true;
}

void CWebLink::OnMouseMove(fw::Point client) {
    if (!over_) {
        over_ = true;
        RedrawWindow();
        SetCapture();
        return;
    }
    // Another window took the mouse: take it back, so that leaving is still seen.
    if (IsCaptureHeld() && !HasCapture()) {
        SetCapture();
    }
    if (!GetClientRect().Contains(client)) {
        over_ = false;
        ReleaseCapture();
        RedrawWindow();
    }
}

bool CWebLink::OnReflectedCommand(int code) {
    if (code != fw::kBnClicked) {
        return false;
    }
    Follow();
    return true;
}

void CWebLink::Follow() {
    const int result = Open(address_, platform::kShowNormal);
    if (platform::WebAddressOpened(result)) {
        visited_ = true;
        if (IsWindow()) {
            Invalidate(true);
        }
        return;
    }
    visited_ = false;
    fw::MessageBeep(fw::kMbIconExclamation);
    fw::AfxMessageBox(WebLinkFailureText(result), fw::kMbOk | fw::kMbIconExclamation);
}

}  // namespace vel::ui
