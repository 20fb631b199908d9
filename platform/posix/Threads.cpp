// POSIX worker threads behind the suspended-start interface: the thread exists at once but
// waits at a gate until Resume. Its shared state outlives the handle, so a thread that is no
// longer waited for can end by itself.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include <unistd.h>

#include "platform/Platform.h"

namespace vel::platform {

namespace {

struct ThreadState {
    std::mutex mutex;
    std::condition_variable cv;
    bool resumed = false;
    bool abandoned = false;  // handle released before Resume: never run the entry
    bool finished = false;
};

}  // namespace

struct WorkerThread::Impl {
    std::thread thread;
    std::shared_ptr<ThreadState> state;
};

WorkerThread::WorkerThread() : impl_(std::make_unique<Impl>()) {}

WorkerThread::~WorkerThread() {
    if (!impl_->thread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(impl_->state->mutex);
        if (!impl_->state->resumed) {
            impl_->state->abandoned = true;
        }
    }
    impl_->state->cv.notify_all();
    impl_->thread.detach();
}

bool WorkerThread::CreateSuspended(Entry entry, void* arg) {
    if (impl_->thread.joinable() || !entry) {
        return false;
    }
    auto state = std::make_shared<ThreadState>();
    try {
        impl_->thread = std::thread([state, entry, arg] {
            {
                std::unique_lock lock(state->mutex);
                state->cv.wait(lock, [&] { return state->resumed || state->abandoned; });
                if (state->abandoned) {
                    return;
                }
            }
            entry(arg);
            {
                std::lock_guard lock(state->mutex);
                state->finished = true;
            }
            state->cv.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    impl_->state = std::move(state);
    return true;
}

bool WorkerThread::Resume() {
    if (!impl_->state) {
        return false;
    }
    {
        std::lock_guard lock(impl_->state->mutex);
        impl_->state->resumed = true;
    }
    impl_->state->cv.notify_all();
    return true;
}

bool WorkerThread::Join(uint32_t timeoutMs) {
    if (!impl_->thread.joinable()) {
        return true;
    }
    {
        std::unique_lock lock(impl_->state->mutex);
        if (!impl_->state->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [&] { return impl_->state->finished; })) {
            return false;
        }
    }
    impl_->thread.join();
    return true;
}

bool WorkerThread::Started() const {
    return impl_->thread.joinable();
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}

}  // namespace vel::platform
