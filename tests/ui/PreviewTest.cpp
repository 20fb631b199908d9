// The preview panel in a dialog on the backend it is built with: geometry, navigation, the job
// state machine with work functions the test holds, closing, colour management.

#include <lcms2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/Controls.h"
#include "resources/Resources.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/PreviewPanel.h"

namespace vel {
namespace {

using test::recorded;

// Work functions that wait while the gate is closed, until their job is cancelled, and log
// it. The preview inverts its image, so that a processed preview can be told from the crop.
std::atomic<bool> g_open{true};
std::mutex g_mutex;
std::vector<std::string> g_log;
fw::Size g_analysed;

std::vector<std::string> Log() {
    std::lock_guard lock(g_mutex);
    return g_log;
}
void Note(const std::string& line) {
    std::lock_guard lock(g_mutex);
    g_log.push_back(line);
}
void Reset(bool open) {
    std::lock_guard lock(g_mutex);
    g_log.clear();
    g_open = open;
}
int Held(WorkerJob* job, const std::string& name) {
    Note(name + " start");
    job->progress(job->callbackContext, 37.46f);
    while (!g_open && !job->cancel) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Note(name + (job->cancel ? " cancelled" : " end"));
    return 0;
}
int HeldAnalysis(WorkerJob* job) {
    g_analysed = {job->image->Width(), job->image->Height()};  // read after the join
    return Held(job, "A");
}
int HeldPreview(WorkerJob* job) {
    for (int k = 0; k < 3; ++k) {
        for (float& v : std::span(job->image->Plane(k), job->image->PlaneSize())) {
            v = 255.0f - v;
        }
    }
    return Held(job, "P");
}

PlaneImage Flat(int w, int h) {  // R, G, B = 200, 100, 50
    PlaneImage image(w, h);
    for (int k = 0; k < 3; ++k) {
        std::fill_n(image.Plane(k), image.PlaneSize(), 200.0f / static_cast<float>(1 << k));
    }
    return image;
}

bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < end) {
        fw::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// A dialog of the settings template that owns only the panel and forwards to it.
struct PreviewDlg : fw::CDialog {
    NoiseReductionParams params;
    ui::PreviewPanel panel{*this};
    explicit PreviewDlg(const PlaneImage& image, bool held = true)
        : fw::CDialog(res::kSettingsTemplate) {
        panel.SetImage(&image);
        panel.SetRects({175, 222, 275, 287}, {285, 4, 603, 313});
        if (held) {
            panel.SetThreadProcs(HeldAnalysis, HeldPreview, &params, &params);
        }
    }
    bool OnInitDialog() override {
        fw::CDialog::OnInitDialog();
        panel.OnInitDialog();
        return true;
    }
    void OnOK() override { panel.OnOK(); }
    void OnCancel() override { panel.OnCancel(); }
    bool OnCommand(int id, int code) override {
        return panel.OnCommand(id, code) || fw::CDialog::OnCommand(id, code);
    }
    bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        return panel.OnMessage(message) || fw::CDialog::OnMessage(message, wParam, lParam);
    }
    void OnPaint(fw::CDC& dc) override { panel.OnPaint(dc); }
    void OnLButtonDown(fw::Point p) override { panel.OnLButtonDown(p); }
    void OnMouseMove(fw::Point p) override { panel.OnMouseMove(p); }
    void OnLButtonUp(fw::Point p) override { panel.OnLButtonUp(p); }
    bool OnSetCursor() override { return panel.OnSetCursor(); }
    bool Visible(int id) const { return GetDlgItem(id)->IsWindowVisible(); }
    std::string Text(int id) const { return GetDlgItem(id)->GetWindowText(); }
    bool Idle() const { return !panel.JobRunning(); }
};

fw::Colour Pixel(const DisplayBitmap& b, int x, int y) {
    const uint8_t* p = b.Rows()[y] + 3 * x;
    return fw::Rgb(p[2], p[1], p[0]);
}

// A schedule as text: the phase (I idle, A analysing, P previewing), then d when the analysis
// is done, p when a preview is wanted, O or C for a close with OK or with Cancel.
ui::PreviewSchedule Schedule(std::string_view text) {
    ui::PreviewSchedule s;
    s.phase = text[0] == 'A'   ? ui::PreviewPhase::Analysing
              : text[0] == 'P' ? ui::PreviewPhase::Previewing
                               : ui::PreviewPhase::Idle;
    s.analysisDone = text.find('d') != std::string_view::npos;
    s.previewWanted = text.find('p') != std::string_view::npos;
    s.close = text.find('O') != std::string_view::npos   ? ui::CloseRequest::Ok
              : text.find('C') != std::string_view::npos ? ui::CloseRequest::Cancel
                                                         : ui::CloseRequest::None;
    return s;
}

// Actions as letters: a analysis, v preview, x cancel the job, s show it, o OK, c Cancel.
std::string Actions(const ui::PreviewTransition& t) {
    std::string text;
    for (const ui::PreviewAction a : t.actions) {
        text += " avxsoc"[static_cast<int>(a)];
    }
    return text.substr(0, text.find(' '));
}

// Every event in every state the dialog reaches. Events: AR analysis requested, PR preview
// requested, JF / JFc / JFf the job finished, was cancelled or failed, OK, CA Cancel, RF OK
// refused by a check, DE the dialog destroyed.
TEST(PreviewSchedule, EveryEventInEveryState) {
    using E = ui::PreviewEvent;
    using O = ui::JobOutcome;
    // clang-format off
    const std::pair<E, O> events[] = {
        {E::AnalysisRequested, O::Completed}, {E::PreviewRequested, O::Completed},
        {E::JobFinished, O::Completed}, {E::JobFinished, O::Cancelled}, {E::JobFinished, O::Failed},
        {E::Ok, O::Completed}, {E::Cancel, O::Completed}, {E::OkRefused, O::Completed},
        {E::Destroyed, O::Completed}};
    // clang-format on
    // {state, then next state and actions for AR, PR, JF, JFc, JFf, OK, CA, RF, DE}
    const std::vector<std::vector<std::string_view>> table = {
        {"Id", "A a", "Pd v", "Id", "Id", "Id", "Id o", "Id c", "Id", "I"},
        {"A", "A x", "Ap", "Id", "A a", "Id", "AO", "AC x", "A", "I x"},
        {"Ap", "Ap x", "Ap", "Pd v", "Ap a", "Pd v", "ApO", "ApC x", "Ap", "I x"},
        {"Pd", "P x", "Pdp x", "Id s", "Id", "Id", "PdpO x", "PdC x", "Pd", "I x"},
        {"Pdp", "Pp x", "Pdp x", "Pd v", "Pd v", "Pd v", "PdpO x", "PdpC x", "Pdp", "I x"},
        // OK during the analysis: it finishes first; a newer request restarts it (the first
        // fault: "High quality" changed while closing or while a preview runs).
        {"AO", "AO x", "ApO", "IdO o", "AO a", "IdO o", "AO", "AC x", "A", "I x"},
        {"PpO", "PpO x", "PpO x", "ApO a", "ApO a", "ApO a", "PpO x", "PpC x", "Pp", "I x"},
        {"PdpO", "PpO x", "PdpO x", "IdpO o", "IdpO o", "IdpO o", "PdpO x", "PdpC x", "Pdp", "I x"},
        // A check failed at OK: the preview it cancelled comes back (the second fault).
        {"IdpO", "ApO a", "IdpO o", "IdpO", "IdpO", "IdpO", "IdpO o", "IdpO c", "Pd v", "I"},
        {"AC", "AC x", "ApC", "IdC c", "IC c", "IdC c", "AC", "AC x", "A", "I x"}};
    for (const auto& row : table) {
        for (size_t e = 0; e < std::size(events); ++e) {
            const ui::PreviewTransition t =
                ui::PreviewStep(Schedule(row[0]), events[e].first, events[e].second);
            const std::string_view want = row[e + 1];
            const size_t space = want.find(' ');
            EXPECT_EQ(t.next, Schedule(want.substr(0, space))) << row[0] << " event " << e;
            EXPECT_EQ(Actions(t), space == std::string_view::npos ? "" : want.substr(space + 1))
                << row[0] << " event " << e;
        }
    }
}

// Random events against a simulated job thread: every job that starts finishes later, OK is
// refused now and then. However they come, draining ends idle on a shown preview of the last
// request, and OK is only ever asked for on an analysis of the latest request.
TEST(PreviewSchedule, AnyOrderOfEventsEndsOnTheLatestPreview) {
    using A = ui::PreviewAction;
    using E = ui::PreviewEvent;
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        ui::PreviewSchedule s;
        // Request numbers: of previews and analyses asked for, of the running job, of the last
        // preview shown and of the last analysis that completed.
        int previews = 1, analyses = 0, running = -1, shown = -1, analysed = -1;
        bool cancelled = false, closed = false;
        const auto apply = [&](E event, ui::JobOutcome outcome = {}) {
            for (bool again = true; again && !closed;) {
                const ui::PreviewTransition t = ui::PreviewStep(s, event, outcome);
                s = t.next;
                again = false;
                for (const A a : t.actions) {
                    cancelled = a == A::CancelJob || (cancelled && a == A::None);
                    running = a == A::StartAnalysis  ? analyses
                              : a == A::StartPreview ? previews
                                                     : running;
                    shown = a == A::ShowPreview ? running : shown;
                    if (a == A::EndOk) {
                        EXPECT_EQ(analysed, analyses) << round;  // never on an older analysis
                        again = random() % 2 == 0;               // a check fails now and then
                        closed = !again;
                        event = E::OkRefused;
                    }
                    closed = closed || a == A::EndCancel;
                }
            }
        };
        const auto finish = [&] {
            analysed = s.phase == ui::PreviewPhase::Analysing && !cancelled ? running : analysed;
            apply(E::JobFinished,
                  cancelled ? ui::JobOutcome::Cancelled : ui::JobOutcome::Completed);
        };
        apply(E::AnalysisRequested);
        apply(E::PreviewRequested);
        for (int step = 0; step < 40 && !closed; ++step) {
            const unsigned pick = random() % 6;
            if (pick == 0) {
                ++analyses;
                apply(E::AnalysisRequested);
            }
            if (pick <= 1) {
                ++previews;
                apply(E::PreviewRequested);
            } else if (pick <= 3 && s.JobRunning()) {
                finish();
            } else if (pick == 4) {
                apply(random() % 8 ? E::Ok : E::Cancel);
            }
        }
        for (int i = 0; i < 100 && s.JobRunning() && !closed; ++i) {
            finish();
        }
        ASSERT_FALSE(s.JobRunning()) << round;
        EXPECT_TRUE(closed || (s.analysisDone && analysed == analyses && shown == previews))
            << round;
    }
}

TEST(PreviewMath, ThumbnailSizeEstimateFormsAndBaseUnits) {
    const std::tuple<int, int, int, int, fw::Size> sizes[] = {
        {200, 100, 100, 65, {100, 50}},  {1, 1, 100, 65, {1, 1}},
        {5000, 2, 100, 65, {100, 1}},    {2, 5000, 100, 65, {1, 65}},
        {6000, 4000, 100, 65, {98, 65}}, {60, 40, 100, 65, {60, 40}},
        {10, 10, 0, 65, {0, 0}},         {0, 10, 100, 65, {0, 0}}};
    for (const auto& [w, h, aw, ah, size] : sizes) {
        EXPECT_EQ(ui::ThumbnailSize(w, h, aw, ah), size) << w << "x" << h;
    }
    // {image pixels, job pixels, seconds}: one hundredth, one thousandth, under a second.
    const std::tuple<int64_t, int64_t, double, const char*> estimates[] = {
        {100, 1, 0.5, "50 s"}, {1000, 1, 0.5, "8 min 20 s"}, {10, 1, 0.034, "0.3 s"},
        {1, 1, 59.4, "59 s"},  {1, 1, 60.0, "1 min 0 s"},    {1, 0, 3.0, "0.0 s"},
        {1, 1, -1.0, "0.0 s"}};
    for (const auto& [image, job, seconds, text] : estimates) {
        EXPECT_EQ(ui::FormatEstimate(ui::EstimateSeconds(image, job, seconds)),
                  std::string("Estimated processing time: ") + text);
    }
    EXPECT_EQ(ui::ScaleToBaseUnits({285, 4, 603, 313}, {6, 13}), (fw::Rect{285, 4, 603, 313}));
    EXPECT_EQ(ui::ScaleToBaseUnits({285, 4, 603, 313}, {7, 16}), (fw::Rect{333, 5, 704, 385}));
}

// Colours along the thumbnail's middle row: d dimmed, R frame, o original.
std::string MiddleRow(const DisplayBitmap& b) {
    std::string runs;
    for (int x = 0; x < b.Width(); ++x) {
        const fw::Colour c = Pixel(b, x, b.Height() / 2);
        const char kind = c == fw::Rgb(255, 64, 64) ? 'R' : c == fw::Rgb(140, 70, 35) ? 'd' : 'o';
        EXPECT_TRUE(kind != 'o' || c == fw::Rgb(200, 100, 50)) << x;
        if (runs.empty() || runs.back() != kind) {
            runs += kind;
        }
    }
    return runs;
}

TEST(PreviewDlg, RegionThumbnailFrameDimmingAndTheAnalysedPart) {
    const std::tuple<int, int, const char*, fw::Size> cases[] = {
        {200, 100, "RoR", {200, 100}},
        {1, 1, "R", {1, 1}},
        {5000, 2, "dRd", {5000, 2}},
        {2400, 1600, "dRoRd", {1024, 1024}},
        {4000, 300, "dRoRd", {1024, 300}}};
    Reset(true);
    for (const auto& [W, H, row, analysed] : cases) {
        const PlaneImage image = Flat(W, H);
        PreviewDlg dlg(image);
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        ASSERT_TRUE(PumpUntil([&] { return dlg.Idle(); }));
        const fw::Rect area = dlg.panel.ThumbnailArea(), preview = dlg.panel.PreviewArea();
        const int w = std::min(preview.Width(), W), h = std::min(preview.Height(), H);
        EXPECT_EQ(dlg.panel.Region(), (ui::PreviewRegion{(W - w) / 2, (H - h) / 2, w, h})) << W;
        const fw::Size t = ui::ThumbnailSize(W, H, area.Width(), area.Height());
        const int left = (area.left + area.right - t.cx) / 2,
                  top = (area.top + area.bottom - t.cy) / 2;
        EXPECT_EQ(dlg.panel.ThumbnailRect(), (fw::Rect{left, top, left + t.cx, top + t.cy})) << W;
        const DisplayBitmap &tb = dlg.panel.ThumbnailBitmap(), &pb = dlg.panel.PreviewBitmap();
        EXPECT_TRUE(tb.Width() == t.cx && tb.Height() == t.cy && pb.Width() == w &&
                    pb.Height() == h)
            << W;
        EXPECT_EQ(MiddleRow(tb), row) << W;
        EXPECT_EQ(g_analysed, analysed) << W;
        // Painted where it belongs, in a sunken frame.
        const fw::WindowPicture shot = fw::GrabWindow(dlg);
        EXPECT_EQ(shot.At(left, top + t.cy / 2), Pixel(tb, 0, t.cy / 2)) << W;
        EXPECT_EQ(shot.At(left - 1, top), fw::GetSysColor(fw::SysColour::ButtonShadow)) << W;
        EXPECT_EQ(shot.At(left + t.cx, top), fw::Rgb(255, 255, 255)) << W;
    }
}

// The preview moves against the mouse, half as far when zoomed; zooming in and out comes back
// near the start; the thumbnail's right edge stops the region at W - w.
TEST(PreviewDlg, DraggingAndZoomMoveTheRegionWithinTheImage) {
    const PlaneImage image = Flat(1000, 800);
    PreviewDlg dlg(image, false);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    EXPECT_TRUE(dlg.panel.HasHandCursor());
    const fw::Rect pa = dlg.panel.PreviewArea(), tr = dlg.panel.ThumbnailRect();
    const fw::Point mid{pa.left + 100, pa.top + 100}, by{mid.x - 40, mid.y - 10};
    const ui::PreviewRegion s = dlg.panel.Region();
    fw::CWnd& zoom = *dlg.GetDlgItem(res::kSettingsZoom);
    const auto drag = [&](bool toggle, fw::Point from, fw::Point to, int x, int y) {
        if (toggle) {
            ASSERT_TRUE(PumpUntil([&] { return dlg.Idle() && zoom.IsWindowVisible(); }));
            fw::ctrl::Click(zoom);
        }
        test::Drag(dlg, from, to);
        const ui::PreviewRegion r = dlg.panel.Region();
        EXPECT_TRUE(std::abs(r.x - x) <= 2 && std::abs(r.y - y) <= 2) << r.x << "," << r.y;
        const int scale = dlg.panel.Zoomed() ? 2 : 1;
        EXPECT_EQ(r.w, std::min(pa.Width() / scale, 1000));
        EXPECT_TRUE(dlg.panel.PreviewBitmap().Width() == r.w * scale && dlg.panel.DragMode() == 0);
    };
    drag(false, mid, by, s.x + 40, s.y + 10);
    drag(true, mid, by, s.x + 40 + s.w / 4 + 20, s.y + 10 + s.h / 4 + 5);
    drag(true, mid, mid, s.x + 60, s.y + 15);
    drag(false, {tr.left + 1, tr.top + 1}, {tr.right + 50, tr.top + 1}, 1000 - s.w, 0);
    EXPECT_EQ(dlg.panel.Region().x, 1000 - s.w);
}

TEST(PreviewDlg, OneJobAtATimeRestartsAndOnePreviewAfterABurst) {
    Reset(false);
    const PlaneImage image = Flat(300, 200);
    auto dlg = std::make_unique<PreviewDlg>(image);
    ASSERT_TRUE(dlg->Create(nullptr));
    dlg->ShowWindow(fw::kSwShow);
    fw::CWnd& bar = *dlg->GetDlgItem(res::kSettingsEstimateBar);  // set on the dialog's thread
    ASSERT_TRUE(PumpUntil([&] { return fw::ctrl::GetProgressPos(bar) == 375; }));
    EXPECT_EQ(dlg->Text(res::kSettingsPreviewStatus), "Running image pre-analysis...");
    EXPECT_TRUE(dlg->Visible(res::kSettingsEstimateBar) && !dlg->Visible(res::kSettingsZoom) &&
                !dlg->Visible(res::kSettingsEstimateLabel));
    dlg->panel.StartPreAnalysis();  // "High quality" toggled: the running analysis is out of date
    ASSERT_TRUE(PumpUntil([&] { return Log().size() == 3; }));
    g_open = true;
    ASSERT_TRUE(PumpUntil([&] { return dlg->Idle(); }));
    EXPECT_EQ(Log(), (std::vector<std::string>{"A start", "A cancelled", "A start", "A end",
                                               "P start", "P end"}));
    EXPECT_EQ(Pixel(dlg->panel.PreviewBitmap(), 0, 0),
              fw::Rgb(55, 155, 205));  // the processed crop
    EXPECT_TRUE(dlg->Visible(res::kSettingsZoom) && dlg->Visible(res::kSettingsEstimateLabel) &&
                !dlg->Visible(res::kSettingsEstimateBar));
    EXPECT_TRUE(dlg->Text(res::kSettingsEstimateLabel).starts_with("Estimated processing time: "));

    g_open = false;
    for (int i = 0; i < 6; ++i) {
        dlg->panel.RequestPreview();  // a slider dragged
    }
    EXPECT_FALSE(dlg->Visible(res::kSettingsZoom));
    g_open = true;
    ASSERT_TRUE(PumpUntil([&] { return dlg->Idle(); }));
    const std::vector<std::string> log = Log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + 6, log.end()),
              (std::vector<std::string>{"P start", "P cancelled", "P start", "P end"}));

    dlg->panel.StartPreAnalysis();  // "High quality" toggled while idle: the analysis comes first
    dlg->panel.RequestPreview();
    EXPECT_EQ(dlg->Text(res::kSettingsPreviewStatus), "Running image pre-analysis...");
    ASSERT_TRUE(PumpUntil([&] { return dlg->Idle(); }));
    const std::vector<std::string> after = Log();
    EXPECT_EQ(std::vector<std::string>(after.begin() + 10, after.end()),
              (std::vector<std::string>{"A start", "A end", "P start", "P end"}));

    // Destroyed while a job runs: the job has ended when the destructor returns.
    g_open = false;
    dlg->panel.RequestPreview();
    dlg.reset();
    EXPECT_EQ(Log().back(), "P cancelled");
}

TEST(PreviewDlg, OkWaitsForThePreAnalysisAndCancelStopsIt) {
    const std::tuple<int, std::vector<std::string>> cases[] = {
        {fw::kIdOk, {"A start", "A end"}}, {fw::kIdCancel, {"A start", "A cancelled"}}};
    for (const auto& [button, log] : cases) {
        Reset(false);
        const PlaneImage image = Flat(64, 48);
        PreviewDlg dlg(image);
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        ASSERT_TRUE(PumpUntil([&] { return Log().size() == 1; }));
        fw::ctrl::Click(*dlg.GetDlgItem(button));
        EXPECT_TRUE(dlg.panel.Schedule().Closing());
        if (button == fw::kIdOk) {
            fw::PumpMessages();
            EXPECT_TRUE(dlg.IsWindowVisible() && dlg.panel.JobRunning());
            g_open = true;
        }
        ASSERT_TRUE(PumpUntil([&] { return !dlg.IsWindowVisible(); })) << button;
        EXPECT_EQ(Log(), log);  // the queued preview never starts
    }
}

TEST(PreviewDlg, DisplayColourOnlyWithTwoUsableProfiles) {
    const auto dir = std::filesystem::temp_directory_path() / "velnr-preview";
    std::filesystem::create_directories(dir);
    const std::string srgb = (dir / "srgb.icc").string(), wide = (dir / "wide.icc").string(),
                      missing = (dir / "missing.icc").string();
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE a = cmsCreate_sRGBProfile(),
                b = cmsCreateRGBProfile(cmsD50_xyY(), &primaries, curves);
    ASSERT_TRUE(cmsSaveProfileToFile(a, srgb.c_str()) && cmsSaveProfileToFile(b, wide.c_str()));
    cmsCloseProfile(a), cmsCloseProfile(b), cmsFreeToneCurve(gamma);
    PlaneImage image = Flat(60, 40);
    for (size_t i = 0; i < image.PlaneSize(); ++i) {
        image.Plane(0)[i] = static_cast<float>(i % 60) * 4.0f;
        image.Plane(2)[i] = static_cast<float>(i / 60) * 6.0f;
    }
    bool converted = true;
    const auto shown = [&](const char* in, const char* out) {  // thumbnail and preview
        PreviewDlg dlg(image, false);
        dlg.panel.SetProfiles(in, out);
        converted = dlg.panel.ColourTransform().HasTransform();
        EXPECT_TRUE(dlg.Create(nullptr) && PumpUntil([&] { return dlg.Idle(); }));
        std::vector<uint8_t> bits;
        for (const DisplayBitmap* d : {&dlg.panel.ThumbnailBitmap(), &dlg.panel.PreviewBitmap()}) {
            for (int y = 0; y < d->Height(); ++y) {
                bits.insert(bits.end(), d->Rows()[y], d->Rows()[y] + 3 * d->Width());
            }
        }
        return bits;
    };
    // The conversion itself is the transform's (its own tests); here: which bitmaps get it.
    const std::vector<uint8_t> plain = shown(nullptr, nullptr);
    ASSERT_FALSE(converted);
    // {input, display, messages, converted, how far off the unconverted bitmaps}
    const std::tuple<const char*, const char*, size_t, bool, int> cases[] = {
        {srgb.c_str(), srgb.c_str(), 0, true, 1},
        {srgb.c_str(), missing.c_str(), 1, false, 0},
        {srgb.c_str(), nullptr, 0, false, 0},
        {srgb.c_str(), wide.c_str(), 0, true, 255}};
    for (const auto& [in, out, messages, transform, off] : cases) {
        recorded = {};
        const std::vector<uint8_t> bits = shown(in, out);
        EXPECT_TRUE(recorded.messages.size() == messages && converted == transform) << out;
        ASSERT_EQ(bits.size(), plain.size());
        EXPECT_EQ(bits != plain, off > 1) << (out ? out : "none");
        for (size_t i = 0; i < bits.size(); ++i) {
            ASSERT_LE(std::abs(bits[i] - plain[i]), off) << (out ? out : "none") << i;
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vel
