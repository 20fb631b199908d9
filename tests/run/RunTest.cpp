// The processing run in-process: settings phase and progress window are test doubles that
// drive the same seam the dialogs use.

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/win32/WinApi.h"
#endif

#include "platform/Platform.h"
#include "plugin/Instance.h"
#include "plugin/InteractiveSteps.h"
#include "plugin/Run.h"
#include "plugin/WorkerJob.h"
#include "tests/run/RunReference.h"
#include "tests/run/TestImages.h"

namespace vel {
namespace {

using test::Analysis;
using test::SameBits;

// Records what the run shows and presses Cancel once the shown percentage of the job named
// cancelInStatus reaches cancelAt.
struct FakeWindow : ProgressWindow {
    std::vector<std::string> statuses;
    CancelFlag* flag = nullptr;
    std::string cancelInStatus;
    float cancelAt = -1.0f;
    bool cancelled = false;

    void SetStatusText(const char* text) override { statuses.emplace_back(text); }
    void SetProgress(float percent) override {
        if (!cancelled && flag && cancelAt >= 0.0f && percent >= cancelAt &&
            statuses.back() == cancelInStatus) {
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

FakeWindow g_window;
bool g_confirm = true;
NoiseReductionParams g_dialogValues;
PluginInstance g_instance;  // the library's instance, as the exports would hand it over
int g_settingsPhases = 0;

// The run owns the window it is given; every one forwards to g_window.
struct Forwarder : ProgressWindow {
    void SetStatusText(const char* text) override { g_window.SetStatusText(text); }
    void SetProgress(float p) override { g_window.SetProgress(p); }
    void SetCancelFlag(CancelFlag* f) override { g_window.SetCancelFlag(f); }
};
const InteractiveSteps kFakeSteps{
    [](const SettingsPhase& phase) {
        ++g_settingsPhases;
        // The dialogs may live in a module of their own: what they use must be the run's.
        EXPECT_TRUE(phase.currentSettings == &g_instance.settings &&
                    phase.analysisWork == &AnalysisWorkWithConversion &&
                    phase.previewWork == &ReductionWorkWithConversions && phase.image);
        if (g_confirm) {
            *phase.currentSettings = g_dialogValues;
        }
        return g_confirm;
    },
    []() -> std::unique_ptr<ProgressWindow> { return std::make_unique<Forwarder>(); }};

class RunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = g_instance.settings;
        Reset();
    }
    void TearDown() override {
        g_instance.steps = nullptr;
        g_instance.settings = saved_;
        g_instance.profile = {};
    }
    static void Reset() {
        g_instance.settings = NoiseReductionParams{};
        g_instance.profile = {};
        g_window = FakeWindow{};
        g_confirm = true;
        g_settingsPhases = 0;
        g_dialogValues = NoiseReductionParams{};
        g_instance.steps = &kFakeSteps;
    }
    NoiseReductionParams saved_;
};

const char* const kAnalysing = "Image pre-analysis...";
const char* const kReducing = "VEL Noise Reduction...";

// Every path through the run. Each starts with the profile an earlier dialog measured on
// other pixels: silent runs never use it, the dialog's run without "Reanalyze Whole" does.
TEST_F(RunTest, SilentAndInteractivePaths) {
    const int32_t w = 600, h = 60;  // two tiles across: whole-image and per-tile levels differ
    const auto host = test::NoisyImage(w, h, 3);
    NoiseReductionParams dialog, whole, otherKind;
    const NoiseReductionParams plain;
    dialog.reanalyzeWhole = whole.reanalyzeWhole = true;
    dialog.lumaSuppression = 15;
    dialog.highQuality = otherKind.highQuality = false;
    const auto earlier = test::MeasuredProfile(test::NoisyImage(w, h, 99), w, h, plain);
    enum Result { Unchanged, PerTile, WholeImage, DialogProfile, OtherKind };
    struct {
        const char* what;
        int32_t flag;
        const NoiseReductionParams& current;  // before the call
        const NoiseReductionParams& dialog;   // the dialog's confirmed values
        bool confirm, steps;
        int settingsPhases;
        std::vector<std::string> statuses;
        Result result;
    } cases[] = {
        {"silent: only the low byte counts", 0x201, plain, dialog, true, true, 0, {}, PerTile},
        {"silent, reanalyze", 1, whole, dialog, true, true, 0, {}, WholeImage},
        {"low byte 0: dialog, cancelled", 0x100, plain, dialog, false, true, 1, {}, Unchanged},
        {"dialog, reanalyze", 0, plain, dialog, true, true, 1, {kAnalysing, kReducing}, WholeImage},
        {"dialog's profile", 0, plain, plain, true, true, 1, {kReducing}, DialogProfile},
        // "High quality" switched off after the profile was measured: never read as isotropic.
        {"dialog's profile, other kind",
         0,
         plain,
         otherKind,
         true,
         true,
         1,
         {kReducing},
         OtherKind},
        {"no dialog in this build", 0, plain, dialog, true, false, 0, {}, Unchanged}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        g_instance.settings = c.current;
        g_instance.profile = earlier;
        g_dialogValues = c.dialog;
        g_confirm = c.confirm;
        g_instance.steps = c.steps ? &kFakeSteps : nullptr;
        auto pixels = host;
        OpenPluginImpl(g_instance, c.flag, w, h, pixels.data(), nullptr, nullptr);
        EXPECT_EQ(g_settingsPhases, c.settingsPhases);
        EXPECT_EQ(g_window.statuses, c.statuses);
        const NoiseReductionParams& used = c.settingsPhases && c.confirm ? c.dialog : c.current;
        EXPECT_EQ(g_instance.settings, used);
        if (c.result == Unchanged) {
            EXPECT_TRUE(SameBits(pixels, host));
            EXPECT_EQ(g_instance.profile, earlier);
        } else if (c.result == DialogProfile || c.result == OtherKind) {
            const auto analysis = c.result == OtherKind ? Analysis::PerTile : Analysis::KeepProfile;
            EXPECT_TRUE(SameBits(
                pixels, test::EngineResult(host, w, h, used, analysis, &g_instance.profile)));
            EXPECT_EQ(g_instance.profile, earlier);
        } else {
            const bool perTile = c.result == PerTile;
            const auto analysis = perTile ? Analysis::PerTile : Analysis::WholeImage;
            const auto other = perTile ? Analysis::WholeImage : Analysis::PerTile;
            EXPECT_TRUE(SameBits(
                pixels, test::EngineResult(host, w, h, used, analysis, &g_instance.profile)));
            EXPECT_FALSE(SameBits(pixels, test::EngineResult(host, w, h, used, other)));
            EXPECT_EQ(g_instance.profile.noise.size(), c.result == PerTile ? 0u : 48u);
        }
    }
}

// Cancel at many points of both jobs: the host image stays untouched, a cancelled analysis
// never starts the reduction (and, cancelled before it began, leaves the profile as it was),
// and the confirmed settings stay. The window only samples the progress: a late threshold may never
// be shown before the job ends, and then the run completes.
TEST_F(RunTest, CancelAtAnyPointLeavesTheHostImageUntouched) {
    const int32_t w = 1000, h = 130;  // two tiles across
    const auto host = test::NoisyImage(w, h, 10);
    NoiseReductionParams dialog;
    dialog.lumaThreshold = 5;
    dialog.darkCorrection = -3;
    dialog.highQuality = false;
    const auto expected = test::EngineResult(host, w, h, dialog, Analysis::PerTile);
    const std::pair<const char*, float> cases[] = {
        {kAnalysing, 0.0f}, {kAnalysing, 50.0f}, {kReducing, 0.0f},  {kReducing, 1.0f},
        {kReducing, 33.0f}, {kReducing, 34.0f},  {kReducing, 67.0f}, {kReducing, 99.0f}};
    for (const auto& [status, at] : cases) {
        SCOPED_TRACE(std::string(status) + std::to_string(at));
        Reset();
        g_dialogValues = dialog;
        g_dialogValues.reanalyzeWhole = status == kAnalysing;
        g_instance.profile.noise.assign(48, 1.25f);
        g_window.cancelInStatus = status;
        g_window.cancelAt = at;
        auto pixels = host;
        OpenPluginImpl(g_instance, 0, w, h, pixels.data(), nullptr, nullptr);
        EXPECT_EQ(g_instance.settings, g_dialogValues);
        if (g_window.cancelled) {
            EXPECT_TRUE(SameBits(pixels, host));
            EXPECT_EQ(g_window.statuses.size(), 1u);   // a cancelled analysis starts no reduction
            if (status == kAnalysing && at == 0.0f) {  // later, the measurement may be whole
                EXPECT_EQ(g_instance.profile.noise, std::vector<float>(48, 1.25f));
            }
        } else {
            EXPECT_GT(at, 0.0f);  // 0 is shown before the job starts: always cancelled
            if (status == kReducing) {
                EXPECT_TRUE(SameBits(pixels, expected));
            }
        }
    }
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

TEST_F(RunTest, WorkerJobEnds) {
    test::EngineImage small(test::NoisyImage(40, 30, 15), 40, 30);
    FakeWindow window;
    const auto throwingWork = +[](WorkerJob*) -> int { throw std::bad_alloc(); };
    EXPECT_EQ(RunWorkerJob(throwingWork, &small.image, kReducing, &window, g_instance.settings,
                           nullptr, g_instance.host),
              JobResult::Failed);
    EXPECT_EQ(RunWorkerJob(throwingWork, &small.image, kReducing, nullptr, g_instance.settings,
                           nullptr, g_instance.host),
              JobResult::Failed);
    // Under AddressSanitizer a worker still writing into the unwound job is an error.
    test::EngineImage large(test::NoisyImage(700, 600, 31), 700, 600);
    ThrowingWindow throwing;
    EXPECT_THROW(RunWorkerJob(ReductionWork, &large.image, kReducing, &throwing,
                              g_instance.settings, nullptr, g_instance.host),
                 std::bad_alloc);
    EXPECT_EQ(throwing.flag, nullptr);
}

// Quit requests arriving while the run waits are taken and ignored; the run completes.
std::atomic<int> g_quits{0};
TEST_F(RunTest, AQuitMessageDuringTheWaitIsIgnored) {
#ifdef _WIN32
    PostQuitMessage(0);  // waits in the thread's own queue; the run's wait takes it
#else
    platform::SetMessagePump([] { return g_quits.fetch_add(1) != 0; });
#endif
    const auto host = test::NoisyImage(70, 40, 12);
    auto pixels = host;
    OpenPluginImpl(g_instance, 1, 70, 40, pixels.data(), nullptr, nullptr);
#ifdef _WIN32
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
#else
    platform::SetMessagePump(nullptr);
    EXPECT_GE(g_quits.load(), 1);
#endif
    EXPECT_TRUE(SameBits(pixels, test::EngineResult(host, 70, 40, {}, Analysis::PerTile)));
}

// Out-of-range values come back clamped (NaN and infinities are the fuzz target's); an image
// too large to allocate leaves the host buffer alone.
TEST_F(RunTest, OddSizesOutOfRangeValuesAndImagesTooLarge) {
    for (const auto& [w, h] : {std::pair{1, 1}, {2, 5000}, {5000, 2}, {513, 31}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto pixels = test::NoisyImage(w, h, 13);
        pixels[0] = 7.5f;
        pixels[pixels.size() - 1] = -3.0f;
        OpenPluginImpl(g_instance, 1, w, h, pixels.data(), nullptr, nullptr);
        for (float v : pixels) {
            ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
        }
    }
    // 3 planes of 2^31 - 1 square pixels; the buffer is a stand-in the plug-in must never write.
    std::vector<float> pixels(12, 0.5f);
    OpenPluginImpl(g_instance, 1, 0x7FFFFFFF, 0x7FFFFFFF, pixels.data(), nullptr, nullptr);
    EXPECT_EQ(pixels, std::vector<float>(12, 0.5f));
}

}  // namespace
}  // namespace vel
