// The dialogs of ui/ on the backend they are built with: web link, picture button, about box,
// progress window alone and inside a processing run.

#include <algorithm>
#include <limits>
#include <memory>
#include <tuple>

#include "framework/Bitmaps.h"
#include "platform/WebLink.h"
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
#include <QApplication>
#include <QLabel>

#include "framework/qt/QtAccess.h"
#endif

namespace vel {
namespace {

using test::Recording;
constexpr fw::Colour kBlue = fw::Rgb(0, 0, 255), kRed = fw::Rgb(255, 0, 0),
                     kPurple = fw::Rgb(128, 0, 128);

bool Shows(const fw::CWnd& wnd, fw::Colour c) {
    const fw::WindowPicture picture = fw::GrabWindow(wnd);
    for (size_t i = 0; i + 2 < picture.rgb.size(); i += 3) {
        if (fw::Rgb(picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]) == c) {
            return true;
        }
    }
    return false;
}

class WebLink : public ::testing::Test {
  protected:
    void SetUp() override {
        Recording() = {};
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        ui::CWebLink::SetOpener([this](const std::string& address, int showMode) {
            calls.emplace_back(address, showMode);
            return result;
        });
    }
    void TearDown() override { ui::CWebLink::SetOpener(nullptr); }
    fw::CDialog dlg{res::kAboutTemplate};
    ui::CWebLink link;
    std::vector<std::pair<std::string, int>> calls;
    int result = 42;
};

// Attached, the link takes its text as address, is underlined, fitted to its text and has the
// address as tip.
TEST_F(WebLink, AttachTakesTheTextAsAddressUnderlinesAndFits) {
    const fw::Rect before = dlg.ScreenToClient(dlg.GetDlgItem(res::kAboutLink)->GetWindowRect());
    ASSERT_TRUE(link.SubclassDlgItem(res::kAboutLink, &dlg));
    EXPECT_TRUE(link.GetURL() == "Web-page" && link.Underlined() && test::FontUnderlined(link));
    EXPECT_TRUE(link.HasHandCursor() && (link.GetStyle() & fw::kNotify));
    fw::CClientDC measure(link);
    const fw::Size text = measure.dc().GetTextExtent("Web-page");
    EXPECT_LT(text.cx, before.Width());
    EXPECT_EQ(dlg.ScreenToClient(link.GetWindowRect()),
              (fw::Rect{before.left, before.top, before.left + text.cx, before.top + text.cy}));
    link.SetURL("https://example.org/x");
    EXPECT_EQ(link.ToolTip().TextAt(&link, {1, 1}), "https://example.org/x");
    EXPECT_EQ(link.GetWindowText(), "Web-page");
}

TEST_F(WebLink, HoverCapturesAndTurnsRedAClickOpensAndAFailureExplains) {
    dlg.GetDlgItem(res::kAboutLink)->SetWindowText("");
    link.SetURL("Web-page");
    ASSERT_TRUE(link.SubclassDlgItem(res::kAboutLink, &dlg));
    EXPECT_EQ(link.GetWindowText(), "Web-page");  // no text: the address shows
    EXPECT_TRUE(Shows(link, kBlue));
    // {where the mouse moves, over, colour}; a successful click comes before the fifth move.
    const std::tuple<fw::Point, bool, fw::Colour> moves[] = {{{2, 2}, true, kRed},
                                                             {{3, 2}, true, kRed},
                                                             {{-5, 2}, false, kBlue},
                                                             {{2, 2}, true, kRed},
                                                             {{2, 500}, false, kPurple}};
    for (const auto& [at, over, colour] : moves) {
        if (colour == kPurple) {
            test::MouseClick(link);
            EXPECT_EQ(calls, (decltype(calls){{"Web-page", platform::kShowNormal}}));
        }
        test::MouseMove(link, at);
        EXPECT_TRUE(link.IsOver() == over && link.HasCapture() == over) << at.x;
        EXPECT_EQ(link.CurrentColour(), colour) << at.x;
        EXPECT_TRUE(Shows(link, colour) && !Shows(link, colour == kRed ? kBlue : kRed)) << at.x;
    }
#ifndef _WIN32
    EXPECT_EQ(fw::qt::WidgetOf(link)->cursor().shape(), Qt::PointingHandCursor);
#endif
    EXPECT_TRUE(Recording().messages.empty() && Recording().beeps.empty());
    result = 26;  // a failure: beep, message, and no longer visited
    test::MouseClick(link);
    EXPECT_FALSE(link.IsVisited());
    EXPECT_EQ(Recording().beeps, std::vector<uint32_t>{fw::kMbIconExclamation});
    ASSERT_EQ(Recording().messages.size(), 1u);
    EXPECT_EQ(Recording().messages[0].first,
              "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(Recording().messages[0].second & 0xF0u, fw::kMbIconExclamation);
}

TEST(PictureButton, BitmapPlacement) {
    // No text: centred, rounding down also for a bitmap wider than the button. With text: a
    // third of the free width, rounded.
    const std::tuple<fw::Rect, int, int, int, fw::Point> cases[] = {
        {{0, 0, 59, 39}, 60, 38, 0, {-1, 1}},   {{10, 20, 30, 33}, 13, 13, 0, {13, 20}},
        {{0, 0, 20, 10}, 13, 13, 0, {3, -1}},   {{0, 0, 100, 20}, 40, 10, 30, {10, 5}},
        {{0, 0, 101, 20}, 40, 10, 30, {10, 5}}, {{0, 0, 102, 20}, 40, 10, 30, {11, 5}},
        {{0, 0, 65, 20}, 40, 10, 30, {-2, 5}}};
    for (const auto& [client, width, height, text, at] : cases) {
        EXPECT_EQ(ui::PictureButtonBitmapOrigin(client, width, height, text), at) << client.right;
    }
}

TEST(PictureButton, FrameAndMappedBitmapAreDrawn) {
    fw::CDialog dlg(res::kSettingsTemplate);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    ui::CPictureButton zoom;
    ASSERT_TRUE(zoom.Attach(res::kSettingsZoom, &dlg, res::kZoomBitmap, true));
    // The glass's white lens is mapped to the button highlight colour and shows.
    EXPECT_TRUE(Shows(zoom, fw::GetSysColor(fw::SysColour::ButtonHighlight)));
    const std::vector<uint8_t> framed = fw::GrabWindow(zoom).rgb;
    zoom.SetBitmap(res::kZoomBitmap, false);
    EXPECT_NE(fw::GrabWindow(zoom).rgb, framed);
    zoom.SetBitmap(0, false);  // no bitmap: only the face
    const fw::WindowPicture empty = fw::GrabWindow(zoom);
    EXPECT_EQ(empty.At(empty.width / 2, empty.height / 2),
              fw::GetSysColor(fw::SysColour::ButtonFace));
}

// Looks at itself from its own modal loop, then presses OK.
struct InspectedAbout : ui::CAboutDlg {
    bool inspected = false;
    bool OnInitDialog() override {
        return ui::CAboutDlg::OnInitDialog() && PostMessage(fw::kWmUser);
    }
    bool OnMessage(uint32_t, uintptr_t, intptr_t) override {
        inspected = true;
        EXPECT_TRUE(GetWindowText() == "About" && IsModal());
        EXPECT_EQ(Link().ToolTip().GetToolText(GetDlgItem(kLink), ui::CWebLink::kToolId),
                  ui::kProductPage);
        EXPECT_TRUE(Picture().BitmapId() == res::kAboutPictureBitmap && !Picture().DrawsFrame());
        // The picture is drawn centred in the button: its centre pixel is the bitmap's.
        const fw::WindowPicture shot = fw::GrabWindow(*GetDlgItem(kPicture));
        const fw::Bitmap mapped = fw::MapButtonColours(*res::FindBitmap(res::kAboutPictureBitmap));
        const fw::Point at =
            ui::PictureButtonBitmapOrigin({0, 0, shot.width, shot.height}, 100, 80, 0);
        const uint8_t* p = mapped.Pixel(shot.width / 2 - at.x, shot.height / 2 - at.y);
        EXPECT_EQ(shot.At(shot.width / 2, shot.height / 2), fw::Rgb(p[2], p[1], p[0]));
        fw::ctrl::Click(*GetDlgItem(fw::kIdOk));
        return true;
    }
};

TEST(AboutBox, ShowsItsTextsPictureAndLinkAndClosesWithOk) {
    InspectedAbout about;
    EXPECT_EQ(about.DoModal(), fw::kIdOk);
    EXPECT_TRUE(about.inspected && !about.IsWindow());
}

std::string Text(fw::CWnd& dlg, int id) {
    return dlg.GetDlgItem(id)->GetWindowText();
}

TEST(ProgressDlg, CreateShowsStatusEmptyBarAndCancelAndClearsTheFlag) {
    for (const bool cancelEnabled : {true, false}) {
        ui::CProgressDlg dlg;
        CancelFlag flag{true};
        ASSERT_TRUE(dlg.Create("Working...", nullptr, cancelEnabled, &flag, 0));
        fw::CWnd& bar = *dlg.GetDlgItem(ui::CProgressDlg::kBar);
        EXPECT_TRUE(!flag.load() && dlg.IsWindowVisible() && dlg.GetWindowText().empty());
        EXPECT_EQ((std::vector<std::string>{Text(dlg, ui::CProgressDlg::kStatus),
                                            Text(dlg, ui::CProgressDlg::kPercent),
                                            Text(dlg, fw::kIdCancel)}),
                  (std::vector<std::string>{"Working...", "0 %", "Cancel"}));
        EXPECT_EQ(std::tuple(fw::ctrl::GetProgressLower(bar), fw::ctrl::GetProgressUpper(bar),
                             fw::ctrl::GetProgressPos(bar)),
                  std::tuple(0, 1000, 0));
        EXPECT_EQ(dlg.GetDlgItem(fw::kIdCancel)->IsWindowEnabled(), cancelEnabled);
    }
}

TEST(ProgressDlg, TextAndBarFollowThePercentage) {
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("x", nullptr, true, nullptr, 0));
    // What a broken job might report (NaN, out of range) is limited before any conversion.
    const std::tuple<float, const char*, int> cases[] = {
        {0.0f, "0 %", 0},       {37.46f, "37 %", 375},
        {99.6f, "100 %", 996},  {100.0f, "100 %", 1000},
        {0.04f, "0 %", 0},      {0.05f, "0 %", 1},
        {49.5f, "50 %", 495},   {-5.0f, "0 %", 0},
        {1e30f, "100 %", 1000}, {std::numeric_limits<float>::quiet_NaN(), "0 %", 0}};
    for (const auto& [percent, text, position] : cases) {
        dlg.SetProgress(percent);
        EXPECT_EQ(Text(dlg, ui::CProgressDlg::kPercent), text) << percent;
        EXPECT_EQ(fw::ctrl::GetProgressPos(*dlg.GetDlgItem(ui::CProgressDlg::kBar)), position);
    }
}

// A window that records the messages posted to it.
struct Receiver : fw::CDialog {
    Receiver() : fw::CDialog(res::kAboutTemplate) {}
    bool OnMessage(uint32_t message, uintptr_t, intptr_t) override {
        received.push_back(message);
        return true;
    }
    std::vector<uint32_t> received;
};

// Cancel sets the current flag and posts the notify message each time and never closes the
// window; without flag, message or parent it only changes the text. Escape and Enter (the run's
// wait pumps as PumpMessages does) do nothing.
TEST(ProgressDlg, CancelSetsTheFlagAndPostsTheNotifyMessageAndKeysDoNot) {
    Receiver owner;
    ASSERT_TRUE(owner.Create(nullptr));
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
    fw::PumpMessages();
    EXPECT_EQ(owner.received, (std::vector<uint32_t>{fw::kWmUser + 7, fw::kWmUser + 7}));
    EXPECT_EQ(Text(orphan, ui::CProgressDlg::kStatus), "Cancelling...");
}

// A progress window as the run's own that records the statuses the run sets and, when a job
// starts under the status to cancel in, queues a click on Cancel for the run's wait to deliver.
struct Watch {
    bool reanalyse;
    std::string cancelIn;
    std::vector<std::string> statuses;
    int live = 0, peak = 0;
} g_watch;

class WatchedWindow : public ProgressWindow {
  public:
    WatchedWindow() {
        g_watch.peak = std::max(g_watch.peak, ++g_watch.live);
        EXPECT_TRUE(ui::EnsureWindows() && dialog_.Create("", nullptr, true, nullptr, 0));
    }
    ~WatchedWindow() override { --g_watch.live; }
    void SetStatusText(const char* text) override {
        dialog_.SetStatusText(text);
        g_watch.statuses.push_back(text);
    }
    void SetProgress(float percent) override { dialog_.SetProgress(percent); }
    void SetCancelFlag(CancelFlag* flag) override {
        dialog_.SetCancelFlag(flag);
        if (flag && g_watch.statuses.back() == g_watch.cancelIn) {
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

TEST(ProgressRun, StatusesAndCancelInEitherJobLeaveTheHostImage) {
    const std::string analysis = "Image pre-analysis...", reduction = "VEL Noise Reduction...";
    const Watch cases[] = {{true, "", {analysis, reduction}},
                           {true, analysis, {analysis}},
                           {false, reduction, {reduction}}};
    InteractiveSteps steps{
        [](PlaneImage&, const char*, const char*) {
            CurrentSettings().reanalyzeWhole = g_watch.reanalyse;
            return true;
        },
        [] { return std::unique_ptr<ProgressWindow>(std::make_unique<WatchedWindow>()); }};
    SetInteractiveSteps(&steps);
    const NoiseReductionParams saved = CurrentSettings();
    for (const Watch& c : cases) {
        g_watch = {c.reanalyse, c.cancelIn, {}};
        std::vector<float> host = test::NoisyImage(128, 96, 7);
        const std::vector<float> before = host;
        OpenPluginImpl(0, 128, 96, host.data(), nullptr, nullptr);
        EXPECT_EQ(host == before, !c.cancelIn.empty()) << c.cancelIn;
        EXPECT_EQ(g_watch.statuses, c.statuses);
        EXPECT_EQ(std::pair(g_watch.live, g_watch.peak), std::pair(0, 1)) << "one, destroyed";
    }
    SetInteractiveSteps(nullptr);
    CurrentSettings() = saved;
}

#ifdef VELNR_UI_MODULE_PATH
// The module the plug-in library loads for its windows: its steps make the run's progress
// window, shown with the product's status, and its pump runs the window system's events.
TEST(UiModule, GivesTheProgressWindowStepAndThePump) {
    void* module = dlopen(VELNR_UI_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto steps =
        reinterpret_cast<const InteractiveSteps* (*)()>(dlsym(module, "VelnrUiSteps"));
    const auto pump = reinterpret_cast<bool (*)()>(dlsym(module, "VelnrUiPump"));
    ASSERT_TRUE(steps && pump && steps()->createProgressWindow);
    EXPECT_EQ(steps()->runSettingsPhase, nullptr);  // no settings dialog yet
    const auto statusLabels = [] {
        std::vector<std::string> texts;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            for (QLabel* label : top->findChildren<QLabel*>()) {
                if (fw::qt::ControlId(label) == ui::CProgressDlg::kStatus && top->isVisible()) {
                    texts.push_back(label->text().toStdString());
                }
            }
        }
        return texts;
    };
    std::unique_ptr<ProgressWindow> window = steps()->createProgressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(statusLabels(), std::vector<std::string>{"VEL Noise Reduction..."});
    CancelFlag flag{true};
    window->SetCancelFlag(&flag);
    EXPECT_FALSE(flag.load());
    EXPECT_TRUE(pump());
    window.reset();
    EXPECT_TRUE(statusLabels().empty());
}
#endif

}  // namespace
}  // namespace vel
