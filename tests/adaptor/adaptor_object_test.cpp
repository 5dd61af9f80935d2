// The adaptor object: image geometry, opening and closing, the setters and
// the property listener, through the host engine.
#include "adaptor_test_support.h"

#include <cmath>
#include <limits>

namespace adaptortest {
namespace {

class AdaptorObjectTest : public AdaptorTest {};

struct FormatNameCase {
    const char* name;
    std::int32_t width;
    std::int32_t height;
};

TEST_F(AdaptorObjectTest, FormatNameGivesTheImageSizeAndUnknownNamesGive640x480) {
    const FormatNameCase cases[] = {
        {"320x240", 320, 240},
        {"1280x1024", 1280, 1024},
        {"5120x4096", 5120, 4096},
        {"4008x2672", 4008, 2672},
        {"640X480", 640, 480},
        {"1280x1024 ", 640, 480},
        {"", 640, 480},
        {"800x600", 640, 480},
    };
    for (const FormatNameCase& want : cases) {
        auto input = makeInput(1, want.name);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->adaptor()->getMaxWidth(), want.width) << '"' << want.name << '"';
        EXPECT_EQ(input->adaptor()->getMaxHeight(), want.height) << '"' << want.name << '"';
    }
    auto input = makeInput(1);
    EXPECT_EQ(input->adaptor()->getFrameType(), 0x1030000);
    EXPECT_EQ(input->adaptor()->getNumberOfBands(), 3);
    EXPECT_STREQ(input->adaptor()->getDriverDescription(), "Korvix_Driver");
    EXPECT_STREQ(input->adaptor()->getDriverVersion(), "2.1.0.145");
    EXPECT_TRUE(korvixOf(*input).isStopRequested());
    EXPECT_EQ(korvixOf(*input).getCameraHandle(), 0u);
}

struct CentringCase {
    std::uint32_t sensorWidth;
    std::uint32_t sensorHeight;
    const char* format;
    std::int32_t xOffset;  // as the signed value the 32-bit field holds
    std::int32_t yOffset;
};

TEST_F(AdaptorObjectTest, OpeningCentresTheImageOnTheSensor) {
    const CentringCase cases[] = {
        {1392, 1040, "640x480", 376, 280}, {641, 480, "640x480", 0, 0},       {643, 481, "640x480", 1, 0},
        {1280, 1024, "1280x1024", 0, 0},   {320, 240, "640x480", -160, -120}, {639, 479, "640x480", -1, -1},
    };
    for (const CentringCase& want : cases) {
        korcamsim::CameraSpec model;
        model.maxWidth = want.sensorWidth;
        model.maxHeight = want.sensorHeight;
        korcamsim::setRig({model});
        auto input = makeInput(1, want.format);
        ASSERT_TRUE(input->open());
        const FrameFormat& format = korvixOf(*input).getSnapshotSettings()->format;
        EXPECT_EQ(static_cast<std::int32_t>(format.xOffset), want.xOffset) << want.sensorWidth;
        EXPECT_EQ(static_cast<std::int32_t>(format.yOffset), want.yOffset) << want.sensorHeight;
        EXPECT_EQ(format.width, static_cast<std::uint32_t>(input->adaptor()->getMaxWidth()));
        EXPECT_EQ(format.height, static_cast<std::uint32_t>(input->adaptor()->getMaxHeight()));
    }
}

TEST_F(AdaptorObjectTest, OpeningFillsTheSnapshotSettingsFromTheProperties) {
    korcamsim::CameraSpec model;
    model.bits16 = true;
    korcamsim::setRig({model});
    // A 16-bit format left from elsewhere: the run's buffers hold 8-bit samples, so the settings ask for them.
    {
        const CameraHandle handle = KorcamCameraOpen(1);
        FrameFormat format{0, 0, 1280, 1024, KORCAM_PIXEL_16BIT, 2, 0, 2, 0};
        ASSERT_TRUE(KorcamSetFormat(handle, &format, 15.0f));
        KorcamCameraClose(handle);
    }
    auto input = makeInput(1);
    ASSERT_EQ(input->setProperty("Exposure", "20").message, "");
    ASSERT_EQ(input->setProperty("Gain", "2.5").message, "");
    ASSERT_EQ(input->setProperty("Strobe", "On").message, "");
    ASSERT_EQ(input->setProperty("StrobeDelay", "7").message, "");
    ASSERT_EQ(input->setProperty("ExposureDelay", "9").message, "");
    ASSERT_EQ(input->setProperty("Timeout", "100").message, "");
    SnapshotSettings& settings = *korvixOf(*input).getSnapshotSettings();
    settings.reserved21 = 21;
    settings.reserved22 = 22.0f;
    settings.reserved23 = 23.0f;
    // The adaptor's own opening, without the host handing the values again.
    bool opened = false;
    input->onEngineThread([&] { opened = input->manager()->openDevice(); });
    ASSERT_TRUE(opened);

    EXPECT_EQ(settings.exposure, 20.0f);
    EXPECT_EQ(settings.gain, 2.5f);
    EXPECT_EQ(settings.redGain, 1.0f);
    EXPECT_EQ(settings.blueGain, 1.0f);
    EXPECT_EQ(settings.green1Gain, 1.0f);
    EXPECT_EQ(settings.green2Gain, 1.0f);
    // Opening resets what the strobe, delay and timeout properties had set.
    EXPECT_EQ(settings.strobeEnable, 0u);
    EXPECT_EQ(settings.strobeDelay, 0.0f);
    EXPECT_EQ(settings.hardwareTriggerEnable, 0u);
    EXPECT_EQ(settings.timeout, 5000.0f);
    EXPECT_EQ(settings.reserved18, 0u);
    EXPECT_EQ(settings.exposureDelay, 0.0f);
    EXPECT_EQ(settings.reserved20, 0u);
    EXPECT_EQ(settings.reserved21, 21u);
    EXPECT_EQ(settings.reserved22, 22.0f);
    EXPECT_EQ(settings.reserved23, 23.0f);
    EXPECT_EQ(settings.format.pixelFormat, static_cast<std::uint32_t>(KORCAM_PIXEL_8BIT));
    EXPECT_EQ(settings.format.xBinSub, 1u);
    EXPECT_EQ(settings.format.yBinSub, 1u);
    EXPECT_EQ(settings.format.xFlags, 0u);
    EXPECT_EQ(settings.format.yFlags, 0u);
    EXPECT_EQ(korcamsim::cameraState(1).handles, 1u);
}

struct SetterCase {
    const char* property;
    double value;
    float stored;
    const char* warning;  // "" for none
};

TEST_F(AdaptorObjectTest, TheHostHandsEveryValueAgainAfterOpening) {
    auto input = makeInput(1);
    ASSERT_EQ(input->setProperty("Strobe", "On").message, "");
    ASSERT_EQ(input->setProperty("StrobeDelay", "7").message, "");
    ASSERT_EQ(input->setProperty("ExposureDelay", "9").message, "");
    ASSERT_EQ(input->setProperty("Timeout", "100").message, "");
    ASSERT_EQ(input->setProperty("Exposure", "20").message, "");
    ASSERT_TRUE(input->open());
    const SnapshotSettings& settings = *korvixOf(*input).getSnapshotSettings();
    EXPECT_EQ(settings.strobeEnable, 1u);
    EXPECT_EQ(settings.strobeDelay, 7.0f);
    EXPECT_EQ(settings.exposureDelay, 9.0f);
    EXPECT_EQ(settings.timeout, 100.0f);
    EXPECT_EQ(settings.exposure, 20.0f);
}

TEST_F(AdaptorObjectTest, SettersKeepTheirBoundsAndWarnBelowThem) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const SetterCase cases[] = {
        {"Exposure", -1, 50, "KovrixAdaptor:setExposure|Exposure needs a positive value, defaulting to 50."},
        {"Exposure", -1e-30, 50, "KovrixAdaptor:setExposure|Exposure needs a positive value, defaulting to 50."},
        {"Exposure", nan, 50, "KovrixAdaptor:setExposure|Exposure needs a positive value, defaulting to 50."},
        {"Exposure", 0, 0, ""},
        {"Exposure", 12.5, 12.5f, ""},
        {"Exposure", 1e300, std::numeric_limits<float>::infinity(), ""},
        {"Gain", 0.5, 1, "KorvixAdaptor:setGain|Gain needs to be at least 1, defaulting to 1."},
        {"Gain", nan, 1, "KorvixAdaptor:setGain|Gain needs to be at least 1, defaulting to 1."},
        {"Gain", 1, 1, ""},
        {"Gain", 3, 3, ""},
        {"StrobeDuration", -1, 0, "KorvixAdaptor:setStrobeDuration|Duration must be positive, defaulting to 0."},
        {"StrobeDuration", 0, 0, ""},
        {"StrobeDuration", 4, 4, ""},
    };
    auto input = makeInput(1);
    korvix::KorvixAdaptor& adaptor = korvixOf(*input);
    EXPECT_EQ(adaptor.getStrobeDuration(), 1.0f);  // the property's default until it is set
    for (const SetterCase& want : cases) {
        imaqkit::host::clearReports();
        // Straight to the listener: the host refuses values outside the
        // declared range before the adaptor sees them.
        input->notifyListeners(want.property, want.value);
        const std::string property = want.property;
        const float stored = property == "Exposure" ? adaptor.getExposure()
                             : property == "Gain"   ? adaptor.getGain()
                                                    : adaptor.getStrobeDuration();
        EXPECT_EQ(stored, want.stored) << property << " = " << want.value;
        const std::vector<std::string> expected =
            *want.warning ? std::vector<std::string>{want.warning} : std::vector<std::string>{};
        EXPECT_EQ(warnings(), expected) << property << " = " << want.value;
    }
    // The last accepted exposure and gain are what the next opening uses.
    input->notifyListeners("Exposure", 33);
    input->notifyListeners("Gain", 0.25);
    ASSERT_TRUE(input->open());
    EXPECT_EQ(adaptor.getSnapshotSettings()->exposure, 33.0f);
    EXPECT_EQ(adaptor.getSnapshotSettings()->gain, 1.0f);
}

TEST_F(AdaptorObjectTest, StrobeAndDelayPropertiesWriteTheSnapshotSettings) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    SnapshotSettings& settings = *korvixOf(*input).getSnapshotSettings();
    ASSERT_EQ(input->setProperty("Strobe", "On").message, "");
    EXPECT_EQ(settings.strobeEnable, 1u);
    ASSERT_EQ(input->setProperty("Strobe", "Off").message, "");
    EXPECT_EQ(settings.strobeEnable, 0u);
    ASSERT_EQ(input->setProperty("StrobeDelay", 1.5).message, "");
    ASSERT_EQ(input->setProperty("ExposureDelay", 2.5).message, "");
    ASSERT_EQ(input->setProperty("Timeout", 3.5).message, "");
    EXPECT_EQ(settings.strobeDelay, 1.5f);
    EXPECT_EQ(settings.exposureDelay, 2.5f);
    EXPECT_EQ(settings.timeout, 3.5f);
    EXPECT_TRUE(warnings().empty());
}

TEST_F(AdaptorObjectTest, EveryPropertyHasOneListener) {
    auto input = makeInput(1);
    for (const char* name : {"Exposure", "Gain", "Strobe", "StrobeDelay", "StrobeDuration", "ExposureDelay", "Timeout"})
        EXPECT_EQ(input->properties()->getNumberOfListeners(name), 1) << name;
}

TEST_F(AdaptorObjectTest, OpeningTwiceOpensTheCameraOnce) {
    auto input = makeInput(2);
    korcamsim::clearCalls();
    ASSERT_TRUE(input->open());
    bool opened = false;
    input->onEngineThread([&] { opened = input->adaptor()->openDevice(); });  // the manager reports it open
    ASSERT_TRUE(opened);
    ASSERT_TRUE(input->open());
    EXPECT_EQ(callCount("KorcamCameraOpen"), 1u);
    EXPECT_EQ(korcamsim::cameraState(2).handles, 1u);
}

TEST_F(AdaptorObjectTest, ClosingReleasesTheCameraAndReopeningOpensItAgain) {
    auto input = makeInput(1);
    korcamsim::clearCalls();
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(input->open());
        EXPECT_NE(korvixOf(*input).getCameraHandle(), 0u);
        EXPECT_EQ(korcamsim::cameraState(1).handles, 1u);
        input->close();
        EXPECT_EQ(korvixOf(*input).getCameraHandle(), 0u);
        EXPECT_EQ(korcamsim::cameraState(1).handles, 0u);
    }
    EXPECT_EQ(callCount("KorcamCameraOpen"), 3u);
    EXPECT_EQ(callCount("KorcamCameraClose"), 3u);
}

TEST_F(AdaptorObjectTest, StopWhileIdleReturnsAndLeavesTheStopFlag) {
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    bool stopped = false;
    input->onEngineThread([&] { stopped = input->adaptor()->stopCapture(); });
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(korvixOf(*input).isStopRequested());
    input->stop();
    EXPECT_TRUE(korvixOf(*input).isStopRequested());
    EXPECT_EQ(callCount("KorcamEnableFastFrames"), 0u);
}

struct OpenFaultCase {
    const char* op;
    std::uint64_t skip;
    const char* message;
};

TEST_F(AdaptorObjectTest, OpeningFailuresReportReleaseTheCameraAndCanBeRetried) {
    const OpenFaultCase cases[] = {
        {"KorcamCameraOpen", 0, "Unable to open camera."},
        {"KorcamGetFormat", 0, "Unable to get format."},
        {"KorcamGetProperty", 0, "Unable to get max width."},
        {"KorcamGetProperty", 1, "Unable to get max height."},
    };
    for (const OpenFaultCase& fault : cases) {
        korcamsim::reset();
        imaqkit::host::clearReports();
        auto input = makeInput(1);
        korcamsim::failOperation(fault.op, 6, 1, fault.skip);
        EXPECT_FALSE(input->open()) << fault.message;
        EXPECT_FALSE(input->isOpen());
        EXPECT_EQ(errors(), std::vector<std::string>{std::string("KorvixAdaptor:openDevice|") + fault.message});
        EXPECT_EQ(korcamsim::cameraState(1).handles, 0u) << fault.message;
        EXPECT_EQ(korvixOf(*input).getCameraHandle(), 0u);
        korcamsim::clearFaults();
        ASSERT_TRUE(input->open()) << fault.message;
        EXPECT_EQ(korcamsim::cameraState(1).handles, 1u);
    }
}

TEST_F(AdaptorObjectTest, CreateInstanceGivesNoObjectWithoutMemory) {
    imaqkit::host::setAllocationFault(0, 1, sizeof(korvix::KorvixAdaptor));
    const std::size_t before = imaqkit::host::outstandingAllocations();
    std::string error;
    EXPECT_EQ(library->createVideoInput(1, "640x480", error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(imaqkit::host::outstandingAllocations(), before);
}

TEST_F(AdaptorObjectTest, ListenerWithoutMemoryIsSkippedWithAWarning) {
    // The adaptor's block passes, the first listener's ("Exposure") fails.
    imaqkit::host::setAllocationFault(1, 1, 1);
    auto input = makeInput(1);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->properties()->getNumberOfListeners("Exposure"), 0);
    EXPECT_EQ(input->properties()->getNumberOfListeners("Gain"), 1);
    EXPECT_EQ(input->properties()->getNumberOfListeners("Timeout"), 1);
    EXPECT_EQ(warnings(), std::vector<std::string>{"KorvixAdaptor:registerListener|Cannot allocate the listener of "
                                                   "Exposure; its changes will not reach the camera."});
}

TEST_F(AdaptorObjectTest, ObjectsAndListenersGoBackToTheKitHeap) {
    const std::size_t before = imaqkit::host::outstandingAllocations();
    {
        auto input = makeInput(2);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(imaqkit::host::outstandingAllocations(), before + 8);  // the adaptor and seven listeners
        acquireFrames(*input, {2});
    }
    EXPECT_EQ(imaqkit::host::outstandingAllocations(), before);
    EXPECT_EQ(korcamsim::cameraState(2).handles, 0u);
}

TEST_F(AdaptorObjectTest, HostValidatesPropertyTextBeforeTheAdaptorSeesIt) {
    auto input = makeInput(1);
    EXPECT_FALSE(input->setProperty("Exposure", "fast"));
    EXPECT_FALSE(input->setProperty("Exposure", "nan"));
    EXPECT_FALSE(input->setProperty("Timeout", "-1"));
    EXPECT_FALSE(input->setProperty("Strobe", "Maybe"));
    EXPECT_FALSE(input->setProperty("Brightness", "1"));
    EXPECT_EQ(input->setProperty("Strobe", "on").message, "");
    EXPECT_EQ(korvixOf(*input).getSnapshotSettings()->strobeEnable, 1u);
    EXPECT_TRUE(warnings().empty());
}

}  // namespace
}  // namespace adaptortest
