// The Qt backend's message routing: which object handles a widget, posted messages, command
// notifications.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

namespace {

std::mutex g_serialMutex;
std::unordered_map<uint64_t, CWnd*> g_bySerial;
std::atomic<uint64_t> g_nextSerial{1};

// Sees every event of the application (an application-wide filter gets all receivers' events,
// so it is kept apart from the per-widget router) and notes a quit request.
class QuitWatcher : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == qApp && e->type() == QEvent::Quit && g_router) {
            g_router->quitSeen = true;
        }
        return false;
    }
};
QuitWatcher* g_quitWatcher = nullptr;

}  // namespace

// Which framework object handles a widget's messages: its subclassing object, or the dialog
// object for a dialog's own widget. GUI thread only.
QHash<const QWidget*, CWnd*>& Handlers() {
    static QHash<const QWidget*, CWnd*> handlers;
    return handlers;
}

CWnd* HandlerOf(const QWidget* w) {
    return w ? Handlers().value(w, nullptr) : nullptr;
}

uint64_t Register(CWnd* wnd) {
    const uint64_t serial = g_nextSerial.fetch_add(1);
    std::lock_guard lock(g_serialMutex);
    g_bySerial[serial] = wnd;
    return serial;
}

void Unregister(uint64_t serial) {
    if (serial == 0) {
        return;
    }
    std::lock_guard lock(g_serialMutex);
    g_bySerial.erase(serial);
}

CWnd* BySerial(uint64_t serial) {
    std::lock_guard lock(g_serialMutex);
    const auto it = g_bySerial.find(serial);
    return it == g_bySerial.end() ? nullptr : it->second;
}

QString LabelDisplayText(const QString& raw) {
    QString out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('&')) {
            if (i + 1 < raw.size() && raw[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += raw[i];
    }
    return out;
}

CDialog* DialogOf(const QWidget* control) {
    for (QWidget* p = control ? control->parentWidget() : nullptr; p; p = p->parentWidget()) {
        if (auto* d = dynamic_cast<DialogWidget*>(p)) {
            return dynamic_cast<CDialog*>(HandlerOf(d));
        }
    }
    return nullptr;
}

// A control's notification: reflected to its own object first, then to its dialog.
void DeliverCommand(QWidget* control, int code) {
    const int id = control->property(kIdProperty).toInt();
    CDialog* dialog = DialogOf(control);
    if (CWnd* handler = HandlerOf(control)) {
        if (handler != dialog && handler->OnReflectedCommand(code)) {
            return;
        }
    }
    if (dialog) {
        dialog->OnCommand(id, code);
    }
}

// The router's code lives in this library: it leaves the application object before the
// library's statics go (process exit or unload).
struct RouterOwner {
    ~RouterOwner() {
        if (g_quitWatcher) {
            if (qApp) {
                qApp->removeEventFilter(g_quitWatcher);
            }
            delete g_quitWatcher;
            g_quitWatcher = nullptr;
        }
        delete g_router;
        g_router = nullptr;
    }
};

void InstallRouter() {
    static RouterOwner owner;
    if (!g_router) {
        g_router = new Router;
        g_quitWatcher = new QuitWatcher;
        qApp->installEventFilter(g_quitWatcher);
    }
}

}  // namespace vel::fw
