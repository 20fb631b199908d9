#pragma once
// What the files of the Qt backend share: the backend's halves of the framework's objects, the
// widget properties that carry a control's template, the event router and the dialog widget.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyleOptionButton>
#include <QThread>
#include <QToolTip>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <unordered_map>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "framework/App.h"
#include "framework/Backend.h"
#include "framework/ControlWrappers.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Template.h"
#include "framework/Wnd.h"
#include "framework/qt/QtAccess.h"

namespace vel::fw {

struct WindowImpl {
    QPointer<QWidget> widget;
    std::atomic<uint64_t> serial{0};
    ControlWrappers wrappers;  // dialogs only
    int baseX = 0;             // dialog base units of the dialog font
    int baseY = 0;
    bool modal = false;
};

struct FontImpl {
    QFont font;
};

struct CursorImpl {
    QCursor cursor;
};

struct CDC::Impl {
    QPainter* painter = nullptr;
    QWidget* widget = nullptr;
    QFont font;
    QColor text{Qt::black};
};

inline constexpr const char* kIdProperty = "velnrId";
inline constexpr const char* kTextProperty = "velnrText";
inline constexpr const char* kStyleProperty = "velnrStyle";
inline constexpr const char* kKindProperty = "velnrKind";

// Which framework object handles a widget's messages: its subclassing object, or the dialog
// object for a dialog's own widget. GUI thread only.
QHash<const QWidget*, CWnd*>& Handlers();
CWnd* HandlerOf(const QWidget* w);

// Posted messages are addressed by a serial number, never by pointer, so that a message
// posted to a window that has gone meanwhile is dropped, as for a stale window handle.
uint64_t Register(CWnd* wnd);
void Unregister(uint64_t serial);
CWnd* BySerial(uint64_t serial);

inline const QEvent::Type kPostedType = static_cast<QEvent::Type>(QEvent::User + 98);

class PostedMessage : public QEvent {
  public:
    PostedMessage(uint64_t serial, uint32_t message, uintptr_t wParam, intptr_t lParam)
        : QEvent(kPostedType),
          serial_(serial),
          message_(message),
          wParam_(wParam),
          lParam_(lParam) {}
    uint64_t serial_;
    uint32_t message_;
    uintptr_t wParam_;
    intptr_t lParam_;
};

inline QString ToQ(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string FromQ(const QString& s) {
    return s.toUtf8().toStdString();
}

// A static control shows "&&" as one ampersand and drops a lone prefix character.
QString LabelDisplayText(const QString& raw);

inline int MulDiv(int a, int b, int c) {
    const double v = static_cast<double>(a) * b / c;
    return static_cast<int>(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

inline Rect FromQRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}
inline QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

inline QColor ToQColor(Colour c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

CDialog* DialogOf(const QWidget* control);
// A control's notification: reflected to its own object first, then to its dialog.
void DeliverCommand(QWidget* control, int code);
inline QPointer<QWidget> g_cursorWidget;  // the widget whose mouse event was handled last

// Routes events of every widget the framework created; also receives posted messages.
class Router : public QObject {
  public:
    bool quitSeen = false;
    bool settingPosition = false;  // a programmatic slider change is no user scroll

  protected:
    bool event(QEvent* e) override {
        if (e->type() == kPostedType) {
            auto* m = static_cast<PostedMessage*>(e);
            if (CWnd* wnd = BySerial(m->serial_)) {
                wnd->OnMessage(m->message_, m->wParam_, m->lParam_);
            }
            return true;
        }
        return QObject::event(e);
    }

    bool eventFilter(QObject* watched, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w) {
            return false;
        }
        CWnd* handler = HandlerOf(w);
        switch (e->type()) {
            case QEvent::MouseMove: {
                const auto* me = static_cast<QMouseEvent*>(e);
                g_cursorWidget = w;
                if (handler) {
                    if (QWidget::mouseGrabber() != w && !handler->OnSetCursor()) {
                        w->unsetCursor();
                    }
                    handler->OnMouseMove({static_cast<int>(me->position().x()),
                                          static_cast<int>(me->position().y())});
                }
                return false;
            }
            case QEvent::MouseButtonPress: {
                const auto* me = static_cast<QMouseEvent*>(e);
                if (handler && me->button() == Qt::LeftButton) {
                    handler->OnLButtonDown({static_cast<int>(me->position().x()),
                                            static_cast<int>(me->position().y())});
                }
                return false;
            }
            case QEvent::MouseButtonRelease: {
                const auto* me = static_cast<QMouseEvent*>(e);
                if (me->button() != Qt::LeftButton) {
                    return false;
                }
                const QPointer<QWidget> guard(w);
                if (handler) {
                    handler->OnLButtonUp({static_cast<int>(me->position().x()),
                                          static_cast<int>(me->position().y())});
                }
                // A notifying static reports the click to its owner.
                if (guard && qobject_cast<QLabel*>(w) &&
                    (w->property(kStyleProperty).toUInt() & kNotify) != 0 &&
                    w->rect().contains(me->position().toPoint())) {
                    DeliverCommand(w, kBnClicked);
                }
                return false;
            }
            case QEvent::ToolTip: {
                auto* he = static_cast<QHelpEvent*>(e);
                const std::string text = qt::ToolTipAt(w, {he->pos().x(), he->pos().y()});
                if (text.empty()) {
                    QToolTip::hideText();
                } else {
                    QToolTip::showText(he->globalPos(), ToQ(text), w);
                }
                return true;
            }
            default:
                return false;
        }
    }
};

inline Router* g_router = nullptr;
// Makes the router (once the application object exists); it lives until the library's end.
void InstallRouter();

std::vector<std::pair<QWidget*, const CToolTipCtrl*>>& ToolTipOwners();

class DialogWidget : public QDialog {
  public:
    DialogWidget(CDialog* dialog, QWidget* parent, Qt::WindowFlags flags)
        : QDialog(parent, flags), dialog_(dialog) {}

    void reject() override {
        // Escape, the close box: the Cancel command, as a dialog's keyboard handling does.
        if (dialog_) {
            dialog_->OnCommand(kIdCancel, kBnClicked);
        }
    }
    void Detach() { dialog_ = nullptr; }

  protected:
    void paintEvent(QPaintEvent* e) override {
        QDialog::paintEvent(e);
        if (dialog_) {
            QPainter painter(this);
            CDC::Impl impl{&painter, this, font(), palette().color(QPalette::WindowText)};
            CDC dc(&impl);
            dialog_->OnPaint(dc);
        }
    }
    void keyPressEvent(QKeyEvent* e) override {
        const bool dialogKey =
            e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        if (dialogKey && !(dialog_ && dialog_->HandlesDialogKeys())) {
            // A modeless window is pumped without dialog-box keyboard handling.
            e->ignore();
            return;
        }
        QDialog::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        if (dialog_ && !dialog_->HandlesDialogKeys()) {
            e->ignore();  // a modeless window is closed only by its owner
            return;
        }
        QDialog::closeEvent(e);
    }

  private:
    CDialog* dialog_;
};

inline QWidget* Widget(const CWnd& wnd) {
    return wnd.impl() ? wnd.impl()->widget.data() : nullptr;
}

template <typename T>
inline T* As(const CWnd& wnd) {
    return qobject_cast<T*>(Widget(wnd));
}

inline bool OnGuiThread() {
    return qApp && QThread::currentThread() == qApp->thread();
}

// Qt ends the process when its platform cannot start, so the platform is checked first.
// Returns the platform to ask for, or empty when none is usable.
std::string UsablePlatform(std::string& reason);

}  // namespace vel::fw
