// The Win32 functions the project calls. On Windows this is <windows.h>
// itself; elsewhere a small portable implementation (libkorwin32) stands in
// with the semantics the callers rely on.
#pragma once

#if defined(_WIN32)
#  include <windows.h>
#else

#include <cstdint>

#if defined(KORWIN32_BUILDING_LIBRARY)
#  define KORWIN32_API __attribute__((visibility("default")))
#else
#  define KORWIN32_API
#endif

typedef void* HWND;
typedef int BOOL;

extern "C" {

// A window handle while a desktop answers; none when a test said so.
KORWIN32_API HWND GetForegroundWindow(void);

// Test control, not part of Win32: whether GetForegroundWindow answers a window.
KORWIN32_API void korwin32SetForegroundWindowAvailable(BOOL available);

}  // extern "C"

#endif  // !_WIN32
