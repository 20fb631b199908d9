#pragma once
// What the Win32 backend keeps behind the platform classes: the kernel handles.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/Platform.h"

namespace vel::platform {

struct NamedEvent::Impl {
    HANDLE handle = nullptr;
};

}  // namespace vel::platform
