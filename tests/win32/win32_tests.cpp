// The thread, wait and thread-message behaviour the acquisition adaptor relies
// on. The same tests run against the portable layer on Linux and against the
// real Win32 functions under wine, so both must agree.
#include "korwin32.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <vector>

namespace {

DWORD WINAPI runOwnedBody(LPVOID parameter) {
    std::unique_ptr<std::function<DWORD()>> body(static_cast<std::function<DWORD()>*>(parameter));
    return (*body)();
}

// A Win32 thread running a function it owns. The destructor ends a thread that
// is still in its message loop, so a failed assertion cannot leave one behind.
class Win32Thread {
public:
    explicit Win32Thread(std::function<DWORD()> body) {
        auto owned = std::make_unique<std::function<DWORD()>>(std::move(body));
        handle_ = CreateThread(nullptr, 0, runOwnedBody, owned.get(), 0, &id_);
        if (handle_ != nullptr) owned.release();
    }
    ~Win32Thread() {
        if (handle_ == nullptr) return;
        while (WaitForSingleObject(handle_, 10) == WAIT_TIMEOUT) PostThreadMessageA(id_, WM_QUIT, 0, 0);
        CloseHandle(handle_);
    }
    Win32Thread(const Win32Thread&) = delete;
    Win32Thread& operator=(const Win32Thread&) = delete;

    HANDLE handle() const { return handle_; }
    DWORD id() const { return id_; }

    // Waits for the end of the thread and closes its handle; the wait's result.
    DWORD join() {
        const DWORD result = WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
        return result;
    }

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// What a message loop saw; read after the thread has been waited for.
struct Inbox {
    std::vector<MSG> messages;
    BOOL lastResult = 99;
    MSG last{};
};

DWORD messageLoop(Inbox& inbox, UINT filterMin = 0, UINT filterMax = 0) {
    while ((inbox.lastResult = GetMessageA(&inbox.last, nullptr, filterMin, filterMax)) > 0)
        inbox.messages.push_back(inbox.last);
    return 0;
}

// As the adaptor's openDevice does: retries until the thread has a message queue.
void postWhenReady(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    while (!PostThreadMessageA(threadId, message, wParam, lParam)) Sleep(1);
}

TEST(ThreadMessages, PostFailsUntilTheThreadHasAskedForAMessage) {
    auto mayGetMessages = std::make_shared<std::promise<void>>();
    auto inbox = std::make_shared<Inbox>();
    Win32Thread thread([=] {
        mayGetMessages->get_future().wait();
        return messageLoop(*inbox);
    });
    ASSERT_NE(thread.handle(), nullptr);
    ASSERT_NE(thread.id(), 0u);

    EXPECT_FALSE(PostThreadMessageA(thread.id(), WM_USER, 1, 2));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_THREAD_ID});
    mayGetMessages->set_value();
    postWhenReady(thread.id(), WM_USER + 1, 3, 4);
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_QUIT, 0, 0));
    ASSERT_EQ(thread.join(), WAIT_OBJECT_0);

    ASSERT_EQ(inbox->messages.size(), 1u);
    EXPECT_EQ(inbox->messages[0].message, UINT{WM_USER + 1});
    EXPECT_EQ(inbox->messages[0].wParam, WPARAM{3});
    EXPECT_EQ(inbox->messages[0].lParam, LPARAM{4});
    EXPECT_EQ(inbox->messages[0].hwnd, nullptr);
}

TEST(ThreadMessages, ArriveInOrderUntilQuitEndsGetMessageWithZero) {
    auto inbox = std::make_shared<Inbox>();
    Win32Thread thread([=] { return messageLoop(*inbox); });
    // Application codes only: Windows refuses to post system messages that carry pointers.
    const UINT codes[] = {WM_USER, WM_USER + 1, 0x8000, 0xBFFF, WM_USER};
    const int count = 2000;
    postWhenReady(thread.id(), WM_USER + 2, 0, 0);
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(PostThreadMessageA(thread.id(), codes[i % 5], static_cast<WPARAM>(i), -static_cast<LPARAM>(i)));
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_QUIT, 42, 0));
    // Behind the quit: never read.
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_USER, 43, 0));
    ASSERT_EQ(thread.join(), WAIT_OBJECT_0);

    EXPECT_EQ(inbox->lastResult, 0);
    EXPECT_EQ(inbox->last.message, UINT{WM_QUIT});
    EXPECT_EQ(inbox->last.wParam, WPARAM{42});
    ASSERT_EQ(inbox->messages.size(), static_cast<size_t>(count) + 1);
    for (int i = 0; i < count; ++i) {
        const MSG& message = inbox->messages[i + 1];
        ASSERT_EQ(message.message, codes[i % 5]) << "message " << i;
        ASSERT_EQ(message.wParam, static_cast<WPARAM>(i)) << "message " << i;
        ASSERT_EQ(message.lParam, -static_cast<LPARAM>(i)) << "message " << i;
    }
}

TEST(ThreadMessages, PostToAnEndedThreadFails) {
    auto inbox = std::make_shared<Inbox>();
    Win32Thread thread([=] { return messageLoop(*inbox); });
    const DWORD id = thread.id();
    postWhenReady(id, WM_QUIT, 0, 0);
    ASSERT_EQ(thread.join(), WAIT_OBJECT_0);
    // wine reports ERROR_INVALID_PARAMETER here, the portable layer ERROR_INVALID_THREAD_ID.
    EXPECT_FALSE(PostThreadMessageA(id, WM_USER, 0, 0));
}

TEST(ThreadMessages, FilterTakesMatchingMessagesFirst) {
    auto inbox = std::make_shared<Inbox>();
    auto queued = std::make_shared<std::promise<void>>();
    auto filtered = std::make_shared<MSG>();
    Win32Thread thread([=] {
        MSG start;
        GetMessageA(&start, nullptr, 0, 0);
        queued->get_future().wait();
        GetMessageA(filtered.get(), nullptr, WM_USER + 1, WM_USER + 2);
        return messageLoop(*inbox);
    });
    postWhenReady(thread.id(), WM_USER + 9, 0, 0);
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_USER, 1, 0));
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_USER + 3, 2, 0));
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_USER + 2, 3, 0));
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_QUIT, 4, 0));
    queued->set_value();
    ASSERT_EQ(thread.join(), WAIT_OBJECT_0);

    EXPECT_EQ(filtered->wParam, WPARAM{3});
    ASSERT_EQ(inbox->messages.size(), 2u);
    EXPECT_EQ(inbox->messages[0].wParam, WPARAM{1});
    EXPECT_EQ(inbox->messages[1].wParam, WPARAM{2});
    EXPECT_EQ(inbox->lastResult, 0);
}

TEST(ThreadMessages, ConcurrentSendersKeepTheirOwnOrder) {
    auto inbox = std::make_shared<Inbox>();
    Win32Thread receiver([=] { return messageLoop(*inbox); });
    postWhenReady(receiver.id(), WM_USER + 2, 0, 0);
    const int senders = 4;
    const int perSender = 500;
    std::vector<std::unique_ptr<Win32Thread>> sending;
    for (int s = 0; s < senders; ++s) {
        const DWORD to = receiver.id();
        sending.push_back(std::make_unique<Win32Thread>([=] {
            for (int i = 0; i < perSender; ++i) postWhenReady(to, WM_USER, static_cast<WPARAM>(s), i);
            return DWORD{0};
        }));
    }
    for (auto& sender : sending) ASSERT_EQ(sender->join(), WAIT_OBJECT_0);
    ASSERT_TRUE(PostThreadMessageA(receiver.id(), WM_QUIT, 0, 0));
    ASSERT_EQ(receiver.join(), WAIT_OBJECT_0);

    std::vector<LPARAM> nextFrom(senders, 0);
    ASSERT_EQ(inbox->messages.size(), static_cast<size_t>(senders * perSender) + 1);
    for (size_t m = 1; m < inbox->messages.size(); ++m) {
        const MSG& message = inbox->messages[m];
        ASSERT_LT(message.wParam, static_cast<WPARAM>(senders));
        ASSERT_EQ(message.lParam, nextFrom[message.wParam]++) << "sender " << message.wParam;
    }
}

// Every worker doubles what it gets and answers the main thread's own queue.
TEST(ThreadMessages, ManyThreadsAnswerTheMainThread) {
    const int workers = 16;
    const int perWorker = 50;
    const DWORD mainThread = GetCurrentThreadId();
    std::vector<std::unique_ptr<Win32Thread>> threads;
    for (int w = 0; w < workers; ++w) {
        threads.push_back(std::make_unique<Win32Thread>([=] {
            MSG message;
            while (GetMessageA(&message, nullptr, 0, 0) > 0)
                postWhenReady(mainThread, WM_USER + 1, message.wParam * 2, w);
            return DWORD{0};
        }));
    }
    for (int w = 0; w < workers; ++w)
        for (int i = 0; i < perWorker; ++i) postWhenReady(threads[w]->id(), WM_USER, static_cast<WPARAM>(i), 0);

    std::vector<WPARAM> sumFrom(workers, 0);
    for (int answers = 0; answers < workers * perWorker; ++answers) {
        MSG answer;
        ASSERT_GT(GetMessageA(&answer, nullptr, 0, 0), 0);
        ASSERT_EQ(answer.message, UINT{WM_USER + 1});
        ASSERT_GE(answer.lParam, 0);
        ASSERT_LT(answer.lParam, workers);
        sumFrom[answer.lParam] += answer.wParam;
    }
    for (auto& thread : threads) {
        ASSERT_TRUE(PostThreadMessageA(thread->id(), WM_QUIT, 0, 0));
        ASSERT_EQ(thread->join(), WAIT_OBJECT_0);
    }
    for (int w = 0; w < workers; ++w) EXPECT_EQ(sumFrom[w], WPARAM{perWorker * (perWorker - 1)}) << "worker " << w;
}

TEST(ThreadHandles, WaitTimesOutWhileTheThreadRunsAndSucceedsOnceItEnded) {
    auto mayEnd = std::make_shared<std::promise<void>>();
    Win32Thread thread([=] {
        mayEnd->get_future().wait();
        return DWORD{0};
    });
    EXPECT_EQ(WaitForSingleObject(thread.handle(), 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(thread.handle(), 20), WAIT_TIMEOUT);
    mayEnd->set_value();
    EXPECT_EQ(WaitForSingleObject(thread.handle(), INFINITE), WAIT_OBJECT_0);
    // An ended thread stays signalled.
    EXPECT_EQ(WaitForSingleObject(thread.handle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread.handle(), 10000), WAIT_OBJECT_0);
}

TEST(ThreadHandles, ClosingTheHandleOfARunningThreadLetsItFinish) {
    auto mayEnd = std::make_shared<std::promise<void>>();
    auto finished = std::make_shared<std::promise<void>>();
    auto routine = std::make_unique<std::function<DWORD()>>([=] {
        mayEnd->get_future().wait();
        finished->set_value();
        return DWORD{0};
    });
    HANDLE handle = CreateThread(nullptr, 0, runOwnedBody, routine.get(), 0, nullptr);
    ASSERT_NE(handle, nullptr);
    routine.release();
    EXPECT_TRUE(CloseHandle(handle));
    mayEnd->set_value();
    finished->get_future().wait();
}

TEST(ThreadHandles, ThreadsRaiseTheirOwnPriorityThroughThePseudoHandle) {
    auto seen = std::make_shared<std::promise<std::pair<HANDLE, BOOL>>>();
    auto ownId = std::make_shared<DWORD>(0);
    auto before = std::make_shared<int>(-1);
    auto after = std::make_shared<int>(-1);
    auto release = std::make_shared<std::promise<void>>();
    Win32Thread thread([=] {
        *ownId = GetCurrentThreadId();
        *before = GetThreadPriority(GetCurrentThread());
        const BOOL set = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        *after = GetThreadPriority(GetCurrentThread());
        seen->set_value({GetCurrentThread(), set});
        release->get_future().wait();
        return DWORD{0};
    });
    const auto result = seen->get_future().get();
    EXPECT_EQ(result.first, reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)));
    EXPECT_TRUE(result.second);
    EXPECT_EQ(*before, THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(*after, THREAD_PRIORITY_TIME_CRITICAL);
    // Answered through the thread's own handle too, from another thread.
    EXPECT_EQ(GetThreadPriority(thread.handle()), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    release->set_value();
    EXPECT_TRUE(SetThreadPriority(thread.handle(), THREAD_PRIORITY_NORMAL));
    EXPECT_FALSE(SetThreadPriority(thread.handle(), 7));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    ASSERT_EQ(thread.join(), WAIT_OBJECT_0);
    EXPECT_EQ(*ownId, thread.id());
    EXPECT_NE(GetCurrentThreadId(), thread.id());
}

TEST(ThreadHandles, ClosedAndNullHandlesAreRefused) {
    HANDLE closed;
    {
        Win32Thread thread([] { return DWORD{0}; });
        closed = thread.handle();
        ASSERT_EQ(thread.join(), WAIT_OBJECT_0);
    }
    for (HANDLE handle : {closed, HANDLE{nullptr}}) {
        EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_FALSE(SetThreadPriority(handle, THREAD_PRIORITY_NORMAL));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    }
}

#if !defined(_WIN32)
// Calls that would crash or hang a Windows process fail cleanly here.
TEST(PortableLayer, RefusesWhatWindowsWouldCrashOrHangOn) {
    MSG message;
    int window;
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(GetMessageA(&message, &window, 0, 0), -1);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    const DWORD createSuspended = 0x4;
    EXPECT_EQ(CreateThread(nullptr, 0, runOwnedBody, nullptr, createSuspended, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 1), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
}

// As on Windows, a queue nobody reads stops growing at 10000 messages
// (wine 8 has no such limit, hence tested here only).
TEST(PortableLayer, QueueRefusesPostsBeyondTenThousandWaiting) {
    auto mayRead = std::make_shared<std::promise<void>>();
    auto inbox = std::make_shared<Inbox>();
    Win32Thread thread([=] {
        MSG start;
        GetMessageA(&start, nullptr, 0, 0);
        mayRead->get_future().wait();
        return messageLoop(*inbox);
    });
    postWhenReady(thread.id(), WM_USER + 9, 0, 0);
    // The start message may still wait: fill up to the limit whatever it is.
    int accepted = 0;
    while (accepted <= 10000 && PostThreadMessageA(thread.id(), WM_USER, 0, 0)) ++accepted;
    EXPECT_GE(accepted, 9999);
    EXPECT_LE(accepted, 10000);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_QUOTA});
    mayRead->set_value();
    postWhenReady(thread.id(), WM_QUIT, 0, 0);
    ASSERT_EQ(thread.join(), WAIT_OBJECT_0);
    EXPECT_EQ(inbox->messages.size(), static_cast<size_t>(accepted));
}

// Windows takes WM_QUIT whatever the filter (wine 8 does not).
TEST(PortableLayer, QuitPassesAnyFilter) {
    auto inbox = std::make_shared<Inbox>();
    Win32Thread thread([=] { return messageLoop(*inbox, WM_USER + 1, WM_USER + 1); });
    postWhenReady(thread.id(), WM_USER, 1, 0);
    ASSERT_TRUE(PostThreadMessageA(thread.id(), WM_QUIT, 2, 0));
    ASSERT_EQ(thread.join(), WAIT_OBJECT_0);
    EXPECT_TRUE(inbox->messages.empty());
    EXPECT_EQ(inbox->lastResult, 0);
    EXPECT_EQ(inbox->last.wParam, WPARAM{2});
}
#endif

}  // namespace
