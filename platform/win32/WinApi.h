#pragma once
// The one way into <windows.h>: lean, without the min/max macros, and without the
// character-set macros that would rename the project's own functions of the same names.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef DrawText
#undef GetProfileString
#undef GetWindowText
#undef LoadString
#undef PostMessage
#undef SetWindowText
