#include "pixels_split.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <system_error>

namespace kor::pixels {
namespace {

// One range of a split, kept in place while its thread runs.
struct Range {
    const FunctionRef<void(size_t, size_t)>* part = nullptr;
    size_t begin = 0, end = 0;
    void operator()() const { (*part)(begin, end); }
};

std::atomic<unsigned> forcedWorkers{0};
std::atomic<StartWorker> forcedStart{nullptr};

}  // namespace

unsigned fillWorkers(size_t outputBytes, unsigned processors) {
    const size_t byOutput = outputBytes / kMinBytesPerFillWorker;
    const size_t bound = std::min<size_t>(std::max(processors, 1u), kMaxFillWorkers);
    return static_cast<unsigned>(std::clamp<size_t>(byOutput, 1, bound));
}

unsigned fillWorkers(size_t outputBytes) {
    // Asking the system costs a file read on some; the answer does not change.
    static const unsigned processors = std::thread::hardware_concurrency();
    if (const unsigned forced = forcedWorkers.load(std::memory_order_relaxed)) return forced;
    return fillWorkers(outputBytes, processors);
}

bool startWorkerThread(std::thread& worker, FunctionRef<void()> body) {
    try {
        worker = std::thread(body);
        return true;
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void splitRange(size_t count, size_t grain, unsigned workers, FunctionRef<void(size_t, size_t)> part,
                StartWorker start) {
    if (!start) start = forcedStart.load(std::memory_order_relaxed);
    if (!start) start = startWorkerThread;
    grain = std::max<size_t>(grain, 1);
    const size_t units = count / grain + (count % grain != 0);
    const size_t n = std::min<size_t>({std::max(workers, 1u), kMaxFillWorkers, std::max<size_t>(units, 1)});
    if (n <= 1) {
        if (count > 0) part(0, count);
        return;
    }
    // Range k starts at unit units * k / n, computed without overflow.
    auto boundary = [&](size_t k) {
        const size_t unit = units / n * k + units % n * k / n;
        return unit >= units ? count : unit * grain;
    };
    std::array<Range, kMaxFillWorkers> ranges;
    std::array<std::thread, kMaxFillWorkers> threads;
    std::array<bool, kMaxFillWorkers> started{};
    for (size_t k = 0; k < n; ++k) {
        ranges[k].part = &part;
        ranges[k].begin = boundary(k);
        ranges[k].end = boundary(k + 1);
    }
    for (size_t k = 1; k < n; ++k) started[k] = start(threads[k], ranges[k]);
    ranges[0]();
    for (size_t k = 1; k < n; ++k)
        if (!started[k]) ranges[k]();
    for (size_t k = 1; k < n; ++k)
        if (threads[k].joinable()) threads[k].join();
}

void splitRows(uint32_t height, unsigned workers, FunctionRef<void(uint32_t, uint32_t)> fillBand, StartWorker start) {
    splitRange(
        height, kRowBandGrain, workers,
        [fillBand](size_t begin, size_t end) { fillBand(static_cast<uint32_t>(begin), static_cast<uint32_t>(end)); },
        start);
}

FillSplitOverride::FillSplitOverride(unsigned workers, StartWorker start)
    : previousWorkers_(forcedWorkers.exchange(workers)), previousStart_(forcedStart.exchange(start)) {}

FillSplitOverride::~FillSplitOverride() {
    forcedWorkers.store(previousWorkers_);
    forcedStart.store(previousStart_);
}

}  // namespace kor::pixels
