// The acquisition thread: runs, frame contents, the engine's answers, the
// listener's stop and restart, and every failure report.
#include "adaptor_test_support.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <ostream>

namespace adaptortest {
namespace {

class AcquisitionTest : public AdaptorTest {};

// The image of the last raw frame camera n delivered, as the adaptor builds it.
std::vector<std::uint8_t> expectedImage(std::int32_t camera, bool monochrome) {
    const korcamsim::Frame raw = korcamsim::lastFrame(camera);
    if (!monochrome) return korcamsim::convertFrame(camera, raw.bytes, raw.width, raw.height, 0);
    std::vector<std::uint8_t> image;
    image.reserve(raw.bytes.size() * 3);
    for (std::uint8_t sample : raw.bytes) image.insert(image.end(), {sample, sample, sample});
    return image;
}

TEST_F(AcquisitionTest, DeliversTheFramesAskedForWithTimeStamps) {
    auto input = makeInput(1);
    const double before = imaqkit::getCurrentTime();
    acquireFrames(*input, {25});
    const double after = imaqkit::getCurrentTime();
    EXPECT_EQ(input->framesReceived(), 25u);
    EXPECT_EQ(input->framesAcquired(), 25u);
    EXPECT_EQ(korcamsim::cameraState(1).framesDelivered, 25u);
    const std::vector<double> stamps = input->timeStamps();
    ASSERT_EQ(stamps.size(), 25u);
    EXPECT_TRUE(std::is_sorted(stamps.begin(), stamps.end()));
    // Stamped with the kit's clock while the run went on, not left as made.
    EXPECT_GE(stamps.front(), before);
    EXPECT_LE(stamps.back(), after);
    // Frames are grabbed at time-critical priority.
    EXPECT_EQ(input->frameThreadPriority(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_FALSE(korcamsim::cameraState(1).fastFrames);
    EXPECT_EQ(input->lateFrames(), 0u);
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(input->violations().empty());
}

TEST_F(AcquisitionTest, ColourFramesAreTheSdkConversionOfTheRawFrame) {
    auto input = makeInput(1);
    acquireFrames(*input, {3});
    korimaq::DeliveredFrame frame;
    ASSERT_TRUE(input->lastFrame(frame));
    EXPECT_EQ(frame.frameType, 0x1030000);
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 480);
    EXPECT_EQ(frame.pixels, expectedImage(1, false));
    // The run sends the adaptor's own settings: a centred 640x480 region at 8 bits.
    const korcamsim::CameraState state = korcamsim::cameraState(1);
    EXPECT_EQ(state.snapshot.format.xOffset, 320u);
    EXPECT_EQ(state.snapshot.format.yOffset, 272u);
    EXPECT_EQ(state.snapshot.format.pixelFormat, 0u);
    // Every conversion: the image's size, 8-bit samples, demosaicing method 3, colour correction 1.
    std::size_t conversions = 0;
    for (const auto& call : korcamsim::calls()) {
        if (call.op != "KorcamConvertFrameToRgb24") continue;
        ++conversions;
        EXPECT_EQ(call.args, (std::vector<double>{640, 480, 0, 3, 1}));
    }
    EXPECT_EQ(conversions, 3u);
}

TEST_F(AcquisitionTest, MonochromeFramesCarryTheSampleInAllThreeBands) {
    auto input = makeInput(2, "1280x1024");
    acquireFrames(*input, {3});
    korimaq::DeliveredFrame frame;
    ASSERT_TRUE(input->lastFrame(frame));
    ASSERT_EQ(frame.pixels.size(), 1280u * 1024u * 3u);
    EXPECT_EQ(frame.pixels, expectedImage(2, true));
    EXPECT_EQ(callCount("KorcamConvertFrameToRgb24"), 0u);  // no SDK call on the monochrome path
}

TEST_F(AcquisitionTest, CameraLeftIn16BitModeStillDelivers8BitFrames) {
    const CameraHandle handle = KorcamCameraOpen(2);
    FrameFormat format{0, 0, 2048, 1536, KORCAM_PIXEL_16BIT, 1, 0, 1, 0};
    ASSERT_TRUE(KorcamSetFormat(handle, &format, 15.0f));
    KorcamCameraClose(handle);
    auto input = makeInput(2);
    acquireFrames(*input, {2});
    korimaq::DeliveredFrame frame;
    ASSERT_TRUE(input->lastFrame(frame));
    EXPECT_EQ(korcamsim::lastFrame(2).pixelFormat, 0u);
    EXPECT_EQ(frame.pixels, expectedImage(2, true));
}

TEST_F(AcquisitionTest, RegionSmallerThanTheImageIsCutAtItsOffsets) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->setRoi(100, 40, 200, 120));
    acquireFrames(*input, {2});
    korimaq::DeliveredFrame frame;
    ASSERT_TRUE(input->lastFrame(frame));
    ASSERT_EQ(frame.width, 200);
    ASSERT_EQ(frame.height, 120);
    const std::vector<std::uint8_t> image = expectedImage(1, false);
    std::vector<std::uint8_t> region;
    for (int row = 40; row < 160; ++row) {
        const auto begin = image.begin() + (static_cast<std::ptrdiff_t>(row) * 640 + 100) * 3;
        region.insert(region.end(), begin, begin + 200 * 3);
    }
    EXPECT_EQ(frame.pixels, region);
}

TEST_F(AcquisitionTest, FramesNotToBeDeliveredAreStillTakenAndCounted) {
    auto input = makeInput(1);
    acquireFrames(*input, {4, 3});
    EXPECT_EQ(input->framesReceived(), 4u);
    EXPECT_EQ(input->framesAcquired(), 10u);  // frames 0, 3, 6 and 9 were delivered
    EXPECT_EQ(korcamsim::cameraState(1).framesDelivered, 10u);
    EXPECT_EQ(callCount("KorcamConvertFrameToRgb24"), 10u);
}

struct FrameFaultCase {
    const char* op;
    std::uint32_t code;
    std::uint64_t skip;  // good frames first
    const char* error;
};

// A frame the camera did not take, or that could not be converted, is
// reported, neither delivered nor counted, and the engine stops the run for
// the report: an unplugged camera does not spin.
TEST_F(AcquisitionTest, FrameNotTakenOrNotConvertedIsReportedNotDeliveredAndStopsTheRun) {
    const FrameFaultCase cases[] = {
        {"KorcamTakeFastFrame", 19, 2, "KorvixAdaptor:acquisitionThread|Cannot take a snapshot. Error: 19"},
        {"KorcamTakeFastFrame", 19, 0, "KorvixAdaptor:acquisitionThread|Cannot take a snapshot. Error: 19"},
        {"KorcamConvertFrameToRgb24", 5, 1, "KorvixAdaptor:acquisitionThread|Cannot convert frame to rgb24."},
    };
    for (const FrameFaultCase& fault : cases) {
        for (std::int32_t camera : {1, 2}) {
            if (camera == 2 && std::string(fault.op) == "KorcamConvertFrameToRgb24") continue;  // monochrome
            imaqkit::host::clearReports();
            korcamsim::clearCalls();
            auto input = makeInput(camera);
            ASSERT_TRUE(input->open());
            const std::uint64_t before = korcamsim::cameraState(camera).framesDelivered;
            korcamsim::failOperation(fault.op, fault.code, 1, fault.skip);
            ASSERT_TRUE(input->start({50}));
            ASSERT_TRUE(input->waitUntilStopped(kHang)) << fault.op;
            const auto reported = input->adaptorError();
            ASSERT_TRUE(reported.has_value()) << fault.op;
            EXPECT_EQ(reported->identifier + "|" + reported->message, fault.error);
            EXPECT_EQ(errors().front(), fault.error);
            EXPECT_LT(input->framesReceived(), 50u) << fault.op;
            // Every frame counted is a frame the camera took and the adaptor converted.
            const std::uint64_t taken = korcamsim::cameraState(camera).framesDelivered - before;
            const std::uint64_t spoilt = std::string(fault.op) == "KorcamConvertFrameToRgb24" ? 1 : 0;
            EXPECT_EQ(input->framesAcquired() + spoilt, taken) << fault.op << " camera " << camera;
            EXPECT_EQ(input->framesReceived(), input->framesAcquired());
            EXPECT_GE(input->framesAcquired(), fault.skip);
            korimaq::DeliveredFrame frame;
            if (fault.skip > 0 && camera == 2) {
                ASSERT_TRUE(input->firstFrame(frame));
                EXPECT_FALSE(
                    std::all_of(frame.pixels.begin(), frame.pixels.end(), [](std::uint8_t v) { return v == 0; }));
            }
            if (fault.skip == 0 && std::string(fault.op) == "KorcamTakeFastFrame") {
                // Nothing the camera took before the fault: nothing may be delivered from the raw buffer.
                EXPECT_LE(input->framesReceived(), taken);
            }
            EXPECT_FALSE(korcamsim::cameraState(camera).fastFrames);
            EXPECT_TRUE(input->violations().empty());
            korcamsim::clearFaults();
        }
    }
}

TEST_F(AcquisitionTest, UnpluggedCameraEndsTheAcquisition) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start({0}));
    ASSERT_TRUE(input->waitForFramesReceived(2, kHang));
    korcamsim::failOperation("KorcamTakeFastFrame", 2);  // no such camera from now on
    ASSERT_TRUE(input->waitUntilStopped(kHang));
    EXPECT_FALSE(input->isAcquiring());
    const auto reported = input->adaptorError();
    ASSERT_TRUE(reported.has_value());
    EXPECT_EQ(reported->message, "Cannot take a snapshot. Error: 2");
    EXPECT_EQ(input->framesAcquired(), korcamsim::cameraState(1).framesDelivered);
    EXPECT_FALSE(korcamsim::cameraState(1).fastFrames);
    korcamsim::clearFaults();
    // A new start after the camera is back acquires again.
    imaqkit::host::clearReports();
    ASSERT_TRUE(input->start({3}));
    ASSERT_TRUE(input->waitUntilComplete(kHang));
    EXPECT_FALSE(input->adaptorError().has_value());
    EXPECT_TRUE(errors().empty());
}

// The fast-frame take has no buffer size: a second holder of the camera that
// switches it to a larger (or smaller) frame must not make the first run
// write past its buffer, nor pass a wrong frame off as its own.
TEST_F(AcquisitionTest, AFrameOfAnotherSizeIsRefusedAsAnErrorOfTheRun) {
    struct Case {
        const char* first;
        const char* second;
    };
    for (const Case& c : {Case{"320x240", "1280x1024"}, Case{"1280x1024", "320x240"}}) {
        SCOPED_TRACE(std::string(c.first) + " under " + c.second);
        imaqkit::host::clearReports();
        auto first = makeInput(1, c.first);
        auto second = makeInput(1, c.second);
        ASSERT_TRUE(first->open());
        ASSERT_TRUE(second->open());
        ASSERT_TRUE(first->start({0}));
        ASSERT_TRUE(first->waitForFramesReceived(2, kHang));
        ASSERT_TRUE(second->start({0}));  // fast frames of its own size, on the same camera
        ASSERT_TRUE(first->waitUntilStopped(kHang));
        const auto reported = first->adaptorError();
        ASSERT_TRUE(reported.has_value());
        EXPECT_EQ(reported->message, std::string("The camera delivered a frame of another size than the ") + c.first +
                                         " 8-bit frame asked for; something else changed its format.");
        EXPECT_TRUE(first->violations().empty());
        second->stop();
        second->close();
        first->close();
    }
}

TEST_F(AcquisitionTest, StrobeDurationGoesToTheCameraAtEveryStart) {
    auto input = makeInput(1);
    std::string error;
    ASSERT_EQ(input->setProperty("StrobeDuration", "12").message, "");
    acquireFrames(*input, {1});
    std::vector<std::vector<double>> sent;
    for (const auto& call : korcamsim::calls())
        if (call.op == "KorcamSetProperty") sent.push_back(call.args);
    EXPECT_EQ(sent, (std::vector<std::vector<double>>{{116, 12, 0}}));
}

TEST_F(AcquisitionTest, CameraWithoutStrobeDurationStillAcquires) {
    auto input = makeInput(3);
    acquireFrames(*input, {4});
    EXPECT_EQ(input->framesReceived(), 4u);
    EXPECT_TRUE(errors().empty());
}

TEST_F(AcquisitionTest, TheWakeMessageOfOpeningStartsNoRun) {
    auto input = makeInput(1);
    const imaqkit::ICriticalSection* section = korvixOf(*input).criticalSection();
    ASSERT_TRUE(input->open());
    input->close();  // the thread has read every message once it has ended
    // A run takes the section before anything else, even one that then finds
    // a stop asked for; no run may have begun.
    EXPECT_EQ(imaqkit::host::timesEntered(section), 0u);
    acquireFrames(*input, {2});
    input->close();
    EXPECT_EQ(callCount("KorcamEnableFastFrames"), 1u);
    EXPECT_EQ(callCount("KorcamDisableFastFrames"), 1u);
}

// Holds the first frame, on the acquisition thread, from the moment stop
// capture asks for the stop until stop returns or a second has passed: a stop
// that does not wait for the run returns meanwhile.
class HoldingSink final : public korimaq::FrameSink {
public:
    explicit HoldingSink(const korvix::KorvixAdaptor& adaptor) : adaptor_(adaptor) {}
    bool frameReceived(std::vector<std::uint8_t>&, std::int32_t, std::int32_t, double,
                       const korimaq::FrameTag&) override {
        if (frames++ != 0) return true;
        while (!adaptor_.isStopRequested()) std::this_thread::yield();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!stopReturned && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (stopReturned) returnedDuringTheRun = true;
        return true;
    }
    std::atomic<int> frames{0};
    std::atomic<bool> stopReturned{false};
    std::atomic<bool> returnedDuringTheRun{false};

private:
    const korvix::KorvixAdaptor& adaptor_;
};

TEST_F(AcquisitionTest, StopReturnsOnlyWhenTheRunHasEnded) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    HoldingSink sink(korvixOf(*input));
    ASSERT_TRUE(input->setFrameSink(&sink));
    ASSERT_TRUE(input->start({0}));
    while (sink.frames == 0) std::this_thread::yield();
    input->stop();
    sink.stopReturned = true;
    EXPECT_FALSE(korcamsim::cameraState(1).fastFrames);
    input->close();
    EXPECT_FALSE(sink.returnedDuringTheRun);
    EXPECT_EQ(input->lateFrames(), 0u);
}

TEST_F(AcquisitionTest, StrobeOnReachesTheCameraWithTheNextRun) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    ASSERT_EQ(input->setProperty("Strobe", "On").message, "");
    ASSERT_EQ(input->setProperty("Exposure", "15").message, "");
    ASSERT_TRUE(input->start({1}));
    ASSERT_TRUE(input->waitUntilComplete(kHang));
    input->stop();
    EXPECT_EQ(korcamsim::cameraState(1).snapshot.strobeEnable, 1u);
    EXPECT_EQ(korcamsim::cameraState(1).snapshot.exposure, 15.0f);
}

TEST_F(AcquisitionTest, HostRefusesChangesWhileRunningAndTheListenerStillStopsAndRestarts) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    ASSERT_EQ(input->setProperty("Exposure", "10").message, "");
    EXPECT_EQ(callCount("KorcamEnableFastFrames"), 0u);
    EXPECT_FALSE(input->isAcquiring());

    ASSERT_TRUE(input->start({0}));
    ASSERT_TRUE(input->waitForFramesReceived(2, kHang));
    // Every device property is read-only while running: the host refuses and
    // the listener never hears of it.
    const korimaq::Status refused = input->setProperty("Exposure", "20");
    EXPECT_EQ(refused.code, korimaq::Status::READ_ONLY_WHILE_RUNNING);
    EXPECT_EQ(refused.message, "Exposure is read-only while the video input is running; stop it first");
    EXPECT_EQ(input->setProperty("Strobe", "On").code, korimaq::Status::READ_ONLY_WHILE_RUNNING);
    EXPECT_EQ(input->doubleValue("Exposure"), 10.0);
    EXPECT_EQ(callCount("KorcamEnableFastFrames"), 1u);
    // The listener's own path, for a host whose mode allowed the change.
    input->notifyListeners("Exposure", 30);
    EXPECT_TRUE(input->isAcquiring());
    const std::uint64_t atChange = input->framesReceived();
    ASSERT_TRUE(input->waitForFramesReceived(atChange + 2, kHang));
    input->stop();

    EXPECT_EQ(callCount("KorcamEnableFastFrames"), 2u);
    EXPECT_EQ(callCount("KorcamDisableFastFrames"), 2u);
    EXPECT_EQ(korcamsim::cameraState(1).snapshot.exposure, 30.0f);
    EXPECT_EQ(input->lateFrames(), 0u);
    EXPECT_TRUE(errors().empty());
}

TEST_F(AcquisitionTest, StopEndsTheRunBeforeTheNextFrame) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start({0}));
    ASSERT_TRUE(input->waitForFramesReceived(3, kHang));
    input->stop();
    const std::uint64_t taken = korcamsim::cameraState(1).framesDelivered;
    const std::uint64_t received = input->framesReceived();
    EXPECT_FALSE(korcamsim::cameraState(1).fastFrames);
    input->close();
    EXPECT_EQ(korcamsim::cameraState(1).framesDelivered, taken);
    EXPECT_EQ(input->framesReceived(), received);
    EXPECT_EQ(input->lateFrames(), 0u);
}

TEST_F(AcquisitionTest, StartMessageStillQueuedWhenStopReturnedStartsNoRun) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    // Holding the section on the engine's thread keeps the acquisition thread
    // from beginning the run until stop capture has returned (the section
    // admits its holder again).
    imaqkit::ICriticalSection& section = *korvixOf(*input).criticalSection();
    input->onEngineThread([&] {
        section.enter();
        ASSERT_TRUE(input->start({0}));
        input->stop();
        section.leave();
    });
    input->close();
    EXPECT_EQ(callCount("KorcamEnableFastFrames"), 0u);
    EXPECT_EQ(input->framesReceived(), 0u);
    EXPECT_TRUE(errors().empty());
}

TEST_F(AcquisitionTest, ClosingTheAdaptorEndsARunThatNobodyStopped) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start({0}));
    ASSERT_TRUE(input->waitForFramesReceived(2, kHang));
    // The engine's manager still reports the acquisition running.
    input->onEngineThread([&] { EXPECT_TRUE(input->adaptor()->closeDevice()); });
    const korcamsim::CameraState state = korcamsim::cameraState(1);
    EXPECT_FALSE(state.fastFrames);
    EXPECT_EQ(state.handles, 0u);
}

struct RunFaultCase {
    const char* label;
    const char* op;      // SDK fault, or "" for a heap fault
    std::uint64_t skip;  // calls (or large blocks) let through first
    std::vector<std::string> errors;
    std::uint64_t framesTaken;
    std::size_t enableCalls;  // the run came as far as asking for fast frames
};

std::ostream& operator<<(std::ostream& out, const RunFaultCase& fault) { return out << fault.label; }

class RunFaultTest : public AcquisitionTest, public ::testing::WithParamInterface<RunFaultCase> {};

TEST_P(RunFaultTest, ReportsEndsTheRunCleanlyAndTheNextRunWorks) {
    const RunFaultCase& fault = GetParam();
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    if (*fault.op)
        korcamsim::failOperation(fault.op, 5, 1, fault.skip);
    else
        imaqkit::host::setAllocationFault(fault.skip, 1, 640 * 480);
    ASSERT_TRUE(input->start({3}));
    // Stopping before the thread took the start message would skip the run.
    ASSERT_TRUE(waitForErrors(1));
    input->stop();
    // Fast frames stay on only where the camera refused to switch them off.
    EXPECT_EQ(korcamsim::cameraState(1).fastFrames, std::string(fault.op) == "KorcamDisableFastFrames");
    input->close();  // every message handled
    EXPECT_EQ(errors(), fault.errors);
    EXPECT_EQ(korcamsim::cameraState(1).framesDelivered, fault.framesTaken);
    EXPECT_EQ(callCount("KorcamEnableFastFrames"), fault.enableCalls);
    EXPECT_EQ(korcamsim::cameraState(1).handles, 0u);

    korcamsim::clearFaults();
    imaqkit::host::setAllocationFault(0, 0, 0);
    acquireFrames(*input, {2});
    EXPECT_EQ(input->framesReceived(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Acquisition, RunFaultTest,
    ::testing::Values(
        RunFaultCase{
            "ColourFormat", "KorcamGetProperty", 0, {"KorvixAdaptor:acquisitionThread|Cannot get color format."}, 0, 0},
        RunFaultCase{"StrobeDuration",
                     "KorcamSetProperty",
                     0,
                     {"KorvixAdaptor:acquisitionThread|Cannot set strobe duration."},
                     0,
                     0},
        RunFaultCase{"EnableFastFrames",
                     "KorcamEnableFastFrames",
                     0,
                     {"KorvixAdaptor:acquisitionThread|Cannot enable fast frames."},
                     0,
                     1},
        RunFaultCase{"DisableFastFrames",
                     "KorcamDisableFastFrames",
                     0,
                     {"KorvixAdaptor:acquisitionThread|Cannot disable fast frames."},
                     3,
                     1},
        RunFaultCase{"RawBuffer", "", 0, {"KorvixAdaptor:acquisitionThread|Not enough mem for raw buffer."}, 0, 1},
        RunFaultCase{
            "ColourBuffer", "", 1, {"KorvixAdaptor:acquisitionThread|Not enough mem for color buffer."}, 0, 1}),
    [](const ::testing::TestParamInfo<RunFaultCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace adaptortest
