#include "ui/PreviewPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/App.h"
#include "platform/Platform.h"
#include "resources/Resources.h"
#include "ui/ProgressDlg.h"

namespace vel::ui {

namespace {

constexpr int kStatusLabel = res::kSettingsPreviewStatus;
constexpr int kTimeLabel = res::kSettingsEstimateLabel;
constexpr int kBar = res::kSettingsEstimateBar;
constexpr int kZoomButton = res::kSettingsZoom;
// value + 0.5 truncated into 0..255; NaN gives 0.
uint8_t ToByte(double value) {
    const double v = value + 0.5;
    if (!(v >= 0.0)) {
        return 0;
    }
    return v >= 255.0 ? uint8_t{255} : static_cast<uint8_t>(v);
}

// trunc(a * b / c + 0.5) for non-negative operands, in double as the rules are written;
// limited to what an int holds (a point far outside a tiny thumbnail of a huge image).
int RoundedRatio(int64_t a, int64_t b, int64_t c) {
    const double v = static_cast<double>(a) * static_cast<double>(b) / static_cast<double>(c) + 0.5;
    return v < 2147483647.0 ? static_cast<int>(v) : 2147483647;
}

}  // namespace

fw::Size ThumbnailSize(int imageWidth, int imageHeight, int areaWidth, int areaHeight) {
    if (imageWidth <= 0 || imageHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) {
        return {};
    }
    int tw;
    int th;
    if (static_cast<double>(imageWidth) / imageHeight >=
        static_cast<double>(areaWidth) / areaHeight) {
        tw = areaWidth;
        th = RoundedRatio(imageHeight, areaWidth, imageWidth);
    } else {
        th = areaHeight;
        tw = RoundedRatio(imageWidth, areaHeight, imageHeight);
    }
    if (tw > imageWidth || th > imageHeight) {
        tw = imageWidth;
        th = imageHeight;
    }
    // 5000 x 2 would give a thumbnail no pixel high.
    return {std::max(tw, 1), std::max(th, 1)};
}

float EstimateSeconds(int64_t imagePixels, int64_t jobPixels, double elapsedSeconds) {
    if (jobPixels <= 0) {
        return 0.0f;
    }
    return static_cast<float>(static_cast<double>(imagePixels) * elapsedSeconds /
                              static_cast<double>(jobPixels));
}

std::string FormatEstimate(float seconds) {
    // Limited so that the minutes fit an int whatever the counter said.
    const float t = seconds >= 0.0f ? std::min(seconds, 1.0e8f) : 0.0f;
    char text[96];
    if (t < 1.0f) {
        std::snprintf(text, sizeof text, "Estimated processing time: %1.1f s",
                      static_cast<double>(t));
    } else if (t < 60.0f) {
        std::snprintf(text, sizeof text, "Estimated processing time: %1.0f s",
                      static_cast<double>(t));
    } else {
        const int minutes = static_cast<int>(t * 0.016666668f);
        std::snprintf(text, sizeof text, "Estimated processing time: %d min %1.0f s", minutes,
                      static_cast<double>(t - 60.0f * static_cast<float>(minutes)));
    }
    return text;
}

fw::Rect ScaleToBaseUnits(const fw::Rect& r, fw::Size base) {
    if (base.cx <= 0 || base.cy <= 0) {
        return r;
    }
    const auto scale = [](int v, int num, int den) {
        return static_cast<int>(std::floor(static_cast<double>(v) * num / den + 0.5));
    };
    return {scale(r.left, base.cx, 6), scale(r.top, base.cy, 13), scale(r.right, base.cx, 6),
            scale(r.bottom, base.cy, 13)};
}

PreviewPanel::PreviewPanel(fw::CDialog& dialog) : dialog_(dialog) {
    worker_.SetWindow(&dialog);
}

PreviewPanel::~PreviewPanel() {
    // The window is gone: only the schedule and the threads are left to end.
    schedule_ = PreviewStep(schedule_, PreviewEvent::Destroyed).next;
    worker_.CancelAndJoinAll();
}

void PreviewPanel::SetImage(const PlaneImage* image) {
    image_ = image;
}

bool PreviewPanel::HasImage() const {
    return image_ && !image_->Empty();
}

void PreviewPanel::SetRects(const fw::Rect& thumbnailArea, const fw::Rect& previewArea) {
    designThumbnailArea_ = thumbnailArea;
    designPreviewArea_ = previewArea;
    const fw::Size base = dialog_.IsWindow() ? dialog_.GetDialogBaseUnits() : fw::Size{6, 13};
    thumbnailArea_ = ScaleToBaseUnits(thumbnailArea, base);
    previewArea_ = ScaleToBaseUnits(previewArea, base);
    if (!HasImage()) {
        return;
    }
    SizeRegion();
    region_.x = (image_->Width() - region_.w) / 2;
    region_.y = (image_->Height() - region_.h) / 2;
    previewCrop_.Resize(region_.w, region_.h);
    previewBitmap_.Resize(zoomed_ ? 2 * region_.w : region_.w, zoomed_ ? 2 * region_.h : region_.h);
}

void PreviewPanel::SetThreadProcs(WorkFunction analysis, WorkFunction preview,
                                  const NoiseReductionParams* analysisParams,
                                  const NoiseReductionParams* previewParams,
                                  NoiseProfile* profile) {
    worker_.SetWork(analysis, preview, analysisParams, previewParams, profile);
}

void PreviewPanel::SetProfiles(const char* inputProfilePath, const char* displayProfilePath) {
    if (!inputProfilePath || !*inputProfilePath || !displayProfilePath || !*displayProfilePath) {
        colour_.Close();
        return;
    }
    // One message for the call however many the library sends, shown on this thread.
    std::string messages;
    const DisplayColourTransform::ErrorSink sink = [&messages](const std::string& message) {
        if (messages.find(message) == std::string::npos) {
            if (!messages.empty()) {
                messages += '\n';
            }
            messages += message;
        }
    };
    colour_.SetProfiles(inputProfilePath, displayProfilePath, sink);
    if (!messages.empty()) {
        fw::AfxMessageBox(messages, fw::kMbOk | fw::kMbIconExclamation);
    }
}

void PreviewPanel::Show(int id, bool show) {
    if (fw::CWnd* w = dialog_.GetDlgItem(id)) {
        w->ShowWindow(show ? fw::kSwShow : fw::kSwHide);
    }
}

void PreviewPanel::SetText(int id, const std::string& text) {
    if (fw::CWnd* w = dialog_.GetDlgItem(id)) {
        w->SetWindowText(text);
    }
}

void PreviewPanel::OnInitDialog() {
    // Shown again after an earlier run of the window: nothing of that one may still run.
    worker_.CancelAndJoinAll();
    schedule_ = {};
    hand_ = fw::Cursor::LoadHand();
    if (fw::CWnd* bar = dialog_.GetDlgItem(kBar)) {
        fw::ctrl::SetProgressRange(*bar, 0, CProgressDlg::kRange);
        fw::ctrl::SetProgressPos(*bar, 0);
    }
    Show(kTimeLabel, false);
    zoom_.Attach(kZoomButton, &dialog_, res::kZoomBitmap, true);
    dragMode_ = 0;
    // The areas were given for 6 x 13 base units; the controls follow the dialog's font.
    SetRects(designThumbnailArea_, designPreviewArea_);
    BuildThumbnail();
    BuildPreviewCrop();
    schedule_.analysisDone = !worker_.HasAnalysis();
    if (worker_.HasAnalysis()) {
        StartPreAnalysis();
    }
    RequestPreview();
}

void PreviewPanel::SizeRegion() {
    const int divisor = zoomed_ ? 2 : 1;
    region_.w = std::min(previewArea_.Width() / divisor, image_->Width());
    region_.h = std::min(previewArea_.Height() / divisor, image_->Height());
    region_.w = std::max(region_.w, 0);
    region_.h = std::max(region_.h, 0);
}

void PreviewPanel::ClampRegion() {
    region_.x = std::clamp(region_.x, 0, std::max(image_->Width() - region_.w, 0));
    region_.y = std::clamp(region_.y, 0, std::max(image_->Height() - region_.h, 0));
}

void PreviewPanel::BuildThumbnail() {
    if (!HasImage()) {
        thumbnailRect_ = thumbnailArea_;
        return;
    }
    const int W = image_->Width();
    const int H = image_->Height();
    const fw::Size size = ThumbnailSize(W, H, thumbnailArea_.Width(), thumbnailArea_.Height());
    const int tw = size.cx;
    const int th = size.cy;
    const int left = (thumbnailArea_.left + thumbnailArea_.right - tw) / 2;
    const int top = (thumbnailArea_.top + thumbnailArea_.bottom - th) / 2;
    thumbnailRect_ = {left, top, left + tw, top + th};
    thumbnailPlanes_.Resize(tw, th);
    if (thumbnailPlanes_.Empty()) {
        thumbnailBitmap_.Release();
        return;
    }
    const auto bound = [](int i, int n, int parts) {
        return std::clamp(RoundedRatio(i, n, parts), 0, n);
    };
    std::vector<double> sums(static_cast<size_t>(tw) * 3u);
    for (int ty = 0; ty < th; ++ty) {
        const int y0 = bound(ty, H, th);
        const int y1 = bound(ty + 1, H, th);
        std::fill(sums.begin(), sums.end(), 0.0);
        for (int y = y0; y < y1; ++y) {
            for (int tx = 0; tx < tw; ++tx) {
                const int x0 = bound(tx, W, tw);
                const int x1 = bound(tx + 1, W, tw);
                for (int k = 0; k < 3; ++k) {
                    const float* row = image_->Rows(k)[y];
                    double sum = 0.0;
                    for (int x = x0; x < x1; ++x) {
                        sum += static_cast<double>(row[x]);
                    }
                    sums[static_cast<size_t>(tx) * 3u + static_cast<size_t>(k)] += sum;
                }
            }
        }
        for (int tx = 0; tx < tw; ++tx) {
            const int64_t count =
                static_cast<int64_t>(bound(tx + 1, W, tw) - bound(tx, W, tw)) * (y1 - y0);
            for (int k = 0; k < 3; ++k) {
                const double sum = sums[static_cast<size_t>(tx) * 3u + static_cast<size_t>(k)];
                thumbnailPlanes_.Rows(k)[ty][tx] =
                    count > 0 ? static_cast<float>(sum / static_cast<double>(count)) : 0.0f;
            }
        }
    }
    DrawThumbnailBitmap();
}

void PreviewPanel::DrawThumbnailBitmap() {
    if (!HasImage() || thumbnailPlanes_.Empty()) {
        return;
    }
    const int W = image_->Width();
    const int H = image_->Height();
    const int tw = thumbnailPlanes_.Width();
    const int th = thumbnailPlanes_.Height();
    thumbnailBitmap_.Resize(tw, th);
    const int top = RoundedRatio(th, region_.y, H);
    const int bottom = std::min(RoundedRatio(th, region_.y + region_.h - 1, H), th - 1);
    const int left = RoundedRatio(tw, region_.x, W);
    const int right = std::min(RoundedRatio(tw, region_.x + region_.w - 1, W), tw - 1);
    for (int j = 0; j < th; ++j) {
        uint8_t* out = thumbnailBitmap_.Rows()[j];
        for (int i = 0; i < tw; ++i, out += 3) {
            const bool inside = j >= top && j <= bottom && i >= left && i <= right;
            if (inside && (j < top + 2 || j > bottom - 2 || i < left + 2 || i > right - 2)) {
                out[0] = 64;
                out[1] = 64;
                out[2] = 255;
                continue;
            }
            const double factor = inside ? 1.0 : 0.7;
            for (int k = 0; k < 3; ++k) {
                out[2 - k] = ToByte(static_cast<double>(thumbnailPlanes_.Rows(k)[j][i]) * factor);
            }
        }
    }
    colour_.Apply(thumbnailBitmap_);
}

void PreviewPanel::BuildPreviewCrop() {
    if (!HasImage()) {
        return;
    }
    previewCrop_.Resize(region_.w, region_.h);
    for (int k = 0; k < 3 && !previewCrop_.Empty(); ++k) {
        for (int j = 0; j < region_.h; ++j) {
            const int y = region_.y + j;
            float* out = previewCrop_.Rows(k)[j];
            for (int i = 0; i < region_.w; ++i) {
                const int x = region_.x + i;
                const bool inside = x >= 0 && y >= 0 && x < image_->Width() && y < image_->Height();
                out[i] = inside ? image_->Rows(k)[y][x] : 0.0f;
            }
        }
    }
    ConvertToPreviewBitmap(previewCrop_);
    dialog_.InvalidateRect(previewArea_, false);
}

void PreviewPanel::ConvertToPreviewBitmap(const PlaneImage& planes) {
    const int scale = zoomed_ ? 2 : 1;
    previewBitmap_.Resize(region_.w * scale, region_.h * scale);
    if (previewBitmap_.Empty()) {
        return;
    }
    for (int j = 0; j < region_.h; ++j) {
        for (int i = 0; i < region_.w; ++i) {
            uint8_t bgr[3] = {0, 0, 0};
            if (i < planes.Width() && j < planes.Height()) {
                for (int k = 0; k < 3; ++k) {
                    bgr[2 - k] = ToByte(static_cast<double>(planes.Rows(k)[j][i]));
                }
            }
            for (int dy = 0; dy < scale; ++dy) {
                uint8_t* out = previewBitmap_.Rows()[j * scale + dy] + i * scale * 3;
                for (int dx = 0; dx < scale; ++dx, out += 3) {
                    out[0] = bgr[0];
                    out[1] = bgr[1];
                    out[2] = bgr[2];
                }
            }
        }
    }
    colour_.Apply(previewBitmap_);
}

void PreviewPanel::OnPaint(fw::CDC& dc) {
    const fw::Colour shadow = fw::GetSysColor(fw::SysColour::ButtonShadow);
    const fw::Colour light = fw::Rgb(255, 255, 255);
    for (const fw::Rect& r : {thumbnailRect_, previewArea_}) {
        dc.Draw3dRect({r.left - 1, r.top - 1, r.right + 1, r.bottom + 1}, shadow, light);
    }
    if (!HasImage()) {
        return;
    }
    for (const auto& [bitmap, at] :
         {std::pair<const DisplayBitmap*, fw::Point>{&thumbnailBitmap_,
                                                     {thumbnailRect_.left, thumbnailRect_.top}},
          {&previewBitmap_, {previewArea_.left, previewArea_.top}}}) {
        if (!bitmap->Empty()) {
            dc.DrawBitmap(at.x, at.y, bitmap->Width(), bitmap->Height(), bitmap->Stride(),
                          bitmap->Storage());
        }
    }
}

void PreviewPanel::ShowJobStarting(const char* status) {
    Show(kZoomButton, false);
    SetText(kStatusLabel, status);
    Show(kStatusLabel, true);
    Show(kTimeLabel, false);
    Show(kBar, true);
}

void PreviewPanel::StartPreAnalysis() {
    Dispatch(PreviewEvent::AnalysisRequested);
}

void PreviewPanel::RequestPreview() {
    Dispatch(PreviewEvent::PreviewRequested);
}

void PreviewPanel::Dispatch(PreviewEvent event, JobOutcome outcome) {
    for (;;) {
        const PreviewTransition t = PreviewStep(schedule_, event, outcome);
        schedule_ = t.next;
        bool follows = false;
        for (const PreviewAction action : t.actions) {
            if (action != PreviewAction::None && !Perform(action, event, outcome)) {
                follows = true;
                break;  // the failed action was the transition's last
            }
        }
        if (!schedule_.JobRunning()) {
            Show(kBar, false);
            Show(kStatusLabel, false);
            Show(kZoomButton, true);
        }
        if (!follows) {
            return;
        }
    }
}

bool PreviewPanel::Perform(PreviewAction action, PreviewEvent& follow, JobOutcome& outcome) {
    switch (action) {
        case PreviewAction::StartAnalysis:
        case PreviewAction::StartPreview:
            if (action == PreviewAction::StartAnalysis ? StartAnalysisJob() : StartPreviewJob()) {
                return true;
            }
            // No job could start: it ends here, unprocessed.
            follow = PreviewEvent::JobFinished;
            outcome = JobOutcome::Failed;
            return false;
        case PreviewAction::CancelJob:
            worker_.CancelRunning();
            return true;
        case PreviewAction::ShowPreview:
            ShowFinishedPreview();
            return true;
        case PreviewAction::EndOk:
            // CDialog::OnOK's check, with the refusal told to the schedule.
            if (!dialog_.UpdateData(true)) {
                follow = PreviewEvent::OkRefused;
                return false;
            }
            dialog_.EndDialog(fw::kIdOk);
            return true;
        case PreviewAction::EndCancel:
            // CDialog's own: the dialog's override forwards here.
            dialog_.fw::CDialog::OnCancel();
            return true;
        case PreviewAction::None:
            return true;
    }
    return true;
}

bool PreviewPanel::StartAnalysisJob() {
    if (!HasImage()) {
        return false;
    }
    // The job image first: should it not fit in memory, nothing has changed.
    PlaneImage& job = worker_.NextImage();
    const int W = image_->Width();
    const int H = image_->Height();
    if (static_cast<int64_t>(W) * H <= kAnalysisWholeLimit) {
        job = *image_;
    } else {
        job.CopyRegion(*image_, 0, 0, std::min(W, kAnalysisSide), std::min(H, kAnalysisSide));
    }
    ShowJobStarting("Running image pre-analysis...");
    return worker_.Start(PreviewWorker::Kind::Analysis);
}

bool PreviewPanel::StartPreviewJob() {
    if (!HasImage() || previewCrop_.Empty()) {
        return false;
    }
    worker_.NextImage() = previewCrop_;
    ShowJobStarting("Making preview...");
    previewStart_ = platform::PerformanceCounter();
    if (!worker_.Start(PreviewWorker::Kind::Preview)) {
        return false;
    }
    if (fw::CWnd* bar = dialog_.GetDlgItem(kBar)) {
        fw::ctrl::SetProgressPos(*bar, 0);
    }
    return true;
}

void PreviewPanel::ShowFinishedPreview() {
    const PlaneImage* result = worker_.FinishedImage();
    if (!result) {
        return;
    }
    ConvertToPreviewBitmap(*result);
    const int64_t frequency = platform::PerformanceFrequency();
    const double elapsed =
        frequency > 0 ? static_cast<double>(previewEnd_ - previewStart_) / frequency : 0.0;
    SetText(kTimeLabel, FormatEstimate(EstimateSeconds(
                            static_cast<int64_t>(image_->Width()) * image_->Height(),
                            static_cast<int64_t>(result->Width()) * result->Height(), elapsed)));
    Show(kTimeLabel, true);
    dialog_.InvalidateRect(previewArea_, false);
}

void PreviewPanel::OnJobProgress() {
    worker_.ProgressSeen();
    if (!JobRunning()) {
        return;
    }
    if (fw::CWnd* bar = dialog_.GetDlgItem(kBar)) {
        fw::ctrl::SetProgressPos(*bar, ProgressBarPosition(worker_.Progress()));
    }
}

void PreviewPanel::OnJobFinished() {
    // Every job posts once, after done; anything else is not for the running job.
    if (!JobRunning() || !worker_.RunningJobDone()) {
        return;
    }
    // The preview's time ends when it reports, not after its thread has been joined.
    previewEnd_ = platform::PerformanceCounter();
    Dispatch(PreviewEvent::JobFinished, worker_.Finish());
}

bool PreviewPanel::OnMessage(uint32_t message) {
    if (message == kMsgJobFinished) {
        OnJobFinished();
        return true;
    }
    if (message == kMsgJobProgress) {
        OnJobProgress();
        return true;
    }
    return false;
}

void PreviewPanel::OnOK() {
    Dispatch(PreviewEvent::Ok);
}

void PreviewPanel::OnCancel() {
    Dispatch(PreviewEvent::Cancel);
}

bool PreviewPanel::OnCommand(int id, int code) {
    if (id == kZoomButton && code == fw::kBnClicked) {
        ToggleZoom();
        return true;
    }
    return false;
}

void PreviewPanel::ToggleZoom() {
    if (!HasImage()) {
        return;
    }
    zoomed_ = !zoomed_;
    if (zoomed_) {
        region_.x += region_.w / 4;
        region_.y += region_.h / 4;
        SizeRegion();
    } else {
        SizeRegion();
        region_.x -= region_.w / 4;
        region_.y -= region_.h / 4;
    }
    ClampRegion();
    RedrawAfterMove();
}

void PreviewPanel::RedrawAfterMove() {
    DrawThumbnailBitmap();
    BuildPreviewCrop();
    dialog_.InvalidateRect(thumbnailRect_, false);
    dialog_.UpdateWindow();
    RequestPreview();
}

bool PreviewPanel::OverAnArea(fw::Point p) const {
    return thumbnailRect_.Contains(p) || previewArea_.Contains(p);
}

void PreviewPanel::OnLButtonDown(fw::Point p) {
    if (!HasImage()) {
        return;
    }
    if (thumbnailRect_.Contains(p)) {
        dragMode_ = 1;
    } else if (previewArea_.Contains(p)) {
        dragMode_ = 2;
    } else {
        return;
    }
    dialog_.SetCapture();
    dragStartPoint_ = p;
    lastPoint_ = p;
    dragStartPosition_ = {region_.x, region_.y};
    lastApplied_ = dragStartPosition_;
    ApplyPoint(p);
}

void PreviewPanel::OnMouseMove(fw::Point p) {
    overArea_ = OverAnArea(p);
    fw::SetCursor(hand_ && (dragMode_ != 0 || overArea_) ? hand_.get() : nullptr);
    if (dragMode_ != 0 && !(p == lastPoint_)) {
        ApplyPoint(p);
        lastPoint_ = p;
    }
}

void PreviewPanel::OnLButtonUp(fw::Point) {
    if (dragMode_ != 0) {
        fw::CWnd::ReleaseCapture();
        dragMode_ = 0;
    }
}

bool PreviewPanel::OnSetCursor() {
    if (hand_ && (dragMode_ != 0 || overArea_)) {
        fw::SetCursor(hand_.get());
        return true;
    }
    return false;
}

void PreviewPanel::ApplyPoint(fw::Point p) {
    const int W = image_->Width();
    const int H = image_->Height();
    if (dragMode_ == 1) {
        const int tw = std::max(thumbnailRect_.Width(), 1);
        const int th = std::max(thumbnailRect_.Height(), 1);
        // Points left of or above the thumbnail (while dragging) count as its edge.
        const int ix = RoundedRatio(std::max(p.x - thumbnailRect_.left, 0), W, tw);
        const int iy = RoundedRatio(std::max(p.y - thumbnailRect_.top, 0), H, th);
        region_.x = ix - region_.w / 2;
        region_.y = iy - region_.h / 2;
    } else if (dragMode_ == 2) {
        int dx = dragStartPoint_.x - p.x;
        int dy = dragStartPoint_.y - p.y;
        if (zoomed_) {
            dx /= 2;
            dy /= 2;
        }
        region_.x = dragStartPosition_.x + dx;
        region_.y = dragStartPosition_.y + dy;
    } else {
        return;
    }
    ClampRegion();
    const fw::Point position{region_.x, region_.y};
    if (position == lastApplied_) {
        return;
    }
    RedrawAfterMove();
    lastApplied_ = position;
}

}  // namespace vel::ui
