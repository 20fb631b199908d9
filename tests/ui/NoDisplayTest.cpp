// Without any display an interactive call must not end the host process: it reports one line
// and ends as a cancelled dialog does; window entry points fail softly, silent runs work.

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/Instance.h"
#include "plugin/Run.h"
#include "tests/run/TestImages.h"
#include "ui/AboutDlg.h"
#include "ui/RunSteps.h"

namespace vel {
namespace {

PluginInstance g_instance;  // as the exports hand it to the run

TEST(NoDisplay, InteractiveCallEndsCleanlyAndSilentRunsWork) {
    ASSERT_TRUE(std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr);
    g_instance.steps = &ui::UiInteractiveSteps();
    std::vector<float> host = test::NoisyImage(40, 30, 3);
    const std::vector<float> before = host;
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenPluginImpl(g_instance, 0, 40, 30, host.data(), nullptr, nullptr), kRunCancelled);
    OpenPluginImpl(g_instance, 0, 40, 30, host.data(), nullptr, nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(host, before);
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;  // once per process
    EXPECT_EQ(ui::CreateRunProgressWindow(), nullptr);
    ui::CAboutDlg about;
    EXPECT_EQ(about.DoModal(), -1);
    OpenPluginImpl(g_instance, 1, 40, 30, host.data(), nullptr, nullptr);
    EXPECT_NE(host, before);
    g_instance.steps = nullptr;
}

}  // namespace
}  // namespace vel
