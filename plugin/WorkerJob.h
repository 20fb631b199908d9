#pragma once
// The unit of background work: one engine job on a worker thread of its own, with progress,
// cancellation and a completion signal for the thread that waits for it.

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/EngineTypes.h"
#include "engine/NoiseAnalysis.h"
#include "settings/NoiseReductionParams.h"

namespace vel {

class PlaneImage;
class ProgressWindow;
struct HostCallbacks;
struct WorkerJob;

using WorkFunction = int (*)(WorkerJob* job);
// Tells a window that the job has finished (the dialog's jobs post their message with it).
using NotifyFunction = void (*)(void* target);

struct WorkerJob {
    NotifyFunction notify = nullptr;
    void* notifyTarget = nullptr;
    ProgressCallback progress = nullptr;
    PollCallback poll = nullptr;
    // Handed to progress and poll.
    void* callbackContext = nullptr;
    WorkFunction work = nullptr;
    PlaneImage* image = nullptr;
    CancelFlag cancel{false};
    std::atomic<bool> done{false};
    std::atomic<float> progressValue{0.0f};
    // The last percentage the work reported through the run's progress callback.
    std::atomic<float> reportedProgress{0.0f};
    // Set when the work function ended by an exception: the image holds no result.
    std::atomic<bool> failed{false};
    // The job's own copy: the dialog may change the current settings while the job runs.
    NoiseReductionParams params;
    // Where an analysis leaves its levels and what a reduction reads (a copy, at its start);
    // null: an analysis keeps nothing and a reduction measures per tile.
    NoiseProfile* profile = nullptr;
};

// The four work functions; each works on job->image in place and returns 0.
int AnalysisWork(WorkerJob* job);                  // Y, U, V planes: whole-image analysis
int AnalysisWorkWithConversion(WorkerJob* job);    // R, G, B planes: convert, then analyse
int ReductionWork(WorkerJob* job);                 // Y, U, V planes: noise reduction
int ReductionWorkWithConversions(WorkerJob* job);  // R, G, B in and out

// Runs the job body on the calling (worker) thread: the work function, then progress 100,
// done, the notification and, when signalDone is set, the run's completion event.
// Exceptions of the work function end the job as failed, never the process.
void ExecuteJob(WorkerJob* job, bool signalDone);

// The run's callbacks, with the job as context: store the job's percentage / signal the
// completion event. Poll never stops.
void RunProgressCallback(void* job, float percent);
bool RunPollCallback(void* job);
// Sets the completion event of this process's runs, if one exists. Never throws, so that the
// job threads may call it anywhere: a signal that cannot be given is made up for by the run's
// periodic look at the job.
void SignalDoneEvent() noexcept;
// The per-process name of that event.
const std::string& DoneEventName();

enum class JobResult { Completed, Cancelled, Failed };

// Starts one job with params and profile (see WorkerJob) on a worker thread and waits for it
// while pumping messages, showing its progress in the window when one is given and to the
// host's callbacks. Unless Completed the image holds no usable result.
JobResult RunWorkerJob(WorkFunction work, PlaneImage* image, const char* statusText,
                       ProgressWindow* window, const NoiseReductionParams& params,
                       NoiseProfile* profile, const HostCallbacks& host);

}  // namespace vel
