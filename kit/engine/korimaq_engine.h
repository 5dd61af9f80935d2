// The host engine: loads an acquisition adaptor library the way the toolbox
// does, reads its catalogue and device properties, and runs video inputs
// (one adaptor object each) with their property container, adaptor manager
// and frame store. Used by the korvix tool and by the adaptor's tests.
//
// A VideoInput is driven from one thread (the "engine thread"); its frames
// arrive on the adaptor's threads and are read back under a lock.
#pragma once

#include "imaqkit.h"

#include <chrono>
#include <cstdint>
#include <memory>
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

// Takes every frame a video input receives, in place of the engine's own
// first/last store. Called on the adaptor's thread, one frame at a time.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // `pixels` are the frame's bands interleaved, rows as the adaptor set
    // them; the sink may take them (swap). `frameNumber` counts every frame
    // the adaptor took since start, 1 for the first. False ends the
    // acquisition: the adaptor is told it is complete.
    virtual bool frameReceived(std::vector<std::uint8_t>& pixels, std::int32_t width, std::int32_t height,
                               double time, std::uint64_t frameNumber) = 0;
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
    // Loads the library, finds its exports and initializes it; null with a
    // readable reason in `error` when any of that fails.
    static std::shared_ptr<AdaptorLibrary> load(const std::string& path, std::string& error);
    ~AdaptorLibrary();  // uninitializes and unloads; every VideoInput holds the library
    AdaptorLibrary(const AdaptorLibrary&) = delete;
    AdaptorLibrary& operator=(const AdaptorLibrary&) = delete;

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

private:
    AdaptorLibrary() = default;
    void* module_ = nullptr;
    std::string path_;
    AdaptorExports exports_;
};

// The adaptor library beside the running executable (libkorviximaq.so,
// korviximaq.dll), or an empty string when the executable's folder is unknown.
std::string adaptorBesideExecutable();

class VideoInput {
public:
    ~VideoInput();  // destroys the adaptor (which stops and closes), then the listeners, then the engine
    VideoInput(const VideoInput&) = delete;
    VideoInput& operator=(const VideoInput&) = delete;

    imaqkit::IAdaptor* adaptor() const { return adaptor_; }
    imaqkit::IAdaptorManager* manager() const;
    imaqkit::IPropContainer* properties() const;
    imaqkit::IEngine* engine() const;
    const DeviceAttributes& attributes() const { return attributes_; }
    std::int32_t deviceId() const { return deviceId_; }
    const std::string& formatName() const { return formatName_; }

    // Manager operation 1. Opening resets some of the adaptor's settings to
    // the camera's defaults, so every property value is handed to its
    // listeners again afterwards: values set before opening stay in force.
    bool open();
    void close();  // manager operation 2
    // Starts an acquisition of framesPerTrigger delivered frames (0: until
    // stopped) with counters, time stamps and stored frames cleared.
    bool start(std::uint32_t framesPerTrigger);
    void stop();  // manager operation 4
    // From any thread: the adaptor is told the acquisition is complete and
    // takes no further frame; stop() still has to follow. Cleared by start.
    void endEarly();
    // Null: the engine keeps the first and last frames itself. The sink must
    // outlive the acquisitions it sees; set it while not acquiring.
    void setFrameSink(FrameSink* sink);
    bool isOpen() const;
    bool isAcquiring() const;

    // Waits until the frames asked for by start have been delivered; false on time-out.
    bool waitUntilComplete(std::chrono::milliseconds timeout) const;
    bool waitForFramesReceived(std::uint64_t count, std::chrono::milliseconds timeout) const;
    bool waitForFramesAcquired(std::uint64_t count, std::chrono::milliseconds timeout) const;

    // Every n-th acquired frame is delivered (n >= 1).
    bool setFrameGrabInterval(std::uint32_t interval);
    // A region of interest inside the adaptor's image; false if it does not fit.
    bool setRoi(std::int32_t xOffset, std::int32_t yOffset, std::int32_t width, std::int32_t height);

    // Sets a device property from text as a user would: a number within the
    // declared range, or one of the enumerated values. False with the reason.
    bool setProperty(const std::string& name, const std::string& value, std::string& error);

    std::uint64_t framesReceived() const;  // delivered in this acquisition
    std::uint64_t framesAcquired() const;  // counted by the adaptor in this acquisition
    // Frames handed over after stop capture had returned (ever, across acquisitions).
    std::uint64_t lateFrames() const;
    std::vector<double> timeStamps() const;  // of this acquisition, in delivery order
    TimeStampStats timeStampStats() const;
    bool firstFrame(DeliveredFrame& frame) const;
    bool lastFrame(DeliveredFrame& frame) const;
    // What went wrong on the engine's side (bad frame sizes, images outside a frame).
    std::vector<std::string> engineProblems() const;

private:
    friend class AdaptorLibrary;
    VideoInput() = default;

    std::shared_ptr<AdaptorLibrary> library_;
    std::unique_ptr<HostEngine> engine_;
    imaqkit::IAdaptor* adaptor_ = nullptr;
    DeviceAttributes attributes_;
    std::int32_t deviceId_ = 0;
    std::string formatName_;
};

// One line about a declared property: kind, range or values, default, read-only mode.
std::string describeProperty(const PropertyEntry& property);

}  // namespace korimaq
