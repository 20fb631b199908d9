#pragma once
// The preview's background work: the noise pre-analysis and the preview jobs, one at a time on
// a thread of their own, with the requests that wait for the running job. Which job runs next,
// and when the dialog may close, is decided by one transition function (PreviewStep), so that
// the whole schedule reads as one table.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/PlaneImage.h"
#include "plugin/WorkerJob.h"
#include "settings/NoiseReductionParams.h"

namespace vel {
namespace fw {
class CWnd;
}

namespace ui {

enum class PreviewPhase : uint8_t { Idle, Analysing, Previewing };
enum class CloseRequest : uint8_t { None, Ok, Cancel };

// Everything that decides what happens next.
struct PreviewSchedule {
    PreviewPhase phase = PreviewPhase::Idle;
    // The last analysis finished for the latest analysis request (the high-quality setting it
    // measured for is the current one).
    bool analysisDone = false;
    bool previewWanted = false;
    CloseRequest close = CloseRequest::None;

    bool JobRunning() const { return phase != PreviewPhase::Idle; }
    bool Closing() const { return close != CloseRequest::None; }
    bool operator==(const PreviewSchedule&) const = default;
};

enum class PreviewEvent : uint8_t {
    AnalysisRequested,  // the dialog opened, or "High quality" changed
    PreviewRequested,   // any change of the settings or of the region
    JobFinished,        // the running job reported done (with its outcome)
    Ok,
    Cancel,
    OkRefused,  // OK found a value that fails its check: the dialog stays open
    Destroyed,
};

// How the job that finished ended: Cancelled whenever its cancel flag was raised, whether or
// not it saw the flag in time (its result is out of date either way).
enum class JobOutcome : uint8_t { Completed, Cancelled, Failed };

enum class PreviewAction : uint8_t {
    None,
    StartAnalysis,
    StartPreview,
    CancelJob,
    ShowPreview,  // the finished preview is the one of the latest settings: show it
    EndOk,        // check the values and end with OK (OkRefused when a check fails)
    EndCancel,
};

struct PreviewTransition {
    PreviewSchedule next;
    std::array<PreviewAction, 3> actions{};
};

// The schedule's only transition function. Whatever order events come in, the schedule ends
// showing the preview of the latest request or running a job towards it, and an OK closes only
// on an analysis of the latest request.
PreviewTransition PreviewStep(const PreviewSchedule& schedule, PreviewEvent event,
                              JobOutcome outcome = JobOutcome::Completed);

// Owns the job threads: one job runs at a time; a job whose thread does not end in time after
// reporting is kept apart until it has.
class PreviewWorker {
  public:
    enum class Kind : uint8_t { Analysis, Preview };

    PreviewWorker();
    ~PreviewWorker();
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    // The window that receives kMsgJobFinished and kMsgJobProgress; the work functions, the
    // records each job copies when it starts, and the profile the analysis fills and the
    // previews read (null: none kept).
    void SetWindow(fw::CWnd* window) { window_ = window; }
    void SetWork(WorkFunction analysis, WorkFunction preview,
                 const NoiseReductionParams* analysisParams,
                 const NoiseReductionParams* previewParams, NoiseProfile* profile);
    bool HasAnalysis() const { return analysis_ != nullptr; }

    // The image of the next job, filled by the caller before Start.
    PlaneImage& NextImage();
    // Starts the job on NextImage(); false when no thread could run it (nothing runs then).
    bool Start(Kind kind);
    void CancelRunning();
    // Ends the running job after its done was seen: how it ended; its image stays readable
    // until the next NextImage().
    JobOutcome Finish();
    const PlaneImage* FinishedImage() const;
    // True when the running job has reported done (a finished message may be stale).
    bool RunningJobDone() const;
    // Cancels every job and returns when no thread can touch the worker any more.
    void CancelAndJoinAll();

    float Progress() const { return progress_.load(std::memory_order_relaxed); }
    // Clears the posted flag of the progress message: the next report posts again.
    void ProgressSeen() { progressPosted_.store(false, std::memory_order_release); }

  private:
    struct Slot;
    static void JobThread(void* arg);
    static void PostFinished(void* target);
    static void JobProgress(void* context, float percent);

    fw::CWnd* window_ = nullptr;
    WorkFunction analysis_ = nullptr;
    WorkFunction preview_ = nullptr;
    const NoiseReductionParams* analysisParams_ = nullptr;
    const NoiseReductionParams* previewParams_ = nullptr;
    NoiseProfile* profile_ = nullptr;

    std::unique_ptr<Slot> current_;
    std::unique_ptr<Slot> next_;
    std::unique_ptr<Slot> finished_;
    std::vector<std::unique_ptr<Slot>> retired_;

    // Written by the running job's thread, applied on the dialog's.
    std::atomic<float> progress_{0.0f};
    std::atomic<bool> progressPosted_{false};
};

}  // namespace ui
}  // namespace vel
