// The Qt backend's windows.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

CWnd::CWnd() : impl_(std::make_unique<WindowImpl>()) {}

CWnd::~CWnd() {
    Unregister(impl_->serial.load());
    if (QWidget* w = impl_->widget.data()) {
        if (HandlerOf(w) == this) {
            Handlers().remove(w);
        }
    }
}

bool CWnd::IsWindow() const {
    return impl_->widget != nullptr;
}

bool CWnd::DestroyWindow() {
    QWidget* w = impl_->widget.data();
    if (!w) {
        return false;
    }
    if (HandlerOf(w) == this) {
        Handlers().remove(w);
    }
    Unregister(impl_->serial.exchange(0));
    impl_->widget = nullptr;
    delete w;
    return true;
}

bool CWnd::SubclassDlgItem(int id, CWnd* parent) {
    QWidget* w = parent ? qt::ControlWidget(*parent, id) : nullptr;
    if (!w) {
        return false;
    }
    impl_->widget = w;
    impl_->serial.store(Register(this));
    Handlers().insert(w, this);
    PreSubclassWindow();
    return true;
}

CWnd* CWnd::GetDlgItem(int id) const {
    QWidget* w = qt::ControlWidget(*this, id);
    if (!w) {
        return nullptr;
    }
    if (CWnd* handler = HandlerOf(w)) {
        return handler;
    }
    if (CWnd* wrapper = impl_->wrappers.Find(id, w)) {
        return wrapper;
    }
    auto wrapper = std::make_unique<CWnd>();
    wrapper->impl_->widget = w;
    wrapper->impl_->serial.store(Register(wrapper.get()));
    return impl_->wrappers.Keep(id, w, std::move(wrapper));
}

int CWnd::GetDlgCtrlID() const {
    QWidget* w = Widget(*this);
    return w ? w->property(kIdProperty).toInt() : 0;
}

CWnd* CWnd::GetParent() const {
    QWidget* w = Widget(*this);
    return w ? HandlerOf(w->parentWidget()) : nullptr;
}

void CWnd::ShowWindow(int showCommand) {
    if (QWidget* w = Widget(*this)) {
        w->setVisible(showCommand != kSwHide);
    }
}

bool CWnd::IsWindowVisible() const {
    QWidget* w = Widget(*this);
    return w && w->isVisible();
}

void CWnd::EnableWindow(bool enable) {
    if (QWidget* w = Widget(*this)) {
        w->setEnabled(enable);
    }
}

bool CWnd::IsWindowEnabled() const {
    QWidget* w = Widget(*this);
    return w && w->isEnabled();
}

void CWnd::SetWindowText(std::string_view text) {
    QWidget* w = Widget(*this);
    if (!w) {
        return;
    }
    const QString q = ToQ(text);
    w->setProperty(kTextProperty, q);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(LabelDisplayText(q));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(q);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != q) {
            edit->setText(q);
        } else {
            // Setting the same text still notifies, as an edit control does.
            DeliverCommand(edit, kEnChange);
        }
    } else {
        w->setWindowTitle(q);
    }
}

std::string CWnd::GetWindowText() const {
    QWidget* w = Widget(*this);
    if (!w) {
        return {};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return FromQ(edit->text());
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        return FromQ(combo->currentText());
    }
    if (w->isWindow()) {
        return FromQ(w->windowTitle());
    }
    return FromQ(w->property(kTextProperty).toString());
}

void CWnd::SetFocus() {
    if (QWidget* w = Widget(*this)) {
        w->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->selectAll();
        }
    }
}

bool CWnd::HasFocus() const {
    QWidget* w = Widget(*this);
    return w && (w->hasFocus() || (w->window() && w->window()->focusWidget() == w));
}

void CWnd::Invalidate(bool /*erase*/) {
    if (QWidget* w = Widget(*this)) {
        w->update();
    }
}

void CWnd::InvalidateRect(const Rect& rect, bool /*erase*/) {
    if (QWidget* w = Widget(*this)) {
        w->update(ToQRect(rect));
    }
}

void CWnd::UpdateWindow() {
    if (QWidget* w = Widget(*this); w && w->isVisible()) {
        w->repaint();
    }
}

void CWnd::RedrawWindow() {
    Invalidate(true);
    UpdateWindow();
}

bool CWnd::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const uint64_t serial = impl_->serial.load();
    if (serial == 0 || !g_router) {
        return false;
    }
    QCoreApplication::postEvent(g_router, new PostedMessage(serial, message, wParam, lParam));
    return true;
}

void CWnd::SetCapture() {
    if (QWidget* w = Widget(*this)) {
        w->grabMouse();
    }
}

bool CWnd::HasCapture() const {
    QWidget* w = Widget(*this);
    return w && QWidget::mouseGrabber() == w;
}

bool CWnd::IsCaptureHeld() {
    return QWidget::mouseGrabber() != nullptr;
}

void CWnd::ReleaseCapture() {
    if (QWidget* w = QWidget::mouseGrabber()) {
        w->releaseMouse();
    }
}

Rect CWnd::GetClientRect() const {
    QWidget* w = Widget(*this);
    return w ? Rect{0, 0, w->width(), w->height()} : Rect{};
}

Rect CWnd::GetWindowRect() const {
    QWidget* w = Widget(*this);
    if (!w) {
        return {};
    }
    if (w->isWindow()) {
        return FromQRect(w->frameGeometry());
    }
    const QPoint topLeft = w->mapToGlobal(QPoint(0, 0));
    return {topLeft.x(), topLeft.y(), topLeft.x() + w->width(), topLeft.y() + w->height()};
}

Point CWnd::ScreenToClient(Point p) const {
    QWidget* w = Widget(*this);
    if (!w) {
        return p;
    }
    const QPoint q = w->mapFromGlobal(QPoint(p.x, p.y));
    return {q.x(), q.y()};
}

Rect CWnd::ScreenToClient(const Rect& r) const {
    const Point a = ScreenToClient(Point{r.left, r.top});
    return {a.x, a.y, a.x + r.Width(), a.y + r.Height()};
}

void CWnd::MoveWindow(const Rect& rect, bool repaint) {
    if (QWidget* w = Widget(*this)) {
        w->setGeometry(ToQRect(rect));
        if (repaint) {
            w->update();
        }
    }
}

Rect CWnd::MapDialogRect(const Rect& du) const {
    const QWidget* w = Widget(*this);
    const QWidget* top = w ? w->window() : nullptr;
    const CWnd* dialog = top ? HandlerOf(top) : nullptr;
    const WindowImpl* impl = dialog ? dialog->impl() : impl_.get();
    const int bx = impl->baseX > 0 ? impl->baseX : 6;
    const int by = impl->baseY > 0 ? impl->baseY : 13;
    return {MulDiv(du.left, bx, 4), MulDiv(du.top, by, 8), MulDiv(du.right, bx, 4),
            MulDiv(du.bottom, by, 8)};
}

Size CWnd::GetDialogBaseUnits() const {
    const Rect r = MapDialogRect({0, 0, 4, 8});
    return {r.right, r.bottom};
}

uint32_t CWnd::GetStyle() const {
    QWidget* w = Widget(*this);
    return w ? w->property(kStyleProperty).toUInt() : 0u;
}

void CWnd::ModifyStyle(uint32_t remove, uint32_t add) {
    if (QWidget* w = Widget(*this)) {
        w->setProperty(kStyleProperty, (GetStyle() & ~remove) | add);
    }
}

void CWnd::SetFont(const CFont& font, bool redraw) {
    QWidget* w = Widget(*this);
    if (!w || !font.impl()) {
        return;
    }
    w->setFont(font.impl()->font);
    if (redraw) {
        w->update();
    }
}

}  // namespace vel::fw
