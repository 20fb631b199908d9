// The default handlers of every window: nothing handled, so the backend's default runs.

#include <string>

#include "framework/Wnd.h"

namespace vel::fw {

bool CWnd::OnMessage(uint32_t, uintptr_t, intptr_t) {
    return false;
}
void CWnd::OnPaint(CDC&) {}
void CWnd::OnMouseMove(Point) {}
void CWnd::OnLButtonDown(Point) {}
void CWnd::OnLButtonUp(Point) {}
bool CWnd::OnSetCursor() {
    return false;
}
bool CWnd::OnCtlColor(Colour&) {
    return false;
}
bool CWnd::OnReflectedCommand(int) {
    return false;
}
bool CWnd::DrawItem(DrawItemInfo&) {
    return false;
}
bool CWnd::OnCommand(int, int) {
    return false;
}
void CWnd::OnHScroll(int, int) {}
bool CWnd::OnToolTipNeedText(int, std::string&) {
    return false;
}
void CWnd::PreSubclassWindow() {}

}  // namespace vel::fw
