// The framework on Qt: dialogs from every template, data exchange and its messages, control
// notifications, posted messages, tooltips and bitmaps.

#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <QToolTip>

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "framework/Bitmaps.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/PngWriter.h"
#include "tests/ui/UiTestSupport.h"

namespace vel {
namespace {

using test::UiEnvironment;

const char* ExpectedClass(res::ControlKind kind) {
    switch (kind) {
        case res::ControlKind::Label:
            return "QLabel";
        case res::ControlKind::PushButton:
        case res::ControlKind::DefPushButton:
        case res::ControlKind::OwnerDrawButton:
            return "QPushButton";
        case res::ControlKind::CheckBox:
            return "QCheckBox";
        case res::ControlKind::Edit:
            return "QLineEdit";
        case res::ControlKind::ComboBox:
            return "QComboBox";
        case res::ControlKind::Slider:
            return "QSlider";
        case res::ControlKind::Progress:
            return "QProgressBar";
    }
    return "";
}

// Every template becomes a dialog whose controls carry the template's ids, kinds and texts,
// placed in proportion to the dialog's size: the dialog units are converted with one pair of
// factors for the whole dialog.
TEST(Templates, EveryControlExistsWithIdTextAndProportionalGeometry) {
    ASSERT_EQ(res::AllDialogTemplates().size(), 3u);
    for (const res::DialogTemplate* t : res::AllDialogTemplates()) {
        SCOPED_TRACE(t->id);
        fw::CDialog dlg(t->id);
        ASSERT_TRUE(dlg.Create(nullptr));
        QWidget* top = fw::qt::WidgetOf(dlg);
        EXPECT_EQ(top->windowTitle().toStdString(), t->caption);
        const double sx = static_cast<double>(top->width()) / t->cx;
        const double sy = static_cast<double>(top->height()) / t->cy;
        // "MS Shell Dlg" 8 has base units of about 6 x 13 pixels at 96 dpi; whatever font
        // stands in for it must give a comparable, non-degenerate scale.
        EXPECT_GT(sx, 1.0);
        EXPECT_GT(sy, 1.0);
        EXPECT_LT(sx, 3.0);
        EXPECT_LT(sy, 3.0);
        const fw::Size base = dlg.GetDialogBaseUnits();
        EXPECT_NEAR(top->width(), t->cx * base.cx / 4.0, 0.5);
        EXPECT_NEAR(top->height(), t->cy * base.cy / 8.0, 0.5);
        EXPECT_EQ(dlg.GetDlgItem(t->controls[0].id == res::kIdStatic ? t->controls[1].id
                                                                     : t->controls[0].id)
                      ->GetDialogBaseUnits(),
                  base);

        std::multiset<std::string> labelTexts;
        for (const res::ControlTemplate& c : t->controls) {
            if (c.id == res::kIdStatic) {
                labelTexts.insert(c.text);
                continue;
            }
            SCOPED_TRACE(c.id);
            QWidget* w = fw::qt::ControlWidget(dlg, c.id);
            ASSERT_NE(w, nullptr);
            EXPECT_TRUE(w->inherits(ExpectedClass(c.kind))) << w->metaObject()->className();
            EXPECT_EQ(fw::qt::RawText(w), c.text);
            EXPECT_NEAR(w->x(), c.x * sx, 1.5);
            EXPECT_NEAR(w->y(), c.y * sy, 1.5);
            EXPECT_NEAR(w->width(), c.cx * sx, 1.5);
            if (c.kind != res::ControlKind::ComboBox) {  // a closed combo box has its own height
                EXPECT_NEAR(w->height(), c.cy * sy, 1.5);
            }
            EXPECT_NE(dlg.GetDlgItem(c.id), nullptr);
            EXPECT_EQ(dlg.GetDlgItem(c.id)->GetDlgCtrlID(), c.id);
        }
        // The unaddressed labels are there too, with their texts.
        std::multiset<std::string> shown;
        for (QLabel* label : top->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (fw::qt::ControlId(label) == res::kIdStatic) {
                shown.insert(fw::qt::RawText(label));
            }
        }
        EXPECT_EQ(shown, labelTexts);
    }
}

TEST(Templates, SettingsTemplateDetails) {
    fw::CDialog dlg(res::kSettingsDialog);
    ASSERT_TRUE(dlg.Create(nullptr));
    auto* combo = qobject_cast<QComboBox*>(fw::qt::ControlWidget(dlg, 2000));
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2).toStdString(), "Last settings");
    auto* link = qobject_cast<QCheckBox*>(fw::qt::ControlWidget(dlg, 2015));
    ASSERT_NE(link, nullptr);
    // "&&" is one ampersand on screen.
    EXPECT_TRUE(link->text().contains(QStringLiteral("&&")));
    EXPECT_EQ(dlg.GetDlgItem(2015)->GetWindowText(), "Link luma && chroma settings");
    auto* slider = qobject_cast<QSlider*>(fw::qt::ControlWidget(dlg, 2001));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(slider->tickInterval(), 1);
    // The status line and the time line share one place.
    EXPECT_EQ(fw::qt::ControlWidget(dlg, 2010)->geometry().topLeft(),
              fw::qt::ControlWidget(dlg, 2022)->geometry().topLeft());
    EXPECT_EQ(res::FindDialogTemplate(1234), nullptr);
}

// A dialog on the settings template whose tips come from the string table, as the settings
// dialog's tooltip handler does.
struct TipDialog : fw::CDialog {
    TipDialog() : fw::CDialog(res::kSettingsDialog) {}
    bool OnToolTipNeedText(int id, std::string& text) override {
        if (!res::HasString(id)) {
            return false;
        }
        text = res::LoadString(id);
        return true;
    }
};

TEST(ToolTips, SettingsControlsTakeTheirTipsFromTheStringTable) {
    const std::map<int, std::string> expected = {
        {2000, "Selects preset settings"},
        {2001, "Controls noise/details detection for luminance"},
        {2002, "Controls noise/details detection for luminance"},
        {2003, "Controls noise/details detection for chrominance"},
        {2004, "Controls noise/details detection for chrominance"},
        {2005, "About VEL Noise Reduction..."},
        {2006, "Maximal suppression of luminance noise, dB"},
        {2007, "Maximal suppression of luminance noise, dB"},
        {2008, "Maximal suppression of chrominance noise, dB"},
        {2009, "Maximal suppression of chrominance noise, dB"},
        {2010, "Preview is being generated..."},
        {2011, "Alters noise threshold for light areas"},
        {2012, "Alters noise threshold for light areas"},
        {2013, "Alters noise threshold for dark areas"},
        {2014, "High-quality processing"},
        {2015, "Links user settings for luminance and chrominance"},
        {2016, "Alters noise threshold for dark areas"},
        {2017, "Enable this for more accurate noise estimation before final processing"},
        {2021, "Zoom in"},
        {2020, ""},  // no string: no tip
        {2022, ""},
        {1, ""},
    };
    TipDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    EXPECT_EQ(fw::qt::ToolTipAt(fw::qt::ControlWidget(dlg, 2000), {1, 1}), "");  // not enabled
    dlg.EnableToolTips(true);
    for (const auto& [id, text] : expected) {
        EXPECT_EQ(fw::qt::ToolTipAt(fw::qt::ControlWidget(dlg, id), {1, 1}), text) << id;
    }
    for (int id = 2000; id <= 2021; ++id) {
        EXPECT_EQ(res::HasString(id), !res::LoadString(id).empty()) << id;
    }
    EXPECT_EQ(res::LoadString(1999), "");
    EXPECT_EQ(res::LoadString(2018), "");

    // A real help event shows the tip.
    dlg.ShowWindow(fw::kSwShow);
    QWidget* zoom = fw::qt::ControlWidget(dlg, 2021);
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), zoom->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(zoom, &help);
    EXPECT_EQ(QToolTip::text().toStdString(), "Zoom in");
    QToolTip::hideText();
}

// --- data exchange -------------------------------------------------------------------

struct ExchangeDialog : fw::CDialog {
    ExchangeDialog() : fw::CDialog(res::kSettingsDialog) {}
    int luma = 0, light = 0, dark = 0, check = 0, slider = 0, preset = 2;
    void DoDataExchange(fw::CDataExchange* dx) override {
        fw::DDX_CBIndex(dx, 2000, preset);
        fw::DDX_Text(dx, 2002, luma);
        fw::DDX_Check(dx, 2014, check);
        fw::DDX_Slider(dx, 2001, slider);
        fw::DDX_Text(dx, 2012, light);
        fw::DDV_MinMaxInt(dx, light, -10, 10);
        fw::DDX_Text(dx, 2016, dark);
        fw::DDV_MinMaxInt(dx, dark, -10, 10);
    }
    void Type(int id, const char* text) {
        qobject_cast<QLineEdit*>(fw::qt::ControlWidget(*this, id))
            ->setText(QString::fromUtf8(text));
    }
    bool Focused(int id) { return GetDlgItem(id)->HasFocus(); }
};

class DataExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        UiEnvironment::Messages().clear();
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        fw::ctrl::SetSliderRange(*dlg.GetDlgItem(2001), 0, 20, false);
    }
    ExchangeDialog dlg;
};

TEST_F(DataExchange, WritesAndReadsEveryKind) {
    dlg.luma = -3;
    dlg.light = 7;
    dlg.dark = -10;
    dlg.check = 1;
    dlg.slider = 14;
    dlg.preset = 1;
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(dlg.GetDlgItem(2002)->GetWindowText(), "-3");
    EXPECT_EQ(dlg.GetDlgItem(2016)->GetWindowText(), "-10");
    dlg.luma = dlg.light = dlg.dark = dlg.check = dlg.slider = dlg.preset = 99;
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.luma, -3);
    EXPECT_EQ(dlg.light, 7);
    EXPECT_EQ(dlg.dark, -10);
    EXPECT_EQ(dlg.check, 1);
    EXPECT_EQ(dlg.slider, 14);
    EXPECT_EQ(dlg.preset, 1);
    EXPECT_TRUE(UiEnvironment::Messages().empty());
}

TEST_F(DataExchange, NotAnIntegerStopsAtTheBoxAndFocusesIt) {
    ASSERT_TRUE(dlg.UpdateData(false));
    for (const char* bad : {"abc", "", "-", "1.5", "3x", "99999999999", "+"}) {
        SCOPED_TRACE(bad);
        UiEnvironment::Messages().clear();
        dlg.Type(2002, bad);
        dlg.Type(2012, "5");
        dlg.light = 0;
        EXPECT_FALSE(dlg.UpdateData(true));
        ASSERT_EQ(UiEnvironment::Messages().size(), 1u);
        EXPECT_EQ(UiEnvironment::Messages()[0].text, "Please enter an integer.");
        EXPECT_EQ(UiEnvironment::Messages()[0].type & 0xF0u, fw::kMbIconExclamation);
        EXPECT_TRUE(dlg.Focused(2002));
        EXPECT_EQ(dlg.light, 0);  // the fields after the failing one stay unread
    }
    dlg.Type(2002, "  -2147483648 ");
    EXPECT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.luma, INT32_MIN);
}

TEST_F(DataExchange, OutOfRangeNamesTheBoundsAndStopsThere) {
    ASSERT_TRUE(dlg.UpdateData(false));
    dlg.Type(2012, "11");
    dlg.Type(2016, "4");
    dlg.dark = 0;
    EXPECT_FALSE(dlg.UpdateData(true));
    ASSERT_EQ(UiEnvironment::Messages().size(), 1u);
    EXPECT_EQ(UiEnvironment::Messages()[0].text, "Please enter an integer between -10 and 10.");
    EXPECT_TRUE(dlg.Focused(2012));
    EXPECT_EQ(dlg.dark, 0);
    UiEnvironment::Messages().clear();
    dlg.Type(2012, "10");
    dlg.Type(2016, "-11");
    EXPECT_FALSE(dlg.UpdateData(true));
    EXPECT_TRUE(dlg.Focused(2016));
    ASSERT_EQ(UiEnvironment::Messages().size(), 1u);
}

TEST(DataExchangeText, IntegerParsingAndMessageFormatting) {
    int v = 0;
    EXPECT_TRUE(fw::ParseDialogInteger("2147483647", v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_FALSE(fw::ParseDialogInteger("2147483648", v));
    EXPECT_FALSE(fw::ParseDialogInteger("-2147483649", v));
    EXPECT_TRUE(fw::ParseDialogInteger("+0", v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(fw::ParseDialogInteger("1 2", v));
    EXPECT_EQ(fw::FormatString2(fw::kMsgIntegerRange, "0", "20"),
              "Please enter an integer between 0 and 20.");
}

// --- notifications, posted messages, modal loop ------------------------------------------

struct NotifyDialog : fw::CDialog {
    NotifyDialog() : fw::CDialog(res::kSettingsDialog) {}
    std::vector<std::pair<int, int>> commands;
    std::vector<std::pair<int, int>> scrolls;
    std::vector<uint32_t> messages;
    bool OnCommand(int id, int code) override {
        commands.emplace_back(id, code);
        return fw::CDialog::OnCommand(id, code);
    }
    void OnHScroll(int id, int position) override { scrolls.emplace_back(id, position); }
    bool OnMessage(uint32_t message, uintptr_t, intptr_t) override {
        messages.push_back(message);
        return true;
    }
};

TEST(Notifications, ControlsNotifyTheirDialog) {
    NotifyDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.GetDlgItem(2004)->SetWindowText("5");  // an edit box notifies even when set by code
    qobject_cast<QCheckBox*>(fw::qt::ControlWidget(dlg, 2014))->click();
    EXPECT_EQ(fw::ctrl::GetCheck(*dlg.GetDlgItem(2014)), 1);
    auto* combo = qobject_cast<QComboBox*>(fw::qt::ControlWidget(dlg, 2000));
    fw::ctrl::SetCurSel(*dlg.GetDlgItem(2000), 0);  // by code: no notification
    combo->activated(1);                            // as the user picks it
    const std::vector<std::pair<int, int>> expected = {
        {2004, fw::kEnChange}, {2014, fw::kBnClicked}, {2000, fw::kCbnSelChange}};
    EXPECT_EQ(dlg.commands, expected);

    fw::CWnd& slider = *dlg.GetDlgItem(2003);
    fw::ctrl::SetSliderRange(slider, 0, 20, true);
    fw::ctrl::SetSliderPos(slider, 7);  // by code: no scroll
    EXPECT_TRUE(dlg.scrolls.empty());
    qobject_cast<QSlider*>(fw::qt::ControlWidget(dlg, 2003))
        ->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ASSERT_EQ(dlg.scrolls.size(), 1u);
    EXPECT_EQ(dlg.scrolls[0], std::make_pair(2003, 8));
    EXPECT_EQ(fw::ctrl::GetSliderPos(slider), 8);
}

TEST(Notifications, PostedMessagesArriveFromAnyThreadAndNotAfterDestruction) {
    NotifyDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    std::thread worker([&dlg] { EXPECT_TRUE(dlg.PostMessage(1122)); });
    worker.join();
    EXPECT_TRUE(dlg.messages.empty());  // only the event loop delivers
    fw::PumpMessages();
    EXPECT_EQ(dlg.messages, std::vector<uint32_t>{1122});
    dlg.PostMessage(1123);
    dlg.DestroyWindow();
    fw::PumpMessages();
    EXPECT_EQ(dlg.messages, std::vector<uint32_t>{1122});
    EXPECT_FALSE(dlg.PostMessage(1124));
}

TEST(Notifications, ProgressPositionFromAWorkerThreadLandsOnTheWindowThread) {
    fw::CDialog dlg(res::kSettingsDialog);
    ASSERT_TRUE(dlg.Create(nullptr));
    fw::CProgressCtrl bar;
    ASSERT_TRUE(bar.SubclassDlgItem(2020, &dlg));
    bar.SetRange32(0, 1000);
    std::thread worker([&bar] { bar.SetPos(420); });
    worker.join();
    fw::PumpMessages();
    EXPECT_EQ(bar.GetPos(), 420);
    bar.SetPos(5000);  // limited to the range
    EXPECT_EQ(bar.GetPos(), 1000);
}

TEST(ModalDialog, OkValidatesCancelAndEscapeEnd) {
    ExchangeDialog dlg;
    UiEnvironment::Messages().clear();
    int step = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!dlg.IsWindow()) {
            return;
        }
        ++step;
        if (step == 1) {
            dlg.Type(2012, "12");
            qobject_cast<QPushButton*>(fw::qt::ControlWidget(dlg, fw::kIdOk))->click();
        } else if (step == 2) {
            EXPECT_TRUE(fw::qt::WidgetOf(dlg)->isVisible());  // still open after the failed read
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(fw::qt::WidgetOf(dlg), &esc);
        }
    });
    timer.start();
    EXPECT_EQ(dlg.DoModal(), fw::kIdCancel);
    EXPECT_EQ(step, 2);
    ASSERT_EQ(UiEnvironment::Messages().size(), 1u);
    EXPECT_FALSE(dlg.IsWindow());

    step = 0;
    ExchangeDialog ok;
    QObject::disconnect(&timer, nullptr, nullptr, nullptr);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (ok.IsWindow() && ++step == 1) {
            ok.Type(2002, "4");
            qobject_cast<QPushButton*>(fw::qt::ControlWidget(ok, fw::kIdOk))->click();
        }
    });
    EXPECT_EQ(ok.DoModal(), fw::kIdOk);
    EXPECT_EQ(ok.luma, 4);
}

// --- bitmaps and common dialogs ---------------------------------------------------------

TEST(Bitmaps, SizesAndButtonColourMapping) {
    const struct { int id, w, h; } sizes[] = {{2002, 60, 38}, {2004, 100, 80}, {2005, 13, 13}};
    for (const auto& s : sizes) {
        const res::Bitmap* b = res::FindBitmap(s.id);
        ASSERT_NE(b, nullptr) << s.id;
        EXPECT_EQ(b->width, s.w);
        EXPECT_EQ(b->height, s.h);
        EXPECT_EQ(b->stride % 4, 0);
        EXPECT_GE(b->stride, s.w * 3);
        EXPECT_EQ(b->bits.size(), static_cast<size_t>(b->stride) * static_cast<size_t>(s.h));
    }
    EXPECT_EQ(res::FindBitmap(2003), nullptr);

    res::Bitmap b;
    b.width = 5;
    b.height = 1;
    b.stride = 16;
    b.bits = {0, 0, 0, 128, 128, 128, 192, 192, 192, 255, 255, 255, 10, 20, 30, 0};
    const res::Bitmap m = fw::MapButtonColours(b);
    const auto colourAt = [&m](int x) {
        const uint8_t* p = m.Pixel(x, 0);
        return fw::Rgb(p[2], p[1], p[0]);
    };
    EXPECT_EQ(colourAt(0), fw::GetSysColor(fw::SysColour::ButtonText));
    EXPECT_EQ(colourAt(1), fw::GetSysColor(fw::SysColour::ButtonShadow));
    EXPECT_EQ(colourAt(2), fw::GetSysColor(fw::SysColour::ButtonFace));
    EXPECT_EQ(colourAt(3), fw::GetSysColor(fw::SysColour::ButtonHighlight));
    EXPECT_EQ(colourAt(4), fw::Rgb(30, 20, 10));
}

TEST(FileDialogs, HandlerAnswersAndDefaultExtensionIsAdded) {
    fw::CFileDialog save(false, "pst", "", true, "Presets (*.pst)|*.pst||");
    save.SetTitle("Save preset");
    std::string seenTitle;
    fw::SetFileDialogHandler([&](const fw::CFileDialog& d, std::string& path) {
        seenTitle = d.Title();
        EXPECT_FALSE(d.IsOpen());
        EXPECT_TRUE(d.OverwritePrompt());
        path = "/tmp/my.presets/mine";
        return fw::kIdOk;
    });
    EXPECT_EQ(save.DoModal(), fw::kIdOk);
    EXPECT_EQ(seenTitle, "Save preset");
    EXPECT_EQ(save.GetPathName(), "/tmp/my.presets/mine.pst");
    fw::SetFileDialogHandler([](const fw::CFileDialog&, std::string&) { return fw::kIdCancel; });
    fw::CFileDialog open(true, "pst", "", false, "Presets (*.pst)|*.pst||");
    EXPECT_EQ(open.DoModal(), fw::kIdCancel);
    EXPECT_EQ(open.GetPathName(), "");
    fw::SetFileDialogHandler(nullptr);
    EXPECT_EQ(fw::CFileDialog::WithDefaultExtension("a.txt", "pst"), "a.txt");
}

}  // namespace
}  // namespace vel

namespace vel {
namespace {

TEST(Application, ProfileValuesComeFromTheCompanysFile) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velnr-ui-profile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "Korvane");
    {
        std::ofstream ini(dir / "Korvane" / "VELNoiseReduction.ini");
        ini << "[Last Folders]\nPreset File=/home/me/mine.pst\n";
    }
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    {
        fw::CWinApp app("VELNoiseReduction");
        EXPECT_EQ(fw::AfxGetApp(), &app);
        app.SetRegistryKey("Korvane");
        EXPECT_EQ(app.GetProfileString("Last Folders", "Preset File", ""), "/home/me/mine.pst");
        EXPECT_EQ(app.GetProfileString("Last Folders", "Other", "none"), "none");
    }
    EXPECT_EQ(fw::AfxGetApp(), nullptr);
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::filesystem::remove_all(dir);
}

TEST(Application, WindowsOnlyOnTheWindowSystemsThread) {
    ASSERT_TRUE(fw::EnsureGui());
    bool elsewhere = true;
    testing::internal::CaptureStderr();
    std::thread other([&elsewhere] { elsewhere = fw::EnsureGui(); });
    other.join();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(elsewhere);
    EXPECT_NE(err.find("thread"), std::string::npos);
    EXPECT_TRUE(fw::EnsureGui());
}

TEST(PngWriter, DecodesToTheSamePixels) {
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{7, 3}, std::pair{300, 250}}) {
        std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 3));
        for (size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = static_cast<uint8_t>((i * 37u) ^ (i >> 5));
        }
        const std::vector<uint8_t> png = fw::EncodePngRgb(w, h, rgb);
        QImage image;
        ASSERT_TRUE(image.loadFromData(png.data(), static_cast<int>(png.size()), "PNG")) << w;
        ASSERT_EQ(image.width(), w);
        ASSERT_EQ(image.height(), h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const size_t i =
                    (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3;
                ASSERT_EQ(image.pixelColor(x, y), QColor(rgb[i], rgb[i + 1], rgb[i + 2]));
            }
        }
    }
    EXPECT_TRUE(fw::EncodePngRgb(0, 5, {}).empty());
    EXPECT_TRUE(fw::EncodePngRgb(2, 2, std::vector<uint8_t>(5)).empty());
}

}  // namespace
}  // namespace vel
