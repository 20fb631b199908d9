#pragma once
// The window handle behind a framework window, for tests and tools on Windows.

#include "platform/win32/WinApi.h"

#include "framework/Wnd.h"

namespace vel::fw::win32 {

// Null when the object has no window.
HWND HwndOf(const CWnd& wnd);

}  // namespace vel::fw::win32
