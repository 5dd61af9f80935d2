// General-purpose I/O lines. The SDK takes output values and masks of 0 to
// 255 as signed 32-bit integers; the gateway refuses values outside that
// range before the call.
#include "commands.h"
#include "errors.h"
#include "korcam.h"
#include "matlab_values.h"
#include "slots.h"

namespace kor {
namespace {

struct GpoCommand {
    const char* notConnectedPattern;
    const char* aboveRange;
    const char* negative;
    KorcamBool (*sdkCall)(CameraHandle, int32_t);
    const char* failure;  // the SDK answered 0
};

constexpr GpoCommand kWriteGpo{"Cannot write to GPIO, camera %d is not connected.",
                               "GPO value should be less than 256.", "GPO value should not be negative.",
                               KorcamGpioWrite, "An error occured while writing to GPIO."};
constexpr GpoCommand kSelectGpo{"Cannot enable GPO for manual operation, camera %d is not connected.",
                                "Enable value should be less than 256.", "Enable value should not be negative.",
                                KorcamGpoSelect, "An error occured while enabling GPO."};

// Parameter 2 has no type check: any array whose scalar value converts is
// taken. Its range is tested only once the camera guard has passed.
mxArray* runGpoCommand(const Params& p, const GpoCommand& command) {
    const int32_t value = p.uncheckedInteger(2);
    CameraSlot slot = guardConnectedCamera(p.integer(1), command.notConnectedPattern);
    if (value > 255) fail("%s", command.aboveRange);
    if (value < 0) fail("%s", command.negative);
    if (!command.sdkCall(slot.handle, value)) fail("%s", command.failure);
    return nullptr;
}

}  // namespace

mxArray* readGpio(const Params& p) {
    CameraSlot slot = guardConnectedCamera(p.integer(1), "Cannot read GPIO, camera %d is not connected.");
    uint8_t first = 0;
    uint8_t second = 0;
    if (!KorcamGpioRead(slot.handle, &first, &second)) fail("Failed to read GPIO.");
    return doubleRow({static_cast<double>(first), static_cast<double>(second)});
}

mxArray* writeGpo(const Params& p) { return runGpoCommand(p, kWriteGpo); }

mxArray* selectGpoForManualOperation(const Params& p) { return runGpoCommand(p, kSelectGpo); }

}  // namespace kor
