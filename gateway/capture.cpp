#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* takeVideoFrame(const Params&) { notAvailableYet(); }
mxArray* takeSnapshot(const Params&) { notAvailableYet(); }
mxArray* takeSynchronousSnapshots(const Params&) { notAvailableYet(); }

}  // namespace kor
