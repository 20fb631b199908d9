// The window framework and the dialogs of ui/ on the backend they are built with.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <ranges>
#include <thread>
#include <tuple>
#include <utility>

#include "framework/Bitmaps.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "platform/WebLink.h"
#include "plugin/Instance.h"
#include "plugin/Run.h"
#include "resources/Resources.h"
#include "settings/NoiseReductionParams.h"
#include "tests/run/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/AboutDlg.h"
#include "ui/ProgressDlg.h"
#include "ui/RunSteps.h"
#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace vel {
namespace {

PluginInstance g_instance;  // as the exports hand it to the run

using test::recorded;
constexpr int kLuma = res::kSettingsLumaThresholdEdit, kLight = res::kSettingsLightCorrectionEdit,
              kDark = res::kSettingsDarkCorrectionEdit;

TEST(Templates, EveryControlHasItsKindTextAndPlace) {
    ASSERT_EQ(res::AllDialogTemplates().size(), 3u);
    for (const fw::DialogTemplate* t : res::AllDialogTemplates()) {
        fw::CDialog dlg(*t);
        ASSERT_TRUE(dlg.Create(nullptr));
        // About 6 x 13 for the 8-point "MS Shell Dlg" at 96 dpi; any stand-in must be close.
        const fw::Size base = dlg.GetDialogBaseUnits();
        EXPECT_TRUE(base.cx > 4 && base.cx < 12 && base.cy > 8 && base.cy < 24) << base.cx;
        EXPECT_EQ(dlg.GetClientRect(), dlg.MapDialogRect({0, 0, t->cx, t->cy}));
        EXPECT_EQ(dlg.GetWindowText(), t->caption);
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
            const int off = std::abs(r.left - d.left) + std::abs(r.top - d.top) +
                            std::abs(r.right - d.right) + std::abs(r.bottom - d.bottom);
            EXPECT_LE(combo ? off - std::abs(r.bottom - d.bottom) : off, 4) << c.id;
            EXPECT_EQ(w->GetDlgCtrlID(), c.id);
            EXPECT_EQ(w->GetDialogBaseUnits(), base) << c.id;
            EXPECT_EQ(combo ? c.text : w->GetWindowText(), c.text) << c.id;  // "&&" as given
        }
        EXPECT_EQ(test::LabelTexts(dlg), labels) << t->id;
    }
}

// Records what reaches it; a modal one takes its steps from messages posted to itself, which
// only the modal loop delivers.
struct TestDialog : fw::CDialog {
    TestDialog() : fw::CDialog(res::kSettingsTemplate) {}
    int luma = 0, light = 0, dark = 0, check = 0, slider = 0, preset = 2;
    std::vector<uint32_t> messages;
    std::vector<std::function<void()>> steps;
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
    bool OnInitDialog() override { return fw::CDialog::OnInitDialog() && PostMessage(fw::kWmUser); }
    bool OnMessage(uint32_t message, uintptr_t, intptr_t) override {
        messages.push_back(message);
        if (IsModal() && messages.size() <= steps.size()) {
            steps[messages.size() - 1]();
            PostMessage(fw::kWmUser);
        }
        return true;
    }
};

TEST(DataExchange, EveryKindBothWaysAndBadTextStopsAtItsBox) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    fw::ctrl::SetSliderRange(*dlg.GetDlgItem(res::kSettingsLumaThresholdSlider), 0, 20, false);
    dlg.luma = -3, dlg.light = 7, dlg.dark = -10, dlg.check = 1, dlg.slider = 14, dlg.preset = 1;
    ASSERT_TRUE(dlg.UpdateData(false));
    dlg.luma = dlg.light = dlg.dark = dlg.check = dlg.slider = dlg.preset = 99;
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(std::vector<int>({dlg.luma, dlg.light, dlg.dark, dlg.check, dlg.slider, dlg.preset}),
              std::vector<int>({-3, 7, -10, 1, 14, 1}));
    const std::string range = "Please enter an integer between -10 and 10.", nan = fw::kMsgInteger;
    std::vector<std::tuple<const char*, const char*, const char*, std::string, int>> cases = {
        {"0", "11", "4", range, kLight},
        {"0", "10", "-11", range, kDark},
        {" -2147483648 ", "-10", "10", "", INT32_MIN},
        {"2147483647", "0", "0", "", INT32_MAX},
        {"+0", "0", "0", "", 0}};  // focus or luma
    for (const char* bad : {"abc", "", "-", "+", "1.5", "3x", "1 2", "2147483648", "-2147483649"}) {
        cases.emplace_back(bad, "5", "0", nan, kLuma);
    }
    for (const auto& [luma, light, dark, message, focus] : cases) {
        recorded = {};
        dlg.Type(kLuma, luma), dlg.Type(kLight, light), dlg.Type(kDark, dark);
        dlg.light = dlg.dark = 99;
        EXPECT_EQ(dlg.UpdateData(true), message.empty()) << luma;
        if (message.empty()) {
            EXPECT_TRUE(dlg.luma == focus && recorded.messages.empty()) << luma;
            continue;
        }
        EXPECT_EQ(recorded.messages,
                  (decltype(recorded.messages){{message, fw::kMbOk | fw::kMbIconExclamation}}));
        EXPECT_TRUE(dlg.GetDlgItem(focus)->HasFocus()) << luma;
        // The dark field is read before its range is checked.
        EXPECT_EQ(focus == kLuma ? dlg.light : dlg.dark, focus == kDark ? -11 : 99) << luma;
    }
}

// OK validates (a failed read keeps the dialog open), Escape cancels; OK is in the about box.
TEST(ModalDialog, OkValidatesAndEscapeCancels) {
    recorded = {};
    TestDialog dlg;
    dlg.steps = {[&] {
                     dlg.Type(kLight, "12");
                     fw::ctrl::Click(*dlg.GetDlgItem(fw::kIdOk));
                 },
                 [&] { test::PressKey(dlg, test::Key::Escape); }};
    EXPECT_EQ(dlg.DoModal(), fw::kIdCancel);
    EXPECT_EQ(recorded.messages.size(), 1u);
}

constexpr fw::Colour kBlue = fw::Rgb(0, 0, 255), kRed = fw::Rgb(255, 0, 0),
                     kPurple = fw::Rgb(128, 0, 128);

bool Shows(const fw::CWnd& wnd, fw::Colour c) {
    const fw::WindowPicture p = fw::GrabWindow(wnd);
    return std::ranges::any_of(std::views::iota(0, p.width * p.height),
                               [&](int i) { return p.At(i % p.width, i / p.width) == c; });
}

TEST(WebLink, FitsHoversOpensAndExplainsAFailure) {
    recorded = {};
    int result = 42;
    std::vector<std::pair<std::string, int>> calls;
    ui::CWebLink::SetOpener([&](const std::string& address, int showMode) {
        calls.emplace_back(address, showMode);
        return result;
    });
    fw::CDialog dlg{res::kAboutTemplate};
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    const fw::Rect before = dlg.ScreenToClient(dlg.GetDlgItem(res::kAboutLink)->GetWindowRect());
    ui::CWebLink link;
    ASSERT_TRUE(link.SubclassDlgItem(res::kAboutLink, &dlg));
    EXPECT_TRUE(link.GetURL() == "Web-page" && link.Underlined() && link.HasHandCursor());
    fw::CClientDC measure(link);
    const fw::Size text = measure.dc().GetTextExtent("Web-page");
    EXPECT_EQ(dlg.ScreenToClient(link.GetWindowRect()),
              (fw::Rect{before.left, before.top, before.left + text.cx, before.top + text.cy}));
    EXPECT_EQ(link.ToolTip().TextAt(&link, {1, 1}), "Web-page");

    // {where the mouse moves, over, colour}; a click comes before the purple one.
    const std::tuple<fw::Point, bool, fw::Colour> moves[] = {{{2, 2}, true, kRed},
                                                             {{-5, 2}, false, kBlue},
                                                             {{2, 2}, true, kRed},
                                                             {{2, 500}, false, kPurple}};
    EXPECT_TRUE(Shows(link, kBlue));
    for (const auto& [at, over, colour] : moves) {
        if (colour == kPurple) {
            test::Mouse(link, {2, 2}, true);
            EXPECT_EQ(calls, (decltype(calls){{"Web-page", platform::kShowNormal}}));
        }
        test::Mouse(link, at, false);
        EXPECT_TRUE(link.IsOver() == over && link.HasCapture() == over) << at.x;
        EXPECT_EQ(link.CurrentColour(), colour) << at.x;
        EXPECT_TRUE(Shows(link, colour) && !Shows(link, colour == kRed ? kBlue : kRed)) << at.x;
    }
    EXPECT_TRUE(recorded.messages.empty() && recorded.beeps.empty());
    result = 26;
    test::Mouse(link, {2, 2}, true);
    EXPECT_FALSE(link.IsVisited());
    EXPECT_EQ(recorded.beeps, std::vector<uint32_t>{fw::kMbIconExclamation});
    EXPECT_EQ(
        recorded.messages,
        (decltype(recorded.messages){{"Unable to open hyperlink:\n\nA sharing violation occurred. ",
                                      fw::kMbOk | fw::kMbIconExclamation}}));
    ui::CWebLink::SetOpener(nullptr);
}

TEST(PictureButton, BitmapPlacement) {
    // No text: centred, rounding down also for a bitmap wider than the button. With text: a
    // third of the free width, rounded.
    const std::tuple<fw::Rect, int, int, int, fw::Point> cases[] = {
        {{0, 0, 59, 39}, 60, 38, 0, {-1, 1}},   {{10, 20, 30, 33}, 13, 13, 0, {13, 20}},
        {{0, 0, 20, 10}, 13, 13, 0, {3, -1}},   {{0, 0, 101, 20}, 40, 10, 30, {10, 5}},
        {{0, 0, 102, 20}, 40, 10, 30, {11, 5}}, {{0, 0, 65, 20}, 40, 10, 30, {-2, 5}}};
    for (const auto& [client, width, height, text, at] : cases) {
        EXPECT_EQ(ui::PictureButtonBitmapOrigin(client, width, height, text), at) << client.right;
    }
}

// Looks at itself from its own modal loop, then presses OK.
struct InspectedAbout : ui::CAboutDlg {
    bool inspected = false;
    bool OnInitDialog() override {
        return ui::CAboutDlg::OnInitDialog() && PostMessage(fw::kWmUser);
    }
    bool OnMessage(uint32_t, uintptr_t, intptr_t) override {
        ShowWindow(fw::kSwShow);  // the dialog manager shows it only once its queue is idle
        inspected = IsModal();
        EXPECT_EQ(Link().ToolTip().GetToolText(GetDlgItem(kLink), ui::CWebLink::kToolId),
                  ui::kProductPage);
        EXPECT_TRUE(Picture().BitmapId() == res::kAboutPictureBitmap && !Picture().DrawsFrame());
        // The picture is drawn centred in the button: its centre pixel is the bitmap's.
        const fw::WindowPicture shot = fw::GrabWindow(*GetDlgItem(kPicture));
        const fw::Bitmap bitmap = fw::MapButtonColours(*res::FindBitmap(res::kAboutPictureBitmap));
        const fw::Point at =
            ui::PictureButtonBitmapOrigin({0, 0, shot.width, shot.height}, 100, 80, 0);
        const uint8_t* p = bitmap.Pixel(shot.width / 2 - at.x, shot.height / 2 - at.y);
        EXPECT_EQ(shot.At(shot.width / 2, shot.height / 2), fw::Rgb(p[2], p[1], p[0]));
        fw::ctrl::Click(*GetDlgItem(fw::kIdOk));
        return true;
    }
};

TEST(AboutBox, ShowsItsPictureAndLinkAndClosesWithOk) {
    InspectedAbout about;
    EXPECT_EQ(about.DoModal(), fw::kIdOk);
    EXPECT_TRUE(about.inspected && !about.IsWindow());
}

const auto Text = [](const fw::CWnd& dlg, int id) { return dlg.GetDlgItem(id)->GetWindowText(); };

// What a broken job might report (NaN, out of range) is limited before any conversion.
TEST(ProgressDlg, CreateShowsStatusEmptyBarAndCancelAndFollowsThePercentage) {
    ui::CProgressDlg dlg;
    CancelFlag flag{true};
    ASSERT_TRUE(dlg.Create("Working...", nullptr, false, &flag, 0));
    fw::CWnd& bar = *dlg.GetDlgItem(ui::CProgressDlg::kBar);
    EXPECT_TRUE(!flag.load() && dlg.IsWindowVisible() && dlg.GetWindowText().empty());
    EXPECT_FALSE(dlg.GetDlgItem(fw::kIdCancel)->IsWindowEnabled());
    EXPECT_EQ(Text(dlg, ui::CProgressDlg::kStatus), "Working...");
    EXPECT_EQ(std::tuple(fw::ctrl::GetProgressLower(bar), fw::ctrl::GetProgressUpper(bar),
                         fw::ctrl::GetProgressPos(bar), Text(dlg, ui::CProgressDlg::kPercent)),
              std::tuple(0, 1000, 0, "0 %"));
    const std::tuple<float, const char*, int> cases[] = {
        {0.0f, "0 %", 0},       {37.46f, "37 %", 375},
        {99.6f, "100 %", 996},  {100.0f, "100 %", 1000},
        {0.04f, "0 %", 0},      {0.05f, "0 %", 1},
        {49.5f, "50 %", 495},   {-5.0f, "0 %", 0},
        {1e30f, "100 %", 1000}, {std::numeric_limits<float>::quiet_NaN(), "0 %", 0}};
    for (const auto& [percent, text, position] : cases) {
        dlg.SetProgress(percent);
        EXPECT_EQ(Text(dlg, ui::CProgressDlg::kPercent), text) << percent;
        EXPECT_EQ(fw::ctrl::GetProgressPos(bar), position) << percent;
    }
}

// The window never closes itself. Keys are pumped as the run's wait pumps them; a worker
// thread's messages and bar positions arrive through the event loop only.
TEST(ProgressDlg, CancelSetsTheFlagAndPostsTheNotifyMessageAndKeysDoNot) {
    TestDialog owner;
    ASSERT_TRUE(owner.Create(nullptr));
    fw::PumpMessages();
    CancelFlag first{false}, second{true};
    ui::CProgressDlg dlg, silent, orphan;
    ASSERT_TRUE(dlg.Create("Working", &owner, true, &first, fw::kWmUser + 7));
    fw::CWnd& cancel = *dlg.GetDlgItem(fw::kIdCancel);
    cancel.SetFocus();
    for (const test::Key key : {test::Key::Escape, test::Key::Enter}) {
        test::PressKey(dlg, key);
        fw::PumpMessages();
    }
    EXPECT_TRUE(!first.load() && Text(dlg, ui::CProgressDlg::kStatus) == "Working");
    fw::ctrl::Click(cancel);
    EXPECT_TRUE(first.load() && Text(dlg, ui::CProgressDlg::kStatus) == "Cancelling...");
    dlg.SetCancelFlag(&second);
    EXPECT_FALSE(second.load());
    fw::ctrl::Click(cancel);
    EXPECT_TRUE(second.load() && cancel.IsWindowEnabled() && dlg.IsWindowVisible());
    ASSERT_TRUE(silent.Create("Working", &owner, true, nullptr, 0));
    ASSERT_TRUE(orphan.Create("Working", nullptr, true, nullptr, fw::kWmUser + 1));
    fw::ctrl::Click(*silent.GetDlgItem(fw::kIdCancel));
    fw::ctrl::Click(*orphan.GetDlgItem(fw::kIdCancel));
    fw::CWnd& bar = *dlg.GetDlgItem(ui::CProgressDlg::kBar);
    std::thread([&] {
        EXPECT_TRUE(owner.PostMessage(fw::kWmUser + 8));
        fw::ctrl::SetProgressPos(bar, 420);
    }).join();
    EXPECT_EQ(owner.messages.size(), 1u);  // only the event loop delivers
    fw::PumpMessages();
    EXPECT_EQ(fw::ctrl::GetProgressPos(bar), 420);
    EXPECT_EQ(owner.messages, (std::vector<uint32_t>{fw::kWmUser, fw::kWmUser + 7, fw::kWmUser + 7,
                                                     fw::kWmUser + 8}));
    owner.PostMessage(fw::kWmUser + 9);
    owner.DestroyWindow();
    fw::PumpMessages();
    EXPECT_TRUE(owner.messages.size() == 4u && !owner.PostMessage(fw::kWmUser));
    EXPECT_EQ(Text(orphan, ui::CProgressDlg::kStatus), "Cancelling...");
}

// A progress window as the run's own that, when asked, queues a click on its Cancel as the
// first job starts, for the run's wait to deliver.
struct Watch {
    bool reanalyse, cancel;
    int live = 0, peak = 0;
} g_watch;

class WatchedWindow : public ProgressWindow {
  public:
    WatchedWindow() {
        g_watch.peak = std::max(g_watch.peak, ++g_watch.live);
        EXPECT_TRUE(ui::EnsureWindows() && dialog_.Create("", nullptr, true, nullptr, 0));
    }
    ~WatchedWindow() override { --g_watch.live; }
    void SetStatusText(const char* text) override { dialog_.SetStatusText(text); }
    void SetProgress(float percent) override { dialog_.SetProgress(percent); }
    void SetCancelFlag(CancelFlag* flag) override {
        dialog_.SetCancelFlag(flag);
        if (flag && std::exchange(g_watch.cancel, false)) {
            dialog_.PostMessage(fw::kWmUser);
        }
    }

  private:
    struct Dialog : ui::CProgressDlg {
        bool OnMessage(uint32_t, uintptr_t, intptr_t) override {
            fw::ctrl::Click(*GetDlgItem(fw::kIdCancel));
            return true;
        }
    } dialog_;
};

TEST(ProgressRun, CancelInEitherJobLeavesTheHostImage) {
    InteractiveSteps steps{
        [](const SettingsPhase& phase) {
            phase.currentSettings->reanalyzeWhole = g_watch.reanalyse;
            return true;
        },
        [] { return std::unique_ptr<ProgressWindow>(std::make_unique<WatchedWindow>()); }};
    g_instance.steps = &steps;
    const NoiseReductionParams saved = g_instance.settings;
    for (const Watch& c : {Watch{true, false}, Watch{true, true}, Watch{false, true}}) {
        g_watch = c;
        std::vector<float> host = test::NoisyImage(128, 96, 7);
        const std::vector<float> before = host;
        OpenPluginImpl(g_instance, 0, 128, 96, host.data(), nullptr, nullptr);
        EXPECT_EQ(host == before, c.cancel) << c.reanalyse;
        EXPECT_EQ(std::pair(g_watch.live, g_watch.peak), std::pair(0, 1)) << "one, destroyed";
    }
    g_instance.steps = nullptr;
    g_instance.settings = saved;
}

#ifndef _WIN32
TEST(QtBackend, WindowsOnlyOnTheWindowSystemsThread) {
    testing::internal::CaptureStderr();
    std::thread([] { EXPECT_FALSE(fw::EnsureGui()); }).join();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("thread"), std::string::npos);
    EXPECT_TRUE(fw::EnsureGui());
}

// The module that the plug-in library loads at its first window.
TEST(UiModule, GivesTheProgressWindowStepAndThePump) {
    void* module = dlopen(VELNR_UI_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto steps =
        reinterpret_cast<const InteractiveSteps* (*)()>(dlsym(module, "VelnrUiSteps"));
    const auto pump = reinterpret_cast<bool (*)()>(dlsym(module, "VelnrUiPump"));
    ASSERT_TRUE(steps && pump && steps()->createProgressWindow);
    EXPECT_NE(steps()->runSettingsPhase, nullptr);
    std::unique_ptr<ProgressWindow> window = steps()->createProgressWindow();
    ASSERT_NE(window, nullptr);
    CancelFlag flag{true};
    window->SetCancelFlag(&flag);
    EXPECT_TRUE(!flag.load() && pump());
}
#endif

}  // namespace
}  // namespace vel
