#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* oneShotAutoExposure(const Params&) { notAvailableYet(); }
mxArray* oneShotAutoWhiteBalance(const Params&) { notAvailableYet(); }
mxArray* oneShotAutoWhiteBalanceEx(const Params&) { notAvailableYet(); }
mxArray* digitalWhiteBalance(const Params&) { notAvailableYet(); }
mxArray* digitalWhiteBalanceEx(const Params&) { notAvailableYet(); }
mxArray* initAutoLens(const Params&) { notAvailableYet(); }
mxArray* oneShotAutoIris(const Params&) { notAvailableYet(); }
mxArray* startAutoFocus(const Params&) { notAvailableYet(); }
mxArray* waitForAutoFocus(const Params&) { notAvailableYet(); }
mxArray* stopAutoFocus(const Params&) { notAvailableYet(); }
mxArray* queryAutoFocusProgress(const Params&) { notAvailableYet(); }

}  // namespace kor
