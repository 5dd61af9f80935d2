// The virtual cameras called from several threads at once: each thread keeps
// its own last error, frames stay whole, and control calls may interleave.
#include "sim_test_support.h"

#include <algorithm>
#include <atomic>
#include <thread>

using namespace simtest;

namespace {

class Threads : public ::testing::Test {
protected:
    // Unpaced: thousands of frames per thread, as fast as they are drawn.
    void SetUp() override {
        korcamsim::reset();
        korcamsim::setPacing(false);
    }
    void TearDown() override { korcamsim::reset(); }
};

// Opens the camera, takes fast frames and checks each against the frame the
// library says it delivered; returns the number of good frames.
int streamFastFrames(int32_t camera, int frames) {
    const CameraHandle h = KorcamCameraOpen(camera);
    if (h == 0) return -1;
    FrameFormat format{0, 0, 320, 240, 0, 1, 0, 1, 0};
    SnapshotSettings settings = settingsFor(format, 50.0f);
    if (KorcamEnableFastFrames(h, &settings) == 0) return -2;
    std::vector<uint8_t> raw(rawBytes(format));
    std::vector<uint8_t> reference;
    // Below the number box (the picture's top rows) every frame is the same.
    const std::size_t steady = std::size_t{format.width} * (format.height - 20);
    int good = 0;
    for (int i = 0; i < frames; ++i) {
        if (KorcamTakeFastFrame(h, raw.data()) == 0) continue;
        if (reference.empty()) reference = raw;
        const bool whiteCorner = raw[std::size_t{format.height - 1} * format.width] == 255;
        if (whiteCorner &&
            std::equal(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(steady), reference.begin()))
            ++good;
    }
    KorcamDisableFastFrames(h);
    KorcamCameraClose(h);
    return good;
}

TEST_F(Threads, TwoThreadsStreamFastFramesAtOnce) {
    constexpr int kFrames = 2000;
    int good[3] = {};
    std::atomic<bool> done{false};
    std::thread first([&] { good[0] = streamFastFrames(1, kFrames); });
    std::thread second([&] { good[1] = streamFastFrames(3, kFrames); });
    // A third thread takes snapshots of camera 1 through a handle of its own.
    std::thread third([&] {
        const CameraHandle h = KorcamCameraOpen(1);
        const FrameFormat format{0, 0, 64, 48, 0, 1, 0, 1, 0};
        for (int i = 0; i < kFrames; ++i) good[2] += snapshot(h, format).size() == rawBytes(format);
        KorcamCameraClose(h);
    });
    std::thread observer([&] {
        while (!done.load()) {
            korcamsim::cameraState(1);
            korcamsim::calls();
            korcamsim::lastFrame(3);
        }
    });
    first.join();
    second.join();
    third.join();
    done = true;
    observer.join();
    EXPECT_EQ(good[0], kFrames);
    EXPECT_EQ(good[1], kFrames);
    EXPECT_EQ(good[2], kFrames);
    EXPECT_EQ(korcamsim::cameraState(1).framesDelivered, 2u * kFrames);
    EXPECT_EQ(korcamsim::cameraState(3).framesDelivered, uint64_t{kFrames});
    EXPECT_FALSE(korcamsim::cameraState(1).open);
}

TEST_F(Threads, LastErrorBelongsToTheCallingThread) {
    const CameraHandle h = KorcamCameraOpen(1);
    ASSERT_NE(h, 0u);
    std::atomic<int> ready{0};
    uint32_t seen[2] = {};
    auto failWith = [&](int index, auto failingCall) {
        failingCall();
        ++ready;
        while (ready.load() < 2) std::this_thread::yield();
        seen[index] = KorcamGetLastError();
    };
    std::vector<uint8_t> raw(16);
    std::thread a([&] { failWith(0, [&] { KorcamTakeVideo(h, 1, raw.data()); }); });
    std::thread b([&] { failWith(1, [&] { KorcamGetCameraId(0, nullptr); }); });
    a.join();
    b.join();
    EXPECT_EQ(seen[0], uint32_t{korcamsim::kErrorWrongState});
    EXPECT_EQ(seen[1], uint32_t{korcamsim::kErrorInvalidHandle});
}

TEST_F(Threads, OpenAndCloseRaceWithoutLosingHandles) {
    constexpr int kRounds = 3000;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const CameraHandle h = KorcamCameraOpen(1 + (t + i) % 3);
                if (h == 0 || KorcamCameraClose(h) == 0) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    for (int camera = 1; camera <= 3; ++camera) EXPECT_EQ(korcamsim::cameraState(camera).handles, 0u);
}

}  // namespace
