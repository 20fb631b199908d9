#pragma once
// What every engine stage shares: the callbacks, the cancel flag and the stop check.

#include <atomic>
#include <cstdint>

namespace vel {

// Percentage done of the current job, 0..100.
using ProgressCallback = void (*)(float percent);
// True asks the engine to stop.
using PollCallback = bool (*)();
// Set by another thread; the engine only reads it, at its stop checks.
using CancelFlag = std::atomic<bool>;

// The stop check: the cancel flag first, then the poll callback. Either may be null.
inline bool StopRequested(const CancelFlag* cancel, PollCallback poll) {
    if (cancel && cancel->load(std::memory_order_acquire)) {
        return true;
    }
    return poll && poll();
}

}  // namespace vel
