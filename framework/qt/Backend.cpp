// The Qt backend's entry points: the application object, the message pump, message boxes, file
// dialogs, window pictures.

#include "framework/qt/QtInternal.h"
#include "platform/Product.h"

namespace vel::fw {

namespace {

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

}  // namespace

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

}  // namespace vel::fw
