// Connection and live preview: the only commands that change a slot's
// handle, connected and previewing fields.
#include "commands.h"
#include "errors.h"
#include "korcam.h"
#include "matlab_values.h"
#include "korwin32.h"
#include "preview.h"
#include "slots.h"

namespace kor {
namespace {

void connect(int32_t n) {
    checkCameraNumber(n);
    CameraSlot slot = slotOf(n);
    if (slot.connected) fail("Camera %d already connected.", n);
    // A connect whose format query failed left the camera open. Opening it
    // again beside that handle would lose it, and a camera that allows one
    // open handle would then refuse every later open.
    if (slot.handle != 0) {
        KorcamCameraClose(slot.handle);
        slot.handle = 0;
    }
    slot.handle = KorcamCameraOpen(n);
    if (slot.handle == 0) fail("An error has occured while opening a connection to the camera.\n");
    FrameFormat format{};
    float rate = 0;
    // On failure the camera stays open and its handle stays in the slot.
    if (!KorcamGetFormat(slot.handle, &format, &rate)) fail("Failed to get the initial frame format.\n");
    slot.snapshot = connectDefaults(format);
    slot.connected = true;
}

void stopPreview(int32_t n) {
    checkCameraNumber(n);
    CameraSlot slot = slotOf(n);
    if (!slot.connected) fail("Camera %d already disconnected.", n);
    if (!slot.previewing) fail("Preview for camera %d is already closed.", n);
    if (!KorcamStreamVideoControl(slot.handle, KORCAM_STREAM_STOP, nullptr)) {
        slot.previewing = false;
        fail("An error occured while stopping the video preview.\n");
    }
    const bool destroyed = KorcamDestroyDisplayWindow(slot.handle) != 0;
    slot.previewing = false;
    if (!destroyed) fail("An error occured while closing the preview windows.\n");
}

}  // namespace

void stopPreviewStream(const CameraSlot& slot) {
    if (!KorcamStreamVideoControl(slot.handle, KORCAM_STREAM_STOP, nullptr))
        fail("An error occured while stopping the video preview.\n");
    if (!KorcamDestroyDisplayWindow(slot.handle)) fail("An error occured while closing the preview windows.\n");
}

void restartPreviewStream(const CameraSlot& slot) {
    if (!KorcamStreamVideoControl(slot.handle, KORCAM_STREAM_START_OWN_WINDOW, nullptr))
        fail("An error occured while opening the video preview.\n");
}

mxArray* connectCamera(const Params& p) {
    connect(p.integer(1));
    return nullptr;
}

mxArray* startLivePreview(const Params& p) {
    const int32_t n = p.integer(1);
    checkCameraNumber(n);
    CameraSlot slot = slotOf(n);
    if (!slot.connected) connect(n);
    if (slot.previewing) fail("Camera may already be previewing. Stop the preview before calling this function.\n");
    FrameFormat format{};
    float rate = 0;
    if (!KorcamGetFormat(slot.handle, &format, &rate)) fail("An error occured while obtaining the frame format.\n");
    // Writing the camera's own format back readies the stream for it.
    if (!KorcamSetFormat(slot.handle, &format, rate)) fail("An error occured while setting the frame size.\n");
    restartPreviewStream(slot);
    slot.previewing = true;
    return nullptr;
}

mxArray* stopLivePreview(const Params& p) {
    stopPreview(p.integer(1));
    return nullptr;
}

mxArray* showVideoPropertyPage(const Params& p) {
    const int32_t n = p.integer(1);
    CameraSlot slot = guardConnectedCamera(n, "Cannot display video property page, camera %d is not connected.");
    HWND parent = GetForegroundWindow();
    if (!parent) fail("Foreground Window NULL");
    if (!KorcamDisplayPropertyPage(slot.handle, parent))
        fail("An error occured trying to display the video property page.");
    return nullptr;
}

mxArray* queryConnection(const Params& p) {
    const int32_t n = p.integer(1);
    checkCameraNumber(n);
    return logicalScalar(slotOf(n).connected);
}

mxArray* disconnectCamera(const Params& p) {
    const int32_t n = p.integer(1);
    checkCameraNumber(n);
    CameraSlot slot = slotOf(n);
    if (!slot.connected) fail("Camera %d is already disconnected.", n);
    if (slot.previewing) stopPreview(n);
    KorcamCameraClose(slot.handle);
    slot.handle = 0;
    slot.connected = false;
    return nullptr;
}

}  // namespace kor
