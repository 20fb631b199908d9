// The Qt backend's dialogs: widgets built from a template, dialog units converted with the
// dialog font's metrics.

#include "framework/qt/QtInternal.h"

namespace vel::fw {

namespace {

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
    impl_->wrappers.Clear();
    return CWnd::DestroyWindow();
}

int CDialog::DoModal() {
    if (IsWindow() || !DialogAccess::Build(*this, true)) {
        return -1;
    }
    OnInitDialog();
    DialogInitialised(*this);
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
    DialogInitialised(*this);
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

}  // namespace vel::fw
