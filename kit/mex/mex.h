// The MEX interface (libmex) for builds of MEX files where no MATLAB is
// installed; see matrix.h. mexErrMsgTxt does not return: it ends the MEX
// call and hands its text to the caller, as MATLAB does. The MEX file exports
// mexFunction and nothing else.
#pragma once

#include "matrix.h"

#if defined(_WIN32)
#if defined(KORMEX_BUILDING_LIBRARY)
#define KORMEX_API __declspec(dllexport)
#else
#define KORMEX_API __declspec(dllimport)
#endif
#define MEXFUNCTION_LINKAGE __declspec(dllexport)
#else
#define KORMEX_API __attribute__((visibility("default")))
#define MEXFUNCTION_LINKAGE __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

MEXFUNCTION_LINKAGE void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

#if defined(__cplusplus) && __cplusplus >= 201103L
[[noreturn]]
#endif
KORMEX_API void
mexErrMsgTxt(const char* message);
#if defined(__cplusplus) && __cplusplus >= 201103L
[[noreturn]]
#endif
KORMEX_API void
mexErrMsgIdAndTxt(const char* identifier, const char* format, ...);
// The function to call before the host unloads the MEX file (one per file:
// a later call replaces it). 0 on success.
KORMEX_API int mexAtExit(void (*exitFunction)(void));
KORMEX_API int mexPrintf(const char* format, ...);
// Of MATLAB's functions, the stand-in knows "double" (one numeric, logical or
// character input: the same array as double) and "warning" (identifier,
// format and arguments: the text goes to stderr). 0 on success; any other
// function is a broken rule and answers 1.
KORMEX_API int mexCallMATLAB(int nlhs, mxArray* plhs[], int nrhs, mxArray* prhs[], const char* functionName);

#ifdef __cplusplus
}
#endif
