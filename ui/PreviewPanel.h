#pragma once
// The navigator thumbnail and the live preview of a dialog: it runs the noise pre-analysis and
// the preview jobs in the background (one at a time, one queued), estimates the processing
// time, and lets OK and Cancel wait for a running job.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "plugin/PlaneImage.h"
#include "plugin/WorkerJob.h"
#include "settings/NoiseReductionParams.h"
#include "ui/DisplayColour.h"
#include "ui/PictureButton.h"
#include "ui/PreviewWorker.h"

namespace vel::ui {

inline constexpr uint32_t kMsgJobFinished = fw::kWmUser + 98;  // 1122
// A job's progress waits for the dialog's thread under this message.
inline constexpr uint32_t kMsgJobProgress = fw::kWmUser + 97;

// The part of the image the preview shows, in image pixels.
struct PreviewRegion {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool operator==(const PreviewRegion&) const = default;
};

// Thumbnail size for a W x H image in an aw x ah area: the area's width or height by the
// aspect rule, never enlarged, each side at least 1; 0 x 0 for an empty image or area.
fw::Size ThumbnailSize(int imageWidth, int imageHeight, int areaWidth, int areaHeight);
// Seconds for the whole image when a job on jobPixels took elapsed seconds.
float EstimateSeconds(int64_t imagePixels, int64_t jobPixels, double elapsedSeconds);
// "Estimated processing time: ..." in its three forms (tenths below 1 s, whole seconds below a
// minute, then minutes and seconds).
std::string FormatEstimate(float seconds);
// A rectangle laid out for 6 x 13 dialog base units, moved to the given ones.
fw::Rect ScaleToBaseUnits(const fw::Rect& rect, fw::Size baseUnits);

// Owned by the dialog it shows in, which forwards its handlers to the ones of the same name.
class PreviewPanel {
  public:
    // The whole image up to this many pixels is pre-analysed, else its top-left kAnalysisSide
    // square (clipped to the image).
    static constexpr int64_t kAnalysisWholeLimit = 1048576;
    static constexpr int kAnalysisSide = 1024;

    // The dialog holds the panel's controls and receives its jobs' messages; it must outlive
    // the panel.
    explicit PreviewPanel(fw::CDialog& dialog);
    // Cancels its jobs and returns only when no worker can touch the dialog any more.
    ~PreviewPanel();

    void SetImage(const PlaneImage* image);  // R, G, B on 0..255; not owned
    // Client pixels for 6 x 13 dialog base units; the dialog scales them to its own.
    void SetRects(const fw::Rect& thumbnailArea, const fw::Rect& previewArea);
    // The work functions, the records each job copies when it starts (a snapshot), and the
    // noise profile the pre-analysis fills and the previews read (null: none kept).
    void SetThreadProcs(WorkFunction analysis, WorkFunction preview,
                        const NoiseReductionParams* analysisParams,
                        const NoiseReductionParams* previewParams, NoiseProfile* profile = nullptr);
    // Both paths or no conversion; a profile that cannot be used is reported in one message.
    void SetProfiles(const char* inputProfilePath, const char* displayProfilePath);

    const PreviewSchedule& Schedule() const { return schedule_; }
    bool JobRunning() const { return schedule_.JobRunning(); }
    const PreviewRegion& Region() const { return region_; }
    bool Zoomed() const { return zoomed_; }
    // The areas in the dialog's pixels (scaled once the window exists).
    const fw::Rect& ThumbnailArea() const { return thumbnailArea_; }
    const fw::Rect& PreviewArea() const { return previewArea_; }
    const fw::Rect& ThumbnailRect() const { return thumbnailRect_; }
    const DisplayBitmap& ThumbnailBitmap() const { return thumbnailBitmap_; }
    const DisplayBitmap& PreviewBitmap() const { return previewBitmap_; }
    const DisplayColourTransform& ColourTransform() const { return colour_; }
    int DragMode() const { return dragMode_; }
    bool HasHandCursor() const { return hand_ != nullptr; }

    void RequestPreview();
    void StartPreAnalysis();

    // The dialog's handlers. OnInitDialog: the six steps, right after CDialog::OnInitDialog.
    // OnOK and OnCancel: the closing rule, which ends the dialog as CDialog's own do once no
    // job runs. OnCommand (2021 zoom) and OnMessage (the jobs' two): true when handled.
    void OnInitDialog();
    void OnOK();
    void OnCancel();
    bool OnCommand(int id, int code);
    bool OnMessage(uint32_t message);
    void OnPaint(fw::CDC& dc);
    void OnLButtonDown(fw::Point client);
    void OnMouseMove(fw::Point client);
    void OnLButtonUp(fw::Point client);
    bool OnSetCursor();

  private:
    bool HasImage() const;
    void Show(int id, bool show);
    void ShowJobStarting(const char* status);
    void SetText(int id, const std::string& text);
    // The region's size for the zoom state, clipped to the image.
    void SizeRegion();
    void ClampRegion();
    void BuildThumbnail();
    void DrawThumbnailBitmap();
    void BuildPreviewCrop();
    void ConvertToPreviewBitmap(const PlaneImage& planes);
    void ToggleZoom();
    void ApplyPoint(fw::Point p);
    bool OverAnArea(fw::Point p) const;
    void RedrawAfterMove();

    // One event through the schedule, and what its transition asks for; events that the
    // actions cause (a job that cannot start, a check that fails at OK) follow in order.
    void Dispatch(PreviewEvent event, JobOutcome outcome = JobOutcome::Completed);
    // An action; false when it failed and finished as the event it sets.
    bool Perform(PreviewAction action, PreviewEvent& follow, JobOutcome& outcome);
    bool StartAnalysisJob();
    bool StartPreviewJob();
    void ShowFinishedPreview();
    void OnJobFinished();
    void OnJobProgress();

    fw::CDialog& dialog_;
    const PlaneImage* image_ = nullptr;
    fw::Rect designThumbnailArea_{10, 10, 110, 90};
    fw::Rect designPreviewArea_{10, 100, 130, 200};
    fw::Rect thumbnailArea_{10, 10, 110, 90};
    fw::Rect previewArea_{10, 100, 130, 200};
    fw::Rect thumbnailRect_{};
    PreviewRegion region_{};
    bool zoomed_ = false;

    PlaneImage thumbnailPlanes_;
    PlaneImage previewCrop_;
    DisplayBitmap thumbnailBitmap_;
    DisplayBitmap previewBitmap_;

    int dragMode_ = 0;  // 0 none, 1 thumbnail, 2 preview
    fw::Point dragStartPoint_{};
    fw::Point dragStartPosition_{};
    fw::Point lastPoint_{};
    fw::Point lastApplied_{};
    bool overArea_ = false;
    std::unique_ptr<fw::Cursor> hand_;

    PreviewWorker worker_;
    PreviewSchedule schedule_;
    int64_t previewStart_ = 0;
    int64_t previewEnd_ = 0;

    CPictureButton zoom_;
    DisplayColourTransform colour_;
};

}  // namespace vel::ui
