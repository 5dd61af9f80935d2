// The virtual cameras as the gateway and the adaptor rely on them: the default
// rig, format rules, faults, the call log, frames and the state machine.
#include "sim_test_support.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <stdexcept>

using namespace simtest;

namespace {

class Sim : public ::testing::Test {
protected:
    // Unpaced: these tests check what the cameras answer, not when; a triggered
    // frame times out at once instead of after its timeout.
    void SetUp() override {
        korcamsim::reset();
        korcamsim::setPacing(false);
    }
    void TearDown() override { korcamsim::reset(); }

    CameraHandle open(int32_t camera) {
        const CameraHandle handle = KorcamCameraOpen(camera);
        EXPECT_NE(handle, 0u) << "camera " << camera;
        return handle;
    }
};

// ---------------------------------------------------------------------------
// Default rig

TEST_F(Sim, DefaultRigAnswersFromItsTable) {
    struct Row {
        int32_t camera;
        uint32_t id;
        float colorValue;
        int32_t colorFlags;
        float maxWidth, maxHeight;
        bool bits16;
        bool strobeDuration;
        uint32_t interfaceType, pixelDepth;
    };
    const Row rows[] = {
        {1, 0x91, 1.0f, 0, 1280, 1024, false, true, 2, 8},
        {2, 0x18C, 0.0f, static_cast<int32_t>(0x80000000u), 2048, 1536, true, true, 2, 12},
        {3, 0x7777, 1.0f, 0, 640, 480, false, false, 1, 8},
    };
    ASSERT_EQ(KorcamNumCameras(), 3);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.camera);
        const CameraHandle h = open(row.camera);
        uint32_t value = 0;
        ASSERT_NE(KorcamGetCameraId(h, &value), 0);
        EXPECT_EQ(value, row.id);
        ASSERT_NE(KorcamQueryExternInterface(h, &value), 0);
        EXPECT_EQ(value, row.interfaceType);
        ASSERT_NE(KorcamGetTruePixelDepth(h, &value), 0);
        EXPECT_EQ(value, row.pixelDepth);

        float v = -1;
        int32_t flags = -1;
        ASSERT_NE(KorcamGetProperty(h, KORCAM_PROP_COLOR_FORMAT, &v, &flags), 0);
        EXPECT_EQ(v, row.colorValue);
        EXPECT_EQ(flags, row.colorFlags);
        ASSERT_NE(KorcamGetProperty(h, KORCAM_PROP_MAX_WIDTH, &v, &flags), 0);
        EXPECT_EQ(v, row.maxWidth);
        ASSERT_NE(KorcamGetProperty(h, KORCAM_PROP_MAX_HEIGHT, &v, &flags), 0);
        EXPECT_EQ(v, row.maxHeight);

        float lo, hi, def;
        EXPECT_EQ(KorcamPropertyRange(h, KORCAM_PROP_STROBE_DURATION, &lo, &hi, &def, &flags) != 0, row.strobeDuration);
        EXPECT_EQ(KorcamSetProperty(h, KORCAM_PROP_STROBE_DURATION, 1.0f, 0) != 0, row.strobeDuration);
        if (!row.strobeDuration) {
            EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_NOT_SUPPORTED});
        }

        FrameFormat f{};
        float rate = 0;
        ASSERT_NE(KorcamGetFormat(h, &f, &rate), 0);
        EXPECT_EQ(f.width, static_cast<uint32_t>(row.maxWidth));
        EXPECT_EQ(f.height, static_cast<uint32_t>(row.maxHeight));
        EXPECT_EQ(f.xOffset, 0u);
        EXPECT_EQ(f.yOffset, 0u);
        EXPECT_EQ(f.pixelFormat, 0u);
        EXPECT_EQ(f.xBinSub, 1);
        EXPECT_EQ(f.yBinSub, 1);
        EXPECT_EQ(f.xFlags, 0);
        EXPECT_EQ(f.yFlags, 0);
        EXPECT_EQ(rate, 15.0f);
        f.pixelFormat = 1;
        EXPECT_EQ(KorcamSetFormat(h, &f, rate) != 0, row.bits16);

        ASSERT_EQ(KorcamEnumAvailableFrameRates(h, 0, nullptr), 4);
        float rates[4] = {};
        ASSERT_EQ(KorcamEnumAvailableFrameRates(h, 4, rates), 4);
        EXPECT_EQ(std::vector<float>(rates, rates + 4), (std::vector<float>{3.75f, 7.5f, 15.0f, 30.0f}));
    }
}

TEST_F(Sim, EnumerationFillsVersionRecordsOfTheRig) {
    std::vector<korcamsim::CameraSpec> rig = korcamsim::defaultRig();
    rig[0].api = 0x01020304;
    rig[1].serial = 0xFFFFFFFFu;
    korcamsim::setRig(rig);
    VersionInfo records[5] = {};
    ASSERT_EQ(KorcamEnumCameras(records, 5), 3u);
    EXPECT_EQ(records[0].api, 0x01020304u);
    EXPECT_EQ(records[1].serialNumber, 0xFFFFFFFFu);
    EXPECT_EQ(records[2].serialNumber, rig[2].serial);
    EXPECT_EQ(KorcamEnumCameras(records, 2), 2u);

    const CameraHandle h = open(2);
    VersionInfo version{};
    ASSERT_NE(KorcamQueryVersion(h, &version), 0);
    EXPECT_EQ(version.serialNumber, 0xFFFFFFFFu);
    EXPECT_EQ(version.firmware, rig[1].firmware);
}

TEST_F(Sim, RigRejectsImpossibleCameras) {
    korcamsim::CameraSpec noRates;
    noRates.frameRates.clear();
    korcamsim::CameraSpec zeroWide;
    zeroWide.maxWidth = 0;
    korcamsim::CameraSpec tooHigh;
    tooHigh.maxHeight = korcamsim::kMaxSensorSide + 1;
    for (const auto& model : {noRates, zeroWide, tooHigh})
        EXPECT_THROW(korcamsim::setRig({model}), std::invalid_argument);
    EXPECT_EQ(KorcamNumCameras(), 3) << "a refused rig leaves the old one";
}

// ---------------------------------------------------------------------------
// Formats

TEST_F(Sim, FormatAcceptanceRules) {
    struct Case {
        const char* what;
        int32_t camera;
        FrameFormat format;
        float rate;
        bool accepted;
    };
    // x offset, y offset, width, height, pixel format, x bin, x flags, y bin, y flags
    const Case cases[] = {
        {"full sensor", 1, {0, 0, 1280, 1024, 0, 1, 0, 1, 0}, 15, true},
        {"region touching both far edges", 1, {280, 24, 1000, 1000, 0, 1, 0, 1, 0}, 30, true},
        {"one column beyond the sensor", 1, {281, 0, 1000, 1000, 0, 1, 0, 1, 0}, 15, false},
        {"one row beyond the sensor", 1, {0, 25, 1000, 1000, 0, 1, 0, 1, 0}, 15, false},
        {"offset that wraps in 32 bits", 1, {0xFFFFFFFFu, 0, 2, 2, 0, 1, 0, 1, 0}, 15, false},
        {"zero width", 1, {0, 0, 0, 480, 0, 1, 0, 1, 0}, 15, false},
        {"zero height", 1, {0, 0, 640, 0, 0, 1, 0, 1, 0}, 15, false},
        {"binning 2 and 4", 1, {0, 0, 640, 480, 0, 2, 0, 4, 0}, 15, true},
        {"binning 3", 1, {0, 0, 639, 480, 0, 3, 0, 1, 0}, 15, false},
        {"binning 0", 1, {0, 0, 640, 480, 0, 1, 0, 0, 0}, 15, false},
        {"binning 4 not dividing the width", 1, {0, 0, 642, 480, 0, 4, 0, 1, 0}, 15, false},
        {"flags pass through", 1, {0, 0, 640, 480, 0, 1, 0x1234, 1, 0xFFFF}, 15, true},
        {"16 bits on an 8-bit camera", 1, {0, 0, 640, 480, 1, 1, 0, 1, 0}, 15, false},
        {"16 bits on a 16-bit camera", 2, {0, 0, 640, 480, 1, 1, 0, 1, 0}, 15, true},
        {"YUV", 2, {0, 0, 640, 480, 3, 1, 0, 1, 0}, 15, false},
        {"rate 3.75", 1, {0, 0, 640, 480, 0, 1, 0, 1, 0}, 3.75f, true},
        {"rate 16", 1, {0, 0, 640, 480, 0, 1, 0, 1, 0}, 16, false},
        {"rate NaN", 1, {0, 0, 640, 480, 0, 1, 0, 1, 0}, std::numeric_limits<float>::quiet_NaN(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        korcamsim::reset();
        const CameraHandle h = open(c.camera);
        const FrameFormat before = currentFormat(h);
        const KorcamBool result = KorcamSetFormat(h, &c.format, c.rate);
        ASSERT_EQ(result != 0, c.accepted);
        FrameFormat after{};
        float rate = 0;
        ASSERT_NE(KorcamGetFormat(h, &after, &rate), 0);
        if (c.accepted) {
            EXPECT_EQ(std::memcmp(&after, &c.format, sizeof after), 0);
            EXPECT_EQ(rate, c.rate);
        } else {
            EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_FORMAT_NOT_SUPPORTED});
            EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
            EXPECT_EQ(rate, 15.0f);
        }
    }
}

TEST_F(Sim, HugeSensorsAreAcceptedWithoutAllocatingFrames) {
    korcamsim::CameraSpec huge;
    huge.maxWidth = 65535;
    huge.maxHeight = 65535;
    huge.bits16 = true;
    korcamsim::setRig({huge});
    const CameraHandle h = open(1);
    FrameFormat f = currentFormat(h);
    EXPECT_EQ(f.width, 65535u);
    f.pixelFormat = 1;
    ASSERT_NE(KorcamSetFormat(h, &f, 15), 0);
    EXPECT_EQ(korcamsim::cameraState(1).format.pixelFormat, 1u);
    // An 8 GiB frame is only drawn when someone supplies its buffer; a small
    // region of the same sensor streams as usual.
    f = FrameFormat{65535 - 64, 65535 - 48, 64, 48, 1, 1, 0, 1, 0};
    const std::vector<uint8_t> raw = snapshot(h, f);
    ASSERT_EQ(raw.size(), 64u * 48 * 2);
}

TEST_F(Sim, FramesChangeTheFormatOnlyThroughSetFormat) {
    const CameraHandle h = open(1);
    const FrameFormat region{640, 512, 320, 256, 0, 2, 0, 2, 0};
    const std::vector<uint8_t> raw = snapshot(h, region);
    ASSERT_EQ(raw.size(), 160u * 128);
    EXPECT_EQ(currentFormat(h).width, 1280u) << "a snapshot leaves the live format alone";
    const korcamsim::Frame frame = korcamsim::lastFrame(1);
    EXPECT_EQ(frame.width, 160u);
    EXPECT_EQ(frame.height, 128u);
    EXPECT_EQ(frame.bytes, raw);

    FrameFormat outside = region;
    outside.xOffset = 1000;
    EXPECT_TRUE(snapshot(h, outside).empty());
    EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_FORMAT_NOT_SUPPORTED});
}

// ---------------------------------------------------------------------------
// Faults and camera count

TEST_F(Sim, InjectedFaultHonoursSkipAndCount) {
    const CameraHandle h = open(1);
    korcamsim::failOperation("KorcamGetFormat", 77, 3, 2);
    FrameFormat f{};
    float rate = 0;
    std::vector<int> results;
    for (int i = 0; i < 7; ++i) {
        KorcamBool ok = KorcamGetFormat(h, &f, &rate);
        results.push_back(ok != 0);
        if (!ok) {
            EXPECT_EQ(KorcamGetLastError(), 77u);
        }
    }
    EXPECT_EQ(results, (std::vector<int>{1, 1, 0, 0, 0, 1, 1}));

    korcamsim::failOperation("KorcamGetFormat", 5);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(KorcamGetFormat(h, &f, &rate), 0);
    korcamsim::clearFaults();
    EXPECT_NE(KorcamGetFormat(h, &f, &rate), 0);
}

TEST_F(Sim, InjectedFaultsReturnEachOperationsFailureValue) {
    korcamsim::failOperation("KorcamNumCameras", 11);
    EXPECT_EQ(KorcamNumCameras(), -1);
    EXPECT_EQ(KorcamGetLastError(), 11u);
    korcamsim::failOperation("KorcamEnumCameras", 12);
    VersionInfo records[3];
    EXPECT_EQ(KorcamEnumCameras(records, 3), 0u);
    EXPECT_EQ(KorcamGetLastError(), 12u);
    korcamsim::failOperation("KorcamCameraOpen", 13, 1);
    EXPECT_EQ(KorcamCameraOpen(1), 0u);
    EXPECT_EQ(KorcamGetLastError(), 13u);
    const CameraHandle a = open(1);
    const CameraHandle b = open(2);
    korcamsim::failOperation("KorcamEnumAvailableFrameRates", 14);
    EXPECT_EQ(KorcamEnumAvailableFrameRates(a, 0, nullptr), 0);
    korcamsim::failOperation("KorcamEnableSynchronousSnapshots", 15);
    const CameraHandle handles[] = {a, b};
    SnapshotSettings sa = settingsFor(currentFormat(a)), sb = settingsFor(currentFormat(b));
    SnapshotSettings* settings[] = {&sa, &sb};
    EXPECT_EQ(KorcamEnableSynchronousSnapshots(2, handles, settings), 0u);
    EXPECT_EQ(KorcamGetLastError(), 15u);
}

TEST_F(Sim, FaultNamesAreChecked) {
    EXPECT_THROW(korcamsim::failOperation("KorcamGetFormt", 1), std::invalid_argument);
    EXPECT_THROW(korcamsim::failOperation("KorcamGetLastError", 1), std::invalid_argument);
    EXPECT_THROW(korcamsim::failOperation("KorcamGetFormat", 1, 0), std::invalid_argument);
    for (const std::string& name : korcamsim::operationNames())
        if (name != "KorcamGetLastError") {
            EXPECT_NO_THROW(korcamsim::failOperation(name, 1)) << name;
        }
    EXPECT_EQ(korcamsim::operationNames().size(), 42u);
}

TEST_F(Sim, CallLogLookUpsCountOperationsAndRefuseOtherNames) {
    const CameraHandle first = open(1);
    open(2);
    FrameFormat f{};
    float rate;
    KorcamGetFormat(first, &f, &rate);
    KorcamGetFormat(first, &f, &rate);
    EXPECT_EQ(korcamsim::callCount("KorcamCameraOpen"), 2u);
    EXPECT_EQ(korcamsim::callCount("KorcamCameraOpen", 2), 1u);
    EXPECT_EQ(korcamsim::callCount("KorcamGetFormat", 1), 2u);
    EXPECT_EQ(korcamsim::callCount("KorcamTakeVideo"), 0u);
    // A misspelt name would otherwise count nothing and pass for "never called".
    EXPECT_THROW(korcamsim::callCount("KorcamGetFormt"), std::invalid_argument);
    EXPECT_THROW(korcamsim::callCount("GetFormat"), std::invalid_argument);
}

TEST_F(Sim, CameraCountOverrideUnplugsCameras) {
    const CameraHandle second = open(2);
    korcamsim::setCameraCount(1);
    EXPECT_EQ(KorcamNumCameras(), 1);
    EXPECT_EQ(KorcamCameraOpen(2), 0u);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{korcamsim::kErrorNoSuchCamera});
    FrameFormat f{};
    float rate;
    EXPECT_EQ(KorcamGetFormat(second, &f, &rate), 0) << "an unplugged camera answers nothing";
    VersionInfo records[3];
    EXPECT_EQ(KorcamEnumCameras(records, 3), 1u);

    korcamsim::setCameraCount(-1);
    EXPECT_EQ(KorcamNumCameras(), -1);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{korcamsim::kErrorCountFailed});

    korcamsim::clearCameraCount();
    EXPECT_EQ(KorcamNumCameras(), 3);
    EXPECT_NE(KorcamGetFormat(second, &f, &rate), 0) << "plugged in again";
    EXPECT_NE(KorcamCameraClose(second), 0);
}

// ---------------------------------------------------------------------------
// Call log

TEST_F(Sim, CallLogRecordsCameraAndScalarArguments) {
    KorcamNumCameras();
    const CameraHandle h = open(2);
    float v;
    int32_t flags;
    KorcamGetProperty(h, 81, &v, &flags);
    KorcamSetProperty(h, 1, 0.5f, 8);
    KorcamStreamVideoControl(h, 2, nullptr);
    FrameFormat f = currentFormat(h);
    KorcamSetFormat(h, &f, 7.5f);
    KorcamGpioWrite(h, 300);
    KorcamAutoFocusStart(h, 1, 2, 3, 4, 0.5f, 1.5f, 2.5f, 5, 6);
    KorcamGetLastError();
    KorcamCameraClose(h);
    KorcamCameraClose(h);

    struct Expected {
        const char* op;
        uint32_t camera;
        std::vector<double> args;
    };
    const std::vector<Expected> expected = {
        {"KorcamNumCameras", 0, {}},
        {"KorcamCameraOpen", 2, {2}},
        {"KorcamGetProperty", 2, {81}},
        {"KorcamSetProperty", 2, {1, 0.5, 8}},
        {"KorcamStreamVideoControl", 2, {2}},
        {"KorcamGetFormat", 2, {}},
        {"KorcamSetFormat", 2, {7.5}},
        {"KorcamGpioWrite", 2, {300}},
        {"KorcamAutoFocusStart", 2, {1, 2, 3, 4, 0.5, 1.5, 2.5, 5, 6}},
        {"KorcamGetLastError", 0, {}},
        {"KorcamCameraClose", 2, {}},
        {"KorcamCameraClose", 0, {}},  // the handle is gone: no camera behind it
    };
    const std::vector<korcamsim::CallRecord> log = korcamsim::calls();
    ASSERT_EQ(log.size(), expected.size());
    for (std::size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log[i].op, expected[i].op);
        EXPECT_EQ(log[i].camera, expected[i].camera);
        EXPECT_EQ(log[i].args, expected[i].args);
    }
    korcamsim::clearCalls();
    EXPECT_TRUE(korcamsim::calls().empty());
}

TEST_F(Sim, CallLogKeepsTheLatestCalls) {
    const std::size_t extra = 5;
    for (std::size_t i = 0; i < korcamsim::kCallLogCapacity + extra; ++i)
        KorcamCameraOpen(static_cast<int32_t>(i % 1000));
    const std::vector<korcamsim::CallRecord> log = korcamsim::calls();
    ASSERT_EQ(log.size(), korcamsim::kCallLogCapacity);
    EXPECT_EQ(log.front().args, std::vector<double>{double(extra % 1000)});
    EXPECT_EQ(log.back().args, std::vector<double>{double((korcamsim::kCallLogCapacity + extra - 1) % 1000)});
}

// ---------------------------------------------------------------------------
// Handles and state machine

TEST_F(Sim, EveryOpenGivesANewHandleWithoutLimit) {
    std::set<CameraHandle> handles;
    for (int i = 0; i < 20000; ++i) handles.insert(open(1 + i % 3));
    EXPECT_EQ(handles.size(), 20000u);
    EXPECT_EQ(korcamsim::cameraState(1).handles, 6667u);
    for (CameraHandle h : handles) ASSERT_NE(KorcamCameraClose(h), 0);
    EXPECT_FALSE(korcamsim::cameraState(1).open);

    const CameraHandle first = open(1);
    ASSERT_NE(KorcamCameraClose(first), 0);
    const CameraHandle second = open(1);
    EXPECT_NE(first, second) << "a closed handle is never handed out again";
    uint32_t id;
    EXPECT_EQ(KorcamGetCameraId(first, &id), 0);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{korcamsim::kErrorInvalidHandle});
    EXPECT_EQ(KorcamCameraOpen(0), 0u);
    EXPECT_EQ(KorcamCameraOpen(4), 0u);
}

TEST_F(Sim, FormatSurvivesCloseAndReopen) {
    CameraHandle h = open(1);
    const FrameFormat small{0, 0, 640, 480, 0, 1, 0, 1, 0};
    ASSERT_NE(KorcamSetFormat(h, &small, 30), 0);
    KorcamCameraClose(h);
    h = open(1);
    EXPECT_EQ(currentFormat(h).width, 640u);
}

TEST_F(Sim, StreamingStateMachine) {
    const CameraHandle h = open(3);
    std::vector<uint8_t> raw(640 * 480);
    EXPECT_EQ(KorcamTakeVideo(h, 1, raw.data()), 0) << "no video before streaming";
    EXPECT_EQ(KorcamGetLastError(), uint32_t{korcamsim::kErrorWrongState});
    EXPECT_EQ(KorcamStreamVideoControl(h, KORCAM_STREAM_STOP, nullptr), 0);
    EXPECT_EQ(KorcamDestroyDisplayWindow(h), 0);

    ASSERT_NE(KorcamStreamVideoControl(h, KORCAM_STREAM_START_OWN_WINDOW, nullptr), 0);
    korcamsim::CameraState state = korcamsim::cameraState(3);
    EXPECT_TRUE(state.streaming);
    EXPECT_TRUE(state.window);
    EXPECT_EQ(KorcamStreamVideoControl(h, KORCAM_STREAM_START_OWN_WINDOW, nullptr), 0) << "already streaming";
    EXPECT_NE(KorcamTakeVideo(h, 1, raw.data()), 0);
    EXPECT_EQ(KorcamTakeVideo(h, 2, raw.data()), 0) << "the buffer holds one frame";
    EXPECT_EQ(KorcamTakeVideo(h, 1, nullptr), 0);
    EXPECT_EQ(KorcamStreamVideoControl(h, 1, nullptr), 0);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_NOT_SUPPORTED});

    ASSERT_NE(KorcamStreamVideoControl(h, KORCAM_STREAM_STOP, nullptr), 0);
    EXPECT_EQ(KorcamTakeVideo(h, 1, raw.data()), 0);
    EXPECT_TRUE(korcamsim::cameraState(3).window) << "the window outlives the stream";
    ASSERT_NE(KorcamDestroyDisplayWindow(h), 0);
    EXPECT_FALSE(korcamsim::cameraState(3).window);

    ASSERT_NE(KorcamStreamVideoControl(h, KORCAM_STREAM_START_OWN_WINDOW, nullptr), 0);
    ASSERT_NE(KorcamCameraClose(h), 0);
    state = korcamsim::cameraState(3);
    EXPECT_FALSE(state.open);
    EXPECT_FALSE(state.streaming) << "closing the last handle stops the stream";
    EXPECT_FALSE(state.window);
}

TEST_F(Sim, FastFrameStateMachine) {
    const CameraHandle h = open(3);
    std::vector<uint8_t> raw(640 * 480);
    EXPECT_EQ(KorcamTakeFastFrame(h, raw.data()), 0) << "no fast frame before enabling";
    EXPECT_EQ(KorcamGetLastError(), uint32_t{korcamsim::kErrorWrongState});
    EXPECT_EQ(KorcamDisableFastFrames(h), 0);

    SnapshotSettings settings = settingsFor(currentFormat(h), 50.0f);
    settings.format.pixelFormat = 1;
    EXPECT_EQ(KorcamEnableFastFrames(h, &settings), 0) << "an 8-bit camera refuses 16-bit fast frames";
    EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_FORMAT_NOT_SUPPORTED});
    EXPECT_FALSE(korcamsim::cameraState(3).fastFrames);

    settings.format.pixelFormat = 0;
    ASSERT_NE(KorcamEnableFastFrames(h, &settings), 0);
    korcamsim::CameraState state = korcamsim::cameraState(3);
    EXPECT_TRUE(state.fastFrames);
    EXPECT_EQ(state.snapshot.exposure, 50.0f);
    for (int i = 0; i < 3; ++i) ASSERT_NE(KorcamTakeFastFrame(h, raw.data()), 0);
    EXPECT_EQ(korcamsim::lastFrame(3).number, 3u);
    EXPECT_EQ(korcamsim::lastFrame(3).bytes, raw);
    ASSERT_NE(KorcamDisableFastFrames(h), 0);
    EXPECT_FALSE(korcamsim::cameraState(3).fastFrames);
    EXPECT_EQ(KorcamTakeFastFrame(h, raw.data()), 0);
    EXPECT_EQ(KorcamDisableFastFrames(h), 0);
}

TEST_F(Sim, TriggeredFramesTimeOut) {
    const CameraHandle h = open(1);
    SnapshotSettings settings = settingsFor(currentFormat(h));
    settings.hardwareTriggerEnable = 1;
    std::vector<uint8_t> raw(rawBytes(settings.format));
    EXPECT_EQ(KorcamTakeSnapshot(h, &settings, raw.data()), 0);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_TIMEOUT});
    EXPECT_EQ(korcamsim::cameraState(1).snapshot.hardwareTriggerEnable, 1u) << "the settings were handed over";
    EXPECT_EQ(korcamsim::lastFrame(1).number, 0u);
}

TEST_F(Sim, SynchronousSnapshotsFillEveryBuffer) {
    const CameraHandle a = open(1);
    const CameraHandle b = open(3);
    SnapshotSettings sa = settingsFor({0, 0, 640, 480, 0, 1, 0, 1, 0}, 20.0f);
    SnapshotSettings sb = settingsFor(currentFormat(b), 30.0f);
    SnapshotSettings* settings[] = {&sa, &sb};
    const CameraHandle handles[] = {a, b};
    const SyncGroupHandle group = KorcamEnableSynchronousSnapshots(2, handles, settings);
    ASSERT_NE(group, 0u);
    EXPECT_EQ(korcamsim::cameraState(1).snapshot.exposure, 20.0f);
    EXPECT_EQ(korcamsim::cameraState(3).snapshot.exposure, 30.0f);

    std::vector<uint8_t> ra(640 * 480), rb(640 * 480);
    void* buffers[] = {ra.data(), rb.data()};
    ASSERT_NE(KorcamTakeSynchronousSnapshots(group, buffers), 0);
    EXPECT_EQ(korcamsim::lastFrame(1).bytes, ra);
    EXPECT_EQ(korcamsim::lastFrame(3).bytes, rb);
    ASSERT_NE(KorcamDisableSynchronousSnapshots(group), 0);
    EXPECT_EQ(KorcamTakeSynchronousSnapshots(group, buffers), 0);
    EXPECT_EQ(KorcamDisableSynchronousSnapshots(group), 0);

    const CameraHandle bad[] = {a, 12345};
    EXPECT_EQ(KorcamEnableSynchronousSnapshots(2, bad, settings), 0u);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{korcamsim::kErrorInvalidHandle});
}

// ---------------------------------------------------------------------------
// Properties, GPIO, lens

TEST_F(Sim, PropertiesClampRefuseAndReadBack) {
    const CameraHandle h = open(1);
    float v, lo, hi, def;
    int32_t flags;
    ASSERT_NE(KorcamPropertyRange(h, KORCAM_PROP_GAIN, &lo, &hi, &def, &flags), 0);
    ASSERT_NE(KorcamSetProperty(h, KORCAM_PROP_GAIN, hi + 100, 3), 0);
    ASSERT_NE(KorcamGetProperty(h, KORCAM_PROP_GAIN, &v, &flags), 0);
    EXPECT_EQ(v, hi);
    EXPECT_EQ(flags, 3);
    ASSERT_NE(KorcamSetProperty(h, KORCAM_PROP_BRIGHTNESS, -3.0f, 0), 0);
    ASSERT_NE(KorcamGetProperty(h, KORCAM_PROP_BRIGHTNESS, &v, &flags), 0);
    EXPECT_EQ(v, -3.0f);

    struct Refusal {
        int32_t id;
        float value;
        uint32_t code;
    };
    for (const Refusal& r : {Refusal{KORCAM_PROP_GAMMA, std::nanf(""), korcamsim::kErrorInvalidParameter},
                             Refusal{KORCAM_PROP_COLOR_FORMAT, 0.0f, korcamsim::kErrorReadOnly},
                             Refusal{KORCAM_PROP_MAX_WIDTH, 100.0f, korcamsim::kErrorReadOnly},
                             Refusal{999, 1.0f, KORCAM_ERROR_NOT_SUPPORTED}}) {
        SCOPED_TRACE(r.id);
        EXPECT_EQ(KorcamSetProperty(h, r.id, r.value, 0), 0);
        EXPECT_EQ(KorcamGetLastError(), r.code);
    }
    EXPECT_EQ(KorcamGetProperty(h, 999, &v, &flags), 0);
    EXPECT_EQ(KorcamGetProperty(h, KORCAM_PROP_GAIN, nullptr, &flags), 0);

    korcamsim::setPropertyValue(1, 999, 4.0f);
    korcamsim::setPropertyFlags(1, KORCAM_PROP_COLOR_FORMAT, static_cast<int32_t>(0x80000000u));
    ASSERT_NE(KorcamGetProperty(h, 999, &v, &flags), 0);
    EXPECT_EQ(v, 4.0f);
    ASSERT_NE(KorcamGetProperty(h, KORCAM_PROP_COLOR_FORMAT, &v, &flags), 0);
    EXPECT_EQ(static_cast<uint32_t>(flags), 0x80000000u);
    EXPECT_EQ(v, 1.0f);
    EXPECT_THROW(korcamsim::setPropertyValue(4, 1, 1.0f), std::out_of_range);
}

TEST_F(Sim, GpioReadsBackWhatWasWrittenAndSelected) {
    const CameraHandle h = open(2);
    ASSERT_NE(KorcamGpioWrite(h, 0x1AB), 0);
    ASSERT_NE(KorcamGpoSelect(h, 0x3C), 0);
    uint8_t first = 0, second = 0;
    ASSERT_NE(KorcamGpioRead(h, &first, &second), 0);
    EXPECT_EQ(first, 0xAB);
    EXPECT_EQ(second, 0x3C);
    EXPECT_EQ(korcamsim::cameraState(2).gpioValue, 0xAB);
}

TEST_F(Sim, AutoFocusProgressRisesToCompletion) {
    const CameraHandle h = open(1);
    float progress = -1;
    ASSERT_NE(KorcamAutoFocusQueryProgress(h, &progress), 0);
    EXPECT_EQ(progress, 0.0f);
    ASSERT_NE(KorcamInitAutoLens(h, 1), 0);
    ASSERT_NE(KorcamAutoFocusStart(h, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    float last = 0;
    for (int i = 0; i < 10 && last < 100; ++i) {
        ASSERT_NE(KorcamAutoFocusQueryProgress(h, &progress), 0);
        EXPECT_GT(progress, last);
        last = progress;
    }
    EXPECT_EQ(last, 100.0f);
    ASSERT_NE(KorcamAutoFocusStart(h, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_NE(KorcamAutoFocusWait(h, 1000), 0);
    ASSERT_NE(KorcamAutoFocusQueryProgress(h, &progress), 0);
    EXPECT_EQ(progress, 100.0f);
    ASSERT_NE(KorcamAutoFocusStop(h), 0);
}

TEST_F(Sim, OneShotAdjustmentsAndPropertyPage) {
    const CameraHandle h = open(1);
    EXPECT_NE(KorcamOneShotAutoExposure(h, 1, 2, 3, 4, 5), 0);
    EXPECT_NE(KorcamOneShotAutoIris(h, 1, 2, 3, 4, 5), 0);
    EXPECT_NE(KorcamOneShotAutoWhiteBalance(h, 1, 2, 3, 4), 0);
    EXPECT_NE(KorcamDigitalWhiteBalance(h, 1, 2, 3, 4), 0);
    EXPECT_NE(KorcamOneShotAutoWhiteBalanceEx(h, 0.5f, 0.5f, 1, 2, 3, 4), 0);
    EXPECT_NE(KorcamDigitalWhiteBalanceEx(h, 0.5f, 0.5f, 1, 2, 3, 4), 0);
    int window = 0;
    EXPECT_NE(KorcamDisplayPropertyPage(h, &window), 0);
    EXPECT_EQ(KorcamDisplayPropertyPage(h, nullptr), 0);
    EXPECT_EQ(KorcamOneShotAutoExposure(0, 1, 2, 3, 4, 5), 0);
}

TEST_F(Sim, StateOfAnUnknownCameraIsAClearError) {
    EXPECT_THROW(korcamsim::cameraState(0), std::out_of_range);
    EXPECT_THROW(korcamsim::cameraState(4), std::out_of_range);
    EXPECT_THROW(korcamsim::lastFrame(4), std::out_of_range);
    const korcamsim::CameraState never = korcamsim::cameraState(3);
    EXPECT_FALSE(never.open);
    EXPECT_EQ(never.format.width, 640u);
    EXPECT_EQ(never.frameRate, 15.0f);
    EXPECT_TRUE(korcamsim::lastFrame(3).bytes.empty());
}

// ---------------------------------------------------------------------------
// Pacing: on by default, as a camera delivers. Only lower bounds on the time
// taken are checked; a loaded machine can make frames late, never early.

class Pacing : public ::testing::Test {
protected:
    void SetUp() override { korcamsim::reset(); }
    void TearDown() override { korcamsim::reset(); }
};

using Seconds = std::chrono::duration<double>;

// Seconds that `frames` calls of `take` need: at least frames - 1 periods,
// the first frame being due at once.
template <typename Take>
double secondsFor(int frames, Take take) {
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) EXPECT_NE(take(), 0);
    return Seconds(std::chrono::steady_clock::now() - started).count();
}

TEST_F(Pacing, VideoAndFastFramesArriveAtTheFrameRateAfterAReset) {
    korcamsim::setPacing(false);
    korcamsim::reset();  // pacing back on
    const CameraHandle h = KorcamCameraOpen(3);
    ASSERT_NE(h, 0u);
    FrameFormat format{};
    float rate = 0;
    ASSERT_NE(KorcamGetFormat(h, &format, &rate), 0);
    ASSERT_NE(KorcamSetFormat(h, &format, 30.0f), 0);
    std::vector<uint8_t> raw(rawBytes(format));

    ASSERT_NE(KorcamStreamVideoControl(h, KORCAM_STREAM_START_OWN_WINDOW, nullptr), 0);
    EXPECT_GE(secondsFor(4, [&] { return KorcamTakeVideo(h, 1, raw.data()); }), 3 / 30.0 - 1e-6);
    ASSERT_NE(KorcamStreamVideoControl(h, KORCAM_STREAM_STOP, nullptr), 0);

    const SnapshotSettings settings = settingsFor(format);
    ASSERT_NE(KorcamEnableFastFrames(h, &settings), 0);
    EXPECT_GE(secondsFor(4, [&] { return KorcamTakeFastFrame(h, raw.data()); }), 3 / 30.0 - 1e-6);
    ASSERT_NE(KorcamDisableFastFrames(h), 0);
    KorcamCameraClose(h);
}

TEST_F(Pacing, TriggeredFrameWaitsOutItsTimeout) {
    const CameraHandle h = KorcamCameraOpen(1);
    ASSERT_NE(h, 0u);
    SnapshotSettings settings = settingsFor(currentFormat(h));
    settings.hardwareTriggerEnable = 1;
    settings.timeout = 120.0f;
    std::vector<uint8_t> raw(rawBytes(settings.format));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(KorcamTakeSnapshot(h, &settings, raw.data()), 0);
    EXPECT_GE(Seconds(std::chrono::steady_clock::now() - started).count(), 0.120 - 1e-6);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_TIMEOUT});
    KorcamCameraClose(h);
}

}  // namespace
