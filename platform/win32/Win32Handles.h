#pragma once
// What the Win32 backend keeps behind the platform classes: the kernel handles.

#include "platform/win32/WinApi.h"

#include "platform/Platform.h"

namespace vel::platform {

struct NamedEvent::Impl {
    HANDLE handle = nullptr;
};

}  // namespace vel::platform
