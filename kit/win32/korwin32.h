// The Win32 functions the project calls. On Windows this is <windows.h>
// itself; elsewhere a small portable implementation (libkorwin32) stands in
// with the semantics the callers rely on:
// - a thread's message queue exists only from its first GetMessageA, so
//   PostThreadMessageA to a thread that has not asked for a message yet fails
//   (ERROR_INVALID_THREAD_ID), as it does on Windows;
// - GetMessageA returns 0 for WM_QUIT, -1 on bad arguments, above 0 otherwise;
// - a thread handle becomes signalled when its routine has returned, and
//   waits on it time out;
// - CloseHandle on a thread that still runs lets it run on.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// No GDI: the project draws nothing, and wingdi.h defines macros such as ERROR.
#ifndef NOGDI
#define NOGDI
#endif
#include <windows.h>
#else

#include <cstddef>
#include <cstdint>

#if defined(KORWIN32_BUILDING_LIBRARY)
#define KORWIN32_API __attribute__((visibility("default")))
#else
#define KORWIN32_API
#endif

// Calling convention of callbacks and API functions; only 32-bit Windows has one.
#define WINAPI

typedef int BOOL;
typedef unsigned int UINT;
typedef std::uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef std::size_t SIZE_T;
typedef void* LPVOID;
typedef void* HANDLE;
typedef void* HWND;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct POINT {
    std::int32_t x;
    std::int32_t y;
};

struct MSG {
    HWND hwnd;  // always null here: there are only thread messages
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // milliseconds on a monotonic clock when the message was posted
    POINT pt;    // always 0, 0: there is no cursor
};
typedef MSG* LPMSG;

// Accepted and ignored: threads get the default security.
struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

#define WM_QUIT 0x0012
#define WM_USER 0x0400

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// Creation flag: the stack size is a reservation. Accepted; stack sizes are ignored.
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

#define ERROR_SUCCESS 0
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_INVALID_THREAD_ID 1444
#define ERROR_NOT_ENOUGH_QUOTA 1816

extern "C" {

// Starts lpStartAddress(lpParameter) on a new thread. Only the flags 0 and
// STACK_SIZE_PARAM_IS_A_RESERVATION are supported (no CREATE_SUSPENDED).
// Returns a handle to wait on and close, or null with GetLastError set.
KORWIN32_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                        LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                        DWORD dwCreationFlags, LPDWORD lpThreadId);

// Checks the handle and the priority value and records the priority;
// scheduling is left to the system.
KORWIN32_API BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority);

// The priority the thread last set (THREAD_PRIORITY_NORMAL until then), or
// THREAD_PRIORITY_ERROR_RETURN with GetLastError set for an unknown handle.
KORWIN32_API int WINAPI GetThreadPriority(HANDLE hThread);

// The pseudo handle (HANDLE)-2 that means "the calling thread"; needs no CloseHandle.
KORWIN32_API HANDLE WINAPI GetCurrentThread(void);

// Non-zero and never reused within the process.
KORWIN32_API DWORD WINAPI GetCurrentThreadId(void);

// WAIT_OBJECT_0 once the thread has ended, WAIT_TIMEOUT after dwMilliseconds,
// WAIT_FAILED for a handle that is not open (or for an endless wait on the
// calling thread itself, which could never end).
KORWIN32_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// Releases a thread handle; the thread itself runs on if it has not ended.
KORWIN32_API BOOL WINAPI CloseHandle(HANDLE hObject);

KORWIN32_API void WINAPI Sleep(DWORD dwMilliseconds);

// Creates the calling thread's message queue on first use, then waits for a
// thread message in [wMsgFilterMin, wMsgFilterMax] (0, 0: any); WM_QUIT is
// taken whatever the filter. Returns 0 for WM_QUIT, -1 for a null lpMsg or
// a window handle (there are no windows), the message otherwise.
KORWIN32_API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);

// Queues a message for the thread idThread. Fails with ERROR_INVALID_THREAD_ID
// while that thread has no message queue (it has not called GetMessageA yet,
// or it has ended), and with ERROR_NOT_ENOUGH_QUOTA when 10000 messages wait.
KORWIN32_API BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);

// The calling thread's last error code, set by the failing calls above.
KORWIN32_API DWORD WINAPI GetLastError(void);

// A window handle while a desktop answers; none when a test said so.
KORWIN32_API HWND WINAPI GetForegroundWindow(void);

// Test control, not part of Win32: whether GetForegroundWindow answers a window.
KORWIN32_API void korwin32SetForegroundWindowAvailable(BOOL available);

}  // extern "C"

#endif  // !_WIN32
