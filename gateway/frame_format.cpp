// The frame format structure: the camera's whole FrameFormat and frame rate
// read or written as one MATLAB structure. Neither command touches the
// slot's snapshot settings, and writing does not pause a running preview.
#include "commands.h"
#include "errors.h"
#include "frame_format_fields.h"
#include "korcam.h"
#include "matlab_values.h"
#include "slots.h"

namespace kor {
namespace {

// Parameter 2 reaches the handler unchecked. Element 1 of a structure array
// is read, as from a 1x1 structure; its ten fields must each hold one real
// number of any numeric class, or a logical.
void checkFrameFormatStructure(const mxArray* structure) {
    if (!mxIsStruct(structure)) fail("Parameter 2 must be a frame format structure.");
    if (mxGetNumberOfElements(structure) == 0) fail("Parameter 2 must be a 1x1 frame format structure.");
    for (const char* name : kFrameFormatFieldNames) {
        const mxArray* field = mxGetField(structure, 0, name);
        if (!field) fail("The frame format structure has no field \"%s\".", name);
        if ((!mxIsNumeric(field) && !mxIsLogical(field)) || mxIsComplex(field) || mxGetNumberOfElements(field) != 1)
            fail("Field \"%s\" of the frame format structure must be a real numeric scalar.", name);
    }
}

// Every field is read by value, so a single, integer-class or logical field
// counts as the number it holds.
FrameFormatValues readFrameFormatStructure(const mxArray* structure) {
    FrameFormatValues values{};
    for (int i = 0; i < kFrameFormatFieldCount; ++i)
        values[i] = mxGetScalar(mxGetField(structure, 0, kFrameFormatFieldNames[i]));
    return values;
}

}  // namespace

mxArray* getFrameFormatStructure(const Params& p) {
    const CameraSlot slot =
        guardConnectedCamera(p.integer(1), "Cannot get current frame format, camera %d is not connected.");
    FrameFormat format{};
    float frameRate = 0;
    if (!KorcamGetFormat(slot.handle, &format, &frameRate)) fail("Failed to get frame format.");

    const char* names[kFrameFormatFieldCount];
    for (int i = 0; i < kFrameFormatFieldCount; ++i) names[i] = kFrameFormatFieldNames[i];
    const mwSize dims[2] = {1, 1};
    OwnedArray structure(mxCreateStructArray(2, dims, kFrameFormatFieldCount, names));
    if (!structure) fail("An error occured while creating the frame format structure.");
    const FrameFormatValues values = frameFormatValues(format, frameRate);
    for (int i = 0; i < kFrameFormatFieldCount; ++i) {
        mxArray* value = doubleScalar(values[i], "An error occured while creating the frame format structure.");
        mxSetFieldByNumber(structure.get(), 0, i, value);
    }
    return structure.release();
}

mxArray* setFrameFormatStructure(const Params& p) {
    const CameraSlot slot =
        guardConnectedCamera(p.integer(1), "Cannot set new frame format, camera %d is not connected.");
    checkFrameFormatStructure(p.array(2));
    const FormatAndRate wanted = frameFormatFromValues(readFrameFormatStructure(p.array(2)));
    if (!KorcamSetFormat(slot.handle, &wanted.format, wanted.frameRate)) fail("Failed to set new frame format.");
    return nullptr;
}

}  // namespace kor
