// mexspy(): the raw text of the last MEX error and the count of errors seen,
// as recorded by the preloaded libmexspy. Fails when the spy is not preloaded.
#include <cstring>

#include "mex.h"

extern "C" const char* mexspyLastMessage() __attribute__((weak));
extern "C" unsigned long mexspyMessageCount() __attribute__((weak));

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int, const mxArray*[]) {
    if (!mexspyLastMessage || !mexspyMessageCount || mexspyMessageCount() == 0xFFFFFFFFul)
        mexErrMsgTxt("mexspy: libmexspy.so is not preloaded; run the test through run_octave_test.sh");
    plhs[0] = mxCreateString(mexspyLastMessage());
    // The output list holds max(nlhs, 1) entries: the count only when asked for.
    if (nlhs > 1) plhs[1] = mxCreateDoubleScalar(static_cast<double>(mexspyMessageCount()));
}
