// Commands whose family has not landed yet answer with a clear error.
#pragma once

#include "errors.h"

namespace kor {

[[noreturn]] inline mxArray* notAvailableYet() { fail("This command is not available yet."); }

}  // namespace kor
