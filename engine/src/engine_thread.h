// The engine's own thread: the toolbox calls an adaptor's exports, its
// operations and its listeners from one thread of the engine, and adaptors
// rely on that (the property listener stops and restarts acquisition without
// a lock). Work from other threads is queued here and run in order.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace korimaq {

class EngineThread {
public:
    EngineThread();
    ~EngineThread();  // runs what is queued, then ends the thread
    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    bool isCurrent() const { return std::this_thread::get_id() == id_; }
    // Runs `work` here and waits for it; runs it at once when called here.
    void run(const std::function<void()>& work);
    // Queues `work` and returns at once. For the adaptor's threads, which
    // must not wait for the engine.
    void post(std::function<void()> work);
    // The thread rule: `what` was called from another thread. Aborts, naming it.
    void assertCurrent(const char* what) const;

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::function<void()>> queue_;
    std::uint64_t queued_ = 0;    // guarded by mutex_
    std::uint64_t finished_ = 0;  // guarded by mutex_
    bool quit_ = false;
    std::thread thread_;
    std::thread::id id_;
};

}  // namespace korimaq
