// The window framework on the backend it is built with: dialogs from every template, data
// exchange and its messages, notifications, posted messages, the modal loop, bitmaps.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>

#include "framework/Bitmaps.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "resources/Resources.h"
#include "tests/ui/UiTestSupport.h"
#ifndef _WIN32
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QToolTip>

#include "framework/PngWriter.h"
#include "framework/qt/QtAccess.h"
#endif

namespace vel {
namespace {

using test::Recording;
constexpr int kLuma = res::kSettingsLumaThresholdEdit, kLight = res::kSettingsLightCorrectionEdit,
              kDark = res::kSettingsDarkCorrectionEdit;

// Every template becomes a dialog whose controls have the template's ids, kinds, texts and
// places, converted with the dialog font's base units.
TEST(Templates, EveryControlHasItsKindTextAndPlace) {
    ASSERT_EQ(res::AllDialogTemplates().size(), 3u);
    EXPECT_EQ(res::FindDialogTemplate(1234), nullptr);
    for (const fw::DialogTemplate* t : res::AllDialogTemplates()) {
        fw::CDialog dlg(*t);
        ASSERT_TRUE(dlg.Create(nullptr));
        EXPECT_EQ(dlg.GetWindowText(), t->caption);
        // About 6 x 13 for the 8-point "MS Shell Dlg" at 96 dpi; any stand-in must be close.
        const fw::Size base = dlg.GetDialogBaseUnits();
        EXPECT_TRUE(base.cx > 4 && base.cx < 12 && base.cy > 8 && base.cy < 24) << base.cx;
        EXPECT_EQ(dlg.GetClientRect(), dlg.MapDialogRect({0, 0, t->cx, t->cy}));
        std::multiset<std::string> labels;
        for (const fw::ControlTemplate& c : t->controls) {
            fw::CWnd* w = c.id == fw::kIdStatic ? nullptr : dlg.GetDlgItem(c.id);
            if (!w) {
                labels.insert(c.text);
                continue;
            }
            const fw::Rect d = dlg.MapDialogRect({c.x, c.y, c.x + c.cx, c.y + c.cy});
            const fw::Rect r = dlg.ScreenToClient(w->GetWindowRect());
            const bool combo = c.kind == fw::ControlKind::ComboBox;  // closed: its own height
            EXPECT_LE(std::abs(r.left - d.left) + std::abs(r.top - d.top) +
                          std::abs(r.right - d.right) + (combo ? 0 : std::abs(r.bottom - d.bottom)),
                      4)
                << c.id;
            EXPECT_TRUE(w->GetDlgCtrlID() == c.id && test::IsOfKind(*w, c.kind)) << c.id;
            EXPECT_EQ(w->GetDialogBaseUnits(), base) << c.id;
            EXPECT_EQ(combo ? c.text : w->GetWindowText(), c.text) << c.id;  // "&&" as given
        }
        EXPECT_EQ(test::LabelTexts(dlg), labels) << t->id;
    }
    fw::CDialog dlg(res::kSettingsTemplate);
    ASSERT_TRUE(dlg.Create(nullptr));
    EXPECT_EQ(fw::ctrl::GetCount(*dlg.GetDlgItem(res::kSettingsPreset)), 3);
    EXPECT_EQ(fw::ctrl::GetLBText(*dlg.GetDlgItem(res::kSettingsPreset), 2), "Last settings");
    EXPECT_EQ(fw::ctrl::GetTicFreq(*dlg.GetDlgItem(res::kSettingsLumaThresholdSlider)), 1);
}

TEST(StringTable, TooltipTexts) {
    // {id, an id with the same text or 0, text}; an id without a string loads empty.
    const std::tuple<int, int, const char*> expected[] = {
        {1999, 2018, ""},
        {2020, 2022, ""},
        {2000, 0, "Selects preset settings"},
        {2001, 2002, "Controls noise/details detection for luminance"},
        {2003, 2004, "Controls noise/details detection for chrominance"},
        {2005, 0, "About VEL Noise Reduction..."},
        {2006, 2007, "Maximal suppression of luminance noise, dB"},
        {2008, 2009, "Maximal suppression of chrominance noise, dB"},
        {2010, 0, "Preview is being generated..."},
        {2011, 2012, "Alters noise threshold for light areas"},
        {2013, 2016, "Alters noise threshold for dark areas"},
        {2014, 0, "High-quality processing"},
        {2015, 0, "Links user settings for luminance and chrominance"},
        {2017, 0, "Enable this for more accurate noise estimation before final processing"},
        {2021, 0, "Zoom in"}};
    for (const auto& [id, same, text] : expected) {
        for (const int i : {id, same ? same : id}) {
            EXPECT_EQ(res::LoadString(i), text) << i;
            EXPECT_EQ(res::HasString(i), *text != '\0') << i;
        }
    }
}

struct ExchangeDialog : fw::CDialog {
    ExchangeDialog() : fw::CDialog(res::kSettingsTemplate) {}
    int luma = 0, light = 0, dark = 0, check = 0, slider = 0, preset = 2;
    void DoDataExchange(fw::CDataExchange* dx) override {
        fw::DDX_CBIndex(dx, res::kSettingsPreset, preset);
        fw::DDX_Text(dx, kLuma, luma);
        fw::DDX_Check(dx, res::kSettingsHighQuality, check);
        fw::DDX_Slider(dx, res::kSettingsLumaThresholdSlider, slider);
        fw::DDX_Text(dx, kLight, light);
        fw::DDV_MinMaxInt(dx, light, -10, 10);
        fw::DDX_Text(dx, kDark, dark);
        fw::DDV_MinMaxInt(dx, dark, -10, 10);
    }
    void Type(int id, const char* text) { GetDlgItem(id)->SetWindowText(text); }
};

// Every kind goes both ways; a bad text shows one message, focuses its box and leaves the
// fields after it unread.
TEST(DataExchange, EveryKindBothWaysAndBadTextStopsAtItsBox) {
    ExchangeDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    fw::ctrl::SetSliderRange(*dlg.GetDlgItem(res::kSettingsLumaThresholdSlider), 0, 20, false);
    dlg.luma = -3, dlg.light = 7, dlg.dark = -10, dlg.check = 1, dlg.slider = 14, dlg.preset = 1;
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(dlg.GetDlgItem(kDark)->GetWindowText(), "-10");
    dlg.luma = dlg.light = dlg.dark = dlg.check = dlg.slider = dlg.preset = 99;
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(std::vector<int>({dlg.luma, dlg.light, dlg.dark, dlg.check, dlg.slider, dlg.preset}),
              std::vector<int>({-3, 7, -10, 1, 14, 1}));
    const std::string range = "Please enter an integer between -10 and 10.",
                      integer = fw::kMsgInteger;
    const struct {
        const char *luma, *light, *dark;
        std::string message;
        int focus;  // or the luma read
    } cases[] = {
        {"abc", "5", "0", integer, kLuma},         {"", "5", "0", integer, kLuma},
        {"-", "5", "0", integer, kLuma},           {"+", "5", "0", integer, kLuma},
        {"1.5", "5", "0", integer, kLuma},         {"3x", "5", "0", integer, kLuma},
        {"1 2", "5", "0", integer, kLuma},         {"2147483648", "5", "0", integer, kLuma},
        {"-2147483649", "5", "0", integer, kLuma}, {"0", "11", "4", range, kLight},
        {"0", "10", "-11", range, kDark},          {" -2147483648 ", "-10", "10", "", INT32_MIN},
        {"2147483647", "0", "0", "", INT32_MAX},   {"+0", "0", "0", "", 0}};
    for (const auto& c : cases) {
        Recording() = {};
        dlg.Type(kLuma, c.luma), dlg.Type(kLight, c.light), dlg.Type(kDark, c.dark);
        dlg.light = dlg.dark = 99;
        EXPECT_EQ(dlg.UpdateData(true), c.message.empty()) << c.luma;
        if (c.message.empty()) {
            EXPECT_EQ(dlg.luma, c.focus);
            EXPECT_TRUE(Recording().messages.empty());
            continue;
        }
        ASSERT_EQ(Recording().messages.size(), 1u) << c.luma;
        EXPECT_EQ(Recording().messages[0],
                  std::make_pair(c.message, fw::kMbOk | fw::kMbIconExclamation));
        EXPECT_TRUE(dlg.GetDlgItem(c.focus)->HasFocus()) << c.luma;
        // The dark field is read before its range is checked.
        EXPECT_EQ(c.focus == kLuma ? dlg.light : dlg.dark, c.focus == kDark ? -11 : 99) << c.luma;
    }
}

struct NotifyDialog : fw::CDialog {
    NotifyDialog() : fw::CDialog(res::kSettingsTemplate) {}
    std::vector<std::pair<int, int>> commands, scrolls;
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

// An edit box notifies also when set by code; a combo box and a slider only for the user.
TEST(Notifications, ControlsNotifyTheirDialog) {
    NotifyDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    fw::CWnd &combo = *dlg.GetDlgItem(res::kSettingsPreset),
             &slider = *dlg.GetDlgItem(res::kSettingsChromaThresholdSlider);
    dlg.GetDlgItem(res::kSettingsChromaThresholdEdit)->SetWindowText("5");
    fw::ctrl::Click(*dlg.GetDlgItem(res::kSettingsHighQuality));
    EXPECT_EQ(fw::ctrl::GetCheck(*dlg.GetDlgItem(res::kSettingsHighQuality)), 1);
    fw::ctrl::SetCurSel(combo, 0);
    test::UserSelect(combo, 1);
    fw::ctrl::SetSliderRange(slider, 0, 20, true);
    fw::ctrl::SetSliderPos(slider, 7);
    test::UserStepSlider(slider);
    EXPECT_EQ(dlg.commands,
              (std::vector<std::pair<int, int>>{{res::kSettingsChromaThresholdEdit, fw::kEnChange},
                                                {res::kSettingsHighQuality, fw::kBnClicked},
                                                {res::kSettingsPreset, fw::kCbnSelChange}}));
    EXPECT_EQ(dlg.scrolls,
              (std::vector<std::pair<int, int>>{{res::kSettingsChromaThresholdSlider, 8}}));
    EXPECT_EQ(fw::ctrl::GetSliderPos(slider), 8);
}

// Messages and progress positions from a worker thread land on the window's thread, and only
// while the window exists.
TEST(Notifications, FromAnyThreadOnlyThroughTheEventLoop) {
    NotifyDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    fw::CProgressCtrl bar;
    ASSERT_TRUE(bar.SubclassDlgItem(res::kSettingsEstimateBar, &dlg));
    bar.SetRange32(0, 1000);
    std::thread([&] {
        EXPECT_TRUE(dlg.PostMessage(fw::kWmUser + 1));
        bar.SetPos(420);
    }).join();
    EXPECT_TRUE(dlg.messages.empty());
    fw::PumpMessages();
    EXPECT_EQ(dlg.messages, std::vector<uint32_t>{fw::kWmUser + 1});
    EXPECT_EQ(bar.GetPos(), 420);
    bar.SetPos(5000);  // limited to the range
    EXPECT_EQ(bar.GetPos(), 1000);
    dlg.PostMessage(fw::kWmUser + 2);
    dlg.DestroyWindow();
    fw::PumpMessages();
    EXPECT_EQ(dlg.messages.size(), 1u);
    EXPECT_FALSE(dlg.PostMessage(fw::kWmUser + 3));
}

// Takes its steps from messages posted to itself, which only the modal loop delivers.
struct ModalDialog : ExchangeDialog {
    std::vector<std::function<void()>> steps;
    size_t taken = 0;
    bool OnInitDialog() override {
        return ExchangeDialog::OnInitDialog() && PostMessage(fw::kWmUser);
    }
    bool OnMessage(uint32_t, uintptr_t, intptr_t) override {
        if (taken < steps.size()) {
            steps[taken++]();
            PostMessage(fw::kWmUser);
        }
        return true;
    }
};

TEST(ModalDialog, OkValidatesCancelAndEscapeEnd) {
    Recording() = {};
    ModalDialog dlg;
    const auto ok = [&dlg](const char* light) {
        return [&dlg, light] {
            dlg.Type(kLight, light);
            fw::ctrl::Click(*dlg.GetDlgItem(fw::kIdOk));
        };
    };
    dlg.steps = {ok("12"), [&] { test::PressKey(dlg, test::Key::Escape); }};
    EXPECT_EQ(dlg.DoModal(), fw::kIdCancel);
    EXPECT_EQ(dlg.taken, 2u);  // still open after the failed read
    EXPECT_EQ(Recording().messages.size(), 1u);
    EXPECT_FALSE(dlg.IsWindow());
    dlg.steps = {ok("4")};
    dlg.taken = 0;
    EXPECT_EQ(dlg.DoModal(), fw::kIdOk);
    EXPECT_EQ(dlg.light, 4);
}

TEST(Bitmaps, SizesAndButtonColourMapping) {
    const std::tuple<int, int, int> sizes[] = {{res::kAboutButtonBitmap, 60, 38},
                                               {res::kAboutPictureBitmap, 100, 80},
                                               {res::kZoomBitmap, 13, 13}};
    for (const auto& [id, w, h] : sizes) {
        const fw::Bitmap* b = res::FindBitmap(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(
            std::tuple(b->width, b->height, b->stride, b->bits.size()),
            std::tuple(w, h, (w * 3 + 3) / 4 * 4, static_cast<size_t>((w * 3 + 3) / 4 * 4 * h)));
    }
    EXPECT_EQ(res::FindBitmap(2003), nullptr);
    const fw::Bitmap m = fw::MapButtonColours(
        {5, 1, 16, {0, 0, 0, 128, 128, 128, 192, 192, 192, 255, 255, 255, 10, 20, 30, 0}});
    const fw::Colour expected[] = {
        fw::GetSysColor(fw::SysColour::ButtonText), fw::GetSysColor(fw::SysColour::ButtonShadow),
        fw::GetSysColor(fw::SysColour::ButtonFace), fw::GetSysColor(fw::SysColour::ButtonHighlight),
        fw::Rgb(30, 20, 10)};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(fw::Rgb(m.Pixel(x, 0)[2], m.Pixel(x, 0)[1], m.Pixel(x, 0)[0]), expected[x]) << x;
    }
}

TEST(Application, FileDialogHandlerAndDefaultExtension) {
    std::unique_ptr<fw::CWinApp> app = std::make_unique<fw::CWinApp>("VELNoiseReduction");
    EXPECT_EQ(fw::AfxGetApp(), app.get());
    app.reset();
    EXPECT_EQ(fw::AfxGetApp(), nullptr);
    fw::CFileDialog save(false, "pst", "", true, "Presets (*.pst)|*.pst||");
    save.SetTitle("Save preset");
    fw::SetFileDialogHandler([](const fw::CFileDialog& d, std::string& path) {
        EXPECT_TRUE(d.Title() == "Save preset" && !d.IsOpen() && d.OverwritePrompt());
        path = "/tmp/my.presets/mine";
        return fw::kIdOk;
    });
    EXPECT_EQ(save.DoModal(), fw::kIdOk);
    EXPECT_EQ(save.GetPathName(), "/tmp/my.presets/mine.pst");
    fw::SetFileDialogHandler([](const fw::CFileDialog&, std::string&) { return fw::kIdCancel; });
    fw::CFileDialog open(true, "pst", "", false, "Presets (*.pst)|*.pst||");
    EXPECT_EQ(open.DoModal(), fw::kIdCancel);
    EXPECT_EQ(open.GetPathName(), "");
    fw::SetFileDialogHandler(nullptr);
    EXPECT_EQ(fw::CFileDialog::WithDefaultExtension("a.txt", "pst"), "a.txt");
}

#ifndef _WIN32
TEST(QtBackend, TipsShowOnAHelpEventOnlyWhenEnabled) {
    struct TipDialog : fw::CDialog {
        TipDialog() : fw::CDialog(res::kSettingsTemplate) {}
        bool OnToolTipNeedText(int id, std::string& text) override {
            return !(text = res::LoadString(id)).empty();
        }
    } dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    QWidget* zoom = fw::qt::ControlWidget(dlg, res::kSettingsZoom);
    for (const bool enabled : {false, true}) {
        dlg.EnableToolTips(enabled);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), zoom->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(zoom, &help);
        EXPECT_EQ(QToolTip::text().toStdString(), enabled ? "Zoom in" : "");
        QToolTip::hideText();
    }
}

TEST(QtBackend, WindowsOnlyOnTheWindowSystemsThread) {
    testing::internal::CaptureStderr();
    std::thread([] { EXPECT_FALSE(fw::EnsureGui()); }).join();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("thread"), std::string::npos);
    EXPECT_TRUE(fw::EnsureGui());
}

TEST(QtBackend, PngDecodesToTheSamePixels) {
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{7, 3}, std::pair{300, 250}}) {
        std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 3));
        for (size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = static_cast<uint8_t>((i * 37u) ^ (i >> 5));
        }
        const std::vector<uint8_t> png = fw::EncodePngRgb(w, h, rgb);
        const QImage image = QImage::fromData(png.data(), static_cast<int>(png.size()), "PNG")
                                 .convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(image.size(), QSize(w, h));
        for (int y = 0; y < h; ++y) {
            EXPECT_TRUE(std::equal(rgb.begin() + y * w * 3, rgb.begin() + (y + 1) * w * 3,
                                   image.constScanLine(y)));
        }
    }
    EXPECT_TRUE(fw::EncodePngRgb(0, 5, {}).empty());
    EXPECT_TRUE(fw::EncodePngRgb(2, 2, std::vector<uint8_t>(5)).empty());
}
#endif

}  // namespace
}  // namespace vel
