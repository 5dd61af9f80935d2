#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* setFrameSize(const Params&) { notAvailableYet(); }
mxArray* setFrameRate(const Params&) { notAvailableYet(); }
mxArray* listAvailableFrameRates(const Params&) { notAvailableYet(); }
mxArray* getFrameOffset(const Params&) { notAvailableYet(); }
mxArray* setFrameOffset(const Params&) { notAvailableYet(); }
mxArray* setVideo16BitMode(const Params&) { notAvailableYet(); }
mxArray* getVideo16BitMode(const Params&) { notAvailableYet(); }
mxArray* getFrameSize(const Params&) { notAvailableYet(); }
mxArray* getFrameRate(const Params&) { notAvailableYet(); }

}  // namespace kor
