// The message-pumping wait on POSIX. There is no system message queue: a window backend that
// runs installs its pump, which the wait calls between short slices of waiting.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Platform.h"

namespace vel::platform {

namespace {

std::atomic<MessagePump> g_pump{nullptr};

// How long the wait may sleep before the window backend gets to handle its events again.
constexpr uint32_t kPumpSliceMs = 10;

}  // namespace

void SetMessagePump(MessagePump pump) {
    g_pump.store(pump, std::memory_order_release);
}

bool DispatchWaitingMessages() {
    const MessagePump pump = g_pump.load(std::memory_order_acquire);
    return !pump || pump();
}

int32_t WaitWithMessages(NamedEvent* const* events, int32_t count, uint32_t timeoutMs) {
    if (!events || count < 1) {
        return -2;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (;;) {
        if (!DispatchWaitingMessages()) {
            return kWaitQuit;
        }
        const bool pumping = g_pump.load(std::memory_order_acquire) != nullptr;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        const uint32_t left =
            elapsed >= timeoutMs ? 0u : timeoutMs - static_cast<uint32_t>(elapsed);
        uint32_t slice = pumping ? std::min(left, kPumpSliceMs) : left;
        if (count == 1) {
            if (events[0]->Wait(slice)) {
                return 0;
            }
        } else {
            // Several events have no common wait here; poll them in short steps.
            for (int32_t i = 0; i < count; ++i) {
                if (events[i]->Wait(0)) {
                    return i;
                }
            }
            slice = std::min(slice, 1u);
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
        if (left == 0) {
            return kWaitTimeout;
        }
    }
}

int64_t PerformanceCounter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t PerformanceFrequency() {
    return 1'000'000'000;
}

}  // namespace vel::platform
