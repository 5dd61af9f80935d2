// Snapshot settings and the camera's live exposure and gain.
//
// The stored settings live in the slot's SnapshotSettings and reach the
// camera only when a snapshot hands the record to the SDK; the live commands
// call the SDK's property operations at once and store nothing.
#include "commands.h"
#include "conversions.h"
#include "errors.h"
#include "korcam.h"
#include "matlab_values.h"
#include "property_access.h"
#include "slots.h"

namespace kor {
namespace {

// The stored and the live setter of one quantity refuse a camera and a value
// with the same words.
constexpr const char* kCannotSetExposure = "Cannot set exposure, camera %d is not connected.";
constexpr const char* kCannotSetGain = "Cannot set gain, camera %d is not connected.";
constexpr const char* kNegativeExposure = "Exposure must be a non-negative number.";
constexpr const char* kNegativeGain = "Gain must be a non-negative number.";

// Refuses value < 0 on the double as received (NaN and -0 pass), then rounds
// it to the float the SDK takes.
float nonNegative(double value, const char* refusal) {
    if (value < 0) fail("%s", refusal);
    return toFloat(value);
}

uint32_t flagField(bool on) { return on ? 1u : 0u; }

}  // namespace

mxArray* getExposureRange(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get exposure range, camera %d is not connected.");
    return propertyRangeColumn(camera.handle, KORCAM_PROP_EXPOSURE, "Failed to get the exposure range.");
}

mxArray* getGainRange(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get gain range, camera %d is not connected.");
    return propertyRangeColumn(camera.handle, KORCAM_PROP_GAIN, "Failed to get the gain range.");
}

mxArray* setSnapshotExposure(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), kCannotSetExposure);
    camera.snapshot.exposure = nonNegative(p.real(2), kNegativeExposure);
    return nullptr;
}

mxArray* setSnapshotGain(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), kCannotSetGain);
    camera.snapshot.gain = nonNegative(p.real(2), kNegativeGain);
    return nullptr;
}

// 16-bit mode is the stored format's sample format; a take-snapshot replaces
// it with the camera's current one.
mxArray* setSnapshot16BitMode(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot set 16-bit mode, camera %d is not connected.");
    camera.snapshot.format.pixelFormat = p.logical(2) ? KORCAM_PIXEL_16BIT : KORCAM_PIXEL_8BIT;
    return nullptr;
}

mxArray* getSnapshot16BitMode(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot check 16-bit mode, camera %d is not connected.");
    return logicalScalar(camera.snapshot.format.pixelFormat == KORCAM_PIXEL_16BIT);
}

// MATLAB gives and receives the colour gains as red, green 1, green 2, blue;
// the record holds them as red, blue, green 1, green 2. All four are tested
// before any is stored, so a refused call keeps the old four.
mxArray* setSnapshotColorGains(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot set color gain, camera %d is not connected.");
    const float red = nonNegative(p.real(2), "Red gain must be a non-negative number.");
    const float green1 = nonNegative(p.real(3), "Green1 gain must be a non-negative number.");
    const float green2 = nonNegative(p.real(4), "Green2 gain must be a non-negative number.");
    const float blue = nonNegative(p.real(5), "Blue gain must be a non-negative number.");
    SnapshotSettings& s = camera.snapshot;
    s.redGain = red;
    s.green1Gain = green1;
    s.green2Gain = green2;
    s.blueGain = blue;
    return nullptr;
}

mxArray* getSnapshotColorGains(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get color gain, camera %d is not connected.");
    const SnapshotSettings& s = camera.snapshot;
    return doubleColumn({s.redGain, s.green1Gain, s.green2Gain, s.blueGain});
}

mxArray* setSnapshotStrobeUse(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot set strobe, camera %d is not connected.");
    camera.snapshot.strobeEnable = flagField(p.logical(2));
    return nullptr;
}

mxArray* getSnapshotStrobeUse(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get strobe status, camera %d is not connected.");
    return logicalScalar(camera.snapshot.strobeEnable != 0);
}

mxArray* setSnapshotStrobeDelay(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot set strobe delay, camera %d is not connected.");
    camera.snapshot.strobeDelay = nonNegative(p.real(2), "Delay must be a non-negative value.");
    return nullptr;
}

mxArray* getSnapshotStrobeDelay(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get strobe delay, camera %d is not connected.");
    return doubleScalar(camera.snapshot.strobeDelay);
}

mxArray* setSnapshotHardwareTriggerUse(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot set hw trigger use, camera %d is not connected.");
    camera.snapshot.hardwareTriggerEnable = flagField(p.logical(2));
    return nullptr;
}

mxArray* getSnapshotHardwareTriggerUse(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get hw trigger usage, camera %d is not connected.");
    return logicalScalar(camera.snapshot.hardwareTriggerEnable != 0);
}

mxArray* setLiveGain(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), kCannotSetGain);
    writeProperty(camera.handle, KORCAM_PROP_GAIN, nonNegative(p.real(2), kNegativeGain), 0,
                  "An error occured while setting the gain.");
    return nullptr;
}

mxArray* getLiveGain(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get gain, camera %d is not connected.");
    return doubleScalar(
        readProperty(camera.handle, KORCAM_PROP_GAIN, "An error occured while getting the gain.").value);
}

mxArray* setLiveExposure(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), kCannotSetExposure);
    writeProperty(camera.handle, KORCAM_PROP_EXPOSURE, nonNegative(p.real(2), kNegativeExposure), 0,
                  "An error occured while setting the exposure.");
    return nullptr;
}

mxArray* getLiveExposure(const Params& p) {
    CameraSlot camera = guardConnectedCamera(p.integer(1), "Cannot get exposure, camera %d is not connected.");
    return doubleScalar(
        readProperty(camera.handle, KORCAM_PROP_EXPOSURE, "An error occured while getting the exposure.").value);
}

}  // namespace kor
