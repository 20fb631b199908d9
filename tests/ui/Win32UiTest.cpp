// The dialogs on real Win32 windows (run under Wine on a virtual X display here): the progress
// window's controls and texts, Cancel reaching the running job through the run's
// message-pumping wait, keys that must not cancel, the about box and the web link.

#include "platform/win32/WinApi.h"
// After windows.h, which it extends.
#include <commctrl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/App.h"
#include "framework/win32/Win32Access.h"
#include "plugin/InteractiveSteps.h"
#include "plugin/Run.h"
#include "resources/Resources.h"
#include "settings/NoiseReductionParams.h"
#include "tests/run/TestImages.h"
#include "ui/AboutDlg.h"
#include "ui/ProgressDlg.h"
#include "ui/RunSteps.h"

namespace vel {
namespace {

std::string ItemText(HWND dialog, int id) {
    wchar_t buffer[256] = {};
    GetDlgItemTextW(dialog, id, buffer, 256);
    std::string out;
    for (const wchar_t* p = buffer; *p; ++p) {
        out += static_cast<char>(*p);
    }
    return out;
}

HWND Hwnd(const fw::CWnd& wnd) {
    return fw::win32::HwndOf(wnd);
}

TEST(Win32Progress, ControlsTextsAndBar) {
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("VEL Noise Reduction...", nullptr, true, nullptr, 0));
    HWND hwnd = Hwnd(dlg);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(ItemText(hwnd, 2012), "VEL Noise Reduction...");
    EXPECT_EQ(ItemText(hwnd, 2013), "0 %");
    EXPECT_EQ(ItemText(hwnd, IDCANCEL), "Cancel");
    HWND bar = GetDlgItem(hwnd, 2011);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 1000);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
    // No caption bar, no system menu.
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_NE(style & WS_CAPTION, WS_CAPTION);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    const struct {
        float percent;
        const char* text;
        int bar;
    } cases[] = {
        {0.0f, "0 %", 0}, {37.46f, "37 %", 375}, {99.6f, "100 %", 996}, {100.0f, "100 %", 1000}};
    for (const auto& c : cases) {
        dlg.SetProgress(c.percent);
        EXPECT_EQ(ItemText(hwnd, 2013), c.text);
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), c.bar);
    }
    CancelFlag flag{true};
    dlg.SetCancelFlag(&flag);
    EXPECT_FALSE(flag.load());
    SendMessageW(GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_TRUE(flag.load());
    EXPECT_EQ(ItemText(hwnd, 2012), "Cancelling...");
    EXPECT_TRUE(IsWindowVisible(hwnd));
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(hwnd));
}

// The run's progress window, with input queued for it before the job starts: the run's wait
// must dispatch it while the worker runs.
std::vector<std::pair<UINT, WPARAM>> g_queued;
bool g_reanalyse = false;
bool ConfirmSettings(PlaneImage&, const char*, const char*) {
    CurrentSettings().reanalyzeWhole = g_reanalyse;
    return true;
}

BOOL CALLBACK FindProgress(HWND hwnd, LPARAM lp) {
    if (GetDlgItem(hwnd, 2013) && GetDlgItem(hwnd, 2011)) {
        *reinterpret_cast<HWND*>(lp) = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND g_seen = nullptr;
std::unique_ptr<ProgressWindow> CreateWithQueuedInput() {
    auto window = ui::CreateRunProgressWindow();
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindProgress, reinterpret_cast<LPARAM>(&dialog));
    g_seen = dialog;
    HWND cancel = dialog ? GetDlgItem(dialog, IDCANCEL) : nullptr;
    if (cancel) {
        SetFocus(cancel);
        for (const auto& [message, wp] : g_queued) {
            PostMessageW(cancel, message, wp, 0);
        }
    }
    return window;
}

class Win32Run : public ::testing::Test {
  protected:
    void SetUp() override {
        steps_.runSettingsPhase = &ConfirmSettings;
        steps_.createProgressWindow = &CreateWithQueuedInput;
        SetInteractiveSteps(&steps_);
        saved_ = CurrentSettings();
        g_seen = nullptr;
    }
    void TearDown() override {
        SetInteractiveSteps(nullptr);
        CurrentSettings() = saved_;
        EXPECT_FALSE(g_seen && IsWindow(g_seen)) << "the run destroys its window";
    }
    InteractiveSteps steps_;
    NoiseReductionParams saved_;
};

TEST_F(Win32Run, CancelReachesTheJobThroughTheWait) {
    for (const bool reanalyse : {false, true}) {
        g_reanalyse = reanalyse;
        g_queued = {{BM_CLICK, 0}};
        std::vector<float> host = test::NoisyImage(256, 192, 9);
        const std::vector<float> before = host;
        OpenPluginImpl(0, 256, 192, host.data(), nullptr, nullptr);
        ASSERT_NE(g_seen, nullptr);
        EXPECT_EQ(host, before) << reanalyse;
    }
}

TEST_F(Win32Run, EscapeAndEnterDoNotCancel) {
    g_reanalyse = false;
    g_queued = {{WM_KEYDOWN, VK_ESCAPE},
                {WM_KEYUP, VK_ESCAPE},
                {WM_KEYDOWN, VK_RETURN},
                {WM_KEYUP, VK_RETURN}};
    std::vector<float> host = test::NoisyImage(128, 96, 10);
    const std::vector<float> before = host;
    OpenPluginImpl(0, 128, 96, host.data(), nullptr, nullptr);
    ASSERT_NE(g_seen, nullptr);
    EXPECT_NE(host, before);
}

// --- about box and web link ---------------------------------------------------------------

std::vector<std::string> g_messages;
int g_inspections = 0;

void CALLBACK InspectAbout(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND about = FindWindowW(L"#32770", L"About");
    if (!about) {
        return;
    }
    KillTimer(nullptr, timer);
    ++g_inspections;
    EXPECT_EQ(ItemText(about, 2008), "Web-page");
    EXPECT_NE(GetDlgItem(about, 2006), nullptr);
    EXPECT_EQ(ItemText(about, IDOK), "OK");
    // The link was fitted to its text: narrower than its template width of 34 units.
    RECT link{}, units{0, 0, 34, 8};
    GetWindowRect(GetDlgItem(about, 2008), &link);
    MapDialogRect(about, &units);
    EXPECT_LE(link.right - link.left, units.right);
    PostMessageW(about, WM_COMMAND, IDOK, 0);
}

TEST(Win32About, OpensAndClosesWithOk) {
    ui::CAboutDlg about;
    g_inspections = 0;
    SetTimer(nullptr, 0, 20, InspectAbout);
    EXPECT_EQ(about.DoModal(), fw::kIdOk);
    EXPECT_EQ(g_inspections, 1);
    EXPECT_FALSE(about.IsWindow());
}

TEST(Win32WebLink, HoverCaptureVisitedAndFailureText) {
    fw::SetMessageBoxHandler([](const std::string& text, uint32_t) {
        g_messages.push_back(text);
        return fw::kIdOk;
    });
    fw::SetBeepHandler([](uint32_t) {});
    int result = 42;
    ui::CWebLink::SetOpener([&result](const std::string&, int) { return result; });
    fw::CDialog dlg(res::kAboutDialog);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    ui::CWebLink link;
    ASSERT_TRUE(link.SubclassDlgItem(2008, &dlg));
    HWND hwnd = GetDlgItem(Hwnd(dlg), 2008);
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(0, 0, 255));
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(link.IsOver());
    EXPECT_EQ(GetCapture(), hwnd);
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(255, 0, 0));
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(-3), 2));
    EXPECT_FALSE(link.IsOver());
    EXPECT_NE(GetCapture(), hwnd);
    // A click is the static's notification to its dialog, reflected to the link.
    SendMessageW(Hwnd(dlg), WM_COMMAND, MAKEWPARAM(2008, STN_CLICKED),
                 reinterpret_cast<LPARAM>(hwnd));
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(128, 0, 128));
    result = 26;
    SendMessageW(Hwnd(dlg), WM_COMMAND, MAKEWPARAM(2008, STN_CLICKED),
                 reinterpret_cast<LPARAM>(hwnd));
    EXPECT_FALSE(link.IsVisited());
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_STYLE) & SS_NOTIFY, 0);
    ui::CWebLink::SetOpener(nullptr);
    fw::SetMessageBoxHandler(nullptr);
    fw::SetBeepHandler(nullptr);
}

}  // namespace
}  // namespace vel
