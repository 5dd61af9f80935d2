// The engine's own thread.
#include "engine_thread.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace korimaq {

EngineThread::EngineThread() {
    std::unique_lock<std::mutex> lock(mutex_);
    thread_ = std::thread([this] { loop(); });
    id_ = thread_.get_id();
}

EngineThread::~EngineThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void EngineThread::run(const std::function<void()>& work) {
    if (isCurrent()) {
        work();
        return;
    }
    // An exception (an adaptor's constructor may throw) goes back to the caller.
    std::exception_ptr failure;
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    const std::uint64_t ticket = ++queued_;
    wake_.notify_one();
    done_.wait(lock, [&] { return finished_ >= ticket; });
    lock.unlock();
    if (failure) std::rethrow_exception(failure);
}

void EngineThread::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
        ++queued_;
    }
    wake_.notify_one();
}

void EngineThread::assertCurrent(const char* what) const {
    if (isCurrent()) return;
    std::fprintf(stderr, "korimaq: %s called from a thread other than the engine's\n", what);
    std::fflush(stderr);
    std::abort();
}

void EngineThread::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    // The constructor holds the lock until id_ is set.
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
        if (queue_.empty()) return;
        std::function<void()> work = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        // Posted work has no caller to take an exception back to (work from
        // run catches its own): one that failed is given up, the thread goes on.
        try {
            work();
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "korimaq: work on the engine's thread failed: %s\n", failure.what());
        } catch (...) {
            std::fprintf(stderr, "korimaq: work on the engine's thread failed\n");
        }
        lock.lock();
        ++finished_;
        done_.notify_all();
    }
}

}  // namespace korimaq
