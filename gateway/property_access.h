// The camera SDK's property operations as the commands use them: each call
// raises the command's own fixed message when the SDK reports failure (the
// SDK is not asked for an error code). Shared by the image adjustment
// commands and the live exposure and gain commands.
#pragma once

#include <cstdint>

#include "korcam.h"
#include "mex.h"

namespace kor {

struct PropertyReading {
    float value;
    int32_t flags;
};

// KorcamGetProperty(handle, id, ...).
PropertyReading readProperty(CameraHandle handle, int32_t id, const char* failure);
// KorcamSetProperty(handle, id, value, flags).
void writeProperty(CameraHandle handle, int32_t id, float value, int32_t flags, const char* failure);
// KorcamPropertyRange(handle, id, ...) as a 2x1 column, minimum then maximum;
// the default and the flags are dropped.
mxArray* propertyRangeColumn(CameraHandle handle, int32_t id, const char* failure);

}  // namespace kor
