#include "rig.h"

#include <cmath>
#include <stdexcept>

namespace korcamsim {

std::vector<CameraSpec> defaultRig() {
    std::vector<CameraSpec> rig(3);
    // Camera 1: the defaults of CameraSpec, a 1280 x 1024 colour camera.
    CameraSpec& mono = rig[1];
    mono.id = 0x18C;
    mono.color = false;
    mono.maxWidth = 2048;
    mono.maxHeight = 1536;
    mono.bits16 = true;
    mono.littleEndian = true;
    mono.serial = 10002;
    mono.pixelDepth = 12;
    CameraSpec& small = rig[2];
    small.id = 0x7777;
    small.maxWidth = 640;
    small.maxHeight = 480;
    small.strobeDuration = false;
    small.serial = 10003;
    small.interfaceType = 1;
    small.firmware = 0x00000102;
    small.fpga = 0x00000101;
    return rig;
}

namespace detail {

namespace {

struct PropertyRow {
    int32_t id;
    float minimum;
    float maximum;
    float defaultValue;
    bool writable;
};

// Adjustable properties of every camera. 50 and 51 only describe the ranges
// that acquisition software offers for exposure and gain.
constexpr PropertyRow kProperties[] = {
    {KORCAM_PROP_BRIGHTNESS, -255.0f, 255.0f, 0.0f, true},
    {KORCAM_PROP_CONTRAST, 0.0f, 255.0f, 128.0f, true},
    {KORCAM_PROP_HUE, -180.0f, 180.0f, 0.0f, true},
    {KORCAM_PROP_SATURATION, 0.0f, 255.0f, 128.0f, true},
    {KORCAM_PROP_GAMMA, 0.1f, 4.0f, 1.0f, true},
    {KORCAM_PROP_EXPOSURE, 0.0f, 10000.0f, kDefaultExposure, true},
    {KORCAM_PROP_GAIN, 1.0f, 16.0f, kDefaultGain, true},
    {KORCAM_PROP_EXPOSURE_RANGE, 0.0f, 10000.0f, 50.0f, false},
    {KORCAM_PROP_GAIN_RANGE, 1.0f, 16.0f, 1.0f, false},
};

constexpr PropertyRow kStrobeDuration = {KORCAM_PROP_STROBE_DURATION, 0.0f, 1000.0f, 1.0f, true};

Property fromRow(const PropertyRow& row) {
    Property p;
    p.value = row.defaultValue;
    p.minimum = row.minimum;
    p.maximum = row.maximum;
    p.defaultValue = row.defaultValue;
    p.writable = row.writable;
    return p;
}

Property constant(float value, int32_t flags) {
    Property p;
    p.value = p.minimum = p.maximum = p.defaultValue = value;
    p.flags = flags;
    p.writable = false;
    return p;
}

}  // namespace

std::map<int32_t, Property> initialProperties(const CameraSpec& model) {
    std::map<int32_t, Property> properties;
    for (const PropertyRow& row : kProperties) properties[row.id] = fromRow(row);
    if (model.strobeDuration) properties[kStrobeDuration.id] = fromRow(kStrobeDuration);
    const int32_t colorFlags = model.littleEndian ? static_cast<int32_t>(KORCAM_COLOR_FLAGS_LITTLE_ENDIAN) : 0;
    properties[KORCAM_PROP_COLOR_FORMAT] = constant(model.color ? 1.0f : 0.0f, colorFlags);
    properties[KORCAM_PROP_MAX_WIDTH] = constant(static_cast<float>(model.maxWidth), 0);
    properties[KORCAM_PROP_MAX_HEIGHT] = constant(static_cast<float>(model.maxHeight), 0);
    return properties;
}

FrameFormat initialFormat(const CameraSpec& model) {
    FrameFormat format{};
    format.width = model.maxWidth;
    format.height = model.maxHeight;
    format.pixelFormat = KORCAM_PIXEL_8BIT;
    format.xBinSub = 1;
    format.yBinSub = 1;
    return format;
}

float initialFrameRate(const CameraSpec& model) {
    for (float rate : model.frameRates)
        if (rate == 15.0f) return rate;
    return model.frameRates.empty() ? 15.0f : model.frameRates.front();
}

void validateSpec(const CameraSpec& model) {
    if (model.maxWidth == 0 || model.maxWidth > kMaxSensorSide)
        throw std::invalid_argument("maxWidth must lie in 1 to 16777216");
    if (model.maxHeight == 0 || model.maxHeight > kMaxSensorSide)
        throw std::invalid_argument("maxHeight must lie in 1 to 16777216");
    if (model.frameRates.empty()) throw std::invalid_argument("frameRates must hold at least one rate");
    for (float rate : model.frameRates)
        if (!std::isfinite(rate) || rate <= 0) throw std::invalid_argument("frameRates must be positive and finite");
}

}  // namespace detail
}  // namespace korcamsim
