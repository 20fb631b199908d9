// Without any display an interactive call must not end the host process: it reports one line
// and ends as a cancelled dialog does, leaving the host's image as it was.

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "framework/App.h"
#include "plugin/InteractiveSteps.h"
#include "plugin/Run.h"
#include "tests/run/TestImages.h"
#include "ui/AboutDlg.h"
#include "ui/RunSteps.h"

namespace vel {
namespace {

bool g_settingsShown = false;

// What the settings phase does first: it needs windows, and without them it is a cancel.
bool SettingsPhaseNeedingWindows(PlaneImage&, const char*, const char*) {
    if (!ui::EnsureWindows()) {
        return false;
    }
    g_settingsShown = true;
    return true;
}

TEST(NoDisplay, InteractiveCallEndsCleanlyAndKeepsTheHostImage) {
    ASSERT_EQ(std::getenv("DISPLAY"), nullptr);
    ASSERT_EQ(std::getenv("WAYLAND_DISPLAY"), nullptr);
    InteractiveSteps steps = ui::UiInteractiveSteps();
    steps.runSettingsPhase = &SettingsPhaseNeedingWindows;
    SetInteractiveSteps(&steps);

    std::vector<float> host = test::NoisyImage(40, 30, 3);
    const std::vector<float> before = host;
    testing::internal::CaptureStderr();
    OpenPluginImpl(0, 40, 30, host.data(), nullptr, nullptr);
    OpenPluginImpl(0, 40, 30, host.data(), nullptr, nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(g_settingsShown);
    EXPECT_EQ(host, before);
    // One clear line, once per process.
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    // Every window entry point fails softly as well.
    EXPECT_EQ(ui::CreateRunProgressWindow(), nullptr);
    ui::CAboutDlg about;
    EXPECT_EQ(about.DoModal(), -1);
    SetInteractiveSteps(nullptr);
}

TEST(NoDisplay, SilentRunNeedsNoDisplay) {
    SetInteractiveSteps(&ui::UiInteractiveSteps());
    std::vector<float> host = test::NoisyImage(40, 30, 4);
    const std::vector<float> before = host;
    OpenPluginImpl(1, 40, 30, host.data(), nullptr, nullptr);
    EXPECT_NE(host, before);
    SetInteractiveSteps(nullptr);
}

}  // namespace
}  // namespace vel
