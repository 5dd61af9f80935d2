// Frame geometry, rate and bit depth: every change goes through the SDK's
// format operations on a format fetched in the same call; size and offset
// changes are mirrored into the slot's snapshot settings so that snapshots use
// the new region.
#include <cstdint>
#include <cstring>

#include "buffer.h"
#include "commands.h"
#include "conversions.h"
#include "errors.h"
#include "korcam.h"
#include "matlab_values.h"
#include "preview.h"
#include "slots.h"

namespace kor {
namespace {

// The camera's current format and the rate that travels beside it, valid
// for one call only.
struct WorkingFormat {
    FrameFormat format{};
    float frameRate = 0;
};

WorkingFormat currentFormat(const CameraSlot& slot, const char* failureMessage) {
    WorkingFormat working;
    if (!KorcamGetFormat(slot.handle, &working.format, &working.frameRate)) fail("%s", failureMessage);
    return working;
}

void applyFormat(const CameraSlot& slot, const WorkingFormat& working, float frameRate, const char* failureMessage) {
    if (!KorcamSetFormat(slot.handle, &working.format, frameRate)) fail("%s", failureMessage);
}

// The SDK's display window does not follow a format change: a running
// preview is stopped and its window destroyed first, then started again.
// An error in between leaves the preview stopped with `previewing` still
// set; a later stop live preview clears it.
template <typename Change>
void withPreviewPaused(const CameraSlot& slot, Change change) {
    const bool previewing = slot.previewing;
    if (previewing) stopPreviewStream(slot);
    change();
    if (previewing) restartPreviewStream(slot);
}

struct SensorSize {
    int32_t width;
    int32_t height;
};

// Properties 81 and 82 hold the sensor's size as floats; their flags mean
// nothing here.
bool maximumResolution(const CameraSlot& slot, SensorSize& size) {
    float value = 0;
    int32_t flags = 0;
    if (!KorcamGetProperty(slot.handle, KORCAM_PROP_MAX_WIDTH, &value, &flags)) return false;
    size.width = truncateToInt32(value);
    if (!KorcamGetProperty(slot.handle, KORCAM_PROP_MAX_HEIGHT, &value, &flags)) return false;
    size.height = truncateToInt32(value);
    return true;
}

// Get frame size and get frame offset: two unsigned fields as a column.
mxArray* formatFieldPair(const Params& p, const char* notConnectedPattern, uint32_t FrameFormat::*first,
                         uint32_t FrameFormat::*second) {
    const CameraSlot slot = guardConnectedCamera(p.integer(1), notConnectedPattern);
    const FrameFormat f = currentFormat(slot, "Failed to get the frame format.").format;
    return doubleColumn({static_cast<double>(f.*first), static_cast<double>(f.*second)});
}

// Refreshes the slot's 16-bit cache from the camera's pixel format.
bool refreshVideo16Bit(int32_t n) {
    const CameraSlot slot = guardConnectedCamera(n, "Cannot get 16-bit status, camera %d is not connected.");
    slot.video16Bit = currentFormat(slot, "Unable to get current frame format.").format.pixelFormat != 0;
    return slot.video16Bit;
}

}  // namespace

mxArray* setFrameSize(const Params& p) {
    const CameraSlot slot = guardConnectedCamera(p.integer(1), "Cannot set frame size, camera %d not connected.");
    // Compared as unsigned values: a negative size exceeds every maximum.
    const uint32_t width = static_cast<uint32_t>(p.integer(2));
    const uint32_t height = static_cast<uint32_t>(p.integer(3));
    SensorSize maximum{};
    if (!maximumResolution(slot, maximum)) fail("An error occured wile obtaining the maximum resolution.\n");
    if (width > static_cast<uint32_t>(maximum.width) || height > static_cast<uint32_t>(maximum.height))
        fail("Invalid resolution selected.");
    withPreviewPaused(slot, [&] {
        WorkingFormat working = currentFormat(slot, "An error occured while obtaining the frame format.\n");
        FrameFormat& stored = slot.snapshot.format;
        stored.xOffset = working.format.xOffset;
        stored.yOffset = working.format.yOffset;
        stored.width = width;
        stored.height = height;
        stored.xBinSub = stored.yBinSub = 1;
        working.format.width = width;
        working.format.height = height;
        working.format.xBinSub = working.format.yBinSub = 1;
        applyFormat(slot, working, working.frameRate, "An error occured while setting the frame size.\n");
    });
    return nullptr;
}

mxArray* getFrameSize(const Params& p) {
    return formatFieldPair(p, "Cannot get frame size, camera %d is not connected.", &FrameFormat::width,
                           &FrameFormat::height);
}

mxArray* setFrameOffset(const Params& p) {
    const CameraSlot slot = guardConnectedCamera(p.integer(1), "Cannot set the offest, camera %d is not connected.");
    const int32_t x = p.integer(2);
    const int32_t y = p.integer(3);
    if (x < 0 || y < 0) fail("Offsets need to be positive.");
    WorkingFormat working = currentFormat(slot, "Failed to get the frame format.");
    withPreviewPaused(slot, [&] {
        working.format.xOffset = static_cast<uint32_t>(x);
        working.format.yOffset = static_cast<uint32_t>(y);
        applyFormat(slot, working, working.frameRate, "Failed to set the new offset. Offset may be invalid.");
        slot.snapshot.format.xOffset = static_cast<uint32_t>(x);
        slot.snapshot.format.yOffset = static_cast<uint32_t>(y);
    });
    return nullptr;
}

mxArray* getFrameOffset(const Params& p) {
    return formatFieldPair(p, "Cannot get offest, camera %d is not connected.", &FrameFormat::xOffset,
                           &FrameFormat::yOffset);
}

mxArray* setFrameRate(const Params& p) {
    const CameraSlot slot = guardConnectedCamera(p.integer(1), "Cannot set frame rate, camera %d is not connected.");
    // Not range-checked: the SDK decides which rates it accepts.
    const float rate = toFloat(p.real(2));
    withPreviewPaused(slot, [&] {
        const WorkingFormat working = currentFormat(slot, "An error occured while obtaining the frame format.\n");
        applyFormat(slot, working, rate, "Failed to set frame rate.");
    });
    return nullptr;
}

mxArray* getFrameRate(const Params& p) {
    const CameraSlot slot = guardConnectedCamera(p.integer(1), "Cannot list frame rates, camera %d not connected.");
    const WorkingFormat working = currentFormat(slot, "An error occured while obtaining the current frame rate.");
    return doubleScalar(working.frameRate, "An error occured while creating frame rate matrix.");
}

mxArray* listAvailableFrameRates(const Params& p) {
    const CameraSlot slot = guardConnectedCamera(p.integer(1), "Cannot list frame rates, camera %d not connected.");
    const int32_t count = KorcamEnumAvailableFrameRates(slot.handle, 0, nullptr);
    // A negative count is as unusable as 0: it cannot size the rate array.
    if (count <= 0) fail("An error occured while obtaining number of available frame rates.\n");
    Buffer rates(static_cast<uint64_t>(count) * sizeof(float));
    if (!rates) fail("Not enough memory for %d frame rates.", count);
    // An SDK whose list shrank between the two calls fills fewer entries:
    // those read as 0 rather than as whatever the block held.
    std::memset(rates.data(), 0, rates.size());
    if (!KorcamEnumAvailableFrameRates(slot.handle, static_cast<uint32_t>(count), rates.as<float>()))
        fail("An error occured while obtaining available frame rates.\n");
    mxArray* row = mxCreateDoubleMatrix(1, static_cast<size_t>(count), mxREAL);
    if (!row) fail("An error occured while creating frame rate matrix.");
    double* out = mxGetPr(row);
    for (int32_t i = 0; i < count; ++i) out[i] = rates.as<float>()[i];
    return row;
}

mxArray* setVideo16BitMode(const Params& p) {
    const int32_t n = p.integer(1);
    const CameraSlot slot = guardConnectedCamera(n, "Cannot set 16-bit, camera %d is not connected.");
    const bool on = p.logical(2);
    if (refreshVideo16Bit(n) == on) return nullptr;
    WorkingFormat working = currentFormat(slot, "Failed to get the frame format.");
    withPreviewPaused(slot, [&] {
        working.format.pixelFormat = on ? KORCAM_PIXEL_16BIT : KORCAM_PIXEL_8BIT;
        applyFormat(slot, working, working.frameRate, "Failed to enable 16-bit mode. Mode may not be supported.");
    });
    // Only after the preview restarted: a failed restart leaves the cache
    // stale until the next get video 16-bit mode refreshes it.
    slot.video16Bit = on;
    return nullptr;
}

mxArray* getVideo16BitMode(const Params& p) { return logicalScalar(refreshVideo16Bit(p.integer(1))); }

}  // namespace kor
