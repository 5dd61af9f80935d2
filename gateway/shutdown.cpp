#include "shutdown.h"

#include "korcam.h"
#include "mex.h"
#include "slots.h"

namespace kor {
namespace {

bool registered;

void onUnload() {
    closeAllCameras();
    // Should the host keep the module loaded after all, the next call
    // registers the hook again.
    registered = false;
}

}  // namespace

void registerShutdownOnUnload() {
    if (registered) return;
    mexAtExit(onUnload);
    registered = true;
}

void closeAllCameras() {
    for (int n = 1; n <= kSlotCount; ++n) {
        CameraSlot slot = slotOf(n);
        if (slot.previewing && slot.handle != 0) {
            KorcamStreamVideoControl(slot.handle, KORCAM_STREAM_STOP, nullptr);
            KorcamDestroyDisplayWindow(slot.handle);
        }
        // A failed connect leaves its handle in the slot: close that one too.
        if (slot.handle != 0) KorcamCameraClose(slot.handle);
        slot.handle = 0;
        slot.previewing = false;
        slot.connected = false;
    }
    forgetSlots();
}

}  // namespace kor
