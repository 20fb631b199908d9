// The settings dialog, its presets and the interactive run, on the backend they are built with.

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/Controls.h"
#include "plugin/HostImage.h"
#include "plugin/Instance.h"
#include "plugin/Run.h"
#include "resources/Resources.h"
#include "settings/ParamTable.h"
#include "tests/run/TestImages.h"
#include "tests/settings/TestFiles.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/RunSteps.h"
#include "ui/SettingsDlg.h"
#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace vel {
namespace {

PluginInstance g_instance;  // as the exports hand it to the run

using test::recorded;
using ui::CSettingsDlg;

using Six = std::array<int, 6>;
int SliderId(int k) {
    return CSettingsDlg::Control(k).sliderId;
}
int EditId(int k) {
    return CSettingsDlg::Control(k).editId;
}

// The jobs the dialog starts, with the settings each one copied.
std::mutex g_mutex;
std::vector<NoiseReductionParams> g_previews, g_analyses;
// While set, every job waits after recording until it is cancelled or the gate opens.
std::atomic<bool> g_hold{false};
int Record(std::vector<NoiseReductionParams>& into, const WorkerJob* job) {
    {
        std::lock_guard lock(g_mutex);
        into.push_back(job->params);
    }
    while (g_hold && !job->cancel) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}
const WorkFunction kPreview = [](WorkerJob* job) { return Record(g_previews, job); };
const WorkFunction kAnalysis = [](WorkerJob* job) { return Record(g_analyses, job); };
size_t Count(const std::vector<NoiseReductionParams>& jobs) {
    std::lock_guard lock(g_mutex);
    return jobs.size();
}

bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 5000 && !done(); ++i) {
        fw::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

void WaitIdle(const CSettingsDlg& dlg) {
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Preview().JobRunning(); }));
}

template <typename F>
Six Each(F f) {
    Six v{};
    for (int k = 0; k < 6; ++k) {
        v[k] = f(k);
    }
    return v;
}
Six Values(const NoiseReductionParams& p) {
    return Each([&](int k) { return p.*CSettingsDlg::kFields[k]; });
}

struct Dialog : CSettingsDlg {
    using CSettingsDlg::OnToolTipNeedText;
    PlaneImage image{64, 48};
    explicit Dialog(const NoiseReductionParams& from = {}) {
        const std::vector<float> host = test::NoisyImage(64, 48, 5);
        ImportHostImage(host.data(), 64, 48, image);
        SetFromSettings(from);
        Preview().SetImage(&image);
        Preview().SetRects({175, 222, 275, 287}, {285, 4, 603, 313});
        Preview().SetThreadProcs(kAnalysis, kPreview, &PreviewSettings(), &PreviewSettings());
        g_previews.clear(), g_analyses.clear();
    }
    void Open() {
        ASSERT_TRUE(Create(nullptr));
        ShowWindow(fw::kSwShow);
        WaitIdle(*this);
    }
    void Type(int k, const char* text) { GetDlgItem(EditId(k))->SetWindowText(text); }
    void Slide(int k, int position) {
        fw::ctrl::SetSliderPos(*GetDlgItem(SliderId(k)), position);
        OnHScroll(SliderId(k), position);
    }
    void Select(int item) {
        fw::ctrl::SetCurSel(*GetDlgItem(res::kSettingsPreset), item);
        OnCommand(res::kSettingsPreset, fw::kCbnSelChange);
    }
    Six Edits() const {
        return Each([&](int k) { return std::stoi(GetDlgItem(EditId(k))->GetWindowText()); });
    }
    Six Sliders() const {
        return Each([&](int k) { return fw::ctrl::GetSliderPos(*GetDlgItem(SliderId(k))); });
    }
    bool Checked(int id) const { return fw::ctrl::GetCheck(*GetDlgItem(id)) != 0; }
    bool JobRunning() const { return Preview().JobRunning(); }
};

NoiseReductionParams With(Six values, bool highQuality = true, bool reanalyze = false) {
    NoiseReductionParams p;
    for (int k = 0; k < 6; ++k) {
        p.*CSettingsDlg::kFields[k] = values[k];
    }
    p.highQuality = highQuality, p.reanalyzeWhole = reanalyze;
    return p;
}

// The stored link setting does not reach the dialog: its box starts on.
TEST(SettingsDialog, StartsFromTheRunsValuesAndFirstAnalysisReadsThem) {
    NoiseReductionParams from = With({-3, 2, 5, 7, 1, -1}, false, true);
    from.linkLumaChroma = false;
    Dialog dlg(from);
    dlg.Open();
    EXPECT_EQ(dlg.Edits(), (Six{-3, 2, 5, 7, 1, -1}));
    EXPECT_EQ(dlg.Sliders(), (Six{7, 12, 5, 7, 11, 9}));
    EXPECT_TRUE(!dlg.Checked(res::kSettingsHighQuality) &&
                dlg.Checked(res::kSettingsReanalyzeWhole) &&
                dlg.Checked(res::kSettingsLinkLumaChroma));
    EXPECT_EQ(fw::ctrl::GetCurSel(*dlg.GetDlgItem(res::kSettingsPreset)), 2);
    ASSERT_EQ(Count(g_analyses), 1u);
    EXPECT_EQ(g_analyses[0], With({-3, 2, 5, 7, 1, -1}, false, true));
    EXPECT_EQ(g_previews.back(), g_analyses[0]);
    std::string tip;
    EXPECT_TRUE(dlg.OnToolTipNeedText(res::kSettingsReanalyzeWhole, tip));
    EXPECT_EQ(tip, "Enable this for more accurate noise estimation before final processing");
}

TEST(SettingsDialog, SlidersBoxesAndTheLinkRule) {
    struct Step {
        bool slide;  // else typed into the box
        int k, value;
    };
    const Six start = {0, 1, 9, 12, 0, 0};
    const struct {
        bool link;
        Six start;
        std::vector<Step> steps;
        Six edits, sliders, preview;
        bool previewed;
    } cases[] = {
        // clang-format off
        {true, start, {{false, 1, 5}}, {4, 5, 9, 12, 0, 0}, {14, 15, 9, 12, 10, 10}, {4, 5, 9, 12, 0, 0}, true},
        {true, {0, 1, 3, 12, 0, 0}, {{true, 3, 0}}, {0, 1, 0, 0, 0, 0}, {10, 11, 0, 0, 10, 10}, {0, 1, 0, 0, 0, 0}, true},
        {true, start, {{true, 2, 12}, {true, 2, 20}}, {0, 1, 20, 20, 0, 0}, {10, 11, 20, 20, 10, 10}, {0, 1, 20, 20, 0, 0}, true},
        {false, start, {{true, 0, 15}}, {5, 1, 9, 12, 0, 0}, {15, 11, 9, 12, 10, 10}, {5, 1, 9, 12, 0, 0}, true},
        {true, start, {{false, 4, 3}}, {0, 1, 9, 12, 3, 0}, {10, 11, 9, 12, 13, 10}, {0, 1, 9, 12, 3, 0}, true},
        // The luma-threshold box moves only its slider: no link, no preview.
        {true, start, {{false, 0, 4}}, {4, 1, 9, 12, 0, 0}, {14, 11, 9, 12, 10, 10}, start, false},
        // Typed past the range with the link off: kept in the box, limited on the way out.
        {false, start, {{false, 2, 25}}, {0, 1, 25, 12, 0, 0}, {10, 11, 20, 12, 10, 10}, {0, 1, 20, 12, 0, 0}, true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Dialog dlg(With(c.start));
        dlg.Open();
        fw::ctrl::SetCheck(*dlg.GetDlgItem(res::kSettingsLinkLumaChroma), c.link ? 1 : 0);
        const size_t before = Count(g_previews);
        for (const Step& s : c.steps) {
            s.slide ? dlg.Slide(s.k, s.value) : dlg.Type(s.k, std::to_string(s.value).c_str());
        }
        WaitIdle(dlg);
        EXPECT_TRUE(dlg.Edits() == c.edits && dlg.Sliders() == c.sliders);
        EXPECT_EQ(Values(dlg.PreviewSettings()), c.preview);
        EXPECT_EQ(Count(g_previews) > before, c.previewed);
        EXPECT_EQ(Values(g_previews.back()), c.previewed ? c.preview : Values(g_previews[0]));
    }
}

TEST(SettingsDialog, BadTextBringsItsMessageAtOnceAndOkStaysOpen) {
    const std::string range = "Please enter an integer between -10 and 10.";
    // A box whose read fails before its value is taken shows the old value again.
    for (const auto& [k, text, message, again] :
         {std::tuple(4, "11", range, true), std::tuple(5, "-11", range, true),
          std::tuple(0, "-", std::string(fw::kMsgInteger), false)}) {
        Dialog dlg;
        dlg.Open();
        recorded = {};
        dlg.Type(k, text);
        EXPECT_EQ(recorded.messages,
                  (decltype(recorded.messages){{message, fw::kMbOk | fw::kMbIconExclamation}}));
        EXPECT_TRUE(dlg.GetDlgItem(EditId(k))->HasFocus()) << text;
        fw::ctrl::Click(*dlg.GetDlgItem(fw::kIdOk));
        WaitIdle(dlg);
        EXPECT_EQ(recorded.messages.size(), again ? 2u : 1u) << text;
        EXPECT_EQ(dlg.IsWindowVisible(), again) << text;
    }
}

// The dialog shows the preview of its latest values: no job, no bar, no status, the estimate.
void ExpectPreviewShown(const Dialog& dlg, const char* what) {
    const auto visible = [&](int id) { return dlg.GetDlgItem(id)->IsWindowVisible(); };
    EXPECT_TRUE(!dlg.JobRunning() && !visible(res::kSettingsEstimateBar) &&
                !visible(res::kSettingsPreviewStatus) && visible(res::kSettingsEstimateLabel))
        << what;
    std::lock_guard lock(g_mutex);
    ASSERT_FALSE(g_previews.empty() || g_analyses.empty()) << what;
    EXPECT_EQ(g_previews.back(), dlg.PreviewSettings()) << what;
    EXPECT_EQ(g_analyses.back().highQuality, dlg.PreviewSettings().highQuality) << what;
}

// "High quality" toggled while a preview runs: the analysis for the new kind runs, then the
// preview; OK then closes on that analysis.
TEST(SettingsDialog, HighQualityToggledDuringAPreviewEndsOnItsPreview) {
    Dialog dlg;
    dlg.Open();
    g_hold = true;
    dlg.Type(1, "3");
    ASSERT_TRUE(PumpUntil([&] { return Count(g_previews) == 2; }));
    fw::ctrl::Click(*dlg.GetDlgItem(res::kSettingsHighQuality));
    g_hold = false;
    ASSERT_TRUE(PumpUntil([&] { return Count(g_analyses) == 2 && !dlg.JobRunning(); }));
    ExpectPreviewShown(dlg, "after the toggle");
    EXPECT_FALSE(dlg.PreviewSettings().highQuality);
    // OK right after a toggle waits for the new analysis.
    g_hold = true;
    fw::ctrl::Click(*dlg.GetDlgItem(res::kSettingsHighQuality));
    fw::ctrl::Click(*dlg.GetDlgItem(fw::kIdOk));
    EXPECT_TRUE(dlg.IsWindowVisible());
    g_hold = false;
    ASSERT_TRUE(PumpUntil([&] { return !dlg.IsWindowVisible(); }));
    std::lock_guard lock(g_mutex);
    EXPECT_TRUE(g_analyses.size() == 3 && g_analyses.back().highQuality);
}

// OK refused by a box's check, pressed during the analysis or during a preview: once the value
// is mended, previews follow again; the one OK cancelled comes back by itself.
TEST(SettingsDialog, OkRefusedByACheckWhileAJobRunsKeepsThePreviewGoing) {
    for (const bool duringAnalysis : {true, false}) {
        const char* what = duringAnalysis ? "during the analysis" : "during a preview";
        recorded = {};
        g_hold = duringAnalysis;
        Dialog dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        if (!duringAnalysis) {
            WaitIdle(dlg);
            g_hold = true;
        }
        dlg.Type(4, "11");  // its message comes at once
        ASSERT_TRUE(dlg.JobRunning()) << what;
        fw::ctrl::Click(*dlg.GetDlgItem(fw::kIdOk));
        g_hold = false;
        ASSERT_TRUE(PumpUntil([&] { return recorded.messages.size() == 2 && !dlg.JobRunning(); }))
            << what;
        EXPECT_TRUE(dlg.IsWindowVisible()) << what;
        ExpectPreviewShown(dlg, what);
        dlg.Type(4, "3");
        WaitIdle(dlg);
        ExpectPreviewShown(dlg, what);
        EXPECT_EQ(dlg.PreviewSettings().lightCorrection, 3) << what;
    }
}

class Presets : public test::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        recorded = {};
        fw::SetFileDialogHandler([this](const fw::CFileDialog& d, std::string& path) {
            EXPECT_EQ(d.Title(), d.IsOpen() ? "" : "Select the name of the preset");
            EXPECT_EQ(d.Filter(), "Preset files (*.pst)|*.pst|All files (*.*)|*.*||");
            EXPECT_TRUE(d.DefaultExtension() == "pst" && d.OverwritePrompt() == !d.IsOpen());
            path = answer;
            return answer.empty() ? fw::kIdCancel : fw::kIdOk;
        });
    }
    void TearDown() override {
        fw::SetFileDialogHandler(nullptr);
        TempDirTest::TearDown();
    }
    std::string answer;
};

TEST_F(Presets, ApplyLoadSaveAndAFailedSave) {
    Dialog dlg(With({3, 1, 9, 12, 2, -2}, false, true));
    dlg.Open();
    fw::CWnd& box = *dlg.GetDlgItem(res::kSettingsPreset);
    const auto count = [&] { return fw::ctrl::GetCount(box); };
    const auto item = [&](int i) { return fw::ctrl::GetLBText(box, i); };
    ASSERT_EQ(count(), 6);
    EXPECT_EQ(item(4), "Remove noise - strong");
    const size_t analyses = Count(g_analyses);
    dlg.Select(4);  // not linked: chroma stays the preset's although luma moved by -3
    WaitIdle(dlg);
    EXPECT_EQ(dlg.Edits(), (Six{0, 1, 12, 15, 0, 0}));
    EXPECT_EQ(dlg.Sliders(), (Six{10, 11, 12, 15, 10, 10}));
    EXPECT_EQ(Values(dlg.PreviewSettings()), (Six{0, 1, 12, 15, 0, 0}));
    EXPECT_TRUE(!dlg.Checked(res::kSettingsHighQuality) &&
                dlg.Checked(res::kSettingsReanalyzeWhole));
    EXPECT_TRUE(Count(g_analyses) == analyses && fw::ctrl::GetCurSel(box) == 4);

    test::WriteAll(File("one.pst"), "[VEL Noise Reduction Preset 0]\r\nLuma Threshold=30\r\n");
    answer = File("one.pst").string();
    dlg.Select(0);
    ASSERT_EQ(count(), 7);
    EXPECT_TRUE(item(6) == "Unnamed" && fw::ctrl::GetCurSel(box) == 0);
    dlg.Select(6);  // applied as it is, limited on its way to the preview
    EXPECT_EQ(dlg.Edits(), (Six{30, 1, 12, 15, 0, 0}));
    EXPECT_EQ(Values(dlg.PreviewSettings()), (Six{10, 1, 12, 15, 0, 0}));

    answer = File("Test.pst").string();
    dlg.Select(1);
    EXPECT_EQ(recorded.messages,
              (decltype(recorded.messages){
                  {"Preset file saved.\nUse \"Load preset\" option to load the preset.",
                   fw::kMbOk | fw::kMbIconInformation}}));
    EXPECT_EQ(count(), 7);  // a saved preset is not listed
    dlg.Select(0), dlg.Select(0);
    ASSERT_EQ(count(), 8);
    EXPECT_EQ(item(7), "Test");
    EXPECT_EQ(dlg.PresetFilePath(), answer);

    recorded = {};
    answer = (File("one.pst") / "x.pst").string();  // a file as its folder
    dlg.Select(1);
    ASSERT_EQ(recorded.messages.size(), 1u);
    EXPECT_EQ(recorded.messages[0].first.rfind("The preset could not be saved to " + answer, 0),
              0u);
    EXPECT_EQ(recorded.messages[0].second, fw::kMbOk | fw::kMbIconExclamation);
    answer.clear();
    dlg.Select(0);
    EXPECT_EQ(count(), 8);
}

// The run's progress windows, counted.
int g_windows = 0;
struct CountedWindow : ProgressWindow {
    CountedWindow() { ++g_windows; }
    void SetStatusText(const char*) override {}
    void SetProgress(float) override {}
    void SetCancelFlag(CancelFlag*) override {}
};

// Scripts the next settings dialog: script runs once its first preview is done, then the
// dialog ends with button.
void Script(std::function<void(ui::CSettingsDlg&)> script, int button) {
    fw::SetDialogInitHandler([=](fw::CDialog& d) {
        auto* dlg = dynamic_cast<ui::CSettingsDlg*>(&d);
        ASSERT_NE(dlg, nullptr);
        test::Later([=] {
            WaitIdle(*dlg);
            script(*dlg);
            WaitIdle(*dlg);
            fw::ctrl::Click(*dlg->GetDlgItem(button));
        });
    });
}

TEST(InteractiveRun, OkGivesTheSilentRunsPixelsAndCancelLeavesEverything) {
    const InteractiveSteps steps{
        &ui::RunSettingsPhase,
        [] { return std::unique_ptr<ProgressWindow>(std::make_unique<CountedWindow>()); }};
    g_instance.steps = &steps;
    const NoiseReductionParams saved = g_instance.settings;
    const std::vector<float> input = test::NoisyImage(90, 70, 11);
    std::vector<float> host = input;

    recorded = {};
    Script([](ui::CSettingsDlg& d) { d.GetDlgItem(EditId(3))->SetWindowText("17"); },
           fw::kIdCancel);
    EXPECT_EQ(OpenPluginImpl(g_instance, 0, 90, 70, host.data(), "missing.icc", nullptr),
              kRunCancelled);
    EXPECT_TRUE(host == input && g_instance.settings == saved && g_windows == 0);
    EXPECT_TRUE(recorded.messages.empty());  // one profile only: no colour management

    Script(
        [](ui::CSettingsDlg& d) {
            d.GetDlgItem(EditId(2))->SetWindowText("14");
            fw::ctrl::Click(*d.GetDlgItem(res::kSettingsReanalyzeWhole));
        },
        fw::kIdOk);
    EXPECT_EQ(OpenPluginImpl(g_instance, 0, 90, 70, host.data(), nullptr, nullptr), kRunCompleted);
    fw::SetDialogInitHandler(nullptr);
    NoiseReductionParams confirmed = saved;
    // Linked: chroma suppression moves with luma suppression, 6 -> 14.
    confirmed.lumaSuppression = 14, confirmed.chromaSuppression = 20,
    confirmed.reanalyzeWhole = true;
    EXPECT_EQ(g_instance.settings, confirmed);
    std::vector<float> silent = input;
    ASSERT_EQ(OpenPluginImpl(g_instance, 1, 90, 70, silent.data(), nullptr, nullptr),
              kRunCompleted);
    EXPECT_TRUE(silent == host && silent != input);
    g_instance.steps = nullptr;
    g_instance.settings = saved;
}

#ifndef _WIN32
// The dialogs' module has its own copy of the profile's location: the library hands it over,
// and the remembered preset file is listed.
TEST_F(Presets, TheModuleFindsTheRememberedPresetFile) {
    const test::fs::path config = File("config");
    test::fs::create_directories(config / "Korvane");
    test::WriteAll(File("mine.pst"),
                   "[VEL Noise Reduction Preset 0]\r\nPreset Name=Mine\r\nLuma Threshold=3\r\n");
    test::WriteAll(config / "Korvane" / "VELNoiseReduction.ini",
                   "[Last Folders]\r\nPreset File=" + File("mine.pst").string() + "\r\n");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    void* module = dlopen(VELNR_UI_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto steps =
        reinterpret_cast<const InteractiveSteps* (*)()>(dlsym(module, "VelnrUiSteps"));
    ASSERT_TRUE(steps && steps()->runSettingsPhase);
    PlaneImage image(32, 24);
    NoiseReductionParams current;
    const NoiseReductionParams before = current;
    SettingsPhase phase;
    phase.image = &image, phase.currentSettings = &current, phase.previewWork = kPreview;
    phase.profileCompany = "Korvane", phase.profileApplication = "VELNoiseReduction";
    std::vector<std::string> items;
    test::Later([&] { items = test::CloseActiveDialog(res::kSettingsPreset); });
    EXPECT_FALSE(steps()->runSettingsPhase(phase));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(items.size(), 7u);
    EXPECT_EQ(items.empty() ? "" : items.back(), "Mine");
    EXPECT_EQ(current, before);
}
#endif

}  // namespace
}  // namespace vel
