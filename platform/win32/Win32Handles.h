#pragma once
// What the Win32 backend keeps behind the platform classes: the kernel handles.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h renames GetProfileString to its ANSI or wide function; the profile service's own
// function of that name must keep it.
#undef GetProfileString

#include "platform/Platform.h"

namespace vel::platform {

struct NamedEvent::Impl {
    HANDLE handle = nullptr;
};

}  // namespace vel::platform
