// Command handlers, one per command code, grouped by family (one source file
// per family). Each takes the call's parameters (parameter 1 is the camera
// number where the command has one) and returns the new MATLAB array for the
// first output, or nullptr for commands without an output.
#pragma once

#include "arguments.h"

namespace kor {

using Handler = mxArray* (*)(const Params&);

// connection.cpp: connection and live preview
mxArray* disconnectCamera(const Params&);
mxArray* connectCamera(const Params&);
mxArray* startLivePreview(const Params&);
mxArray* stopLivePreview(const Params&);
mxArray* showVideoPropertyPage(const Params&);
mxArray* queryConnection(const Params&);

// geometry.cpp: frame size, offset, rate and bit depth
mxArray* setFrameSize(const Params&);
mxArray* setFrameRate(const Params&);
mxArray* listAvailableFrameRates(const Params&);
mxArray* getFrameOffset(const Params&);
mxArray* setFrameOffset(const Params&);
mxArray* setVideo16BitMode(const Params&);
mxArray* getVideo16BitMode(const Params&);
mxArray* getFrameSize(const Params&);
mxArray* getFrameRate(const Params&);

// capture.cpp: frames as MATLAB image arrays
mxArray* takeVideoFrame(const Params&);
mxArray* takeSnapshot(const Params&);
mxArray* takeSynchronousSnapshots(const Params&);
// The same captures with one grey page per image instead of three pages.
mxArray* takeGreyVideoFrame(const Params&);
mxArray* takeGreySnapshot(const Params&);
mxArray* takeGreySynchronousSnapshots(const Params&);

// snapshot_settings.cpp: stored snapshot settings, live exposure and gain
mxArray* getExposureRange(const Params&);
mxArray* setSnapshotExposure(const Params&);
mxArray* getGainRange(const Params&);
mxArray* setSnapshotGain(const Params&);
mxArray* setSnapshot16BitMode(const Params&);
mxArray* getSnapshot16BitMode(const Params&);
mxArray* setSnapshotColorGains(const Params&);
mxArray* getSnapshotColorGains(const Params&);
mxArray* setSnapshotStrobeUse(const Params&);
mxArray* getSnapshotStrobeUse(const Params&);
mxArray* setSnapshotStrobeDelay(const Params&);
mxArray* getSnapshotStrobeDelay(const Params&);
mxArray* setSnapshotHardwareTriggerUse(const Params&);
mxArray* getSnapshotHardwareTriggerUse(const Params&);
mxArray* setLiveGain(const Params&);
mxArray* getLiveGain(const Params&);
mxArray* setLiveExposure(const Params&);
mxArray* getLiveExposure(const Params&);

// gpio.cpp: general-purpose I/O lines
mxArray* readGpio(const Params&);
mxArray* writeGpo(const Params&);
mxArray* selectGpoForManualOperation(const Params&);

// camera_info.cpp: enumeration, versions and identity
mxArray* countAttachedCameras(const Params&);
mxArray* enumerateCameras(const Params&);
mxArray* querySoftwareVersions(const Params&);
mxArray* queryUsbInterface(const Params&);
mxArray* getCameraId(const Params&);
mxArray* getTruePixelDepth(const Params&);

// properties.cpp: image adjustment properties and their ranges
mxArray* getProperty(const Params&);
mxArray* setProperty(const Params&);
mxArray* getGamma(const Params&);
mxArray* setGamma(const Params&);
mxArray* getContrast(const Params&);
mxArray* setContrast(const Params&);
mxArray* getBrightness(const Params&);
mxArray* setBrightness(const Params&);
mxArray* getHue(const Params&);
mxArray* setHue(const Params&);
mxArray* getSaturation(const Params&);
mxArray* setSaturation(const Params&);
mxArray* getPropertyRange(const Params&);
mxArray* getGammaRange(const Params&);
mxArray* getContrastRange(const Params&);
mxArray* getBrightnessRange(const Params&);
mxArray* getHueRange(const Params&);
mxArray* getSaturationRange(const Params&);

// frame_format.cpp: the frame format structure
mxArray* getFrameFormatStructure(const Params&);
mxArray* setFrameFormatStructure(const Params&);

// lens.cpp: one-shot adjustments and lens control
mxArray* oneShotAutoExposure(const Params&);
mxArray* oneShotAutoWhiteBalance(const Params&);
mxArray* oneShotAutoWhiteBalanceEx(const Params&);
mxArray* digitalWhiteBalance(const Params&);
mxArray* digitalWhiteBalanceEx(const Params&);
mxArray* initAutoLens(const Params&);
mxArray* oneShotAutoIris(const Params&);
mxArray* startAutoFocus(const Params&);
mxArray* waitForAutoFocus(const Params&);
mxArray* stopAutoFocus(const Params&);
mxArray* queryAutoFocusProgress(const Params&);

}  // namespace kor
