#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* countAttachedCameras(const Params&) { notAvailableYet(); }
mxArray* enumerateCameras(const Params&) { notAvailableYet(); }
mxArray* querySoftwareVersions(const Params&) { notAvailableYet(); }
mxArray* queryUsbInterface(const Params&) { notAvailableYet(); }
mxArray* getCameraId(const Params&) { notAvailableYet(); }
mxArray* getTruePixelDepth(const Params&) { notAvailableYet(); }

}  // namespace kor
