#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* getFrameFormatStructure(const Params&) { notAvailableYet(); }
mxArray* setFrameFormatStructure(const Params&) { notAvailableYet(); }

}  // namespace kor
