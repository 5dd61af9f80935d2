// The SDK's live preview window around work that needs the stream stopped.
#pragma once

#include "slots.h"

namespace kor {

// Stops the stream, then destroys the display window; `previewing` stays set.
// Raises the stop and close messages on failure.
void stopPreviewStream(const CameraSlot& slot);
// Starts the stream into a new display window of the SDK's own.
// Raises "An error occured while opening the video preview.\n" on failure.
void restartPreviewStream(const CameraSlot& slot);

}  // namespace kor
