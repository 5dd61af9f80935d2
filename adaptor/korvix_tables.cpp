#include "korvix_tables.h"

#include <cstring>

namespace korvix {

const CameraModel kCameraModels[kCameraModelCount] = {
    {0x91, "KX-A01"},  {0x95, "KX-A02"},  {0x93, "KX-A03"},  {0x8C, "KX-A04"},  {0x18C, "KX-A05"},
    {0x85, "KX-A06"},  {0x92, "KX-A07"},  {0x94, "KX-A08"},  {0x96, "KX-A09"},  {0x9A, "KX-A10"},
    {0x19A, "KX-A11"}, {0x8A, "KX-A12"},  {0x18A, "KX-A13"}, {0x9E, "KX-A14"},  {0x82, "KX-A15"},
    {0x97, "KX-A16"},  {0x180, "KX-A17"}, {0x8D, "KX-A18"},  {0x1CD, "KX-A19"}, {0x9B, "KX-A20"},
    {0x19B, "KX-A21"}, {0x8B, "KX-A22"},  {0x186, "KX-A23"}, {0x1C8, "KX-A24"}, {0xA0, "KX-A25"},
    {0xA1, "KX-A26"},  {0xA3, "KX-A27"},  {0x1A6, "KX-A28"}, {0xA2, "KX-A29"},  {0x1A2, "KX-A30"},
    {0x1A7, "KX-A31"}, {0xA4, "KX-A32"},  {0x1A4, "KX-A33"}, {0x1A5, "KX-A34"},
};

const VideoFormat kVideoFormats[kVideoFormatCount] = {
    {0, "320x240", 320, 240},       {1, "640x480", 640, 480},       {2, "1280x1024", 1280, 1024},
    {3, "1600x1200", 1600, 1200},   {4, "1616x1216", 1616, 1216},   {5, "1920x1080", 1920, 1080},
    {6, "2048x1536", 2048, 1536},   {7, "3000x2208", 3000, 2208},   {8, "3840x3072", 3840, 3072},
    {9, "4008x2672", 4008, 2672},   {10, "5120x4096", 5120, 4096},
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
