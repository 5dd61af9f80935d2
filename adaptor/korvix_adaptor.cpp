// KorvixAdaptor and KorvixPropListener.
#include "korvix_adaptor.h"
#include "korvix_tables.h"

#include <cmath>
#include <cstring>
#include <new>

namespace korvix {
namespace {

constexpr std::int32_t kFrameType = imaqkit::FRAME_BGR24;  // what the SDK's RGB conversion delivers
constexpr const char* kOpenDeviceId = "KorvixAdaptor:openDevice";

}  // namespace

float narrowToFloat(double value) {
    // Halfway between FLT_MAX and 2^128: from here on, round-to-nearest overflows.
    constexpr double kOverflow = 340282356779733661637539395458142568448.0;
    if (value >= kOverflow) return HUGE_VALF;
    if (value <= -kOverflow) return -HUGE_VALF;
    return static_cast<float>(value);
}

std::int32_t truncateToInt32NanAsZero(float value) {
    if (value != value) return 0;
    if (value <= -2147483648.0f) return INT32_MIN;
    if (value >= 2147483648.0f) return INT32_MAX;
    return static_cast<std::int32_t>(value);
}

std::int64_t halfRoundedDown(std::int64_t difference) {
    return difference >= 0 ? difference / 2 : -((1 - difference) / 2);
}

std::size_t rawBufferBytes(std::size_t pixelCount, std::int32_t sensorWidth, std::int32_t sensorHeight,
                           std::size_t guardBytes) {
    if (pixelCount > SIZE_MAX - guardBytes) return 0;
    std::size_t bytes = pixelCount + guardBytes;
    if (sensorWidth > 0 && sensorHeight > 0) {
        const std::uint64_t sensorBytes =
            static_cast<std::uint64_t>(sensorWidth) * static_cast<std::uint64_t>(sensorHeight) * 2;
        if (sensorBytes > SIZE_MAX) return 0;
        if (sensorBytes > bytes) bytes = static_cast<std::size_t>(sensorBytes);
    }
    return bytes;
}

KorvixAdaptor::KorvixAdaptor(imaqkit::IEngine* engine, const imaqkit::IDeviceInfo* device, const char* formatName)
    : imaqkit::IAdaptor(engine) {
    if (const VideoFormat* format = findVideoFormat(formatName)) {
        width_ = static_cast<std::int32_t>(format->width);
        height_ = static_cast<std::int32_t>(format->height);
    }
    criticalSection_ = imaqkit::createCriticalSection();
    if (criticalSection_ == nullptr) throw std::bad_alloc();
    cameraNumber_ = device->getDeviceId();
    // Without a manager createInstance gives the object up again: listeners
    // registered now would outlive it in the engine's container.
    if (getAdaptorManager() != nullptr) registerListeners(engine);
}

void KorvixAdaptor::registerListeners(imaqkit::IEngine* engine) {
    imaqkit::IPropContainer* container = engine->getPropContainer();
    if (container == nullptr) return;
    for (const char* name : kDevicePropertyNames) {
        void* block = imaqkit::imaqmalloc(sizeof(KorvixPropListener));
        if (block == nullptr) {
            imaqkit::adaptorWarn("KorvixAdaptor:registerListener",
                                 "Cannot allocate the listener of %s; its changes will not reach the camera.", name);
            continue;
        }
        // The container owns the listener from here on.
        container->addListener(name, new (block) KorvixPropListener(this));
    }
}

KorvixAdaptor::~KorvixAdaptor() {
    if (imaqkit::IAdaptorManager* manager = getAdaptorManager()) {
        manager->stopAcquisition();
        manager->closeDevice();
    }
    // A thread started while the manager did not count the device open.
    if (thread_ != nullptr) endThread();
    releaseCamera();
    delete criticalSection_;
    criticalSection_ = nullptr;
}

void KorvixAdaptor::operator delete(void* block) { imaqkit::imaqfree(block); }

std::int32_t KorvixAdaptor::getMaxWidth() const { return width_; }
std::int32_t KorvixAdaptor::getMaxHeight() const { return height_; }
std::int32_t KorvixAdaptor::getFrameType() const { return kFrameType; }
std::int32_t KorvixAdaptor::getNumberOfBands() const { return 3; }
const char* KorvixAdaptor::getDriverDescription() const { return "Korvix_Driver"; }
const char* KorvixAdaptor::getDriverVersion() const { return "2.1.0.145"; }

bool KorvixAdaptor::openDevice() {
    if (getAdaptorManager()->isOpen()) return true;
    // Opened already, though the manager does not count it: a second camera
    // handle and thread would be lost.
    if (thread_ != nullptr) return true;
    float sensorWidth = 0;
    float sensorHeight = 0;
    if (!openCamera() || !readSensorSize(sensorWidth, sensorHeight)) return false;
    resetSnapshotSettings(sensorWidth, sensorHeight);
    return startThread();
}

bool KorvixAdaptor::openCamera() {
    cameraHandle_ = KorcamCameraOpen(cameraNumber_);
    if (cameraHandle_ == 0) {
        imaqkit::adaptorError(this, kOpenDeviceId, "Unable to open camera.");
        return false;
    }
    threadAbandoned_ = false;  // a handle of its own, whatever an earlier thread kept
    return true;
}

bool KorvixAdaptor::readSensorSize(float& sensorWidth, float& sensorHeight) {
    FrameFormat format{};
    float frameRate = 0;
    if (!KorcamGetFormat(cameraHandle_, &format, &frameRate)) {
        closeDevice();
        imaqkit::adaptorError(this, kOpenDeviceId, "Unable to get format.");
        return false;
    }
    std::int32_t flags = 0;
    if (!KorcamGetProperty(cameraHandle_, KORCAM_PROP_MAX_WIDTH, &sensorWidth, &flags)) {
        closeDevice();
        imaqkit::adaptorError(this, kOpenDeviceId, "Unable to get max width.");
        return false;
    }
    if (!KorcamGetProperty(cameraHandle_, KORCAM_PROP_MAX_HEIGHT, &sensorHeight, &flags)) {
        closeDevice();
        imaqkit::adaptorError(this, kOpenDeviceId, "Unable to get max height.");
        return false;
    }
    sensorWidth_ = truncateToInt32NanAsZero(sensorWidth);
    sensorHeight_ = truncateToInt32NanAsZero(sensorHeight);
    return true;
}

void KorvixAdaptor::resetSnapshotSettings(float sensorWidth, float sensorHeight) {
    // The image is centred on the sensor. An offset below zero stays in the
    // record as the SDK's 32-bit field holds it; the camera refuses it.
    FrameFormat& frame = snapshotSettings_.format;
    frame.width = static_cast<std::uint32_t>(width_);
    frame.height = static_cast<std::uint32_t>(height_);
    frame.xOffset = static_cast<std::uint32_t>(static_cast<std::int32_t>(
        halfRoundedDown(static_cast<std::int64_t>(truncateToInt32NanAsZero(sensorWidth)) - width_)));
    frame.yOffset = static_cast<std::uint32_t>(static_cast<std::int32_t>(
        halfRoundedDown(static_cast<std::int64_t>(truncateToInt32NanAsZero(sensorHeight)) - height_)));
    frame.xBinSub = 1;
    frame.yBinSub = 1;
    frame.xFlags = 0;
    frame.yFlags = 0;
    // The run's buffers and its conversion hold one 8-bit sample per pixel;
    // a camera left in another sample format would overrun them.
    frame.pixelFormat = KORCAM_PIXEL_8BIT;

    // Fields 21 to 23 are carried as they are.
    snapshotSettings_.exposure = requestedExposure_;
    snapshotSettings_.gain = requestedGain_;
    snapshotSettings_.redGain = 1.0f;
    snapshotSettings_.blueGain = 1.0f;
    snapshotSettings_.green1Gain = 1.0f;
    snapshotSettings_.green2Gain = 1.0f;
    snapshotSettings_.strobeEnable = 0;
    snapshotSettings_.strobeDelay = 0.0f;
    snapshotSettings_.hardwareTriggerEnable = 0;
    snapshotSettings_.timeout = 5000.0f;
    snapshotSettings_.reserved18 = 0;
    snapshotSettings_.exposureDelay = 0.0f;
    snapshotSettings_.reserved20 = 0;
}

bool KorvixAdaptor::startThread() {
    thread_ = CreateThread(nullptr, 0, acquisitionThread, this, 0, &threadId_);
    if (thread_ == nullptr) {
        closeDevice();
        return false;
    }
    // A thread message posted before the thread has a queue is lost: wait for
    // the queue, unless the thread ended without ever making one.
    while (!PostThreadMessageA(threadId_, kWakeMessage, 0, 0)) {
        if (WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0) {
            CloseHandle(thread_);
            thread_ = nullptr;
            closeDevice();
            return false;
        }
        Sleep(1);
    }
    return true;
}

bool KorvixAdaptor::endThread() {
    // A run in progress ends at its next frame instead of running to its end.
    stopRequested_ = true;
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    const bool ended = WaitForSingleObject(thread_, kCloseTimeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread_);
    thread_ = nullptr;
    if (!ended) threadAbandoned_ = true;
    return ended;
}

bool KorvixAdaptor::releaseCamera() {
    if (thread_ != nullptr || threadAbandoned_ || cameraHandle_ == 0) return true;
    const bool closed = KorcamCameraClose(cameraHandle_) != 0;
    // The handle is given up either way: the SDK has refused it once, and a
    // second close would not fare better. The user hears of it.
    if (!closed)
        imaqkit::adaptorWarn("KorvixAdaptor:closeDevice", "Cannot close camera %d. Error: %d", cameraNumber_,
                             static_cast<int>(KorcamGetLastError()));
    cameraHandle_ = 0;
    return closed;
}

bool KorvixAdaptor::closeDevice() {
    if (getAdaptorManager()->isOpen() && thread_ != nullptr) endThread();
    return releaseCamera();
}

bool KorvixAdaptor::startCapture() {
    if (getAdaptorManager()->isAcquiring()) return true;
    stopRequested_ = false;
    PostThreadMessageA(threadId_, kStartMessage, 0, 0);
    return true;
}

bool KorvixAdaptor::stopCapture() {
    if (!getAdaptorManager()->isAcquiring()) return true;
    stopRequested_ = true;
    // The thread holds the section for a whole run: taking it waits for the run's end.
    if (imaqkit::IAutoCriticalSection* lock = imaqkit::createAutoCriticalSection(criticalSection_, true)) {
        lock->lock();
        lock->unlock();
        delete lock;
    } else {
        criticalSection_->enter();
        criticalSection_->leave();
    }
    return true;
}

CameraHandle KorvixAdaptor::getCameraHandle() const { return cameraHandle_; }

void KorvixAdaptor::setExposure(float exposure) {
    if (!(exposure >= 0.0f)) {
        imaqkit::adaptorWarn("KovrixAdaptor:setExposure", "Exposure needs a positive value, defaulting to 50.");
        exposure = 50.0f;
    }
    requestedExposure_ = exposure;
    snapshotSettings_.exposure = exposure;
}

void KorvixAdaptor::setGain(float gain) {
    if (!(gain >= 1.0f)) {
        imaqkit::adaptorWarn("KorvixAdaptor:setGain", "Gain needs to be at least 1, defaulting to 1.");
        gain = 1.0f;
    }
    requestedGain_ = gain;
    snapshotSettings_.gain = gain;
}

float KorvixAdaptor::getExposure() const { return snapshotSettings_.exposure; }
float KorvixAdaptor::getGain() const { return snapshotSettings_.gain; }
float KorvixAdaptor::getStrobeDuration() const { return strobeDuration_; }
SnapshotSettings* KorvixAdaptor::getSnapshotSettings() { return &snapshotSettings_; }
void KorvixAdaptor::setStrobe(bool on) { snapshotSettings_.strobeEnable = on ? 1 : 0; }

void KorvixAdaptor::setStrobeDuration(float duration) {
    if (!(duration >= 0.0f)) {
        imaqkit::adaptorWarn("KorvixAdaptor:setStrobeDuration", "Duration must be positive, defaulting to 0.");
        duration = 0.0f;
    }
    strobeDuration_ = duration;
}

void KorvixAdaptor::setStrobeDelay(float delay) { snapshotSettings_.strobeDelay = delay; }
void KorvixAdaptor::setExposureDelay(float delay) { snapshotSettings_.exposureDelay = delay; }
void KorvixAdaptor::setTimeout(float timeout) { snapshotSettings_.timeout = timeout; }
bool KorvixAdaptor::isStopRequested() const { return stopRequested_; }

void KorvixPropListener::operator delete(void* block) { imaqkit::imaqfree(block); }

void KorvixPropListener::notify(imaqkit::IPropInfo* property, void* newValue) {
    imaqkit::IAdaptorManager* manager = adaptor_->getAdaptorManager();
    // Settings reach the camera at the start of a run: restart to apply them.
    const bool wasAcquiring = manager->isAcquiring();
    if (wasAcquiring) manager->stopAcquisition();

    const char* name = property == nullptr ? nullptr : property->getName();
    if (name != nullptr && newValue != nullptr) {
        const auto number = [newValue] { return narrowToFloat(*static_cast<const double*>(newValue)); };
        if (std::strcmp(name, "Exposure") == 0) {
            adaptor_->setExposure(number());
        } else if (std::strcmp(name, "Gain") == 0) {
            adaptor_->setGain(number());
        } else if (std::strcmp(name, "Strobe") == 0) {
            adaptor_->setStrobe(*static_cast<const std::int32_t*>(newValue) != 1);  // id 1 is "Off"
        } else if (std::strcmp(name, "StrobeDelay") == 0) {
            adaptor_->setStrobeDelay(number());
        } else if (std::strcmp(name, "StrobeDuration") == 0) {
            adaptor_->setStrobeDuration(number());
        } else if (std::strcmp(name, "ExposureDelay") == 0) {
            adaptor_->setExposureDelay(number());
        } else if (std::strcmp(name, "Timeout") == 0) {
            adaptor_->setTimeout(number());
        }
    }

    if (wasAcquiring) manager->startAcquisition();
}

}  // namespace korvix
