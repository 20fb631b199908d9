// The message-pumping wait and the high-resolution counter.

#include "platform/win32/Win32Handles.h"

namespace vel::platform {

namespace {

// Wake for input of every kind a thread queue reports (keys, mouse, posted, sent, timer,
// paint, hot keys).
constexpr DWORD kInputWakeMask = 0xFF;
// Bad arguments or a failed system wait; kept apart from kWaitQuit.
constexpr int32_t kWaitFailed = -2;

}  // namespace

// No key translation and no dialog keyboard handling, so Escape and Enter never turn into
// commands while a run waits.
bool DispatchWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            return false;
        }
        DispatchMessageW(&msg);
    }
    return true;
}

void SetMessagePump(MessagePump) {}  // the thread's own queue is pumped here

int32_t WaitWithMessages(NamedEvent* const* events, int32_t count, uint32_t timeoutMs) {
    if (!events || count < 1 || count >= MAXIMUM_WAIT_OBJECTS) {
        return kWaitFailed;
    }
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    for (int32_t i = 0; i < count; ++i) {
        if (!events[i] || !events[i]->impl() || !events[i]->impl()->handle) {
            return kWaitFailed;
        }
        handles[i] = events[i]->impl()->handle;
    }
    const DWORD n = static_cast<DWORD>(count);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (!DispatchWaitingMessages()) {
            return kWaitQuit;
        }
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            left = elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
        }
        const DWORD result = MsgWaitForMultipleObjects(n, handles, FALSE, left, kInputWakeMask);
        if (result < WAIT_OBJECT_0 + n) {
            return static_cast<int32_t>(result - WAIT_OBJECT_0);
        }
        if (result == WAIT_OBJECT_0 + n) {
            if (left == 0) {
                // Time is up and the queue is busy: one last look at the events, then stop,
                // so a steady stream of messages cannot hold the wait past its time-out.
                const DWORD last = WaitForMultipleObjects(n, handles, FALSE, 0);
                return last < WAIT_OBJECT_0 + n ? static_cast<int32_t>(last - WAIT_OBJECT_0)
                                                : kWaitTimeout;
            }
            continue;
        }
        if (result == WAIT_TIMEOUT) {
            return kWaitTimeout;
        }
        return kWaitFailed;
    }
}

int64_t PerformanceCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

int64_t PerformanceFrequency() {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
}

}  // namespace vel::platform
