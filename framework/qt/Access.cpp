// The Qt widgets behind framework windows, for tests and tools.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

namespace qt {

QWidget* WidgetOf(const CWnd& wnd) {
    return Widget(wnd);
}

QWidget* ControlWidget(const CWnd& dialog, int id) {
    QWidget* top = Widget(dialog);
    if (!top || id == kIdStatic) {
        return nullptr;
    }
    for (QWidget* child : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->property(kIdProperty).toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

int ControlId(const QWidget* widget) {
    return widget ? widget->property(kIdProperty).toInt() : 0;
}

std::string RawText(const QWidget* widget) {
    return widget ? FromQ(widget->property(kTextProperty).toString()) : std::string();
}

std::string ToolTipAt(QWidget* widget, Point client) {
    if (!widget) {
        return {};
    }
    // Tools of tooltip controls first, then the dialog's own tips for its controls.
    CWnd* handler = HandlerOf(widget);
    for (const auto& [w, tip] : ToolTipOwners()) {
        if (w != widget) {
            continue;
        }
        CWnd* wnd = handler;
        if (!wnd) {
            if (CDialog* d = DialogOf(widget)) {
                wnd = d->GetDlgItem(ControlId(widget));
            }
        }
        if (wnd) {
            const std::string text = tip->TextAt(wnd, client);
            if (!text.empty()) {
                return text;
            }
        }
    }
    CDialog* dialog = DialogOf(widget);
    if (dialog && dialog->ToolTipsEnabled()) {
        std::string text;
        if (dialog->OnToolTipNeedText(ControlId(widget), text)) {
            return text;
        }
    }
    return {};
}

}  // namespace qt

}  // namespace vel::fw
