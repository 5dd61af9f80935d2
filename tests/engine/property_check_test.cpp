// The one check of a device property value: every refusal and its text, for
// each kind of value a host hands over.
#include "korimaq_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using korimaq::CheckedValue;
using korimaq::PropertyEntry;
using korimaq::PropertyValue;
using korimaq::Status;
using State = korimaq::VideoInput::State;
using Kind = imaqkit::IPropInfo::Kind;

korimaq::DeviceAttributes attributes() {
    korimaq::DeviceAttributes device;
    PropertyEntry exposure{"Exposure", Kind::KIND_DOUBLE, true, 0.0001, 10000, 10, {}, 0, "whileRunning"};
    PropertyEntry strobe{"Strobe", Kind::KIND_ENUM, false, 0, 0, 0, {{"Off", 1}, {"On", 2}}, 1, "whileRunning"};
    PropertyEntry count{"Count", Kind::KIND_INT, false, 0, 0, 3, {}, 0, "notReadOnly"};
    PropertyEntry name{"Name", Kind::KIND_STRING, false, 0, 0, 0, {}, 0, "notReadOnly"};
    PropertyEntry locked{"Locked", Kind::KIND_DOUBLE, false, 0, 0, 0, {}, 0, "always"};
    device.properties = {exposure, strobe, count, name, locked};
    return device;
}

struct Case {
    const char* property;
    State state;
    PropertyValue value;
    Status::Code code;
    const char* message;
};

TEST(PropertyCheck, EachRefusalHasOneCodeAndOneText) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"Brightness", State::OPEN, PropertyValue::ofNumber(1), Status::NO_PROPERTY,
         "This camera's source has no property 'Brightness'. Its properties are: Exposure, Strobe, Count, Name, "
         "Locked"},
        {"Locked", State::CLOSED, PropertyValue::ofNumber(1), Status::READ_ONLY, "Locked is read-only"},
        {"Exposure", State::RUNNING, PropertyValue::ofNumber(20), Status::READ_ONLY_WHILE_RUNNING,
         "Exposure is read-only while the video input is running; stop it first"},
        {"Exposure", State::STARTING, PropertyValue::ofNumber(20), Status::READ_ONLY_WHILE_RUNNING,
         "Exposure is read-only while the video input is running; stop it first"},
        {"Strobe", State::ENDING, PropertyValue::ofText("On"), Status::READ_ONLY_WHILE_RUNNING,
         "Strobe is read-only while the video input is running; stop it first"},
        {"Exposure", State::OPEN, PropertyValue::ofNumber(10001), Status::OUT_OF_RANGE,
         "Exposure must lie between 0.0001 and 10000"},
        {"Exposure", State::OPEN, PropertyValue::ofNumber(nan), Status::OUT_OF_RANGE,
         "Exposure must lie between 0.0001 and 10000"},
        {"Exposure", State::OPEN, PropertyValue::ofWritten("1e999"), Status::OUT_OF_RANGE,
         "Exposure must lie between 0.0001 and 10000"},
        {"Exposure", State::OPEN, PropertyValue::ofWritten("fast"), Status::BAD_VALUE,
         "Exposure needs a number, not \"fast\""},
        {"Exposure", State::OPEN, PropertyValue::ofWritten("nan"), Status::BAD_VALUE,
         "Exposure needs a number, not \"nan\""},
        {"Exposure", State::OPEN, PropertyValue::ofText("20"), Status::BAD_VALUE,
         "Exposure must be a real number, e.g. 10"},
        {"Exposure", State::OPEN, PropertyValue::other(), Status::BAD_VALUE, "Exposure must be a real number, e.g. 10"},
        {"Count", State::OPEN, PropertyValue::ofNumber(inf), Status::OUT_OF_RANGE, "Count must be a finite number"},
        {"Count", State::OPEN, PropertyValue::ofNumber(2.5), Status::OUT_OF_RANGE, "Count must be a whole number"},
        {"Strobe", State::OPEN, PropertyValue::ofText("Maybe"), Status::OUT_OF_RANGE,
         "Strobe takes one of 'Off', 'On'"},
        {"Strobe", State::OPEN, PropertyValue::ofNumber(2), Status::OUT_OF_RANGE, "Strobe takes one of 'Off', 'On'"},
        {"Name", State::OPEN, PropertyValue::ofText("x"), Status::NOT_SETTABLE, "Name cannot be set from here"},
    };
    const korimaq::DeviceAttributes device = attributes();
    for (const Case& c : cases) {
        const Status status = korimaq::checkPropertyValue(device, c.property, c.state, c.value);
        EXPECT_EQ(status.code, c.code) << c.property << " " << korimaq::stateName(c.state) << ": " << status.message;
        EXPECT_EQ(status.message, c.message) << c.property << " " << korimaq::stateName(c.state);
    }
}

TEST(PropertyCheck, AcceptedValuesComeBackAsTheContainerTakesThem) {
    const korimaq::DeviceAttributes device = attributes();
    CheckedValue checked;
    ASSERT_TRUE(korimaq::checkPropertyValue(device, "Strobe", State::ENDED, PropertyValue::ofText("oN"), &checked));
    EXPECT_EQ(checked.enumText, "On");
    ASSERT_TRUE(
        korimaq::checkPropertyValue(device, "Strobe", State::CLOSED, PropertyValue::ofWritten("off"), &checked));
    EXPECT_EQ(checked.enumText, "Off");
    checked = CheckedValue();
    ASSERT_TRUE(
        korimaq::checkPropertyValue(device, "Exposure", State::OPEN, PropertyValue::ofWritten("25.5"), &checked));
    EXPECT_EQ(checked.number, 25.5);
    ASSERT_TRUE(
        korimaq::checkPropertyValue(device, "Exposure", State::ENDED, PropertyValue::ofNumber(0.0001), &checked));
    EXPECT_EQ(checked.number, 0.0001);
    EXPECT_TRUE(korimaq::checkPropertyValue(device, "Count", State::RUNNING, PropertyValue::ofNumber(-7)));
}

TEST(AcquisitionPlan, APlanWithoutAFrameGrabIntervalIsRefused) {
    EXPECT_TRUE(korimaq::checkPlan({}));
    EXPECT_TRUE(korimaq::checkPlan({5, 3}));
    const Status refused = korimaq::checkPlan({5, 0});
    EXPECT_EQ(refused.code, Status::BAD_VALUE);
    EXPECT_EQ(refused.message, "the frame grab interval must be at least 1");
}

}  // namespace
