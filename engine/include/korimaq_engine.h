// The host engine: loads an acquisition adaptor library the way the toolbox
// does, reads its catalogue and device properties, and runs video inputs
// (one adaptor object each) with their property container, adaptor manager
// and frame store. Used by the korvix tool, the adaptor's tests and the
// video input MEX file.
//
// The engine is as strict as the toolbox it stands in for. Every export, every
// adaptor operation and every listener notification runs on the engine's own
// thread, which each library starts; a call from any other thread is a fault
// of the host and aborts. A VideoInput may be driven from any one user thread:
// its operations hand their work to the engine's thread and wait for it. What
// an adaptor does wrong with frames (no time stamp, a wrong frame type, a
// frame after stop capture returned...) is counted as a violation.
#pragma once

#include "imaqkit.h"
#include "imaqkit_host.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>
namespace korimaq {

struct FormatEntry {
    std::int32_t id;
    std::string name;
    bool isDefault;
};

struct DeviceEntry {
    std::int32_t id;
    std::string name;
    std::vector<FormatEntry> formats;  // in the order the adaptor added them
};

struct PropertyEntry {
    std::string name;
    imaqkit::IPropInfo::Kind kind = imaqkit::IPropInfo::KIND_DOUBLE;
    bool hasRange = false;
    double minimum = 0;
    double maximum = 0;
    double defaultValue = 0;
    std::vector<std::pair<std::string, std::int32_t>> enumValues;  // (text, id), first is the default
    std::int32_t enumDefault = 0;
    std::string readOnly = "notReadOnly";
};

struct SourceEntry {
    std::string name;
    std::int32_t id;
};

struct DeviceAttributes {
    std::vector<SourceEntry> sources;
    std::vector<PropertyEntry> properties;  // declared ones, in the order they were added
    std::vector<std::string> triggers;      // "type/condition/source"
    const PropertyEntry* find(const std::string& name) const;
};

struct DeliveredFrame {
    std::int32_t frameType = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double time = 0;
    std::vector<std::uint8_t> pixels;  // as the frame holds them: bands interleaved, rows top first
};

// Spread of the time stamps of one acquisition, in seconds.
struct TimeStampStats {
    std::size_t count = 0;
    double first = 0;
    double last = 0;
    double meanInterval = 0;
    double minInterval = 0;
    double maxInterval = 0;
    double stddevInterval = 0;
};

class VideoInput;
class HostEngine;
class EngineThread;

// Where a delivered frame stands in its acquisition.
struct FrameTag {
    std::uint64_t frameNumber = 0;    // among every frame the adaptor took since start, from 1
    std::uint64_t triggerIndex = 1;   // the trigger it belongs to, from 1
    std::uint64_t relativeFrame = 1;  // among that trigger's delivered frames, from 1
    FrameTag() = default;
    // A frame of an acquisition with one trigger, numbered as the adaptor took it.
    FrameTag(std::uint64_t number) : frameNumber(number), relativeFrame(number) {}  // NOLINT: implicit on purpose
    FrameTag(std::uint64_t number, std::uint64_t trigger, std::uint64_t relative)
        : frameNumber(number), triggerIndex(trigger), relativeFrame(relative) {}
};

// Takes every frame a video input receives, in place of the engine's own
// first/last store. Called on the adaptor's thread, one frame at a time,
// after the engine's checks accepted the frame.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // `pixels` are the frame's bands interleaved, rows as the adaptor set
    // them; the sink may take them (swap). False ends the acquisition: the
    // adaptor is told it is complete.
    virtual bool frameReceived(std::vector<std::uint8_t>& pixels, std::int32_t width, std::int32_t height, double time,
                               const FrameTag& tag) = 0;
    // Trigger `triggerIndex` fired at `stamp` (the kit's clock), after
    // `framesTaken` frames of the adaptor. Called with the engine's lock held,
    // before any frame of that trigger reaches frameReceived. Must not throw.
    virtual void triggerFired(std::uint64_t /*triggerIndex*/, double /*stamp*/,
                              std::uint64_t /*framesTaken*/) noexcept {}
    // The engine could not allocate what a frame needs, on the adaptor's
    // thread; the acquisition ends. Must not throw.
    virtual void outOfMemory() noexcept {}
};

// The five exports of an adaptor library.
struct AdaptorExports {
    ImaqInitializeAdaptorFn initializeAdaptor = nullptr;
    ImaqUninitializeAdaptorFn uninitializeAdaptor = nullptr;
    ImaqGetAvailHWFn getAvailHW = nullptr;
    ImaqGetDeviceAttributesFn getDeviceAttributes = nullptr;
    ImaqCreateInstanceFn createInstance = nullptr;
};

class AdaptorLibrary : public std::enable_shared_from_this<AdaptorLibrary> {
public:
    // Loads the library, finds its exports, starts the engine's thread and
    // initializes the adaptor on it; null with a readable reason in `error`
    // when any of that fails.
    static std::shared_ptr<AdaptorLibrary> load(const std::string& path, std::string& error);
    ~AdaptorLibrary();  // uninitializes, ends the engine's thread and unloads; every VideoInput holds the library
    AdaptorLibrary(const AdaptorLibrary&) = delete;
    AdaptorLibrary& operator=(const AdaptorLibrary&) = delete;

    // The raw exports: call them only inside onEngineThread.
    const AdaptorExports& exports() const { return exports_; }
    const std::string& path() const { return path_; }

    // The catalogue, from getAvailHW: the devices the adaptor added.
    std::vector<DeviceEntry> availableHardware();
    // From getDeviceAttributes; `triggers` false passes no trigger container.
    DeviceAttributes deviceAttributes(std::int32_t deviceId, const std::string& formatName = std::string(),
                                      bool triggers = true);
    // A video input for one device and format, through createInstance; null
    // with the reason in `error` when the adaptor gives no object.
    std::unique_ptr<VideoInput> createVideoInput(std::int32_t deviceId, const std::string& formatName,
                                                 std::string& error);

    // Runs `work` on the engine's thread and returns when it is done (at once
    // when called there).
    void onEngineThread(const std::function<void()>& work);
    bool isEngineThread() const;

private:
    AdaptorLibrary() = default;
    void* module_ = nullptr;
    std::string path_;
    AdaptorExports exports_;
    std::unique_ptr<EngineThread> thread_;
};

// The adaptor library beside the running executable (libkorviximaq.so,
// korviximaq.dll), or an empty string when the executable's folder is unknown.
std::string adaptorBesideExecutable();

// What one acquisition is to do: the value VideoInput::start takes, and what
// the adaptor's manager answers from while it runs.
struct AcquisitionPlan {
    static constexpr std::uint64_t kEndless = UINT64_MAX;
    std::uint32_t framesPerTrigger = 0;   // frames to deliver per trigger; 0: until stopped
    std::uint32_t frameGrabInterval = 1;  // every n-th frame after a trigger is delivered (n >= 1)
    std::uint64_t triggerRepeat = 0;      // triggers after the first; kEndless: until stopped
    std::uint32_t triggerFrameDelay = 0;  // frames skipped after each trigger before the first delivered
    bool manualTrigger = false;           // triggers fire at VideoInput::trigger, not at start
};

// The frames one acquisition delivers in all; 0 when it runs until stopped.
std::uint64_t totalFrames(const AcquisitionPlan& plan);

// Which frames of one acquisition are delivered and when it is complete:
// what the adaptor's manager answers (is this frame to be delivered; is the
// acquisition not complete). The first trigger fires at start, or at the
// first manual trigger; after each trigger, triggerFrameDelay frames are
// skipped, then every frameGrabInterval-th frame is delivered until
// framesPerTrigger are. Then the next trigger fires at once (immediate) or
// the schedule waits for it (manual); after the last one it is complete.
// Pure: the engine keeps one per acquisition, under its lock.
class TriggerSchedule {
public:
    struct Decision {
        bool deliver = false;
        FrameTag tag;                   // where a delivered frame stands
        std::uint64_t nextTrigger = 0;  // an immediate trigger fired after this frame (its index), or 0
    };
    TriggerSchedule() = default;
    explicit TriggerSchedule(const AcquisitionPlan& plan);
    // The frame after `framesTaken` frames of the adaptor: delivered or not.
    Decision decide(std::uint64_t framesTaken);
    // A manual trigger; false (and no change) unless waiting for one.
    bool fire();
    bool waiting() const { return waiting_; }
    bool complete() const { return complete_; }
    std::uint64_t triggersFired() const { return fired_; }

private:
    void endTrigger();
    AcquisitionPlan plan_;
    std::uint64_t fired_ = 0;         // triggers fired, the current one included
    std::uint64_t sinceTrigger_ = 0;  // frames decided since the current trigger fired
    std::uint64_t delivered_ = 0;     // frames delivered for the current trigger
    bool waiting_ = false;
    bool complete_ = false;
};

// What a VideoInput operation came to. Converts to true on success.
struct Status {
    enum Code {
        OK,
        WRONG_STATE,   // the operation is not allowed in the input's current state
        NO_PROPERTY,   // the device declares no property of that name
        NOT_SETTABLE,  // a property of a kind that takes no value from here
        BAD_VALUE,     // not a value of the property's type, or a plan that cannot run
        OUT_OF_RANGE,  // outside the declared range or enumeration, not finite, or not whole
        READ_ONLY,     // declared read-only always
        READ_ONLY_WHILE_RUNNING,
        REFUSED,  // the adaptor said no (openDevice returned false, say)
    };
    Code code = OK;
    std::string message;  // empty on success; otherwise what was refused and why
    explicit operator bool() const { return code == OK; }
};

// A value offered for a device property, as the caller holds it.
struct PropertyValue {
    enum Kind {
        NUMBER,   // a real number
        TEXT,     // an enumerated value's name, in any case
        WRITTEN,  // text from a command line: an enumerated value's name, or a number written out
        OTHER,    // anything else: an array, a logical, a complex number
    };
    Kind kind = OTHER;
    double number = 0;
    std::string text;
    static PropertyValue ofNumber(double number);
    static PropertyValue ofText(std::string text);
    static PropertyValue ofWritten(std::string text);
    static PropertyValue other();
};

// A value that passed the check, as the property container takes it.
struct CheckedValue {
    double number = 0;
    std::string enumText;  // an enumerated value's name as declared
};

class VideoInput {
public:
    // One state, changed in one place on the engine's thread (the host's
    // request to end a run, from any thread, only moves RUNNING to ENDING).
    enum class State {
        CLOSED,    // created, or closed again: the device is not open
        OPEN,      // the device is open and no acquisition runs (none yet, or the host stopped it)
        STARTING,  // inside the adaptor's start capture: frames are taken, the manager does not report it running yet
        RUNNING,   // a trigger fired and its frames are delivered (logging)
        WAITING,   // running, waiting for a manual trigger: frames are taken, none delivered
        ENDING,    // the host asked the run to end: the adaptor is told it is complete, the stop is on its way
        ENDED,  // the device is open; the last run stopped by itself (frames complete, an adaptor error, ended early)
    };
    enum class Operation { OPEN, CLOSE, START, STOP, SET_PROPERTY, SET_ROI, SET_FRAME_SINK, TRIGGER };

    ~VideoInput();  // stops, removes the listeners, destroys the adaptor (which closes), then the engine
    VideoInput(const VideoInput&) = delete;
    VideoInput& operator=(const VideoInput&) = delete;

    State state() const;

    // Opens the device (manager operation 1). Opening resets some of the
    // adaptor's settings to the camera's defaults, so every property value
    // is handed to its listeners again afterwards: values set before opening
    // stay in force.
    Status open();
    // Stops if running, then closes (manager operation 2). Allowed in every state.
    Status close();
    // Starts the acquisition the plan describes, with counters, time stamps,
    // stored frames and the last adaptor error cleared.
    Status start(const AcquisitionPlan& plan);
    // Stops (manager operation 4); when it returns no further frame arrives.
    // Allowed in every state; nothing to do unless running.
    Status stop();
    // Fires a manual trigger: allowed while waiting for one only.
    Status trigger();
    bool isOpen() const { return state() != State::CLOSED; }
    bool isAcquiring() const;
    // A trigger fired and its frames are being delivered.
    bool isLogging() const { return state() == State::RUNNING; }
    std::uint64_t triggersFired() const;
    // The plan of the last start (the default plan before any).
    AcquisitionPlan plan() const;

    // Waits until the frames asked for by start have been delivered (never,
    // for an acquisition without end); false on time-out.
    bool waitUntilComplete(std::chrono::milliseconds timeout) const;
    bool waitForFramesReceived(std::uint64_t count, std::chrono::milliseconds timeout) const;
    bool waitForFramesAcquired(std::uint64_t count, std::chrono::milliseconds timeout) const;
    // Waits until the input is not running; false on time-out.
    bool waitUntilStopped(std::chrono::milliseconds timeout) const;

    // A region of interest inside the adaptor's image. Not while running.
    Status setRoi(std::int32_t xOffset, std::int32_t yOffset, std::int32_t width, std::int32_t height);

    // Device properties, through checkPropertyValue: a refused value never
    // reaches the adaptor's listener.
    Status setProperty(const std::string& name, const PropertyValue& value);
    Status setProperty(const std::string& name, double value);
    // An enumerated value by its text (any case), or a number written out.
    Status setProperty(const std::string& name, const std::string& value);
    double doubleValue(const std::string& name) const;
    std::string enumText(const std::string& name) const;
    // Stores `value` and tells the property's listeners (an enumerated
    // property gets the id), without the checks above: what a host whose
    // modes allowed the change would do. For tests of an adaptor's listeners.
    void notifyListeners(const std::string& name, double value);

    // The first error the adaptor reported since open or start (the engine
    // stopped the acquisition for it), if any.
    std::optional<imaqkit::host::Report> adaptorError() const;

    std::uint64_t framesReceived() const;    // delivered in this acquisition
    std::uint64_t framesAcquired() const;    // counted by the adaptor in this acquisition
    std::vector<double> timeStamps() const;  // of this acquisition, in delivery order
    TimeStampStats timeStampStats() const;
    bool firstFrame(DeliveredFrame& frame) const;
    bool lastFrame(DeliveredFrame& frame) const;
    // Null: the engine keeps the first and last frames itself. The sink must
    // outlive the acquisitions it sees. Not while running.
    Status setFrameSink(FrameSink* sink);
    // From any thread: the adaptor is told the acquisition is complete and
    // takes no further frame; the engine then stops it.
    void endEarly();

    // Rules of the host the adaptor broke: frames without or before their
    // time stamp, of another type, outside the image, beyond the count asked
    // for or after stop capture returned, bad frame sizes. Tests assert none.
    std::vector<std::string> violations() const;
    std::uint64_t violationCount() const;
    std::uint64_t lateFrames() const;  // frames handed over after stop capture had returned
    // The Win32 priority (GetThreadPriority) of the thread that handed over
    // the last frame; THREAD_PRIORITY_NORMAL's 0 before any frame.
    int frameThreadPriority() const;

    // The kit objects, for tests that drive them directly: use them only
    // inside onEngineThread, as the toolbox would.
    imaqkit::IAdaptor* adaptor() const { return adaptor_; }
    imaqkit::IAdaptorManager* manager() const;
    imaqkit::IPropContainer* properties() const;
    imaqkit::IEngine* engine() const;
    void onEngineThread(const std::function<void()>& work) const;

    const DeviceAttributes& attributes() const { return attributes_; }
    std::int32_t deviceId() const { return deviceId_; }
    const std::string& formatName() const { return formatName_; }

private:
    friend class AdaptorLibrary;
    VideoInput() = default;

    std::shared_ptr<AdaptorLibrary> library_;
    std::shared_ptr<HostEngine> engine_;  // shared with work the adaptor's threads post to the engine's thread
    imaqkit::IAdaptor* adaptor_ = nullptr;
    DeviceAttributes attributes_;
    std::int32_t deviceId_ = 0;
    std::string formatName_;
};

// STARTING, RUNNING, WAITING and ENDING: an acquisition runs.
bool isRunning(VideoInput::State state);
// The one table of which operation each state allows.
bool isAllowed(VideoInput::Operation operation, VideoInput::State state);
// The gate every operation passes: refuses naming the operation, the states
// it needs and the current state.
Status gate(VideoInput::Operation operation, VideoInput::State state);
// A plan that cannot run (a frame grab interval of 0) is refused.
Status checkPlan(const AcquisitionPlan& plan);

// Whether `value` may be set on device property `name` of an input in
// `state`: the property exists, may change in that state, and the value has
// its type and lies in its range or enumeration. Decided here only; the
// video input, its property container and the hosts ask it. On success
// `checked` (if given) holds the value as the container takes it.
Status checkPropertyValue(const DeviceAttributes& attributes, const std::string& name, VideoInput::State state,
                          const PropertyValue& value, CheckedValue* checked = nullptr);
// The same for a property already found.
Status checkValue(const PropertyEntry& property, VideoInput::State state, const PropertyValue& value,
                  CheckedValue* checked = nullptr);
// The declared property `name`, or NO_PROPERTY with a text that lists the declared ones.
Status findProperty(const DeviceAttributes& attributes, const std::string& name, const PropertyEntry** found);

const char* stateName(VideoInput::State state);
const char* operationName(VideoInput::Operation operation);
bool equalsIgnoringCase(const std::string& a, const std::string& b);
std::string number(double value);  // 10 significant digits

// One line about a declared property: kind, range or values, default, read-only mode.
std::string describeProperty(const PropertyEntry& property);

}  // namespace korimaq
