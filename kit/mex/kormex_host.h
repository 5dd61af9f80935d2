// The host side of the MEX stand-in: what MATLAB does around a MEX file,
// for test programs that load one with LoadLibraryA. Not part of MATLAB's
// interface.
#pragma once

#include "mex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*KormexFunction)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Most outputs a call can have.
#define KORMEX_MAX_OUTPUTS 16

// Calls a MEX function as MATLAB does. The inputs are read-only for the call;
// arrays the call creates are tracked and any it leaves behind are counted
// and destroyed. Answers 0 when the call returned; then plhs[0 .. nlhs-1]
// (at least plhs[0], possibly NULL when nlhs is 0) belong to the caller.
// Answers 1 when the call raised an error (mexErrMsgTxt, or an output the
// call was asked for and did not assign); kormexErrorMessage holds the text,
// kormexErrorIdentifier the identifier of mexErrMsgIdAndTxt (else empty).
KORMEX_API int kormexCall(KormexFunction function, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
KORMEX_API const char* kormexErrorMessage(void);
KORMEX_API const char* kormexErrorIdentifier(void);

// What `clear` does in MATLAB: runs the exit function the module registered
// with mexAtExit, then FreeLibrary. Answers FreeLibrary's result. (module is
// an HMODULE.)
KORMEX_API int kormexUnload(void* module);

// What `clear` does for a MEX file linked into the host program itself (the
// fuzz targets): runs the exit function of the module that holds `address`,
// without unloading anything. Answers 1 when there was one to run.
KORMEX_API int kormexExitModule(const void* address);

// Broken rules of the interface since the last clear: how many, and each
// one's description (NULL past the end).
KORMX_API size_t kormxBrokenRuleCount(void);
KORMX_API const char* kormxBrokenRule(size_t index);
KORMX_API void kormxClearBrokenRules(void);

// Arrays alive now (created and not destroyed).
KORMX_API size_t kormxLiveArrays(void);

// The next `succeeding` array creations succeed, every later one answers
// NULL as if memory ran out; a negative count ends the failures.
KORMX_API void kormxFailCreationsAfter(long succeeding);

// Bookkeeping of a MEX call, for libmex (not for tests).
KORMX_API void kormxBeginCall(int nrhs, const mxArray* prhs[]);
KORMX_API int kormxEndCall(int nlhs, mxArray* plhs[], int slots, int returned, const char** error);
KORMX_API void kormxBreakRule(const char* description);
KORMX_API int kormxInCall(void);

#ifdef __cplusplus
}
#endif
