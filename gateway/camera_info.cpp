// Camera information and enumeration: read-only queries that leave the slot
// table alone.
#include "buffer.h"
#include "commands.h"
#include "errors.h"
#include "korcam.h"
#include "matlab_values.h"
#include "slots.h"
#include "version_text.h"

namespace kor {
namespace {

// A count x 1 struct array with the version struct's six fields.
mxArray* createVersionStructs(size_t count) {
    const mwSize dims[2] = {static_cast<mwSize>(count), 1};
    mxArray* structs = mxCreateStructArray(2, dims, kVersionFieldCount, const_cast<const char**>(kVersionFieldNames));
    if (!structs) fail("Failed to allocate memory.");
    return structs;
}

void fillVersionStruct(mxArray* structs, size_t index, const VersionInfo& record) {
    const auto texts = versionTexts(record);
    for (int field = 0; field < kVersionFieldCount; ++field) {
        mxSetFieldByNumber(structs, static_cast<mwIndex>(index), field,
                           text(texts[field].data(), "Failed to allocate memory."));
    }
}

// The shape of codes 58 to 60: guard, one SDK query of a 32-bit value, whose
// output is read only once the SDK reported success.
using ValueQuery = KorcamBool (*)(CameraHandle, uint32_t*);

uint32_t queryCameraValue(const Params& p, const char* notConnectedPattern, ValueQuery query, const char* failure) {
    CameraSlot slot = guardConnectedCamera(p.integer(1), notConnectedPattern);
    uint32_t value = 0;
    if (!query(slot.handle, &value)) fail("%s", failure);
    return value;
}

}  // namespace

mxArray* countAttachedCameras(const Params&) { return doubleScalar(KorcamNumCameras()); }

mxArray* enumerateCameras(const Params&) {
    const int32_t count = KorcamNumCameras();
    // -1 is the SDK's failure; no other negative count means anything either.
    if (count < 0) fail("Failed to enumerate all the cameras.");
    if (count == 0) fail("No cameras attached to computer.");
    Buffer records(versionArrayBytes(static_cast<uint32_t>(count)));
    if (!records) fail("Failed to allocate memory.");
    const uint32_t filled = KorcamEnumCameras(records.as<VersionInfo>(), static_cast<uint32_t>(count));
    if (filled != static_cast<uint32_t>(count)) fail("Failed to enumerate all the cameras.");
    OwnedArray structs(createVersionStructs(static_cast<size_t>(count)));
    const VersionInfo* record = records.as<VersionInfo>();
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) fillVersionStruct(structs.get(), i, record[i]);
    return structs.release();
}

mxArray* querySoftwareVersions(const Params& p) {
    CameraSlot slot =
        guardConnectedCamera(p.integer(1), "Cannot query software version information, camera %d is not connected.");
    VersionInfo record{};
    if (!KorcamQueryVersion(slot.handle, &record)) fail("Failed to query software version information.");
    OwnedArray structs(createVersionStructs(1));
    fillVersionStruct(structs.get(), 0, record);
    return structs.release();
}

mxArray* queryUsbInterface(const Params& p) {
    const uint32_t interfaceType = queryCameraValue(p, "Cannot query USB interface, camera %d is not connected.",
                                                    KorcamQueryExternInterface, "Failed to query external interface.");
    return text(interfaceType == 2 ? "USB2" : "USB1");
}

mxArray* getCameraId(const Params& p) {
    return doubleScalar(queryCameraValue(p, "Cannot get camera ID, camera %d is not connected.", KorcamGetCameraId,
                                         "Failed to get camera ID."));
}

mxArray* getTruePixelDepth(const Params& p) {
    return doubleScalar(queryCameraValue(p, "Cannot get pixel depth, camera %d is not connected.",
                                         KorcamGetTruePixelDepth, "Failed to get pixel depth."));
}

}  // namespace kor
