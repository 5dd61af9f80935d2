// The acquisition adaptor kit: the interfaces through which a host engine and
// an acquisition adaptor talk, and the kit functions an adaptor calls.
//
// Each interface is a table of virtual operations whose order is part of the
// contract: an adaptor built against this header calls the operations by
// their position in the table, counting from 0. Do not reorder, insert or
// remove operations; add new ones only at the end of a table.
//
// Position 0 of every interface that derives IMAQInterface is its virtual
// destructor: "operation 0 with argument 1" is the deleting form, reached in
// C++ by `delete`. IAdaptorFrame has no destructor slot: frames belong to the
// engine that created them.
//
// Strings passed in are only read during the call unless stated; strings
// returned stay valid as long as the object that returned them.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#if defined(IMAQKIT_BUILDING_LIBRARY)
#define IMAQKIT_API __declspec(dllexport)
#else
#define IMAQKIT_API __declspec(dllimport)
#endif
#else
#define IMAQKIT_API __attribute__((visibility("default")))
#endif

namespace imaqkit {

// Frame type codes of IEngine::createFrame. Images are laid out as the
// camera library delivers them, like a Windows bitmap: bottom row first.
enum FrameType : std::int32_t {
    FRAME_MONO8 = 0x1010000,  // one 8-bit band
    FRAME_BGR24 = 0x1030000,  // three interleaved 8-bit bands: blue, green, red
};

class IAdaptor;
class IAdaptorManager;
class IEngine;

// Root of the kit's objects: destroyed through a virtual destructor.
class IMAQInterface {
public:
    virtual ~IMAQInterface() = default;  // 0
};

// A guard that at most one thread holds at a time; a thread may enter it again.
class ICriticalSection : public IMAQInterface {
public:
    virtual void enter() = 0;  // 1
    virtual void leave() = 0;  // 2
};

// A lock over a critical section that one thread takes and releases around a
// piece of work; destroyed by the thread that created it.
class IAutoCriticalSection : public IMAQInterface {
public:
    virtual void lock() = 0;            // 1
    virtual void unlock() = 0;          // 2
    virtual bool isLocked() const = 0;  // 3
};

// One image handed from the adaptor to the engine. The engine creates it with
// its width and height (the region of interest) and owns it.
class IAdaptorFrame {
public:
    // Copies the frame's width x height pixels at (xOffset, yOffset) out of an
    // image of imageWidth x imageHeight pixels of the frame's type.
    virtual void setImage(const void* image, std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t xOffset,
                          std::int32_t yOffset) = 0;  // 0
    virtual const void* getImage() const = 0;         // 1
    virtual std::int32_t getWidth() const = 0;        // 2
    virtual std::int32_t getHeight() const = 0;       // 3
    virtual std::int32_t getFrameType() const = 0;    // 4
    virtual std::size_t getImageSize() const = 0;     // 5: bytes
    virtual void setTime(double seconds) = 0;         // 6: seconds of getCurrentTime
    virtual double getTime() const = 0;               // 7

protected:
    ~IAdaptorFrame() = default;
};

// A device property as the host holds it.
class IPropInfo : public IMAQInterface {
public:
    enum Kind : std::int32_t {
        KIND_DOUBLE = 0,
        KIND_ENUM = 1,
        KIND_INT = 2,
        KIND_STRING = 3,
        KIND_INT_ARRAY = 4,
        KIND_DOUBLE_ARRAY = 5,
    };
    virtual const char* getName() const = 0;          // 1
    virtual Kind getKind() const = 0;                 // 2
    virtual const char* getReadOnlyMode() const = 0;  // 3: "notReadOnly" unless set
};

// Told after a device property has been given a new value.
class IPropPostSetListener : public IMAQInterface {
public:
    // newValue points to a double for floating-point properties and to the
    // int32 id of the chosen value for enumerated ones.
    virtual void notify(IPropInfo* property, void* newValue) = 0;  // 1
};

// The device properties of one video input with their current values.
class IPropContainer : public IMAQInterface {
public:
    virtual bool isPropertyDefined(const char* name) const = 0;             // 1
    virtual std::int32_t getNumberOfProperties() const = 0;                 // 2
    virtual const char* getPropertyName(std::int32_t index) const = 0;      // 3: null out of range
    virtual IPropInfo* getPropertyInfo(const char* name) = 0;               // 4: null if unknown
    virtual double getDoubleValue(const char* name) const = 0;              // 5
    virtual std::int32_t getEnumValue(const char* name) const = 0;          // 6: id of the value
    virtual const char* getEnumText(const char* name) const = 0;            // 7
    virtual bool setDoubleValue(const char* name, double value) = 0;        // 8: notifies listeners
    virtual bool setEnumValue(const char* name, const char* text) = 0;      // 9: notifies listeners
    virtual std::int32_t getNumberOfListeners(const char* name) const = 0;  // 10
    virtual void removeListeners(const char* name) = 0;                     // 11: destroys them
    // Registers a listener of the named property; the container owns it from
    // here on and destroys it with itself.
    virtual void addListener(const char* name, IPropPostSetListener* listener) = 0;  // 12
};

// The host side of one acquisition: what the adaptor asks the engine for.
class IEngine : public IMAQInterface {
public:
    // A new frame of the given type and size; null if it cannot be made.
    virtual IAdaptorFrame* createFrame(std::int32_t frameType, std::int32_t width,
                                       std::int32_t height) = 0;  // 1
    // Takes over a frame made by createFrame, with its image and time stamp.
    virtual void receiveFrame(IAdaptorFrame* frame) = 0;  // 2
    // The manager of an adaptor of this engine; see createAdaptorManager.
    virtual IAdaptorManager* createAdaptorManager(IAdaptor* adaptor) = 0;  // 3
    // Gives back a frame made by createFrame that will not be handed over.
    virtual void releaseFrame(IAdaptorFrame* frame) = 0;  // 4
    virtual std::uint64_t getFramesReceived() const = 0;  // 5
    virtual IPropContainer* getPropContainer() = 0;       // 6
};

// The engine's bookkeeping of one adaptor: device and acquisition state and
// the answers that steer the adaptor's frame loop. Every operation may be
// called from the adaptor's own threads.
class IAdaptorManager : public IMAQInterface {
public:
    virtual bool openDevice() = 0;                           // 1: opens through the adaptor
    virtual void closeDevice() = 0;                          // 2: stops first if acquiring
    virtual bool startAcquisition() = 0;                     // 3
    virtual void stopAcquisition() = 0;                      // 4
    virtual bool isOpen() const = 0;                         // 5
    virtual bool isAcquiring() const = 0;                    // 6
    virtual IAdaptor* getAdaptor() const = 0;                // 7
    virtual IEngine* getEngine() const = 0;                  // 8
    virtual std::uint32_t getFramesPerTrigger() const = 0;   // 9
    virtual std::uint32_t getFrameGrabInterval() const = 0;  // 10
    // The region of interest within the adaptor's image.
    virtual void getRoi(std::int32_t& xOffset, std::int32_t& yOffset, std::int32_t& width,
                        std::int32_t& height) const = 0;  // 11
    virtual std::uint64_t getFramesAcquired() const = 0;  // 12
    virtual void incrementFramesAcquired() = 0;           // 13
    virtual bool isFrameToBeDelivered() const = 0;        // 14: the next frame is handed over
    virtual bool isAcquisitionNotComplete() const = 0;    // 15
};

// Creates the manager of an adaptor; the adaptor destroys it with `delete`.
IMAQKIT_API IAdaptorManager* createAdaptorManager(IAdaptor* adaptor, IEngine* engine);

// An adaptor: one device in one video format, driven by the engine.
// Operations 1 to 3 forward to the adaptor manager that the constructor
// creates; the destructor destroys that manager.
class IAdaptor : public IMAQInterface {
public:
    explicit IAdaptor(IEngine* engine) : manager_(createAdaptorManager(this, engine)) {}
    ~IAdaptor() override { delete manager_; }
    IAdaptor(const IAdaptor&) = delete;
    IAdaptor& operator=(const IAdaptor&) = delete;

    virtual std::uint32_t getFramesPerTrigger() const { return manager_->getFramesPerTrigger(); }  // 1
    virtual void getRoi(std::int32_t& xOffset, std::int32_t& yOffset, std::int32_t& width, std::int32_t& height) const {
        manager_->getRoi(xOffset, yOffset, width, height);
    }                                                                                          // 2
    virtual std::uint64_t getFramesAcquired() const { return manager_->getFramesAcquired(); }  // 3
    virtual std::int32_t getMaxWidth() const = 0;                                              // 4
    virtual std::int32_t getMaxHeight() const = 0;                                             // 5
    virtual std::int32_t getFrameType() const = 0;                                             // 6
    virtual std::int32_t getNumberOfBands() const = 0;                                         // 7
    virtual const char* getDriverDescription() const = 0;                                      // 8
    virtual const char* getDriverVersion() const = 0;                                          // 9
    virtual bool openDevice() = 0;                                                             // 10
    virtual bool closeDevice() = 0;                                                            // 11
    virtual bool startCapture() = 0;                                                           // 12
    virtual bool stopCapture() = 0;                                                            // 13

    IAdaptorManager* getAdaptorManager() const { return manager_; }

private:
    IAdaptorManager* manager_;
};

// A video format offered by a device.
class IDeviceFormat : public IMAQInterface {
public:
    virtual std::int32_t getFormatId() const = 0;   // 1
    virtual const char* getFormatName() const = 0;  // 2
};

// One device of the catalogue; the same interface describes the device to
// getDeviceAttributes and createInstance.
class IDeviceInfo : public IMAQInterface {
public:
    // A new format record owned by the host; add it with addDeviceFormat.
    virtual IDeviceFormat* createDeviceFormat(std::int32_t formatId, const char* formatName) = 0;  // 1
    virtual void addDeviceFormat(IDeviceFormat* format, bool isDefault) = 0;                       // 2
    virtual std::int32_t getDeviceId() const = 0;                                                  // 3
    virtual const char* getDeviceName() const = 0;                                                 // 4
};

// The catalogue of devices an adaptor offers.
class IHardwareInfo : public IMAQInterface {
public:
    // A new device record owned by the host; add it with addDevice.
    virtual IDeviceInfo* createDeviceInfo(std::int32_t deviceId, const char* deviceName) = 0;  // 1
    virtual void addDevice(IDeviceInfo* device) = 0;                                           // 2
};

// The video sources of one device.
class IVideoSourceInfo : public IMAQInterface {
public:
    virtual void addAdaptorSource(const char* sourceName, std::int32_t sourceId) = 0;  // 1
};

// The trigger configurations of one device.
class ITriggerInfo : public IMAQInterface {
public:
    virtual void addConfiguration(const char* triggerType, const char* condition,
                                  const char* source) = 0;  // 1
};

// Makes the device properties of one device. Created properties belong to
// the factory; only those added with addProperty are declared.
class IPropFactory : public IMAQInterface {
public:
    virtual IPropInfo* createIntProperty(const char* name, std::int32_t defaultValue) = 0;  // 1
    virtual IPropInfo* createIntRangeProperty(const char* name, std::int32_t minimum, std::int32_t maximum,
                                              std::int32_t defaultValue) = 0;            // 2
    virtual IPropInfo* createDoubleProperty(const char* name, double defaultValue) = 0;  // 3
    virtual IPropInfo* createDoubleRangeProperty(const char* name, double minimum, double maximum,
                                                 double defaultValue) = 0;                    // 4
    virtual IPropInfo* createStringProperty(const char* name, const char* defaultValue) = 0;  // 5
    virtual IPropInfo* createIntArrayProperty(const char* name, const std::int32_t* values,
                                              std::int32_t count) = 0;  // 6
    virtual IPropInfo* createDoubleArrayProperty(const char* name, const double* values,
                                                 std::int32_t count) = 0;        // 7
    virtual void setPropDescription(IPropInfo* property, const char* text) = 0;  // 8
    virtual void setPropUnits(IPropInfo* property, const char* units) = 0;       // 9
    // An enumerated property whose first value, and default, is (text, id).
    virtual IPropInfo* createEnumProperty(const char* name, const char* text, std::int32_t id) = 0;  // 10
    virtual void setEnumDefault(IPropInfo* property, std::int32_t id) = 0;                           // 11
    virtual void addEnumValue(IPropInfo* property, const char* text, std::int32_t id) = 0;           // 12
    virtual void setPropHidden(IPropInfo* property, bool hidden) = 0;                                // 13
    virtual void addProperty(IPropInfo* property) = 0;                                               // 14
    virtual void setPropIdentifier(IPropInfo* property, std::int32_t identifier) = 0;                // 15
    virtual void setPropDeviceSpecific(IPropInfo* property, bool deviceSpecific) = 0;                // 16
    // "always", "whileRunning" or "notReadOnly".
    virtual void setPropReadOnly(IPropInfo* property, const char* mode) = 0;  // 17
};

// Reports an error of an adaptor; printf-style; returns to the caller.
IMAQKIT_API void adaptorError(const IAdaptor* adaptor, const char* identifier, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Reports a warning; printf-style; returns to the caller.
IMAQKIT_API void adaptorWarn(const char* identifier, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The kit's heap, for objects the engine may release. Null on failure.
IMAQKIT_API void* imaqmalloc(std::size_t size);
IMAQKIT_API void imaqfree(void* block);

// Seconds on a steady clock, for frame time stamps.
IMAQKIT_API double getCurrentTime();

// Null when it cannot be made.
IMAQKIT_API ICriticalSection* createCriticalSection();

// A lock over section, not yet taken; null when it cannot be made. With releaseOnDestroy the lock leaves
// the section when it is destroyed while still taken.
IMAQKIT_API IAutoCriticalSection* createAutoCriticalSection(ICriticalSection* section, bool releaseOnDestroy);

}  // namespace imaqkit

// The functions an adaptor library exports with C linkage, as the host finds them.
extern "C" {
typedef void (*ImaqInitializeAdaptorFn)();
typedef void (*ImaqUninitializeAdaptorFn)();
typedef void (*ImaqGetAvailHWFn)(imaqkit::IHardwareInfo* hardware);
typedef void (*ImaqGetDeviceAttributesFn)(const imaqkit::IDeviceInfo* device, const char* formatName,
                                          imaqkit::IPropFactory* factory, imaqkit::IVideoSourceInfo* sources,
                                          imaqkit::ITriggerInfo* triggers);
typedef imaqkit::IAdaptor* (*ImaqCreateInstanceFn)(imaqkit::IEngine* engine, const imaqkit::IDeviceInfo* device,
                                                   const char* formatName);
}
