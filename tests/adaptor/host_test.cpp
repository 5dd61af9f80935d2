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

// Two triggers of two frames each, fired by hand.
korimaq::AcquisitionPlan manualPlan() {
    korimaq::AcquisitionPlan plan{2, 1};
    plan.triggerRepeat = 1;
    plan.manualTrigger = true;
    return plan;
}

// A trigger whose frames never end (until stopped): the state after the
// trigger stays RUNNING however fast the camera delivers.
korimaq::AcquisitionPlan endlessManualPlan() {
    korimaq::AcquisitionPlan plan = manualPlan();
    plan.framesPerTrigger = 0;
    return plan;
}

Status apply(VideoInput& input, const std::string& operation) {
    if (operation == "open") return input.open();
    if (operation == "close") return input.close();
    if (operation == "start") return input.start({0});
    if (operation == "startNoInterval") return input.start({0, 0});
    if (operation == "stop") return input.stop();
    if (operation == "setProperty") return input.setProperty("Exposure", 20.0);
    if (operation == "setRoi") return input.setRoi(0, 0, 320, 240);
    if (operation == "setFrameSink") return input.setFrameSink(nullptr);
    if (operation == "trigger") return input.trigger();
    if (operation == "startManual") return input.start(endlessManualPlan());
    ADD_FAILURE() << "no operation " << operation;
    return Status();
}

void bringTo(VideoInput& input, State state) {
    input.close();
    if (state == State::CLOSED) return;
    ASSERT_TRUE(input.open());
    if (state == State::WAITING) {
        ASSERT_TRUE(input.start(endlessManualPlan()));
        ASSERT_TRUE(input.waitForFramesAcquired(2, kHang)) << "frames are taken while waiting";
    } else if (state == State::RUNNING) {
        ASSERT_TRUE(input.start({0}));
        ASSERT_TRUE(input.waitForFramesReceived(1, kHang));
    } else if (state == State::ENDED) {
        ASSERT_TRUE(input.start({1}));
        ASSERT_TRUE(input.waitUntilComplete(kHang));
    }
    ASSERT_EQ(input.state(), state);
}

TEST_F(HostTest, StateMachineAllowsAndRefusesEachOperationInEachState) {
    const StateRow rows[] = {
        {State::CLOSED,
         {{"setProperty", Status::OK, State::CLOSED},
          {"setRoi", Status::OK, State::CLOSED},
          {"setFrameSink", Status::OK, State::CLOSED},
          {"trigger", Status::WRONG_STATE, State::CLOSED},
          {"stop", Status::OK, State::CLOSED},
          {"close", Status::OK, State::CLOSED},
          {"start", Status::WRONG_STATE, State::CLOSED},
          {"open", Status::OK, State::OPEN}}},
        {State::OPEN,
         {{"open", Status::OK, State::OPEN},
          {"setProperty", Status::OK, State::OPEN},
          {"setRoi", Status::OK, State::OPEN},
          {"setFrameSink", Status::OK, State::OPEN},
          {"trigger", Status::WRONG_STATE, State::OPEN},
          {"stop", Status::OK, State::OPEN},
          {"startNoInterval", Status::BAD_VALUE, State::OPEN},
          {"start", Status::OK, State::RUNNING}}},
        {State::OPEN, {{"close", Status::OK, State::CLOSED}}},
        {State::RUNNING,
         {{"open", Status::WRONG_STATE, State::RUNNING},
          {"start", Status::WRONG_STATE, State::RUNNING},
          {"setProperty", Status::READ_ONLY_WHILE_RUNNING, State::RUNNING},
          {"setRoi", Status::WRONG_STATE, State::RUNNING},
          {"setFrameSink", Status::WRONG_STATE, State::RUNNING},
          {"trigger", Status::WRONG_STATE, State::RUNNING},
          {"stop", Status::OK, State::OPEN}}},
        {State::RUNNING, {{"close", Status::OK, State::CLOSED}}},
        {State::WAITING,
         {{"open", Status::WRONG_STATE, State::WAITING},
          {"start", Status::WRONG_STATE, State::WAITING},
          {"setProperty", Status::READ_ONLY_WHILE_RUNNING, State::WAITING},
          {"setRoi", Status::WRONG_STATE, State::WAITING},
          {"setFrameSink", Status::WRONG_STATE, State::WAITING},
          {"stop", Status::OK, State::OPEN}}},
        {State::WAITING, {{"close", Status::OK, State::CLOSED}}},
        {State::WAITING, {{"trigger", Status::OK, State::RUNNING}, {"trigger", Status::WRONG_STATE, State::RUNNING}}},
        {State::ENDED,
         {{"open", Status::OK, State::ENDED},
          {"setProperty", Status::OK, State::ENDED},
          {"setRoi", Status::OK, State::ENDED},
          {"setFrameSink", Status::OK, State::ENDED},
          {"trigger", Status::WRONG_STATE, State::ENDED},
          {"stop", Status::OK, State::ENDED},
          {"startNoInterval", Status::BAD_VALUE, State::ENDED},
          {"start", Status::OK, State::RUNNING}}},
        {State::ENDED, {{"close", Status::OK, State::CLOSED}}},
    };
    auto input = makeInput(1, "320x240");
    for (const StateRow& row : rows) {
        bringTo(*input, row.state);
        for (const Step& step : row.steps) {
            const Status status = apply(*input, step.operation);
            EXPECT_EQ(status.code, step.code)
                << korimaq::stateName(row.state) << ": " << step.operation << ": " << status.message;
            EXPECT_EQ(input->state(), step.after) << korimaq::stateName(row.state) << ": " << step.operation;
        }
    }
    input->close();
    EXPECT_TRUE(input->violations().empty());
    EXPECT_TRUE(errors().empty());
}

// The gate's table itself, every state against every operation, the states
// an acquisition passes through on its way in and out included.
TEST(GateTable, EveryStateAgainstEveryOperation) {
    using Operation = VideoInput::Operation;
    const Operation operations[] = {Operation::OPEN,           Operation::CLOSE,        Operation::START,
                                    Operation::STOP,           Operation::SET_PROPERTY, Operation::SET_ROI,
                                    Operation::SET_FRAME_SINK, Operation::TRIGGER};
    // One column per operation above: 1 allowed.
    const struct {
        State state;
        int allowed[8];
    } table[] = {
        {State::CLOSED, {1, 1, 0, 1, 1, 1, 1, 0}},   {State::OPEN, {1, 1, 1, 1, 1, 1, 1, 0}},
        {State::STARTING, {0, 1, 0, 1, 1, 0, 0, 0}}, {State::RUNNING, {0, 1, 0, 1, 1, 0, 0, 0}},
        {State::WAITING, {0, 1, 0, 1, 1, 0, 0, 1}},  {State::ENDING, {0, 1, 0, 1, 1, 0, 0, 0}},
        {State::ENDED, {1, 1, 1, 1, 1, 1, 1, 0}},
    };
    for (const auto& row : table) {
        for (std::size_t k = 0; k < 8; ++k) {
            const bool allowed = row.allowed[k] != 0;
            EXPECT_EQ(korimaq::isAllowed(operations[k], row.state), allowed)
                << korimaq::stateName(row.state) << " x " << korimaq::operationName(operations[k]);
            EXPECT_EQ(korimaq::gate(operations[k], row.state).code, allowed ? Status::OK : Status::WRONG_STATE);
        }
        EXPECT_EQ(korimaq::isRunning(row.state), row.state == State::STARTING || row.state == State::RUNNING ||
                                                     row.state == State::WAITING || row.state == State::ENDING);
    }
}

// Manual triggers through the real adaptor: frames taken while waiting are
// not delivered, each trigger delivers its frames after it fired, and the
// acquisition ends after the last trigger's frames.
TEST_F(HostTest, ManualTriggersDeliverTheirFramesAndTheRunEndsAfterTheLast) {
    auto input = makeInput(1, "320x240");
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start(manualPlan()));
    ASSERT_TRUE(input->waitForFramesAcquired(3, kHang));
    EXPECT_EQ(input->framesReceived(), 0u);
    EXPECT_EQ(input->state(), State::WAITING);
    for (std::uint64_t trigger = 1; trigger <= 2; ++trigger) {
        ASSERT_TRUE(input->trigger());
        ASSERT_TRUE(input->waitForFramesReceived(2 * trigger, kHang));
        if (trigger == 2) break;  // the last trigger's frames end the run
        const std::uint64_t taken = input->framesAcquired();
        ASSERT_TRUE(input->waitForFramesAcquired(taken + 2, kHang)) << "frames are taken between triggers";
        EXPECT_EQ(input->framesReceived(), 2 * trigger) << "and not delivered";
    }
    ASSERT_TRUE(input->waitUntilStopped(kHang));
    EXPECT_EQ(input->state(), State::ENDED);
    EXPECT_EQ(input->triggersFired(), 2u);
    EXPECT_TRUE(input->violations().empty());
    EXPECT_TRUE(errors().empty());
}

TEST_F(HostTest, RefusalNamesTheOperationTheStateItNeedsAndTheCurrentState) {
    auto input = makeInput(1, "320x240");
    EXPECT_EQ(input->start({1}).message, "start needs the video input open, but it is closed");
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start({0}));
    EXPECT_EQ(input->setRoi(0, 0, 10, 10).message, "setRoi needs the video input closed or open, but it is running");
    EXPECT_EQ(input->open().message, "open needs the video input closed or open, but it is running");
}

TEST_F(HostTest, ARunThatEndsByItselfOrByTheHostEndsInItsOwnState) {
    auto input = makeInput(1, "320x240");
    ASSERT_TRUE(input->open());
    ASSERT_TRUE(input->start({2}));
    ASSERT_TRUE(input->waitUntilComplete(kHang));
    EXPECT_EQ(input->state(), State::ENDED);
    ASSERT_TRUE(input->start({0}));
    ASSERT_TRUE(input->waitForFramesReceived(1, kHang));
    input->endEarly();
    ASSERT_TRUE(input->waitUntilStopped(kHang));
    EXPECT_EQ(input->state(), State::ENDED);
    ASSERT_TRUE(input->start({0}));
    ASSERT_TRUE(input->stop());
    EXPECT_EQ(input->state(), State::OPEN);
    EXPECT_TRUE(input->violations().empty());
}

struct ValueCase {
    const char* property;
    const char* value;
    Status::Code code;
};

TEST_F(HostTest, ValuesOutsideTheDeclaredRangeOrEnumerationNeverReachTheListener) {
    const ValueCase cases[] = {
        {"Timeout", "-1", Status::OUT_OF_RANGE},
        {"Timeout", "1e10", Status::OUT_OF_RANGE},
        {"StrobeDelay", "inf", Status::OUT_OF_RANGE},
        {"Exposure", "nan", Status::BAD_VALUE},
        {"Exposure", "fast", Status::BAD_VALUE},
        {"Strobe", "Maybe", Status::OUT_OF_RANGE},
        {"Brightness", "1", Status::NO_PROPERTY},
        {"Timeout", "1e-400", Status::OK},
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
