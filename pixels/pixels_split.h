// Large images filled on several processors at once.
//
// A fill is cut into consecutive ranges of its work (array rows of an image,
// pixels of a picture); the calling thread takes the first range and a thread
// started for the call takes each of the others; every thread is joined
// before the call returns, so none outlives it and none is left behind when
// the module is unloaded. A range whose thread cannot be started is done on
// the calling thread afterwards: a busy or exhausted process gets a slower
// fill, never an error.
//
// Workers run pixel code only: no host (MEX API) and no SDK call, no
// allocation the host tracks. A range function must not throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <type_traits>
#include <utility>

namespace kor::pixels {

// A callable passed down without copying or allocating: the fill needs no
// memory of its own, so it cannot fail for want of it. Valid as long as the
// callable it refers to.
template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
    FunctionRef(F&& f) noexcept  // NOLINT(google-explicit-constructor): stands in for the callable
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
          call_([](void* object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
          }) {}
    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

// Fills run on at most this many threads. A large fill is bound by memory
// bandwidth, which a few cores of a desktop processor already use up; more
// threads would only add start-up cost and take cores from the camera
// driver and the host.
constexpr unsigned kMaxFillWorkers = 4;
// Output bytes per thread below which starting one costs more than it saves:
// starting and joining a thread takes tens of microseconds, filling 2 MiB a
// few hundred (bench/RESULTS.md). A 640x480 colour image (0.9 MB) stays on
// the caller's thread.
constexpr size_t kMinBytesPerFillWorker = size_t{2} << 20;
// Array rows of a band: band boundaries keep every band's columns on the
// same 64-byte alignment as the whole image's, for the streaming stores.
constexpr uint32_t kRowBandGrain = 64;

// Threads for a fill writing outputBytes on a processor with `processors`
// logical processors (0 when unknown): 1 for small outputs, then one per
// kMinBytesPerFillWorker, bounded by the processors and kMaxFillWorkers.
unsigned fillWorkers(size_t outputBytes, unsigned processors);
// The same for this machine (std::thread::hardware_concurrency), unless a
// FillSplitOverride is in force.
unsigned fillWorkers(size_t outputBytes);

// Starts `worker` running `body`; false when no thread could be started.
// `body` stays valid until the thread is joined. Must not throw.
using StartWorker = bool (*)(std::thread& worker, FunctionRef<void()> body);
// The default: a std::thread, false on std::system_error or bad_alloc.
bool startWorkerThread(std::thread& worker, FunctionRef<void()> body);

// Runs part(begin, end) over [0, count) cut into at most `workers` ranges of
// nearly equal size whose inner boundaries are multiples of `grain`; returns
// when every range is done. `start` starts the threads; null:
// startWorkerThread, or the one of a FillSplitOverride in force (a test
// substitutes one that fails).
void splitRange(size_t count, size_t grain, unsigned workers, FunctionRef<void(size_t, size_t)> part,
                StartWorker start = nullptr);

// The array rows [0, height) of one image in bands of kRowBandGrain rows:
// fillBand(firstRow, endRow) fills array rows [firstRow, endRow) of every
// column and page. With picture row t at array row height-1-t, that band
// comes from picture rows [height-endRow, height-firstRow).
void splitRows(uint32_t height, unsigned workers, FunctionRef<void(uint32_t, uint32_t)> fillBand,
               StartWorker start = nullptr);

// For tests and benchmarks: while one lives, the fills of pixels.h split
// into `workers` ranges whatever the image size (0: by size, as usual) and
// start their threads with `start` (null: startWorkerThread). Set it only
// while no fill runs.
class FillSplitOverride {
public:
    explicit FillSplitOverride(unsigned workers, StartWorker start = nullptr);
    ~FillSplitOverride();
    FillSplitOverride(const FillSplitOverride&) = delete;
    FillSplitOverride& operator=(const FillSplitOverride&) = delete;

private:
    unsigned previousWorkers_;
    StartWorker previousStart_;
};

}  // namespace kor::pixels
