#pragma once
// What every engine stage shares: the three planes, the callbacks, the cancel flag and the
// stop check.

#include <atomic>
#include <cstdint>

namespace vel {

struct KernelSet;

// Percentage done of the current job, 0..100; context is the RunContext's.
using ProgressCallback = void (*)(void* context, float percent);
// True asks the engine to stop.
using PollCallback = bool (*)(void* context);
// Set by another thread; the engine only reads it, at its stop checks.
using CancelFlag = std::atomic<bool>;

// The working image: Y, U and V planes of width * height floats, row stride = width.
struct ImagePlanes {
    float* planes[3] = {nullptr, nullptr, nullptr};
    int32_t width = 0;
    int32_t height = 0;
};
// The same for jobs that only read the image.
struct ConstImagePlanes {
    const float* planes[3] = {nullptr, nullptr, nullptr};
    int32_t width = 0;
    int32_t height = 0;

    ConstImagePlanes() = default;
    ConstImagePlanes(const float* p0, const float* p1, const float* p2, int32_t w, int32_t h)
        : planes{p0, p1, p2}, width(w), height(h) {}
    // Implicit: a job that may write the image may always hand it to one that reads.
    ConstImagePlanes(const ImagePlanes& image)
        : planes{image.planes[0], image.planes[1], image.planes[2]},
          width(image.width),
          height(image.height) {}
};

// How a job runs: its worker threads (at least 1) and its kernel set (null: the plain reference
// code). Neither changes a bit of a result.
struct EngineConfig {
    int32_t threads = 1;
    const KernelSet* kernels = nullptr;
};

// The machine's configuration: VELNR_THREADS, else 1 where VELNR_REFERENCE (set and not "0")
// forces the plain code, else the hardware threads (at most 64); the reference where forced,
// else the best kernel set of the processor. Read from the environment on every call.
EngineConfig EngineConfigFromEnvironment();
// The same, read once: what a job gets unless its caller chooses.
const EngineConfig& DefaultEngineConfig();

// How a job is watched and stopped; each member may be null. The callbacks are called on the
// thread that runs the job only.
struct RunContext {
    const CancelFlag* cancel = nullptr;
    PollCallback poll = nullptr;
    ProgressCallback progress = nullptr;
    // Raised by the engine itself, when one of its threads ends a job for the others.
    const CancelFlag* stop = nullptr;
    // Handed to both callbacks: whoever watches the job, without any process-wide state.
    void* callbackContext = nullptr;
    EngineConfig config = DefaultEngineConfig();

    bool Cancelled() const {
        return (cancel && cancel->load(std::memory_order_acquire)) ||
               (stop && stop->load(std::memory_order_acquire));
    }
    // The stop check: the cancel flag first, then the poll callback.
    bool StopRequested() const { return Cancelled() || (poll && poll(callbackContext)); }
    void Report(float percent) const {
        if (progress) {
            progress(callbackContext, percent);
        }
    }
};

}  // namespace vel
