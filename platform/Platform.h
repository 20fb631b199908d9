#pragma once
// Operating-system services of a processing run: worker threads, named auto-reset events, the
// message-pumping wait and the high-resolution counter. posix/ and win32/ implement them.

#include <cstdint>
#include <memory>
#include <string>

namespace vel::platform {

// An auto-reset event registered under a name: kernel object on Windows (shared by the
// user's processes), in-process registry on POSIX. Closed when destroyed.
class NamedEvent {
  public:
    // Creates the event, not signalled. Null when it cannot be created.
    static std::unique_ptr<NamedEvent> Create(const std::string& name);
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    void Set();
    // Waits up to timeoutMs for the event; true when it was signalled (and is now reset).
    bool Wait(uint32_t timeoutMs);

    struct Impl;
    Impl* impl() const { return impl_.get(); }

  private:
    explicit NamedEvent(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Opens the event by name with the right to change its state only, sets it and closes what
// it opened. False (and nothing done) when no event of that name exists.
bool SignalNamedEvent(const std::string& name);

// A worker thread created suspended: its entry runs only after Resume.
class WorkerThread {
  public:
    using Entry = void (*)(void* arg);
    WorkerThread();
    // Releases the handle; a thread still running goes on and ends by itself.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Normal priority, default stack. False when the thread cannot be created.
    bool CreateSuspended(Entry entry, void* arg);
    // False when the thread could not be started: its entry will never run.
    bool Resume();
    // Waits up to timeoutMs for the thread to end; true when it has ended.
    bool Join(uint32_t timeoutMs);
    bool Started() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr int32_t kWaitQuit = -1;      // a quit message was taken from the queue
inline constexpr int32_t kWaitTimeout = 258;  // the time-out ran out first

// Dispatches every waiting window message (no key translation, no dialog keyboard handling),
// then waits for one of the events or new input, and repeats on input. Returns the index of
// the signalled event, kWaitQuit, kWaitTimeout, or another negative code when the wait fails.
int32_t WaitWithMessages(NamedEvent* const* events, int32_t count, uint32_t timeoutMs);
inline int32_t WaitOne(NamedEvent* event, uint32_t timeoutMs) {
    return WaitWithMessages(&event, 1, timeoutMs);
}

// Dispatches every waiting window message as the wait does (Win32: straight to its window
// procedure; POSIX: through the installed pump, if any). False when a quit request was taken.
bool DispatchWaitingMessages();

// POSIX only: a window backend installs the function that dispatches its waiting events;
// it returns false when a quit request was taken. Without one the wait is a plain wait.
using MessagePump = bool (*)();
void SetMessagePump(MessagePump pump);

int64_t PerformanceCounter();
// This process's id.
unsigned long ProcessId();
int64_t PerformanceFrequency();

}  // namespace vel::platform
