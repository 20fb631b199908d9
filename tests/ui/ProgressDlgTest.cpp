// The progress window on real Qt widgets, alone and inside a processing run.

#include <dlfcn.h>

#include <QKeyEvent>
#include <QTimer>
#include <cmath>
#include <limits>

#include "framework/App.h"
#include "framework/Dialog.h"
#include "plugin/InteractiveSteps.h"
#include "plugin/Run.h"
#include "settings/NoiseReductionParams.h"
#include "tests/run/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ProgressDlg.h"
#include "ui/RunSteps.h"

namespace vel {
namespace {

using test::Child;
using test::Text;

QProgressBar* Bar(ui::CProgressDlg& dlg) {
    return qobject_cast<QProgressBar*>(fw::qt::ControlWidget(dlg, ui::CProgressDlg::kBar));
}
std::string Status(ui::CProgressDlg& dlg) {
    return Text(fw::qt::ControlWidget(dlg, ui::CProgressDlg::kStatus));
}
std::string Percent(ui::CProgressDlg& dlg) {
    return Text(fw::qt::ControlWidget(dlg, ui::CProgressDlg::kPercent));
}
QPushButton* CancelButton(ui::CProgressDlg& dlg) {
    return qobject_cast<QPushButton*>(fw::qt::ControlWidget(dlg, fw::kIdCancel));
}

// A window that counts the messages posted to it.
struct Receiver : fw::CDialog {
    Receiver() : fw::CDialog(2003) {}
    bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        received.push_back(message);
        EXPECT_EQ(wParam, 0u);
        EXPECT_EQ(lParam, 0);
        return true;
    }
    std::vector<uint32_t> received;
};

TEST(ProgressDlg, CreateShowsTheTemplateWithStatusAndEmptyBar) {
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("VEL Noise Reduction...", nullptr, true, nullptr, 0));
    QWidget* w = fw::qt::WidgetOf(dlg);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle().toStdString(), "");
    EXPECT_EQ(Status(dlg), "VEL Noise Reduction...");
    EXPECT_EQ(Percent(dlg), "0 %");
    EXPECT_EQ(Bar(dlg)->minimum(), 0);
    EXPECT_EQ(Bar(dlg)->maximum(), 1000);
    EXPECT_EQ(Bar(dlg)->value(), 0);
    EXPECT_TRUE(CancelButton(dlg)->isEnabled());
    EXPECT_EQ(Text(CancelButton(dlg)), "Cancel");
    dlg.DestroyWindow();
    EXPECT_FALSE(dlg.IsWindow());
}

TEST(ProgressDlg, CancelDisabledAndFlagClearedOnCreate) {
    CancelFlag flag{true};
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("x", nullptr, false, &flag, 0));
    EXPECT_FALSE(flag.load());
    EXPECT_FALSE(CancelButton(dlg)->isEnabled());
}

TEST(ProgressDlg, ProgressTextAndBarFollowThePercentage) {
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("x", nullptr, true, nullptr, 0));
    const struct {
        float percent;
        const char* text;
        int bar;
    } cases[] = {{0.0f, "0 %", 0},        {37.46f, "37 %", 375}, {99.6f, "100 %", 996},
                 {100.0f, "100 %", 1000}, {0.04f, "0 %", 0},     {0.05f, "0 %", 1},
                 {49.5f, "50 %", 495}};
    for (const auto& c : cases) {
        dlg.SetProgress(c.percent);
        EXPECT_EQ(Percent(dlg), c.text) << c.percent;
        EXPECT_EQ(Bar(dlg)->value(), c.bar) << c.percent;
    }
    // Values a broken job might report are limited before any conversion.
    dlg.SetProgress(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(Percent(dlg), "0 %");
    dlg.SetProgress(-5.0f);
    EXPECT_EQ(Bar(dlg)->value(), 0);
    dlg.SetProgress(1e30f);
    EXPECT_EQ(Percent(dlg), "100 %");
    EXPECT_EQ(Bar(dlg)->value(), 1000);
}

TEST(ProgressDlg, CancelTwiceSetsFlagAndPostsTheNotifyMessageEachTime) {
    Receiver owner;
    ASSERT_TRUE(owner.Create(nullptr));
    CancelFlag flag{false};
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("Working", &owner, true, &flag, fw::kWmUser + 7));
    CancelButton(dlg)->click();
    EXPECT_TRUE(flag.load());
    EXPECT_EQ(Status(dlg), "Cancelling...");
    CancelButton(dlg)->click();
    EXPECT_TRUE(flag.load());
    EXPECT_TRUE(CancelButton(dlg)->isEnabled());
    EXPECT_TRUE(fw::qt::WidgetOf(dlg)->isVisible());  // it never closes itself
    fw::PumpMessages();
    EXPECT_EQ(owner.received, (std::vector<uint32_t>{fw::kWmUser + 7, fw::kWmUser + 7}));
}

TEST(ProgressDlg, CancelWithoutMessageOrFlagPostsNothing) {
    Receiver owner;
    ASSERT_TRUE(owner.Create(nullptr));
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("Working", &owner, true, nullptr, 0));
    CancelButton(dlg)->click();
    fw::PumpMessages();
    EXPECT_TRUE(owner.received.empty());
    EXPECT_EQ(Status(dlg), "Cancelling...");

    ui::CProgressDlg orphan;  // a message but no parent: nothing to post to
    ASSERT_TRUE(orphan.Create("Working", nullptr, true, nullptr, fw::kWmUser + 1));
    CancelButton(orphan)->click();
    fw::PumpMessages();
    EXPECT_TRUE(owner.received.empty());
}

TEST(ProgressDlg, SetCancelFlagClearsTheNewJobsFlagOnly) {
    CancelFlag first{false};
    CancelFlag second{true};
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("x", nullptr, true, &first, 0));
    CancelButton(dlg)->click();
    EXPECT_TRUE(first.load());
    dlg.SetCancelFlag(&second);
    EXPECT_FALSE(second.load());
    EXPECT_TRUE(first.load());
    CancelButton(dlg)->click();
    EXPECT_TRUE(second.load());
    dlg.SetCancelFlag(nullptr);
    CancelButton(dlg)->click();  // no flag: only the text
    EXPECT_EQ(Status(dlg), "Cancelling...");
}

TEST(ProgressDlg, EscapeAndEnterDoNotCancel) {
    CancelFlag flag{false};
    ui::CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create("Working", nullptr, true, &flag, 0));
    CancelButton(dlg)->setFocus();
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(CancelButton(dlg), &press);
        QApplication::sendEvent(CancelButton(dlg), &release);
        fw::PumpMessages();
    }
    EXPECT_FALSE(flag.load());
    EXPECT_EQ(Status(dlg), "Working");
    EXPECT_TRUE(fw::qt::WidgetOf(dlg)->isVisible());
}

// --- inside a processing run ------------------------------------------------------------

bool g_reanalyse = false;
bool ConfirmSettings(PlaneImage&, const char*, const char*) {
    CurrentSettings().reanalyzeWhole = g_reanalyse;
    return true;
}

// Watches the run's progress window from the event loop that the run's wait pumps: records
// every status it shows and presses Cancel once a given status appears.
class RunWatcher {
  public:
    explicit RunWatcher(std::string cancelIn) : cancelIn_(std::move(cancelIn)) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start();
    }
    std::vector<std::string> statuses;
    bool pressed = false;
    int windowsSeen = 0;

  private:
    void Look() {
        const auto windows = test::WindowsWithControl(ui::CProgressDlg::kStatus);
        windowsSeen = std::max(windowsSeen, static_cast<int>(windows.size()));
        if (windows.size() != 1) {
            return;
        }
        const std::string status = Text(Child(windows[0], ui::CProgressDlg::kStatus));
        if (statuses.empty() || statuses.back() != status) {
            statuses.push_back(status);
        }
        if (!pressed && status == cancelIn_) {
            pressed = true;
            qobject_cast<QPushButton*>(Child(windows[0], fw::kIdCancel))->click();
            statuses.push_back(Text(Child(windows[0], ui::CProgressDlg::kStatus)));
        }
    }
    std::string cancelIn_;
    QTimer timer_;
};

class ProgressRun : public ::testing::Test {
  protected:
    void SetUp() override {
        steps_.runSettingsPhase = &ConfirmSettings;
        steps_.createProgressWindow = &ui::CreateRunProgressWindow;
        SetInteractiveSteps(&steps_);
        saved_ = CurrentSettings();
    }
    void TearDown() override {
        SetInteractiveSteps(nullptr);
        CurrentSettings() = saved_;
        EXPECT_TRUE(test::WindowsWithControl(ui::CProgressDlg::kStatus).empty())
            << "the run must destroy its progress window";
    }
    InteractiveSteps steps_;
    NoiseReductionParams saved_;
};

TEST_F(ProgressRun, ShowsPreAnalysisThenReductionAndCompletes) {
    g_reanalyse = true;
    std::vector<float> host = test::NoisyImage(96, 64, 5);
    const std::vector<float> before = host;
    RunWatcher watcher("");
    OpenPluginImpl(0, 96, 64, host.data(), nullptr, nullptr);
    EXPECT_NE(host, before);
    ASSERT_GE(watcher.statuses.size(), 2u);
    EXPECT_EQ(watcher.statuses.front(), "Image pre-analysis...");
    EXPECT_EQ(watcher.statuses.back(), "VEL Noise Reduction...");
    EXPECT_EQ(watcher.windowsSeen, 1);
}

TEST_F(ProgressRun, CancelDuringPreAnalysisLeavesTheHostImage) {
    g_reanalyse = true;
    std::vector<float> host = test::NoisyImage(96, 64, 6);
    const std::vector<float> before = host;
    RunWatcher watcher("Image pre-analysis...");
    OpenPluginImpl(0, 96, 64, host.data(), nullptr, nullptr);
    EXPECT_TRUE(watcher.pressed);
    EXPECT_EQ(host, before);
    // The reduction job never showed.
    for (const std::string& s : watcher.statuses) {
        EXPECT_NE(s, "VEL Noise Reduction...");
    }
}

TEST_F(ProgressRun, CancelDuringReductionLeavesTheHostImage) {
    g_reanalyse = false;
    std::vector<float> host = test::NoisyImage(96, 64, 7);
    const std::vector<float> before = host;
    RunWatcher watcher("VEL Noise Reduction...");
    OpenPluginImpl(0, 96, 64, host.data(), nullptr, nullptr);
    EXPECT_TRUE(watcher.pressed);
    EXPECT_EQ(host, before);
    ASSERT_FALSE(watcher.statuses.empty());
    EXPECT_EQ(watcher.statuses.back(), "Cancelling...");
}

#ifdef VELNR_UI_MODULE_PATH
// The module the plug-in library loads for its windows: its steps make a real progress window
// and its pump runs the window system's events.
TEST(UiModule, GivesTheProgressWindowStepAndThePump) {
    void* module = dlopen(VELNR_UI_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(module, nullptr) << dlerror();
    using StepsFn = const InteractiveSteps* (*)();
    using PumpFn = bool (*)();
    const auto steps = reinterpret_cast<StepsFn>(dlsym(module, "VelnrUiSteps"));
    const auto pump = reinterpret_cast<PumpFn>(dlsym(module, "VelnrUiPump"));
    ASSERT_NE(steps, nullptr);
    ASSERT_NE(pump, nullptr);
    EXPECT_EQ(steps()->runSettingsPhase, nullptr);  // no settings dialog yet
    ASSERT_NE(steps()->createProgressWindow, nullptr);
    {
        std::unique_ptr<ProgressWindow> window = steps()->createProgressWindow();
        ASSERT_NE(window, nullptr);
        const auto windows = test::WindowsWithControl(ui::CProgressDlg::kStatus);
        ASSERT_EQ(windows.size(), 1u);
        EXPECT_EQ(Text(Child(windows[0], ui::CProgressDlg::kStatus)), "VEL Noise Reduction...");
        CancelFlag flag{true};
        window->SetCancelFlag(&flag);
        EXPECT_FALSE(flag.load());
        window->SetProgress(37.46f);
        EXPECT_EQ(Text(Child(windows[0], ui::CProgressDlg::kPercent)), "37 %");
        EXPECT_TRUE(pump());
    }
    EXPECT_TRUE(test::WindowsWithControl(ui::CProgressDlg::kStatus).empty());
}
#endif

}  // namespace
}  // namespace vel
