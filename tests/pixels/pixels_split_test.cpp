// Fills split over threads: every range done exactly once, on the caller's
// thread when a worker cannot start, and every public fill byte for byte
// what the one-thread kernel writes, whatever the split.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "pixels.h"
#include "pixels_kernels.h"
#include "pixels_split.h"
#include "random_samples.h"

namespace kor::pixels {
namespace {

// --- Thread starters --------------------------------------------------------

bool neverStarts(std::thread&, FunctionRef<void()>) { return false; }

// Fails every second start, as a process near its thread limit might.
bool startsEveryOther(std::thread& worker, FunctionRef<void()> body) {
    static std::atomic<unsigned> calls{0};
    if (calls++ % 2 == 0) return false;
    return startWorkerThread(worker, body);
}

struct Starter {
    const char* name;
    StartWorker start;
};

const Starter starters[] = {
    {"threads", startWorkerThread}, {"no thread starts", neverStarts}, {"every other fails", startsEveryOther}};

// --- splitRange -------------------------------------------------------------

struct Done {
    size_t begin, end;
    std::thread::id thread;
};

TEST(SplitRange, CoversEveryUnitOnceInGrainAlignedRanges) {
    struct Case {
        size_t count, grain;
        unsigned workers;
    };
    const Case cases[] = {{0, 64, 4},   {1, 64, 4},   {63, 64, 2},   {64, 64, 2},   {65, 64, 2}, {129, 64, 3},
                          {1000, 1, 3}, {1000, 7, 4}, {4097, 64, 4}, {4096, 64, 9}, {100, 0, 2}, {5, 1, 0}};
    for (const Case& c : cases)
        for (const Starter& s : starters) {
            SCOPED_TRACE(testing::Message() << c.count << " by " << c.grain << " over " << c.workers << ", " << s.name);
            std::mutex mutex;
            std::vector<Done> done;
            splitRange(
                c.count, c.grain, c.workers,
                [&](size_t begin, size_t end) {
                    std::lock_guard<std::mutex> lock(mutex);
                    done.push_back({begin, end, std::this_thread::get_id()});
                },
                s.start);
            std::sort(done.begin(), done.end(), [](const Done& a, const Done& b) { return a.begin < b.begin; });
            size_t next = 0;
            for (const Done& d : done) {
                EXPECT_EQ(d.begin, next);
                EXPECT_LT(d.begin, d.end);
                if (d.end != c.count) {
                    EXPECT_EQ(d.end % std::max<size_t>(c.grain, 1), 0u);
                }
                next = d.end;
            }
            EXPECT_EQ(next, c.count);
            EXPECT_LE(done.size(), std::min<size_t>(std::max(c.workers, 1u), kMaxFillWorkers));
            if (s.start == neverStarts) {
                for (const Done& d : done) EXPECT_EQ(d.thread, std::this_thread::get_id());
            }
        }
}

TEST(SplitRange, SharesLargeWorkOverThreadsAndJoinsThemBeforeReturning) {
    std::atomic<int> running{0};
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    splitRange(4 * 64, 64, 4, [&](size_t, size_t) {
        ++running;
        {
            std::lock_guard<std::mutex> lock(mutex);
            threads.push_back(std::this_thread::get_id());
        }
        --running;
    });
    EXPECT_EQ(running.load(), 0);
    ASSERT_EQ(threads.size(), 4u);
    std::sort(threads.begin(), threads.end());
    EXPECT_EQ(std::unique(threads.begin(), threads.end()) - threads.begin(), 4);
}

TEST(FillWorkers, OneThreadForSmallImagesThenOnePerShareBoundedByProcessors) {
    struct Case {
        size_t bytes;
        unsigned processors, expected;
    };
    const size_t share = kMinBytesPerFillWorker;
    const Case cases[] = {
        {0, 8, 1},
        {640 * 480 * 3, 8, 1},
        {2 * share - 1, 8, 1},
        {2 * share, 8, 2},
        {3 * share, 8, 3},
        {100 * share, 8, kMaxFillWorkers},
        {100 * share, 2, 2},
        {100 * share, 1, 1},
        {100 * share, 0, 1},
        {SIZE_MAX, 16, kMaxFillWorkers},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fillWorkers(c.bytes, c.processors), c.expected) << c.bytes << " bytes, " << c.processors;
}

// --- The public fills against the one-thread kernels ------------------------

// Whole arrays, gaps included, prefilled with a sentinel: run(kernels, out)
// through the gateway's functions with `workers` threads (0: by image size)
// against the active kernel alone.
template <typename Out, typename Run>
void expectSameBytes(const char* what, size_t elements, unsigned workers, StartWorker start, Run run) {
    std::vector<Out> expected(elements, static_cast<Out>(0xA5A5));
    std::vector<Out> actual(expected);
    run(activeKernels(), expected.data());
    {
        const FillSplitOverride forced(workers, start);
        run(gatewayKernels(), actual.data());
    }
    EXPECT_TRUE(expected == actual) << what;
}

// Dense and padded layouts (spare rows, a gap between pages), or dense only.
void expectEveryFillSplitsExactly(uint32_t width, uint32_t height, unsigned workers, StartWorker start,
                                  bool padded = true) {
    std::mt19937 rng(width * 7919u + height);
    const size_t n = size_t{width} * height;
    const auto picture8 = randomSamples<uint8_t>(3 * n, rng);
    const auto picture16 = randomSamples<uint16_t>(3 * n, rng);
    const auto raw = randomSamples<uint8_t>(2 * n, rng);
    std::vector<ImageLayout> layouts{denseLayout(width, height)};
    if (padded) layouts.push_back(ImageLayout{height + 3u, (height + 3u) * size_t{width} + 5});
    for (const ImageLayout layout : layouts) {
        SCOPED_TRACE(layout.rows == height ? "dense" : "padded");
        const size_t elements = 3 * layout.pageStride;
        auto bytes = [&](const char* what, auto run) { expectSameBytes<uint8_t>(what, elements, workers, start, run); };
        auto words = [&](const char* what, auto run) {
            expectSameBytes<uint16_t>(what, elements, workers, start, run);
        };
        bytes("fillImage8",
              [&](const Kernels& k, uint8_t* out) { k.fillImage8(picture8.data(), width, height, out, layout); });
        words("fillImage16",
              [&](const Kernels& k, uint16_t* out) { k.fillImage16(picture16.data(), width, height, out, layout); });
        words("fillImage8To16",
              [&](const Kernels& k, uint16_t* out) { k.fillImage8To16(picture8.data(), width, height, out, layout); });
        bytes("fillMonoImage8",
              [&](const Kernels& k, uint8_t* out) { k.fillMonoImage8(raw.data(), width, height, out, layout); });
        words("fillMonoImage8To16",
              [&](const Kernels& k, uint16_t* out) { k.fillMonoImage8To16(raw.data(), width, height, out, layout); });
        for (bool swap : {false, true})
            words(swap ? "fillMonoImage16 swapped" : "fillMonoImage16", [&](const Kernels& k, uint16_t* out) {
                k.fillMonoImage16(raw.data(), width, height, swap, out, layout);
            });
    }
    // The monochrome pictures of the two-pass path, split by pixels.
    expectSameBytes<uint8_t>("buildMonoPicture8", 3 * n, workers, start,
                             [&](const Kernels& k, uint8_t* out) { k.buildMonoPicture8(raw.data(), n, out); });
    expectSameBytes<uint16_t>("buildMonoPicture16", 3 * n, workers, start,
                              [&](const Kernels& k, uint16_t* out) { k.buildMonoPicture16(raw.data(), n, true, out); });
}

// Odd sizes, bands shorter than a kernel tile, a last band of a few rows.
TEST(SplitFills, OddSizesMatchOneThreadForEveryWorkerCountAndStarter) {
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1},    {3, 5},     {17, 63},   {33, 64},  {31, 65},
                                                   {15, 129}, {100, 131}, {257, 193}, {19, 517}, {640, 7}};
    for (const auto& size : sizes)
        for (unsigned workers : {1u, 2u, 3u, 4u})
            for (const Starter& s : starters) {
                SCOPED_TRACE(testing::Message()
                             << size.first << "x" << size.second << ", " << workers << " workers, " << s.name);
                expectEveryFillSplitsExactly(size.first, size.second, workers, s.start);
            }
}

// The worker count the gateway picks itself, for images just under and over
// the size where a second thread starts.
TEST(SplitFills, SizesAroundTheThresholdMatchOneThread) {
    const uint32_t width = 1024;
    // 8-bit colour images from this height on take two threads.
    const uint32_t twoThreads = static_cast<uint32_t>((2 * kMinBytesPerFillWorker + 3 * width - 1) / (3 * width));
    ASSERT_EQ(fillWorkers(size_t{3} * width * (twoThreads - 1), 2), 1u);
    ASSERT_EQ(fillWorkers(size_t{3} * width * twoThreads, 2), 2u);
    for (uint32_t height : {twoThreads / 2 + 1, twoThreads - 1, twoThreads}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        expectEveryFillSplitsExactly(width, height, 0, nullptr, false);
    }
    // An odd width: picture rows that do not start on a vector boundary.
    expectEveryFillSplitsExactly(1023, twoThreads + 3, 0, nullptr);
}

}  // namespace
}  // namespace kor::pixels
