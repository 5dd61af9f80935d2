// How the project's MEX files end a call with an error. The host's error
// functions do not return: they leave the MEX file past every C++ frame
// without running a destructor, so they may be called only once every object
// of the call is gone. runThenRaise runs the call's steps, turns the first
// exception one throws into an identifier and a text kept in static storage,
// and raises them after the steps have returned.
#pragma once

#include <cstdio>
#include <exception>

#include "mex.h"

namespace mexentry {

struct Failure {
    char identifier[128];  // empty: raised without an identifier
    char message[2048];
    bool failed = false;

    void set(const char* id, const char* text) {
        std::snprintf(identifier, sizeof identifier, "%s", id);
        std::snprintf(message, sizeof message, "%s", text);
        failed = true;
    }
};

// describe(exception, failure) rethrows the exception and sets the failure
// from what it catches; what it lets through leaves the MEX file as before.
// Every step runs, also after one failed (a later one may show warnings);
// the first failure is the one raised.
template <class Describe, class... Steps>
void runThenRaise(Describe&& describe, Steps&&... steps) {
    static Failure failure;
    failure.failed = false;
    auto runStep = [&](auto& step) {
        try {
            step();
        } catch (...) {
            if (failure.failed) return;
            describe(std::current_exception(), failure);
        }
    };
    (runStep(steps), ...);
    if (!failure.failed) return;
    if (failure.identifier[0] != '\0')
        mexErrMsgIdAndTxt(failure.identifier, "%s", failure.message);
    else
        mexErrMsgTxt(failure.message);
}

}  // namespace mexentry
