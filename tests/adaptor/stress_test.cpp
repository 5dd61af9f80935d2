// Many starts, stops, property changes, closes and destructions while the
// acquisition thread runs. Bounded in count; a hang fails after kHang.
#include "adaptor_test_support.h"

#include <thread>

namespace adaptortest {
namespace {

class StressTest : public AdaptorTest {
protected:
    // Fast frames off and no camera handle left: the thread ended within the
    // close time-out, or the adaptor would have kept the camera for it.
    static void expectCameraReleased(std::int32_t camera) {
        const korcamsim::CameraState state = korcamsim::cameraState(camera);
        EXPECT_FALSE(state.fastFrames) << "camera " << camera;
        EXPECT_EQ(state.handles, 0u) << "camera " << camera;
    }
};

TEST_F(StressTest, StartStopCyclesDeliverNothingAfterStopAndLeaveFastFramesOff) {
    auto input = makeInput(1, "320x240");
    ASSERT_TRUE(input->open());
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(input->start({0}));
        ASSERT_TRUE(input->waitForFramesReceived(static_cast<std::uint64_t>(cycle % 4), kHang)) << cycle;
        input->stop();
        const std::uint64_t received = input->framesReceived();
        ASSERT_FALSE(korcamsim::cameraState(1).fastFrames) << "cycle " << cycle;
        ASSERT_TRUE(korvixOf(*input).isStopRequested());
        ASSERT_EQ(input->framesReceived(), received);
    }
    input->close();
    EXPECT_EQ(input->lateFrames(), 0u);
    expectCameraReleased(1);
    EXPECT_TRUE(errors().empty());
}

TEST_F(StressTest, RunsLeftAloneDeliverExactlyTheFramesAskedFor) {
    auto input = makeInput(2, "320x240");
    ASSERT_TRUE(input->open());
    for (std::uint32_t frames = 1; frames <= 40; ++frames) {
        ASSERT_TRUE(input->start({frames}));
        ASSERT_TRUE(input->waitUntilComplete(kHang)) << frames;
        input->stop();
        ASSERT_EQ(input->framesReceived(), frames);
        ASSERT_EQ(input->framesAcquired(), frames);
        ASSERT_FALSE(korcamsim::cameraState(2).fastFrames);
    }
    input->close();
    expectCameraReleased(2);
    EXPECT_EQ(input->lateFrames(), 0u);
}

TEST_F(StressTest, ListenerChangesWhileAcquiringRestartTheRunEveryTime) {
    auto input = makeInput(1, "320x240");
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start({0}));
    // The listener's stop-and-restart path, notified as a host that allowed
    // changes while running would: this host refuses them.
    const double strobe[] = {1, 2};  // Off, On
    for (int change = 0; change < 100; ++change) {
        const std::uint64_t before = input->framesReceived();
        input->notifyListeners("Exposure", 1 + change);
        input->notifyListeners("Strobe", strobe[change % 2]);
        ASSERT_TRUE(input->isAcquiring());
        if (change % 5 == 0) {
            ASSERT_TRUE(input->waitForFramesReceived(before + 1, kHang)) << change;
        }
    }
    input->stop();
    EXPECT_FALSE(korcamsim::cameraState(1).fastFrames);
    // Each change stopped and restarted the run; every run switched fast frames off again.
    EXPECT_EQ(callCount("KorcamEnableFastFrames"), callCount("KorcamDisableFastFrames"));
    ASSERT_TRUE(input->start({1}));
    ASSERT_TRUE(input->waitUntilComplete(kHang));
    input->stop();
    EXPECT_EQ(korcamsim::cameraState(1).snapshot.exposure, 100.0f);
    EXPECT_EQ(korcamsim::cameraState(1).snapshot.strobeEnable, 1u);
    input->close();
    expectCameraReleased(1);
    EXPECT_EQ(input->lateFrames(), 0u);
    EXPECT_TRUE(errors().empty());
}

TEST_F(StressTest, CloseAndDestructionWhileAcquiringEndTheThread) {
    for (int round = 0; round < 60; ++round) {
        const std::int32_t camera = 1 + round % 2;
        auto input = makeInput(camera, "320x240");
        ASSERT_TRUE(input->open());
        ASSERT_TRUE(input->start({0}));
        ASSERT_TRUE(input->waitForFramesReceived(static_cast<std::uint64_t>(round % 3), kHang));
        switch (round % 3) {
            case 0:  // the engine closes: its manager stops first
                input->close();
                EXPECT_FALSE(input->isOpen());
                break;
            case 1:  // the adaptor is closed behind the manager's back
                input->onEngineThread([&] { EXPECT_TRUE(input->adaptor()->closeDevice()); });
                break;
            default:  // destroyed while running
                break;
        }
        const std::uint64_t late = input->lateFrames();
        input.reset();
        EXPECT_EQ(late, 0u) << "round " << round;
        expectCameraReleased(camera);
    }
    EXPECT_TRUE(errors().empty());
}

TEST_F(StressTest, TwoCamerasAcquireAtOnceFromTwoUserThreads) {
    auto work = [this](std::int32_t camera, std::uint64_t* late) {
        auto input = makeInput(camera, "320x240");
        if (!input || !input->open()) return;
        for (int cycle = 0; cycle < 40; ++cycle) {
            if (!input->start({static_cast<std::uint32_t>(cycle % 2 == 0 ? 0 : 5)})) return;
            if (cycle % 2 == 1)
                EXPECT_TRUE(input->waitUntilComplete(kHang));
            else
                EXPECT_TRUE(input->waitForFramesReceived(1, kHang));
            input->stop();
        }
        *late = input->lateFrames();
    };
    std::uint64_t late1 = 1;
    std::uint64_t late2 = 1;
    std::thread first(work, 1, &late1);
    std::thread second(work, 2, &late2);
    first.join();
    second.join();
    EXPECT_EQ(late1, 0u);
    EXPECT_EQ(late2, 0u);
    expectCameraReleased(1);
    expectCameraReleased(2);
}

}  // namespace
}  // namespace adaptortest
