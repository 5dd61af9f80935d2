// One-shot automatic adjustments and lens control: after the camera guard,
// each command is exactly one SDK call with the caller's numbers. The SDK
// keeps whatever state an auto-focus operation has; the gateway keeps none.
#include "commands.h"
#include "conversions.h"
#include "errors.h"
#include "korcam.h"
#include "matlab_values.h"
#include "slots.h"

namespace kor {
namespace {

struct Messages {
    const char* notConnectedPattern;
    const char* failure;  // the SDK answered 0
};

// The plain and the extended variant of one adjustment share their messages.
constexpr Messages kAutoExposure{"Cannot perform one shot auto-exposure, camera %d is not connected.",
                                 "Failed to perform one shot auto-exposure."};
constexpr Messages kAutoIris{"Cannot perform one shot auto-iris, camera %d is not connected.",
                             "Failed to perform one shot auto-iris."};
constexpr Messages kAutoWhiteBalance{"Cannot perform one shot auto-white balance, camera %d is not connected.",
                                     "Failed to perform one shot auto-white balance."};
constexpr Messages kDigitalWhiteBalance{"Cannot perform digital white balance, camera %d is not connected.",
                                        "Failed to perform digital white balance."};
constexpr Messages kInitLens{"Cannot initialize the lens controller, camera %d is not connected.",
                             "An error occured while initializing the lens controller."};
constexpr Messages kFocusStart{"Cannot start an auto-focus operation, camera %d is not connected.",
                               "An error occured while starting an auto-focus operation."};
constexpr Messages kFocusWait{"Cannot set focus timeout value, camera %d is not connected.",
                              "An error occured while setting the focus wait timeout value."};
constexpr Messages kFocusStop{"Cannot stop the auto-focus operation, camera %d is not connected.",
                              "An error occured while stopping the auto-focus operation."};
constexpr Messages kFocusProgress{"Cannot get auto-focus operation progress value, camera %d is not connected.",
                                  "An error occured while reading the auto-focus operation progress value."};

// Guard, then the one SDK call (given the camera's handle); its result 0 is
// the command's failure.
template <typename SdkCall>
void passThrough(const Params& p, const Messages& messages, SdkCall call) {
    CameraSlot slot = guardConnectedCamera(p.integer(1), messages.notConnectedPattern);
    if (!call(slot.handle)) fail("%s", messages.failure);
}

// Rounded to a float first, then truncated toward zero with the low 32 bits
// kept, so negative and oversized values wrap as the SDK has always seen
// them. NaN gives 0 and the infinities saturate: +inf becomes 0xFFFFFFFF,
// -inf 0.
uint32_t focusTimeout(double value) { return lowBits32(static_cast<double>(toFloat(value))); }

}  // namespace

mxArray* oneShotAutoExposure(const Params& p) {
    passThrough(p, kAutoExposure, [&](CameraHandle h) {
        return KorcamOneShotAutoExposure(h, p.integer(2), p.integer(3), p.integer(4), p.integer(5), p.integer(6));
    });
    return nullptr;
}

mxArray* oneShotAutoIris(const Params& p) {
    passThrough(p, kAutoIris, [&](CameraHandle h) {
        return KorcamOneShotAutoIris(h, p.integer(2), p.integer(3), p.integer(4), p.integer(5), p.integer(6));
    });
    return nullptr;
}

mxArray* oneShotAutoWhiteBalance(const Params& p) {
    passThrough(p, kAutoWhiteBalance, [&](CameraHandle h) {
        return KorcamOneShotAutoWhiteBalance(h, p.integer(2), p.integer(3), p.integer(4), p.integer(5));
    });
    return nullptr;
}

mxArray* oneShotAutoWhiteBalanceEx(const Params& p) {
    passThrough(p, kAutoWhiteBalance, [&](CameraHandle h) {
        return KorcamOneShotAutoWhiteBalanceEx(h, toFloat(p.real(2)), toFloat(p.real(3)), p.integer(4), p.integer(5),
                                               p.integer(6), p.integer(7));
    });
    return nullptr;
}

mxArray* digitalWhiteBalance(const Params& p) {
    passThrough(p, kDigitalWhiteBalance, [&](CameraHandle h) {
        return KorcamDigitalWhiteBalance(h, p.integer(2), p.integer(3), p.integer(4), p.integer(5));
    });
    return nullptr;
}

mxArray* digitalWhiteBalanceEx(const Params& p) {
    passThrough(p, kDigitalWhiteBalance, [&](CameraHandle h) {
        return KorcamDigitalWhiteBalanceEx(h, toFloat(p.real(2)), toFloat(p.real(3)), p.integer(4), p.integer(5),
                                           p.integer(6), p.integer(7));
    });
    return nullptr;
}

mxArray* initAutoLens(const Params& p) {
    passThrough(p, kInitLens, [&](CameraHandle h) { return KorcamInitAutoLens(h, p.logical(2) ? 1 : 0); });
    return nullptr;
}

mxArray* startAutoFocus(const Params& p) {
    // Parameters 6 to 8 arrive as integers and go to the SDK as floats (exact
    // up to 2^24 in magnitude).
    passThrough(p, kFocusStart, [&](CameraHandle h) {
        return KorcamAutoFocusStart(h, p.integer(2), p.integer(3), p.integer(4), p.integer(5),
                                    static_cast<float>(p.integer(6)), static_cast<float>(p.integer(7)),
                                    static_cast<float>(p.integer(8)), p.integer(9), p.integer(10));
    });
    return nullptr;
}

mxArray* waitForAutoFocus(const Params& p) {
    // Blocks the MATLAB call for as long as the SDK waits.
    passThrough(p, kFocusWait, [&](CameraHandle h) { return KorcamAutoFocusWait(h, focusTimeout(p.real(2))); });
    return nullptr;
}

mxArray* stopAutoFocus(const Params& p) {
    passThrough(p, kFocusStop, [](CameraHandle h) { return KorcamAutoFocusStop(h); });
    return nullptr;
}

mxArray* queryAutoFocusProgress(const Params& p) {
    float progress = 0;
    passThrough(p, kFocusProgress, [&](CameraHandle h) { return KorcamAutoFocusQueryProgress(h, &progress); });
    return doubleScalar(progress);
}

}  // namespace kor
