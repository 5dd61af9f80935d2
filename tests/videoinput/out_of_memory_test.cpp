// Memory that runs out on the adaptor's acquisition thread: the engine's
// frame and the log's own entry. Nothing may leave that thread as an
// exception; the acquisition ends with KorVideoInput:outOfMemory and the
// frames logged before stay. This program replaces operator new so that a
// test can make allocations fail.
#include "adaptor_test_support.h"
#include "frame_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Allocations of at least this many bytes fail, on any thread.
std::atomic<std::size_t> failFrom{SIZE_MAX};
// Every allocation of the thread that sets it fails.
thread_local bool failHere = false;

}  // namespace

// Every form, so that no block is allocated by one allocator and freed by
// another (the program exports them to the libraries it loads).
namespace {
void* allocate(std::size_t size) noexcept {
    if (failHere || size >= failFrom.load()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}
void* allocateOrThrow(std::size_t size) {
    if (void* block = allocate(size)) return block;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
// Both halves are malloc and free: the warning about a mismatch does not apply.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace {

using adaptortest::kHang;

struct Failing {
    explicit Failing(std::size_t from) { failFrom = from; }
    ~Failing() { failFrom = SIZE_MAX; }
};

class OutOfMemoryTest : public adaptortest::AdaptorTest {
protected:
    void waitUntilFinished() {
        for (;;) {
            const auto seen = log.version();
            if (log.finished()) return;
            ASSERT_TRUE(log.waitForChange(seen, kHang)) << "the acquisition never ended";
        }
    }

    korvid::MemoryBudget budget;
    korvid::FrameLog log{budget};
};

TEST_F(OutOfMemoryTest, AFrameTheEngineCannotAllocateEndsTheRunAndKeepsTheFramesLogged) {
    auto input = makeInput(3, "320x240");
    ASSERT_TRUE(input->setFrameSink(&log));
    ASSERT_TRUE(input->open());
    log.begin(imaqkit::getCurrentTime(), {0});
    ASSERT_TRUE(input->start({0}));
    for (;;) {
        const auto seen = log.version();
        if (log.framesAvailable() >= 3) break;
        ASSERT_TRUE(log.waitForChange(seen, kHang));
    }
    {
        // The log's copy of each frame (320 x 240 x 3 bytes) is a new
        // allocation: none of its frames has been taken to give its buffer back.
        Failing failing(100000);
        waitUntilFinished();
        input->stop();
    }
    log.refuseFrames();
    const korvid::Failure failure = log.takeFailure();
    EXPECT_EQ(failure.identifier, "KorVideoInput:outOfMemory");
    EXPECT_NE(failure.message.find("frames logged before stay available"), std::string::npos) << failure.message;
    EXPECT_GE(log.framesAvailable(), 3u);
    EXPECT_EQ(log.take(1000).size(), log.framesAcquired()) << "every frame logged can be taken";
    EXPECT_FALSE(input->isAcquiring());
    EXPECT_FALSE(korcamsim::cameraState(3).fastFrames) << "the run ended cleanly";

    // Memory back: the next run acquires.
    log.begin(imaqkit::getCurrentTime(), {4});
    ASSERT_TRUE(input->start({0}));
    waitUntilFinished();
    input->stop();
    log.refuseFrames();
    EXPECT_FALSE(log.takeFailure());
    EXPECT_EQ(log.framesAvailable(), 4u);
}

TEST(FrameLogMemoryTest, TheLogsOwnAllocationFailingEndsTheAcquisitionWithoutThrowing) {
    korvid::MemoryBudget budget;
    korvid::FrameLog log(budget);
    log.begin(0, {0});
    std::vector<std::uint8_t> first(12, 1);
    ASSERT_TRUE(log.frameReceived(first, 2, 2, 1, 1));
    std::vector<std::uint8_t> second(12, 2);
    bool more = true;
    failHere = true;
    EXPECT_NO_THROW(more = log.frameReceived(second, 2, 2, 2, 2));
    failHere = false;
    EXPECT_FALSE(more);
    EXPECT_TRUE(log.finished());
    EXPECT_EQ(log.takeFailure().identifier, "KorVideoInput:outOfMemory");
    EXPECT_EQ(log.framesAvailable(), 1u);
    EXPECT_EQ(budget.used(), 12u) << "the frame not logged gave its bytes back";

    // A snapshot meets it as its own failure.
    log.beginSnapshot();
    std::vector<std::uint8_t> snap(12, 3);
    failHere = true;
    EXPECT_NO_THROW(log.frameReceived(snap, 2, 2, 3, 3));
    failHere = false;
    EXPECT_EQ(log.snapshotFailure().identifier, "KorVideoInput:outOfMemory");
}

}  // namespace
