// The adaptor's constant tables: camera models, video formats and device
// property names. One read-only copy for the whole library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvix {

struct CameraModel {
    std::uint32_t cameraId;  // as KorcamGetCameraId reports it
    const char* name;
};

struct VideoFormat {
    std::int32_t id;  // the row index, the format's id towards the host
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
};

constexpr std::size_t kVideoFormatCount = 11;
constexpr std::size_t kDevicePropertyCount = 7;

// From camera_models.def.
extern const CameraModel kCameraModels[];
extern const std::size_t kCameraModelCount;
extern const VideoFormat kVideoFormats[kVideoFormatCount];  // by increasing width
// In the order the listeners are registered: "Exposure" first, "Timeout" last.
extern const char* const kDevicePropertyNames[kDevicePropertyCount];

// "640x480": the default of every camera that accepts it, and the size of any unknown format name.
constexpr std::int32_t kDefaultFormatId = 1;
constexpr const char* kUnknownCameraName = "Unknown Camera";
constexpr const char* kSourceName = "KorvixSource";
constexpr std::int32_t kSourceId = 1;

// The model name of the first row holding cameraId, or "Unknown Camera".
const char* modelName(std::uint32_t cameraId);
// The row whose name equals formatName exactly, or null.
const VideoFormat* findVideoFormat(const char* formatName);

}  // namespace korvix
