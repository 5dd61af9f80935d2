#include "camera.h"

#include "korcam_color_format.h"

#include <limits>

namespace korcamsim::detail {

float Camera::propertyValue(int32_t id, float fallback) const {
    const auto it = properties.find(id);
    return it == properties.end() ? fallback : it->second.value;
}

bool Camera::littleEndian() const {
    const auto it = properties.find(KORCAM_PROP_COLOR_FORMAT);
    return it != properties.end() && static_cast<uint32_t>(it->second.flags) == KORCAM_COLOR_FLAGS_LITTLE_ENDIAN;
}

bool Camera::color() const { return !korcam::isMonochromeColorFormat(propertyValue(KORCAM_PROP_COLOR_FORMAT, 1.0f)); }

namespace {

bool binningAccepted(uint16_t factor, uint32_t size) {
    return (factor == 1 || factor == 2 || factor == 4) && size % factor == 0;
}

}  // namespace

bool formatAccepted(const CameraSpec& model, const FrameFormat& f) {
    if (f.width == 0 || f.height == 0) return false;
    if (static_cast<uint64_t>(f.xOffset) + f.width > model.maxWidth) return false;
    if (static_cast<uint64_t>(f.yOffset) + f.height > model.maxHeight) return false;
    if (!binningAccepted(f.xBinSub, f.width) || !binningAccepted(f.yBinSub, f.height)) return false;
    return f.pixelFormat == KORCAM_PIXEL_8BIT || (f.pixelFormat == KORCAM_PIXEL_16BIT && model.bits16);
}

bool rateAccepted(const CameraSpec& model, float rate) {
    for (float offered : model.frameRates)
        if (offered == rate) return true;
    return false;
}

bool addressable(const FrameFormat& format) {
    return frameBytes(format) <= static_cast<uint64_t>(std::numeric_limits<std::size_t>::max());
}

FrameRecipe recipeFor(const Camera& camera, const FrameFormat& format, double exposure, double gain) {
    FrameRecipe recipe;
    recipe.sensorWidth = camera.model.maxWidth;
    recipe.sensorHeight = camera.model.maxHeight;
    recipe.format = format;
    recipe.color = camera.color();
    recipe.littleEndian = camera.littleEndian();
    recipe.brightness = brightnessFactor(exposure, gain);
    return recipe;
}

FrameRecipe deliver(Camera& camera, FrameRecipe recipe) {
    recipe.number = ++camera.frames;
    camera.lastFrame = recipe;
    return recipe;
}

}  // namespace korcamsim::detail
