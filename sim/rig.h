// The attached cameras' fixed description: the default rig, each camera's
// properties with their ranges, and its format at power-up.
#pragma once

#include "korcamsim.h"

#include <map>

namespace korcamsim::detail {

struct Property {
    float value = 0;
    float minimum = 0;
    float maximum = 0;
    float defaultValue = 0;
    int32_t flags = 0;
    bool writable = true;
};

// Properties of a camera at power-up, by id (property 116 only when the
// camera has a strobe duration).
std::map<int32_t, Property> initialProperties(const CameraSpec& model);

// Full sensor at offset 0, 8 bits, no binning, no flags.
FrameFormat initialFormat(const CameraSpec& model);
// 15 when the camera offers it, else its first rate.
float initialFrameRate(const CameraSpec& model);

// Throws std::invalid_argument naming the field a camera cannot have.
void validateSpec(const CameraSpec& model);

// Exposure (ms) and gain at which frames have their nominal brightness.
constexpr float kDefaultExposure = 10.0f;
constexpr float kDefaultGain = 1.0f;

}  // namespace korcamsim::detail
