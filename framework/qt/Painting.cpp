// The Qt backend's colours, fonts, cursors and painting.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

Colour GetSysColor(SysColour which) {
    if (!qApp) {
        switch (which) {
            case SysColour::ButtonFace:
                return Rgb(240, 240, 240);
            case SysColour::ButtonShadow:
                return Rgb(160, 160, 160);
            case SysColour::ButtonHighlight:
            case SysColour::Window:
                return Rgb(255, 255, 255);
            default:
                return Rgb(0, 0, 0);
        }
    }
    const QPalette p = QApplication::palette();
    QColor c;
    switch (which) {
        case SysColour::ButtonFace:
            c = p.color(QPalette::Button);
            break;
        case SysColour::ButtonShadow:
            c = p.color(QPalette::Dark);
            break;
        case SysColour::ButtonText:
            c = p.color(QPalette::ButtonText);
            break;
        case SysColour::ButtonHighlight:
            c = p.color(QPalette::Light);
            break;
        case SysColour::Window:
            c = p.color(QPalette::Window);
            break;
        case SysColour::WindowText:
            c = p.color(QPalette::WindowText);
            break;
    }
    return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
               static_cast<uint8_t>(c.blue()));
}

CFont::CFont() = default;
CFont::~CFont() = default;

bool CFont::CreateFromWindow(const CWnd& wnd, bool underline) {
    QWidget* w = Widget(wnd);
    if (!w) {
        return false;
    }
    impl_ = std::make_unique<FontImpl>();
    impl_->font = w->font();
    impl_->font.setUnderline(underline);
    return true;
}

bool CFont::Underlined() const {
    return impl_ && impl_->font.underline();
}

Cursor::Cursor(std::unique_ptr<CursorImpl> impl) : impl_(std::move(impl)) {}
Cursor::~Cursor() = default;

std::unique_ptr<Cursor> Cursor::LoadHand() {
    auto impl = std::make_unique<CursorImpl>();
    impl->cursor = QCursor(Qt::PointingHandCursor);
    return std::make_unique<Cursor>(std::move(impl));
}

void SetCursor(const Cursor* cursor) {
    // The widget holding the mouse, else the one whose mouse event is being handled.
    QWidget* w = QWidget::mouseGrabber();
    if (!w) {
        w = g_cursorWidget.data();
    }
    if (!w && qApp) {
        w = QApplication::widgetAt(QCursor::pos());
    }
    if (!w) {
        return;
    }
    if (cursor && cursor->impl()) {
        w->setCursor(cursor->impl()->cursor);
    } else {
        w->unsetCursor();
    }
}

void CDC::FillSolidRect(const Rect& rect, Colour colour) {
    if (impl_->painter) {
        impl_->painter->fillRect(ToQRect(rect), ToQColor(colour));
    }
}

void CDC::Draw3dRect(const Rect& r, Colour topLeft, Colour bottomRight) {
    QPainter* p = impl_->painter;
    if (!p || r.Width() <= 0 || r.Height() <= 0) {
        return;
    }
    p->fillRect(QRect(r.left, r.top, r.Width() - 1, 1), ToQColor(topLeft));
    p->fillRect(QRect(r.left, r.top, 1, r.Height() - 1), ToQColor(topLeft));
    p->fillRect(QRect(r.right - 1, r.top, 1, r.Height()), ToQColor(bottomRight));
    p->fillRect(QRect(r.left, r.bottom - 1, r.Width(), 1), ToQColor(bottomRight));
}

void CDC::DrawPushButtonFrame(const Rect& rect, bool pushed) {
    if (!impl_->painter) {
        return;
    }
    QStyleOptionButton option;
    option.rect = ToQRect(rect);
    option.state = QStyle::State_Enabled | (pushed ? QStyle::State_Sunken : QStyle::State_Raised);
    QStyle* style = impl_->widget ? impl_->widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_PushButtonBevel, &option, impl_->painter, impl_->widget);
}

void CDC::DrawBitmap(int x, int y, int width, int height, int stride, const uint8_t* bits) {
    if (!impl_->painter || width <= 0 || height <= 0 || !bits) {
        return;
    }
    QImage image(width, height, QImage::Format_RGB888);
    for (int row = 0; row < height; ++row) {
        const uint8_t* src =
            bits + static_cast<size_t>(height - 1 - row) * static_cast<size_t>(stride);
        uchar* dst = image.scanLine(row);
        for (int col = 0; col < width; ++col) {
            dst[3 * col] = src[3 * col + 2];
            dst[3 * col + 1] = src[3 * col + 1];
            dst[3 * col + 2] = src[3 * col];
        }
    }
    impl_->painter->drawImage(QPoint(x, y), image);
}

void CDC::DrawBitmap(int x, int y, const Bitmap& bitmap) {
    DrawBitmap(x, y, bitmap.width, bitmap.height, bitmap.stride, bitmap.bits.data());
}

void CDC::SelectFont(const CFont& font) {
    if (font.impl()) {
        impl_->font = font.impl()->font;
    }
}

void CDC::SetTextColor(Colour colour) {
    impl_->text = ToQColor(colour);
}

void CDC::SetBkTransparent() {}

Size CDC::GetTextExtent(std::string_view text, bool expandTabs) const {
    const QFontMetrics fm(impl_->font);
    QString s = ToQ(text);
    if (expandTabs) {
        // Tab stops every eight average characters, as the tabbed measuring does.
        const QRect r =
            fm.boundingRect(QRect(0, 0, 100000, 1000), Qt::TextExpandTabs | Qt::TextSingleLine, s);
        return {r.width(), fm.height()};
    }
    return {fm.horizontalAdvance(s), fm.height()};
}

void CDC::DrawText(std::string_view text, const Rect& rect, uint32_t flags) {
    if (!impl_->painter) {
        return;
    }
    int align = (flags & kDtCenter)  ? Qt::AlignHCenter
                : (flags & kDtRight) ? Qt::AlignRight
                                     : Qt::AlignLeft;
    align |= (flags & kDtVCenter) ? Qt::AlignVCenter : Qt::AlignTop;
    if (flags & kDtSingleLine) {
        align |= Qt::TextSingleLine;
    }
    if (flags & kDtExpandTabs) {
        align |= Qt::TextExpandTabs;
    }
    impl_->painter->save();
    impl_->painter->setFont(impl_->font);
    impl_->painter->setPen(impl_->text);
    impl_->painter->drawText(ToQRect(rect), align, ToQ(text));
    impl_->painter->restore();
}

CClientDC::CClientDC(const CWnd& wnd) : impl_(std::make_unique<CDC::Impl>()) {
    if (QWidget* w = Widget(wnd)) {
        impl_->widget = w;
        impl_->font = w->font();
    }
    dc_ = std::make_unique<CDC>(impl_.get());
}

CClientDC::~CClientDC() = default;

}  // namespace vel::fw
