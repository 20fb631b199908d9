#include "ui/PreviewWorker.h"

#include <algorithm>

#include "framework/Dialog.h"
#include "platform/Platform.h"
#include "ui/PreviewPanel.h"

namespace vel::ui {

namespace {

using A = PreviewAction;
using E = PreviewEvent;
using P = PreviewPhase;

// How long the finished-job handler waits for a thread that has reported done.
constexpr uint32_t kJoinMs = 3000;

struct Actions {
    std::array<PreviewAction, 3>& list;
    size_t count = 0;
    void Add(PreviewAction a) { list[count++] = a; }
};

// No job runs: the one the requests call for next, or the close they wait for.
void StartNext(PreviewSchedule& s, Actions& act) {
    if (s.close == CloseRequest::Cancel) {
        act.Add(A::EndCancel);
    } else if (!s.analysisDone) {
        // Before any preview, and before OK: the profile must be of the latest request.
        s.phase = P::Analysing;
        act.Add(A::StartAnalysis);
    } else if (s.close == CloseRequest::Ok) {
        act.Add(A::EndOk);
    } else if (s.previewWanted) {
        s.previewWanted = false;
        s.phase = P::Previewing;
        act.Add(A::StartPreview);
    }
}

}  // namespace

PreviewTransition PreviewStep(const PreviewSchedule& schedule, PreviewEvent event,
                              JobOutcome outcome) {
    PreviewTransition t{schedule, {}};
    PreviewSchedule& s = t.next;
    Actions act{t.actions};
    const bool running = s.JobRunning();
    switch (event) {
        case E::AnalysisRequested:
            s.analysisDone = false;
            if (running) {
                act.Add(A::CancelJob);  // out of date, whichever it is
            } else {
                StartNext(s, act);
            }
            break;
        case E::PreviewRequested:
            s.previewWanted = true;
            if (s.phase == P::Previewing) {
                act.Add(A::CancelJob);
            } else if (!running) {
                StartNext(s, act);
            }
            break;
        case E::JobFinished:
            if (!running) {
                break;  // a stale message: nothing was running
            }
            if (s.phase == P::Analysing && outcome != JobOutcome::Cancelled) {
                // A failed analysis counts as done too: the reduction then measures per tile.
                s.analysisDone = true;
            }
            if (s.phase == P::Previewing && outcome == JobOutcome::Completed && !s.previewWanted &&
                !s.Closing()) {
                act.Add(A::ShowPreview);
            }
            s.phase = P::Idle;
            StartNext(s, act);
            break;
        case E::Ok:
            if (s.close == CloseRequest::Cancel) {
                break;
            }
            if (!running) {
                act.Add(A::EndOk);
                break;
            }
            s.close = CloseRequest::Ok;
            if (s.phase == P::Previewing) {
                // Its result is not needed to close, but wanted again should the check fail.
                s.previewWanted = true;
                act.Add(A::CancelJob);
            }
            break;
        case E::Cancel:
            if (!running) {
                act.Add(A::EndCancel);
                break;
            }
            s.close = CloseRequest::Cancel;
            act.Add(A::CancelJob);
            break;
        case E::OkRefused:
            s.close = CloseRequest::None;
            if (!running) {
                StartNext(s, act);
            }
            break;
        case E::Destroyed:
            if (running) {
                act.Add(A::CancelJob);
            }
            s = PreviewSchedule{};
            break;
    }
    return t;
}

struct PreviewWorker::Slot {
    PreviewWorker* owner = nullptr;
    WorkerJob job;
    PlaneImage image;
    std::unique_ptr<platform::WorkerThread> thread;

    // A job block as new, for the next job; only on a slot whose thread has ended.
    void Reset() {
        job.notify = nullptr;
        job.notifyTarget = nullptr;
        job.progress = nullptr;
        job.poll = nullptr;
        job.callbackContext = nullptr;
        job.work = nullptr;
        job.image = nullptr;
        job.profile = nullptr;
        job.cancel.store(false, std::memory_order_relaxed);
        job.done.store(false, std::memory_order_relaxed);
        job.progressValue.store(0.0f, std::memory_order_relaxed);
        job.failed.store(false, std::memory_order_relaxed);
        thread.reset();
    }
};

PreviewWorker::PreviewWorker() = default;

PreviewWorker::~PreviewWorker() {
    CancelAndJoinAll();
}

void PreviewWorker::SetWork(WorkFunction analysis, WorkFunction preview,
                            const NoiseReductionParams* analysisParams,
                            const NoiseReductionParams* previewParams, NoiseProfile* profile) {
    analysis_ = analysis;
    profile_ = profile;
    preview_ = preview;
    analysisParams_ = analysisParams;
    previewParams_ = previewParams;
}

PlaneImage& PreviewWorker::NextImage() {
    // Slots kept apart are freed as soon as their threads have ended.
    std::erase_if(retired_, [](const std::unique_ptr<Slot>& s) { return s->thread->Join(0); });
    if (!next_) {
        next_ = finished_ ? std::move(finished_) : std::make_unique<Slot>();
    }
    next_->Reset();
    next_->owner = this;
    return next_->image;
}

bool PreviewWorker::Start(Kind kind) {
    if (!next_ || current_) {
        return false;
    }
    WorkerJob& job = next_->job;
    const NoiseReductionParams* params = kind == Kind::Analysis ? analysisParams_ : previewParams_;
    job.notify = &PreviewWorker::PostFinished;
    job.notifyTarget = this;
    job.progress = &PreviewWorker::JobProgress;
    job.callbackContext = next_.get();
    job.work = kind == Kind::Analysis ? analysis_ : preview_;
    job.image = &next_->image;
    // Jobs run one at a time: no preview reads the profile while an analysis writes it.
    job.profile = profile_;
    // The snapshot: the dialog changes its records only on this thread, never mid-copy.
    job.params = params ? *params : NoiseReductionParams{};
    progress_.store(0.0f, std::memory_order_relaxed);
    next_->thread = std::make_unique<platform::WorkerThread>();
    Slot* raw = next_.get();
    if (!raw->thread->CreateSuspended(&PreviewWorker::JobThread, raw) || !raw->thread->Resume()) {
        raw->thread = std::make_unique<platform::WorkerThread>();
        return false;
    }
    current_ = std::move(next_);
    return true;
}

void PreviewWorker::CancelRunning() {
    if (current_) {
        current_->job.cancel.store(true, std::memory_order_release);
    }
}

bool PreviewWorker::RunningJobDone() const {
    return current_ && current_->job.done.load(std::memory_order_acquire);
}

JobOutcome PreviewWorker::Finish() {
    if (!current_) {
        return JobOutcome::Failed;
    }
    const JobOutcome outcome =
        current_->job.failed.load(std::memory_order_relaxed)   ? JobOutcome::Failed
        : current_->job.cancel.load(std::memory_order_acquire) ? JobOutcome::Cancelled
                                                               : JobOutcome::Completed;
    if (current_->thread->Join(kJoinMs)) {
        finished_ = std::move(current_);
    } else {
        // Its thread may still read the block or write the image: never reuse them.
        retired_.push_back(std::move(current_));
        finished_.reset();
        return outcome == JobOutcome::Completed ? JobOutcome::Failed : outcome;
    }
    return outcome;
}

const PlaneImage* PreviewWorker::FinishedImage() const {
    return finished_ ? &finished_->image : nullptr;
}

void PreviewWorker::CancelAndJoinAll() {
    CancelRunning();
    for (auto& s : retired_) {
        s->job.cancel.store(true, std::memory_order_release);
    }
    if (current_) {
        current_->thread->Join(platform::kInfinite);
        current_.reset();
    }
    for (auto& s : retired_) {
        s->thread->Join(platform::kInfinite);
    }
    retired_.clear();
}

void PreviewWorker::JobThread(void* arg) {
    ExecuteJob(&static_cast<Slot*>(arg)->job, false);
}

void PreviewWorker::PostFinished(void* target) {
    auto* worker = static_cast<PreviewWorker*>(target);
    if (worker->window_) {
        worker->window_->PostMessage(kMsgJobFinished);
    }
}

void PreviewWorker::JobProgress(void* context, float percent) {
    // Called on the job's thread only: the widgets are left to the dialog's thread.
    auto* slot = static_cast<Slot*>(context);
    if (!slot || !slot->owner) {
        return;
    }
    PreviewWorker& worker = *slot->owner;
    worker.progress_.store(percent, std::memory_order_relaxed);
    if (!worker.progressPosted_.exchange(true, std::memory_order_acq_rel) && worker.window_) {
        worker.window_->PostMessage(kMsgJobProgress);
    }
}

}  // namespace vel::ui
