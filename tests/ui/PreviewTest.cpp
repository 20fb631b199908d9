// The preview dialog base on the backend it is built with: geometry, navigation, the job state
// machine with work functions the test holds, closing, colour management.

#include <lcms2.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/Controls.h"
#include "resources/Resources.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/PreviewDlg.h"

namespace vel {
namespace {

using test::recorded;

// Work functions that wait while the gate is closed, until their job is cancelled. The
// preview inverts its image, so that a processed preview can be told from the crop.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = true;
    std::vector<std::string> log;
    fw::Size analysed;
    void Reset(bool isOpen) {
        std::lock_guard lock(mutex);
        open = isOpen;
        log.clear();
    }
    void Set(bool isOpen) {
        std::lock_guard lock(mutex);
        open = isOpen;
        changed.notify_all();
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(mutex);
        return log;
    }
} g_gate;

int Held(WorkerJob* job, const char* name) {
    std::unique_lock lock(g_gate.mutex);
    g_gate.log.push_back(std::string(name) + " start");
    while (!g_gate.open && !job->cancel.load()) {
        g_gate.changed.wait_for(lock, std::chrono::milliseconds(1));
    }
    g_gate.log.push_back(std::string(name) + (job->cancel.load() ? " cancelled" : " end"));
    return 0;
}
int HeldAnalysis(WorkerJob* job) {
    {
        std::lock_guard lock(g_gate.mutex);
        g_gate.analysed = {job->image->Width(), job->image->Height()};
    }
    return Held(job, "A");
}
int HeldPreview(WorkerJob* job) {
    for (int k = 0; k < 3; ++k) {
        for (size_t i = 0; i < job->image->PlaneSize(); ++i) {
            job->image->Plane(k)[i] = 255.0f - job->image->Plane(k)[i];
        }
    }
    return Held(job, "P");
}

PlaneImage Flat(int w, int h, float r = 200, float g = 100, float b = 50) {
    PlaneImage image(w, h);
    for (int k = 0; k < 3; ++k) {
        std::fill_n(image.Plane(k), image.PlaneSize(), k == 0 ? r : (k == 1 ? g : b));
    }
    return image;
}

bool PumpUntil(const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         std::chrono::steady_clock::now() < end;) {
        fw::PumpMessages();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

struct PreviewDlg : ui::CPreviewDlg {
    NoiseReductionParams params;
    explicit PreviewDlg(const PlaneImage& image, bool held = true)
        : ui::CPreviewDlg(res::kSettingsTemplate) {
        SetImage(&image);
        SetRects({175, 222, 275, 287}, {285, 4, 603, 313});
        if (held) {
            SetThreadProcs(HeldAnalysis, HeldPreview, &params, &params);
        }
    }
    using ui::CPreviewDlg::RequestPreview;
    using ui::CPreviewDlg::StartPreAnalysis;
    bool Visible(int id) const { return GetDlgItem(id)->IsWindowVisible(); }
    bool Idle() const { return !JobRunning(); }
};

fw::Colour Pixel(const DisplayBitmap& b, int x, int y) {
    const uint8_t* p = b.Rows()[y] + 3 * x;
    return fw::Rgb(p[2], p[1], p[0]);
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
    for (const auto& [W, H, row, analysed] : cases) {
        const PlaneImage image = Flat(W, H);
        PreviewDlg dlg(image);
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        ASSERT_TRUE(PumpUntil([&] { return dlg.Idle(); }));
        const fw::Rect area = dlg.ThumbnailArea(), preview = dlg.PreviewArea();
        const int w = std::min(preview.Width(), W), h = std::min(preview.Height(), H);
        EXPECT_EQ(dlg.Region(), (ui::PreviewRegion{(W - w) / 2, (H - h) / 2, w, h})) << W;
        const fw::Size t = ui::ThumbnailSize(W, H, area.Width(), area.Height());
        const int left = (area.left + area.right - t.cx) / 2,
                  top = (area.top + area.bottom - t.cy) / 2;
        EXPECT_EQ(dlg.ThumbnailRect(), (fw::Rect{left, top, left + t.cx, top + t.cy})) << W;
        EXPECT_EQ((fw::Size{dlg.ThumbnailBitmap().Width(), dlg.ThumbnailBitmap().Height()}), t);
        EXPECT_EQ((fw::Size{dlg.PreviewBitmap().Width(), dlg.PreviewBitmap().Height()}),
                  (fw::Size{w, h}));
        EXPECT_EQ(MiddleRow(dlg.ThumbnailBitmap()), row) << W;
        EXPECT_EQ(g_gate.analysed, analysed) << W;
        // Painted where it belongs, in a sunken frame.
        const fw::WindowPicture shot = fw::GrabWindow(dlg);
        EXPECT_EQ(shot.At(left, top + t.cy / 2), Pixel(dlg.ThumbnailBitmap(), 0, t.cy / 2)) << W;
        EXPECT_EQ(shot.At(left - 1, top), fw::GetSysColor(fw::SysColour::ButtonShadow)) << W;
        EXPECT_EQ(shot.At(left + t.cx, top), fw::Rgb(255, 255, 255)) << W;
    }
    g_gate.Reset(true);
}

TEST(PreviewDlg, DraggingAndZoomMoveTheRegionWithinTheImage) {
    const PlaneImage image = Flat(1000, 800);
    PreviewDlg dlg(image, false);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    ASSERT_TRUE(PumpUntil([&] { return dlg.Idle(); }));
    EXPECT_TRUE(dlg.HasHandCursor());
    const fw::Rect pa = dlg.PreviewArea(), tr = dlg.ThumbnailRect();
    const fw::Point mid{pa.left + 100, pa.top + 100};
    const ui::PreviewRegion start = dlg.Region();
    fw::CWnd& zoom = *dlg.GetDlgItem(res::kSettingsZoom);
    // {zoom first, drag from, to, expected x, y}: the preview moves against the mouse, half as
    // far when zoomed; the thumbnail's right edge stops the region at W - w.
    const std::tuple<bool, fw::Point, fw::Point, std::function<fw::Point()>> steps[] = {
        {false,
         mid,
         {mid.x - 40, mid.y - 10},
         [&] {
             return fw::Point{start.x + 40, start.y + 10};
         }},
        {true,
         mid,
         {mid.x - 40, mid.y - 10},
         [&] {
             return fw::Point{start.x + 40 + start.w / 4 + 20, start.y + 10 + start.h / 4 + 5};
         }},
        {true, mid, mid,
         [&] {
             return fw::Point{start.x + 60, start.y + 15};
         }},
        {false, {tr.left + 1, tr.top + 1}, {tr.right + 50, tr.top + 1}, [&] {
             return fw::Point{1000 - start.w, 0};
         }}};
    for (const auto& [toggle, from, to, expected] : steps) {
        if (toggle) {
            ASSERT_TRUE(PumpUntil([&] { return dlg.Idle() && zoom.IsWindowVisible(); }));
            fw::ctrl::Click(zoom);
        }
        test::Drag(dlg, from, to);
        EXPECT_EQ(dlg.DragMode(), 0);
        const fw::Point at = expected();
        EXPECT_NEAR(dlg.Region().x, at.x, 2) << to.x;
        EXPECT_NEAR(dlg.Region().y, at.y, 2) << to.x;
        const int scale = dlg.Zoomed() ? 2 : 1;
        EXPECT_EQ(dlg.PreviewBitmap().Width(), dlg.Region().w * scale);
        EXPECT_EQ(dlg.Region().w, std::min(pa.Width() / scale, 1000));
    }
    EXPECT_EQ(dlg.Region().x, 1000 - dlg.Region().w);
}

TEST(PreviewDlg, OneJobAtATimeRestartsAndOnePreviewAfterABurst) {
    g_gate.Reset(false);
    const PlaneImage image = Flat(300, 200);
    auto dlg = std::make_unique<PreviewDlg>(image);
    ASSERT_TRUE(dlg->Create(nullptr));
    dlg->ShowWindow(fw::kSwShow);
    ASSERT_TRUE(PumpUntil([&] { return g_gate.Log().size() == 1; }));
    EXPECT_EQ(dlg->GetDlgItem(res::kSettingsPreviewStatus)->GetWindowText(),
              "Running image pre-analysis...");
    EXPECT_TRUE(dlg->Visible(res::kSettingsEstimateBar) && !dlg->Visible(res::kSettingsZoom) &&
                !dlg->Visible(res::kSettingsEstimateLabel));
    dlg->StartPreAnalysis();  // "High quality" toggled: the running analysis is out of date
    ASSERT_TRUE(PumpUntil([&] { return g_gate.Log().size() == 3; }));
    g_gate.Set(true);
    ASSERT_TRUE(PumpUntil([&] { return dlg->Idle(); }));
    EXPECT_EQ(g_gate.Log(), (std::vector<std::string>{"A start", "A cancelled", "A start", "A end",
                                                      "P start", "P end"}));
    EXPECT_EQ(Pixel(dlg->PreviewBitmap(), 0, 0), fw::Rgb(55, 155, 205));  // the processed crop
    EXPECT_TRUE(dlg->Visible(res::kSettingsZoom) && dlg->Visible(res::kSettingsEstimateLabel) &&
                !dlg->Visible(res::kSettingsEstimateBar));
    EXPECT_EQ(dlg->GetDlgItem(res::kSettingsEstimateLabel)
                  ->GetWindowText()
                  .rfind("Estimated processing time: ", 0),
              0u);

    g_gate.Set(false);
    for (int i = 0; i < 6; ++i) {
        dlg->RequestPreview();  // a slider dragged
    }
    EXPECT_FALSE(dlg->Visible(res::kSettingsZoom));
    g_gate.Set(true);
    ASSERT_TRUE(PumpUntil([&] { return dlg->Idle(); }));
    const std::vector<std::string> log = g_gate.Log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + 6, log.end()),
              (std::vector<std::string>{"P start", "P cancelled", "P start", "P end"}));

    // Destroyed while a job runs: the job has ended when the destructor returns.
    g_gate.Set(false);
    dlg->RequestPreview();
    dlg.reset();
    EXPECT_EQ(g_gate.Log().back(), "P cancelled");
    g_gate.Set(true);
}

TEST(PreviewDlg, OkWaitsForThePreAnalysisAndCancelStopsIt) {
    const std::tuple<int, std::vector<std::string>> cases[] = {
        {fw::kIdOk, {"A start", "A end"}}, {fw::kIdCancel, {"A start", "A cancelled"}}};
    for (const auto& [button, log] : cases) {
        g_gate.Reset(false);
        const PlaneImage image = Flat(64, 48);
        PreviewDlg dlg(image);
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        ASSERT_TRUE(PumpUntil([&] { return g_gate.Log().size() == 1; }));
        fw::ctrl::Click(*dlg.GetDlgItem(button));
        EXPECT_TRUE(dlg.JobFlags().closing);
        if (button == fw::kIdOk) {
            fw::PumpMessages();
            EXPECT_TRUE(dlg.IsWindowVisible() && dlg.JobRunning());
            g_gate.Set(true);
        }
        ASSERT_TRUE(PumpUntil([&] { return !dlg.IsWindowVisible(); })) << button;
        EXPECT_EQ(g_gate.Log(), log);  // the queued preview never starts
        g_gate.Set(true);
    }
}

void SaveProfile(cmsHPROFILE profile, const std::string& path) {
    ASSERT_TRUE(profile && cmsSaveProfileToFile(profile, path.c_str()));
    cmsCloseProfile(profile);
}

TEST(PreviewDlg, DisplayColourOnlyWithTwoUsableProfiles) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "velnr-preview";
    std::filesystem::create_directories(dir);
    const std::string srgb = (dir / "srgb.icc").string(), wide = (dir / "wide.icc").string();
    SaveProfile(cmsCreate_sRGBProfile(), srgb);
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    SaveProfile(cmsCreateRGBProfile(&white, &primaries, curves), wide);
    cmsFreeToneCurve(gamma);

    PlaneImage image = Flat(60, 40);
    for (size_t i = 0; i < image.PlaneSize(); ++i) {
        image.Plane(0)[i] = static_cast<float>(i % 60) * 4.0f;
        image.Plane(2)[i] = static_cast<float>(i / 60) * 6.0f;
    }
    const auto thumbnail = [&](const char* in, const char* out, bool& converted) {
        PreviewDlg dlg(image, false);
        dlg.SetProfiles(in, out);
        converted = dlg.ColourTransform().HasTransform();
        EXPECT_TRUE(dlg.Create(nullptr));
        EXPECT_TRUE(PumpUntil([&] { return dlg.Idle(); }));
        std::vector<uint8_t> bits;
        for (const DisplayBitmap* b : {&dlg.ThumbnailBitmap(), &dlg.PreviewBitmap()}) {
            for (int y = 0; y < b->Height(); ++y) {
                bits.insert(bits.end(), b->Rows()[y], b->Rows()[y] + 3 * b->Width());
            }
        }
        return bits;
    };
    bool converted = true;
    const std::vector<uint8_t> plain = thumbnail(nullptr, nullptr, converted);
    EXPECT_FALSE(converted);
    std::vector<uint8_t> expected = plain;  // lcms2's own transform of the plain bitmaps
    cmsHPROFILE a = cmsOpenProfileFromFile(srgb.c_str(), "r"),
                b = cmsOpenProfileFromFile(wide.c_str(), "r");
    cmsHTRANSFORM t =
        cmsCreateTransform(a, TYPE_BGR_8, b, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsDoTransform(t, plain.data(), expected.data(),
                   static_cast<cmsUInt32Number>(plain.size() / 3));
    cmsDeleteTransform(t), cmsCloseProfile(a), cmsCloseProfile(b);
    ASSERT_NE(expected, plain);

    const std::string missing = (dir / "missing.icc").string();
    // {input, display, messages, converted, largest difference from plain (-1: as expected)}
    const std::tuple<const char*, const char*, size_t, bool, int> cases[] = {
        {srgb.c_str(), srgb.c_str(), 0, true, 1},
        {srgb.c_str(), missing.c_str(), 1, false, 0},
        {srgb.c_str(), nullptr, 0, false, 0},
        {srgb.c_str(), wide.c_str(), 0, true, -1}};
    for (const auto& [in, out, messages, transform, difference] : cases) {
        recorded = {};
        const std::vector<uint8_t> bits = thumbnail(in, out, converted);
        EXPECT_EQ(recorded.messages.size(), messages) << (out ? out : "none");
        EXPECT_EQ(converted, transform);
        ASSERT_EQ(bits.size(), plain.size());
        if (difference < 0) {
            EXPECT_EQ(bits, expected);
            continue;
        }
        int largest = 0;
        for (size_t i = 0; i < bits.size(); ++i) {
            largest = std::max(largest, std::abs(bits[i] - plain[i]));
        }
        EXPECT_LE(largest, difference) << (out ? out : "none");
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vel
