// The engine's implementations of the kit interfaces (internal to korimaqengine).
#pragma once

#include "engine_thread.h"
#include "korimaq_engine.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korimaq {

class HostProperty final : public imaqkit::IPropInfo {
public:
    explicit HostProperty(PropertyEntry entry) : entry_(std::move(entry)) {}
    const char* getName() const override { return entry_.name.c_str(); }
    Kind getKind() const override { return entry_.kind; }
    const char* getReadOnlyMode() const override { return entry_.readOnly.c_str(); }

    PropertyEntry& entry() { return entry_; }
    const PropertyEntry& entry() const { return entry_; }

private:
    PropertyEntry entry_;
};

class HostDeviceFormat final : public imaqkit::IDeviceFormat {
public:
    HostDeviceFormat(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}
    std::int32_t getFormatId() const override { return id_; }
    const char* getFormatName() const override { return name_.c_str(); }

private:
    std::int32_t id_;
    std::string name_;
};

class HostDeviceInfo final : public imaqkit::IDeviceInfo {
public:
    HostDeviceInfo(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}
    imaqkit::IDeviceFormat* createDeviceFormat(std::int32_t formatId, const char* formatName) override;
    void addDeviceFormat(imaqkit::IDeviceFormat* format, bool isDefault) override;
    std::int32_t getDeviceId() const override { return id_; }
    const char* getDeviceName() const override { return name_.c_str(); }

    DeviceEntry entry() const;

private:
    std::int32_t id_;
    std::string name_;
    std::vector<std::unique_ptr<HostDeviceFormat>> created_;
    std::vector<FormatEntry> added_;
};

class HostHardwareInfo final : public imaqkit::IHardwareInfo {
public:
    imaqkit::IDeviceInfo* createDeviceInfo(std::int32_t deviceId, const char* deviceName) override;
    void addDevice(imaqkit::IDeviceInfo* device) override;

    std::vector<DeviceEntry> devices() const;

private:
    std::vector<std::unique_ptr<HostDeviceInfo>> created_;  // records never added are released here too
    std::vector<const HostDeviceInfo*> added_;
};

class HostSourceInfo final : public imaqkit::IVideoSourceInfo {
public:
    void addAdaptorSource(const char* sourceName, std::int32_t sourceId) override;
    std::vector<SourceEntry> sources;
};

class HostTriggerInfo final : public imaqkit::ITriggerInfo {
public:
    void addConfiguration(const char* triggerType, const char* condition, const char* source) override;
    std::vector<std::string> configurations;
};

class HostPropFactory final : public imaqkit::IPropFactory {
public:
    imaqkit::IPropInfo* createIntProperty(const char* name, std::int32_t defaultValue) override;
    imaqkit::IPropInfo* createIntRangeProperty(const char* name, std::int32_t minimum, std::int32_t maximum,
                                               std::int32_t defaultValue) override;
    imaqkit::IPropInfo* createDoubleProperty(const char* name, double defaultValue) override;
    imaqkit::IPropInfo* createDoubleRangeProperty(const char* name, double minimum, double maximum,
                                                  double defaultValue) override;
    imaqkit::IPropInfo* createStringProperty(const char* name, const char* defaultValue) override;
    imaqkit::IPropInfo* createIntArrayProperty(const char* name, const std::int32_t* values,
                                               std::int32_t count) override;
    imaqkit::IPropInfo* createDoubleArrayProperty(const char* name, const double* values, std::int32_t count) override;
    void setPropDescription(imaqkit::IPropInfo* property, const char* text) override;
    void setPropUnits(imaqkit::IPropInfo* property, const char* units) override;
    imaqkit::IPropInfo* createEnumProperty(const char* name, const char* text, std::int32_t id) override;
    void setEnumDefault(imaqkit::IPropInfo* property, std::int32_t id) override;
    void addEnumValue(imaqkit::IPropInfo* property, const char* text, std::int32_t id) override;
    void setPropHidden(imaqkit::IPropInfo* property, bool hidden) override;
    void addProperty(imaqkit::IPropInfo* property) override;
    void setPropIdentifier(imaqkit::IPropInfo* property, std::int32_t identifier) override;
    void setPropDeviceSpecific(imaqkit::IPropInfo* property, bool deviceSpecific) override;
    void setPropReadOnly(imaqkit::IPropInfo* property, const char* mode) override;

    std::vector<PropertyEntry> declared() const;

private:
    HostProperty* make(PropertyEntry entry);
    HostProperty* own(imaqkit::IPropInfo* property) const;  // null for objects of another factory
    std::vector<std::unique_ptr<HostProperty>> created_;
    std::vector<const HostProperty*> added_;
};

class HostEngine;

// Current values of the declared properties and their listeners. Changes and
// listeners are the engine thread's only; a change checkValue refuses (outside
// the declared range or enumeration, or of a property read-only in the
// input's current state) never reaches a listener.
class HostPropContainer final : public imaqkit::IPropContainer {
public:
    HostPropContainer(const std::vector<PropertyEntry>& declared, const HostEngine& engine);
    ~HostPropContainer() override;

    bool isPropertyDefined(const char* name) const override;
    std::int32_t getNumberOfProperties() const override;
    const char* getPropertyName(std::int32_t index) const override;
    imaqkit::IPropInfo* getPropertyInfo(const char* name) override;
    double getDoubleValue(const char* name) const override;
    std::int32_t getEnumValue(const char* name) const override;
    const char* getEnumText(const char* name) const override;
    bool setDoubleValue(const char* name, double value) override;
    bool setEnumValue(const char* name, const char* text) override;
    std::int32_t getNumberOfListeners(const char* name) const override;
    void removeListeners(const char* name) override;
    void addListener(const char* name, imaqkit::IPropPostSetListener* listener) override;
    // Stores and notifies without the range, enumeration and mode checks.
    void notifyUnchecked(const char* name, double value);

private:
    struct Slot {
        std::unique_ptr<HostProperty> property;
        double value = 0;
        std::int32_t enumId = 0;
        std::vector<imaqkit::IPropPostSetListener*> listeners;  // owned
    };
    Slot* find(const char* name);
    const Slot* find(const char* name) const;
    void notify(Slot& slot, void* value);

    const HostEngine& engine_;
    std::vector<Slot> slots_;
    std::vector<imaqkit::IPropPostSetListener*> orphans_;  // listeners of names never declared, owned
};

class HostAdaptorManager;

class HostFrame final : public imaqkit::IAdaptorFrame {
public:
    explicit HostFrame(HostEngine& engine) : engine_(engine) {}
    void reshape(std::int32_t frameType, std::int32_t width, std::int32_t height, std::size_t bytesPerPixel) {
        frameType_ = frameType;
        width_ = width;
        height_ = height;
        bytesPerPixel_ = bytesPerPixel;
        // setImage overwrites every byte: a reused frame needs no clearing.
        pixels_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * bytesPerPixel);
        time_ = 0;
        imageSet_ = false;
        stamped_ = false;
        stampedBeforeImage_ = false;
    }

    void setImage(const void* image, std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t xOffset,
                  std::int32_t yOffset) override;
    const void* getImage() const override { return pixels_.data(); }
    std::int32_t getWidth() const override { return width_; }
    std::int32_t getHeight() const override { return height_; }
    std::int32_t getFrameType() const override { return frameType_; }
    std::size_t getImageSize() const override { return pixels_.size(); }
    void setTime(double seconds) override {
        time_ = seconds;
        if (!imageSet_) stampedBeforeImage_ = true;
        stamped_ = true;
    }
    double getTime() const override { return time_; }

    bool imageSet() const { return imageSet_; }
    bool stamped() const { return stamped_; }
    bool stampedBeforeImage() const { return stampedBeforeImage_; }

    void copyTo(DeliveredFrame& frame) const {
        frame.frameType = frameType_;
        frame.width = width_;
        frame.height = height_;
        frame.time = time_;
        frame.pixels = pixels_;
    }
    std::vector<std::uint8_t>& pixels() { return pixels_; }

private:
    HostEngine& engine_;
    std::int32_t frameType_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::size_t bytesPerPixel_ = 0;
    double time_ = 0;
    bool imageSet_ = false;
    bool stamped_ = false;
    bool stampedBeforeImage_ = false;
    std::vector<std::uint8_t> pixels_;
};

// The engine of one video input: its state, frames, the manager, the
// property container, and what the adaptor did wrong.
class HostEngine final : public imaqkit::IEngine, public std::enable_shared_from_this<HostEngine> {
public:
    HostEngine(const std::vector<PropertyEntry>& declared, EngineThread& thread);
    ~HostEngine() override;

    imaqkit::IAdaptorFrame* createFrame(std::int32_t frameType, std::int32_t width, std::int32_t height) override;
    void receiveFrame(imaqkit::IAdaptorFrame* frame) override;
    imaqkit::IAdaptorManager* createAdaptorManager(imaqkit::IAdaptor* adaptor) override;
    void releaseFrame(imaqkit::IAdaptorFrame* frame) override;
    std::uint64_t getFramesReceived() const override;
    imaqkit::IPropContainer* getPropContainer() override { return &container_; }

    HostAdaptorManager* manager() const { return manager_; }
    void forgetManager() { manager_ = nullptr; }  // the adaptor destroyed it
    EngineThread& thread() const { return thread_; }
    // The frame type the adaptor declared, read once on the engine's thread.
    void setDeclaredFrameType(std::int32_t frameType) { declaredFrameType_ = frameType; }

    VideoInput::State state() const { return state_; }
    // The one place the state changes: to `to`, when the state is one of
    // `from`; false (and no change) otherwise.
    bool changeState(std::initializer_list<VideoInput::State> from, VideoInput::State to);
    // The state a run settles in once the adaptor's start capture returned.
    VideoInput::State startedState() const;

    // Counters and stored frames of a new acquisition; returns its number.
    std::uint64_t beginAcquisition(const AcquisitionPlan& plan);
    AcquisitionPlan plan() const;
    bool waitUntil(std::chrono::milliseconds timeout, std::uint64_t received, std::uint64_t acquired,
                   bool stopped) const;
    void notifyAcquired(std::uint64_t acquired);
    bool acquisitionNotComplete() const;
    // The manager's answer for the next frame (the adaptor asks once per
    // frame, after taking it), from the trigger schedule: the
    // tag of a frame to deliver is kept for receiveFrame. Ends a trigger
    // (WAITING) or fires an immediate one after the frame that completes it.
    bool decideFrame(std::uint64_t framesTaken);
    // A manual trigger, on the engine's thread, through the gate.
    Status fireTrigger();
    std::uint64_t triggersFired() const;

    // An error the adaptor reported: kept (the first one of an acquisition),
    // and the acquisition stopped from the engine's thread.
    void adaptorReported(const imaqkit::host::Report& report);
    std::optional<imaqkit::host::Report> adaptorError() const;
    void clearAdaptorError();
    // The adaptor is told the acquisition is complete, and the engine stops it.
    void endEarly() noexcept;
    // What a frame needs could not be allocated: the sink hears of it and the
    // acquisition ends. Called on the adaptor's thread, never throws.
    void allocationFailed() noexcept;

    void violation(std::string text);
    std::vector<std::string> violations() const;
    std::uint64_t violationCount() const { return violationCount_; }

    mutable std::mutex mutex;  // guards everything below and the frame pool
    mutable std::condition_variable changed;
    std::atomic<std::uint64_t> received{0};
    std::atomic<std::uint64_t> late{0};
    std::atomic<int> frameThreadPriority{0};
    std::vector<double> stamps;
    std::unique_ptr<HostFrame> first;
    std::unique_ptr<HostFrame> last;
    FrameSink* sink = nullptr;  // guarded by mutex; set while not acquiring

private:
    // Stops acquisition `run` from the engine's thread, unless another has begun since.
    void postStop(std::uint64_t run);
    void receiveChecked(std::unique_ptr<HostFrame>& owned);
    // The one place the state is set; the caller holds mutex.
    bool changeStateLocked(std::initializer_list<VideoInput::State> from, VideoInput::State to);
    void triggerFiredLocked(std::uint64_t triggerIndex, std::uint64_t framesTaken) noexcept;

    EngineThread& thread_;
    HostPropContainer container_;
    HostAdaptorManager* manager_ = nullptr;  // owned by the adaptor
    std::atomic<VideoInput::State> state_{VideoInput::State::CLOSED};
    AcquisitionPlan plan_;      // guarded by mutex
    TriggerSchedule schedule_;  // guarded by mutex
    FrameTag decidedTag_;       // guarded by mutex: the frame the schedule last chose to deliver
    std::atomic<std::uint64_t> run_{0};
    std::atomic<std::int32_t> declaredFrameType_{0};
    std::optional<imaqkit::host::Report> adaptorError_;  // guarded by mutex
    std::vector<std::unique_ptr<HostFrame>> pool_;
    std::vector<std::string> violations_;
    std::atomic<std::uint64_t> violationCount_{0};
    // Counts at which a waiter wants to be woken: frames arrive far more often
    // than anyone needs to look at them.
    mutable std::atomic<std::uint64_t> wakeReceived_{UINT64_MAX};
    mutable std::atomic<std::uint64_t> wakeAcquired_{UINT64_MAX};
    mutable int waiters_ = 0;  // guarded by mutex
};

// A plain bookkeeper: the acquisition thread asks it what to do, the engine's
// VideoInput enforces the rules before it calls in. It keeps no state of its
// own: what it reports is the engine's one state and the plan of the running
// acquisition. Opening, closing, starting and stopping run on the engine's
// thread only, and change the state after the adaptor's call returns, so that
// the adaptor sees the state it is leaving.
class HostAdaptorManager final : public imaqkit::IAdaptorManager {
public:
    HostAdaptorManager(imaqkit::IAdaptor* adaptor, HostEngine* engine) : adaptor_(adaptor), engine_(engine) {}
    ~HostAdaptorManager() override;

    bool openDevice() override;
    void closeDevice() override;
    bool startAcquisition() override;
    void stopAcquisition() override { stopAcquisition(VideoInput::State::OPEN); }
    // Stops and leaves the input in `after`: OPEN when the host stopped it, ENDED when it ended by itself.
    void stopAcquisition(VideoInput::State after);
    bool isOpen() const override { return engine_->state() != VideoInput::State::CLOSED; }
    bool isAcquiring() const override;
    imaqkit::IAdaptor* getAdaptor() const override { return adaptor_; }
    imaqkit::IEngine* getEngine() const override { return engine_; }
    std::uint32_t getFramesPerTrigger() const override { return engine_->plan().framesPerTrigger; }
    std::uint32_t getFrameGrabInterval() const override { return engine_->plan().frameGrabInterval; }
    void getRoi(std::int32_t& xOffset, std::int32_t& yOffset, std::int32_t& width, std::int32_t& height) const override;
    std::uint64_t getFramesAcquired() const override { return acquired_; }
    void incrementFramesAcquired() override;
    bool isFrameToBeDelivered() const override { return engine_->decideFrame(acquired_); }
    bool isAcquisitionNotComplete() const override { return engine_->acquisitionNotComplete(); }

    void setRoi(std::int32_t xOffset, std::int32_t yOffset, std::int32_t width, std::int32_t height);
    void resetAcquired() { acquired_ = 0; }

private:
    imaqkit::IAdaptor* adaptor_;
    HostEngine* engine_;
    std::atomic<std::uint64_t> acquired_{0};
    mutable std::mutex roiMutex_;
    bool roiSet_ = false;
    std::int32_t roi_[4] = {0, 0, 0, 0};
};

}  // namespace korimaq
