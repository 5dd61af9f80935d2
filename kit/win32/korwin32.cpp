// Portable stand-in of the Win32 functions declared in korwin32.h.
#include "korwin32.h"

#include <atomic>

namespace {

// Any non-null value will do: the camera library only passes it on.
int desktopWindow;
std::atomic<bool> foregroundAvailable{true};

}  // namespace

extern "C" HWND GetForegroundWindow(void) { return foregroundAvailable ? &desktopWindow : nullptr; }

extern "C" void korwin32SetForegroundWindowAvailable(BOOL available) { foregroundAvailable = available != 0; }
