// POSIX stand-in for kernel named events: a registry of auto-reset events within the process.
// Events with the same name share one state while any handle to it is open, as on Windows.

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/Platform.h"

namespace vel::platform {

struct EventState {
    std::mutex mutex;
    std::condition_variable cv;
    bool signalled = false;
};

struct NamedEvent::Impl {
    std::string name;
    std::shared_ptr<EventState> state;
};

namespace {

std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::weak_ptr<EventState>>& Registry() {
    static std::map<std::string, std::weak_ptr<EventState>> r;
    return r;
}

void SetState(EventState& state) {
    {
        std::lock_guard lock(state.mutex);
        state.signalled = true;
    }
    state.cv.notify_one();
}

}  // namespace

NamedEvent::NamedEvent(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

NamedEvent::~NamedEvent() {
    std::lock_guard lock(RegistryMutex());
    impl_->state.reset();
    auto& registry = Registry();
    auto it = registry.find(impl_->name);
    if (it != registry.end() && it->second.expired()) {
        registry.erase(it);
    }
}

std::unique_ptr<NamedEvent> NamedEvent::Create(const std::string& name) {
    // Everything that may run out of memory comes before the registry changes, so that a
    // failure leaves it as it was; the event's own destructor takes the registry's lock.
    auto impl = std::make_unique<Impl>();
    impl->name = name;
    auto fresh = std::make_shared<EventState>();
    std::unique_ptr<NamedEvent> event(new NamedEvent(std::move(impl)));
    std::lock_guard lock(RegistryMutex());
    auto& registry = Registry();
    const auto found = registry.find(name);
    std::shared_ptr<EventState> shared = found != registry.end() ? found->second.lock() : nullptr;
    if (!shared) {
        registry.insert_or_assign(name, fresh);
        shared = std::move(fresh);
    }
    event->impl_->state = std::move(shared);
    return event;
}

void NamedEvent::Set() {
    SetState(*impl_->state);
}

bool NamedEvent::Wait(uint32_t timeoutMs) {
    EventState& state = *impl_->state;
    std::unique_lock lock(state.mutex);
    if (!state.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return state.signalled; })) {
        return false;
    }
    state.signalled = false;  // auto-reset: one wait consumes one signal
    return true;
}

bool SignalNamedEvent(const std::string& name) {
    std::shared_ptr<EventState> state;
    {
        std::lock_guard lock(RegistryMutex());
        auto it = Registry().find(name);
        if (it != Registry().end()) {
            state = it->second.lock();
        }
    }
    if (!state) {
        return false;
    }
    SetState(*state);
    return true;
}

}  // namespace vel::platform
