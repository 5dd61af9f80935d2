// Portable stand-in of the Win32 functions declared in korwin32.h.
#include "korwin32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace {

// Windows refuses further posts once this many messages wait in one queue.
constexpr std::size_t kPostedMessageLimit = 10000;

const HANDLE kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

thread_local DWORD lastError = ERROR_SUCCESS;

template <typename Result>
Result fail(DWORD code, Result result) {
    lastError = code;
    return result;
}

DWORD tickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

struct MessageQueue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<MSG> messages;
    bool withdrawn = false;  // its thread has ended: posts fail from now on
};

struct ThreadObject {
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
    // What the thread asked for with SetThreadPriority; the scheduling itself
    // is left to the system, but GetThreadPriority answers it as Windows does.
    std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
    // Set before the handle is published and used only by CloseHandle.
    std::thread thread;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
    std::unordered_map<HANDLE, std::shared_ptr<ThreadObject>> threads;
};

// Never destroyed: a thread whose handle was closed before it ended may still
// withdraw its queue while static objects are being destroyed at exit.
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

DWORD newThreadId() {
    static std::atomic<DWORD> next{1};
    DWORD id;
    do {
        id = next.fetch_add(1);
    } while (id == 0);
    return id;
}

struct CurrentThread {
    DWORD id = 0;
    std::shared_ptr<MessageQueue> queue;
    std::shared_ptr<ThreadObject> object;   // threads of CreateThread
    int priority = THREAD_PRIORITY_NORMAL;  // other threads

    ~CurrentThread() { withdrawQueue(); }

    DWORD threadId() {
        if (id == 0) id = newThreadId();
        return id;
    }

    void withdrawQueue() {
        if (!queue) return;
        {
            Registry& all = registry();
            std::lock_guard<std::mutex> lock(all.mutex);
            all.queues.erase(id);
        }
        std::lock_guard<std::mutex> lock(queue->mutex);
        queue->withdrawn = true;
        queue->messages.clear();
    }
};

thread_local CurrentThread currentThread;

std::shared_ptr<ThreadObject> findThread(HANDLE handle) {
    Registry& all = registry();
    std::lock_guard<std::mutex> lock(all.mutex);
    auto found = all.threads.find(handle);
    return found == all.threads.end() ? nullptr : found->second;
}

void runThread(std::shared_ptr<ThreadObject> object, DWORD id, LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
    currentThread.id = id;
    currentThread.object = object;
    routine(parameter);
    // The queue goes before the handle is signalled, so that once a wait on the
    // thread has succeeded, posts to it fail as they do for an ended Windows thread.
    currentThread.withdrawQueue();
    {
        std::lock_guard<std::mutex> lock(object->mutex);
        object->ended = true;
    }
    object->endedSignal.notify_all();
}

bool isThreadPriority(int priority) {
    switch (priority) {
        case THREAD_PRIORITY_IDLE:
        case THREAD_PRIORITY_LOWEST:
        case THREAD_PRIORITY_BELOW_NORMAL:
        case THREAD_PRIORITY_NORMAL:
        case THREAD_PRIORITY_ABOVE_NORMAL:
        case THREAD_PRIORITY_HIGHEST:
        case THREAD_PRIORITY_TIME_CRITICAL: return true;
        default: return false;
    }
}

bool passesFilter(UINT message, UINT filterMin, UINT filterMax) {
    if (message == WM_QUIT) return true;
    if (filterMin == 0 && filterMax == 0) return true;
    return message >= filterMin && message <= filterMax;
}

// Desktop stand-in. Any non-null value will do: the camera library only passes it on.
int desktopWindow;
std::atomic<bool> foregroundAvailable{true};

}  // namespace

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                                      LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr || (dwCreationFlags & ~DWORD{STACK_SIZE_PARAM_IS_A_RESERVATION}) != 0)
        return fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    Registry& all = registry();
    std::shared_ptr<ThreadObject> object;
    HANDLE handle = nullptr;
    try {
        object = std::make_shared<ThreadObject>();
        handle = object.get();
        // Reserved empty, so that publishing the started thread cannot fail.
        std::lock_guard<std::mutex> lock(all.mutex);
        all.threads.emplace(handle, nullptr);
    } catch (const std::bad_alloc&) {
        return fail<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    const DWORD id = newThreadId();
    try {
        object->thread = std::thread(runThread, object, id, lpStartAddress, lpParameter);
    } catch (const std::exception&) {
        std::lock_guard<std::mutex> lock(all.mutex);
        all.threads.erase(handle);
        return fail<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    {
        std::lock_guard<std::mutex> lock(all.mutex);
        all.threads.find(handle)->second = std::move(object);
    }
    if (lpThreadId != nullptr) *lpThreadId = id;
    return handle;
}

extern "C" BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    std::shared_ptr<ThreadObject> object =
        hThread == kCurrentThreadPseudoHandle ? currentThread.object : findThread(hThread);
    if (hThread != kCurrentThreadPseudoHandle && !object) return fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (!isThreadPriority(nPriority)) return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (object)
        object->priority = nPriority;
    else
        currentThread.priority = nPriority;
    return TRUE;
}

extern "C" int WINAPI GetThreadPriority(HANDLE hThread) {
    std::shared_ptr<ThreadObject> object =
        hThread == kCurrentThreadPseudoHandle ? currentThread.object : findThread(hThread);
    if (hThread != kCurrentThreadPseudoHandle && !object)
        return fail<int>(ERROR_INVALID_HANDLE, THREAD_PRIORITY_ERROR_RETURN);
    return object ? object->priority.load() : currentThread.priority;
}

extern "C" HANDLE WINAPI GetCurrentThread(void) { return kCurrentThreadPseudoHandle; }

extern "C" DWORD WINAPI GetCurrentThreadId(void) { return currentThread.threadId(); }

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    if (hHandle == kCurrentThreadPseudoHandle) {
        // The calling thread cannot end while it waits for itself.
        if (dwMilliseconds == INFINITE) return fail<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
        Sleep(dwMilliseconds);
        return WAIT_TIMEOUT;
    }
    std::shared_ptr<ThreadObject> object = findThread(hHandle);
    if (!object) return fail<DWORD>(ERROR_INVALID_HANDLE, WAIT_FAILED);
    std::unique_lock<std::mutex> lock(object->mutex);
    const auto ended = [&] { return object->ended; };
    if (dwMilliseconds == INFINITE)
        object->endedSignal.wait(lock, ended);
    else
        object->endedSignal.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), ended);
    return object->ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == kCurrentThreadPseudoHandle) return TRUE;
    std::shared_ptr<ThreadObject> object;
    {
        Registry& all = registry();
        std::lock_guard<std::mutex> lock(all.mutex);
        auto found = all.threads.find(hObject);
        if (found == all.threads.end() || !found->second) return fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
        object = std::move(found->second);
        all.threads.erase(found);
    }
    bool ended;
    {
        std::lock_guard<std::mutex> lock(object->mutex);
        ended = object->ended;
    }
    // An ended thread is only returning from runThread: joining it is quick
    // and leaves nothing behind. One that still runs goes on by itself.
    if (ended && object->thread.get_id() != std::this_thread::get_id())
        object->thread.join();
    else
        object->thread.detach();
    return TRUE;
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

extern "C" BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) return fail<BOOL>(ERROR_INVALID_PARAMETER, -1);
    if (hWnd != nullptr) return fail<BOOL>(ERROR_INVALID_WINDOW_HANDLE, -1);
    if (!currentThread.queue) {
        try {
            auto queue = std::make_shared<MessageQueue>();
            Registry& all = registry();
            std::lock_guard<std::mutex> lock(all.mutex);
            all.queues.emplace(currentThread.threadId(), queue);
            currentThread.queue = std::move(queue);
        } catch (const std::bad_alloc&) {
            return fail<BOOL>(ERROR_NOT_ENOUGH_MEMORY, -1);
        }
    }
    MessageQueue& queue = *currentThread.queue;
    std::unique_lock<std::mutex> lock(queue.mutex);
    for (;;) {
        auto next = std::find_if(queue.messages.begin(), queue.messages.end(), [&](const MSG& message) {
            return passesFilter(message.message, wMsgFilterMin, wMsgFilterMax);
        });
        if (next != queue.messages.end()) {
            *lpMsg = *next;
            queue.messages.erase(next);
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        }
        queue.arrived.wait(lock);
    }
}

extern "C" BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<MessageQueue> queue;
    {
        Registry& all = registry();
        std::lock_guard<std::mutex> lock(all.mutex);
        auto found = all.queues.find(idThread);
        if (found != all.queues.end()) queue = found->second;
    }
    if (!queue) return fail<BOOL>(ERROR_INVALID_THREAD_ID, FALSE);
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        if (queue->withdrawn) return fail<BOOL>(ERROR_INVALID_THREAD_ID, FALSE);
        if (queue->messages.size() >= kPostedMessageLimit) return fail<BOOL>(ERROR_NOT_ENOUGH_QUOTA, FALSE);
        try {
            queue->messages.push_back(MSG{nullptr, Msg, wParam, lParam, tickCount(), POINT{0, 0}});
        } catch (const std::bad_alloc&) {
            return fail<BOOL>(ERROR_NOT_ENOUGH_MEMORY, FALSE);
        }
    }
    queue->arrived.notify_all();
    return TRUE;
}

extern "C" DWORD WINAPI GetLastError(void) { return lastError; }

extern "C" HWND WINAPI GetForegroundWindow(void) { return foregroundAvailable ? &desktopWindow : nullptr; }

extern "C" void korwin32SetForegroundWindowAvailable(BOOL available) { foregroundAvailable = available != 0; }
