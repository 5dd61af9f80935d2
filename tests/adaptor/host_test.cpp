// The strict host: one state machine in VideoInput, the thread rule, the
// property modes and ranges, and the one-adaptor-per-engine rule.
#include "adaptor_test_support.h"

namespace adaptortest {
namespace {

using korimaq::Status;
using korimaq::VideoInput;
using State = VideoInput::State;

class HostTest : public AdaptorTest {};

// The device record the engine would hand to createInstance.
class HostDeviceInfoStub final : public imaqkit::IDeviceInfo {
public:
    explicit HostDeviceInfoStub(std::int32_t id) : id_(id) {}
    imaqkit::IDeviceFormat* createDeviceFormat(std::int32_t, const char*) override { return nullptr; }
    void addDeviceFormat(imaqkit::IDeviceFormat*, bool) override {}
    std::int32_t getDeviceId() const override { return id_; }
    const char* getDeviceName() const override { return ""; }

private:
    std::int32_t id_;
};

// One row per state: each operation's result there, and the state after it.
struct Step {
    const char* operation;
    Status::Code code;
    State after;
};

struct StateRow {
    State state;
    std::vector<Step> steps;
};

Status apply(VideoInput& input, const std::string& operation) {
    if (operation == "open") return input.open();
    if (operation == "close") return input.close();
    if (operation == "start") return input.start(0);
    if (operation == "stop") return input.stop();
    if (operation == "setProperty") return input.setProperty("Exposure", 20.0);
    if (operation == "setRoi") return input.setRoi(0, 0, 320, 240);
    if (operation == "setFrameGrabInterval") return input.setFrameGrabInterval(2);
    ADD_FAILURE() << "no operation " << operation;
    return Status();
}

void bringTo(VideoInput& input, State state) {
    input.close();
    if (state == State::CLOSED) return;
    ASSERT_TRUE(input.open());
    if (state == State::RUNNING) {
        ASSERT_TRUE(input.start(0));
        ASSERT_TRUE(input.waitForFramesReceived(1, kHang));
    }
}

TEST_F(HostTest, StateMachineAllowsAndRefusesEachOperationInEachState) {
    const StateRow rows[] = {
        {State::CLOSED,
         {{"setProperty", Status::OK, State::CLOSED},
          {"setRoi", Status::OK, State::CLOSED},
          {"setFrameGrabInterval", Status::OK, State::CLOSED},
          {"stop", Status::OK, State::CLOSED},
          {"close", Status::OK, State::CLOSED},
          {"start", Status::WRONG_STATE, State::CLOSED},
          {"open", Status::OK, State::OPEN}}},
        {State::OPEN,
         {{"open", Status::OK, State::OPEN},
          {"setProperty", Status::OK, State::OPEN},
          {"setRoi", Status::OK, State::OPEN},
          {"setFrameGrabInterval", Status::OK, State::OPEN},
          {"stop", Status::OK, State::OPEN},
          {"start", Status::OK, State::RUNNING}}},
        {State::OPEN, {{"close", Status::OK, State::CLOSED}}},
        {State::RUNNING,
         {{"open", Status::WRONG_STATE, State::RUNNING},
          {"start", Status::WRONG_STATE, State::RUNNING},
          {"setProperty", Status::READ_ONLY_WHILE_RUNNING, State::RUNNING},
          {"setRoi", Status::WRONG_STATE, State::RUNNING},
          {"setFrameGrabInterval", Status::WRONG_STATE, State::RUNNING},
          {"stop", Status::OK, State::OPEN}}},
        {State::RUNNING, {{"close", Status::OK, State::CLOSED}}},
    };
    auto input = makeInput(1, "320x240");
    for (const StateRow& row : rows) {
        bringTo(*input, row.state);
        for (const Step& step : row.steps) {
            const Status status = apply(*input, step.operation);
            EXPECT_EQ(status.code, step.code) << korimaq::stateName(row.state) << ": " << step.operation << ": "
                                              << status.message;
            EXPECT_EQ(input->state(), step.after) << korimaq::stateName(row.state) << ": " << step.operation;
        }
    }
    input->close();
    EXPECT_TRUE(input->violations().empty());
    EXPECT_TRUE(errors().empty());
}

TEST_F(HostTest, RefusalNamesTheOperationTheStateItNeedsAndTheCurrentState) {
    auto input = makeInput(1, "320x240");
    EXPECT_EQ(input->start(1).message, "start needs the video input open, but it is closed");
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start(0));
    EXPECT_EQ(input->setRoi(0, 0, 10, 10).message, "setRoi needs the video input closed or open, but it is running");
    EXPECT_EQ(input->open().message, "open needs the video input closed or open, but it is running");
}

struct ValueCase {
    const char* property;
    const char* value;
    Status::Code code;
};

TEST_F(HostTest, ValuesOutsideTheDeclaredRangeOrEnumerationNeverReachTheListener) {
    const ValueCase cases[] = {
        {"Timeout", "-1", Status::BAD_VALUE},        {"Timeout", "1e10", Status::BAD_VALUE},
        {"StrobeDelay", "inf", Status::BAD_VALUE},   {"Exposure", "nan", Status::BAD_VALUE},
        {"Exposure", "fast", Status::BAD_VALUE},     {"Strobe", "Maybe", Status::BAD_VALUE},
        {"Brightness", "1", Status::NO_PROPERTY},    {"Timeout", "1e-400", Status::OK},
        {"Strobe", "on", Status::OK},
    };
    auto input = makeInput(1);
    ASSERT_TRUE(input->open());
    const SnapshotSettings before = *korvixOf(*input).getSnapshotSettings();
    for (const ValueCase& want : cases) {
        const Status status = input->setProperty(want.property, want.value);
        EXPECT_EQ(status.code, want.code) << want.property << "=" << want.value << ": " << status.message;
    }
    const SnapshotSettings& after = *korvixOf(*input).getSnapshotSettings();
    EXPECT_EQ(after.strobeEnable, 1u);
    EXPECT_EQ(after.timeout, 0.0f);  // 1e-400 is a number that rounds to zero
    EXPECT_EQ(after.strobeDelay, before.strobeDelay);
    EXPECT_EQ(after.exposure, before.exposure);
    // The container itself refuses as well, for an engine that calls it directly.
    bool stored = true;
    input->onEngineThread([&] { stored = input->properties()->setDoubleValue("Timeout", -1); });
    EXPECT_FALSE(stored);
    EXPECT_EQ(input->doubleValue("Timeout"), 0.0);
    EXPECT_TRUE(warnings().empty());
}

using HostDeathTest = HostTest;

TEST_F(HostDeathTest, KitOperationsFromAnotherThreadThanTheEnginesAbort) {
#if !GTEST_HAS_DEATH_TEST || defined(_WIN32)
    GTEST_SKIP() << "death tests start the test program again, which this platform's GoogleTest cannot do here; "
                    "the Linux builds run this test";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto input = makeInput(1, "320x240");
    EXPECT_DEATH(input->properties()->setDoubleValue("Exposure", 20),
                 "setDoubleValue called from a thread other than the engine's");
    EXPECT_DEATH(input->manager()->openDevice(), "openDevice called from a thread other than the engine's");
    EXPECT_DEATH(input->manager()->stopAcquisition(), "stopAcquisition called from a thread other than the engine's");
#endif
}

TEST_F(HostTest, SecondAdaptorOnOneEngineGetsNoManagerAndLeavesNothingBehind) {
    auto input = makeInput(1);
    const std::size_t before = imaqkit::host::outstandingAllocations();
    imaqkit::IAdaptor* second = reinterpret_cast<imaqkit::IAdaptor*>(1);
    input->onEngineThread([&] {
        HostDeviceInfoStub device(1);
        second = library->exports().createInstance(input->engine(), &device, "640x480");
    });
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(input->violations(),
              std::vector<std::string>{"createAdaptorManager: this engine already has an adaptor"});
    EXPECT_EQ(imaqkit::host::outstandingAllocations(), before);
    EXPECT_EQ(input->properties()->getNumberOfListeners("Exposure"), 1);
    // The first adaptor's listener still works; nothing freed is called.
    ASSERT_TRUE(input->setProperty("Exposure", 25.0));
    EXPECT_EQ(korvixOf(*input).getExposure(), 25.0f);
}

}  // namespace
}  // namespace adaptortest
