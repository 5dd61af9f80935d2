// The commands of korvideoinput, one handler each; the command table in
// korvideoinput.cpp names them.
#pragma once

#include "mex.h"

namespace korvid {

using Handler = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// The object and its properties (object_commands.cpp).
void hwinfo(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void create(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void destroy(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void get(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void set(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void start(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void stop(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void trigger(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void waitslice(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void wait(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void sourcenames(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void sourceget(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void sourceset(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void propinfo(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void memorylimit(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void diagnostics(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void objects(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
// The tests' hook for a slow or failing disk (disk_commands.cpp).
void diskfaults(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Frames from the log (frame_commands.cpp).
void framesready(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void getdata(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void getsnapshot(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void peekdata(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void flushdata(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace korvid
