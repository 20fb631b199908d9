// Named auto-reset events as kernel objects: shared by every process of the user's logon
// that uses the same name.

#include "platform/win32/Win32Handles.h"

namespace vel::platform {

NamedEvent::NamedEvent(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

NamedEvent::~NamedEvent() {
    if (impl_ && impl_->handle) {
        CloseHandle(impl_->handle);
    }
}

std::unique_ptr<NamedEvent> NamedEvent::Create(const std::string& name) {
    // Auto-reset, not signalled. An event of that name that exists already is opened as it is.
    HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    if (!handle) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->handle = handle;
    return std::unique_ptr<NamedEvent>(new NamedEvent(std::move(impl)));
}

void NamedEvent::Set() {
    SetEvent(impl_->handle);
}

bool NamedEvent::Wait(uint32_t timeoutMs) {
    return WaitForSingleObject(impl_->handle, timeoutMs) == WAIT_OBJECT_0;
}

bool SignalNamedEvent(const std::string& name) {
    HANDLE handle = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (!handle) {
        return false;
    }
    const bool set = SetEvent(handle) != FALSE;
    CloseHandle(handle);
    return set;
}

}  // namespace vel::platform
