// The frame log between the adaptor's thread and korvideoinput: arrival
// order, the shared memory budget, the first error kept, snapshots apart
// from the log, and the region and number checks.
#include "frame_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

namespace korvid {
namespace {

std::vector<std::uint8_t> pixels(std::size_t bytes, std::uint8_t value) {
    return std::vector<std::uint8_t>(bytes, value);
}

bool deliver(FrameLog& log, std::size_t bytes, std::uint8_t value, double time, std::uint64_t number) {
    auto frame = pixels(bytes, value);
    return log.frameReceived(frame, 2, 2, time, number);
}

TEST(FrameLogTest, FramesComeOutOldestFirstWithTimesFromStart) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(100.0, {3});
    EXPECT_TRUE(deliver(log, 12, 1, 100.5, 1));
    EXPECT_TRUE(deliver(log, 12, 2, 100.75, 4));
    EXPECT_FALSE(deliver(log, 12, 3, 101.0, 7)) << "the third of three frames ends the acquisition";
    EXPECT_TRUE(log.finished());
    EXPECT_FALSE(deliver(log, 12, 4, 101.5, 8)) << "no frame after the end";
    EXPECT_EQ(log.framesAcquired(), 3u);
    EXPECT_EQ(budget.used(), 36u);

    const auto first = log.take(2);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0]->pixels[0], 1);
    EXPECT_EQ(first[0]->time, 0.5);
    EXPECT_EQ(first[1]->frameNumber, 4u);
    EXPECT_EQ(first[1]->relativeFrame, 2u);
    EXPECT_EQ(log.framesAvailable(), 1u);
    EXPECT_EQ(budget.used(), 12u);
    EXPECT_EQ(log.newest()->pixels[0], 3);
    EXPECT_EQ(log.take(5).size(), 1u);

    log.begin(200.0, {0});
    EXPECT_EQ(log.framesAcquired(), 0u);
    EXPECT_EQ(log.newest(), nullptr);
}

TEST(FrameLogTest, AFrameTakenAndDroppedLendsItsBufferToALaterFrameWithItsOwnBytes) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(0, {0});
    ASSERT_TRUE(deliver(log, 4096, 1, 1, 1));
    const std::uint8_t* first = log.oldest()->pixels.data();
    ASSERT_TRUE(deliver(log, 4096, 2, 2, 2));
    log.take(1);  // the first frame's last holder (the newest is the second)
    ASSERT_TRUE(deliver(log, 4096, 3, 3, 3));
    const auto frame = log.newest();
    EXPECT_EQ(frame->pixels.data(), first) << "the buffer is used again";
    EXPECT_EQ(std::count(frame->pixels.data(), frame->pixels.data() + 4096, 3), 4096) << "with the new frame's bytes";
    EXPECT_EQ(log.oldest()->pixels[4095], 2);
    ASSERT_TRUE(deliver(log, 4095, 4, 4, 4));
    EXPECT_EQ(log.newest()->pixels.size(), 4095u);
    EXPECT_EQ(log.newest()->pixels[4094], 4);
}

TEST(FrameLogTest, TheBudgetIsSharedAndAFullOneEndsTheAcquisitionKeepingTheFrames) {
    MemoryBudget budget;
    budget.setLimit(100);
    FrameLog one(budget);
    FrameLog other(budget);
    one.begin(0, {0});
    other.begin(0, {0});
    EXPECT_TRUE(deliver(one, 60, 1, 1, 1));
    EXPECT_TRUE(deliver(other, 40, 2, 1, 1));
    EXPECT_FALSE(deliver(one, 1, 3, 2, 2));
    EXPECT_TRUE(one.finished());
    EXPECT_EQ(one.framesAvailable(), 1u);
    const Failure failure = one.takeFailure();
    EXPECT_EQ(failure.identifier, "KorVideoInput:outOfMemory");
    EXPECT_FALSE(one.takeFailure()) << "raised once";
    EXPECT_EQ(other.take(1).size(), 1u);
    EXPECT_EQ(budget.used(), 60u);
    {
        FrameLog dropped(budget);
        dropped.begin(0, {0});
        EXPECT_TRUE(deliver(dropped, 40, 4, 1, 1));
        EXPECT_EQ(budget.used(), 100u);
    }
    EXPECT_EQ(budget.used(), 60u) << "a log gives its frames back when it goes";
}

TEST(FrameLogTest, TheFirstErrorIsKeptAndNoFrameFollowsIt) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(0, {0});
    EXPECT_TRUE(deliver(log, 4, 1, 1, 1));
    log.fail({"KorvixAdaptor:acquisitionThread", "Cannot take a snapshot. Error: 2"});
    log.fail({"KorvixAdaptor:acquisitionThread", "Cannot disable fast frames."});
    EXPECT_FALSE(deliver(log, 4, 2, 2, 2));
    EXPECT_TRUE(log.finished());
    EXPECT_EQ(log.framesAvailable(), 1u);
    EXPECT_EQ(log.takeFailure().message, "Cannot take a snapshot. Error: 2");
}

TEST(FrameLogTest, ASnapshotTakesOneFrameApartFromTheLog) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(0, {0});
    EXPECT_TRUE(deliver(log, 4, 1, 1, 1));
    log.refuseFrames();
    log.beginSnapshot();
    EXPECT_FALSE(deliver(log, 4, 9, 2, 1));
    EXPECT_FALSE(deliver(log, 4, 8, 3, 2));
    ASSERT_NE(log.snapshot(), nullptr);
    EXPECT_EQ(log.snapshot()->pixels[0], 9);
    EXPECT_EQ(log.framesAvailable(), 1u);
    EXPECT_EQ(log.framesAcquired(), 1u);
    EXPECT_EQ(budget.used(), 4u);

    log.beginSnapshot();
    log.fail({"KorvixAdaptor:openDevice", "Unable to open camera."});
    EXPECT_EQ(log.snapshotFailure().message, "Unable to open camera.");
    EXPECT_FALSE(log.hasFailure()) << "a snapshot's error is not the acquisition's";
}

TEST(FrameLogTest, AWaiterWakesOnAFrameFromAnotherThread) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(0, {0});
    const std::uint64_t seen = log.version();
    std::thread adaptor([&] { deliver(log, 4, 1, 1, 1); });
    EXPECT_TRUE(log.waitForChange(seen, std::chrono::seconds(10)));
    adaptor.join();
    EXPECT_EQ(log.framesAvailable(), 1u);
    EXPECT_FALSE(log.waitForChange(log.version(), std::chrono::milliseconds(1)));
}

TEST(RegionTest, FitsInsideTheImageInWholePixels) {
    struct Case {
        double roi[4];
        bool fits;
    } cases[] = {
        {{0, 0, 640, 480}, true},  {{639, 479, 1, 1}, true},     {{10, 20, 100, 50}, true}, {{0, 0, 641, 480}, false},
        {{1, 0, 640, 480}, false}, {{-1, 0, 10, 10}, false},     {{0, 0, 0, 10}, false},    {{0.5, 0, 10, 10}, false},
        {{NAN, 0, 10, 10}, false}, {{0, 0, INFINITY, 1}, false}, {{0, 470, 10, 11}, false}, {{1e300, 0, 1, 1}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(regionFits(c.roi, 640, 480), c.fits)
            << c.roi[0] << " " << c.roi[1] << " " << c.roi[2] << " " << c.roi[3];
}

TEST(RegionTest, TheAdaptorCountsRowsFromTheBottom) {
    const Region region = adaptorRegion({10, 20, 100, 50}, 480);
    EXPECT_EQ(region.x, 10);
    EXPECT_EQ(region.y, 480 - 20 - 50);
    EXPECT_EQ(region.width, 100);
    EXPECT_EQ(region.height, 50);
    EXPECT_EQ(adaptorRegion({0, 0, 640, 480}, 480).y, 0);
}

TEST(NumberTest, PositiveWholeNumbers) {
    EXPECT_TRUE(positiveWhole(1, 10));
    EXPECT_TRUE(positiveWhole(10, 10));
    for (double bad : std::initializer_list<double>{0.0, -1.0, 1.5, 11.0, NAN, INFINITY, -INFINITY})
        EXPECT_FALSE(positiveWhole(bad, 10)) << bad;
}

TEST(ClockTest, AClockVectorOfAKnownMoment) {
    const auto moment = std::chrono::system_clock::from_time_t(0) + std::chrono::milliseconds(86400000 + 1250);
    const std::array<double, 6> clock = clockVector(moment);
    // Local time: the day may differ by the time zone, the seconds do not.
    EXPECT_NEAR(clock[5], 1.25, 1e-9);
    EXPECT_EQ(clock[0], 1970);
    EXPECT_EQ(clock[1], 1);
}

}  // namespace
}  // namespace korvid
