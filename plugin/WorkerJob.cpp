#include "plugin/WorkerJob.h"

#include <chrono>
#include <string>
#include <thread>

#include "engine/Jobs.h"
#include "platform/Platform.h"
#include "plugin/Instance.h"
#include "plugin/InteractiveSteps.h"
#include "plugin/NoiseProfileStore.h"
#include "plugin/PlaneImage.h"
#include "plugin/SettingsToEngine.h"

namespace vel {

namespace {

// A wake-up may be lost (a failed wait, or on Windows another process consuming a signal of
// a shared name), so the run never waits longer than this before it looks at done again.
constexpr uint32_t kRecheckMs = 100;
// How long the run waits for a thread that has reported done to end.
constexpr uint32_t kJoinMs = 1000;

std::string MakeDoneEventName() {
    // Unique per process: runs of other processes never see or consume our wake-ups.
    return "VEL NR Processing done " + std::to_string(platform::ProcessId());
}

ImagePlanes Planes(PlaneImage& image) {
    return {{image.Plane(0), image.Plane(1), image.Plane(2)}, image.Width(), image.Height()};
}

RunContext Context(const WorkerJob* job) {
    return {&job->cancel, job->poll, job->progress, nullptr, job->callbackContext};
}

void RunAnalysis(WorkerJob* job) {
    auto measured =
        RunNoiseAnalysis(Planes(*job->image), ToEngineSettings(job->params), Context(job));
    if (job->profile) {
        StoreAnalysedProfile(*job->profile, measured);
    }
}

void RunReduction(WorkerJob* job) {
    // A copy, like the settings: nothing the job reads changes under it.
    const NoiseProfile profile = job->profile ? *job->profile : NoiseProfile{};
    RunNoiseReduction(Planes(*job->image), ToEngineSettings(job->params), &profile, Context(job));
}

// Thread entry of the run's jobs.
void RunJobThread(void* arg) {
    ExecuteJob(static_cast<WorkerJob*>(arg), true);
}

}  // namespace

const std::string& DoneEventName() {
    static const std::string name = MakeDoneEventName();
    return name;
}

int AnalysisWork(WorkerJob* job) {
    RunAnalysis(job);
    return 0;
}

int AnalysisWorkWithConversion(WorkerJob* job) {
    job->image->RgbToYuv();
    RunAnalysis(job);
    return 0;
}

int ReductionWork(WorkerJob* job) {
    RunReduction(job);
    return 0;
}

int ReductionWorkWithConversions(WorkerJob* job) {
    job->image->RgbToYuv();
    RunReduction(job);
    job->image->YuvToRgb();
    return 0;
}

void ExecuteJob(WorkerJob* job, bool signalDone) {
    if (job->work) {
        try {
            job->work(job);
        } catch (...) {
            // Typically std::bad_alloc from the engine, which has released its buffers.
            job->failed.store(true, std::memory_order_relaxed);
        }
    }
    // Once done is visible the waiting thread may discard the job: read what is still
    // needed first and touch nothing of the job afterwards.
    const NotifyFunction notify = job->notify;
    void* const notifyTarget = job->notifyTarget;
    job->progressValue.store(100.0f, std::memory_order_relaxed);
    job->done.store(true, std::memory_order_release);
    if (notify) {
        notify(notifyTarget);
    }
    if (signalDone) {
        SignalDoneEvent();
    }
}

void SignalDoneEvent() noexcept {
    try {
        platform::SignalNamedEvent(DoneEventName());
    } catch (...) {
        // Out of memory: the run sees the job's state at its next look.
    }
}

void RunProgressCallback(void* job, float percent) {
    static_cast<WorkerJob*>(job)->reportedProgress.store(percent, std::memory_order_release);
    SignalDoneEvent();
}

bool RunPollCallback(void* /*job*/) {
    SignalDoneEvent();
    return false;
}

JobResult RunWorkerJob(WorkFunction work, PlaneImage* image, const char* statusText,
                       ProgressWindow* window, const NoiseReductionParams& params,
                       NoiseProfile* profile, const HostCallbacks& host) {
    auto event = platform::NamedEvent::Create(DoneEventName());

    WorkerJob job;
    job.progress = RunProgressCallback;
    job.poll = RunPollCallback;
    job.callbackContext = &job;
    job.work = work;
    job.image = image;
    job.params = params;
    job.profile = profile;

    if (window) {
        window->SetStatusText(statusText);
        window->SetProgress(0.0f);
        window->SetCancelFlag(&job.cancel);
    }
    host.Report(statusText, 0.0f);

    platform::WorkerThread thread;
    if (!event || !thread.CreateSuspended(RunJobThread, &job)) {
        if (window) {
            window->SetCancelFlag(nullptr);
        }
        return JobResult::Failed;
    }
    if (!thread.Resume()) {
        // Nothing would ever set done: waiting for it would never end.
        if (window) {
            window->SetCancelFlag(nullptr);
        }
        return JobResult::Failed;
    }

    try {
        do {
            // The result is not needed: done is checked after every wake-up, whatever woke us.
            platform::WaitOne(event.get(), kRecheckMs);
            if (host.CancelRequested()) {
                job.cancel.store(true, std::memory_order_release);
            }
            if (!job.cancel.load(std::memory_order_acquire)) {
                const float percent = job.reportedProgress.load(std::memory_order_acquire);
                if (window) {
                    window->SetProgress(percent);
                }
                host.Report(statusText, percent);
            }
        } while (!job.done.load(std::memory_order_acquire));
    } catch (...) {
        // A progress window or host callback threw (out of memory, say). The worker still
        // writes into the job and the image: stop it and wait, without calling anything that
        // could throw again, before the unwinding frees them.
        job.cancel.store(true, std::memory_order_release);
        while (!job.done.load(std::memory_order_acquire)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        thread.Join(kJoinMs);
        if (window) {
            window->SetCancelFlag(nullptr);
        }
        throw;
    }
    // A cancel that arrives after the last report still counts, as a Cancel press does.
    if (host.CancelRequested()) {
        job.cancel.store(true, std::memory_order_release);
    }

    // done is set before the entry's last steps, which no longer touch the job; should
    // the thread still not end in time, its handle is released and it ends by itself.
    thread.Join(kJoinMs);
    if (window) {
        window->SetCancelFlag(nullptr);
    }
    if (job.failed.load(std::memory_order_relaxed)) {
        return JobResult::Failed;
    }
    return job.cancel.load(std::memory_order_acquire) ? JobResult::Cancelled : JobResult::Completed;
}

}  // namespace vel
