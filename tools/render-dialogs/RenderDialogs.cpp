// Renders every dialog of the plug-in to a PNG file, in the window backend it is built with:
//   velnr_render_dialogs <output folder> [picture.png]
// Writes settings.png (with the picture's thumbnail and processed preview when one is given),
// about.png and progress.png. On Linux run it with QT_QPA_PLATFORM=offscreen when there is no
// display.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "framework/App.h"
#include "framework/Dialog.h"
#include "platform/Product.h"
#include "plugin/PlaneImage.h"
#include "plugin/WorkerJob.h"
#include "resources/Resources.h"
#include "ui/AboutDlg.h"
#include "ui/ProgressDlg.h"
#include "ui/SettingsDlg.h"

#ifdef _WIN32
#include "platform/win32/WinApi.h"
// After windows.h, which they need; the lean windows.h leaves out the COM types GDI+ uses.
#include <objidl.h>
// After objidl.h.
#include <gdiplus.h>
#else
#include <QImage>
#endif

namespace {

using namespace vel;

// The picture as planes R, G, B on 0..255, read by the system's own image decoder (GDI+ on
// Windows, the window toolkit's elsewhere), so that the tool needs no image library of the
// host's. Empty when it cannot be read.
PlaneImage LoadPicture(const std::string& path) {
    PlaneImage image;
    const auto store = [&image](int x, int y, const uint8_t* rgb) {
        for (int k = 0; k < 3; ++k) {
            image.Rows(k)[y][x] = rgb[k];
        }
    };
#ifdef _WIN32
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        return image;
    }
    {
        const std::wstring wide(path.begin(), path.end());
        Gdiplus::Bitmap bitmap(wide.c_str());
        const int w = static_cast<int>(bitmap.GetWidth());
        const int h = static_cast<int>(bitmap.GetHeight());
        Gdiplus::Rect all(0, 0, w, h);
        Gdiplus::BitmapData data{};
        if (bitmap.GetLastStatus() == Gdiplus::Ok && w > 0 && h > 0 &&
            bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB, &data) ==
                Gdiplus::Ok) {
            image.Resize(w, h);
            for (int y = 0; y < h; ++y) {
                const auto* row = static_cast<const uint8_t*>(data.Scan0) +
                                  static_cast<ptrdiff_t>(y) * data.Stride;
                for (int x = 0; x < w; ++x) {
                    const uint8_t rgb[3] = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
                    store(x, y, rgb);
                }
            }
            bitmap.UnlockBits(&data);
        }
    }
    Gdiplus::GdiplusShutdown(token);
#else
    const QImage picture =
        QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
    if (picture.isNull()) {
        return image;
    }
    image.Resize(picture.width(), picture.height());
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            store(x, y, picture.constScanLine(y) + 3 * x);
        }
    }
#endif
    return image;
}

// The settings dialog as a run shows it with the initial settings: the picture's thumbnail
// and its preview, processed.
class SettingsPicture : public ui::CSettingsDlg {
  public:
    explicit SettingsPicture(const PlaneImage& picture) {
        SetFromSettings(NoiseReductionParams{});
        if (!picture.Empty()) {
            Preview().SetImage(&picture);
            Preview().SetThreadProcs(AnalysisWorkWithConversion, ReductionWorkWithConversions,
                                     &PreviewSettings(), &PreviewSettings());
        }
        Preview().SetRects({175, 222, 275, 287}, {285, 4, 603, 313});
    }
    // Its jobs finish in the event loop.
    bool WaitForJobs() {
        for (int i = 0; i < 60000 && Preview().JobRunning(); ++i) {
            fw::PumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return !Preview().JobRunning();
    }
};

bool Save(fw::CDialog& dialog, const std::filesystem::path& file) {
    dialog.ShowWindow(fw::kSwShow);
    dialog.UpdateWindow();
    fw::PumpMessages();
    const bool ok = fw::SaveWindowPng(dialog, file.string());
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.string().c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> [picture.png]\n", argv[0]);
        return 2;
    }
    if (!fw::EnsureGui()) {
        return 1;
    }
    const std::filesystem::path out(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(out, ec);

    bool ok = true;
    const PlaneImage picture = argc == 3 ? LoadPicture(argv[2]) : PlaneImage();
    if (argc == 3 && picture.Empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        ok = false;
    }
    SettingsPicture settings(picture);
    ok = settings.Create(nullptr) && settings.WaitForJobs() &&
         Save(settings, out / "settings.png") && ok;

    ui::CAboutDlg about;
    ok = about.Create(nullptr) && Save(about, out / "about.png") && ok;

    ui::CProgressDlg progress;
    std::string status = kProductName;
    status += "...";
    ok = progress.Create(status, nullptr, true, nullptr, 0) && ok;
    progress.SetProgress(37.46f);
    ok = Save(progress, out / "progress.png") && ok;
    return ok ? 0 : 1;
}
