// The adaptor's exports: initialization, the camera catalogue, the device
// properties of one camera, and the creation of adaptor objects.
#include "korvix_adaptor.h"
#include "korvix_tables.h"

#include <cmath>
#include <new>

namespace korvix {
namespace {

// A sensor side from its float property, truncated toward zero. A side that
// is NaN or negative offers no format; one beyond 32 bits offers all.
std::uint32_t sensorSide(float value) {
    if (!(value >= 0.0f)) return 0;
    if (value >= 4294967296.0f) return UINT32_MAX;
    return static_cast<std::uint32_t>(value);
}

// Adds the formats camera `handle` accepts to `device`. The trial
// KorcamSetFormat calls really change the camera's format. False when a
// refusal other than "format not supported" abandons the camera.
bool addAcceptedFormats(CameraHandle handle, imaqkit::IDeviceInfo* device, std::uint32_t maxWidth,
                        std::uint32_t maxHeight, FrameFormat format, float frameRate) {
    for (const VideoFormat& row : kVideoFormats) {
        if (row.width > maxWidth || row.height > maxHeight) continue;
        format.width = row.width;
        format.height = row.height;
        if (KorcamSetFormat(handle, &format, frameRate)) {
            imaqkit::IDeviceFormat* record = device->createDeviceFormat(row.id, row.name);
            if (record != nullptr) device->addDeviceFormat(record, row.id == kDefaultFormatId);
        } else if (KorcamGetLastError() != KORCAM_ERROR_FORMAT_NOT_SUPPORTED) {
            return false;
        }
    }
    return true;
}

void catalogueCamera(imaqkit::IHardwareInfo* hardware, std::int32_t cameraNumber) {
    const CameraHandle handle = KorcamCameraOpen(cameraNumber);
    if (handle == 0) return;

    std::uint32_t cameraId = 0;
    if (!KorcamGetCameraId(handle, &cameraId)) {
        KorcamCameraClose(handle);
        return;
    }
    imaqkit::IDeviceInfo* device = hardware->createDeviceInfo(cameraNumber, modelName(cameraId));
    if (device == nullptr) {
        KorcamCameraClose(handle);
        return;
    }

    float maxWidth = 0;
    float maxHeight = 0;
    std::int32_t flags = 0;
    FrameFormat format{};
    float frameRate = 0;
    if (!KorcamGetProperty(handle, KORCAM_PROP_MAX_WIDTH, &maxWidth, &flags) ||
        !KorcamGetProperty(handle, KORCAM_PROP_MAX_HEIGHT, &maxHeight, &flags) ||
        !KorcamGetFormat(handle, &format, &frameRate)) {
        KorcamCameraClose(handle);
        return;
    }
    format.xBinSub = 1;
    format.yBinSub = 1;
    format.xFlags = 0;
    format.yFlags = 0;

    const bool kept =
        addAcceptedFormats(handle, device, sensorSide(maxWidth), sensorSide(maxHeight), format, frameRate);
    KorcamCameraClose(handle);
    if (kept) hardware->addDevice(device);
}

// "Error %d" shows the SDK's unsigned code as the signed number it was always printed as.
int printedCode(std::uint32_t code) { return static_cast<int>(code); }

constexpr const char* kAttributesId = "KorvixImaq:getDeviceAttributes";

void declare(imaqkit::IPropFactory* factory, imaqkit::IPropInfo* property) {
    if (property == nullptr) return;
    factory->setPropReadOnly(property, "whileRunning");
    factory->addProperty(property);
}

// A floating-point property spanning the camera's range `rangeId`, or null
// when the camera gives no range (warned about unless silent for code 22).
imaqkit::IPropInfo* cameraRangeProperty(imaqkit::IPropFactory* factory, CameraHandle handle, std::int32_t rangeId,
                                        const char* name, double defaultValue, const char* failureMessage,
                                        bool silentWhenUnsupported) {
    float minimum = 0;
    float maximum = 0;
    float cameraDefault = 0;
    std::int32_t flags = 0;
    if (KorcamPropertyRange(handle, rangeId, &minimum, &maximum, &cameraDefault, &flags))
        return factory->createDoubleRangeProperty(name, minimum, maximum, defaultValue);
    if (silentWhenUnsupported && KorcamGetLastError() == KORCAM_ERROR_NOT_SUPPORTED) return nullptr;
    imaqkit::adaptorWarn(kAttributesId, failureMessage, printedCode(KorcamGetLastError()));
    return nullptr;
}

}  // namespace
}  // namespace korvix

using namespace korvix;

extern "C" KORVIX_EXPORT void initializeAdaptor() noexcept {}

// Both names lead to the one function that does nothing.
#if defined(__GNUC__)
extern "C" KORVIX_EXPORT void uninitializeAdaptor() noexcept __attribute__((alias("initializeAdaptor")));
#else
extern "C" KORVIX_EXPORT void uninitializeAdaptor() noexcept { initializeAdaptor(); }
#endif

extern "C" KORVIX_EXPORT void getAvailHW(imaqkit::IHardwareInfo* hardware) {
    if (hardware == nullptr) return;
    const std::int32_t cameraCount = KorcamNumCameras();
    for (std::int32_t cameraNumber = 1; cameraNumber <= cameraCount; ++cameraNumber)
        catalogueCamera(hardware, cameraNumber);
}

extern "C" KORVIX_EXPORT void getDeviceAttributes(const imaqkit::IDeviceInfo* device, const char* /*formatName*/,
                                                  imaqkit::IPropFactory* factory, imaqkit::IVideoSourceInfo* sources,
                                                  imaqkit::ITriggerInfo* /*triggers*/) {
    if (device == nullptr || factory == nullptr || sources == nullptr) return;
    sources->addAdaptorSource(kSourceName, kSourceId);

    const CameraHandle handle = KorcamCameraOpen(device->getDeviceId());
    if (handle == 0) {
        imaqkit::adaptorWarn(kAttributesId, "Cannot open camera connection. Error %d",
                             printedCode(KorcamGetLastError()));
        return;
    }

    declare(factory, cameraRangeProperty(factory, handle, KORCAM_PROP_EXPOSURE_RANGE, "Exposure", 50.0,
                                         "Cannot get exposure range. Error %d", false));
    declare(factory, cameraRangeProperty(factory, handle, KORCAM_PROP_GAIN_RANGE, "Gain", 1.0,
                                         "Cannot get gain range. Error %d", false));
    imaqkit::IPropInfo* strobe = factory->createEnumProperty("Strobe", "Off", 1);
    if (strobe != nullptr) factory->addEnumValue(strobe, "On", 2);
    declare(factory, strobe);
    declare(factory, factory->createDoubleRangeProperty("StrobeDelay", 0.0, 1000000.0, 0.0));
    declare(factory, cameraRangeProperty(factory, handle, KORCAM_PROP_STROBE_DURATION, "StrobeDuration", 1.0,
                                         "Cannot get strobe duration range. Error %d", true));
    declare(factory, factory->createDoubleRangeProperty("ExposureDelay", 0.0, 1000000.0, 0.0));
    declare(factory, factory->createDoubleRangeProperty("Timeout", 0.0, 1000000000.0, 5000.0));

    KorcamCameraClose(handle);
}

extern "C" KORVIX_EXPORT imaqkit::IAdaptor* createInstance(imaqkit::IEngine* engine, const imaqkit::IDeviceInfo* device,
                                                           const char* formatName) {
    if (engine == nullptr || device == nullptr) return nullptr;
    void* block = imaqkit::imaqmalloc(sizeof(KorvixAdaptor));
    if (block == nullptr) return nullptr;
    KorvixAdaptor* adaptor;
    try {
        adaptor = new (block) KorvixAdaptor(engine, device, formatName);
    } catch (...) {
        imaqkit::imaqfree(block);
        throw;
    }
    // Without a manager from the engine the object could never be driven; it
    // registered no listeners, so nothing refers to it.
    if (adaptor->getAdaptorManager() == nullptr) {
        delete adaptor;
        return nullptr;
    }
    return adaptor;
}
