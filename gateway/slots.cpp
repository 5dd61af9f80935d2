#include "slots.h"

#include "errors.h"

namespace kor {
namespace {

// Five parallel arrays indexed by camera number - 1, in static storage so a
// freshly loaded module starts with everything zero.
CameraHandle handles[kSlotCount];
SnapshotSettings snapshots[kSlotCount];
bool video16Bit[kSlotCount];
bool previewing[kSlotCount];
bool connected[kSlotCount];
uint32_t initializationMarker;

constexpr uint32_t kInitialized = 0xDBDBDBDB;

}  // namespace

void initializeSlotsOnFirstCall() {
    if (initializationMarker == kInitialized) return;
    for (int i = 0; i < kSlotCount; ++i) {
        handles[i] = 0;
        video16Bit[i] = false;
        previewing[i] = false;
        connected[i] = false;
    }
    initializationMarker = kInitialized;
}

void forgetSlots() { initializationMarker = 0; }

CameraSlot slotOf(int32_t n) {
    const int i = n - 1;
    return CameraSlot{handles[i], snapshots[i], video16Bit[i], previewing[i], connected[i]};
}

void checkCameraNumber(int32_t n) {
    if (n > kSlotCount) fail("Invalid camera nubmer.");
    if (KorcamNumCameras() < n) fail("Not enough cameras connected.");
    // Numbers below 1 pass the two steps above but address no slot.
    if (n < 1) fail("Invalid camera nubmer.");
}

CameraSlot guardConnectedCamera(int32_t n, const char* notConnectedPattern) {
    checkCameraNumber(n);
    CameraSlot slot = slotOf(n);
    if (!slot.connected) fail(notConnectedPattern, n);
    return slot;
}

SnapshotSettings connectDefaults(const FrameFormat& format) {
    SnapshotSettings s{};
    s.exposure = 1.0f;
    s.gain = 1.0f;
    s.redGain = s.blueGain = s.green1Gain = s.green2Gain = 1.0f;
    s.strobeEnable = 0;
    s.strobeDelay = 0.0f;
    s.hardwareTriggerEnable = 0;
    s.timeout = 5000.0f;
    s.format = format;
    s.reserved18 = 0;
    s.exposureDelay = 0.0f;
    s.reserved20 = 0;
    s.reserved21 = 0;
    s.reserved22 = 0.0f;
    s.reserved23 = 0.0f;
    return s;
}

}  // namespace kor
