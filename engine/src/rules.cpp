// The rules of a video input that need no adaptor: which operation each
// state allows, and whether a value may be set on a device property. Pure
// functions, tested directly.
#include "korimaq_engine.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace korimaq {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return true;
}

std::string number(double value) {
    std::ostringstream out;
    out.precision(10);
    out << value;
    return out.str();
}

bool isRunning(VideoInput::State state) {
    return state == VideoInput::State::STARTING || state == VideoInput::State::RUNNING ||
           state == VideoInput::State::WAITING || state == VideoInput::State::ENDING;
}

namespace {

using State = VideoInput::State;
using Operation = VideoInput::Operation;

// The device is open and no acquisition runs: what a stopped and an ended run leave.
bool isIdleOpen(State state) { return state == State::OPEN || state == State::ENDED; }

}  // namespace

bool isAllowed(Operation operation, State state) {
    switch (operation) {
        case Operation::OPEN: return state == State::CLOSED || isIdleOpen(state);
        case Operation::START: return isIdleOpen(state);
        case Operation::SET_ROI:
        case Operation::SET_FRAME_SINK: return state == State::CLOSED || isIdleOpen(state);
        case Operation::TRIGGER: return state == State::WAITING;
        case Operation::CLOSE:
        case Operation::STOP:
        case Operation::SET_PROPERTY:  // the property's own read-only mode decides the rest
            return true;
    }
    return false;
}

Status gate(Operation operation, State current) {
    if (isAllowed(operation, current)) return Status();
    // Named as a user knows them: an ended run leaves the input open.
    const State named[] = {State::CLOSED, State::OPEN, State::RUNNING, State::WAITING};
    std::string states;
    for (State state : named) {
        if (!isAllowed(operation, state)) continue;
        states += std::string(states.empty() ? "" : " or ") + stateName(state);
    }
    return {Status::WRONG_STATE, std::string(operationName(operation)) + " needs the video input " + states +
                                     ", but it is " + stateName(current)};
}

const char* stateName(State state) {
    switch (state) {
        case State::CLOSED: return "closed";
        case State::OPEN: return "open";
        case State::STARTING: return "starting";
        case State::RUNNING: return "running";
        case State::WAITING: return "waiting for a trigger";
        case State::ENDING: return "ending";
        case State::ENDED: return "ended";
    }
    return "unknown";
}

const char* operationName(Operation operation) {
    switch (operation) {
        case Operation::OPEN: return "open";
        case Operation::CLOSE: return "close";
        case Operation::START: return "start";
        case Operation::STOP: return "stop";
        case Operation::SET_PROPERTY: return "setProperty";
        case Operation::SET_ROI: return "setRoi";
        case Operation::SET_FRAME_SINK: return "setFrameSink";
        case Operation::TRIGGER: return "trigger";
    }
    return "unknown";
}

Status checkPlan(const AcquisitionPlan& plan) {
    if (plan.frameGrabInterval < 1) return {Status::BAD_VALUE, "the frame grab interval must be at least 1"};
    return Status();
}

std::uint64_t totalFrames(const AcquisitionPlan& plan) {
    if (plan.framesPerTrigger == 0 || plan.triggerRepeat == AcquisitionPlan::kEndless) return 0;
    const std::uint64_t triggers = plan.triggerRepeat + 1;
    // Beyond what any run could deliver: the same as no end.
    if (triggers > UINT64_MAX / plan.framesPerTrigger) return 0;
    return triggers * plan.framesPerTrigger;
}

TriggerSchedule::TriggerSchedule(const AcquisitionPlan& plan) : plan_(plan) {
    if (plan_.frameGrabInterval < 1) plan_.frameGrabInterval = 1;
    waiting_ = plan_.manualTrigger;
    fired_ = plan_.manualTrigger ? 0 : 1;
}

TriggerSchedule::Decision TriggerSchedule::decide(std::uint64_t framesTaken) {
    Decision decision;
    if (waiting_ || complete_ || fired_ == 0) return decision;
    const std::uint64_t place = sinceTrigger_++;
    if (place < plan_.triggerFrameDelay || (place - plan_.triggerFrameDelay) % plan_.frameGrabInterval != 0)
        return decision;
    decision.deliver = true;
    decision.tag = FrameTag(framesTaken + 1, fired_, ++delivered_);
    if (plan_.framesPerTrigger != 0 && delivered_ >= plan_.framesPerTrigger) {
        endTrigger();
        if (!waiting_ && !complete_) decision.nextTrigger = fired_;
    }
    return decision;
}

void TriggerSchedule::endTrigger() {
    if (plan_.triggerRepeat != AcquisitionPlan::kEndless && fired_ > plan_.triggerRepeat) {
        complete_ = true;
        return;
    }
    sinceTrigger_ = 0;
    delivered_ = 0;
    if (plan_.manualTrigger) {
        waiting_ = true;
        return;
    }
    ++fired_;
}

bool TriggerSchedule::fire() {
    if (!waiting_ || complete_) return false;
    waiting_ = false;
    ++fired_;
    sinceTrigger_ = 0;
    delivered_ = 0;
    return true;
}

PropertyValue PropertyValue::ofNumber(double number) {
    PropertyValue value;
    value.kind = NUMBER;
    value.number = number;
    return value;
}

PropertyValue PropertyValue::ofText(std::string text) {
    PropertyValue value;
    value.kind = TEXT;
    value.text = std::move(text);
    return value;
}

PropertyValue PropertyValue::ofWritten(std::string text) {
    PropertyValue value;
    value.kind = WRITTEN;
    value.text = std::move(text);
    return value;
}

PropertyValue PropertyValue::other() { return PropertyValue(); }

Status findProperty(const DeviceAttributes& attributes, const std::string& name, const PropertyEntry** found) {
    if (const PropertyEntry* property = attributes.find(name)) {
        if (found != nullptr) *found = property;
        return Status();
    }
    std::string names;
    for (const PropertyEntry& entry : attributes.properties) names += (names.empty() ? "" : ", ") + entry.name;
    return {Status::NO_PROPERTY, "This camera's source has no property '" + name + "'. Its properties are: " + names};
}

namespace {

std::string enumChoices(const PropertyEntry& property) {
    std::string texts;
    for (const auto& choice : property.enumValues) texts += (texts.empty() ? "'" : ", '") + choice.first + "'";
    return texts;
}

Status checkEnumValue(const PropertyEntry& property, const PropertyValue& value, CheckedValue* checked) {
    if (value.kind == PropertyValue::TEXT || value.kind == PropertyValue::WRITTEN) {
        for (const auto& choice : property.enumValues) {
            if (!equalsIgnoringCase(choice.first, value.text)) continue;
            if (checked != nullptr) checked->enumText = choice.first;
            return Status();
        }
    }
    return {Status::OUT_OF_RANGE, property.name + " takes one of " + enumChoices(property)};
}

Status checkNumberValue(const PropertyEntry& property, const PropertyValue& value, CheckedValue* checked) {
    double number = value.number;
    if (value.kind == PropertyValue::WRITTEN) {
        char* end = nullptr;
        number = std::strtod(value.text.c_str(), &end);
        // Out-of-range text gives an infinity (refused as not finite) or an
        // underflow towards zero, which is a value like any other.
        if (value.text.empty() || end == value.text.c_str() || *end != '\0' || std::isnan(number))
            return {Status::BAD_VALUE, property.name + " needs a number, not \"" + value.text + "\""};
    } else if (value.kind != PropertyValue::NUMBER) {
        return {Status::BAD_VALUE,
                property.name + " must be a real number, e.g. " + korimaq::number(property.defaultValue)};
    }
    const bool inside =
        property.hasRange ? number >= property.minimum && number <= property.maximum : std::isfinite(number);
    if (!inside)
        return {Status::OUT_OF_RANGE, property.hasRange
                                          ? property.name + " must lie between " + korimaq::number(property.minimum) +
                                                " and " + korimaq::number(property.maximum)
                                          : property.name + " must be a finite number"};
    if (property.kind == imaqkit::IPropInfo::KIND_INT && std::floor(number) != number)
        return {Status::OUT_OF_RANGE, property.name + " must be a whole number"};
    if (checked != nullptr) checked->number = number;
    return Status();
}

}  // namespace

Status checkValue(const PropertyEntry& property, VideoInput::State state, const PropertyValue& value,
                  CheckedValue* checked) {
    if (property.readOnly == "always") return {Status::READ_ONLY, property.name + " is read-only"};
    if (property.readOnly == "whileRunning" && isRunning(state))
        return {Status::READ_ONLY_WHILE_RUNNING,
                property.name + " is read-only while the video input is running; stop it first"};
    switch (property.kind) {
        case imaqkit::IPropInfo::KIND_ENUM: return checkEnumValue(property, value, checked);
        case imaqkit::IPropInfo::KIND_DOUBLE:
        case imaqkit::IPropInfo::KIND_INT: return checkNumberValue(property, value, checked);
        default: return {Status::NOT_SETTABLE, property.name + " cannot be set from here"};
    }
}

Status checkPropertyValue(const DeviceAttributes& attributes, const std::string& name, VideoInput::State state,
                          const PropertyValue& value, CheckedValue* checked) {
    const PropertyEntry* property = nullptr;
    if (Status found = findProperty(attributes, name, &property); !found) return found;
    return checkValue(*property, state, value, checked);
}

std::string describeProperty(const PropertyEntry& property) {
    std::string line = property.name + ": ";
    switch (property.kind) {
        case imaqkit::IPropInfo::KIND_ENUM: {
            line += "enumerated {";
            std::string defaultText;
            for (std::size_t i = 0; i < property.enumValues.size(); ++i) {
                line += (i ? ", " : "") + property.enumValues[i].first;
                if (property.enumValues[i].second == property.enumDefault) defaultText = property.enumValues[i].first;
            }
            line += "}, default " + defaultText;
            break;
        }
        case imaqkit::IPropInfo::KIND_DOUBLE:
        case imaqkit::IPropInfo::KIND_INT:
            line += property.kind == imaqkit::IPropInfo::KIND_DOUBLE ? "double" : "integer";
            if (property.hasRange) line += " [" + number(property.minimum) + ", " + number(property.maximum) + "]";
            line += ", default " + number(property.defaultValue);
            break;
        default: line += "other"; break;
    }
    return line + ", read-only " + property.readOnly;
}

}  // namespace korimaq
