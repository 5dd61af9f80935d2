// Image adjustment properties and their ranges: the SDK's property operations
// reached directly, nothing kept in the slot table. Values cross the SDK as
// 32-bit floats; no value is refused here, the camera alone judges them.
#include "commands.h"
#include "conversions.h"
#include "errors.h"
#include "korcam.h"
#include "matlab_values.h"
#include "property_access.h"
#include "slots.h"

namespace kor {

PropertyReading readProperty(CameraHandle handle, int32_t id, const char* failure) {
    PropertyReading reading{0.0f, 0};
    if (!KorcamGetProperty(handle, id, &reading.value, &reading.flags)) fail("%s", failure);
    return reading;
}

void writeProperty(CameraHandle handle, int32_t id, float value, int32_t flags, const char* failure) {
    if (!KorcamSetProperty(handle, id, value, flags)) fail("%s", failure);
}

mxArray* propertyRangeColumn(CameraHandle handle, int32_t id, const char* failure) {
    float minimum = 0.0f;
    float maximum = 0.0f;
    float defaultValue = 0.0f;
    int32_t flags = 0;
    if (!KorcamPropertyRange(handle, id, &minimum, &maximum, &defaultValue, &flags)) fail("%s", failure);
    return doubleColumn({minimum, maximum});
}

namespace {

// The three shapes of the fixed-id commands.

mxArray* fixedGet(const Params& p, int32_t id, const char* notConnected, const char* failure) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), notConnected);
    return doubleScalar(readProperty(camera.handle, id, failure).value);
}

mxArray* fixedSet(const Params& p, int32_t id, const char* notConnected, const char* failure) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), notConnected);
    writeProperty(camera.handle, id, toFloat(p.real(2)), 0, failure);
    return nullptr;
}

mxArray* fixedRange(const Params& p, int32_t id, const char* notConnected, const char* failure) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), notConnected);
    return propertyRangeColumn(camera.handle, id, failure);
}

}  // namespace

// The one getter of the gateway that answers with a row: value, then flags.
mxArray* getProperty(const Params& p) {
    const int32_t id = p.integer(2);
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get property, camera %d is not connected.");
    const PropertyReading reading = readProperty(camera.handle, id, "An error occured while getting the property.");
    return doubleRow({reading.value, static_cast<double>(reading.flags)});
}

// Parameter 2 (the id) arrives as a double and parameter 3 (the value) as any
// numeric class, so the value is taken by its numeric value, never by its
// storage; parameter 4 (the flags) has had no check at all.
mxArray* setProperty(const Params& p) {
    const int32_t id = p.integer(2);
    const double value = p.number(3);
    const int32_t flags = p.uncheckedInteger(4);
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot set property, camera %d is not connected.");
    writeProperty(camera.handle, id, toFloat(value), flags, "An error occured while setting the property.");
    return nullptr;
}

mxArray* getPropertyRange(const Params& p) {
    const int32_t id = p.integer(2);
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get property range, camera %d is not connected.");
    return propertyRangeColumn(camera.handle, id, "Failed to get the property range.");
}

mxArray* getGamma(const Params& p) {
    return fixedGet(p, KORCAM_PROP_GAMMA, "Cannot get gamma, camera %d is not connected.",
                    "An error occured while getting the gamma.");
}

mxArray* setGamma(const Params& p) {
    return fixedSet(p, KORCAM_PROP_GAMMA, "Cannot set gamma, camera %d is not connected.",
                    "An error occured while setting the gamma.");
}

mxArray* getContrast(const Params& p) {
    return fixedGet(p, KORCAM_PROP_CONTRAST, "Cannot get contrast, camera %d is not connected.",
                    "An error occured while getting the contrast.");
}

mxArray* setContrast(const Params& p) {
    return fixedSet(p, KORCAM_PROP_CONTRAST, "Cannot set contrast, camera %d is not connected.",
                    "An error occured while setting the contrast.");
}

mxArray* getBrightness(const Params& p) {
    return fixedGet(p, KORCAM_PROP_BRIGHTNESS, "Cannot get brightness, camera %d is not connected.",
                    "An error occured while getting the brightness.");
}

mxArray* setBrightness(const Params& p) {
    return fixedSet(p, KORCAM_PROP_BRIGHTNESS, "Cannot set brightness, camera %d is not connected.",
                    "An error occured while setting the brightness.");
}

mxArray* getHue(const Params& p) {
    return fixedGet(p, KORCAM_PROP_HUE, "Cannot get hue, camera %d is not connected.",
                    "An error occured while getting the hue.");
}

mxArray* setHue(const Params& p) {
    return fixedSet(p, KORCAM_PROP_HUE, "Cannot set hue, camera %d is not connected.",
                    "An error occured while setting the hue.");
}

mxArray* getSaturation(const Params& p) {
    return fixedGet(p, KORCAM_PROP_SATURATION, "Cannot get saturation, camera %d is not connected.",
                    "An error occured while getting the saturation.");
}

mxArray* setSaturation(const Params& p) {
    return fixedSet(p, KORCAM_PROP_SATURATION, "Cannot set saturation, camera %d is not connected.",
                    "An error occured while setting the saturation.");
}

mxArray* getGammaRange(const Params& p) {
    return fixedRange(p, KORCAM_PROP_GAMMA, "Cannot get gamma range, camera %d is not connected.",
                      "Failed to get the gamma range.");
}

mxArray* getContrastRange(const Params& p) {
    return fixedRange(p, KORCAM_PROP_CONTRAST, "Cannot get contrast range, camera %d is not connected.",
                      "Failed to get the contrast range.");
}

mxArray* getBrightnessRange(const Params& p) {
    return fixedRange(p, KORCAM_PROP_BRIGHTNESS, "Cannot get brightness range, camera %d is not connected.",
                      "Failed to get the brightness range.");
}

mxArray* getHueRange(const Params& p) {
    return fixedRange(p, KORCAM_PROP_HUE, "Cannot get hue range, camera %d is not connected.",
                      "Failed to get the hue range.");
}

mxArray* getSaturationRange(const Params& p) {
    return fixedRange(p, KORCAM_PROP_SATURATION, "Cannot get saturation range, camera %d is not connected.",
                      "Failed to get the saturation range.");
}

}  // namespace kor
