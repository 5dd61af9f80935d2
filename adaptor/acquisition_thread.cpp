// The acquisition thread: one per opened adaptor. It idles on its message
// queue; each start message is one run that switches the camera to fast
// frames, grabs, converts and hands over frames until the engine has enough
// or a stop is asked for, and switches fast frames off again.
#include "band_replication.h"
#include "korcam_color_format.h"
#include "korvix_adaptor.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace korvix {
namespace {

constexpr const char* kThreadId = "KorvixAdaptor:acquisitionThread";

struct KitFree {
    void operator()(std::uint8_t* block) const { imaqkit::imaqfree(block); }
};
using KitBuffer = std::unique_ptr<std::uint8_t, KitFree>;

KitBuffer allocate(std::size_t size) { return KitBuffer(static_cast<std::uint8_t*>(imaqkit::imaqmalloc(size))); }

// What the thread reads once from its adaptor at start.
struct Camera {
    CameraHandle handle;
    std::uint32_t width;
    std::uint32_t height;
    std::size_t pixelCount;  // 0 when the size cannot be held in memory
    std::size_t rawBytes;    // the raw buffer: room for any frame the sensor can deliver
};

// The fast-frame take has no buffer size: whoever else changes the camera's
// format (another program, another object on the same camera) changes the
// size of what it writes. The raw buffer holds the largest frame the sensor
// can deliver, and two marked stretches, one just inside the end of the
// frame asked for and one just past it, show a frame of another size.
constexpr std::size_t kGuardBytes = 64;

std::uint8_t guardByte(std::size_t i) { return static_cast<std::uint8_t>(0xA5 ^ (i * 151 + 29)); }

void markGuards(std::uint8_t* raw, std::size_t frameBytes) {
    const std::size_t inside = frameBytes < kGuardBytes ? frameBytes : kGuardBytes;
    for (std::size_t i = 0; i < inside; ++i) raw[frameBytes - inside + i] = guardByte(i);
    for (std::size_t i = 0; i < kGuardBytes; ++i) raw[frameBytes + i] = guardByte(i + kGuardBytes);
}

// True when the take wrote the frame asked for: up to its last byte and no further.
bool frameFitted(const std::uint8_t* raw, std::size_t frameBytes) {
    const std::size_t inside = frameBytes < kGuardBytes ? frameBytes : kGuardBytes;
    bool insideUntouched = true;
    for (std::size_t i = 0; i < inside; ++i)
        if (raw[frameBytes - inside + i] != guardByte(i)) insideUntouched = false;
    for (std::size_t i = 0; i < kGuardBytes; ++i)
        if (raw[frameBytes + i] != guardByte(i + kGuardBytes)) return false;
    return !insideUntouched;
}

std::size_t pixelCountOf(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const std::uint64_t count = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    // The colour buffer holds three bytes per pixel.
    if (count > SIZE_MAX / 3) return 0;
    return static_cast<std::size_t>(count);
}

// False when the engine gave no frame to fill.
bool deliverFrame(KorvixAdaptor& adaptor, imaqkit::IAdaptorManager& manager, const Camera& camera,
                  const std::uint8_t* color) {
    std::int32_t xOffset = 0;
    std::int32_t yOffset = 0;
    std::int32_t roiWidth = 0;
    std::int32_t roiHeight = 0;
    adaptor.getRoi(xOffset, yOffset, roiWidth, roiHeight);
    const std::int32_t frameType = adaptor.getFrameType();
    imaqkit::IAdaptorFrame* frame = manager.getEngine()->createFrame(frameType, roiWidth, roiHeight);
    if (frame == nullptr) return false;
    frame->setImage(color, static_cast<std::int32_t>(camera.width), static_cast<std::int32_t>(camera.height), xOffset,
                    yOffset);
    frame->setTime(imaqkit::getCurrentTime());
    manager.getEngine()->receiveFrame(frame);
    return true;
}

void switchFastFramesOff(KorvixAdaptor& adaptor, CameraHandle handle) {
    if (!KorcamDisableFastFrames(handle)) imaqkit::adaptorError(&adaptor, kThreadId, "Cannot disable fast frames.");
}

// The part of a run between enabling and disabling fast frames.
void grabFrames(KorvixAdaptor& adaptor, const Camera& camera, float colorFormat) {
    KitBuffer raw = camera.rawBytes == 0 ? KitBuffer() : allocate(camera.rawBytes);
    if (!raw) {
        imaqkit::adaptorError(&adaptor, kThreadId, "Not enough mem for raw buffer.");
        return;
    }
    KitBuffer color = allocate(3 * camera.pixelCount);
    if (!color) {
        imaqkit::adaptorError(&adaptor, kThreadId, "Not enough mem for color buffer.");
        return;
    }

    imaqkit::IAdaptorManager& manager = *adaptor.getAdaptorManager();
    const bool monochrome = korcam::isMonochromeColorFormat(colorFormat);
    while (manager.isAcquisitionNotComplete()) {
        if (adaptor.isStopRequested()) break;
        // A frame the camera did not take is not a frame: the raw buffer
        // still holds the previous one (or nothing yet), and handing that out
        // with a new time stamp would pass old or undefined samples off as new.
        markGuards(raw.get(), camera.pixelCount);
        if (!KorcamTakeFastFrame(camera.handle, raw.get())) {
            imaqkit::adaptorError(&adaptor, kThreadId, "Cannot take a snapshot. Error: %d",
                                  static_cast<int>(KorcamGetLastError()));
            continue;  // neither delivered nor counted
        }
        if (!frameFitted(raw.get(), camera.pixelCount)) {
            imaqkit::adaptorError(&adaptor, kThreadId,
                                  "The camera delivered a frame of another size than the %ux%u 8-bit frame asked "
                                  "for; something else changed its format.",
                                  static_cast<unsigned>(camera.width), static_cast<unsigned>(camera.height));
            continue;  // neither delivered nor counted
        }
        ConversionParams params;
        params.demosaicMethod = KORCAM_DEMOSAIC_METHOD;
        params.colorCorrection = KORCAM_COLOR_CORRECTION;
        if (monochrome) {
            replicateBands(raw.get(), color.get(), camera.pixelCount);
        } else if (!KorcamConvertFrameToRgb24(camera.handle, color.get(), raw.get(), camera.width, camera.height,
                                              KORCAM_PIXEL_8BIT, &params)) {
            imaqkit::adaptorError(&adaptor, kThreadId, "Cannot convert frame to rgb24.");
            continue;  // neither delivered nor counted
        }
        if (manager.isFrameToBeDelivered() && !deliverFrame(adaptor, manager, camera, color.get())) {
            imaqkit::adaptorError(&adaptor, kThreadId, "The engine has no frame for the image.");
            continue;  // neither delivered nor counted
        }
        manager.incrementFramesAcquired();
    }
}

void run(KorvixAdaptor& adaptor, imaqkit::IAutoCriticalSection& lock, const Camera& camera) {
    lock.lock();
    // A start message still queued when stop capture returned starts nothing:
    // no run may touch the camera after the engine was told it has stopped.
    if (adaptor.isStopRequested()) {
        lock.unlock();
        return;
    }
    float colorFormat = 0;
    std::int32_t flags = 0;
    if (!KorcamGetProperty(camera.handle, KORCAM_PROP_COLOR_FORMAT, &colorFormat, &flags)) {
        imaqkit::adaptorError(&adaptor, kThreadId, "Cannot get color format.");
        lock.unlock();
        return;
    }
    // Cameras without a strobe duration refuse it with code 22: nothing to set.
    if (!KorcamSetProperty(camera.handle, KORCAM_PROP_STROBE_DURATION, adaptor.getStrobeDuration(), 0) &&
        KorcamGetLastError() != KORCAM_ERROR_NOT_SUPPORTED) {
        imaqkit::adaptorError(&adaptor, kThreadId, "Cannot set strobe duration.");
        lock.unlock();
        return;
    }
    if (!KorcamEnableFastFrames(camera.handle, adaptor.getSnapshotSettings())) {
        imaqkit::adaptorError(&adaptor, kThreadId, "Cannot enable fast frames.");
        lock.unlock();
        return;
    }
    // Nothing may leave the thread as an exception, and the lock must be
    // released for stop capture to return.
    try {
        grabFrames(adaptor, camera, colorFormat);
    } catch (...) {
        imaqkit::adaptorError(&adaptor, kThreadId, "Not enough memory to go on acquiring.");
    }
    switchFastFramesOff(adaptor, camera.handle);
    lock.unlock();
}

}  // namespace

DWORD WINAPI acquisitionThread(LPVOID parameter) {
    KorvixAdaptor& adaptor = *static_cast<KorvixAdaptor*>(parameter);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

    const std::int32_t width = adaptor.getMaxWidth();
    const std::int32_t height = adaptor.getMaxHeight();
    const std::size_t pixelCount = pixelCountOf(width, height);
    const Camera camera{
        adaptor.getCameraHandle(), static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), pixelCount,
        pixelCount == 0 ? 0 : rawBufferBytes(pixelCount, adaptor.sensorWidth(), adaptor.sensorHeight(), kGuardBytes)};

    // Without its lock the thread could not keep stop capture waiting for a
    // run's end; it ends before making a queue, and opening fails.
    imaqkit::IAutoCriticalSection* lock = imaqkit::createAutoCriticalSection(adaptor.criticalSection(), true);
    if (lock == nullptr) return 0;

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == kStartMessage) run(adaptor, *lock, camera);
    }
    delete lock;
    return 0;
}

}  // namespace korvix
