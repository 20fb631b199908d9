// The window framework on Qt 6 Widgets. Dialogs are built from the templates of resources/,
// their dialog units converted with the dialog font's metrics; control notifications,
// painting, mouse and posted messages are routed to the framework's handlers.

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
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Template.h"
#include "framework/Wnd.h"
#include "framework/qt/QtAccess.h"
#include "platform/Product.h"

namespace vel::fw {

struct WindowImpl {
    QPointer<QWidget> widget;
    std::atomic<uint64_t> serial{0};
    // Dialogs only: plain wrappers handed out by GetDlgItem, by control id.
    std::map<int, std::unique_ptr<CWnd>> wrappers;
    int baseX = 0;  // dialog base units of the dialog font
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

namespace {

constexpr const char* kIdProperty = "velnrId";
constexpr const char* kTextProperty = "velnrText";
constexpr const char* kStyleProperty = "velnrStyle";
constexpr const char* kKindProperty = "velnrKind";

// Which framework object handles a widget's messages: its subclassing object, or the dialog
// object for a dialog's own widget. GUI thread only.
QHash<const QWidget*, CWnd*>& Handlers() {
    static QHash<const QWidget*, CWnd*> handlers;
    return handlers;
}

CWnd* HandlerOf(const QWidget* w) {
    return w ? Handlers().value(w, nullptr) : nullptr;
}

// Posted messages are addressed by a serial number, never by pointer, so that a message
// posted to a window that has gone meanwhile is dropped, as for a stale window handle.
std::mutex g_serialMutex;
std::unordered_map<uint64_t, CWnd*> g_bySerial;
std::atomic<uint64_t> g_nextSerial{1};

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

const QEvent::Type kPostedType = static_cast<QEvent::Type>(QEvent::User + 98);

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

QString ToQ(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string FromQ(const QString& s) {
    return s.toUtf8().toStdString();
}

// A static control shows "&&" as one ampersand and drops a lone prefix character.
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

int MulDiv(int a, int b, int c) {
    const double v = static_cast<double>(a) * b / c;
    return static_cast<int>(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

Rect FromQRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}
QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

QColor ToQColor(Colour c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

CDialog* DialogOf(const QWidget* control);
void DeliverCommand(QWidget* control, int code);
extern QPointer<QWidget> g_cursorWidget;

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

Router* g_router = nullptr;

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
QPointer<QWidget> g_cursorWidget;  // the widget whose mouse event was handled last

std::vector<std::pair<QWidget*, const CToolTipCtrl*>>& ToolTipOwners() {
    static std::vector<std::pair<QWidget*, const CToolTipCtrl*>> owners;
    return owners;
}

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

class LabelWidget : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent* e) override {
        if (CWnd* handler = HandlerOf(this)) {
            Colour colour = 0;
            if (handler->OnCtlColor(colour)) {
                QPalette p = palette();
                p.setColor(QPalette::WindowText, ToQColor(colour));
                setPalette(p);
            }
        }
        QLabel::paintEvent(e);
    }
};

class OwnerDrawButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        CDC::Impl impl{&painter, this, font(), palette().color(QPalette::ButtonText)};
        CDC dc(&impl);
        DrawItemInfo info{dc,         FromQRect(rect()), isDown(),
                          hasFocus(), !isEnabled(),      property(kIdProperty).toInt()};
        CWnd* handler = HandlerOf(this);
        if (handler && handler->DrawItem(info)) {
            return;
        }
        if (CDialog* dialog = DialogOf(this)) {
            dialog->DrawItem(info);
        }
    }
};

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

void SetProps(QWidget* w, const ControlTemplate& c) {
    w->setProperty(kIdProperty, c.id);
    w->setProperty(kTextProperty, QString::fromUtf8(c.text));
    w->setProperty(kStyleProperty, static_cast<uint>(c.style));
    w->setProperty(kKindProperty, static_cast<int>(c.kind));
    w->installEventFilter(g_router);
}

QWidget* CreateControl(const ControlTemplate& c, QWidget* parent, bool modal,
                       const std::function<QRect(const ControlTemplate&)>& geometry) {
    QWidget* w = nullptr;
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
        case ControlKind::Label: {
            auto* label = new LabelWidget(LabelDisplayText(text), parent);
            Qt::Alignment align = (c.style & kAlignCenter)  ? Qt::AlignHCenter
                                  : (c.style & kAlignRight) ? Qt::AlignRight
                                                            : Qt::AlignLeft;
            align |= (c.style & kCenterVertically) ? Qt::AlignVCenter : Qt::AlignTop;
            label->setAlignment(align);
            label->setMouseTracking(true);
            w = label;
            break;
        }
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(modal);
            button->setDefault(modal && c.kind == ControlKind::DefPushButton);
            QObject::connect(button, &QPushButton::clicked, button,
                             [button] { DeliverCommand(button, kBnClicked); });
            w = button;
            break;
        }
        case ControlKind::OwnerDrawButton: {
            auto* button = new OwnerDrawButton(parent);
            button->setAutoDefault(false);
            button->setMouseTracking(true);
            QObject::connect(button, &QPushButton::clicked, button,
                             [button] { DeliverCommand(button, kBnClicked); });
            w = button;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(text, parent);
            QObject::connect(box, &QCheckBox::clicked, box,
                             [box] { DeliverCommand(box, kBnClicked); });
            w = box;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, parent);
            if (c.style & kAlignCenter) {
                edit->setAlignment(Qt::AlignHCenter);
            }
            edit->setFrame((c.style & kBorder) != 0);
            QObject::connect(edit, &QLineEdit::textChanged, edit,
                             [edit] { DeliverCommand(edit, kEnChange); });
            w = edit;
            break;
        }
        case ControlKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            for (const char* item : c.items) {
                combo->addItem(QString::fromUtf8(item));
            }
            combo->setCurrentIndex(-1);
            QObject::connect(combo, &QComboBox::activated, combo,
                             [combo](int) { DeliverCommand(combo, kCbnSelChange); });
            w = combo;
            break;
        }
        case ControlKind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, parent);
            slider->setRange(0, 100);  // the trackbar's initial range
            if (c.style & kAutoTicks) {
                slider->setTickPosition(QSlider::TicksBelow);
                slider->setTickInterval(1);
            }
            QObject::connect(slider, &QSlider::valueChanged, slider, [slider](int value) {
                if (g_router && g_router->settingPosition) {
                    return;
                }
                if (CDialog* dialog = DialogOf(slider)) {
                    dialog->OnHScroll(slider->property(kIdProperty).toInt(), value);
                }
            });
            w = slider;
            break;
        }
        case ControlKind::Progress: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            w = bar;
            break;
        }
    }
    SetProps(w, c);
    QRect r = geometry(c);
    if (c.kind == ControlKind::ComboBox) {
        // The template's height is that of the open list; closed, the box takes its natural height.
        r.setHeight(w->sizeHint().height());
    }
    w->setGeometry(r);
    return w;
}

QWidget* Widget(const CWnd& wnd) {
    return wnd.impl() ? wnd.impl()->widget.data() : nullptr;
}

template <typename T>
T* As(const CWnd& wnd) {
    return qobject_cast<T*>(Widget(wnd));
}

bool OnGuiThread() {
    return qApp && QThread::currentThread() == qApp->thread();
}

// --- display detection ---------------------------------------------------------------

bool XDisplayUsable() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        return false;
    }
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display, &screen);
    const bool ok = connection && xcb_connection_has_error(connection) == 0;
    if (connection) {
        xcb_disconnect(connection);
    }
    return ok;
}

bool WaylandUsable() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!name || !*name) {
        return false;
    }
    std::string path = name[0] == '/'
                           ? std::string(name)
                           : (runtime ? std::string(runtime) + "/" + name : std::string());
    if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), addr.sun_path);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

bool PluginExists(const char* prefix) {
    std::error_code ec;
    const std::filesystem::path dir =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// Qt ends the process when its platform cannot start, so the platform is checked first.
// Returns the platform to ask for, or empty when none is usable.
std::string UsablePlatform(std::string& reason) {
    const char* requested = std::getenv("QT_QPA_PLATFORM");
    if (requested && *requested) {
        std::string name(requested);
        name = name.substr(0, name.find_first_of(";:"));
        if (name == "offscreen" || name == "minimal") {
            return name;
        }
        if (name == "xcb") {
            if (XDisplayUsable()) {
                return name;
            }
            reason = "the X display named by DISPLAY cannot be opened";
            return {};
        }
        if (name.rfind("wayland", 0) == 0) {
            if (WaylandUsable() && PluginExists("libqwayland")) {
                return name;
            }
            reason = "the Wayland display cannot be reached";
            return {};
        }
        reason = "the window platform \"" + name + "\" is not supported here";
        return {};
    }
    if (XDisplayUsable()) {
        return "xcb";
    }
    if (WaylandUsable() && PluginExists("libqwayland")) {
        return "wayland";
    }
    reason = "no display is available (DISPLAY is not set or cannot be opened)";
    return {};
}

struct GuiState {
    std::once_flag once;
    bool usable = false;
    // Made by us when the host has none. It is kept for the life of the process: the toolkit
    // cannot be torn down safely from static destruction or a library unload.
    QApplication* app = nullptr;
    int argc = 3;
    char arg0[32] = "VELNoiseReduction";
    char arg1[16] = "-platform";
    char arg2[64] = "";
    char* argv[4] = {arg0, arg1, arg2, nullptr};
};

GuiState& Gui() {
    static GuiState state;
    return state;
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

}  // namespace

// --- backend entry points ------------------------------------------------------------

namespace backend {

bool EnsureGui() {
    GuiState& gui = Gui();
    std::call_once(gui.once, [&gui] {
        if (QCoreApplication::instance()) {
            // A host that is itself a Qt program: its application object serves the windows.
            gui.usable = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
            if (!gui.usable) {
                std::fprintf(stderr,
                             "%s: the host runs without a window system; no dialog can be "
                             "shown.\n",
                             kProductName);
            }
        } else {
            std::string reason;
            const std::string platform = UsablePlatform(reason);
            if (platform.empty()) {
                std::fprintf(stderr, "%s: %s; no dialog can be shown.\n", kProductName,
                             reason.c_str());
                return;
            }
            std::snprintf(gui.arg2, sizeof gui.arg2, "%s", platform.c_str());
            gui.app = new QApplication(gui.argc, gui.argv);
            gui.usable = true;
        }
        if (gui.usable) {
            InstallRouter();
        }
    });
    if (gui.usable && !OnGuiThread()) {
        // Widgets live on the application object's thread only; elsewhere the toolkit would
        // end the process.
        static std::once_flag told;
        std::call_once(told, [] {
            std::fprintf(stderr,
                         "%s: dialogs can only be shown on the thread that runs the window "
                         "system; no dialog can be shown.\n",
                         kProductName);
        });
        return false;
    }
    return gui.usable;
}

bool PumpMessages() {
    if (!QCoreApplication::instance() || !OnGuiThread()) {
        return true;
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (g_router && g_router->quitSeen) {
        g_router->quitSeen = false;
        return false;
    }
    return true;
}

int ShowMessageBox(const std::string& text, uint32_t type) {
    if (!EnsureGui()) {
        std::fprintf(stderr, "%s: %s\n", kProductName, text.c_str());
        return (type & 0xF) == kMbYesNo ? kIdNo : ((type & 0xF) == kMbOkCancel ? kIdCancel : kIdOk);
    }
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromUtf8(kProductName));
    box.setText(QString::fromStdString(text));
    const uint32_t icon = type & 0xF0;
    box.setIcon(icon == kMbIconExclamation   ? QMessageBox::Warning
                : icon == kMbIconInformation ? QMessageBox::Information
                                             : QMessageBox::NoIcon);
    switch (type & 0xF) {
        case kMbOkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case kMbYesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        case QMessageBox::Cancel:
            return kIdCancel;
        default:
            return kIdOk;
    }
}

void Beep(uint32_t /*type*/) {
    if (EnsureGui()) {
        QApplication::beep();
    }
}

int ShowFileDialog(const CFileDialog& dialog, CWnd* parent, std::string& path) {
    if (!EnsureGui()) {
        return kIdCancel;
    }
    // "Name (*.a)|*.a|Other (*.b)|*.b||" -> "Name (*.a);;Other (*.b)"
    QStringList filters;
    const QStringList parts = QString::fromStdString(dialog.Filter()).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts[i].isEmpty()) {
            filters << parts[i];
        }
    }
    QFileDialog box(parent ? Widget(*parent) : nullptr, QString::fromStdString(dialog.Title()),
                    QString(), filters.join(QStringLiteral(";;")));
    box.setAcceptMode(dialog.IsOpen() ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    box.setFileMode(dialog.IsOpen() ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    box.setDefaultSuffix(QString::fromStdString(dialog.DefaultExtension()));
    if (!dialog.OverwritePrompt()) {
        box.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (!dialog.FileName().empty()) {
        box.selectFile(QString::fromStdString(dialog.FileName()));
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) {
        return kIdCancel;
    }
    path = box.selectedFiles().front().toStdString();
    return kIdOk;
}

}  // namespace backend

WindowPicture GrabWindow(const CWnd& wnd) {
    WindowPicture picture;
    QWidget* w = Widget(wnd);
    if (!w) {
        return picture;
    }
    const QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB888);
    picture.width = image.width();
    picture.height = image.height();
    const size_t row = static_cast<size_t>(picture.width) * 3u;
    picture.rgb.resize(row * static_cast<size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(picture.rgb.data() + row * static_cast<size_t>(y), image.constScanLine(y), row);
    }
    return picture;
}

// --- colours, fonts, cursors, painting --------------------------------------------------

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

// --- windows ---------------------------------------------------------------------------

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
    auto& wrapper = impl_->wrappers[id];
    if (!wrapper || wrapper->impl()->widget != w) {
        wrapper = std::make_unique<CWnd>();
        wrapper->impl_->widget = w;
        wrapper->impl_->serial.store(Register(wrapper.get()));
    }
    return wrapper.get();
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

// --- dialogs ---------------------------------------------------------------------------

namespace {

// Builds the dialog's window from its template: size and controls in dialog units of the
// template font.
DialogWidget* BuildDialog(CDialog& dialog, const DialogTemplate& t, CWnd* parent, bool modal,
                          WindowImpl& impl) {
    Qt::WindowFlags flags = Qt::Dialog;
    if (t.style & kCaption) {
        flags |= Qt::WindowTitleHint;
        if (t.style & kSysMenu) {
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        }
    } else {
        flags |= Qt::CustomizeWindowHint;  // a frame without a caption bar
    }
    QWidget* parentWidget = parent ? Widget(*parent) : nullptr;
    auto* w = new DialogWidget(&dialog, parentWidget ? parentWidget->window() : nullptr, flags);
    w->setWindowTitle(QString::fromUtf8(t.caption));
    w->setModal(modal);
    w->setMouseTracking(true);
    QFont font(QString::fromUtf8(t.fontName));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(t.pointSize);
    w->setFont(font);
    const QFontMetrics fm(font);
    const int alphabet = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    impl.baseX = (alphabet / 26 + 1) / 2;
    impl.baseY = fm.height();
    const auto map = [&impl](const ControlTemplate& c) {
        const int x = MulDiv(c.x, impl.baseX, 4);
        const int y = MulDiv(c.y, impl.baseY, 8);
        return QRect(x, y, MulDiv(c.x + c.cx, impl.baseX, 4) - x,
                     MulDiv(c.y + c.cy, impl.baseY, 8) - y);
    };
    w->setFixedSize(MulDiv(t.cx, impl.baseX, 4), MulDiv(t.cy, impl.baseY, 8));
    for (const ControlTemplate& c : t.controls) {
        CreateControl(c, w, modal, map);
    }
    if (t.style & kCentered) {
        if (QScreen* screen = QApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
        }
    } else if (parentWidget) {
        const QRect area = parentWidget->window()->frameGeometry();
        w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
    }
    return w;
}

}  // namespace

struct DialogAccess {
    static bool Build(CDialog& dialog, bool modal) {
        if (!backend::EnsureGui()) {
            return false;
        }
        dialog.modal_ = modal;
        DialogWidget* w =
            BuildDialog(dialog, dialog.Template(), dialog.parent_, modal, *dialog.impl_);
        dialog.impl_->widget = w;
        dialog.impl_->serial.store(Register(&dialog));
        Handlers().insert(w, &dialog);
        w->installEventFilter(g_router);
        return true;
    }
};

CDialog::CDialog(const DialogTemplate& dialogTemplate, CWnd* parent)
    : template_(&dialogTemplate), parent_(parent) {}

CDialog::~CDialog() {
    CDialog::DestroyWindow();
}

bool CDialog::DestroyWindow() {
    if (auto* w = dynamic_cast<DialogWidget*>(impl_->widget.data())) {
        w->Detach();
    }
    impl_->wrappers.clear();
    return CWnd::DestroyWindow();
}

int CDialog::DoModal() {
    if (IsWindow() || !DialogAccess::Build(*this, true)) {
        return -1;
    }
    OnInitDialog();
    // The widget is guarded: initialisation may already have destroyed the window.
    auto* w = static_cast<DialogWidget*>(impl_->widget.data());
    if (!w) {
        return -1;
    }
    const int result = w->exec();
    DestroyWindow();
    return result;
}

bool CDialog::Create(CWnd* parent) {
    if (IsWindow()) {
        return false;
    }
    parent_ = parent;
    if (!DialogAccess::Build(*this, false)) {
        return false;
    }
    OnInitDialog();
    return true;
}

void CDialog::EndDialog(int result) {
    auto* w = qobject_cast<QDialog*>(impl_->widget.data());
    if (!w) {
        return;
    }
    if (modal_) {
        w->done(result);
    } else {
        w->hide();
    }
}

void CDialog::EnableToolTips(bool enable) {
    toolTips_ = enable;
}

// --- controls --------------------------------------------------------------------------

namespace ctrl {

int GetCheck(const CWnd& button) {
    auto* b = As<QAbstractButton>(button);
    return b && b->isChecked() ? 1 : 0;
}

void SetCheck(CWnd& button, int state) {
    if (auto* b = As<QAbstractButton>(button)) {
        b->setChecked(state != 0);
    }
}

void Click(CWnd& button) {
    if (auto* b = As<QAbstractButton>(button)) {
        b->click();
    }
}

int AddString(CWnd& combo, std::string_view text) {
    auto* c = As<QComboBox>(combo);
    if (!c) {
        return -1;
    }
    c->addItem(ToQ(text));
    return c->count() - 1;
}

int DeleteString(CWnd& combo, int index) {
    auto* c = As<QComboBox>(combo);
    if (!c || index < 0 || index >= c->count()) {
        return -1;
    }
    c->removeItem(index);
    return c->count();
}

int GetCount(const CWnd& combo) {
    auto* c = As<QComboBox>(combo);
    return c ? c->count() : 0;
}

int GetCurSel(const CWnd& combo) {
    auto* c = As<QComboBox>(combo);
    return c ? c->currentIndex() : -1;
}

int SetCurSel(CWnd& combo, int index) {
    auto* c = As<QComboBox>(combo);
    if (!c) {
        return -1;
    }
    if (index < 0 || index >= c->count()) {
        c->setCurrentIndex(-1);
        return -1;
    }
    c->setCurrentIndex(index);
    return index;
}

std::string GetLBText(const CWnd& combo, int index) {
    auto* c = As<QComboBox>(combo);
    return c && index >= 0 && index < c->count() ? FromQ(c->itemText(index)) : std::string();
}

void ResetContent(CWnd& combo) {
    if (auto* c = As<QComboBox>(combo)) {
        c->clear();
    }
}

namespace {
struct QuietPosition {
    QuietPosition() {
        if (g_router) {
            g_router->settingPosition = true;
        }
    }
    ~QuietPosition() {
        if (g_router) {
            g_router->settingPosition = false;
        }
    }
};
}  // namespace

void SetSliderRange(CWnd& slider, int minValue, int maxValue, bool redraw) {
    if (auto* s = As<QSlider>(slider)) {
        QuietPosition quiet;
        s->setRange(minValue, maxValue);
        if (redraw) {
            s->update();
        }
    }
}

int GetSliderMin(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->minimum() : 0;
}

int GetSliderMax(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->maximum() : 0;
}

void SetTicFreq(CWnd& slider, int frequency) {
    if (auto* s = As<QSlider>(slider)) {
        s->setTickInterval(frequency);
    }
}

int GetTicFreq(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->tickInterval() : 0;
}

void SetSliderPos(CWnd& slider, int position) {
    if (auto* s = As<QSlider>(slider)) {
        QuietPosition quiet;
        s->setValue(position);
    }
}

int GetSliderPos(const CWnd& slider) {
    auto* s = As<QSlider>(slider);
    return s ? s->value() : 0;
}

void SetProgressRange(CWnd& bar, int lower, int upper) {
    if (auto* b = As<QProgressBar>(bar)) {
        b->setRange(lower, upper);
    }
}

int GetProgressLower(const CWnd& bar) {
    auto* b = As<QProgressBar>(bar);
    return b ? b->minimum() : 0;
}

int GetProgressUpper(const CWnd& bar) {
    auto* b = As<QProgressBar>(bar);
    return b ? b->maximum() : 0;
}

void SetProgressPos(CWnd& bar, int position) {
    QPointer<QProgressBar> b = As<QProgressBar>(bar);
    if (!b) {
        return;
    }
    if (OnGuiThread()) {
        b->setValue(std::clamp(position, b->minimum(), b->maximum()));
        return;
    }
    QMetaObject::invokeMethod(
        g_router,
        [b, position] {
            if (b) {
                b->setValue(std::clamp(position, b->minimum(), b->maximum()));
            }
        },
        Qt::QueuedConnection);
}

int GetProgressPos(const CWnd& bar) {
    auto* b = As<QProgressBar>(bar);
    return b ? b->value() : 0;
}

}  // namespace ctrl

// --- tooltips ----------------------------------------------------------------------------

CToolTipCtrl::CToolTipCtrl() = default;

CToolTipCtrl::~CToolTipCtrl() {
    auto& owners = ToolTipOwners();
    owners.erase(std::remove_if(owners.begin(), owners.end(),
                                [this](const auto& o) { return o.second == this; }),
                 owners.end());
}

bool CToolTipCtrl::Create(CWnd* owner) {
    owner_ = owner;
    return owner && owner->IsWindow();
}

void CToolTipCtrl::Apply(const Tool& tool) {
    QWidget* w = Widget(*tool.wnd);
    if (!w) {
        return;
    }
    auto& owners = ToolTipOwners();
    for (const auto& o : owners) {
        if (o.first == w && o.second == this) {
            return;
        }
    }
    owners.emplace_back(w, this);
    w->installEventFilter(g_router);
}

void CToolTipCtrl::Activate(bool active) {
    active_ = active;
}

// --- access for tests and tools ---------------------------------------------------------

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
