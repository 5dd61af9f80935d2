#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* readGpio(const Params&) { notAvailableYet(); }
mxArray* writeGpo(const Params&) { notAvailableYet(); }
mxArray* selectGpoForManualOperation(const Params&) { notAvailableYet(); }

}  // namespace kor
