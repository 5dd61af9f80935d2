#include "korvix_tables.h"

#include <cstring>

namespace korvix {

const CameraModel kCameraModels[] = {
#define KORCAM_CAMERA_MODEL(id, name) {id, name},
#include "camera_models.def"
#undef KORCAM_CAMERA_MODEL
};
const std::size_t kCameraModelCount = sizeof kCameraModels / sizeof kCameraModels[0];

const VideoFormat kVideoFormats[kVideoFormatCount] = {
    {0, "320x240", 320, 240},     {1, "640x480", 640, 480},      {2, "1280x1024", 1280, 1024},
    {3, "1600x1200", 1600, 1200}, {4, "1616x1216", 1616, 1216},  {5, "1920x1080", 1920, 1080},
    {6, "2048x1536", 2048, 1536}, {7, "3000x2208", 3000, 2208},  {8, "3840x3072", 3840, 3072},
    {9, "4008x2672", 4008, 2672}, {10, "5120x4096", 5120, 4096},
};

const char* const kDevicePropertyNames[kDevicePropertyCount] = {
    "Exposure", "Gain", "Strobe", "StrobeDelay", "StrobeDuration", "ExposureDelay", "Timeout",
};

const char* modelName(std::uint32_t cameraId) {
    for (const CameraModel& model : kCameraModels)
        if (model.cameraId == cameraId) return model.name;
    return kUnknownCameraName;
}

const VideoFormat* findVideoFormat(const char* formatName) {
    if (formatName == nullptr) return nullptr;
    for (const VideoFormat& format : kVideoFormats)
        if (std::strcmp(format.name, formatName) == 0) return &format;
    return nullptr;
}

}  // namespace korvix
