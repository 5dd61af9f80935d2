// KorvixAdaptor: one camera in one video format for the acquisition engine,
// with its property listener and its acquisition thread.
//
// The virtual operations after those of imaqkit::IAdaptor are the class's
// own; their order is fixed too, because the listener and the acquisition
// thread reach them through the object.
#pragma once

#include "imaqkit.h"
#include "korcam.h"
#include "korwin32.h"

#include <atomic>
#include <cstdint>

#if defined(_WIN32)
#define KORVIX_EXPORT __declspec(dllexport)
#else
#define KORVIX_EXPORT __attribute__((visibility("default")))
#endif

namespace korvix {

// Thread messages of the acquisition thread.
constexpr UINT kStartMessage = WM_USER;     // one acquisition run
constexpr UINT kWakeMessage = WM_USER + 1;  // no effect: proves the thread's queue exists
constexpr DWORD kCloseTimeoutMs = 10000;    // how long closing waits for the thread

class KorvixAdaptor : public imaqkit::IAdaptor {
public:
    KorvixAdaptor(imaqkit::IEngine* engine, const imaqkit::IDeviceInfo* device, const char* formatName);
    ~KorvixAdaptor() override;

    // Objects live in blocks of the kit's heap (createInstance).
    static void operator delete(void* block);

    std::int32_t getMaxWidth() const override;
    std::int32_t getMaxHeight() const override;
    std::int32_t getFrameType() const override;
    std::int32_t getNumberOfBands() const override;
    const char* getDriverDescription() const override;
    const char* getDriverVersion() const override;
    bool openDevice() override;
    bool closeDevice() override;
    bool startCapture() override;
    bool stopCapture() override;

    virtual CameraHandle getCameraHandle() const;
    virtual void setExposure(float exposure);
    virtual void setGain(float gain);
    virtual float getExposure() const;
    virtual float getGain() const;
    virtual float getStrobeDuration() const;
    virtual SnapshotSettings* getSnapshotSettings();
    virtual void setStrobe(bool on);
    virtual void setStrobeDuration(float duration);
    virtual void setStrobeDelay(float delay);
    virtual void setExposureDelay(float delay);
    virtual void setTimeout(float timeout);
    virtual bool isStopRequested() const;

    // The section the acquisition thread holds for a whole run.
    imaqkit::ICriticalSection* criticalSection() const { return criticalSection_; }
    // The sensor's size as the camera reported it when opened.
    std::int32_t sensorWidth() const { return sensorWidth_; }
    std::int32_t sensorHeight() const { return sensorHeight_; }

private:
    void registerListeners(imaqkit::IEngine* engine);
    // Ends the acquisition thread; false if it did not end within the time-out.
    bool endThread();
    // Gives the camera back once no thread can use it any more; false when
    // the SDK refused to close it (a warning says so).
    bool releaseCamera();
    // The steps of openDevice; each reports its failure and gives the camera back.
    bool openCamera();
    bool readSensorSize(float& sensorWidth, float& sensorHeight);
    void resetSnapshotSettings(float sensorWidth, float sensorHeight);
    bool startThread();

    imaqkit::ICriticalSection* criticalSection_ = nullptr;
    std::int32_t width_ = 640;
    std::int32_t height_ = 480;
    std::int32_t sensorWidth_ = 0;
    std::int32_t sensorHeight_ = 0;
    std::int32_t cameraNumber_ = 0;
    CameraHandle cameraHandle_ = 0;
    float requestedExposure_ = 50.0f;
    float requestedGain_ = 1.0f;
    // Sent to the camera at every start; the property's default until it is set.
    float strobeDuration_ = 1.0f;
    SnapshotSettings snapshotSettings_{};
    // Written by the engine's thread, read by the acquisition thread before every frame.
    std::atomic<bool> stopRequested_{true};
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    // Set when a thread outlived the close time-out: the camera stays with it.
    bool threadAbandoned_ = false;
};

// Carries each change of one device property to its adaptor.
class KorvixPropListener : public imaqkit::IPropPostSetListener {
public:
    explicit KorvixPropListener(KorvixAdaptor* adaptor) : adaptor_(adaptor) {}
    static void operator delete(void* block);
    void notify(imaqkit::IPropInfo* property, void* newValue) override;

private:
    KorvixAdaptor* adaptor_;  // not owned
};

// The Win32 thread routine of an opened adaptor; returns 0 when WM_QUIT arrives.
DWORD WINAPI acquisitionThread(LPVOID adaptor);

// Double to float rounded to nearest; values beyond the float range give an
// infinity of their sign (a plain cast of them is undefined in C++).
float narrowToFloat(double value);

// Truncation toward zero into int32, saturating; NaN gives 0. (The gateway's
// truncateToInt32 sends NaN to the minimum: another rule, another name.)
std::int32_t truncateToInt32NanAsZero(float value);

// floor(difference / 2): the centring offset, rounding down for odd and for negative differences.
std::int64_t halfRoundedDown(std::int64_t difference);

// Bytes of a raw buffer that holds a frame of `pixelCount` 8-bit samples with
// `guardBytes` after it, and any frame of the sensor, 16-bit samples
// included; 0 when that cannot be held in memory.
std::size_t rawBufferBytes(std::size_t pixelCount, std::int32_t sensorWidth, std::int32_t sensorHeight,
                           std::size_t guardBytes);

}  // namespace korvix

extern "C" {
KORVIX_EXPORT void initializeAdaptor() noexcept;
KORVIX_EXPORT void uninitializeAdaptor() noexcept;
KORVIX_EXPORT void getAvailHW(imaqkit::IHardwareInfo* hardware);
KORVIX_EXPORT void getDeviceAttributes(const imaqkit::IDeviceInfo* device, const char* formatName,
                                       imaqkit::IPropFactory* factory, imaqkit::IVideoSourceInfo* sources,
                                       imaqkit::ITriggerInfo* triggers);
KORVIX_EXPORT imaqkit::IAdaptor* createInstance(imaqkit::IEngine* engine, const imaqkit::IDeviceInfo* device,
                                                const char* formatName);
}
