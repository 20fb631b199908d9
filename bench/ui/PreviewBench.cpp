// Time from RequestPreview to the finished preview bitmap on a 318 x 309 crop, high quality,
// with the run's own work functions and a pre-analysis done first; then the opening of a
// 24 MP picture's dialog (its thumbnail and first crop). Prints milliseconds.
//
//   bench_preview [runs]
//
// Needs a display; on Linux without one it uses the toolkit's offscreen platform.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/engine/BenchImage.h"
#include "framework/App.h"
#include "plugin/PlaneImage.h"
#include "plugin/WorkerJob.h"
#include "resources/Resources.h"
#include "ui/PreviewPanel.h"

namespace {

using namespace vel;
using Clock = std::chrono::steady_clock;

// The crop is the whole image, so that it is 318 x 309 whatever the dialog's base units.
constexpr int kWidth = 318;
constexpr int kHeight = 309;

// The settings template with only the panel, as it opens and previews in the settings dialog.
class BenchDialog : public fw::CDialog {
  public:
    BenchDialog(const PlaneImage& image, bool jobs) : fw::CDialog(res::kSettingsTemplate) {
        params_.highQuality = true;
        panel_.SetImage(&image);
        panel_.SetRects({175, 222, 275, 287}, {285, 4, 603, 313});
        if (jobs) {
            panel_.SetThreadProcs(AnalysisWorkWithConversion, ReductionWorkWithConversions,
                                  &params_, &params_);
        }
    }
    bool OnInitDialog() override {
        fw::CDialog::OnInitDialog();
        panel_.OnInitDialog();
        return true;
    }
    bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        return panel_.OnMessage(message) || fw::CDialog::OnMessage(message, wParam, lParam);
    }
    void OnPaint(fw::CDC& dc) override { panel_.OnPaint(dc); }
    // The dialog's thread waits in its event loop, as it does for the user; false on a hang.
    bool WaitForJobs() {
        const Clock::time_point end = Clock::now() + std::chrono::seconds(60);
        while (panel_.JobRunning() && Clock::now() < end) {
            fw::PumpMessages();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        return !panel_.JobRunning();
    }
    ui::PreviewPanel& Panel() { return panel_; }

  private:
    NoiseReductionParams params_;
    ui::PreviewPanel panel_{*this};
};

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    if (!fw::EnsureGui()) {
        return 1;
    }
    PlaneImage image(kWidth, kHeight);
    const float bases[3] = {90.0f, 110.0f, 70.0f};
    for (int k = 0; k < 3; ++k) {
        bench::FillNoisy(image.Plane(k), image.PlaneSize(), kWidth, 11u + static_cast<unsigned>(k),
                         bases[k], 8.0f);
    }
    BenchDialog dialog(image, true);
    if (!dialog.Create(nullptr) || !dialog.WaitForJobs()) {
        std::fprintf(stderr, "the pre-analysis did not finish\n");
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        dialog.Panel().RequestPreview();
        if (!dialog.WaitForJobs()) {
            std::fprintf(stderr, "a preview did not finish\n");
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "preview %d x %d, high quality, %d runs: median %.1f ms, fastest %.1f ms, "
        "slowest %.1f ms\n",
        dialog.Panel().Region().w, dialog.Panel().Region().h, runs, ms[ms.size() / 2], ms.front(),
        ms.back());

    PlaneImage large(6000, 4000);
    for (int k = 0; k < 3; ++k) {
        bench::FillNoisy(large.Plane(k), large.PlaneSize(), 6000, 21u + static_cast<unsigned>(k),
                         bases[k], 8.0f);
    }
    BenchDialog opened(large, false);
    const Clock::time_point start = Clock::now();
    if (!opened.Create(nullptr)) {
        return 1;
    }
    std::printf("opening on 6000 x 4000 (thumbnail %d x %d, first crop): %.1f ms\n",
                opened.Panel().ThumbnailRect().Width(), opened.Panel().ThumbnailRect().Height(),
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    return opened.WaitForJobs() ? 0 : 1;
}
