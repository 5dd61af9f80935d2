// The frame log as the engine's frame sink, fed by the adaptor's acquisition
// thread from the virtual cameras (run under the thread sanitizer too).
#include "adaptor_test_support.h"
#include "frame_log.h"

#include <gtest/gtest.h>

namespace {

using adaptortest::kHang;

class LogSinkTest : public adaptortest::AdaptorTest {
protected:
    // Camera 3 at 320x240 with the log as its sink, opened when `open`.
    std::unique_ptr<korimaq::VideoInput> logged(bool open = true) {
        auto input = makeInput(3, "320x240");
        input->setFrameSink(&log);
        if (open) {
            EXPECT_TRUE(input->open());
        }
        return input;
    }

    korvid::MemoryBudget budget;
    korvid::FrameLog log{budget};
};

TEST_F(LogSinkTest, TheLogTakesEveryFrameAndEndsTheRunAtItsCount) {
    auto input = logged(false);
    ASSERT_TRUE(input->open());
    log.begin(imaqkit::getCurrentTime(), {5, 2});
    ASSERT_TRUE(input->start({0, 2}));  // the log, not the engine, ends this one
    ASSERT_TRUE(input->waitForFramesAcquired(9, kHang));
    const auto seen = log.version();
    while (!log.finished()) log.waitForChange(seen, kHang);
    input->stop();
    log.refuseFrames();
    const auto frames = log.take(100);
    ASSERT_EQ(frames.size(), 5u);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(frames[k]->frameNumber, 2 * k + 1);
        EXPECT_EQ(frames[k]->relativeFrame, k + 1);
        EXPECT_EQ(frames[k]->pixels.size(), 320u * 240u * 3u);
        if (k > 0) {
            EXPECT_GT(frames[k]->time, frames[k - 1]->time);
        }
    }
    EXPECT_LE(input->framesAcquired(), 10u) << "the run ended at the log's count";
    EXPECT_EQ(input->lateFrames(), 0u);
}

TEST_F(LogSinkTest, StartStopCyclesLeaveNoFrameAfterStop) {
    auto input = logged();
    for (int cycle = 0; cycle < 50; ++cycle) {
        log.begin(imaqkit::getCurrentTime(), {0});
        ASSERT_TRUE(input->start({0}));
        if (cycle % 10 == 0) input->waitForFramesAcquired(1, kHang);
        input->stop();
        log.refuseFrames();
        const std::uint64_t logged = log.framesAvailable();
        input->waitForFramesAcquired(1000000, std::chrono::milliseconds(1));
        EXPECT_EQ(log.framesAvailable(), logged) << "cycle " << cycle;
    }
    EXPECT_EQ(input->lateFrames(), 0u);
}

// Manual triggers fired on the engine's thread while the adaptor's thread
// takes frames: every frame carries its own trigger, none lost or doubled.
TEST_F(LogSinkTest, ManualTriggersTagEveryFrameWithItsOwnTrigger) {
    auto input = logged();
    korimaq::AcquisitionPlan plan{2, 1};
    plan.triggerRepeat = korimaq::AcquisitionPlan::kEndless;
    plan.manualTrigger = true;
    log.begin(imaqkit::getCurrentTime(), plan);
    ASSERT_TRUE(input->start(plan));
    std::uint64_t lastNumber = 0;
    for (std::uint64_t trigger = 1; trigger <= 200; ++trigger) {
        ASSERT_TRUE(input->trigger()) << "trigger " << trigger << ": the previous one's frames are all logged";
        for (auto seen = log.version(); log.framesAvailable() < 2; seen = log.version())
            ASSERT_TRUE(log.waitForChange(seen, kHang));
        const auto frames = log.take(2);
        ASSERT_EQ(frames.size(), 2u);
        for (std::uint64_t k = 0; k < 2; ++k) {
            EXPECT_EQ(frames[k]->triggerIndex, trigger);
            EXPECT_EQ(frames[k]->relativeFrame, k + 1);
        }
        EXPECT_GT(frames[0]->frameNumber, lastNumber);
        EXPECT_EQ(frames[1]->frameNumber, frames[0]->frameNumber + 1);
        lastNumber = frames[1]->frameNumber;
    }
    input->stop();
    log.refuseFrames();
    EXPECT_EQ(log.framesAcquired(), 400u);
    EXPECT_EQ(input->lateFrames(), 0u);
    EXPECT_TRUE(input->violations().empty());
}

TEST_F(LogSinkTest, EndingEarlyStopsAFailingRun) {
    auto input = logged();
    korcamsim::failOperation("KorcamConvertFrameToRgb24", 87);
    log.begin(imaqkit::getCurrentTime(), {0});
    ASSERT_TRUE(input->start({0}));
    ASSERT_TRUE(adaptortest::waitForErrors(1));
    input->endEarly();
    input->stop();
    log.refuseFrames();
    EXPECT_EQ(log.framesAvailable(), 0u) << "no converted frame, none delivered";
}

}  // namespace
