#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include "framework/qt/QtAccess.h"
#include "tests/ui/UiTestSupport.h"

namespace vel::test {

std::multiset<std::string> LabelTexts(const fw::CWnd& dialog) {
    std::multiset<std::string> texts;
    for (QWidget* w : fw::qt::WidgetOf(dialog)->findChildren<QWidget*>()) {
        if (fw::qt::ControlId(w) == fw::kIdStatic) {
            texts.insert(fw::qt::RawText(w));
        }
    }
    return texts;
}

void PressKey(fw::CWnd& window, Key key) {
    QWidget* to =
        QApplication::focusWidget() ? QApplication::focusWidget() : fw::qt::WidgetOf(window);
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key == Key::Escape ? Qt::Key_Escape : Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    }
}

void Mouse(fw::CWnd& control, fw::Point at, bool click) {
    QWidget* w = fw::qt::WidgetOf(control);
    const auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at.x, at.y), QPointF(w->mapToGlobal(QPoint(at.x, at.y))),
                          button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    };
    if (!click) {
        return send(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    }
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
}

void Drag(fw::CWnd& window, fw::Point from, fw::Point to) {
    QWidget* w = fw::qt::WidgetOf(window);
    const auto send = [&](QEvent::Type type, fw::Point at, Qt::MouseButton button,
                          Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at.x, at.y), QPointF(w->mapToGlobal(QPoint(at.x, at.y))),
                          button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

std::vector<std::string> CloseActiveDialog(int comboId) {
    std::vector<std::string> items;
    QWidget* dialog = QApplication::activeModalWidget();
    const QList<QWidget*> children = dialog ? dialog->findChildren<QWidget*>() : QList<QWidget*>();
    for (QWidget* w : children) {
        auto* combo = qobject_cast<QComboBox*>(w);
        for (int i = 0; combo && fw::qt::ControlId(w) == comboId && i < combo->count(); ++i) {
            items.push_back(combo->itemText(i).toStdString());
        }
    }
    for (QWidget* w : children) {
        if (auto* button = qobject_cast<QAbstractButton*>(w);
            button && fw::qt::ControlId(w) == fw::kIdCancel) {
            button->click();
        }
    }
    return items;
}

void Later(std::function<void()> step) {
    QTimer::singleShot(0, qApp, std::move(step));
}

}  // namespace vel::test

// fontconfig keeps its font cache for the life of the process and frees it nowhere.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
