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

bool deliver(FrameLog& log, std::size_t bytes, std::uint8_t value, double time, const korimaq::FrameTag& tag) {
    auto frame = pixels(bytes, value);
    return log.frameReceived(frame, 2, 2, time, tag);
}

TEST(FrameLogTest, FramesComeOutOldestFirstWithTimesFromStart) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(100.0, {3});
    EXPECT_TRUE(deliver(log, 12, 1, 100.5, 1));
    EXPECT_TRUE(deliver(log, 12, 2, 100.75, {4, 1, 2}));
    EXPECT_FALSE(deliver(log, 12, 3, 101.0, {7, 1, 3})) << "the third of three frames ends the acquisition";
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

// Frames carry the engine's tags; times count from the first trigger; the
// frames of every trigger together end the log.
TEST(FrameLogTest, TriggersTagFramesAndTheirFramesTogetherEndTheLog) {
    MemoryBudget budget;
    FrameLog log(budget);
    korimaq::AcquisitionPlan plan{2, 1};
    plan.triggerRepeat = 1;
    plan.manualTrigger = true;
    log.begin(100.0, plan);
    EXPECT_EQ(log.outlook().toCome, 4u);
    log.triggerFired(1, 102.0, 5);
    EXPECT_TRUE(deliver(log, 4, 1, 102.5, {6, 1, 1}));
    EXPECT_TRUE(deliver(log, 4, 2, 102.75, {7, 1, 2}));
    log.triggerFired(2, 110.0, 20);
    EXPECT_TRUE(deliver(log, 4, 3, 110.5, {21, 2, 1}));
    EXPECT_FALSE(deliver(log, 4, 4, 110.75, {22, 2, 2})) << "the second trigger's last frame ends the log";
    EXPECT_TRUE(log.finished());
    const auto frames = log.peek(4);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0]->time, 0.5) << "from the first trigger, not from start";
    EXPECT_EQ(frames[2]->time, 8.5);
    EXPECT_EQ(frames[3]->triggerIndex, 2u);
    EXPECT_EQ(frames[3]->relativeFrame, 2u);
    EXPECT_EQ(frames[3]->frameNumber, 22u);
    EXPECT_EQ(log.triggersFired(), 2u);
    std::chrono::system_clock::time_point first;
    EXPECT_TRUE(log.initialTrigger(first));
}

TEST(FrameLogTest, PeekLeavesTheLogAndFlushesRemoveAllOrTheOldestTrigger) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(0, {0});
    const korimaq::FrameTag tags[] = {{1, 1, 1}, {2, 1, 2}, {5, 2, 1}, {6, 2, 2}, {9, 3, 1}};
    for (std::uint8_t k = 0; k < 5; ++k) ASSERT_TRUE(deliver(log, 4, k, k, tags[k]));
    const auto newest = log.peek(2);
    ASSERT_EQ(newest.size(), 2u);
    EXPECT_EQ(newest[0]->frameNumber, 6u) << "oldest first";
    EXPECT_EQ(newest[1]->frameNumber, 9u);
    EXPECT_EQ(log.peek(9).size(), 5u) << "no more than are held";
    EXPECT_EQ(log.framesAvailable(), 5u);
    log.flushOldestTrigger();
    EXPECT_EQ(log.framesAvailable(), 3u);
    EXPECT_EQ(log.oldest()->triggerIndex, 2u);
    EXPECT_EQ(budget.used(), 12u);
    log.flush();
    EXPECT_EQ(log.framesAvailable(), 0u);
    EXPECT_EQ(budget.used(), 0u);
    EXPECT_EQ(log.framesAcquired(), 5u);
    log.flushOldestTrigger();  // nothing held: nothing to do
    EXPECT_TRUE(log.peek(1).empty());
}

TEST(FrameLogTest, GreyFramesAreOnePageAndCountSoAgainstTheBudget) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(0, {0}, ColourSpace::GREY);
    // Two pixels, blue green red: a grey one (equal bands) and a red one.
    std::vector<std::uint8_t> bgr = {77, 77, 77, 0, 0, 255};
    ASSERT_TRUE(log.frameReceived(bgr, 2, 1, 1, 1));
    const auto frame = log.newest();
    EXPECT_EQ(frame->bands, 1);
    ASSERT_EQ(frame->pixels.size(), 2u);
    EXPECT_EQ(frame->pixels[0], 77) << "equal bands give their own sample";
    EXPECT_EQ(frame->pixels[1], 76) << "red's luminance";
    EXPECT_EQ(budget.used(), 2u);
    for (int sample = 0; sample < 256; ++sample) {
        const std::uint8_t same[3] = {static_cast<std::uint8_t>(sample), static_cast<std::uint8_t>(sample),
                                      static_cast<std::uint8_t>(sample)};
        std::uint8_t grey = 0;
        greyFromBgr(same, 1, &grey);
        EXPECT_EQ(grey, sample);
    }
}

TEST(FrameLogTest, EventsRecordStartTriggersErrorsAndStopKeepingTheNewest) {
    MemoryBudget budget;
    FrameLog log(budget);
    log.begin(0, {0});
    for (std::uint64_t k = 1; k <= FrameLog::kMaxEvents + 10; ++k) log.triggerFired(k, 0, k);
    log.fail({"KorvixAdaptor:acquisitionThread", "Cannot convert frame to rgb24."});
    log.markStopped(42);
    log.markStopped(43);  // once per acquisition
    const std::vector<LogEvent> events = log.events();
    ASSERT_EQ(events.size(), FrameLog::kMaxEvents);
    EXPECT_EQ(events.front().type, LogEvent::TRIGGER) << "the oldest go first";
    EXPECT_EQ(events.front().triggerIndex, 13u);
    EXPECT_EQ(events[events.size() - 2].type, LogEvent::ERROR);
    EXPECT_EQ(events[events.size() - 2].messageId, "KorvixAdaptor:acquisitionThread");
    EXPECT_EQ(events.back().type, LogEvent::STOP);
    EXPECT_EQ(events.back().frameNumber, 42u);
    log.begin(0, {0});
    ASSERT_EQ(log.events().size(), 1u);
    EXPECT_EQ(log.events().front().type, LogEvent::START);
}

// A tap that takes `room` frames, then refuses.
struct CountingTap : FrameTap {
    std::size_t room;
    std::vector<bool> counted;
    explicit CountingTap(std::size_t room) : room(room) {}
    bool offer(const std::shared_ptr<const LoggedFrame>&, bool alreadyCounted, Failure& refused) noexcept override {
        if (counted.size() == room) {
            refused = {"KorVideoInput:diskLoggerBehind", "behind"};
            return false;
        }
        counted.push_back(alreadyCounted);
        return true;
    }
};

// Frames go to memory, to the tap or both; a frame the tap refuses is
// acquired and ends the acquisition with the tap's reason.
TEST(FrameLogTest, TheTapTakesFramesBesideOrInsteadOfMemory) {
    for (const bool memory : {true, false}) {
        MemoryBudget budget;
        FrameLog log(budget);
        CountingTap tap(2);
        log.begin(0, {0}, ColourSpace::RGB, Keeping{memory, &tap});
        EXPECT_TRUE(deliver(log, 12, 1, 1, 1));
        EXPECT_TRUE(deliver(log, 12, 2, 2, 2));
        EXPECT_FALSE(deliver(log, 12, 3, 3, 3)) << "the tap refuses the third";
        EXPECT_FALSE(deliver(log, 12, 4, 4, 4)) << "no frame after it";
        EXPECT_EQ(log.framesAcquired(), 3u);
        EXPECT_EQ(tap.counted, std::vector<bool>(2, memory));
        EXPECT_EQ(log.framesAvailable(), memory ? 3u : 0u);
        EXPECT_EQ(budget.used(), memory ? 36u : 0u);
        EXPECT_EQ(log.takeFailure().identifier, "KorVideoInput:diskLoggerBehind");
        EXPECT_EQ(log.events().back().type, LogEvent::ERROR);
        log.detachTap();
        log.begin(0, {0});
        EXPECT_TRUE(deliver(log, 12, 5, 5, 1));
        EXPECT_EQ(tap.counted.size(), 2u) << "a detached tap sees no frame";
    }
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
