// The table of ten camera slots kept from one MEX call to the next, its
// first-call initialisation and the camera guard.
#pragma once

#include <cstdint>

#include "korcam.h"

namespace kor {

constexpr int kSlotCount = 10;

// One camera's entries in the table's parallel arrays.
struct CameraSlot {
    CameraHandle& handle;        // open camera; may stay set while not connected
    SnapshotSettings& snapshot;  // settings every snapshot of this camera uses
    bool& video16Bit;            // cache of the live format's 16-bit state
    bool& previewing;            // the SDK's preview window is streaming
    bool& connected;             // the commands may use the camera
};

// Resets handles and flags once per load of the module; snapshots stay.
void initializeSlotsOnFirstCall();
// Marks the table as not initialised, so the next call starts afresh.
void forgetSlots();

// Slot of camera n (1 to 10); the caller has checked n.
CameraSlot slotOf(int32_t n);

// Guard steps 1 and 2 and the refusal of numbers below 1, for every command
// that takes a camera number.
void checkCameraNumber(int32_t n);
// The whole guard: steps 1 and 2, then the command's not-connected pattern
// (one %d, replaced by n) when the slot is not connected.
CameraSlot guardConnectedCamera(int32_t n, const char* notConnectedPattern);

// Snapshot settings written at every connect, around the camera's format.
SnapshotSettings connectDefaults(const FrameFormat& format);

}  // namespace kor
