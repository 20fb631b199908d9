// The processing run in-process: settings phase and progress window are test doubles that
// drive the same seam the dialogs use.

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/win32/WinApi.h"
#endif

#include "engine/Jobs.h"
#include "platform/Platform.h"
#include "plugin/HostImage.h"
#include "plugin/InteractiveSteps.h"
#include "plugin/NoiseProfileStore.h"
#include "plugin/PlaneImage.h"
#include "plugin/Run.h"
#include "plugin/SettingsToEngine.h"
#include "plugin/WorkerJob.h"
#include "settings/NoiseReductionParams.h"
#include "settings/SettingsFile.h"
#include "tests/run/RunReference.h"
#include "tests/run/TestImages.h"

namespace vel {
namespace {

// A progress window that records what the run shows and presses Cancel on request.
struct FakeWindow : ProgressWindow {
    struct Call {
        std::string status;
        std::vector<float> progress;
    };
    std::vector<Call> calls;
    CancelFlag* flag = nullptr;
    std::string cancelInStatus;  // press Cancel in this job ...
    float cancelAt = -1.0f;      // ... once the shown percentage reaches this value
    bool cancelled = false;

    void SetStatusText(const char* text) override { calls.push_back({text, {}}); }
    void SetProgress(float percent) override {
        calls.back().progress.push_back(percent);
        if (!cancelled && flag && cancelAt >= 0.0f && percent >= cancelAt &&
            calls.back().status == cancelInStatus) {
            flag->store(true);
            cancelled = true;
        }
    }
    void SetCancelFlag(CancelFlag* f) override {
        flag = f;
        if (f) {
            f->store(false);
        }
    }
};

FakeWindow* g_window = nullptr;
bool g_confirm = true;
NoiseReductionParams g_dialogValues;
int g_settingsPhases = 0;

bool FakeSettingsPhase(PlaneImage&, const char*, const char*) {
    ++g_settingsPhases;
    if (!g_confirm) {
        return false;
    }
    CurrentSettings() = g_dialogValues;
    return true;
}

std::unique_ptr<ProgressWindow> FakeCreateWindow() {
    auto window = std::make_unique<FakeWindow>();
    *window = *g_window;  // copy the test's instructions
    g_window->calls.clear();
    struct Forwarder : ProgressWindow {
        FakeWindow* target;
        explicit Forwarder(FakeWindow* t) : target(t) {}
        void SetStatusText(const char* text) override { target->SetStatusText(text); }
        void SetProgress(float p) override { target->SetProgress(p); }
        void SetCancelFlag(CancelFlag* f) override { target->SetCancelFlag(f); }
    };
    return std::make_unique<Forwarder>(g_window);
}

const InteractiveSteps kFakeSteps{FakeSettingsPhase, FakeCreateWindow};

class RunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = CurrentSettings();
        CurrentSettings() = NoiseReductionParams{};
        CurrentNoiseProfile().clear();
        window_ = FakeWindow{};
        g_window = &window_;
        g_confirm = true;
        g_settingsPhases = 0;
        g_dialogValues = NoiseReductionParams{};
        SetInteractiveSteps(&kFakeSteps);
    }
    void TearDown() override {
        SetInteractiveSteps(nullptr);
        CurrentSettings() = saved_;
        CurrentNoiseProfile().clear();
    }
    NoiseReductionParams saved_;
    FakeWindow window_;
};

TEST_F(RunTest, SilentRunEqualsTheEngineCalledDirectly) {
    const auto host = test::NoisyImage(97, 61, 1);
    auto pixels = host;
    OpenPluginImpl(1, 97, 61, pixels.data(), nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 97, 61, CurrentSettings(), test::Analysis::PerTile)));
    EXPECT_FALSE(test::SameBits(pixels, host));
    EXPECT_EQ(g_settingsPhases, 0);
    EXPECT_TRUE(window_.calls.empty());  // a silent run shows no window
}

TEST_F(RunTest, OnlyTheLowByteOfTheFlagCounts) {
    const auto host = test::NoisyImage(40, 30, 2);
    auto pixels = host;
    g_confirm = false;
    OpenPluginImpl(0x100, 40, 30, pixels.data(), nullptr, nullptr);  // low byte 0: dialog
    EXPECT_EQ(g_settingsPhases, 1);
    EXPECT_TRUE(test::SameBits(pixels, host));
    OpenPluginImpl(0x201, 40, 30, pixels.data(), nullptr, nullptr);  // silent
    EXPECT_EQ(g_settingsPhases, 1);
    EXPECT_FALSE(test::SameBits(pixels, host));
}

TEST_F(RunTest, SilentRunWithReanalyzeAnalysesTheWholeImageFirst) {
    CurrentSettings().reanalyzeWhole = true;
    // Two tiles across: the whole-image levels differ from those each tile measures alone.
    const auto host = test::NoisyImage(600, 60, 3);
    auto pixels = host;
    OpenPluginImpl(1, 600, 60, pixels.data(), nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 600, 60, CurrentSettings(), test::Analysis::WholeImage)));
    EXPECT_FALSE(test::SameBits(
        pixels, test::EngineResult(host, 600, 60, CurrentSettings(), test::Analysis::PerTile)));
    EXPECT_EQ(CurrentNoiseProfile().size(), 48u);
}

TEST_F(RunTest, SilentRunNeverUsesAnEarlierProfile) {
    CurrentNoiseProfile().assign(48, 50.0f);  // as if an earlier dialog had analysed another image
    const auto host = test::NoisyImage(64, 64, 4);
    auto pixels = host;
    OpenPluginImpl(1, 64, 64, pixels.data(), nullptr, nullptr);
    EXPECT_TRUE(CurrentNoiseProfile().empty());
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 64, 64, CurrentSettings(), test::Analysis::PerTile)));
}

TEST_F(RunTest, InteractiveRunShowsBothPhasesAndUsesTheConfirmedSettings) {
    g_dialogValues.reanalyzeWhole = true;
    g_dialogValues.lumaSuppression = 15;
    g_dialogValues.highQuality = false;
    const auto host = test::NoisyImage(80, 50, 5);
    auto pixels = host;
    OpenPluginImpl(0, 80, 50, pixels.data(), nullptr, nullptr);
    EXPECT_EQ(CurrentSettings(), g_dialogValues);
    ASSERT_EQ(window_.calls.size(), 2u);
    EXPECT_EQ(window_.calls[0].status, "Image pre-analysis...");
    EXPECT_EQ(window_.calls[1].status, "VEL Noise Reduction...");
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 80, 50, g_dialogValues, test::Analysis::WholeImage)));
}

TEST_F(RunTest, InteractiveRunWithoutReanalyzeUsesTheDialogsProfile) {
    const auto host = test::NoisyImage(80, 50, 6);
    // The profile the dialog's pre-analysis left: measured on other pixels.
    const auto other = test::NoisyImage(80, 50, 99);
    {
        PlaneImage image(80, 50);
        ImportHostImage(other.data(), 80, 50, image);
        image.RgbToYuv();
        StoreAnalysedProfile(
            RunNoiseAnalysis(ImagePlanes{{image.Plane(0), image.Plane(1), image.Plane(2)}, 80, 50},
                             ToEngineSettings(g_dialogValues), {}));
    }
    const std::vector<float> dialogProfile = CurrentNoiseProfile();
    auto pixels = host;
    OpenPluginImpl(0, 80, 50, pixels.data(), nullptr, nullptr);
    ASSERT_EQ(window_.calls.size(), 1u);
    EXPECT_EQ(window_.calls[0].status, "VEL Noise Reduction...");
    EXPECT_EQ(CurrentNoiseProfile(), dialogProfile);
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 80, 50, g_dialogValues, test::Analysis::KeepProfile)));
}

TEST_F(RunTest, CancelInTheDialogChangesNothing) {
    g_confirm = false;
    g_dialogValues.lumaThreshold = 7;
    const NoiseReductionParams before = CurrentSettings();
    const auto host = test::NoisyImage(30, 20, 7);
    auto pixels = host;
    OpenPluginImpl(0, 30, 20, pixels.data(), nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(pixels, host));
    EXPECT_EQ(CurrentSettings(), before);
    EXPECT_TRUE(window_.calls.empty());  // no progress window after a cancelled dialog
}

TEST_F(RunTest, InteractiveCallWithoutADialogLeavesEverythingAlone) {
    SetInteractiveSteps(nullptr);
    const NoiseReductionParams before = CurrentSettings();
    const auto host = test::NoisyImage(30, 20, 8);
    auto pixels = host;
    OpenPluginImpl(0, 30, 20, pixels.data(), nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(pixels, host));
    EXPECT_EQ(CurrentSettings(), before);
}

TEST_F(RunTest, CancelDuringTheAnalysisNeverStartsTheReduction) {
    g_dialogValues.reanalyzeWhole = true;
    window_.cancelInStatus = "Image pre-analysis...";
    window_.cancelAt = 0.0f;
    const auto host = test::NoisyImage(600, 300, 9);
    CurrentNoiseProfile().assign(48, 1.25f);
    auto pixels = host;
    OpenPluginImpl(0, 600, 300, pixels.data(), nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(pixels, host));
    ASSERT_EQ(window_.calls.size(), 1u);
    EXPECT_EQ(window_.calls[0].status, "Image pre-analysis...");
    // A cancelled analysis leaves the profile as it was; the confirmed settings stay.
    EXPECT_EQ(CurrentNoiseProfile(), std::vector<float>(48, 1.25f));
    EXPECT_EQ(CurrentSettings(), g_dialogValues);
}

TEST_F(RunTest, CancelDuringTheReductionAtManyPointsLeavesTheHostImageUntouched) {
    const auto host = test::NoisyImage(1000, 130, 10);  // two tiles across
    const auto expected =
        test::EngineResult(host, 1000, 130, g_dialogValues, test::Analysis::PerTile);
    for (float at : {0.0f, 1.0f, 33.0f, 34.0f, 67.0f, 99.0f}) {
        SCOPED_TRACE(at);
        window_ = FakeWindow{};
        window_.cancelInStatus = "VEL Noise Reduction...";
        window_.cancelAt = at;
        auto pixels = host;
        OpenPluginImpl(0, 1000, 130, pixels.data(), nullptr, nullptr);
        // The window only samples the progress: a late threshold may never be shown before
        // the job ends. Whenever Cancel was pressed, the host image must be untouched.
        if (window_.cancelled) {
            EXPECT_TRUE(test::SameBits(pixels, host));
        } else {
            EXPECT_GT(at, 0.0f);  // 0 is shown before the job starts: always cancelled
            EXPECT_TRUE(test::SameBits(pixels, expected));
        }
    }
}

// Presses Cancel from the engine's last progress report, after all the work is done.
WorkerJob* g_lateJob = nullptr;
void CancelAtTheEnd(float percent) {
    RunProgressCallback(percent);
    if (percent >= 100.0f) {
        g_lateJob->cancel.store(true);
    }
}
int ReductionCancelledAfterTheLastReport(WorkerJob* job) {
    g_lateJob = job;
    job->progress = CancelAtTheEnd;
    return ReductionWork(job);
}

TEST_F(RunTest, CancelJustAfterTheLastReportStillCancels) {
    const auto host = test::NoisyImage(40, 30, 15);
    PlaneImage image(40, 30);
    ImportHostImage(host.data(), 40, 30, image);
    image.RgbToYuv();
    FakeWindow window;
    EXPECT_EQ(RunWorkerJob(ReductionCancelledAfterTheLastReport, &image, "VEL Noise Reduction...",
                           &window),
              JobResult::Cancelled);
}

TEST_F(RunTest, SettingsConfirmedBeforeACancelStayAndAreStored) {
    g_dialogValues.lumaThreshold = 5;
    g_dialogValues.darkCorrection = -3;
    g_dialogValues.highQuality = false;
    window_.cancelInStatus = "VEL Noise Reduction...";
    window_.cancelAt = 0.0f;
    const auto host = test::NoisyImage(40, 30, 16);
    auto pixels = host;
    OpenPluginImpl(0, 40, 30, pixels.data(), nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(pixels, host));
    EXPECT_EQ(CurrentSettings(), g_dialogValues);

    const auto path = std::filesystem::temp_directory_path() / "velnr-run-confirmed.ini";
    std::filesystem::remove(path);
    ASSERT_TRUE(StoreSettings(path.string().c_str(), 0));
    NoiseReductionParams stored{};
    stored.lumaThreshold = 99;
    ASSERT_TRUE(LoadSettings(path.string().c_str(), 0, stored));
    EXPECT_EQ(stored, g_dialogValues);
    std::filesystem::remove(path);
}

TEST_F(RunTest, ProgressStartsAtZeroNeverDecreasesAndEndsAtTheLastReport) {
    g_dialogValues.reanalyzeWhole = true;
    const auto host = test::NoisyImage(1000, 130, 11);
    auto pixels = host;
    OpenPluginImpl(0, 1000, 130, pixels.data(), nullptr, nullptr);
    ASSERT_EQ(window_.calls.size(), 2u);
    for (const auto& call : window_.calls) {
        ASSERT_FALSE(call.progress.empty());
        EXPECT_EQ(call.progress.front(), 0.0f);
        for (size_t i = 1; i < call.progress.size(); ++i) {
            EXPECT_GE(call.progress[i], call.progress[i - 1]);
        }
        EXPECT_EQ(call.progress.back(), 100.0f);
    }
    EXPECT_EQ(SharedProgress(), 100.0f);
}

// Quit requests arriving while the run waits are taken and ignored; the run completes.
#ifdef _WIN32
TEST_F(RunTest, AQuitMessageDuringTheWaitIsIgnored) {
    // Windows: the quit message waits in the thread's own queue; the run's wait takes it.
    PostQuitMessage(0);
    const auto host = test::NoisyImage(70, 40, 12);
    auto pixels = host;
    OpenPluginImpl(1, 70, 40, pixels.data(), nullptr, nullptr);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 70, 40, CurrentSettings(), test::Analysis::PerTile)));
}
#else
std::atomic<int> g_quits{0};
bool QuitOncePump() {
    return g_quits.fetch_add(1) != 0;
}

TEST_F(RunTest, AQuitMessageDuringTheWaitIsIgnored) {
    g_quits = 0;
    platform::SetMessagePump(QuitOncePump);
    const auto host = test::NoisyImage(70, 40, 12);
    auto pixels = host;
    OpenPluginImpl(1, 70, 40, pixels.data(), nullptr, nullptr);
    platform::SetMessagePump(nullptr);
    EXPECT_GE(g_quits.load(), 1);
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 70, 40, CurrentSettings(), test::Analysis::PerTile)));
}
#endif

int ThrowingWork(WorkerJob*) {
    throw std::bad_alloc();
}

// Throws from the progress window once the job has begun, as an update that runs out of
// memory would.
struct ThrowingWindow : FakeWindow {
    void SetProgress(float percent) override {
        if (percent > 0.0f) {
            throw std::bad_alloc();
        }
    }
};

TEST_F(RunTest, AThrowWhileWaitingStopsTheWorkerBeforeTheJobGoes) {
    const auto host = test::NoisyImage(700, 600, 31);
    PlaneImage image(700, 600);
    ImportHostImage(host.data(), 700, 600, image);
    image.RgbToYuv();
    ThrowingWindow window;
    // Under AddressSanitizer a worker still writing into the unwound job is an error.
    EXPECT_THROW(RunWorkerJob(ReductionWork, &image, "VEL Noise Reduction...", &window),
                 std::bad_alloc);
    EXPECT_EQ(window.flag, nullptr);
}

TEST_F(RunTest, AJobWhoseWorkFunctionThrowsEndsAsNotCompleted) {
    PlaneImage image(8, 8);
    FakeWindow window;
    EXPECT_EQ(RunWorkerJob(ThrowingWork, &image, "VEL Noise Reduction...", &window),
              JobResult::Failed);
    EXPECT_EQ(RunWorkerJob(ThrowingWork, &image, "VEL Noise Reduction...", nullptr),
              JobResult::Failed);
}

TEST_F(RunTest, TooLargeImageLeavesTheHostBufferUntouched) {
    // 3 planes of 2^31 - 1 square pixels cannot be allocated; the host buffer is a stand-in
    // that the plug-in must never write.
    std::vector<float> pixels(12, 0.5f);
    OpenPluginImpl(1, 0x7FFFFFFF, 0x7FFFFFFF, pixels.data(), nullptr, nullptr);
    EXPECT_EQ(pixels, std::vector<float>(12, 0.5f));
}

TEST_F(RunTest, OddSizesAndOutOfRangeValues) {
    struct Size {
        int32_t w, h;
    };
    for (Size s :
         {Size{1, 1}, Size{2, 5000}, Size{5000, 2}, Size{33, 33}, Size{17, 3}, Size{513, 31}}) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        auto pixels = test::NoisyImage(s.w, s.h, 13);
        pixels[0] = 7.5f;
        pixels[pixels.size() - 1] = -3.0f;
        OpenPluginImpl(1, s.w, s.h, pixels.data(), nullptr, nullptr);
        for (float v : pixels) {
            ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
        }
    }
}

TEST_F(RunTest, NanInTheHostImageNeverCrashesAndOtherValuesStayInRange) {
    auto pixels = test::NoisyImage(50, 40, 14);
    pixels[3 * (20 * 50 + 25) + 1] = std::nanf("");
    pixels[5] = std::numeric_limits<float>::infinity();
    OpenPluginImpl(1, 50, 40, pixels.data(), nullptr, nullptr);
    for (float v : pixels) {
        ASSERT_TRUE(std::isnan(v) || (v >= 0.0f && v <= 1.0f)) << v;
    }
}

}  // namespace
}  // namespace vel
