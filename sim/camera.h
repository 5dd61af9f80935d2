// One virtual camera's state between SDK calls, and the rules of what it
// accepts: formats, frame rates, frames it can address.
#pragma once

#include "frames.h"
#include "rig.h"

#include <chrono>
#include <map>
#include <optional>

namespace korcamsim::detail {

using Clock = std::chrono::steady_clock;

// Auto-focus advances this much per progress query; waiting completes it.
constexpr float kFocusStep = 25.0f;

struct Camera {
    explicit Camera(const CameraSpec& s)
        : model(s), format(initialFormat(s)), frameRate(initialFrameRate(s)), properties(initialProperties(s)) {}

    CameraSpec model;
    FrameFormat format;
    float frameRate;
    std::map<int32_t, Property> properties;
    uint32_t handles = 0;
    bool streaming = false;
    bool window = false;
    bool fastFrames = false;
    SnapshotSettings fastSettings{};
    SnapshotSettings snapshot{};
    uint64_t frames = 0;
    std::optional<FrameRecipe> lastFrame;
    uint8_t gpioValue = 0;
    uint8_t gpoMask = 0;
    bool focusing = false;
    float focusProgress = 0;
    Clock::time_point nextFrameDue{};

    float propertyValue(int32_t id, float fallback) const;
    bool littleEndian() const;
    bool color() const;
};

bool formatAccepted(const CameraSpec& model, const FrameFormat& f);
bool rateAccepted(const CameraSpec& model, float rate);
// A frame must be addressable on this machine (32-bit builds included).
bool addressable(const FrameFormat& format);

FrameRecipe recipeFor(const Camera& camera, const FrameFormat& format, double exposure, double gain);
// Counts the frame and remembers how it was made; the caller draws it.
FrameRecipe deliver(Camera& camera, FrameRecipe recipe);

}  // namespace korcamsim::detail
