// Control interface of the virtual camera library (libkorcamapi): tests and
// tools use it to describe the attached cameras, inject failures, read the
// call log and look at what the cameras delivered. Every function is safe to
// call from any thread, also while other threads call the SDK operations.
//
// The Octave/MATLAB front of the same interface is the MEX file korcamsim
// (sim/korcamsim_mex.cpp); its help text lists the commands.
#pragma once

#include "korcam.h"

#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(KORCAM_BUILDING_LIBRARY)
#define KORCAMSIM_API __declspec(dllexport)
#else
#define KORCAMSIM_API __declspec(dllimport)
#endif
#else
#define KORCAMSIM_API __attribute__((visibility("default")))
#endif

namespace korcamsim {

// Last-error codes the virtual cameras report besides those of korcam.h.
enum ErrorCode : uint32_t {
    kErrorNoSuchCamera = 2,       // camera number not attached, or unplugged
    kErrorReadOnly = 5,           // property cannot be written
    kErrorInvalidHandle = 6,      // handle never issued, or already closed
    kErrorWrongState = 21,        // e.g. a video frame while not streaming
    kErrorInvalidParameter = 87,  // null pointer, NaN value, bad size or count
    kErrorCountFailed = 31,       // KorcamNumCameras made to fail by korcamsim
};

// Largest sensor side a rig may describe (sizes travel as floats in
// properties 81 and 82, exact up to 2^24).
constexpr uint32_t kMaxSensorSide = 1u << 24;

// One attached camera. The defaults are those of camera 1 of the default rig.
struct CameraSpec {
    uint32_t id = 0x91;
    bool color = true;         // false: property 80 reads 0.0
    uint32_t maxWidth = 1280;  // properties 81 and 82
    uint32_t maxHeight = 1024;
    bool bits16 = false;         // accepts pixel format 1
    bool littleEndian = false;   // property 80 flags 0x80000000: 16-bit samples little-endian
    bool strobeDuration = true;  // false: property 116 fails with code 22
    std::vector<float> frameRates{3.75f, 7.5f, 15.0f, 30.0f};
    uint32_t firmware = 0x00000203;
    uint32_t fpga = 0x00000104;
    uint32_t api = 0x02010003;
    uint32_t driver = 0x02010007;
    uint32_t serial = 10001;
    uint32_t reserved = 0;
    uint32_t interfaceType = 2;  // 2 = USB 2
    uint32_t pixelDepth = 8;     // true pixel depth of the sensor
};

// The three cameras every test relies on unless it configures its own.
KORCAMSIM_API std::vector<CameraSpec> defaultRig();

// Default rig, no faults, no count override, empty call log, every camera
// closed, pacing on.
KORCAMSIM_API void reset();

// Replaces the attached cameras (all handles and groups become invalid).
// Throws std::invalid_argument naming the first bad field.
KORCAMSIM_API void setRig(const std::vector<CameraSpec>& cameras);

// Every camera is unplugged and plugged in again, as a USB re-plug does: all
// handles and groups become invalid and each camera comes back as at
// power-up; the rig, the faults and the call log stay.
KORCAMSIM_API void reattach();

// KorcamNumCameras reports count (below the attached number: the cameras
// above it are unplugged; -1: the call fails).
KORCAMSIM_API void setCameraCount(int32_t count);
KORCAMSIM_API void clearCameraCount();

// Every later call of operation `op` fails with `code`, after letting `skip`
// calls pass, `count` times. Throws std::invalid_argument for an unknown name
// (or KorcamGetLastError, which has no failure).
constexpr uint64_t kAlways = UINT64_MAX;
KORCAMSIM_API void failOperation(const std::string& op, uint32_t code, uint64_t count = kAlways, uint64_t skip = 0);
KORCAMSIM_API void clearFaults();

// Names of every SDK operation, in the order of korcam.h.
KORCAMSIM_API const std::vector<std::string>& operationNames();

struct CallRecord {
    std::string op;
    uint32_t camera = 0;       // camera number behind the handle, 0 where none
    std::vector<double> args;  // scalar arguments after the handle
};

// Oldest calls are dropped beyond this many.
constexpr std::size_t kCallLogCapacity = 100000;

KORCAMSIM_API std::vector<CallRecord> calls();
// Calls of operation `op` in the log, on camera n (0: any camera or none).
// Throws std::invalid_argument for a name that is not an SDK operation.
KORCAMSIM_API std::size_t callCount(const std::string& op, uint32_t cameraNumber = 0);
KORCAMSIM_API void clearCalls();

struct CameraState {
    bool open = false;     // at least one handle open
    uint32_t handles = 0;  // handles open on the camera
    bool streaming = false;
    bool window = false;  // the library's display window exists
    bool fastFrames = false;
    FrameFormat format{};
    float frameRate = 0;
    SnapshotSettings snapshot{};  // last settings handed to the SDK
    uint64_t framesDelivered = 0;
    uint8_t gpioValue = 0;
    uint8_t gpoMask = 0;
    float focusProgress = 0;
};

// Camera n (from 1); throws std::out_of_range outside the rig.
KORCAMSIM_API CameraState cameraState(int32_t cameraNumber);

struct Frame {
    std::vector<uint8_t> bytes;  // exactly as the buffer held them
    uint32_t width = 0;          // delivered width, after binning
    uint32_t height = 0;
    uint32_t pixelFormat = 0;
    uint64_t number = 0;  // 1 for the camera's first frame, 0: none yet
};

// The last frame camera n delivered (empty when none).
KORCAMSIM_API Frame lastFrame(int32_t cameraNumber);

// What KorcamConvertFrameToRgb24 (pixel format 0) or KorcamConvertFrameToRgb48
// (pixel format 1) of camera n makes of a raw frame: blue, green, red samples
// per pixel, as bytes (16-bit samples in the machine's byte order). Throws
// std::invalid_argument when raw does not hold a whole frame.
KORCAMSIM_API std::vector<uint8_t> convertFrame(int32_t cameraNumber, const std::vector<uint8_t>& raw, uint32_t width,
                                                uint32_t height, uint32_t pixelFormat);

// Stored value, or flags word, of a property of camera n, bypassing range and
// write checks; an id the camera lacks is added (range = the value, flags 0).
// Throws std::out_of_range outside the rig.
KORCAMSIM_API void setPropertyValue(int32_t cameraNumber, int32_t id, float value);
KORCAMSIM_API void setPropertyFlags(int32_t cameraNumber, int32_t id, int32_t flags);

// Pace video and fast frames to the camera's frame rate, and let a triggered
// frame wait out its timeout, as a camera does (on by default). Tests and
// benchmarks that want frames as fast as they can be drawn turn it off.
KORCAMSIM_API void setPacing(bool on);

// Replaces camera n's current format as KorcamGetFormat reports it, bypassing
// every check of KorcamSetFormat (pixel formats and binning factors the camera
// refuses included), as a camera left in an odd mode by other software would.
// Throws std::out_of_range outside the rig.
KORCAMSIM_API void forceFormat(int32_t cameraNumber, const FrameFormat& format);

}  // namespace korcamsim
