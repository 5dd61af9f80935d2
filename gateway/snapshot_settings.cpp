#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* getExposureRange(const Params&) { notAvailableYet(); }
mxArray* setSnapshotExposure(const Params&) { notAvailableYet(); }
mxArray* getGainRange(const Params&) { notAvailableYet(); }
mxArray* setSnapshotGain(const Params&) { notAvailableYet(); }
mxArray* setSnapshot16BitMode(const Params&) { notAvailableYet(); }
mxArray* getSnapshot16BitMode(const Params&) { notAvailableYet(); }
mxArray* setSnapshotColorGains(const Params&) { notAvailableYet(); }
mxArray* getSnapshotColorGains(const Params&) { notAvailableYet(); }
mxArray* setSnapshotStrobeUse(const Params&) { notAvailableYet(); }
mxArray* getSnapshotStrobeUse(const Params&) { notAvailableYet(); }
mxArray* setSnapshotStrobeDelay(const Params&) { notAvailableYet(); }
mxArray* getSnapshotStrobeDelay(const Params&) { notAvailableYet(); }
mxArray* setSnapshotHardwareTriggerUse(const Params&) { notAvailableYet(); }
mxArray* getSnapshotHardwareTriggerUse(const Params&) { notAvailableYet(); }
mxArray* setLiveGain(const Params&) { notAvailableYet(); }
mxArray* getLiveGain(const Params&) { notAvailableYet(); }
mxArray* setLiveExposure(const Params&) { notAvailableYet(); }
mxArray* getLiveExposure(const Params&) { notAvailableYet(); }

}  // namespace kor
